// Choosing the port: the list read afresh when it drops down, and the reason of a failed open on the Open
// port button.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QPushButton>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedPrompter.h"
#include "app/ControlExchange.h"
#include "app/Messages.h"
#include "app/PortComboBox.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "serial/PortNames.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;

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

std::vector<std::string> Entries(const QComboBox& combo) {
  std::vector<std::string> entries;
  for (int i = 0; i < combo.count(); ++i) entries.push_back(ComboEntry(combo, i).Bytes());
  return entries;
}

// A simulator's port appearing and going while the window is open: the list follows it when it drops down.
TEST(PortComboBox, ReadsThePortsAfreshWhenItDropsDown) {
  testing_support::ScopedRuntimeDir runtime;
  ScriptedPrompter prompter;
  CTransferDlg dlg(prompter);
  dlg.show();
  auto& combo = *qobject_cast<PortComboBox*>(dlg.m_cbPort);
  combo.setCurrentIndex(1);
  const std::vector<std::string> atStart = Entries(combo);
  EXPECT_EQ(atStart, ListPortNames());

  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const std::filesystem::path link = VirtualPortDirectory() / "station";
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(pty.SlavePath(), link);
  EXPECT_EQ(Entries(combo), atStart) << "nothing changes before the list drops down";

  combo.showPopup();
  combo.hidePopup();
  std::vector<std::string> withStation = atStart;
  withStation.push_back(link.string());
  EXPECT_EQ(Entries(combo), withStation);
  EXPECT_EQ(combo.currentIndex(), 1) << "COM2 stays selected";

  // The operator picks the station; then it goes away.
  combo.setCurrentIndex(combo.count() - 1);
  std::filesystem::remove(link);
  combo.showPopup();
  combo.hidePopup();
  EXPECT_EQ(Entries(combo), withStation) << "the selected port stays although it is gone";
  EXPECT_EQ(combo.currentIndex(), combo.count() - 1);
  EXPECT_EQ(combo.toolTip(), QString::fromStdString(link.string())) << "the whole name, which the box cuts";
  dlg.UpdateData(true);
  EXPECT_EQ(dlg.m_strPort.Bytes(), link.string());

  combo.setCurrentIndex(0);
  combo.showPopup();
  combo.hidePopup();
  EXPECT_EQ(Entries(combo), atStart) << "a port that is gone and not selected leaves the list";
  EXPECT_EQ(combo.currentIndex(), 0);
}

// ---- the reason of a failed open

class OpenPortTip : public testing::Test {
 protected:
  QString Tip() const { return dlg.GetDlgItem(CTransferDlg::kIdOpenPort)->toolTip(); }
  void Open(const std::string& portName) {
    AddPortEntry(*dlg.m_cbPort, portName);
    dlg.m_cbPort->setCurrentIndex(dlg.m_cbPort->count() - 1);
    dlg.OnOpenPort();
  }

  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
};

TEST_F(OpenPortTip, NamesAMissingDeviceUntilTheNextOpen) {
  EXPECT_TRUE(Tip().isEmpty());
  Open("/dev/kestrion-no-such-port");
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortNoSuchDevice.toString());
  EXPECT_TRUE(prompter.messages.empty()) << "still no message box";

  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_TRUE(Tip().isEmpty());
}

TEST_F(OpenPortTip, NamesADeviceHeldByAnotherProgram) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  SerialPort other;
  ASSERT_TRUE(other.Open(pty.SlavePath()));
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortInUse.toString());
}

TEST_F(OpenPortTip, NamesRefusedSettings) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  dlg.m_cbDataBits->setCurrentIndex(0);  // 7 data bits, which a pseudo-terminal cannot do
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortSettingsRefused.toString());

  dlg.m_cbDataBits->setCurrentIndex(1);
  dlg.OnOpenPort();
  EXPECT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_TRUE(Tip().isEmpty());
}

TEST_F(OpenPortTip, NamesMissingPermissionWithTheGroupToJoin) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens any device";
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
  Open(pty.SlavePath());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_EQ(Tip(), messages::kPortPermissionDenied.toString());
  EXPECT_TRUE(Tip().contains(QStringLiteral("dialout")));
}

}  // namespace
}  // namespace kestrion
