// Driving the main window against the other end of its port: a pseudo-terminal, or the simulated station.
#pragma once

#include <chrono>
#include <string_view>

#include "WindowDriving.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"

namespace kestrion::testing_support {

// The instrument at the other end of the open port sends `bytes`; true once the port holds exactly them.
inline bool SendAndWaitForPort(PseudoTerminal& instrument, CTransferDlg& dlg, std::string_view bytes) {
  return instrument.Send(bytes) &&
         WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == bytes.size(); }, std::chrono::seconds(5));
}

}  // namespace kestrion::testing_support
