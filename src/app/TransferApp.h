// The application: starts the main window and ends the program with it.
#pragma once

namespace kestrion {

class CTransferApp {
 public:
  // Runs the main window modally. Returns false: the program ends when the window does, with no event loop of
  // the application's own. Needs the QApplication to exist.
  bool InitInstance();
};

}  // namespace kestrion
