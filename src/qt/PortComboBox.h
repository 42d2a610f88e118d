// The Qt host's combo box: tells its dialog when it drops down (the port list is read afresh then), shows
// its whole current text in a tooltip.
#pragma once

#include <QComboBox>

namespace kestrion {

class PortComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit PortComboBox(QWidget* parent = nullptr);

  void showPopup() override;

 signals:
  void droppingDown();
};

}  // namespace kestrion
