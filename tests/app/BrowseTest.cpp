// Browse: the chosen file fills the data box, and a road file the road list and the road buffers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "WindowDriving.h"
#include "app/TransferDlg.h"
#include "common/ScratchDir.h"
#include "common/TestNames.h"
#include "dialog/PathText.h"
#include "dialog/Text.h"

namespace kestrion {
namespace {

using testing_support::ScratchDir;
using testing_support::Window;

// GBK bytes of two road names, and the names themselves.
const std::string kMainRoad = "\xD6\xF7\xCF\xDF";
const std::string kRamp = "\xD4\xD1\xB5\xC0";
const std::u16string kMainRoadShown = u"\u4E3B\u7EBF";
const std::u16string kRampShown = u"\u531D\u9053";

class Browse : public testing::Test, protected Window {
 protected:
  // What an earlier load left: a text, a path and a road.
  void SetUp() override {
    ASSERT_FALSE(dir.Path().empty());
    dlg.m_strData = CString("earlier\r\n");
    dlg.m_strFilePath = CString("/earlier/R0.HLN");
    dlg.m_strRoadData = {CString("$old$\r\n")};
    testing_support::MarkDownloadUnsaved(dlg);
    dlg.UpdateData(false);
    dlg.m_lbRoads.AddString(u"old");
    dlg.m_lbRoads.SetCurSel(0);
  }

  void BrowseTo(const std::filesystem::path& file) {
    AnswerChooser(file);
    Click(kIdBrowse);
  }

  const std::u16string& PathShown() const { return Shown(kIdFilePath); }

  ScratchDir dir;
};

TEST_F(Browse, RoadFileFillsDataRoadsAndBuffers) {
  const std::string body =
      "BeginRoad,1\r\n>>" + kMainRoad + ",2\r\na\r\nb\r\n>>" + kRamp + ",1\r\nc\r\nEndRoad\r\n";
  const std::filesystem::path file = dir.Write("R1.hln", body + "x\r\n");
  BrowseTo(file);

  ASSERT_EQ(prompter.choosers.size(), 1u);
  EXPECT_EQ(prompter.choosers[0].labels, (std::vector<std::u16string>{u"所有文件(*.*)", u"文本文件(*.txt)"}));
  EXPECT_EQ(prompter.choosers[0].patterns, (std::vector<std::u16string>{u"*.*", u"*.txt"}));
  EXPECT_FALSE(prompter.choosers[0].mayNotExist);

  EXPECT_EQ(dlg.m_strData.Bytes(), body);
  EXPECT_EQ(DataBytes(), body);
  EXPECT_EQ(dlg.m_strFilePath, PathBytes(file));
  EXPECT_EQ(PathShown(), PathText(file));

  EXPECT_EQ(Roads(), (std::vector<std::u16string>{kMainRoadShown, kRampShown}));
  EXPECT_EQ(dlg.m_lbRoads.GetCurSel(), 0);
  EXPECT_EQ(view.GetFocus(), kIdRoads);
  EXPECT_EQ(dlg.m_strRoadData, (std::vector<CString>{CString("$a$\r\n$b$\r\n"), CString("$c$\r\n")}));
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_FALSE(dlg.HasUnsavedDownload());  // closing the window need not ask about a download no longer there
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
  EXPECT_EQ(DataBytes(), GetParam().data);
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  EXPECT_EQ(dlg.m_lbRoads.GetCurSel(), -1);
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
  TypeAtEnd(kIdData, u"typed");
  prompter.chosenFiles.emplace_back(std::nullopt);
  Click(kIdBrowse);

  EXPECT_EQ(prompter.choosers.size(), 1u);
  EXPECT_EQ(dlg.m_strData, "earlier\r\n");  // the typing was not even taken in
  EXPECT_TRUE(dlg.m_edData.IsEdited());
  EXPECT_EQ(dlg.m_strFilePath, "/earlier/R0.HLN");
  EXPECT_EQ(Roads(), std::vector<std::u16string>{u"old"});
  EXPECT_EQ(dlg.m_strRoadData.size(), 1u);
  EXPECT_TRUE(dlg.HasUnsavedDownload());
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(Browse, MissingFileIsSilentAndEmptiesTheBoxes) {
  const std::filesystem::path file = dir.Path() / "absent.HLN";
  BrowseTo(file);
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
  EXPECT_TRUE(Shown(kIdData).empty());
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  EXPECT_EQ(PathShown(), PathText(file));
}

#ifndef _WIN32
// A file whose reading fails: the process's own memory opens and fails at its first read.
TEST_F(Browse, ReadErrorIsReportedAndTheControlsStayAsTheyWere) {
  const std::filesystem::path folder = dir.Path() / "unreadable.HLN";
  std::filesystem::create_symlink("/proc/self/mem", folder);
  BrowseTo(folder);

  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, u"An unknown error occurred while accessing " + PathText(folder) + u".");
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Stop);
  // The fields hold what the load got to; the window still shows the earlier file.
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
  EXPECT_EQ(dlg.m_strFilePath, PathBytes(folder));
  EXPECT_EQ(DataBytes(), "earlier\r\n");
  EXPECT_EQ(PathShown(), u"/earlier/R0.HLN");
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  // The download the window still shows is still unsaved: closing asks first.
  EXPECT_TRUE(dlg.HasUnsavedDownload());
  dlg.OnCommand(kIdCancel, Notification::Clicked);
  EXPECT_EQ(prompter.messages.size(), 2u);
  EXPECT_FALSE(view.Ended());
}
#endif

// A file larger than a text can hold is refused before anything is given up for it. The file is sparse: its
// size is real, its blocks are not.
TEST_F(Browse, FileTooBigForTheDataTextIsRefusedAndNothingChanges) {
  const std::filesystem::path file = dir.Path() / "huge.CPT";
  { std::ofstream(file) << "P1,1,2,3\r\n"; }
  std::filesystem::resize_file(file, (std::uintmax_t{1} << 31) + 1);
  BrowseTo(file);

  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, u"文件太大（超过 2 GB），无法载入：" + PathText(file));
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Stop);
  EXPECT_EQ(dlg.m_strData, "earlier\r\n");
  EXPECT_EQ(PathShown(), u"/earlier/R0.HLN");
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 1);
  EXPECT_TRUE(dlg.HasUnsavedDownload());
}

TEST_F(Browse, EveryRoadOfALongFileGetsItsBuffer) {
  constexpr int kRoads = 150;
  std::string body = "BeginRoad,1\r\n";
  for (int i = 0; i < kRoads; ++i) body += ">>R" + std::to_string(i) + ",1\r\nrec" + std::to_string(i) + "\r\n";
  BrowseTo(dir.Write("long.VLN", body + "EndRoad\r\n"));

  ASSERT_EQ(dlg.m_lbRoads.GetCount(), kRoads);
  ASSERT_EQ(dlg.m_strRoadData.size(), static_cast<std::size_t>(kRoads));
  for (const int i : {0, 99, 100, kRoads - 1}) {
    EXPECT_EQ(dlg.m_lbRoads.GetText(i), u"R" + Number(i));
    EXPECT_EQ(dlg.m_strRoadData[static_cast<std::size_t>(i)].Bytes(), "@rec" + std::to_string(i) + "@\r\n");
  }
}

}  // namespace
}  // namespace kestrion
