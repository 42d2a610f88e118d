// Kestrion: moves survey data between this computer and a total station over a serial line.
#include <QApplication>
#include <csignal>

#include "app/Messages.h"
#include "app/TransferApp.h"
#include "qt/AppIcon.h"
#include "qt/QtPrompter.h"

// The one application object, as the platform's dialog framework has it.
static kestrion::CTransferApp theApp;

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
  // A file size limit then fails the write, which Output reports, instead of ending the program. (Windows has
  // no such signal.)
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  QApplication application(argc, argv);
  const std::u16string_view name = kestrion::messages::kApplicationName;
  QApplication::setApplicationName(QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())));
  QApplication::setWindowIcon(kestrion::ApplicationIcon());
  // Lets a Wayland desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrion.Kestrion"));
  // The host runs the main window modally, without a parent.
  kestrion::QtPrompter host;
  return theApp.InitInstance(host) ? QApplication::exec() : 0;
}
