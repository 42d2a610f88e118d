// One download poll: the chunk that a read brought is added to the data text, the record marker it holds is
// turned into a line end throughout the text, and the end of a download is recognised.
//
// A download can run to megabytes while the window polls every 50 ms, so a poll must not cost more as the text
// grows. Reception therefore remembers, between polls, where in the text each kind of occurrence can still be
// found, and looks only there. (The tests, the fuzz target and the benchmark check and measure it against a plain
// whole-text version, NaiveReception, which they keep beside them.)
//
// The end of a download is reported once for each "Finish" that a poll brings into the text (a word cut over
// two reads counts for the read that completes it), not again at every later poll while the text still holds it.
#pragma once

#include <array>
#include <cstdint>
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
  // The data text's bytes before this position are as the step found them, so a view of the text needs to
  // redraw only from here on.
  int changedFrom = 0;
};

// Where the characters of a chunk appended to `data` begin: after its first byte when `data` ends in a lone lead
// byte, which takes that byte as its second (so that byte is never the chunk's marker, whatever it is), at its
// start otherwise. A read can end inside a double-byte character; the next read goes on where it stopped.
int ChunkCharStart(const CString& data);

class Reception {
 public:
  // Adds `chunk` to `data`, turns the chunk's marker into CR LF in the whole of `data` and makes it `lastMarker`,
  // then applies the end of a download when a new "Finish" arrived. A `data` that is not the text the previous
  // step left is examined from its start, as after Restart().
  ReceptionStep Step(CString& data, CString& lastMarker, const CString& chunk);

  // The data text was changed by something other than Step (typed, pasted, cleared, loaded): what is known
  // about it is dropped, and the next step examines the whole text for markers. A "Finish" the text holds by
  // then counts as seen.
  void Restart() { m_bKnown = false; }

 private:
  void ExamineFromStart(const CString& data);
  void MoveAcross(const std::vector<int>& matches, int oldSize, int newSize);
  void KeepWithin(int limit);

  bool m_bKnown = false;
  std::uint64_t m_nTextId = 0;  // identity of the data text when the last step ended
  // Per marker (table order): no occurrence of that marker begins before this position.
  std::array<int, kMarkerTable.size()> m_arrMarkerFrom{};
  int m_nEndWordFrom = 0;  // no "Download Finish" begins before this position
  int m_nFinishFrom = 0;   // every "Finish" that begins before this position has been examined
};

}  // namespace kestrion
