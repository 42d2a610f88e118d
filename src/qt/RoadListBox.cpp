#include "qt/RoadListBox.h"

namespace kestrion {

RoadListBox::RoadListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

QItemSelectionModel::SelectionFlags RoadListBox::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
  // A click below the entries would select nothing in place of the road.
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
  // Ctrl+click and Ctrl+Space would take the road off; here they select it, as a plain click does.
  if (flags.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)) {
    return QItemSelectionModel::ClearAndSelect;
  }
  return flags;
}

}  // namespace kestrion
