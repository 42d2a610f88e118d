#include "win32/Win32DialogWindow.h"

#include <commctrl.h>
#include <oleacc.h>

#include <string>

#include "win32/DialogResource.h"

namespace kestrion {
namespace {

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// A position of an edit's text after [start, end) became `inserted` units: before the change it stays, after
// it moves with the text, inside it goes to the end of what replaced the text it was in, at the most.
std::size_t Moved(std::size_t position, std::size_t start, std::size_t end, std::size_t inserted) {
  if (position <= start) return position;
  if (position >= end) return position - (end - start) + inserted;
  return std::min(position, start + inserted);
}

// A multi-line box that the focus reaches by Tab keeps its caret and selection: the dialog manager selects
// the whole text of an edit it tabs into, and a download selected so would be replaced by the next key.
LRESULT CALLBACK KeepSelectionOnTab(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
  const LRESULT result = DefSubclassProc(hWnd, message, wParam, lParam);
  if (message == WM_GETDLGCODE) return result & ~static_cast<LRESULT>(DLGC_HASSETSEL);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hWnd, &KeepSelectionOnTab, 0);
  return result;
}

}  // namespace

Win32DialogWindow::Win32DialogWindow(CDialog& dialog, HWND owner) : m_dialog(dialog), m_hOwner(owner) {}

Win32DialogWindow::~Win32DialogWindow() {
  if (m_dialog.IsAttached()) m_dialog.Detach();
  if (m_hBigIcon != nullptr) DestroyIcon(m_hBigIcon);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
}

INT_PTR Win32DialogWindow::DoModal() {
  const DialogResource resource(m_dialog.GetTemplate(), m_hOwner == nullptr);
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), resource.Get(), m_hOwner, &DialogProc,
                                 reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32DialogWindow::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32DialogWindow* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Win32DialogWindow*>(lParam);
    SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = hWnd;
  } else {
    self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(hWnd, DWLP_USER));
  }
  // The messages before WM_INITDIALOG are the dialog manager's.
  if (self == nullptr) return FALSE;
  return self->OnMessage(message, wParam);
}

INT_PTR Win32DialogWindow::OnMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      OnCommand(wParam);
      return TRUE;
    case WM_TIMER:
      m_dialog.OnTimer(static_cast<int>(wParam));
      return TRUE;
    case WM_SYSCOMMAND:
      if (!m_dialog.OnSysCommand(static_cast<unsigned>(wParam))) return FALSE;  // the system's own
      SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_PAINT:
      if (!IsIconic(m_hWnd)) return FALSE;
      OnPaintMinimized();
      return TRUE;
    case WM_QUERYDRAGICON:
      // One of the messages whose result the dialog procedure returns itself.
      return reinterpret_cast<INT_PTR>(m_hBigIcon);
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default:
      break;
  }
  return FALSE;
}

BOOL Win32DialogWindow::OnInitDialog() {
  m_prompter.SetOwner(m_hWnd);
  for (const ControlRow& row : m_dialog.GetTemplate().controls) {
    if (row.id == 0) continue;
    m_kinds[row.id] = row.kind;
    // An edit holds as much as memory allows, not the 32 K characters it starts with.
    if (row.kind == ControlKind::Edit || row.kind == ControlKind::MultiLineEdit) {
      SendMessageW(Item(row.id), EM_SETLIMITTEXT, 0, 0);
    }
    if (row.kind == ControlKind::MultiLineEdit) SetWindowSubclass(Item(row.id), &KeepSelectionOnTab, 0, 0);
  }
  m_hToolTip = CreateWindowExW(
      WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, GetModuleHandleW(nullptr), nullptr);
  // A long tip (a path on the status line) wraps instead of running off the screen.
  if (m_hToolTip != nullptr) SendMessageW(m_hToolTip, TTM_SETMAXTIPWIDTH, 0, 600);

  m_dialog.Attach(*this, m_prompter);
  // True: the dialog manager gives the focus to the first tab stop; false: the dialog set it.
  return m_dialog.OnInitDialog() ? TRUE : FALSE;
}

