// Driving the main window from a test as the operator would, without a toolkit: the dialog in a stand-in
// window, its controls by id, a port at the end of its list, files answered in the chooser.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FakeView.h"
#include "ScriptedPrompter.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"

namespace kestrion::testing_support {

// The main window as a test holds it: the prompter, the dialog, and the stand-in window it is shown in (made
// last, so that it goes first).
struct Window {
  explicit Window(LineBreak lineBreak = LineBreak::Lf) : view(dlg, prompter, lineBreak) {}

  // The operator's clicks and typing.
  void Click(int id) { view.Click(id); }
  void ChooseUploadMode() { view.Click(kIdUploadMode); }
  void ChooseDownloadMode() { view.Click(kIdDownloadMode); }
  // Types `text` at the end of (or over) what an edit shows.
  void TypeAtEnd(int id, std::u16string_view text) { view.Type(id, view.GetText(id) + std::u16string(text)); }
  void TypeAtStart(int id, std::u16string_view text) { view.Type(id, std::u16string(text) + view.GetText(id)); }
  void TypeOver(int id, std::u16string_view text) { view.Type(id, text); }

  // Puts `portName` at the end of the port list and selects it, as the list does with a registered device.
  void SelectPort(const std::string& portName) {
    dlg.AddPortEntry(portName);
    dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  }
  // The next chooser is answered with `path`.
  void AnswerChooser(const std::filesystem::path& path) { prompter.chosenFiles.emplace_back(path); }

  // What the boxes show.
  const std::u16string& Shown(int id) const { return view.Item(id).text; }
  std::string DataBytes() const { return dlg.m_edData.Bytes().Bytes(); }
  std::string StatusBytes() const { return dlg.m_edStatus.Bytes().Bytes(); }
  const std::u16string& StatusLine() const { return view.Item(kIdStatusLine).text; }
  bool Enabled(int id) const { return view.Item(id).enabled; }
  bool Checked(int id) const { return view.Item(id).checked; }
  std::vector<std::u16string> Roads() const { return view.Item(kIdRoads).items; }

  // Runs the window's timers until `done` holds, for at most `limit`.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return view.PumpUntil(done, limit);
  }
  void Wait(std::chrono::milliseconds span) { view.Pump(span); }

  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
  FakeView view;
};

// The pieces of `text` between line-end bytes, empty pieces left out.
inline std::vector<std::string> NonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

inline CStringArray OneLine(const char* line) {
  CStringArray lines;
  lines.Add(CString(line));
  return lines;
}

// As a download does: records arrive in the data text that have not been output.
inline void MarkDownloadUnsaved(CTransferDlg& dlg) {
  dlg.m_stReport.ReadArrived(ChunkRead{true, CString("x"), 0}, ReceptionStep{}, LineErrorCounts{});
}

// The bytes of a combo box's entries.
inline std::vector<std::string> Entries(const CComboBox& combo) {
  std::vector<std::string> entries;
  for (int i = 0; i < combo.GetCount(); ++i) entries.push_back(combo.GetItemBytes(i).Bytes());
  return entries;
}

}  // namespace kestrion::testing_support
