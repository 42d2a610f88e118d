#include "app/AboutDlg.h"

#include "app/ControlTable.h"

namespace kestrion {

CAboutDlg::CAboutDlg() : CDialog(AboutDialogTemplate()) {}

bool CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  View().SetFocus(kIdOk);
  return false;  // the focus is set
}

}  // namespace kestrion