void Win32DialogWindow::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  const UINT code = HIWORD(wParam);
  // Enter, Esc and the close box come as the standard buttons' commands; so do the buttons of those ids.
  if (id == IDOK || id == IDCANCEL) {
    if (code == BN_CLICKED) m_dialog.OnCommand(id == IDOK ? kIdOk : kIdCancel, Notification::Clicked);
    return;
  }
  const auto kind = m_kinds.find(id);
  if (kind == m_kinds.end()) return;
  switch (kind->second) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
    case ControlKind::RadioButton:
      if (code == BN_CLICKED) m_dialog.OnCommand(id, Notification::Clicked);
      break;
    case ControlKind::ComboBox:
      if (code == CBN_DROPDOWN) m_dialog.OnCommand(id, Notification::DropDown);
      if (code == CBN_SELCHANGE) m_dialog.OnCommand(id, Notification::SelectionChanged);
      break;
    case ControlKind::ListBox:
      if (code == LBN_SELCHANGE) m_dialog.OnCommand(id, Notification::SelectionChanged);
      break;
    default:
      break;
  }
}

// A minimised window that draws its own client area shows the icon in the middle of it.
void Win32DialogWindow::OnPaintMinimized() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - iconWidth + 1) / 2;
  const int y = (client.bottom - client.top - iconHeight + 1) / 2;
  if (m_hBigIcon != nullptr) DrawIcon(dc, x, y, m_hBigIcon);
  EndPaint(m_hWnd, &paint);
}

void Win32DialogWindow::OnDestroy() {
  // The controls are still there while the dialog lets go of what it holds.
  m_dialog.OnDestroy();
  m_dialog.Detach();
  m_hToolTip = nullptr;  // an owned window: it goes with this one
}

HWND Win32DialogWindow::Item(int id) const {
  return m_hWnd != nullptr ? GetDlgItem(m_hWnd, id) : nullptr;
}

ControlKind Win32DialogWindow::KindOf(int id) const {
  const auto found = m_kinds.find(id);
  return found != m_kinds.end() ? found->second : ControlKind::Label;
}

