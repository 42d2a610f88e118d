#include "qt/PortComboBox.h"

#include <QAbstractItemView>
#include <QScrollBar>

namespace kestrion {

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  // The box is narrow and a port path long: the whole name is a hover away.
  connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
}

void PortComboBox::showPopup() {
  emit droppingDown();
  // Device paths and virtual ports are longer than the box is wide: the list shows them whole.
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + view()->verticalScrollBar()->sizeHint().width());
  QComboBox::showPopup();
}

}  // namespace kestrion
