// Browse: the chosen file fills the data box, and a road file the road list and the road buffers.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/TransferDlg.h"
#include "common/ScratchDir.h"
#include "common/TestNames.h"

namespace kestrion {
namespace {

using testing_support::AnswerChooser;
using testing_support::Click;
using testing_support::DataBoxOf;
using testing_support::ItemOf;
using testing_support::PathText;
using testing_support::ScratchDir;
using testing_support::ScriptedPrompter;

// GBK bytes of two road names, and the names themselves.
const std::string kMainRoad = "\xD6\xF7\xCF\xDF";
const std::string kRamp = "\xD4\xD1\xB5\xC0";
const QString kMainRoadShown = QString::fromStdU16String(u"\u4E3B\u7EBF");
const QString kRampShown = QString::fromStdU16String(u"\u531D\u9053");

std::vector<std::string> RoadEntries(const CTransferDlg& dlg) {
  std::vector<std::string> entries;
  for (int i = 0; i < dlg.m_lbRoads->count(); ++i)
    entries.push_back(dlg.m_lbRoads->item(i)->text().toStdString());
  return entries;
}

class Browse : public testing::Test {
 protected:
  // What an earlier load left: a text, a path and a road.
  void SetUp() override {
    ASSERT_FALSE(dir.Path().empty());
    dlg.m_strData = CString("earlier\r\n");
    dlg.m_strFilePath = CString("/earlier/R0.HLN");
    dlg.m_strRoadData = {CString("$old$\r\n")};
    dlg.m_bUnsavedDownload = true;
    dlg.UpdateData(false);
    dlg.m_lbRoads->addItem(QStringLiteral("old"));
    dlg.m_lbRoads->setCurrentRow(0);
  }

  void BrowseTo(const std::filesystem::path& file) {
    AnswerChooser(prompter, file);
    Click(dlg, CTransferDlg::kIdBrowse);
  }

  QString PathShown() const { return ItemOf<QLineEdit>(dlg, CTransferDlg::kIdFilePath)->text(); }

  ScratchDir dir;
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
};

TEST_F(Browse, RoadFileFillsDataRoadsAndBuffers) {
  const std::string body =
      "BeginRoad,1\r\n>>" + kMainRoad + ",2\r\na\r\nb\r\n>>" + kRamp + ",1\r\nc\r\nEndRoad\r\n";
  const std::filesystem::path file = dir.Write("R1.hln", body + "x\r\n");
  BrowseTo(file);

  ASSERT_EQ(prompter.choosers.size(), 1u);
  EXPECT_EQ(prompter.choosers[0].labels,
            QStringList({QString::fromStdU16String(u"\u6240\u6709\u6587\u4EF6(*.*)"),
                         QString::fromStdU16String(u"\u6587\u672C\u6587\u4EF6(*.txt)")}));
  EXPECT_EQ(prompter.choosers[0].patterns, QStringList({QStringLiteral("*.*"), QStringLiteral("*.txt")}));
  EXPECT_FALSE(prompter.choosers[0].mayNotExist);

  EXPECT_EQ(dlg.m_strData.Bytes(), body);
  EXPECT_EQ(DataBoxOf(dlg).Bytes().Bytes(), body);
  EXPECT_EQ(dlg.m_strFilePath.Bytes(), file.native());
  EXPECT_EQ(PathShown(), PathText(file));

  ASSERT_EQ(dlg.m_lbRoads->count(), 2);
  EXPECT_EQ(dlg.m_lbRoads->item(0)->text(), kMainRoadShown);
  EXPECT_EQ(dlg.m_lbRoads->item(1)->text(), kRampShown);
  EXPECT_EQ(dlg.m_lbRoads->currentRow(), 0);
  EXPECT_EQ(dlg.focusWidget(), dlg.m_lbRoads);
  EXPECT_EQ(dlg.m_strRoadData, (std::vector<CString>{CString("$a$\r\n$b$\r\n"), CString("$c$\r\n")}));
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_FALSE(dlg.m_bUnsavedDownload);  // closing the window need not ask about a download no longer there
}

struct OtherFileRow {
  const char* name;
  const char* fileName;
  std::string body;
  std::string data;
};

class BrowseOtherFile : public Browse, public testing::WithParamInterface<OtherFileRow> {};

// A file without roads empties the road list and the buffers that an earlier road file left.
TEST_P(BrowseOtherFile, FillsTheDataAndNoRoads) {
  BrowseTo(dir.Write(GetParam().fileName, GetParam().body));
  EXPECT_EQ(dlg.m_strData.Bytes(), GetParam().data);
  EXPECT_EQ(DataBoxOf(dlg).Bytes().Bytes(), GetParam().data);
  EXPECT_EQ(dlg.m_lbRoads->count(), 0);
  EXPECT_EQ(dlg.m_lbRoads->currentRow(), -1);
  EXPECT_TRUE(dlg.m_strRoadData.empty());
  EXPECT_TRUE(prompter.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BrowseOtherFile,
    testing::Values(OtherFileRow{"TlnRecordsUnderTheirNames", "T.tln", ">>T1,2\r\np\r\nq\r\nEndRoad\r\n",
                                 "^T1,p^\r\n^T1,q^\r\n"},
                    OtherFileRow{"CptRecords", "P.CPT", "1,2,3\r\n\r\n", "&1,2,3&\r\n&&\r\n"},
                    OtherFileRow{"TextAsItStands", "notes.txt", "a \r\n" + kMainRoad + "\r\n",
                                 "a \r\n" + kMainRoad + "\r\n"},
                    OtherFileRow{"EmptyText", "empty.txt", "", "\r\n"}),
    testing_support::RowName());

TEST_F(Browse, CancelChangesNothing) {
  QTest::keyClicks(&DataBoxOf(dlg), "typed");
  prompter.chosenFiles.emplace_back(std::nullopt);
  Click(dlg, CTransferDlg::kIdBrowse);

  EXPECT_EQ(prompter.choosers.size(), 1u);
  EXPECT_EQ(dlg.m_strData, "earlier\r\n");  // the typing was not even taken in
  EXPECT_TRUE(DataBoxOf(dlg).IsEdited());
  EXPECT_EQ(dlg.m_strFilePath, "/earlier/R0.HLN");
  EXPECT_EQ(RoadEntries(dlg), std::vector<std::string>{"old"});
  EXPECT_EQ(dlg.m_strRoadData.size(), 1u);
  EXPECT_TRUE(dlg.m_bUnsavedDownload);
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(Browse, MissingFileIsSilentAndEmptiesTheBoxes) {
  const std::filesystem::path file = dir.Path() / "absent.HLN";
  BrowseTo(file);
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
  EXPECT_EQ(DataBoxOf(dlg).document()->characterCount(), 1);
  EXPECT_EQ(dlg.m_lbRoads->count(), 0);
  EXPECT_EQ(PathShown(), PathText(file));
}

TEST_F(Browse, ReadErrorIsReportedAndTheControlsStayAsTheyWere) {
  const std::filesystem::path folder = dir.Path() / "folder.HLN";
  std::filesystem::create_directory(folder);
  BrowseTo(folder);

  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            QStringLiteral("An unknown error occurred while accessing %1.").arg(PathText(folder)));
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Stop);
  // The fields hold what the load got to; the window still shows the earlier file.
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
  EXPECT_EQ(dlg.m_strFilePath.Bytes(), folder.native());
  EXPECT_EQ(DataBoxOf(dlg).Bytes(), "earlier\r\n");
  EXPECT_EQ(PathShown(), QStringLiteral("/earlier/R0.HLN"));
  EXPECT_EQ(dlg.m_lbRoads->count(), 0);
}

// A file larger than a text can hold is refused before anything is given up for it. The file is sparse: its
// size is real, its blocks are not.
TEST_F(Browse, FileTooBigForTheDataTextIsRefusedAndNothingChanges) {
  const std::filesystem::path file = dir.Path() / "huge.CPT";
  { std::ofstream(file) << "P1,1,2,3\r\n"; }
  std::filesystem::resize_file(file, (std::uintmax_t{1} << 31) + 1);
  BrowseTo(file);

  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, QStringLiteral("文件太大（超过 2 GB），无法载入：%1").arg(PathText(file)));
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Stop);
  EXPECT_EQ(dlg.m_strData, "earlier\r\n");
  EXPECT_EQ(PathShown(), QStringLiteral("/earlier/R0.HLN"));
  EXPECT_EQ(dlg.m_lbRoads->count(), 1);
  EXPECT_TRUE(dlg.m_bUnsavedDownload);
}

