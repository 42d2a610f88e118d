// Drives the real kestrion.exe through its window's messages only, as a person would with the mouse: it finds
// the dialog, reads and sets the controls' texts, clicks buttons and radios, picks entries of the lists with
// the notifications a click sends, answers the message boxes and fills in the file chooser. Every check
// prints one line, "ok - NAME" or "FAIL - NAME: what was seen"; the exit status is the number of failures (at
// most 100).
//
// The other end of the COM port is played on the Linux side (window_test.py): this program tells it through
// files in the work folder when the window is ready for the next exchange, and reads back when it is over.
//   kestrion-window-driver EXE WORK PORT BAUD ROAD_FILE ROAD [--shots]
// With --keys it plays the key table instead (tests/common/KeyTable.h), as keyboard input to the window in
// front; the Linux side then only sends the bytes it is asked for.
//   kestrion-window-driver --keys EXE WORK PORT
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ControlTable.h"
#include "app/Messages.h"
#include "common/KeyTable.h"

namespace {

using namespace kestrion;

struct Options {
  std::wstring exe;
  std::wstring work;  // a folder both sides see, with a trailing backslash
  std::wstring port;
  std::wstring baud;
  std::wstring roadFile;
  int road = 0;
  bool shots = false;
};

int g_failures = 0;

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

bool Check(bool ok, const std::string& name, const std::string& seen = {}) {
  if (ok) {
    std::printf("ok - %s\n", name.c_str());
  } else {
    ++g_failures;
    std::printf("FAIL - %s%s%s\n", name.c_str(), seen.empty() ? "" : ": ", seen.c_str());
  }
  std::fflush(stdout);
  return ok;
}

void Note(const std::string& text) {
  std::printf("# %s\n", text.c_str());
  std::fflush(stdout);
}

// Seconds since 1970 on the system clock, which the Linux side reads too.
double NowUnix() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs = 2) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done()) {
    if (GetTickCount64() > end) return false;
    Sleep(stepMs);
  }
  return true;
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length) == 0) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      5000, &copied);
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

