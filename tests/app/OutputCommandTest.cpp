// Output data: what the window asks, shows and keeps around the writing of the file, and how it reports a
// file it could not write.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "FakeView.h"
#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"
#include "dialog/PathText.h"
#include "dialog/Text.h"

namespace kestrion {
namespace {

using testing_support::FakeView;
using testing_support::ReadFileBytes;
using testing_support::ScratchDir;
using testing_support::ScriptedPrompter;

// Runs `whileOpen` while the chooser is open, as a poll does that comes meanwhile.
class BusyChooser : public ScriptedPrompter {
 public:
  std::function<void()> whileOpen;
  std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter> filters,
                                                      bool mayNotExist = false) override {
    if (whileOpen) whileOpen();
    return ScriptedPrompter::ChooseOpenFile(filters, mayNotExist);
  }
};

// A finished download of two road records, not yet output.
const std::string kDownloaded = "\r\nA1,2\r\n\r\nB3,4\r\n";
const std::string kCut = "\r\nA1,2\r\n\r\nB3,4";

class OutputCommand : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.Path().empty());
    dlg.m_strData = CString(kDownloaded);
    dlg.m_strLastMarker = CString("$");
    testing_support::MarkDownloadUnsaved(dlg);
    dlg.UpdateData(false);
  }

  void OutputTo(const std::filesystem::path& chosen) {
    prompter.chosenFiles.emplace_back(chosen);
    view.Click(kIdOutput);
  }
  std::string DataBytes() const { return dlg.m_edData.Bytes().Bytes(); }

  ScratchDir dir;
  BusyChooser prompter;
  CTransferDlg dlg{prompter};
  FakeView view{dlg, prompter};
};

TEST_F(OutputCommand, WritesTheBoxAsShownThenReports) {
  view.Type(kIdData, view.GetText(kIdData) + u"C5,6");  // the operator's edit is part of the output
  OutputTo(dir.Path() / "survey.old.txt");

  ASSERT_EQ(prompter.choosers.size(), 1u);
  EXPECT_TRUE(prompter.choosers[0].mayNotExist);
  EXPECT_EQ(prompter.choosers[0].patterns, (std::vector<std::u16string>{u"*.*", u"*.txt"}));
  const std::filesystem::path written = dir.Path() / "survey.HLN";
  EXPECT_EQ(ReadFileBytes(written), "BeginRoad,1\r\n>>Default,4\r\nA1,2\r\n\r\nB3,4\r\nC5,6\r\nEndRoad\r\n");
  EXPECT_EQ(dlg.m_strOutputPath.Bytes(), written.native());
  EXPECT_EQ(dlg.m_strData.Bytes(), kDownloaded + "C5,6");  // nothing to cut after the typed record
  EXPECT_FALSE(dlg.m_edData.IsEdited());
  EXPECT_FALSE(dlg.HasUnsavedDownload());
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, messages::kDataOutput);
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Information);
}

TEST_F(OutputCommand, CutsTheClosingLineEndAndShowsTheCut) {
  OutputTo(dir.Path() / "survey");
  EXPECT_EQ(dlg.m_strData.Bytes(), kCut);
  EXPECT_EQ(DataBytes(), kCut);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "survey.HLN"),
            "BeginRoad,1\r\n>>Default,3\r\nA1,2\r\n\r\nB3,4\r\nEndRoad\r\n");
}

TEST_F(OutputCommand, TakesWhatArrivedWhileTheChooserWasOpen) {
  prompter.whileOpen = [this] { dlg.m_strData += CString("\r\nC5,6\r\n"); };
  OutputTo(dir.Path() / "survey.txt");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "survey.HLN"),
            "BeginRoad,1\r\n>>Default,5\r\nA1,2\r\n\r\nB3,4\r\n\r\nC5,6\r\nEndRoad\r\n");
}

TEST_F(OutputCommand, EmptyDataIsToldAndNothingAsked) {
  view.Click(kIdClearData);
  view.Click(kIdOutput);
  EXPECT_TRUE(prompter.choosers.empty());
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, messages::kNoDataToOutput);
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Exclamation);
}

TEST_F(OutputCommand, CancelChangesNothing) {
  dlg.m_strOutputPath = CString("/earlier/out.HLN");
  prompter.chosenFiles.emplace_back(std::nullopt);
  view.Click(kIdOutput);
  EXPECT_EQ(prompter.choosers.size(), 1u);
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(dlg.m_strData.Bytes(), kDownloaded);  // not cut
  EXPECT_EQ(dlg.m_strOutputPath, "/earlier/out.HLN");
  EXPECT_TRUE(dlg.HasUnsavedDownload());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

std::u16string CannotCreate(const std::filesystem::path& path, int error) {
  return u"Cannot create " + PathText(path) + u": " + Utf8ToUtf16(std::generic_category().message(error)) +
         u".";
}

// A file that cannot be made is reported with the system's reason; the window keeps showing the text, which
// is still to be output, and whatever stood at the name stays as it was.
TEST_F(OutputCommand, FolderThatIsAFileIsReported) {
  const std::filesystem::path notAFolder = dir.Write("plain", "keep");
  OutputTo(notAFolder / "survey.txt");

  const std::filesystem::path target = notAFolder / "survey.HLN";
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, CannotCreate(target, ENOTDIR));
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Stop);
  EXPECT_EQ(dlg.m_strOutputPath.Bytes(), target.native());
  EXPECT_EQ(DataBytes(), kDownloaded);  // not refreshed
  EXPECT_TRUE(dlg.HasUnsavedDownload());
  EXPECT_EQ(ReadFileBytes(notAFolder), "keep");
}

TEST_F(OutputCommand, FolderAtTheNameIsReportedAndKept) {
  const std::filesystem::path target = dir.Path() / "survey.HLN";
  std::filesystem::create_directory(target);
  const std::filesystem::path inside = target / "inside.txt";
  testing_support::WriteFileBytes(inside, "inside");
  OutputTo(dir.Path() / "survey.txt");

  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, CannotCreate(target, EISDIR));
  EXPECT_TRUE(dlg.HasUnsavedDownload());
  EXPECT_EQ(ReadFileBytes(inside), "inside");
  // Nothing is left behind beside it either.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace kestrion
