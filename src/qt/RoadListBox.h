// The road list of the main window: a single-selection list box that keeps its selection. A click or a key may
// move the selection to another road but never empties it, so that Upload never takes the data text for a road.
#pragma once

#include <QListWidget>

namespace kestrion {

class RoadListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit RoadListBox(QWidget* parent = nullptr);

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;
};

}  // namespace kestrion
