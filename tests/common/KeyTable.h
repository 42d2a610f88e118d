// The keys of the main window, as data: what each key does from each starting state, the same for every host.
// A host's test plays each row on its live window (the Qt window with key events, the Windows window with
// keyboard input under Wine) and checks the result.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/ControlTable.h"
#include "dialog/Prompter.h"

namespace kestrion::testing_support {

enum class Key { Tab, ShiftTab, CtrlTab, CtrlShiftTab, Enter, Esc, Up, Down, Space };

// Every row starts with the data box holding kKeyData and the status box kKeyStatus (empty where an upload
// runs: starting one empties it), the caret at the end of both, kKeyPath typed into the path box, no port open
// unless an upload runs (which needs one), and the focus on `focus`.
inline constexpr const char* kKeyData = "abc";
inline constexpr const char* kKeyStatus = "def";
inline constexpr const char* kKeyPath = "road.txt";

struct KeyRow {
  std::string name;
  // The starting state.
  int mode = 1;             // 0 upload mode, 1 download mode
  bool unsaved = false;     // the data box holds a download that was not output
  bool uploading = false;   // an upload runs (the port is open, the instrument has not asked yet)
  bool dropDown = false;    // the focused combo box's list is open
  int focus = kIdOpenPort;
  Key key = Key::Tab;
  Prompter::Answer answer = Prompter::Answer::No;  // to the question, if one comes
  // The result.
  int focusAfter = 0;        // the focused control; 0 where the window is gone
  const char16_t* question = nullptr;  // the question asked, if any
  bool stays = true;         // the window is still there
  int modeAfter = -1;        // -1: as it started
  std::string dataAfter = kKeyData;
  std::string statusAfter = kKeyStatus;
  // Where the focus ends in one of the three boxes and no question came: its whole text is selected (the path
  // box reached by Tab), or nothing is (a multi-line box keeps its caret). (Where the focus comes back from a
  // closed question, each platform selects as it does for every window.)
  bool selectedAll = false;
};

inline void PrintTo(const KeyRow& row, std::ostream* out) {
  *out << row.name;
}

// The tab order as it stands: the template's order of tab stops, less the disabled controls (Close port with no
// port open; Upload in download mode) and the unchecked radio of the mode group.
inline std::vector<int> TabOrder(int mode) {
  if (mode == 0) {
    return {kIdOpenPort, kIdPort, kIdUploadMode, kIdData, kIdBaud, kIdDataBits, kIdParity, kIdOutput,
            kIdBrowse, kIdFilePath, kIdUpload, kIdStatus, kIdRoads, kIdClearData};
  }
  return {kIdOpenPort, kIdPort, kIdDownloadMode, kIdData, kIdBaud, kIdDataBits, kIdParity, kIdOutput,
          kIdBrowse, kIdFilePath, kIdStatus, kIdRoads, kIdClearData};
}

inline std::vector<KeyRow> KeyTable() {
  std::vector<KeyRow> rows;
  // Tab, Shift+Tab, Ctrl+Tab and Ctrl+Shift+Tab through the whole order and around both ends, in both modes;
  // the multi-line boxes are left like every other control and no tab is typed.
  for (const int mode : {1, 0}) {
    const std::vector<int> order = TabOrder(mode);
    const std::size_t n = order.size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::string at = std::to_string(order[i]) + (mode == 0 ? "Upload" : "Download");
      KeyRow next;
      next.name = "Tab" + at;
      next.mode = mode;
      next.focus = order[i];
      next.key = Key::Tab;
      next.focusAfter = order[(i + 1) % n];
      next.selectedAll = next.focusAfter == kIdFilePath;
      rows.push_back(next);
      KeyRow back = next;
      back.name = "ShiftTab" + at;
      back.key = Key::ShiftTab;
      back.focusAfter = order[(i + n - 1) % n];
      back.selectedAll = back.focusAfter == kIdFilePath;
      rows.push_back(back);
      if (order[i] == kIdData || order[i] == kIdStatus || i == 0 || i == n - 1) {
        KeyRow ctrl = next;
        ctrl.name = "CtrlTab" + at;
        ctrl.key = Key::CtrlTab;
        rows.push_back(ctrl);
        KeyRow ctrlBack = back;
        ctrlBack.name = "CtrlShiftTab" + at;
        ctrlBack.key = Key::CtrlShiftTab;
        rows.push_back(ctrlBack);
      }
    }
  }

