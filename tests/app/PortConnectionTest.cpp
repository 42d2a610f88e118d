// Open port and Close port of the main window over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/TestNames.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::Window;

// True when nobody holds the device: another port can have it for itself.
bool IsFree(const std::string& path) {
  SerialPort probe;
  const bool opened = static_cast<bool>(probe.Open(path));
  probe.Close();
  return opened;
}

void ExpectClosed(const Window& window) {
  EXPECT_EQ(window.dlg.m_bPortOpen, 0);
  EXPECT_FALSE(window.dlg.m_hComm.IsOpen());
  EXPECT_TRUE(window.Enabled(kIdOpenPort));
  EXPECT_FALSE(window.Enabled(kIdClosePort));
  EXPECT_FALSE(window.dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
}

class PortConnection : public testing::Test, protected Window {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.IsValid());
    SelectPort(pty.SlavePath());
  }
  PseudoTerminal pty;
};

TEST_F(PortConnection, OpenWithTheDefaultsThenClose) {
  Click(kIdOpenPort);
  EXPECT_EQ(dlg.m_strPort.Bytes(), pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_TRUE(dlg.m_hComm.IsOpen());
  EXPECT_FALSE(Enabled(kIdOpenPort));
  EXPECT_TRUE(Enabled(kIdClosePort));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));  // the connection leaves timer 2 alone
  EXPECT_FALSE(IsFree(pty.SlavePath()));

  const termios t = pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_TRUE(t.c_iflag & INPCK);  // parity checking on even without parity
  EXPECT_TRUE(t.c_cflag & CSTOPB);

  Click(kIdClosePort);
  ExpectClosed(*this);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
  EXPECT_TRUE(IsFree(pty.SlavePath()));
}

struct SettingsRow {
  const char* name;
  int baudIndex;
  int dataBitsIndex;
  int parityIndex;
  bool opens;
  speed_t speed;
};

class PortConnectionSettings : public PortConnection, public testing::WithParamInterface<SettingsRow> {};

// A pseudo-terminal takes every offered rate but only eight data bits without parity; it refuses the other
// formats as a device that cannot do them does.
TEST_P(PortConnectionSettings, AreTheSelectedOnesOrRefused) {
  const SettingsRow& row = GetParam();
  dlg.m_cbBaud.SetCurSel(row.baudIndex);
  dlg.m_cbDataBits.SetCurSel(row.dataBitsIndex);
  dlg.m_cbParity.SetCurSel(row.parityIndex);
  dlg.OnOpenPort();
  if (!row.opens) {
    ExpectClosed(*this);
    EXPECT_TRUE(IsFree(pty.SlavePath()));
    return;
  }
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  const termios t = pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&t), row.speed);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
}

INSTANTIATE_TEST_SUITE_P(Combos, PortConnectionSettings,
                         testing::Values(SettingsRow{"Rate4800", 0, 1, 0, true, B4800},
                                         SettingsRow{"Rate9600", 1, 1, 0, true, B9600},
                                         SettingsRow{"Rate38400", 3, 1, 0, true, B38400},
                                         SettingsRow{"SevenBitsRefused", 2, 0, 0, false, B0},
                                         SettingsRow{"OddParityRefused", 2, 1, 1, false, B0},
                                         SettingsRow{"EvenParityRefused", 2, 1, 2, false, B0}),
                         testing_support::RowName());

TEST_F(PortConnection, OpenTwiceOnlyTakesTheControlsTheSecondTime) {
  dlg.OnOpenPort();
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  dlg.m_cbBaud.SetCurSel(0);
  dlg.OnOpenPort();
  EXPECT_EQ(dlg.m_strBaud, "4800");
  EXPECT_EQ(cfgetospeed(&static_cast<const termios&>(pty.SlaveSettings())), static_cast<speed_t>(B19200));
  EXPECT_EQ(dlg.m_bPortOpen, 1);
}

TEST_F(PortConnection, RefusedSettingsLeaveThePortClosedAndFree) {
  dlg.m_cbBaud.SetCurSel(-1);  // no baud rate at all: 0
  dlg.OnOpenPort();
  ExpectClosed(*this);
  EXPECT_TRUE(IsFree(pty.SlavePath()));

  dlg.m_cbBaud.SetCurSel(2);
  dlg.m_cbParity.SetCurSel(-1);  // no parity code
  dlg.OnOpenPort();
  ExpectClosed(*this);
  EXPECT_TRUE(IsFree(pty.SlavePath()));

  dlg.m_cbParity.SetCurSel(0);
  dlg.OnOpenPort();
  EXPECT_EQ(dlg.m_bPortOpen, 1);
}

TEST_F(PortConnection, ADeviceHeldElsewhereStaysClosedUntilReleased) {
  SerialPort other;
  ASSERT_TRUE(other.Open(pty.SlavePath()));
  dlg.OnOpenPort();
  ExpectClosed(*this);
  other.Close();
  dlg.OnOpenPort();
  EXPECT_EQ(dlg.m_bPortOpen, 1);
}

TEST_F(PortConnection, CloseWithoutConnectionDoesNothing) {
  dlg.OnUploadMode();  // timer 1 runs in upload mode
  dlg.OnClosePort();
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
}

TEST_F(PortConnection, ClosingTheWindowReleasesThePort) {
  dlg.OnOpenPort();
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  view.Close();
  EXPECT_TRUE(view.Ended());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_TRUE(IsFree(pty.SlavePath()));
}

TEST(PortConnectionWindow, DestroyingTheWindowReleasesThePort) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  auto window = std::make_unique<Window>();
  window->SelectPort(pty.SlavePath());
  window->dlg.OnOpenPort();
  ASSERT_EQ(window->dlg.m_bPortOpen, 1);
  window.reset();
  EXPECT_TRUE(IsFree(pty.SlavePath()));
}

TEST(PortConnectionWindow, MissingDeviceChangesNothingAndMayBeTriedAgain) {
  Window window;
  window.SelectPort("/dev/kestrion-no-such-port");
  for (int attempt = 0; attempt < 2; ++attempt) {
    window.Click(kIdOpenPort);
    EXPECT_EQ(window.dlg.m_strPort, "/dev/kestrion-no-such-port");
    ExpectClosed(window);
    EXPECT_TRUE(window.dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
  }
  EXPECT_TRUE(window.prompter.messages.empty());
}

}  // namespace
}  // namespace kestrion
