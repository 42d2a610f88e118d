#include "FakeView.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace kestrion::testing_support {

FakeView::FakeView(CDialog& dialog, Prompter& prompter, LineBreak lineBreak)
    : m_dialog(dialog), m_lineBreak(lineBreak) {
  for (const ControlRow& row : dialog.GetTemplate().controls) {
    if (row.id == 0) continue;
    Control& control = m_controls[row.id];
    control.kind = row.kind;
    if (row.kind != ControlKind::MultiLineEdit && row.kind != ControlKind::Edit) control.text = row.caption;
  }
  m_dialog.Attach(*this, prompter);
  m_dialog.OnInitDialog();
}

FakeView::~FakeView() {
  m_dialog.Detach();
}

const FakeView::Control& FakeView::Item(int id) const {
  const auto found = m_controls.find(id);
  if (found == m_controls.end()) throw std::out_of_range("no control " + std::to_string(id));
  return found->second;
}

FakeView::Control& FakeView::Item(int id) {
  return const_cast<Control&>(static_cast<const FakeView&>(*this).Item(id));
}

void FakeView::Click(int id) {
  Control& control = Item(id);
  if (!control.enabled || m_bEnded) return;
  if (control.kind == ControlKind::RadioButton) {
    // The radios of one group: from the group's start to the next control that starts a group.
    const auto& rows = m_dialog.GetTemplate().controls;
    const auto at = std::find_if(rows.begin(), rows.end(), [id](const ControlRow& row) { return row.id == id; });
    auto first = at;
    while (first != rows.begin() && (first->styles & style::kGroup) == 0) --first;
    for (auto row = first; row != rows.end(); ++row) {
      if (row != first && (row->styles & style::kGroup) != 0) break;
      if (row->kind == ControlKind::RadioButton) Item(row->id).checked = row->id == id;
    }
  }
  m_nFocus = id;
  m_dialog.OnCommand(id, Notification::Clicked);
}

void FakeView::Type(int id, std::u16string_view text) {
  Control& control = Item(id);
  control.text = text;
  control.modified = true;
}

void FakeView::Select(int id, int index) {
  SetCurSel(id, index);
  m_dialog.OnCommand(id, Notification::SelectionChanged);
}

void FakeView::DropDown(int id) {
  m_dialog.OnCommand(id, Notification::DropDown);
}

void FakeView::Close() {
  if (!m_bEnded) m_dialog.OnCancel();
}

void FakeView::SysCommand(unsigned command) {
  if (m_dialog.OnSysCommand(command)) return;
  if ((command & 0xFFF0) == CDialog::kScClose) Close();
  if ((command & 0xFFF0) == CDialog::kScMinimize) Minimize();
}

void FakeView::Pump(std::chrono::milliseconds span) {
  PumpUntil([] { return false; }, span);
}

bool FakeView::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const Clock::time_point end = Clock::now() + limit;
  for (;;) {
    if (done()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= end) return false;
    // The earliest timer due; a tick may stop or start timers, so the choice is made afresh each time.
    auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                 [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
    if (next == m_timers.end() || next->second.due > end) {
      std::this_thread::sleep_for(std::min<Clock::duration>(end - now, std::chrono::milliseconds(10)));
      continue;
    }
    if (next->second.due > now) {
      std::this_thread::sleep_until(std::min(next->second.due, now + std::chrono::milliseconds(10)));
      continue;
    }
    const int id = next->first;
    next->second.due = Clock::now() + next->second.period;
    m_dialog.OnTimer(id);
  }
}

void FakeView::SetText(int id, std::u16string_view text) {
  Item(id).text = text;
}

void FakeView::ReplaceText(int id, std::size_t start, std::size_t end, std::u16string_view text) {
  std::u16string& shown = Item(id).text;
  if (start > end || end > shown.size()) throw std::out_of_range("replace outside the text");
  shown.replace(start, end - start, text);
  replacements.push_back(Replacement{id, start, end, text.size()});
}

void FakeView::ResetContent(int id) {
  Control& control = Item(id);
  control.items.clear();
  control.selected = -1;
}

void FakeView::SetCurSel(int id, int index) {
  Control& control = Item(id);
  control.selected = index >= 0 && index < static_cast<int>(control.items.size()) ? index : -1;
}

std::u16string FakeView::GetItemText(int id, int index) const {
  const Control& control = Item(id);
  if (index < 0 || index >= static_cast<int>(control.items.size())) return {};
  return control.items[static_cast<std::size_t>(index)];
}

void FakeView::AppendSystemMenu(unsigned command, std::u16string_view text) {
  m_arrMenu.push_back(MenuEntry{command, std::u16string(text)});
}

void FakeView::StartTimer(int id, std::chrono::milliseconds period) {
  m_timers[id] = Timer{period, Clock::now() + period};
}

void FakeView::EndDialog(int result) {
  if (m_bEnded) return;
  m_bEnded = true;
  m_nResult = result;
  // The window goes with the end of its modal run.
  m_dialog.OnDestroy();
}

}  // namespace kestrion::testing_support