  const auto row = [&rows](std::string name, int focus, Key key) -> KeyRow& {
    KeyRow r;
    r.name = std::move(name);
    r.focus = focus;
    r.key = key;
    r.focusAfter = focus;
    rows.push_back(r);
    return rows.back();
  };
  const auto ends = [](KeyRow& r) {
    r.stays = false;
    r.focusAfter = 0;
  };
  // The two questions before the end: Yes ends the window, No keeps it as it was.
  using Answer = Prompter::Answer;
  const auto asks = [&ends](KeyRow& r, const char16_t* question, Answer answer) {
    r.question = question;
    r.answer = answer;
    if (answer == Answer::Yes) ends(r);
  };
  const auto unsaved = [&asks](KeyRow& r, Answer answer) {
    r.unsaved = true;
    asks(r, u"数据尚未输出，确定要退出吗？", answer);
  };
  // An upload runs in upload mode; starting it emptied the status box.
  const auto uploading = [&asks](KeyRow& r, Answer answer) {
    r.mode = 0;
    r.uploading = true;
    r.statusAfter = "";
    asks(r, u"正在向全站仪上传数据，退出将中断上传。确定要退出吗？", answer);
  };

  // Enter: a new line in the two multi-line boxes (at the caret, which is at the end), a click on a focused push
  // button, OK everywhere else.
  row("EnterInDataBox", kIdData, Key::Enter).dataAfter = std::string(kKeyData) + "\r\n";
  row("EnterInStatusBox", kIdStatus, Key::Enter).statusAfter = std::string(kKeyStatus) + "\r\n";
  row("EnterOnClearData", kIdClearData, Key::Enter).dataAfter = "";
  for (const int id : {kIdPort, kIdRoads, kIdFilePath, kIdDownloadMode}) {
    ends(row("EnterOk" + std::to_string(id), id, Key::Enter));
  }
  unsaved(row("EnterUnsavedNo", kIdPort, Key::Enter), Answer::No);
  unsaved(row("EnterUnsavedYes", kIdPort, Key::Enter), Answer::Yes);
  uploading(row("EnterUploadingNo", kIdFilePath, Key::Enter), Answer::No);
  uploading(row("EnterUploadingYes", kIdFilePath, Key::Enter), Answer::Yes);
  // With its list open, a combo box takes Enter and Esc for the list.
  row("EnterInOpenList", kIdBaud, Key::Enter).dropDown = true;
  row("EscInOpenList", kIdBaud, Key::Esc).dropDown = true;

  // Esc is cancel, from anywhere.
  for (const int id : {kIdPort, kIdData, kIdOpenPort}) ends(row("Esc" + std::to_string(id), id, Key::Esc));
  unsaved(row("EscUnsavedNo", kIdData, Key::Esc), Answer::No);
  uploading(row("EscUploadingYes", kIdStatus, Key::Esc), Answer::Yes);

  // Up and Down between the two radios move the check, and the mode follows.
  {
    KeyRow& r = row("UpToUploadMode", kIdDownloadMode, Key::Up);
    r.focusAfter = kIdUploadMode;
    r.modeAfter = 0;
  }
  {
    KeyRow& r = row("DownToDownloadMode", kIdUploadMode, Key::Down);
    r.mode = 0;
    r.focusAfter = kIdDownloadMode;
    r.modeAfter = 1;
  }

  // Space clicks a focused button.
  row("SpaceOnClearData", kIdClearData, Key::Space).dataAfter = "";
  {
    KeyRow& r = row("SpaceOnUploadMode", kIdUploadMode, Key::Space);
    r.mode = 0;
    r.modeAfter = 0;
  }
  return rows;
}

}  // namespace kestrion::testing_support
