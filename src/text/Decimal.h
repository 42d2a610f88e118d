// Decimal text as the line settings are written in the window ("19200", "8").
#pragma once

#include "text/CString.h"

namespace kestrion {

// The value of the decimal number at the start of `text`: leading white space skipped, an optional sign, the
// digits up to the first non-digit; 0 when there are none. A value beyond the range of int saturates.
int DecimalValue(const CString& text);

}  // namespace kestrion