std::u16string Win32DialogWindow::GetText(int id) const {
  HWND item = Item(id);
  if (item == nullptr) return {};
  const int length = GetWindowTextLengthW(item);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(item, text.data(), length + 1);
  return FromWide(text.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

std::size_t Win32DialogWindow::GetTextLength(int id) const {
  HWND item = Item(id);
  if (item == nullptr) return 0;
  const int length = GetWindowTextLengthW(item);
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

void Win32DialogWindow::SetText(int id, std::u16string_view text) {
  if (HWND item = Item(id)) SetWindowTextW(item, Wide(text).c_str());
}

void Win32DialogWindow::ReplaceText(int id, std::size_t start, std::size_t end, std::u16string_view text) {
  HWND item = Item(id);
  if (item == nullptr) return;
  DWORD selStart = 0;
  DWORD selEnd = 0;
  SendMessageW(item, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
  const LRESULT firstLine = SendMessageW(item, EM_GETFIRSTVISIBLELINE, 0, 0);

  // Drawn once, when the text, the selection and the scroll position are back where they belong.
  SendMessageW(item, WM_SETREDRAW, FALSE, 0);
  SendMessageW(item, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
  SendMessageW(item, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  SendMessageW(item, EM_SETSEL, static_cast<WPARAM>(Moved(selStart, start, end, text.size())),
               static_cast<LPARAM>(Moved(selEnd, start, end, text.size())));
  const LRESULT nowFirstLine = SendMessageW(item, EM_GETFIRSTVISIBLELINE, 0, 0);
  if (nowFirstLine != firstLine) SendMessageW(item, EM_LINESCROLL, 0, firstLine - nowFirstLine);
  SendMessageW(item, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(item, nullptr, TRUE);
  // A refresh is not the operator's to undo.
  SendMessageW(item, EM_EMPTYUNDOBUFFER, 0, 0);
}

bool Win32DialogWindow::GetModify(int id) const {
  HWND item = Item(id);
  return item != nullptr && SendMessageW(item, EM_GETMODIFY, 0, 0) != 0;
}

void Win32DialogWindow::SetModify(int id, bool modified) {
  if (HWND item = Item(id)) SendMessageW(item, EM_SETMODIFY, modified ? TRUE : FALSE, 0);
}

void Win32DialogWindow::EnableWindow(int id, bool enable) {
  HWND item = Item(id);
  if (item == nullptr) return;
  // A disabled control keeps no keyboard focus: it goes on to the next control, as in a window of the other
  // host, instead of being left nowhere.
  if (!enable && ::GetFocus() == item) SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, FALSE);
  ::EnableWindow(item, enable ? TRUE : FALSE);
}

bool Win32DialogWindow::IsWindowEnabled(int id) const {
  HWND item = Item(id);
  return item != nullptr && ::IsWindowEnabled(item) != 0;
}

void Win32DialogWindow::CheckButton(int id, bool checked) {
  if (HWND item = Item(id)) SendMessageW(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32DialogWindow::IsButtonChecked(int id) const {
  HWND item = Item(id);
  return item != nullptr && SendMessageW(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogWindow::SetToolTip(int id, std::u16string_view text) {
  HWND item = Item(id);
  if (item == nullptr || m_hToolTip == nullptr) return;
  std::wstring tip = Wide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(item);
  tool.lpszText = tip.data();
  if (!m_tools[id]) {
    m_tools[id] = SendMessageW(m_hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
  } else {
    SendMessageW(m_hToolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void Win32DialogWindow::SetDescription(int id, std::u16string_view text) {
  HWND item = Item(id);
  if (item == nullptr) return;
  // Screen readers take it from the control's accessible object, annotated through the system's service;
  // without that service the control keeps its own description.
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                              reinterpret_cast<void**>(&services)))) {
    return;
  }
  services->SetHwndPropStr(item, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                           Wide(text).c_str());
  services->Release();
}

void Win32DialogWindow::ResetContent(int id) {
  HWND item = Item(id);
  if (item == nullptr) return;
  SendMessageW(item, IsList(id) ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
}

void Win32DialogWindow::AddString(int id, std::u16string_view text) {
  HWND item = Item(id);
  if (item == nullptr) return;
  SendMessageW(item, IsList(id) ? LB_ADDSTRING : CB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

int Win32DialogWindow::GetCount(int id) const {
  HWND item = Item(id);
  if (item == nullptr) return 0;
  const LRESULT count = SendMessageW(item, IsList(id) ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
  return count > 0 ? static_cast<int>(count) : 0;
}

int Win32DialogWindow::GetCurSel(int id) const {
  HWND item = Item(id);
  if (item == nullptr) return -1;
  const LRESULT selected = SendMessageW(item, IsList(id) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
  return selected >= 0 ? static_cast<int>(selected) : -1;
}

void Win32DialogWindow::SetCurSel(int id, int index) {
  HWND item = Item(id);
  if (item == nullptr) return;
  SendMessageW(item, IsList(id) ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::u16string Win32DialogWindow::GetItemText(int id, int index) const {
  HWND item = Item(id);
  if (item == nullptr || index < 0) return {};
  const bool list = IsList(id);
  const LRESULT length =
      SendMessageW(item, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(item, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(text.data()));
  return FromWide(text.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

void Win32DialogWindow::SetFocus(int id) {
  // Through the dialog manager, so that the default button follows the focus.
  if (HWND item = Item(id)) SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

int Win32DialogWindow::GetFocus() const {
  HWND focused = ::GetFocus();
  if (focused == nullptr || m_hWnd == nullptr || !IsChild(m_hWnd, focused)) return 0;
  // The control itself, not a window inside it.
  while (GetParent(focused) != m_hWnd) focused = GetParent(focused);
  const int id = GetDlgCtrlID(focused);
  return m_kinds.contains(id) ? id : 0;
}

void Win32DialogWindow::AppendSystemMenu(unsigned command, std::u16string_view text) {
  HMENU menu = GetSystemMenu(m_hWnd, FALSE);
  if (menu == nullptr) return;
  if (command == 0) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  } else {
    AppendMenuW(menu, MF_STRING, command, Wide(text).c_str());
  }
}

void Win32DialogWindow::SetIcon(int resource) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // The resource carries every size; each of the two is taken at the size the system shows it.
  if (m_hBigIcon == nullptr) {
    m_hBigIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  }
  if (m_hSmallIcon == nullptr) {
    m_hSmallIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  }
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hBigIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
}

void Win32DialogWindow::StartTimer(int id, std::chrono::milliseconds period) {
  if (m_hWnd != nullptr)
    ::SetTimer(m_hWnd, static_cast<UINT_PTR>(id), static_cast<UINT>(period.count()), nullptr);
}

void Win32DialogWindow::StopTimer(int id) {
  if (m_hWnd != nullptr) ::KillTimer(m_hWnd, static_cast<UINT_PTR>(id));
}

void Win32DialogWindow::EndDialog(int result) {
  if (m_hWnd != nullptr) ::EndDialog(m_hWnd, result);
}

void Win32DialogWindow::Minimize() {
  if (m_hWnd != nullptr) ShowWindow(m_hWnd, SW_MINIMIZE);
}

const Cp936Converter& Win32DialogWindow::Converter() const {
  return SystemConverter();
}

}  // namespace kestrion
