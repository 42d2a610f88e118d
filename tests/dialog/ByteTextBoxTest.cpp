// The byte text box against the codec: whatever it was given, the window shows exactly the decoded bytes and
// the box hands them back; a refresh touches only what changed, with either kind of line break.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "FakeView.h"
#include "ScriptedPrompter.h"
#include "common/TestNames.h"
#include "dialog/ByteTextBox.h"
#include "dialog/Dialog.h"
#include "dialog/Exchange.h"

namespace kestrion {
namespace {

using testing_support::FakeView;
using testing_support::ScriptedPrompter;

constexpr int kIdBox = 10;
constexpr std::array kControls{ControlRow{kIdBox, ControlKind::MultiLineEdit, u"", {0, 0, 100, 100}, 0, "IDC_10"}};
const DialogTemplate kTemplate{1, u"Box", {0, 0, 100, 100}, u"MS Shell Dlg", 8, kControls};

// A dialog of one box.
class BoxDlg : public CDialog {
 public:
  BoxDlg() : CDialog(kTemplate) {}
  CByteTextBox box;

 protected:
  void DoDataExchange(CDataExchange& dx) override { DDX_Control(dx, kIdBox, box); }
};

class ByteTextBox : public testing::TestWithParam<LineBreak> {
 protected:
  // What the window really shows, read back through the codec, not from the bytes the box keeps.
  std::string ShownBytes() const { return dlg.Codec().Encode(view.GetText(kIdBox)); }

  ScriptedPrompter prompter;
  BoxDlg dlg;
  FakeView view{dlg, prompter, GetParam()};
};

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength) {
  static const unsigned char kHard[] = {0x81, 0xB5, 0xC0, 0xFE, 0xFF, '\r', '\n', '\r', '\n', 0x40, '1', ','};
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<int> anyByte(1, 255);
  std::uniform_int_distribution<std::size_t> hard(0, sizeof kHard - 1);
  std::bernoulli_distribution pickHard(0.6);
  std::string bytes(length(rng), '\0');
  for (char& b : bytes) b = static_cast<char>(pickHard(rng) ? kHard[hard(rng)] : anyByte(rng));
  return bytes;
}

// A random change of `text`: bytes inserted, removed or replaced somewhere, or appended at the end.
std::string Changed(std::mt19937& rng, std::string text) {
  std::uniform_int_distribution<int> kind(0, 3);
  std::uniform_int_distribution<std::size_t> at(0, text.size());
  const std::size_t pos = at(rng);
  std::uniform_int_distribution<std::size_t> span(0, std::min<std::size_t>(6, text.size() - pos));
  switch (kind(rng)) {
    case 0:
      return text + RandomBytes(rng, 8);
    case 1:
      return text.insert(pos, RandomBytes(rng, 6));
    case 2:
      return text.erase(pos, span(rng));
    default:
      return text.replace(pos, span(rng), RandomBytes(rng, 4));
  }
}

TEST_P(ByteTextBox, RandomTextsComeBackUnchanged) {
  std::mt19937 rng(1000);
  for (int round = 0; round < 400; ++round) {
    const std::string bytes = CString(RandomBytes(rng, 80)).Bytes();  // a CString stops at a zero byte
    dlg.box.SetBytes(CString(bytes));
    ASSERT_EQ(dlg.box.Bytes().Bytes(), bytes);
    ASSERT_EQ(ShownBytes(), bytes);
    ASSERT_EQ(view.GetText(kIdBox), dlg.Codec().Decode(bytes, GetParam()));
    ASSERT_FALSE(dlg.box.IsEdited());
  }
}

TEST_P(ByteTextBox, EverySmallRefreshShowsExactlyTheNewText) {
  std::mt19937 rng(14);
  for (int text = 0; text < 30; ++text) {
    std::string bytes = RandomBytes(rng, 120);
    dlg.box.SetBytes(CString(bytes));
    for (int step = 0; step < 60; ++step) {
      bytes = CString(Changed(rng, bytes)).Bytes();
      dlg.box.SetBytes(CString(bytes));
      ASSERT_EQ(ShownBytes(), bytes) << text << "/" << step;
      ASSERT_EQ(dlg.box.Bytes().Bytes(), bytes) << text << "/" << step;
    }
  }
}

TEST_P(ByteTextBox, AppendingToALongTextEditsOnlyItsEnd) {
  std::string bytes;
  while (bytes.size() < 2'000'000) bytes += "&1,2,3.456,\xB5\xC0\xC2\xB7\r\n";
  CString text(bytes);
  dlg.box.SetBytes(text);
  const std::size_t shownBefore = view.GetTextLength(kIdBox);
  view.replacements.clear();

  // Told what changed, and left to find it.
  for (const bool told : {true, false}) {
    const std::uint64_t before = text.ContentId();
    text += CString(std::string(254, 'x'));
    const TextChange change{before, text.ContentId(), static_cast<int>(bytes.size())};
    dlg.box.SetBytes(text, told ? &change : nullptr);
    ASSERT_EQ(view.replacements.size(), 1u) << told;
    EXPECT_GE(view.replacements[0].start, shownBefore - 4) << told;
    EXPECT_LE(view.replacements[0].end - view.replacements[0].start + view.replacements[0].inserted, 2 * 254 + 8);
    EXPECT_EQ(ShownBytes(), text.Bytes());
    view.replacements.clear();
    bytes = text.Bytes();
  }
}

TEST_P(ByteTextBox, AChangeThatDoesNotFitWhatItClaimsIsNotTrusted) {
  CString text("abc\r\ndef");
  dlg.box.SetBytes(text);
  CString other("abX\r\ndefg");
  // Claims to come from another text: the box finds the change itself.
  const TextChange wrong{text.ContentId() + 1000, other.ContentId(), 7};
  dlg.box.SetBytes(other, &wrong);
  EXPECT_EQ(ShownBytes(), "abX\r\ndefg");
}

TEST_P(ByteTextBox, AChangeInTheMiddleKeepsHeadAndTail) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += "\xB5\xC0" + std::to_string(i) + "\r\n";
  dlg.box.SetBytes(CString(bytes));
  view.replacements.clear();
  std::string edited = bytes;
  edited.replace(bytes.size() / 2, 3, "\xCE\xDE");
  dlg.box.SetBytes(CString(edited));
  ASSERT_EQ(view.replacements.size(), 1u);
  EXPECT_LE(view.replacements[0].end - view.replacements[0].start + view.replacements[0].inserted, 16u);
  EXPECT_EQ(ShownBytes(), edited);
}