// The top-level windows of a process that `accept` takes: the visible ones, or all.
std::vector<HWND> TopLevelWindows(DWORD process, const std::function<bool(HWND)>& accept,
                                  bool hiddenToo = false) {
  struct Search {
    DWORD process;
    const std::function<bool(HWND)>* accept;
    bool hiddenToo;
    std::vector<HWND> found;
  } search{process, &accept, hiddenToo, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->process && (s->hiddenToo || IsWindowVisible(window)) && (*s->accept)(window)) {
          s->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A dialog box (#32770) owned by `owner`.
HWND OwnedDialog(DWORD process, HWND owner, const std::function<bool(HWND)>& accept) {
  const std::vector<HWND> found = TopLevelWindows(process, [&](HWND window) {
    return ClassOf(window) == L"#32770" && GetWindow(window, GW_OWNER) == owner && accept(window);
  });
  return found.empty() ? nullptr : found.front();
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

void Click(HWND button) {
  // Posted: a handler that opens a message box does not hold the driver up.
  PostMessageW(button, BM_CLICK, 0, 0);
}

void Click(HWND dialog, int id) {
  Click(GetDlgItem(dialog, id));
}

// ---- the work folder that both sides share ----

class Work {
 public:
  explicit Work(std::wstring folder) : m_folder(std::move(folder)) {}
  std::wstring Path(std::wstring_view name) const { return m_folder + std::wstring(name); }
  void Signal(std::wstring_view name, const std::string& content = {}) const {
    const std::wstring temporary = Path(name) + L".part";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(temporary.c_str(), Path(name).c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  bool Exists(std::wstring_view name) const {
    return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::string Read(std::wstring_view name) const {
    HANDLE file =
        CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    char buffer[256];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
  }

 private:
  std::wstring m_folder;
};

// ---- what a message box shows ----

enum class IconKind { None, Information, Exclamation, Stop, Question };

const char* Name(IconKind icon) {
  switch (icon) {
    case IconKind::None:
      return "none";
    case IconKind::Information:
      return "information";
    case IconKind::Exclamation:
      return "exclamation";
    case IconKind::Stop:
      return "stop";
    case IconKind::Question:
      return "question";
  }
  return "?";
}

std::vector<std::uint32_t> Pixels(HDC source, int x, int y, int width, int height) {
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
  GdiFlush();
  const auto* begin = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels(
      begin, begin + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return pixels;
}

std::uint64_t Difference(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int x = static_cast<int>((a[i] >> shift) & 0xFF);
      const int y = static_cast<int>((b[i] >> shift) & 0xFF);
      sum += static_cast<std::uint64_t>(x > y ? x - y : y - x);
    }
  }
  return sum;
}

// Which of the system's four message icons the icon control shows, read off the screen and compared with each
// drawn on the box's own background.
IconKind IconShown(HWND iconControl) {
  const int width = GetSystemMetrics(SM_CXICON);
  const int height = GetSystemMetrics(SM_CYICON);
  RECT place;
  GetWindowRect(iconControl, &place);
  HDC screen = GetDC(nullptr);
  const std::vector<std::uint32_t> shown = Pixels(screen, place.left, place.top, width, height);
  const COLORREF background = GetPixel(screen, place.left - 2, place.top);
  ReleaseDC(nullptr, screen);

  const std::pair<IconKind, LPCWSTR> candidates[] = {{IconKind::Information, IDI_INFORMATION},
                                                     {IconKind::Exclamation, IDI_WARNING},
                                                     {IconKind::Stop, IDI_ERROR},
                                                     {IconKind::Question, IDI_QUESTION}};
  IconKind best = IconKind::None;
  std::uint64_t bestDifference = UINT64_MAX;
  HDC reference = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(reference);
  HBITMAP bitmap = CreateCompatibleBitmap(reference, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  for (const auto& [kind, resource] : candidates) {
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, LoadIconW(nullptr, resource), width, height, 0, nullptr, DI_NORMAL);
    const std::uint64_t difference = Difference(shown, Pixels(memory, 0, 0, width, height));
    if (difference < bestDifference) {
      bestDifference = difference;
      best = kind;
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, reference);
  // Nothing like any of them: an average difference of more than a quarter of the range per channel.
  return bestDifference > static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3 * 64
             ? IconKind::None
             : best;
}

struct MessageBoxSeen {
  HWND box = nullptr;
  std::wstring caption;
  std::wstring text;
  IconKind icon = IconKind::None;
  std::vector<int> buttons;
};

MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.box = box;
  seen.caption = TextOf(box);
  // The box is drawn before it is read off the screen.
  RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(150);
  for (HWND child : Children(box)) {
    const std::wstring kind = ClassOf(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (SameText(kind, L"Static")) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        seen.icon = IconShown(child);
      } else if (seen.text.empty()) {
        seen.text = TextOf(child);
      }
    } else if (SameText(kind, L"Button") && (style & WS_VISIBLE) != 0) {
      seen.buttons.push_back(GetDlgCtrlID(child));
    }
  }
  return seen;
}

// ---- the program under test ----

class Program {
 public:
  bool Start(const Options& options) {
    Stop();
    std::wstring commandLine = L"\"" + options.exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (CreateProcessW(options.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &m_process) == FALSE) {
      return false;
    }
    CloseHandle(m_process.hThread);
    return true;
  }
  ~Program() { Stop(); }
  // Ends the program if it still runs.
  void Stop() {
    if (m_process.hProcess == nullptr) return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(m_process.hProcess, 99);
      WaitForSingleObject(m_process.hProcess, 5000);
    }
    CloseHandle(m_process.hProcess);
    m_process = {};
  }
  DWORD Id() const { return m_process.dwProcessId; }
  bool Ended(DWORD timeoutMs) const {
    return WaitForSingleObject(m_process.hProcess, timeoutMs) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    return code;
  }

  // The main window: the dialog captioned with the program's name that holds the Open port button.
  HWND FindMainWindow() const {
    const std::vector<HWND> found = TopLevelWindows(Id(), [](HWND window) {
      return ClassOf(window) == L"#32770" && TextOf(window) == Wide(messages::kApplicationName) &&
             GetDlgItem(window, kIdOpenPort) != nullptr;
    });
    return found.empty() ? nullptr : found.front();
  }

  HWND WaitForOwnedDialog(HWND owner, const std::function<bool(HWND)>& accept, DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitFor([&] { return (found = OwnedDialog(Id(), owner, accept)) != nullptr; }, timeoutMs, 1);
    return found;
  }

  HWND WaitForMessageBox(HWND owner, DWORD timeoutMs) const {
    return WaitForOwnedDialog(
        owner,
        [](HWND window) {
          for (HWND child : Children(window)) {
            if (SameText(ClassOf(child), L"Static") &&
                (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
              return TextOf(window) == Wide(messages::kApplicationName);
            }
          }
          return false;
        },
        timeoutMs);
  }

 private:
  PROCESS_INFORMATION m_process{};
};

// The focused window of the thread that owns `window`.
HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

// ---- the control table read back ----

// Dialog units to pixels for a dialog in that font, by the system's own mapping in a dialog of this
// program's.
class UnitMapper {
 public:
  UnitMapper(std::u16string_view fontName, int points) {
    std::vector<WORD> words = {1, 0xFFFF, 0, 0, 0, 0};  // dlgVer, signature, helpID (2), exStyle (2)
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    words.push_back(LOWORD(style));
    words.push_back(HIWORD(style));
    // No items; place and size; no menu, class or title.
    for (const int w : {0, 0, 0, 100, 100, 0, 0, 0}) words.push_back(static_cast<WORD>(w));
    words.push_back(static_cast<WORD>(points));
    words.push_back(FW_NORMAL);
    words.push_back(static_cast<WORD>(DEFAULT_CHARSET << 8));
    for (const char16_t unit : fontName) words.push_back(unit);
    words.push_back(0);
    m_words.assign((words.size() + 1) / 2, 0);
    std::copy(words.begin(), words.end(), reinterpret_cast<WORD*>(m_words.data()));
    m_dialog = CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(m_words.data()), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  }
  ~UnitMapper() {
    if (m_dialog != nullptr) DestroyWindow(m_dialog);
  }
  // The dialog manager maps a control's place and its size each on their own, so the far edges are not
  // mapped from units.
  RECT Map(const DialogRect& units) const {
    RECT mapped{units.x, units.y, units.width, units.height};
    MapDialogRect(m_dialog, &mapped);
    return RECT{mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
  }

 private:
  std::vector<DWORD> m_words;
  HWND m_dialog = nullptr;
};

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

RECT PlaceInDialog(HWND dialog, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

const wchar_t* ClassFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
    case ControlKind::RadioButton:
    case ControlKind::GroupBox:
      return L"Button";
    case ControlKind::ComboBox:
      return L"ComboBox";
    case ControlKind::Edit:
    case ControlKind::MultiLineEdit:
      return L"Edit";
    case ControlKind::ListBox:
      return L"ListBox";
    case ControlKind::Label:
    case ControlKind::Icon:
    case ControlKind::StatusLine:
      return L"Static";
  }
  return L"";
}

// What the row's kind and styles ask of the live control's style; empty when it holds. The dialog manager
// makes a push button the default one while it has the focus, and keeps the tab stop of a radio group on its
// checked radio: both are the platform's own, not the table's.
std::string StyleMismatch(const ControlRow& row, HWND control, bool focused) {
  const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
  std::string wrong;
  const auto want = [&](bool holds, const char* what) {
    if (!holds) wrong += std::string(wrong.empty() ? "" : ", ") + what;
  };
  const auto has = [&](std::uint32_t flag) { return (row.styles & flag) != 0; };
  const bool border = (style & WS_BORDER) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0;
  const bool table = has(style::kBorder);
  want((style & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE), "visible child");
  want(((style & WS_GROUP) != 0) == has(style::kGroup), "group");
  if (row.kind == ControlKind::RadioButton) {
    const bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    want(((style & WS_TABSTOP) != 0) == (has(style::kTabStop) && checked), "tab stop on the checked radio");
  } else {
    want(((style & WS_TABSTOP) != 0) == has(style::kTabStop), "tab stop");
  }
  switch (row.kind) {
    case ControlKind::PushButton:
      want((style & BS_TYPEMASK) == BS_PUSHBUTTON || (focused && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON),
           "push button, not the default one");
      break;
    case ControlKind::DefaultPushButton:
      want((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON, "default push button");
      break;
    case ControlKind::RadioButton:
      want((style & BS_TYPEMASK) == BS_AUTORADIOBUTTON, "automatic radio");
      break;
    case ControlKind::GroupBox:
      want((style & BS_TYPEMASK) == BS_GROUPBOX, "group box");
      break;
    case ControlKind::ComboBox:
      // The combo box hands its vertical scroll bar on to its list, which shows it (and has the style) only
      // while its entries overflow, as a list box does.
      want((style & 3) == CBS_DROPDOWNLIST, "drop-down list");
      want((style & CBS_SORT) == 0, "unsorted");
      break;
    case ControlKind::Edit:
      want((style & ES_MULTILINE) == 0, "single line");
      want((style & ES_AUTOHSCROLL) != 0, "scrolls sideways");
      want((style & ES_READONLY) == 0, "editable");
      want(border == table, "border");
      break;
    case ControlKind::MultiLineEdit:
      want((style & ES_MULTILINE) != 0, "multi-line");
      want((style & ES_WANTRETURN) != 0, "Enter makes a new line");
      want((style & ES_AUTOHSCROLL) != 0, "lines not wrapped");
      want((style & ES_AUTOVSCROLL) == 0, "no automatic vertical scrolling");
      want((style & WS_VSCROLL) != 0, "vertical scroll bar");
      want((style & ES_READONLY) == 0, "editable");
      want(border == table, "border");
      break;
    case ControlKind::ListBox:
      want((style & LBS_NOTIFY) != 0, "notifies");
      want((style & LBS_NOINTEGRALHEIGHT) != 0, "no integral height");
      want((style & LBS_SORT) == 0, "unsorted");
      want((style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) == 0, "one selection");
      want(border == table, "border");
      break;
    case ControlKind::Label:
      want((style & SS_TYPEMASK) == SS_LEFT, "left-aligned text");
      break;
    case ControlKind::Icon:
      want((style & SS_TYPEMASK) == SS_ICON, "icon");
      break;
    case ControlKind::StatusLine:
      want((style & SS_NOPREFIX) != 0, "no access-key prefixes");
      break;
  }
  return wrong;
}

void CheckControlTable(HWND dialog, const DialogTemplate& table, const std::string& what) {
  const UnitMapper units(table.fontName, table.fontPoints);
  const HWND focus = FocusOf(dialog);
  Check(TextOf(dialog) == Wide(table.caption), what + ": caption", Utf8(TextOf(dialog)));
  RECT client;
  GetClientRect(dialog, &client);
  const RECT size = units.Map(table.rect);
  Check(client.right == size.right - size.left && client.bottom == size.bottom - size.top,
        what + ": client area is the template's size in dialog units",
        Describe(client) + " vs " + Describe(size));

  const std::vector<HWND> children = Children(dialog);
  Check(children.size() == table.controls.size(), what + ": one control per row, no more",
        std::to_string(children.size()) + " controls, " + std::to_string(table.controls.size()) + " rows");
  for (std::size_t i = 0; i < table.controls.size() && i < children.size(); ++i) {
    const ControlRow& row = table.controls[i];
    HWND control = children[i];
    const std::string name = what + ": row " + std::to_string(i) + " (" + std::string(row.name) + ")";
    const int id = GetDlgCtrlID(control);
    Check(row.id != 0 ? id == row.id : (id == -1 || id == 0xFFFF), name + " has its id in template order",
          std::to_string(id));
    Check(SameText(ClassOf(control), ClassFor(row.kind)), name + " is a " + Utf8(ClassFor(row.kind)),
          Utf8(ClassOf(control)));
    const std::string mismatch = StyleMismatch(row, control, control == focus);
    Check(mismatch.empty(), name + " has the styles of its row", "not " + mismatch);
    const bool captioned = row.kind == ControlKind::PushButton ||
                           row.kind == ControlKind::DefaultPushButton ||
                           row.kind == ControlKind::RadioButton || row.kind == ControlKind::GroupBox ||
                           row.kind == ControlKind::Label;
    if (captioned) Check(TextOf(control) == Wide(row.caption), name + " caption", Utf8(TextOf(control)));

    const RECT expected = units.Map(row.rect);
    const RECT actual = PlaceInDialog(dialog, control);
    if (row.kind == ControlKind::Icon) {
      // An icon control takes the icon's own size.
      Check(actual.left == expected.left && actual.top == expected.top, name + " place", Describe(actual));
    } else if (row.kind == ControlKind::ComboBox) {
      // A combo box's height in the template includes its dropped-down list.
      RECT dropped{};
      SendMessageW(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&dropped), 2);
      Check(actual.left == expected.left && actual.top == expected.top && actual.right == expected.right,
            name + " place", Describe(actual) + " vs " + Describe(expected));
      // Windows gives the dropped-down rectangle of the whole box; Wine that of its list below the closed
      // box.
      const LONG droppedHeight = dropped.bottom - dropped.top;
      const LONG wanted = expected.bottom - expected.top;
      Check(droppedHeight == wanted || droppedHeight + (actual.bottom - actual.top) == wanted,
            name + " height with its list", Describe(dropped) + " vs " + Describe(expected));
    } else {
      Check(EqualRect(&actual, &expected) != FALSE, name + " place",
            Describe(actual) + " vs " + Describe(expected));
    }
  }

  // Tab walks the rows' tab stops in template order, skipping what is disabled and the unchecked radios.
  std::vector<int> expectedOrder;
  for (std::size_t i = 0; i < table.controls.size() && i < children.size(); ++i) {
    const ControlRow& row = table.controls[i];
    if ((row.styles & style::kTabStop) == 0 || IsWindowEnabled(children[i]) == FALSE) continue;
    if (row.kind == ControlKind::RadioButton && SendMessageW(children[i], BM_GETCHECK, 0, 0) != BST_CHECKED)
      continue;
    expectedOrder.push_back(row.id);
  }
  std::vector<int> order;
  HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
  for (HWND item = first; item != nullptr && order.size() <= table.controls.size();) {
    order.push_back(GetDlgCtrlID(item));
    item = GetNextDlgTabItem(dialog, item, FALSE);
    if (item == first) break;
  }
  std::string seen;
  for (const int id : order) seen += std::to_string(id) + " ";
  Check(order == expectedOrder, what + ": tab order", seen);
}

// ---- the lists ----

std::vector<std::wstring> Entries(HWND control, bool list) {
  std::vector<std::wstring> entries;
  const LRESULT count = SendMessageW(control, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length =
        SendMessageW(control, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    const LRESULT copied = SendMessageW(control, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(i),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
    entries.push_back(text);
  }
  return entries;
}

int Selected(HWND control, bool list) {
  return static_cast<int>(SendMessageW(control, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0));
}

// A pick from a combo box as the mouse makes it: the list drops down (the window hears of it first), the
// entry is selected, the window is told, the list closes.
bool PickComboEntry(HWND dialog, int id, const std::wstring& entry,
                    const std::function<void()>& whileOpen = {}) {
  HWND combo = GetDlgItem(dialog, id);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  if (whileOpen) whileOpen();
  const std::vector<std::wstring> entries = Entries(combo, false);
  const auto found = std::find(entries.begin(), entries.end(), entry);
  if (found != entries.end()) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(found - entries.begin()), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  }
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  return found != entries.end();
}

bool PickListEntry(HWND dialog, int id, int index) {
  HWND list = GetDlgItem(dialog, id);
  if (SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0) == LB_ERR) return false;
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  return true;
}

// ---- the scenario ----

class Driver {
 public:
  explicit Driver(Options options) : m_options(std::move(options)), m_work(m_options.work) {}

  int Run();

 private:
  // Asks the Linux side for a picture of `window` (and what lies on it) as NAME.png, and waits until it has
  // one.
  void Shot(const char* name, HWND window = nullptr);
  void Defaults();
  void AboutBox();
  void UploadWithoutPort();
  void OpenPort();
  void Download();
  void CloseWithUnsavedDownload();
  void Output();
  void Upload();
  void Close();

  MessageBoxSeen ExpectMessageBox(const std::string& name, std::u16string_view text, IconKind icon,
                                  DWORD timeoutMs);
  // Types `path` into the file chooser the click opened and presses its Open button.
  bool Choose(const std::string& name, const std::wstring& path, const char* shot = nullptr);
  std::wstring StatusLine() const { return TextOf(GetDlgItem(m_main, kIdStatusLine)); }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(m_main, id)) != FALSE; }
  bool Checked(int id) const {
    return SendMessageW(GetDlgItem(m_main, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  Options m_options;
  Work m_work;
  Program m_program;
  HWND m_main = nullptr;
};

void Driver::Shot(const char* name, HWND window) {
  if (!m_options.shots) return;
  RECT place;
  GetWindowRect(window != nullptr ? window : m_main, &place);
  if (window != nullptr && window != m_main) {
    // A box or chooser is shown over the main window: the picture takes both.
    RECT main;
    GetWindowRect(m_main, &main);
    UnionRect(&place, &place, &main);
  }
  Sleep(300);  // drawn
  const std::wstring request =
      std::wstring(L"shot-") + std::wstring(name, name + std::char_traits<char>::length(name));
  m_work.Signal(request, std::to_string(place.left) + " " + std::to_string(place.top) + " " +
                             std::to_string(place.right - place.left) + " " +
                             std::to_string(place.bottom - place.top));
  WaitFor([&] { return m_work.Exists(request + L".done"); }, 20000, 20);
}

MessageBoxSeen Driver::ExpectMessageBox(const std::string& name, std::u16string_view text, IconKind icon,
                                        DWORD timeoutMs) {
  HWND box = m_program.WaitForMessageBox(m_main, timeoutMs);
  MessageBoxSeen seen;
  if (!Check(box != nullptr, name + ": a message box owned by the window")) return seen;
  seen = ReadMessageBox(box);
  // A box that a busy system has not drawn yet shows no icon on the screen so far.
  for (int tries = 0; tries < 10 && seen.icon != icon; ++tries) {
    Sleep(200);
    seen = ReadMessageBox(box);
  }
  Check(seen.text == Wide(text), name + ": its text", Utf8(seen.text));
  Check(seen.icon == icon, name + std::string(": the ") + Name(icon) + " icon", Name(seen.icon));
  const bool yesNo = icon == IconKind::Question;
  const std::vector<int> buttons = yesNo ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
  std::vector<int> shown = seen.buttons;
  std::sort(shown.begin(), shown.end());
  std::vector<int> wanted = buttons;
  std::sort(wanted.begin(), wanted.end());
  Check(shown == wanted, name + (yesNo ? ": Yes and No" : ": OK only"));
  return seen;
}

bool Driver::Choose(const std::string& name, const std::wstring& path, const char* shot) {
  HWND chooser = m_program.WaitForOwnedDialog(
      m_main,
      [](HWND window) { return GetDlgItem(window, cmb13) != nullptr || GetDlgItem(window, edt1) != nullptr; },
      10000);
  if (!Check(chooser != nullptr, name + ": the file chooser opens, owned by the window")) return false;
  HWND nameBox = GetDlgItem(chooser, cmb13);
  if (nameBox == nullptr) nameBox = GetDlgItem(chooser, edt1);
  // Its first filter is the one selected.
  HWND types = GetDlgItem(chooser, cmb1);
  if (types != nullptr) {
    const std::vector<std::wstring> filters = Entries(types, false);
    const int selected = Selected(types, false);
    Check(filters.size() == 2 && selected == 0 && filters[0] == Wide(messages::kAllFilesFilter.label) &&
              filters[1] == Wide(messages::kTextFilesFilter.label),
          name + ": the filters, all files first and selected",
          filters.empty() ? std::string("none")
                          : Utf8(filters[static_cast<std::size_t>(std::max(selected, 0))]));
  }
  SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  if (shot != nullptr) Shot(shot, chooser);
  Click(chooser, IDOK);
  return Check(WaitFor([&] { return IsWindow(chooser) == FALSE; }, 10000),
               name + ": the chooser takes the name");
}

void Driver::Defaults() {
  struct ListRow {
    const char* name;
    int id;
    std::vector<std::wstring> entries;
    int selected;
  };
  std::vector<std::wstring> parity;
  for (const std::u16string_view entry : messages::kParityEntries) parity.push_back(Wide(entry));
  const ListRow lists[] = {
      {"port list begins with COM1 to COM9, COM1 selected",
       kIdPort,
       {L"COM1", L"COM2", L"COM3", L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9"},
       0},
      {"baud list, 19200 selected", kIdBaud, {L"4800", L"9600", L"19200", L"38400"}, 2},
      {"data bits list, 8 selected", kIdDataBits, {L"7", L"8"}, 1},
      {"parity list, none selected", kIdParity, parity, 0},
  };
  for (const ListRow& row : lists) {
    HWND combo = GetDlgItem(m_main, row.id);
    std::vector<std::wstring> entries = Entries(combo, false);
    // The port list goes on with the ports that the system reports.
    if (row.id == kIdPort && entries.size() > row.entries.size()) entries.resize(row.entries.size());
    std::string seen;
    for (const std::wstring& entry : entries) seen += Utf8(entry) + " ";
    Check(entries == row.entries && Selected(combo, false) == row.selected,
          std::string("defaults: ") + row.name, seen + "selected " + std::to_string(Selected(combo, false)));
  }
  Check(Checked(kIdDownloadMode) && !Checked(kIdUploadMode), "defaults: download mode checked");
  Check(Enabled(kIdOpenPort) && !Enabled(kIdClosePort) && !Enabled(kIdUpload),
        "defaults: Open port enabled, Close port and Upload disabled");
  Check(Enabled(kIdBrowse) && Enabled(kIdOutput) && Enabled(kIdClearData),
        "defaults: Browse, Output and Clear data enabled");
  Check(TextOf(GetDlgItem(m_main, kIdData)).empty() && TextOf(GetDlgItem(m_main, kIdFilePath)).empty() &&
            TextOf(GetDlgItem(m_main, kIdStatus)).empty() &&
            SendMessageW(GetDlgItem(m_main, kIdRoads), LB_GETCOUNT, 0, 0) == 0,
        "defaults: the boxes and the road list are empty");
  Check(StatusLine() == Wide(messages::kStatusNoPort), "defaults: the status line says no port is open",
        Utf8(StatusLine()));
  Check(FocusOf(m_main) == GetDlgItem(m_main, kIdOpenPort), "defaults: the focus is on the first tab stop");
  CheckControlTable(m_main, TransferDialogTemplate(), "main window");
  Shot("window");
}

void Driver::AboutBox() {
  const auto aboutBox = [&] {
    return m_program.WaitForOwnedDialog(
        m_main, [](HWND window) { return TextOf(window) == Wide(AboutDialogTemplate().caption); }, 5000);
  };
  // The system menu's entry sends its command, 16; the system's low four bits do not matter.
  struct Row {
    const char* name;
    WPARAM command;
    bool byOk;
  };
  for (const Row& row : {Row{"About box: command 16, closed with OK", 0x10, true},
                         Row{"About box: command 17, closed with the close box", 0x11, false}}) {
    PostMessageW(m_main, WM_SYSCOMMAND, row.command, 0);
    HWND about = aboutBox();
    if (!Check(about != nullptr, row.name + std::string(": opens, owned by the window"))) continue;
    if (row.byOk) {
      CheckControlTable(about, AboutDialogTemplate(), "About box");
      Check(FocusOf(about) == GetDlgItem(about, kIdOk), "About box: the focus is on OK");
      Shot("about", about);
      Click(about, kIdOk);
    } else {
      PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    Check(WaitFor([&] { return IsWindow(about) == FALSE; }, 5000), row.name + std::string(": closes"));
  }
  Check(
      IsWindow(m_main) != FALSE && OwnedDialog(m_program.Id(), m_main, [](HWND) { return true; }) == nullptr,
      "About box: the main window stays, with nothing over it");
}

void Driver::UploadWithoutPort() {
  Click(m_main, kIdUploadMode);
  Check(WaitFor([&] { return Enabled(kIdUpload) && Checked(kIdUploadMode); }, 5000),
        "upload mode: the radio checks itself and Upload is enabled");
  Check(!Checked(kIdDownloadMode), "upload mode: the download radio is unchecked");
  Click(m_main, kIdUpload);
  const MessageBoxSeen seen =
      ExpectMessageBox("Upload without a port", messages::kPortNotOpen, IconKind::Exclamation, 5000);
  if (seen.box != nullptr) Click(seen.box, IDOK);
  Check(WaitFor([&] { return seen.box == nullptr || IsWindow(seen.box) == FALSE; }, 5000),
        "Upload without a port: OK closes the box");
  Click(m_main, kIdDownloadMode);
  Check(WaitFor([&] { return !Enabled(kIdUpload) && Checked(kIdDownloadMode); }, 5000),
        "download mode: Upload is disabled again");
}

void Driver::OpenPort() {
  const bool picked = PickComboEntry(m_main, kIdPort, m_options.port, [&] { Shot("port-list"); });
  Check(picked, "port list: " + Utf8(m_options.port) + " is offered and picked");
  Check(TextOf(GetDlgItem(m_main, kIdPort)) == m_options.port, "port list shows the pick");
  Check(PickComboEntry(m_main, kIdBaud, m_options.baud), "baud list: " + Utf8(m_options.baud) + " picked");
  Click(m_main, kIdOpenPort);
  Check(WaitFor([&] { return !Enabled(kIdOpenPort) && Enabled(kIdClosePort); }, 10000),
        "Open port: the port opens (Open port disabled, Close port enabled)",
        "tooltip reason unknown; status line " + Utf8(StatusLine()));
  Check(WaitFor([&] { return StatusLine() != Wide(messages::kStatusNoPort); }, 5000),
        "Open port: the status line no longer says no port is open", Utf8(StatusLine()));
}

void Driver::Download() {
  m_work.Signal(L"ready-download");
  HWND box = nullptr;
  // The instrument's records at the line's rate: a few seconds up to minutes for a long download. The box is
  // noted when its window is made and when it shows, which tells the window's part from the system's.
  double made = 0;
  WaitFor(
      [&] {
        if (made == 0 && !TopLevelWindows(
                              m_program.Id(),
                              [&](HWND window) {
                                return ClassOf(window) == L"#32770" && GetWindow(window, GW_OWNER) == m_main;
                              },
                              true)
                              .empty()) {
          made = NowUnix();
        }
        return (box = m_program.WaitForMessageBox(m_main, 0)) != nullptr;
      },
      600000, 1);
  const double seen = NowUnix();
  m_work.Signal(L"download-box", std::to_string(made != 0 ? made : seen) + " " + std::to_string(seen));
  ExpectMessageBox("download", messages::kDownloadComplete, IconKind::Information, 1000);
  Shot("download-complete", box);
  Click(box, IDOK);
  Check(WaitFor([&] { return IsWindow(box) == FALSE; }, 5000),
        "download: the completion message closes with OK");
  Check(!TextOf(GetDlgItem(m_main, kIdData)).empty(), "download: the data box holds the records");
  const std::wstring finished = Wide(messages::kStatusDownloadFinished.substr(0, 5));
  Check(WaitFor([&] { return StatusLine().starts_with(finished); }, 5000),
        "download: the status line tells the end", Utf8(StatusLine()));
}

void Driver::CloseWithUnsavedDownload() {
  PostMessageW(m_main, WM_SYSCOMMAND, SC_CLOSE, 0);
  const MessageBoxSeen seen = ExpectMessageBox("close with an unsaved download", messages::kUnsavedDownload,
                                               IconKind::Question, 5000);
  if (seen.box == nullptr) return;
  Shot("unsaved-question", seen.box);
  Click(seen.box, IDNO);
  Check(WaitFor([&] { return IsWindow(seen.box) == FALSE; }, 5000),
        "close with an unsaved download: No closes the box");
  Sleep(300);
  Check(IsWindow(m_main) != FALSE && !m_program.Ended(0),
        "close with an unsaved download: No keeps the window");
}

void Driver::Output() {
  Click(m_main, kIdOutput);
  if (!Choose("Output", m_work.Path(L"out\\download.txt"), "output-chooser")) return;
  const MessageBoxSeen seen = ExpectMessageBox("Output", messages::kDataOutput, IconKind::Information, 10000);
  if (seen.box == nullptr) return;
  Shot("output-done", seen.box);
  Click(seen.box, IDOK);
  const std::wstring written = Wide(messages::kStatusOutput.substr(0, 3));
  Check(WaitFor([&] { return StatusLine().starts_with(written); }, 5000),
        "Output: the status line names the file", Utf8(StatusLine()));
  m_work.Signal(L"output-done", Utf8(StatusLine()));
}

void Driver::Upload() {
  Click(m_main, kIdBrowse);
  if (!Choose("Browse", m_options.roadFile)) return;
  HWND roads = GetDlgItem(m_main, kIdRoads);
  Check(WaitFor([&] { return SendMessageW(roads, LB_GETCOUNT, 0, 0) > m_options.road; }, 5000),
        "Browse: the road list holds the file's roads",
        std::to_string(SendMessageW(roads, LB_GETCOUNT, 0, 0)));
  Check(Selected(roads, true) == 0, "Browse: the first road is selected");
  Check(SameText(TextOf(GetDlgItem(m_main, kIdFilePath)), m_options.roadFile),
        "Browse: the path box shows the file", Utf8(TextOf(GetDlgItem(m_main, kIdFilePath))));
  Check(!TextOf(GetDlgItem(m_main, kIdData)).empty(), "Browse: the data box shows the file");
  Check(PickListEntry(m_main, kIdRoads, m_options.road) && Selected(roads, true) == m_options.road,
        "road list: road " + std::to_string(m_options.road) + " picked");
  Shot("upload-roads");
  Click(m_main, kIdUploadMode);
  Check(WaitFor([&] { return Enabled(kIdUpload); }, 5000), "upload mode: Upload enabled");
  Click(m_main, kIdUpload);
  const std::wstring uploading = Wide(messages::kStatusUploadWaiting.substr(0, 3));
  Check(WaitFor([&] { return StatusLine().starts_with(uploading); }, 5000),
        "Upload: the status line waits for the instrument", Utf8(StatusLine()));
  m_work.Signal(L"ready-upload");
  Check(WaitFor([&] { return m_work.Exists(L"upload-done"); }, 30000, 10),
        "Upload: the instrument took the lines");
  const std::wstring finished = Wide(messages::kStatusUploadFinished.substr(0, 4));
  Check(WaitFor([&] { return StatusLine().starts_with(finished); }, 5000),
        "Upload: the status line tells the end", Utf8(StatusLine()));
  Check(!TextOf(GetDlgItem(m_main, kIdStatus)).empty(),
        "Upload: the live status box shows what the instrument sent");
  Shot("upload-status");
}

void Driver::Close() {
  PostMessageW(m_main, WM_SYSCOMMAND, SC_CLOSE, 0);
  Check(m_program.Ended(10000), "close: the program ends without a question once the download is output");
  Check(m_program.ExitCode() == 0, "close: exit status 0", std::to_string(m_program.ExitCode()));
}

int Driver::Run() {
  const double started = NowUnix();
  if (!Check(m_program.Start(m_options), "kestrion.exe starts")) return 1;
  WaitFor([&] { return (m_main = m_program.FindMainWindow()) != nullptr; }, 60000, 10);
  if (!Check(m_main != nullptr, "the window appears: a dialog captioned Kestrion holding control 1008"))
    return 1;
  Note("window after " + std::to_string(NowUnix() - started) + " s");

  Defaults();
  AboutBox();
  UploadWithoutPort();
  OpenPort();
  Download();
  CloseWithUnsavedDownload();
  Output();
  Upload();
  Close();
  return 0;
}

// ---- the key table, played as keyboard input ----

using testing_support::Key;
using testing_support::KeyRow;

INPUT KeyInput(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (key == VK_UP || key == VK_DOWN) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  return input;
}

// The keys of a row's key, the modifiers first.
std::vector<WORD> KeysOf(Key key) {
  switch (key) {
    case Key::Tab:
      return {VK_TAB};
    case Key::ShiftTab:
      return {VK_SHIFT, VK_TAB};
    case Key::CtrlTab:
      return {VK_CONTROL, VK_TAB};
    case Key::CtrlShiftTab:
      return {VK_CONTROL, VK_SHIFT, VK_TAB};
    case Key::Enter:
      return {VK_RETURN};
    case Key::Esc:
      return {VK_ESCAPE};
    case Key::Up:
      return {VK_UP};
    case Key::Down:
      return {VK_DOWN};
    case Key::Space:
      return {VK_SPACE};
  }
  return {};
}

// Pressed as a person does: the modifiers held while the key goes down and up, then let go. The system gives
// them to the window in front, with the state of Shift and Ctrl that a posted message would not carry.
bool Press(Key key) {
  const std::vector<WORD> keys = KeysOf(key);
  std::vector<INPUT> inputs;
  for (const WORD k : keys) inputs.push_back(KeyInput(k, false));
  for (auto k = keys.rbegin(); k != keys.rend(); ++k) inputs.push_back(KeyInput(*k, true));
  const UINT count = static_cast<UINT>(inputs.size());
  return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

std::wstring WideBytes(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

class KeyDriver {
 public:
  explicit KeyDriver(Options options) : m_options(std::move(options)), m_work(m_options.work) {}

  void Run() {
    // KESTRION_KEYS=PART plays only the rows whose names hold PART.
    wchar_t only[128] = {};
    GetEnvironmentVariableW(L"KESTRION_KEYS", only, 128);
    for (const KeyRow& row : testing_support::KeyTable()) {
      if (only[0] != 0 && WideBytes(row.name).find(only) == std::wstring::npos) continue;
      if (Prepare(row)) Play(row);
    }
    m_program.Stop();
  }

 private:
  HWND Item(int id) const { return GetDlgItem(m_main, id); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  int Mode() const { return Checked(kIdUploadMode) ? 0 : 1; }
  // As if typed: the box is marked as the operator's edit, which the window takes in.
  void SetText(int id, const std::string& text) const {
    const std::wstring wide = WideBytes(text);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    SendMessageW(Item(id), EM_SETMODIFY, TRUE, 0);
  }
  // A box's text with its line ends shown.
  std::string Shown(int id) const {
    std::string shown;
    for (const char c : Utf8(TextOf(Item(id)))) {
      shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return shown;
  }

  // The control of the main window that holds the focus (the combo box, not the edit inside it); 0 for none.
  int FocusedId() const {
    HWND focused = FocusOf(m_main);
    if (focused == nullptr || !IsChild(m_main, focused)) return 0;
    while (GetParent(focused) != m_main) focused = GetParent(focused);
    return GetDlgCtrlID(focused);
  }

  bool Fresh(const std::string& name) {
    m_main = nullptr;
    if (!Check(m_program.Start(m_options), name + ": kestrion.exe starts")) return false;
    WaitFor([&] { return (m_main = m_program.FindMainWindow()) != nullptr; }, 60000, 10);
    return Check(m_main != nullptr, name + ": the window appears");
  }

  bool OpenPort(const std::string& name) {
    if (!Check(PickComboEntry(m_main, kIdPort, m_options.port), name + ": the port is offered")) return false;
    Click(m_main, kIdOpenPort);
    const bool opened = WaitFor([&] { return IsWindowEnabled(Item(kIdClosePort)) != FALSE; }, 10000);
    HWND box = m_program.WaitForMessageBox(m_main, 0);
    return Check(opened, name + ": the port opens",
                 "status line '" + Utf8(TextOf(Item(kIdStatusLine))) + "'" +
                     (box != nullptr ? ", message '" + Utf8(ReadMessageBox(box).text) + "'" : ""));
  }

  // The row's starting state, on the window of the last row where that can be had, on a new one otherwise.
  bool Prepare(const KeyRow& row) {
    const std::string& name = row.name;
    const bool special = row.unsaved || row.uploading;
    if (m_main == nullptr || IsWindow(m_main) == FALSE || m_dirty || special ||
        OwnedDialog(m_program.Id(), m_main, [](HWND) { return true; }) != nullptr) {
      if (!Fresh(name)) return false;
    }
    m_dirty = special;
    const int radio = row.mode == 0 ? kIdUploadMode : kIdDownloadMode;
    if (!Checked(radio)) Click(m_main, radio);
    if (!Check(WaitFor([&] { return Mode() == row.mode; }, 5000), name + ": the mode is set")) return false;
    SetText(kIdData, testing_support::kKeyData);
    SetText(kIdStatus, testing_support::kKeyStatus);
    SetText(kIdFilePath, testing_support::kKeyPath);
    if (row.focus == kIdClearData) {
      // Clear data shows every field again: the row's texts are taken in as fields first, by Open port, which
      // takes the controls into the fields at its start.
      if (!OpenPort(name)) return false;
      Click(m_main, kIdClosePort);
      if (!Check(WaitFor([&] { return IsWindowEnabled(Item(kIdOpenPort)) != FALSE; }, 5000),
                 name + ": the port closes"))
        return false;
    }
    if (row.uploading) {
      if (!OpenPort(name)) return false;
      Click(m_main, kIdUpload);
      // Starting an upload empties the status box; the instrument never asks here.
      if (!Check(WaitFor([&] { return TextOf(Item(kIdStatus)).empty(); }, 5000), name + ": the upload starts"))
        return false;
    }
    if (row.unsaved) {
      if (!OpenPort(name)) return false;
      m_work.Signal(L"send", "x");
      if (!Check(WaitFor([&] { return TextOf(Item(kIdData)) != WideBytes(testing_support::kKeyData); }, 10000),
                 name + ": a download arrives"))
        return false;
      SetText(kIdData, testing_support::kKeyData);
    }
    // The caret at the end of both boxes, where the table's rows type. (The length by the text: the system's
    // length of another program's window is 0.)
    for (const int id : {kIdData, kIdStatus}) {
      const WPARAM end = static_cast<WPARAM>(TextOf(Item(id)).size());
      SendMessageW(Item(id), EM_SETSEL, end, static_cast<LPARAM>(end));
    }
    SetForegroundWindow(m_main);
    SendMessageW(m_main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(row.focus)), TRUE);
    if (!Check(WaitFor([&] { return GetForegroundWindow() == m_main && FocusedId() == row.focus; }, 5000),
               name + ": the window in front, the focus on " + std::to_string(row.focus),
               std::to_string(FocusedId())))
      return false;
    if (row.dropDown) {
      SendMessageW(Item(row.focus), CB_SHOWDROPDOWN, TRUE, 0);
      if (!Check(SendMessageW(Item(row.focus), CB_GETDROPPEDSTATE, 0, 0) != FALSE, name + ": the list opens"))
        return false;
    }
    return true;
  }

  // The whole text of the path box selected where the row says so; nothing selected in a multi-line box.
  bool SelectionAsTheRowSays(const KeyRow& row) const {
    const int id = row.focusAfter;
    if (row.question != nullptr || (id != kIdFilePath && id != kIdData && id != kIdStatus)) return true;
    const LRESULT selection = SendMessageW(Item(id), EM_GETSEL, 0, 0);
    const bool all = LOWORD(selection) == 0 && HIWORD(selection) == TextOf(Item(id)).size();
    const bool none = LOWORD(selection) == HIWORD(selection);
    return id == kIdFilePath ? all == row.selectedAll : none;
  }

  std::string Seen(const KeyRow& row) const {
    std::string seen = "focus " + std::to_string(FocusedId()) + ", mode " + std::to_string(Mode()) + ", data '" +
                       Shown(kIdData) + "', status '" + Shown(kIdStatus) + "'";
    if (!SelectionAsTheRowSays(row)) {
      const LRESULT selection = SendMessageW(Item(row.focusAfter), EM_GETSEL, 0, 0);
      seen += ", selection " + std::to_string(LOWORD(selection)) + "-" + std::to_string(HIWORD(selection));
    }
    if (row.dropDown && SendMessageW(Item(row.focus), CB_GETDROPPEDSTATE, 0, 0) != FALSE) seen += ", list open";
    return seen;
  }

  void Play(const KeyRow& row) {
    const std::string& name = row.name;
    if (!Check(Press(row.key), name + ": the key is sent")) return;
    HWND box = m_program.WaitForMessageBox(m_main, row.question != nullptr ? 5000 : 0);
    if (row.question != nullptr) {
      if (!Check(box != nullptr, name + ": a question")) return;
      const MessageBoxSeen seen = ReadMessageBox(box);
      Check(seen.text == Wide(row.question), name + ": the question", Utf8(seen.text));
      Click(box, row.answer == Prompter::Answer::Yes ? IDYES : IDNO);
      WaitFor([&] { return IsWindow(box) == FALSE; }, 5000);
    }
    if (!row.stays) {
      const bool ended = m_program.Ended(5000);
      Check(ended, name + ": the window closes", ended ? "" : Seen(row));
      m_main = nullptr;
      return;
    }
    const int mode = row.modeAfter < 0 ? row.mode : row.modeAfter;
    const auto matches = [&] {
      return IsWindow(m_main) != FALSE && FocusedId() == row.focusAfter && Mode() == mode &&
             TextOf(Item(kIdData)) == WideBytes(row.dataAfter) &&
             TextOf(Item(kIdStatus)) == WideBytes(row.statusAfter) &&
             !(row.dropDown && SendMessageW(Item(row.focus), CB_GETDROPPEDSTATE, 0, 0) != FALSE) &&
             SelectionAsTheRowSays(row);
    };
    // What a key does shows within moments; a wrong effect too is given the time to show.
    WaitFor(matches, 1500);
    Sleep(100);
    box = m_program.WaitForMessageBox(m_main, 0);
    Check(box == nullptr && !m_program.Ended(0) && matches(), name, box != nullptr ? "a message box" : Seen(row));
  }

  Options m_options;
  Work m_work;
  Program m_program;
  HWND m_main = nullptr;
  bool m_dirty = false;  // the window holds a download or runs an upload, which the next row must not inherit
};

std::wstring WithBackslash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Pixels as the program under test has them, whatever the screen's scale.
  SetProcessDPIAware();
  if (argc == 5 && std::wstring_view(argv[1]) == L"--keys") {
    Options options;
    options.exe = argv[2];
    options.work = WithBackslash(argv[3]);
    options.port = argv[4];
    KeyDriver(options).Run();
    std::printf("%d failed\n", g_failures);
    return std::min(g_failures, 100);
  }
  if (argc < 7) {
    std::fprintf(stderr, "usage: kestrion-window-driver EXE WORK PORT BAUD ROAD_FILE ROAD [--shots]\n"
                         "       kestrion-window-driver --keys EXE WORK PORT\n");
    return 100;
  }
  Options options;
  options.exe = argv[1];
  options.work = WithBackslash(argv[2]);
  options.port = argv[3];
  options.baud = argv[4];
  options.roadFile = argv[5];
  options.road = _wtoi(argv[6]);
  options.shots = argc > 7 && std::wstring_view(argv[7]) == L"--shots";
  Driver driver(options);
  driver.Run();
  std::printf("%d failed\n", g_failures);
  return std::min(g_failures, 100);
}
