// Kestrion: moves survey data between this computer and a total station over a serial line.
#include <QApplication>
#include <csignal>

#include "app/TransferApp.h"

// The one application object, as the platform's dialog framework has it.
static kestrion::CTransferApp theApp;

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
  // A file size limit then fails the write, which Output reports, instead of ending the program. (Windows has
  // no such signal.)
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  QApplication application(argc, argv);
  return theApp.InitInstance() ? QApplication::exec() : 0;
}
