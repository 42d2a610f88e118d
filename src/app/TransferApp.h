// The application: starts the main window and ends the program with it.
#pragma once

#include "dialog/Prompter.h"

namespace kestrion {

class CTransferApp {
 public:
  // Runs the main window modally through `host`. Returns false: the program ends when the window does, with no
  // event loop of the application's own.
  bool InitInstance(Prompter& host);
};

}  // namespace kestrion
