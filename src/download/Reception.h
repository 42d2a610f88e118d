// One download poll: the chunk that a read brought is added to the data text, the record marker it holds is
// turned into a line end throughout the text, and the end of a download is recognised.
//
// A download can run to megabytes while the window polls every 50 ms, so a poll must not cost more as the text
// grows. Reception therefore remembers, between polls, where in the text each kind of occurrence can still be
// found, and looks only there; NaiveReception does the same work on the whole text every time and is kept as the
// reference the fast one is checked and measured against.
//
// The end of a download is reported once for each "Finish" that a poll brings into the text (a word cut over
// two reads counts for the read that completes it), not again at every later poll while the text still holds it.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "serial/Framing.h"
#include "text/CString.h"

namespace kestrion {

class SerialPort;

struct ReceptionStep {
  // The marker handled by this poll (the first in table order that the chunk holds), or nullptr.
  const MarkerInfo* marker = nullptr;
  // The poll brought a new "Finish": the closing text was removed and the data text now ends in one CR LF.
  // The window stops its poll timer, shows the text, tells the operator and starts the timer again.
  bool finished = false;
};

class Reception {
 public:
  using StepResult = ReceptionStep;

  // Adds `chunk` to `data`, turns the chunk's marker into CR LF in the whole of `data` and makes it `lastMarker`,
  // then applies the end of a download when a new "Finish" arrived. `data` must be the text that the previous
  // step left, unless Restart() was called since.
  StepResult Step(CString& data, CString& lastMarker, const CString& chunk);

  // The data text was changed by something other than Step (typed, pasted, cleared, loaded): what is known
  // about it is dropped, and the next step examines the whole text for markers. A "Finish" the text holds by
  // then counts as seen.
  void Restart() { m_bKnown = false; }

 private:
  void Forget(const CString& data);
  void MoveAcross(const std::vector<int>& matches, int oldSize, int newSize);
  void KeepWithin(int limit);

  bool m_bKnown = false;
  int m_nLength = 0;  // length of the data text when the last step ended
  // Per marker (table order): no occurrence of that marker begins before this position.
  std::array<int, kMarkerTable.size()> m_arrMarkerFrom{};
  int m_nEndWordFrom = 0;  // no "Download Finish" begins before this position
  int m_nFinishFrom = 0;   // every "Finish" that begins before this position has been examined
};

// The same steps done the plain way on the whole text at every poll. Its end test counts: a step reports the end
// when the data text, once the chunk is in and its marker replaced, holds more "Finish" than it did before the
// step.
class NaiveReception {
 public:
  using StepResult = ReceptionStep;
  StepResult Step(CString& data, CString& lastMarker, const CString& chunk);
  void Restart() {}  // it knows nothing between steps
};

// The end of a download applied to a data text: every "Download Finish" removed, trailing white space trimmed,
// one CR LF appended.
void FinishDataText(CString& data);

}  // namespace kestrion
