#include "app/DataBox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstring>

#include "app/DisplayCodec.h"

namespace kestrion {
namespace {

// memcmp on blocks first: the usual refresh shares megabytes with the text before it.
constexpr std::size_t kBlock = 4096;

std::size_t CommonHead(std::string_view a, std::string_view b) {
  const std::size_t limit = std::min(a.size(), b.size());
  std::size_t same = 0;
  while (same + kBlock <= limit && std::memcmp(a.data() + same, b.data() + same, kBlock) == 0) same += kBlock;
  while (same < limit && a[same] == b[same]) ++same;
  return same;
}

std::size_t CommonTail(std::string_view a, std::string_view b, std::size_t limit) {
  std::size_t same = 0;
  while (same + kBlock <= limit &&
         std::memcmp(a.data() + a.size() - same - kBlock, b.data() + b.size() - same - kBlock, kBlock) == 0) {
    same += kBlock;
  }
  while (same < limit && a[a.size() - same - 1] == b[b.size() - same - 1]) ++same;
  return same;
}

// The document's raw text separates its blocks by U+2029 where a decoded text has '\n'.
bool ShowsExactly(QStringView raw, QStringView decoded) {
  if (raw.size() != decoded.size()) return false;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const char16_t shown = raw[i].unicode();
    const char16_t wanted = decoded[i].unicode();
    if (shown != wanted && !(shown == 0x2029 && wanted == u'\n')) return false;
  }
  return true;
}

}  // namespace

DataBox::DataBox(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  // Otherwise every change of a shown box lays out the blocks at its end to size the scroll bar, and a block
  // keeps its layout for good: a download of short records would hold one per record, more than its text.
  // This way the scroll range counts lines, so the last line can also be scrolled to the top.
  setCenterOnScroll(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(false);
}

bool DataBox::IsEdited() const {
  return document()->isModified();
}

void DataBox::CopyBytesTo(CString& field) const {
  if (IsEdited() || field.Bytes() != m_bytes) field = Bytes();
}

CString DataBox::Bytes() const {
  if (!IsEdited()) return CString(m_bytes);
  if (m_encodedRevision != document()->revision()) {
    m_encoded = DisplayCodec::Instance().Encode(document()->toRawText());
    m_encodedRevision = document()->revision();
  }
  return CString(m_encoded);
}

void DataBox::SetBytes(const CString& bytes) {
  const std::string& next = bytes.Bytes();
  if (IsEdited()) {
    // The operator's text is reused when it is one the codec produces, which typing nearly always leaves it;
    // replacing a long text outright costs far more than checking it.
    std::string shown = Bytes().Bytes();
    const QString raw = document()->toRawText();
    if (ShowsExactly(raw, DisplayCodec::Instance().Decode(shown))) {
      m_bytes = std::move(shown);
      document()->setModified(false);
    } else {
      ReplaceAll(next);
      m_bytes = next;
    }
  }
  if (next != m_bytes) ReplaceChanged(next);
  m_encodedRevision = -1;
  m_encoded.clear();
  document()->setModified(false);
}

void DataBox::ReplaceAll(const std::string& bytes) {
  // The operator's text need not be one the codec produces, so nothing of it is reused.
  setPlainText(DisplayCodec::Instance().Decode(bytes));
}

// old = head + oldMiddle + tail, new = head + newMiddle + tail, where head ends and tail starts at unit
// boundaries that both texts share; only the middle is decoded and one cursor edit replaces it.
void DataBox::ReplaceChanged(const std::string& bytes) {
  const DisplayCodec& codec = DisplayCodec::Instance();
  const std::string_view before = m_bytes;
  const std::string_view after = bytes;

  // A unit that starts before the last shared byte is decided by shared bytes only.
  const std::size_t sharedHead = CommonHead(before, after);
  const std::size_t head = sharedHead == 0 ? 0 : codec.UnitStartAtOrBefore(before, sharedHead - 1);

  // The tail starts at a shared byte that always starts a unit, so no unit crosses it in either text.
  const std::size_t tailLimit = std::min(before.size(), after.size()) - head;
  const std::size_t sharedTail = CommonTail(before, after, tailLimit);
  std::size_t tail = sharedTail;  // length of the kept tail in bytes
  while (tail > 0 && !codec.AlwaysStartsUnit(static_cast<unsigned char>(before[before.size() - tail])))
    --tail;
  const std::size_t beforeTailStart = before.size() - tail;
  const std::size_t afterTailStart = after.size() - tail;

  // Positions in the document: one position per unit. Count on the shorter side of the head.
  const auto shownUnits = static_cast<std::size_t>(document()->characterCount() - 1);
  std::size_t headPos = 0;
  if (head <= before.size() / 2) {
    headPos = codec.CountUnits(before.substr(0, head));
  } else {
    headPos = shownUnits - codec.CountUnits(before.substr(head));
  }
  const std::size_t oldMiddleUnits = codec.CountUnits(before.substr(head, beforeTailStart - head));

  const QString middle = codec.Decode(after.substr(head, afterTailStart - head));

  const bool undo = document()->isUndoRedoEnabled();
  document()->setUndoRedoEnabled(false);
  QTextCursor cursor(document());
  cursor.setPosition(static_cast<int>(headPos));
  cursor.setPosition(static_cast<int>(headPos + oldMiddleUnits), QTextCursor::KeepAnchor);
  if (middle.isEmpty()) {
    cursor.removeSelectedText();
  } else {
    cursor.insertText(middle);
  }
  document()->setUndoRedoEnabled(undo);

  // The kept bytes change in the middle only, so an append does not copy the whole text again.
  m_bytes.replace(head, beforeTailStart - head, after.substr(head, afterTailStart - head));
}

}  // namespace kestrion