TEST_P(ByteTextBox, TheSameTextAgainChangesNothing) {
  CString text("&1,2\r\n");
  dlg.box.SetBytes(text);
  view.replacements.clear();
  dlg.box.SetBytes(text);
  dlg.box.SetBytes(CString("&1,2\r\n"));
  EXPECT_TRUE(view.replacements.empty());
}

TEST_P(ByteTextBox, TypingMarksTheBoxEditedAndKeepsTheOtherBytes) {
  dlg.box.SetBytes(CString("\xB5\xC0\x81\rA\r\n\xFF" "B"));
  std::u16string shown = view.GetText(kIdBox);
  shown.insert(3, u"z");  // after the road, the stand-in of 0x81 and that of the lone CR
  view.Type(kIdBox, shown);
  EXPECT_TRUE(dlg.box.IsEdited());
  EXPECT_EQ(dlg.box.Bytes().Bytes(), "\xB5\xC0\x81\rzA\r\n\xFF" "B");

  // A new text replaces whatever the operator typed.
  dlg.box.SetBytes(CString("new"));
  EXPECT_FALSE(dlg.box.IsEdited());
  EXPECT_EQ(ShownBytes(), "new");
}

TEST_P(ByteTextBox, ARefreshAfterTypingStillEditsOnlyTheChange) {
  std::string bytes;
  for (int i = 0; i < 2000; ++i) bytes += "&" + std::to_string(i) + ",\xB5\xC0\r\n";
  dlg.box.SetBytes(CString(bytes));
  view.Type(kIdBox, u"q" + view.GetText(kIdBox));
  CString typed;
  dlg.box.CopyBytesTo(typed);
  ASSERT_TRUE(typed.Bytes() == "q" + bytes);

  view.replacements.clear();
  dlg.box.SetBytes(typed + CString("&2000,1\r\n"));
  ASSERT_EQ(view.replacements.size(), 1u);
  EXPECT_LE(view.replacements[0].end - view.replacements[0].start + view.replacements[0].inserted, 16u);
  EXPECT_FALSE(dlg.box.IsEdited());
  EXPECT_TRUE(ShownBytes() == typed.Bytes() + "&2000,1\r\n");
}

TEST_P(ByteTextBox, ATypedTextTheCodecNeverShowsIsReplacedWhole) {
  dlg.box.SetBytes(CString("ab"));
  // A stand-in followed by what would make it a pair, as pasted.
  view.Type(kIdBox, view.GetText(kIdBox) + u"\u2028\u2881@");
  ASSERT_TRUE(dlg.box.IsEdited());
  EXPECT_EQ(dlg.box.Bytes().Bytes(), "ab\r\n\x81@");
  dlg.box.SetBytes(CString("ab\r\n\x81@!"));
  EXPECT_EQ(ShownBytes(), "ab\r\n\x81@!");
  EXPECT_EQ(view.GetText(kIdBox), dlg.Codec().Decode("ab\r\n\x81@!", GetParam()));
}

TEST_P(ByteTextBox, CopyingIntoAFieldThatHoldsTheTextCopiesNothing) {
  CString text("&1,2\r\n");
  dlg.box.SetBytes(text);
  CString field = text;
  const std::uint64_t id = field.ContentId();
  dlg.box.CopyBytesTo(field);
  EXPECT_EQ(field.ContentId(), id);
  field = CString("other");
  dlg.box.CopyBytesTo(field);
  EXPECT_EQ(field, "&1,2\r\n");
}

INSTANTIATE_TEST_SUITE_P(LineBreaks, ByteTextBox, testing::Values(LineBreak::Lf, LineBreak::CrLf),
                         [](const testing::TestParamInfo<LineBreak>& row) {
                           return row.param == LineBreak::Lf ? std::string("Lf") : std::string("CrLf");
                         });

}  // namespace
}  // namespace kestrion
