#pragma once

#include "text/Arrays.h"
#include "text/CString.h"

namespace kestrion {

// Cuts `text` into the non-empty pieces between occurrences of the one-byte `delimiter`, replacing what `list`
// held. Leading white space goes first, then the trailing CRs and after them the trailing LFs, so with "\n" each
// piece keeps the CR of its CR LF line end and a blank line inside the text becomes a piece of a CR alone.
void SplitString(CString text, CStringArray& list, CString delimiter);

}  // namespace kestrion
