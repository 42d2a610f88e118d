// Qt's GBK converter, one character at a time.
#pragma once

#include "dialog/Converter.h"

namespace kestrion {

// Lives as long as the program.
const Cp936Converter& QtGbkConverter();

}  // namespace kestrion
