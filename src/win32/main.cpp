// Kestrion: moves survey data between this computer and a total station over a serial line.
#include "win32/Win32Api.h"
// Both need the declarations of windows.h before them.
#include <commctrl.h>
#include <objbase.h>

#include "app/TransferApp.h"
#include "win32/Win32Prompter.h"

// The one application object, as the platform's dialog framework has it.
static kestrion::CTransferApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The tooltips are a common control; the other controls are the system's own.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The file chooser and the accessibility service are COM objects of this thread's.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // The host runs the main window modally, without an owner.
  kestrion::Win32Prompter host;
  const bool run = theApp.InitInstance(host);
  if (SUCCEEDED(com)) CoUninitialize();
  return run ? 1 : 0;
}
