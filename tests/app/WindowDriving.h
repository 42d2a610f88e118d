// Driving the main window from a test as the operator would: its controls by id, a port at the end of its
// list, a file answered in the chooser.
#pragma once

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <string>
#include <vector>

#include "ScriptedPrompter.h"
#include "app/ControlExchange.h"
#include "app/DataBox.h"
#include "app/PathText.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"

namespace kestrion::testing_support {

template <typename T>
T* ItemOf(const CTransferDlg& dlg, int id) {
  return qobject_cast<T*>(dlg.GetDlgItem(id));
}

inline DataBox& DataBoxOf(const CTransferDlg& dlg) {
  return *ItemOf<DataBox>(dlg, CTransferDlg::kIdData);
}

inline void Click(CTransferDlg& dlg, int id) {
  ItemOf<QPushButton>(dlg, id)->click();
}

// Puts `portName` at the end of the port list and selects it, as the list does with a registered device.
inline void SelectPort(CTransferDlg& dlg, const std::string& portName) {
  AddPortEntry(*dlg.m_cbPort, portName);
  dlg.m_cbPort->setCurrentIndex(dlg.m_cbPort->count() - 1);
}

// A path as the window shows it.
inline QString PathText(const std::filesystem::path& path) {
  return kestrion::PathText(path);
}

// The next chooser is answered with `path`.
inline void ChooseUploadMode(CTransferDlg& dlg) {
  ItemOf<QRadioButton>(dlg, CTransferDlg::kIdUploadMode)->click();
}

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

// The instrument at the other end of the open port sends `bytes`; true once the port holds exactly them.
inline bool SendAndWaitForPort(PseudoTerminal& instrument, CTransferDlg& dlg, std::string_view bytes) {
  return instrument.Send(bytes) &&
         WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == bytes.size(); }, std::chrono::seconds(5));
}

// As a download does: records arrive in the data text that have not been output.
inline void MarkDownloadUnsaved(CTransferDlg& dlg) {
  dlg.m_stReport.ReadArrived(ChunkRead{true, CString("x"), 0}, ReceptionStep{}, LineErrorCounts{});
}

inline void AnswerChooser(ScriptedPrompter& prompter, const std::filesystem::path& path) {
  prompter.chosenFiles.emplace_back(PathText(path));
}

}  // namespace kestrion::testing_support
