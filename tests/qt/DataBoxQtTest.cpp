// The Qt host's text box under the byte text box: what it shows is exactly the decoded bytes, a refresh edits
// only what changed in the document, typing marks it edited, and a refresh cannot be undone.
#include <gtest/gtest.h>

#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <array>
#include <string>

#include "ScriptedPrompter.h"
#include "dialog/ByteTextBox.h"
#include "dialog/Dialog.h"
#include "dialog/Exchange.h"
#include "qt/DataBox.h"
#include "qt/QtDialogWindow.h"

namespace kestrion {
namespace {

constexpr int kIdBox = 10;
constexpr std::array kControls{
    ControlRow{kIdBox, ControlKind::MultiLineEdit, u"", {0, 0, 200, 100}, style::kTabStop, "IDC_10"}};
const DialogTemplate kTemplate{1, u"Box", {0, 0, 200, 100}, u"MS Shell Dlg", 8, kControls};

class BoxDlg : public CDialog {
 public:
  BoxDlg() : CDialog(kTemplate) {}
  CByteTextBox box;

 protected:
  void DoDataExchange(CDataExchange& dx) override { DDX_Control(dx, kIdBox, box); }
};

struct Change {
  int position = -1;
  int removed = 0;
  int added = 0;
};

class QtDataBox : public testing::Test {
 protected:
  DataBox& Box() { return *qobject_cast<DataBox*>(window.GetDlgItem(kIdBox)); }
  std::string ShownBytes() { return dlg.Codec().Encode(Box().Text().toStdU16String()); }
  void Watch() {
    QObject::connect(Box().document(), &QTextDocument::contentsChange, &Box(),
                     [this](int position, int removed, int added) { change = Change{position, removed, added}; });
  }

  BoxDlg dlg;
  QtDialogWindow window{dlg};
  Change change;
};

TEST_F(QtDataBox, TheDocumentHoldsOnePositionPerUnit) {
  const std::string bytes = "&1,\xB5\xC0\r\n\x81\r\n\xFF" "x\r";
  dlg.box.SetBytes(CString(bytes));
  EXPECT_EQ(Box().document()->characterCount() - 1, static_cast<int>(dlg.Codec().CountUnits(bytes)));
  EXPECT_EQ(ShownBytes(), bytes);
  EXPECT_EQ(Box().document()->toRawText(),
            QString::fromStdU16String(dlg.Codec().Decode(bytes)).replace(QLatin1Char('\n'), QChar(0x2029)));
}

TEST_F(QtDataBox, AppendingToALongTextEditsOnlyItsEnd) {
  std::string bytes;
  while (bytes.size() < 2'000'000) bytes += "&1,2,3.456,\xB5\xC0\xC2\xB7\r\n";
  dlg.box.SetBytes(CString(bytes));
  const int shownBefore = Box().document()->characterCount();
  Watch();
  const std::string more(254, 'x');
  dlg.box.SetBytes(CString(bytes + more));
  EXPECT_GE(change.position, shownBefore - 4);
  EXPECT_LE(change.removed + change.added, 2 * 254 + 8);
  EXPECT_EQ(ShownBytes(), bytes + more);
}

TEST_F(QtDataBox, TypingMarksTheBoxEditedAndKeepsTheOtherBytes) {
  dlg.box.SetBytes(CString("\xB5\xC0\x81\rA\r\n\xFF" "B"));
  QTextCursor cursor = Box().textCursor();
  cursor.setPosition(3);  // after the road, the stand-in of 0x81 and that of the lone CR
  Box().setTextCursor(cursor);
  QTest::keyClicks(&Box(), QStringLiteral("z"));
  EXPECT_TRUE(dlg.box.IsEdited());
  EXPECT_EQ(dlg.box.Bytes().Bytes(), "\xB5\xC0\x81\rzA\r\n\xFF" "B");
  QTest::keyClick(&Box(), Qt::Key_Return);
  EXPECT_EQ(dlg.box.Bytes().Bytes(), "\xB5\xC0\x81\rz\r\nA\r\n\xFF" "B");
  // A line break inside a paragraph is a line break too.
  QTest::keyClick(&Box(), Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(dlg.box.Bytes().Bytes(), "\xB5\xC0\x81\rz\r\n\r\nA\r\n\xFF" "B");

  dlg.box.SetBytes(CString("new"));
  EXPECT_FALSE(dlg.box.IsEdited());
  EXPECT_EQ(ShownBytes(), "new");
}

TEST_F(QtDataBox, ARefreshAfterTypingStillEditsOnlyTheChange) {
  std::string bytes;
  for (int i = 0; i < 2000; ++i) bytes += "&" + std::to_string(i) + ",\xB5\xC0\r\n";
  dlg.box.SetBytes(CString(bytes));
  Box().moveCursor(QTextCursor::Start);
  QTest::keyClicks(&Box(), QStringLiteral("q"));
  const std::string typed = dlg.box.Bytes().Bytes();
  ASSERT_TRUE(typed == "q" + bytes);
  Watch();
  dlg.box.SetBytes(CString(typed + "&2000,1\r\n"));
  EXPECT_LE(change.removed + change.added, 16);
  EXPECT_FALSE(dlg.box.IsEdited());
  EXPECT_TRUE(ShownBytes() == typed + "&2000,1\r\n");
}

TEST_F(QtDataBox, UndoingTheEditIsNoEdit) {
  dlg.box.SetBytes(CString("abc"));
  QTest::keyClicks(&Box(), QStringLiteral("x"));
  ASSERT_TRUE(dlg.box.IsEdited());
  Box().undo();
  EXPECT_FALSE(dlg.box.IsEdited());
  EXPECT_EQ(dlg.box.Bytes().Bytes(), "abc");
}

TEST_F(QtDataBox, ARefreshIsNotUndoable) {
  dlg.box.SetBytes(CString("abc"));
  dlg.box.SetBytes(CString("abcdef"));
  Box().undo();
  EXPECT_FALSE(dlg.box.IsEdited());
  EXPECT_EQ(ShownBytes(), "abcdef");
}

}  // namespace
}  // namespace kestrion
