// A dialog's template as the Win32 dialog manager reads it: a DLGTEMPLATEEX with its DLGITEMTEMPLATEEX items,
// made in memory from the dialog's template data, so that the window is built from the very rows the other
// host and the tests read.
#pragma once

#include <cstdint>
#include <vector>

#include "dialog/DialogTemplate.h"
#include "win32/Win32Api.h"

namespace kestrion {

// The window class and the styles that a control of `row` is created with.
struct Win32ControlStyle {
  // The predefined class: 0x0080 button, 0x0081 edit, 0x0082 static, 0x0083 list box, 0x0085 combo box.
  WORD classAtom = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
};
Win32ControlStyle StyleOf(const ControlRow& row);

// The styles of the dialog window itself: a popup with title bar, system menu and modal frame; a main window
// (one without an owner) is visible at once and has its own button in the task bar.
DWORD DialogStyleOf(bool mainWindow);
DWORD DialogExStyleOf(bool mainWindow);

// The bytes of a DLGTEMPLATEEX for `dialogTemplate`, in DWORD-aligned memory for DialogBoxIndirectParamW.
class DialogResource {
 public:
  DialogResource(const DialogTemplate& dialogTemplate, bool mainWindow);
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

 private:
  std::vector<std::uint32_t> m_words;
};

}  // namespace kestrion
