#include "win32/DialogResource.h"

#include <string_view>

#include "app/ControlTable.h"

namespace kestrion {
namespace {

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kListBoxAtom = 0x0083;
constexpr WORD kComboBoxAtom = 0x0085;

// A control without an id of its own carries -1, as a resource script gives it.
constexpr DWORD kNoId = 0xFFFFFFFF;

class Writer {
 public:
  void Word(std::uint16_t value) { m_words.push_back(value); }
  void Dword(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
  }
  void Short(int value) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(value))); }
  void Text(std::u16string_view text) {
    for (const char16_t unit : text) Word(static_cast<std::uint16_t>(unit));
    Word(0);
  }
  void Ordinal(std::uint16_t value) {
    Word(0xFFFF);
    Word(value);
  }
  void AlignDword() {
    if (m_words.size() % 2 != 0) Word(0);
  }
  std::vector<std::uint32_t> Dwords() {
    AlignDword();
    std::vector<std::uint32_t> dwords(m_words.size() / 2);
    for (std::size_t i = 0; i < dwords.size(); ++i) {
      dwords[i] = static_cast<std::uint32_t>(m_words[2 * i]) | static_cast<std::uint32_t>(m_words[2 * i + 1])
                                                                   << 16;
    }
    return dwords;
  }

 private:
  std::vector<std::uint16_t> m_words;
};

}  // namespace

Win32ControlStyle StyleOf(const ControlRow& row) {
  Win32ControlStyle out;
  out.style = WS_CHILD | WS_VISIBLE;
  const std::uint32_t flags = row.styles;
  if ((flags & style::kTabStop) != 0) out.style |= WS_TABSTOP;
  if ((flags & style::kGroup) != 0) out.style |= WS_GROUP;
  if ((flags & style::kVScroll) != 0) out.style |= WS_VSCROLL;
  // The sunken edge of the platform's look, where the table asks for a border.
  if ((flags & style::kBorder) != 0) out.exStyle |= WS_EX_CLIENTEDGE;
  switch (row.kind) {
    case ControlKind::PushButton:
      out.classAtom = kButtonAtom;
      out.style |= BS_PUSHBUTTON;
      break;
    case ControlKind::DefaultPushButton:
      out.classAtom = kButtonAtom;
      out.style |= BS_DEFPUSHBUTTON;
      break;
    case ControlKind::RadioButton:
      out.classAtom = kButtonAtom;
      out.style |= BS_AUTORADIOBUTTON;
      break;
    case ControlKind::GroupBox:
      out.classAtom = kButtonAtom;
      out.style |= BS_GROUPBOX;
      break;
    case ControlKind::ComboBox:
      // Unsorted: the entries keep the order in which they are added.
      out.classAtom = kComboBoxAtom;
      out.style |= CBS_DROPDOWNLIST;
      break;
    case ControlKind::Edit:
    case ControlKind::MultiLineEdit:
      out.classAtom = kEditAtom;
      out.style |= ES_LEFT;
      if (row.kind == ControlKind::MultiLineEdit) out.style |= ES_MULTILINE;
      if ((flags & style::kAutoHScroll) != 0) out.style |= ES_AUTOHSCROLL;
      if ((flags & style::kWantReturn) != 0) out.style |= ES_WANTRETURN;
      break;
    case ControlKind::ListBox:
      out.classAtom = kListBoxAtom;
      if ((flags & style::kNotify) != 0) out.style |= LBS_NOTIFY;
      if ((flags & style::kNoIntegralHeight) != 0) out.style |= LBS_NOINTEGRALHEIGHT;
      break;
    case ControlKind::Label:
      out.classAtom = kStaticAtom;
      out.style |= SS_LEFT;
      break;
    case ControlKind::Icon:
      out.classAtom = kStaticAtom;
      out.style |= SS_ICON;
      break;
    case ControlKind::StatusLine:
      // One line; "&" in a path is a character, not an access key; the tooltip needs the mouse's messages.
      out.classAtom = kStaticAtom;
      out.style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY | SS_ENDELLIPSIS;
      break;
  }
  return out;
}

DWORD DialogStyleOf(bool mainWindow) {
  DWORD dialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
  if (mainWindow) dialogStyle |= WS_VISIBLE;
  return dialogStyle;
}

DWORD DialogExStyleOf(bool mainWindow) {
  return mainWindow ? WS_EX_APPWINDOW : 0;
}

DialogResource::DialogResource(const DialogTemplate& dialogTemplate, bool mainWindow) {
  Writer out;
  out.Word(1);       // dlgVer
  out.Word(0xFFFF);  // signature: the extended form
  out.Dword(0);      // helpID
  out.Dword(DialogExStyleOf(mainWindow));
  out.Dword(DialogStyleOf(mainWindow));
  out.Word(static_cast<std::uint16_t>(dialogTemplate.controls.size()));
  out.Short(dialogTemplate.rect.x);
  out.Short(dialogTemplate.rect.y);
  out.Short(dialogTemplate.rect.width);
  out.Short(dialogTemplate.rect.height);
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(dialogTemplate.caption);
  out.Word(static_cast<std::uint16_t>(dialogTemplate.fontPoints));
  out.Word(FW_NORMAL);
  out.Word(static_cast<std::uint16_t>(DEFAULT_CHARSET << 8));  // not italic; the font's own character set
  out.Text(dialogTemplate.fontName);

  for (const ControlRow& row : dialogTemplate.controls) {
    const Win32ControlStyle control = StyleOf(row);
    out.AlignDword();
    out.Dword(0);  // helpID
    out.Dword(control.exStyle);
    out.Dword(control.style);
    out.Short(row.rect.x);
    out.Short(row.rect.y);
    out.Short(row.rect.width);
    out.Short(row.rect.height);
    out.Dword(row.id != 0 ? static_cast<DWORD>(row.id) : kNoId);
    out.Ordinal(control.classAtom);
    if (row.kind == ControlKind::Icon) {
      out.Ordinal(static_cast<std::uint16_t>(kIdrMainFrame));
    } else {
      out.Text(row.caption);
    }
    out.Word(0);  // no creation data
  }
  m_words = out.Dwords();
}

}  // namespace kestrion
