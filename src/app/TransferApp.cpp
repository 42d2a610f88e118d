#include "app/TransferApp.h"

#include "app/TransferDlg.h"

namespace kestrion {

bool CTransferApp::InitInstance(Prompter& host) {
  // Controls embedded from other components and the three-dimensional look of the standard controls need no
  // switching on: each host draws every control in its platform's look. The window is the only one.
  CTransferDlg dlg;
  host.RunModal(dlg);
  return false;
}

}  // namespace kestrion
