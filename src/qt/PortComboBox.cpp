#include "qt/PortComboBox.h"

namespace kestrion {

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  // The box is narrow and a port path long: the whole name is a hover away.
  connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
}

void PortComboBox::showPopup() {
  emit droppingDown();
  // Device paths and virtual ports are longer than the box is wide: Qt's list widens to its widest entry.
  QComboBox::showPopup();
}

}  // namespace kestrion
