// What the Windows files of the station add to Stop.h: the event that a stop sets, for waits on other handles.
#pragma once

#include <windows.h>

#include "Stop.h"

namespace kestrion::station {

// A manual-reset event, set once a stop is asked; null before InstallStopHandlers.
HANDLE StopEvent();

}  // namespace kestrion::station
