// The About box: the application's icon, name and version. Its OK button and cancel end it.
#pragma once

#include "dialog/Dialog.h"

namespace kestrion {

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();

  bool OnInitDialog() override;
};

}  // namespace kestrion
