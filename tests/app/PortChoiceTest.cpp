// Choosing the port: the list read afresh when it drops down, and the reason of a failed open on the Open
// port button.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/PortList.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "dialog/PathText.h"
#include "serial/PortNames.h"

namespace kestrion {
namespace {

using testing_support::Entries;
using testing_support::PseudoTerminal;
using testing_support::Window;

// ---- the refreshed list

struct RefreshRow {
  const char* name;
  std::vector<std::string> listed;
  std::optional<std::string> selected;
  PortList expected;
};

class PortListRefresh : public testing::TestWithParam<RefreshRow> {};

TEST_P(PortListRefresh, KeepsTheSelectedName) {
  const RefreshRow& row = GetParam();
  EXPECT_EQ(RefreshedPortList(row.listed, row.selected), row.expected);
}

const std::vector<std::string> kCom = {"COM1", "COM2"};
const std::vector<std::string> kComAndUsb = {"COM1", "COM2", "/dev/ttyUSB0"};
const std::vector<std::string> kComAndTwoUsb = {"COM1", "COM2", "/dev/ttyUSB0", "/dev/ttyUSB1"};

INSTANTIATE_TEST_SUITE_P(
    Rows, PortListRefresh,
    testing::Values(
        RefreshRow{"NothingNew", kCom, "COM2", {kCom, 1}},
        RefreshRow{"AdapterPluggedIn", kComAndUsb, "COM1", {kComAndUsb, 0}},
        RefreshRow{"SelectedMovesWithAnEntryBeforeIt", kComAndTwoUsb, "/dev/ttyUSB1", {kComAndTwoUsb, 3}},
        RefreshRow{"OtherAdapterPulled", kComAndUsb, "COM2", {kComAndUsb, 1}},
        RefreshRow{"SelectedAdapterPulledStaysAtTheEnd", kComAndUsb, "/dev/ttyUSB1", {kComAndTwoUsb, 3}},
        RefreshRow{"NothingSelected", kComAndUsb, std::nullopt, {kComAndUsb, -1}}),
    testing_support::RowName());

// A simulator's port appearing and going while the window is open: the list follows it when it drops down.
TEST(PortComboBox, ReadsThePortsAfreshWhenItDropsDown) {
  testing_support::ScopedRuntimeDir runtime;
  Window window;
  CTransferDlg& dlg = window.dlg;
  window.view.Select(kIdPort, 1);
  const std::vector<std::string> atStart = Entries(dlg.m_cbPort);
  EXPECT_EQ(atStart, ListPortNames());

  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const std::filesystem::path link = VirtualPortDirectory() / "station";
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(pty.SlavePath(), link);
  EXPECT_EQ(Entries(dlg.m_cbPort), atStart) << "nothing changes before the list drops down";

  window.view.DropDown(kIdPort);
  std::vector<std::string> withStation = atStart;
  withStation.push_back(link.string());
  EXPECT_EQ(Entries(dlg.m_cbPort), withStation);
  EXPECT_EQ(dlg.m_cbPort.GetCurSel(), 1) << "COM2 stays selected";
  // The window shows what the handle holds.
  EXPECT_EQ(window.view.Item(kIdPort).items.size(), withStation.size());
  EXPECT_EQ(window.view.Item(kIdPort).items.back(), PathText(link));

  // The operator picks the station; then it goes away.
  window.view.Select(kIdPort, dlg.m_cbPort.GetCount() - 1);
  std::filesystem::remove(link);
  window.view.DropDown(kIdPort);
  EXPECT_EQ(Entries(dlg.m_cbPort), withStation) << "the selected port stays although it is gone";
  EXPECT_EQ(dlg.m_cbPort.GetCurSel(), dlg.m_cbPort.GetCount() - 1);
  dlg.UpdateData(true);
  EXPECT_EQ(dlg.m_strPort.Bytes(), link.string());

  window.view.Select(kIdPort, 0);
  window.view.DropDown(kIdPort);
  EXPECT_EQ(Entries(dlg.m_cbPort), atStart) << "a port that is gone and not selected leaves the list";
  EXPECT_EQ(dlg.m_cbPort.GetCurSel(), 0);
}

// ---- the reason of a failed open

class OpenPortTip : public testing::Test, protected Window {
 protected:
  const std::u16string& Tip() const { return view.Item(kIdOpenPort).toolTip; }
  void Open(const std::string& portName) {
    SelectPort(portName);
    dlg.OnOpenPort();
  }
};

TEST_F(OpenPortTip, NamesAMissingDeviceUntilTheNextOpen) {
  EXPECT_TRUE(Tip().empty());
  Open("/dev/kestrion-no-such-port");
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortNoSuchDevice);
  EXPECT_TRUE(prompter.messages.empty()) << "still no message box";

  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_TRUE(Tip().empty());
}

TEST_F(OpenPortTip, NamesADeviceHeldByAnotherProgram) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  SerialPort other;
  ASSERT_TRUE(other.Open(pty.SlavePath()));
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortInUse);
}

TEST_F(OpenPortTip, NamesRefusedSettings) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  dlg.m_cbDataBits.SetCurSel(0);  // 7 data bits, which a pseudo-terminal cannot do
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortSettingsRefused);

  dlg.m_cbDataBits.SetCurSel(1);
  dlg.OnOpenPort();
  EXPECT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_TRUE(Tip().empty());
}

TEST_F(OpenPortTip, NamesMissingPermissionWithTheGroupToJoin) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens any device";
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortPermissionDenied);
  EXPECT_NE(Tip().find(u"dialout"), std::u16string::npos);
}

}  // namespace
}  // namespace kestrion
