// The Qt window's wiring, end to end: the operator clicks the real buttons, Qt's event loop runs the dialog's
// timers, and the simulated station is at the other end of the port, first sending a download that Output
// writes to a file, then receiving a road of a road file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"
#include "qt/DataBox.h"
#include "qt/QtDialogWindow.h"
#include "serial/Framing.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;
using testing_support::NonEmptyLines;
using testing_support::ReadFileBytes;
using testing_support::RunningStation;
using testing_support::ScopedRuntimeDir;
using testing_support::ScratchDir;
using testing_support::ScriptedPrompter;
using testing_support::StartStation;
using testing_support::TestPortName;

constexpr std::chrono::milliseconds kWait = 10s;
constexpr int kBaudIndex38400 = 3;

template <typename Widget>
Widget* ItemOf(const QtDialogWindow& window, int id) {
  auto* widget = qobject_cast<Widget*>(window.GetDlgItem(id));
  EXPECT_NE(widget, nullptr) << id;
  return widget;
}

void Click(const QtDialogWindow& window, int id) {
  ItemOf<QPushButton>(window, id)->click();
}

// Picks the station's port, put at the end of the list as a registered device is, at 38400 baud.
void PickPort(CTransferDlg& dlg, const QtDialogWindow& window, const RunningStation& station) {
  dlg.AddPortEntry(station.link.string());
  QComboBox* ports = ItemOf<QComboBox>(window, kIdPort);
  ports->setCurrentIndex(ports->count() - 1);
  ItemOf<QComboBox>(window, kIdBaud)->setCurrentIndex(kBaudIndex38400);
}

std::u16string Shown(const QtDialogWindow& window, int id) {
  return ItemOf<DataBox>(window, id)->Text().toStdU16String();
}

TEST(QtWindowEndToEnd, DownloadAndOutputThenUploadOfARoad) {
  ScopedRuntimeDir runtime;
  ScratchDir dir;
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
  QtDialogWindow window{dlg};
  window.show();

  // The download, polled by the window's own timer.
  const std::vector<std::string> records = {"P1,10.0,20.0", "P2,11.0,21.0"};
  const std::filesystem::path recordsFile =
      dir.Write("records.txt", records[0] + "\r\n" + records[1] + "\r\n");
  RunningStation sender = StartStation(
      TestPortName() + "-s",
      {"--baud", "38400", "--wait-open", "--settle", "20", "send", "--marker", "&", recordsFile.string()});
  PickPort(dlg, window, sender);
  Click(window, kIdOpenPort);
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_FALSE(ItemOf<QPushButton>(window, kIdOpenPort)->isEnabled());
  EXPECT_TRUE(ItemOf<QPushButton>(window, kIdClosePort)->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.empty(); }, 10000)) << sender.process->Stderr();
  EXPECT_EQ(prompter.messages[0].text, std::u16string(messages::kDownloadComplete));
  EXPECT_EQ(NonEmptyLines(dlg.m_strData.Bytes()), records);
  EXPECT_EQ(dlg.Codec().Encode(Shown(window, kIdData)), dlg.m_strData.Bytes()) << "the box shows the text";

  // Output: a point download becomes a .CPT file; how the reads cut the stream may leave empty lines.
  prompter.chosenFiles.emplace_back(dir.Path() / "survey.txt");
  Click(window, kIdOutput);
  ASSERT_EQ(prompter.messages.size(), 2u);
  EXPECT_EQ(prompter.messages[1].text, std::u16string(messages::kDataOutput));
  EXPECT_EQ(NonEmptyLines(ReadFileBytes(dir.Path() / "survey.CPT")), records);
  EXPECT_FALSE(dlg.HasUnsavedDownload());
  Click(window, kIdClosePort);  // ends the station's linger
  EXPECT_EQ(sender.process->WaitForExit(kWait), 0) << sender.process->Stderr();
  EXPECT_TRUE(ItemOf<QPushButton>(window, kIdOpenPort)->isEnabled());

  // The upload of the second road of a road file, loaded by Browse and picked in the road list.
  const std::filesystem::path roadFile = KESTRION_EXAMPLES "/sample.HLN";
  UploadSource source;
  ASSERT_TRUE(LoadUploadSource(roadFile, source).opened);
  ASSERT_GE(source.roadData.size(), 2u);
  prompter.chosenFiles.emplace_back(roadFile);
  Click(window, kIdBrowse);
  QListWidget* roads = ItemOf<QListWidget>(window, kIdRoads);
  ASSERT_EQ(roads->count(), static_cast<int>(source.roadNames.GetSize()));
  roads->setCurrentRow(1);
  ItemOf<QRadioButton>(window, kIdUploadMode)->click();
  EXPECT_TRUE(ItemOf<QPushButton>(window, kIdUpload)->isEnabled());

  const std::string out = (runtime.Path() / "received.txt").string();
  RunningStation receiver =
      StartStation(TestPortName() + "-r",
                   {"--baud", "38400", "--settle", "20", "receive", "--out", out, "--timeout", "5000"});
  PickPort(dlg, window, receiver);
  Click(window, kIdOpenPort);
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  Click(window, kIdUpload);
  // The event loop runs the status echo meanwhile.
  ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.process->WaitForExit(0ms).has_value(); }, 10000));
  EXPECT_EQ(receiver.process->WaitForExit(0ms), 0) << receiver.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), source.roadData[1].Bytes() + kWordUploadFinish + "\r\r\n");
  const std::size_t requests = NonEmptyLines(source.roadData[1].Bytes()).size() + 1;  // the closing line too
  std::string status;
  for (std::size_t i = 0; i < requests; ++i) status += kWordStart;
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Codec().Encode(Shown(window, kIdStatus)) == status; }, 5000))
      << dlg.Codec().Encode(Shown(window, kIdStatus));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.UploadRunning(); }, 5000));
  Click(window, kIdClosePort);
  EXPECT_EQ(dlg.m_bPortOpen, 0);
}

}  // namespace
}  // namespace kestrion
