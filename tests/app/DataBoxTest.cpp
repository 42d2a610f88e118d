// The data box against the codec: whatever it was given, it shows exactly the decoded bytes and hands them
// back; a refresh touches only what changed.
#include <gtest/gtest.h>

#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <random>
#include <string>

#include "app/DataBox.h"
#include "app/DisplayCodec.h"

namespace kestrion {
namespace {

const DisplayCodec& Codec() {
  return DisplayCodec::Instance();
}

// What the box really shows, read from its document, not from the bytes it keeps.
std::string ShownBytes(const DataBox& box) {
  return Codec().Encode(box.document()->toRawText());
}

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

TEST(DataBoxBytes, RandomTextsComeBackUnchanged) {
  DataBox box;
  std::mt19937 rng(1000);
  for (int round = 0; round < 400; ++round) {
    const std::string bytes = RandomBytes(rng, 80);
    box.SetBytes(CString(bytes));
    const std::string expected = CString(bytes).Bytes();  // a CString stops at a zero byte
    ASSERT_EQ(box.Bytes().Bytes(), expected);
    ASSERT_EQ(ShownBytes(box), expected);
    ASSERT_EQ(box.document()->toRawText(),
              Codec().Decode(expected).replace(QLatin1Char('\n'), QChar(0x2029)));
    ASSERT_FALSE(box.IsEdited());
  }
}

TEST(DataBoxBytes, EverySmallRefreshShowsExactlyTheNewText) {
  DataBox box;
  std::mt19937 rng(14);
  for (int text = 0; text < 30; ++text) {
    std::string bytes = RandomBytes(rng, 120);
    box.SetBytes(CString(bytes));
    for (int step = 0; step < 60; ++step) {
      bytes = CString(Changed(rng, bytes)).Bytes();
      box.SetBytes(CString(bytes));
      ASSERT_EQ(ShownBytes(box), bytes) << text << "/" << step;
      ASSERT_EQ(box.Bytes().Bytes(), bytes) << text << "/" << step;
      ASSERT_EQ(box.document()->characterCount() - 1, static_cast<int>(Codec().CountUnits(bytes)));
    }
  }
}

struct Change {
  int position = -1;
  int removed = 0;
  int added = 0;
};

TEST(DataBoxRefresh, AppendingToALongTextEditsOnlyItsEnd) {
  std::string line = "&1,2,3.456,\xB5\xC0\xC2\xB7\r\n";
  std::string bytes;
  while (bytes.size() < 2'000'000) bytes += line;
  DataBox box;
  box.SetBytes(CString(bytes));
  const int shownBefore = box.document()->characterCount();

  Change change;
  QObject::connect(box.document(), &QTextDocument::contentsChange, &box,
                   [&](int position, int removed, int added) {
                     change = Change{position, removed, added};
                   });
  const std::string more(254, 'x');
  box.SetBytes(CString(bytes + more));
  EXPECT_GE(change.position, shownBefore - 4);
  EXPECT_LE(change.removed + change.added, 2 * 254 + 8);
  EXPECT_EQ(box.Bytes().Bytes(), bytes + more);
  EXPECT_EQ(ShownBytes(box), bytes + more);
}

TEST(DataBoxRefresh, AChangeInTheMiddleKeepsHeadAndTail) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += "\xB5\xC0" + std::to_string(i) + "\r\n";
  DataBox box;
  box.SetBytes(CString(bytes));
  Change change;
  QObject::connect(box.document(), &QTextDocument::contentsChange, &box,
                   [&](int position, int removed, int added) {
                     change = Change{position, removed, added};
                   });
  std::string edited = bytes;
  edited.replace(bytes.size() / 2, 3, "\xCE\xDE");
  box.SetBytes(CString(edited));
  EXPECT_LE(change.removed + change.added, 16);
  EXPECT_EQ(ShownBytes(box), edited);
}

TEST(DataBoxOperator, TypingMarksTheBoxEditedAndKeepsTheOtherBytes) {
  const std::string bytes =
      "\xB5\xC0\x81\rA\r\n\xFF"
      "B";
  DataBox box;
  box.SetBytes(CString(bytes));
  QTextCursor cursor = box.textCursor();
  cursor.setPosition(3);  // after the road, the stand-in of 0x81 and the lone CR
  box.setTextCursor(cursor);
  QTest::keyClicks(&box, QStringLiteral("z"));
  EXPECT_TRUE(box.IsEdited());
  EXPECT_EQ(box.Bytes().Bytes(),
            "\xB5\xC0\x81\rzA\r\n\xFF"
            "B");

  QTest::keyClick(&box, Qt::Key_Return);
  EXPECT_EQ(box.Bytes().Bytes(),
            "\xB5\xC0\x81\rz\r\nA\r\n\xFF"
            "B");

  // A new text replaces whatever the operator typed.
  box.SetBytes(CString("new"));
  EXPECT_FALSE(box.IsEdited());
  EXPECT_EQ(ShownBytes(box), "new");
}

TEST(DataBoxOperator, ARefreshAfterTypingStillEditsOnlyTheChange) {
  std::string bytes;
  for (int i = 0; i < 2000; ++i) bytes += "&" + std::to_string(i) + ",\xB5\xC0\r\n";
  DataBox box;
  box.SetBytes(CString(bytes));
  box.moveCursor(QTextCursor::Start);
  QTest::keyClicks(&box, QStringLiteral("q"));
  const std::string typed = box.Bytes().Bytes();
  ASSERT_TRUE(typed == "q" + bytes);

  Change change;
  QObject::connect(box.document(), &QTextDocument::contentsChange, &box,
                   [&](int position, int removed, int added) {
                     change = Change{position, removed, added};
                   });
  box.SetBytes(CString(typed + "&2000,1\r\n"));
  EXPECT_LE(change.removed + change.added, 16);
  EXPECT_FALSE(box.IsEdited());
  EXPECT_TRUE(ShownBytes(box) == typed + "&2000,1\r\n");
}

TEST(DataBoxOperator, ATypedTextTheCodecNeverShowsIsReplacedWhole) {
  DataBox box;
  box.SetBytes(CString("ab"));
  // A line break inside a paragraph, and a stand-in followed by what would make it a pair.
  QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
  QTextCursor typing = box.textCursor();  // as pasted: no key of its own
  typing.insertText(QString(QChar(0x2881)) + QStringLiteral("@"));
  ASSERT_TRUE(box.IsEdited());
  EXPECT_EQ(box.Bytes().Bytes(), "ab\r\n\x81@");
  box.SetBytes(CString("ab\r\n\x81@!"));
  EXPECT_EQ(ShownBytes(box), "ab\r\n\x81@!");
  EXPECT_EQ(box.document()->toRawText(),
            Codec().Decode("ab\r\n\x81@!").replace(QLatin1Char('\n'), QChar(0x2029)));
}

TEST(DataBoxOperator, UndoingTheEditIsNoEdit) {
  DataBox box;
  box.SetBytes(CString("abc"));
  QTest::keyClicks(&box, QStringLiteral("x"));
  ASSERT_TRUE(box.IsEdited());
  box.undo();
  EXPECT_FALSE(box.IsEdited());
  EXPECT_EQ(box.Bytes().Bytes(), "abc");
}

TEST(DataBoxOperator, ARefreshIsNotUndoable) {
  DataBox box;
  box.SetBytes(CString("abc"));
  box.SetBytes(CString("abcdef"));
  box.undo();
  EXPECT_FALSE(box.IsEdited());
  EXPECT_EQ(ShownBytes(box), "abcdef");
}

}  // namespace
}  // namespace kestrion
