// Download reception done the plain way, on the whole text at every poll: the reference that the remembering
// Reception is checked against in the tests and the fuzz target, and measured against in the benchmark.
#pragma once

#include "download/Reception.h"

namespace kestrion {

// Its end test counts: a step reports the end when the data text, once the chunk is in and its marker replaced,
// holds more "Finish" than it did before the step.
class NaiveReception {
 public:
  ReceptionStep Step(CString& data, CString& lastMarker, const CString& chunk);
  void Restart() {}  // it knows nothing between steps
};

// The end of a download applied to a data text: every "Download Finish" removed, trailing white space trimmed,
// one CR LF appended.
void FinishDataText(CString& data);

}  // namespace kestrion
