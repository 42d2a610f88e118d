#include "dialog/Dialog.h"

#include <filesystem>
#include <optional>

namespace kestrion {
namespace {

// Stands in for a window that is not there (yet, or any more): asks change nothing and answer empty.
class NoView : public DialogView {
 public:
  std::u16string GetText(int) const override { return {}; }
  std::size_t GetTextLength(int) const override { return 0; }
  void SetText(int, std::u16string_view) override {}
  void ReplaceText(int, std::size_t, std::size_t, std::u16string_view) override {}
  bool GetModify(int) const override { return false; }
  void SetModify(int, bool) override {}
  void EnableWindow(int, bool) override {}
  bool IsWindowEnabled(int) const override { return false; }
  void CheckButton(int, bool) override {}
  bool IsButtonChecked(int) const override { return false; }
  void SetToolTip(int, std::u16string_view) override {}
  void SetDescription(int, std::u16string_view) override {}
  void ResetContent(int) override {}
  void AddString(int, std::u16string_view) override {}
  int GetCount(int) const override { return 0; }
  int GetCurSel(int) const override { return -1; }
  void SetCurSel(int, int) override {}
  std::u16string GetItemText(int, int) const override { return {}; }
  void SetFocus(int) override {}
  int GetFocus() const override { return 0; }
  void AppendSystemMenu(unsigned, std::u16string_view) override {}
  void SetIcon(int) override {}
  void StartTimer(int, std::chrono::milliseconds) override {}
  void StopTimer(int) override {}
  void EndDialog(int) override {}
  void Minimize() override {}
  LineBreak TextLineBreak() const override { return LineBreak::Lf; }
  const Cp936Converter& Converter() const override { return SystemConverter(); }
};

// Answers nothing: cancels every chooser and says No (or OK) to every message box.
class NoPrompter : public Prompter {
 public:
  Answer MessageBox(std::u16string_view, Icon, Buttons buttons) override {
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
  }
  std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter>, bool) override {
    return std::nullopt;
  }
  int RunModal(CDialog&) override { return kIdCancel; }
};

NoView& TheNoView() {
  static NoView view;
  return view;
}

NoPrompter& TheNoPrompter() {
  static NoPrompter prompter;
  return prompter;
}

}  // namespace

CDialog::CDialog(const DialogTemplate& dialogTemplate, Prompter* prompter)
    : m_template(dialogTemplate), m_pOwnPrompter(prompter) {}

CDialog::~CDialog() = default;

void CDialog::Attach(DialogView& view, Prompter& hostPrompter) {
  m_pView = &view;
  m_pHostPrompter = &hostPrompter;
  // Timers started before the window existed run from now on.
  for (const auto& [id, period] : m_setTimers) view.StartTimer(id, period);
}

void CDialog::Detach() {
  m_pView = nullptr;
  m_pHostPrompter = nullptr;
  m_setTimers.clear();  // they went with the window
}

DialogView& CDialog::View() const {
  return m_pView != nullptr ? *m_pView : TheNoView();
}

Prompter& CDialog::GetPrompter() const {
  if (m_pOwnPrompter != nullptr) return *m_pOwnPrompter;
  return m_pHostPrompter != nullptr ? *m_pHostPrompter : TheNoPrompter();
}

const DisplayCodec& CDialog::Codec() const {
  return DisplayCodec::Of(View().Converter());
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnCommand(int id, Notification code) {
  if (code != Notification::Clicked) return;
  if (id == kIdOk) OnOK();
  if (id == kIdCancel) OnCancel();
}

void CDialog::OnTimer(int) {}

bool CDialog::OnSysCommand(unsigned) {
  return false;
}

void CDialog::OnOK() {
  UpdateData(true);
  EndDialog(kIdOk);
}

void CDialog::OnCancel() {
  EndDialog(kIdCancel);
}

void CDialog::OnDestroy() {}

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange dx(*this, saveAndValidate);
  DoDataExchange(dx);
  return true;
}

void CDialog::DoDataExchange(CDataExchange&) {}

void CDialog::SetTimer(int id, std::chrono::milliseconds period) {
  m_setTimers[id] = period;
  View().StartTimer(id, period);
}

void CDialog::KillTimer(int id) {
  if (m_setTimers.erase(id) == 0) return;
  View().StopTimer(id);
}

void CDialog::EndDialog(int result) {
  View().EndDialog(result);
}

}  // namespace kestrion