// The road list is a single-selection list box: Ctrl+click, Ctrl+Space and a click below the entries move or
// keep the selection but never empty it, so Upload always sends a road once one is listed.
TEST_F(Browse, RoadSelectionCannotBeEmptied) {
  BrowseTo(dir.Write("roads.HLN", "BeginRoad,1\r\n>>R1,1\r\na\r\n>>R2,1\r\nb\r\nEndRoad\r\n"));
  QListWidget& roads = *dlg.m_lbRoads;
  ASSERT_EQ(roads.selectedItems().size(), 1);
  const auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(roads.viewport(), Qt::LeftButton, modifiers,
                      roads.visualItemRect(roads.item(row)).center());
  };
  clickRow(0, Qt::ControlModifier);
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(roads.row(roads.selectedItems().front()), 0);
  clickRow(1, Qt::ControlModifier);
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(roads.row(roads.selectedItems().front()), 1);
  QTest::keyClick(&roads, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_EQ(roads.selectedItems().size(), 1);
  for (const Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers()}) {
    QTest::mouseClick(roads.viewport(), Qt::LeftButton, modifiers, QPoint(2, roads.viewport()->height() - 2));
  }
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(roads.row(roads.selectedItems().front()), 1);
}

TEST_F(Browse, EveryRoadOfALongFileGetsItsBuffer) {
  constexpr int kRoads = 150;
  std::string body = "BeginRoad,1\r\n";
  for (int i = 0; i < kRoads; ++i)
    body += ">>R" + std::to_string(i) + ",1\r\nrec" + std::to_string(i) + "\r\n";
  BrowseTo(dir.Write("long.VLN", body + "EndRoad\r\n"));

  ASSERT_EQ(dlg.m_lbRoads->count(), kRoads);
  ASSERT_EQ(dlg.m_strRoadData.size(), static_cast<std::size_t>(kRoads));
  for (const int i : {0, 99, 100, kRoads - 1}) {
    EXPECT_EQ(dlg.m_lbRoads->item(i)->text(), QStringLiteral("R%1").arg(i));
    EXPECT_EQ(dlg.m_strRoadData[static_cast<std::size_t>(i)].Bytes(), "@rec" + std::to_string(i) + "@\r\n");
  }
}

}  // namespace
}  // namespace kestrion
