#include "app/TransferApp.h"

#include <QApplication>

#include "app/AppIcon.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"

namespace kestrion {

bool CTransferApp::InitInstance() {
  // Controls embedded from other components and the three-dimensional look of the standard controls need no
  // switching on: Qt has no such components, and its style draws every control in the platform's look.
  QApplication::setApplicationName(messages::kApplicationName.toString());
  QApplication::setWindowIcon(ApplicationIcon());
  // Lets a Wayland desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrion.Kestrion"));

  // The window is the application's only one; Qt needs no main window to be named.
  CTransferDlg dlg;
  dlg.DoModal();
  return false;
}

}  // namespace kestrion
