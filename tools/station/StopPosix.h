// What the POSIX files of the station add to Stop.h: waiting on a descriptor, which a stop also ends.
#pragma once

#include "Stop.h"

namespace kestrion::station {

// Waits until `fd` reports one of `events` (poll flags; hang-up and errors count as ready), `deadline` passes
// or a stop is asked. `revents` receives what the fd reported. A negative fd waits for the deadline or a stop
// only.
WaitResult WaitForFd(int fd, short events, Clock::time_point deadline, short* revents = nullptr);

}  // namespace kestrion::station
