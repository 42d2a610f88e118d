// The application's icon (resource 128 of the windows): one drawing, offered at 16, 32 and 48 pixels.
#pragma once

#include <QIcon>

namespace kestrion {

QIcon ApplicationIcon();

}  // namespace kestrion
