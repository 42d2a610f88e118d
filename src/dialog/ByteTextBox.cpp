#include "dialog/ByteTextBox.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dialog/Dialog.h"

namespace kestrion {
namespace {

// memcmp on blocks first: the usual refresh shares megabytes with the text before it.
constexpr std::size_t kBlock = 4096;

std::size_t CommonHead(std::string_view a, std::string_view b, std::size_t from) {
  const std::size_t limit = std::min(a.size(), b.size());
  std::size_t same = std::min(from, limit);
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

}  // namespace

void CByteTextBox::Attach(const CDialog& owner, int id) {
  m_pOwner = &owner;
  m_nId = id;
}

bool CByteTextBox::IsEdited() const {
  return m_pOwner != nullptr && m_pOwner->View().GetModify(m_nId);
}

bool CByteTextBox::IsEmpty() const {
  return m_pOwner == nullptr || m_pOwner->View().GetTextLength(m_nId) == 0;
}

CString CByteTextBox::Bytes() const {
  if (!IsEdited()) return CString(m_bytes);
  return CString(m_pOwner->Codec().Encode(m_pOwner->View().GetText(m_nId)));
}

void CByteTextBox::CopyBytesTo(CString& field) const {
  if (IsEdited()) {
    field = Bytes();
    return;
  }
  if (m_nBytesId != 0 && field.ContentId() == m_nBytesId) return;
  if (field.Bytes() != m_bytes) field = CString(m_bytes);
  m_nBytesId = field.ContentId();
}

void CByteTextBox::SetBytes(const CString& bytes, const TextChange* change) {
  if (m_pOwner == nullptr) return;
  DialogView& view = m_pOwner->View();
  const DisplayCodec& codec = m_pOwner->Codec();
  const LineBreak lineBreak = view.TextLineBreak();
  if (IsEdited()) {
    // The operator's text is reused when it is one the codec produces, which typing nearly always leaves it;
    // replacing a long text outright costs far more than checking it.
    const std::u16string shown = view.GetText(m_nId);
    std::string encoded = codec.Encode(shown);
    if (codec.Decode(encoded, lineBreak) == shown) {
      m_bytes = std::move(encoded);
    } else {
      view.SetText(m_nId, codec.Decode(bytes.View(), lineBreak));
      m_bytes = bytes.Bytes();
    }
    m_nBytesId = 0;
    change = nullptr;
  }
  const bool known = change != nullptr && m_nBytesId != 0 && change->fromId == m_nBytesId &&
                     change->toId == bytes.ContentId();
  // The same identity is the same bytes; otherwise the edit finds what both share, and nothing when all is.
  if (known || m_nBytesId == 0 || bytes.ContentId() != m_nBytesId) ReplaceChanged(bytes, known ? change : nullptr);
  m_nBytesId = bytes.ContentId();
  view.SetModify(m_nId, false);
}

// old = head + oldMiddle + tail, new = head + newMiddle + tail, where head ends and tail starts at unit
// boundaries that both texts share; only the middle is decoded and one edit replaces it.
void CByteTextBox::ReplaceChanged(const CString& bytes, const TextChange* change) {
  DialogView& view = m_pOwner->View();
  const DisplayCodec& codec = m_pOwner->Codec();
  const LineBreak lineBreak = view.TextLineBreak();
  const std::string_view before = m_bytes;
  const std::string_view after = bytes.View();

  // A unit that starts before the last shared byte is decided by shared bytes only.
  const std::size_t known = change != nullptr ? static_cast<std::size_t>(std::max(0, change->unchangedBefore)) : 0;
  const std::size_t sharedHead = CommonHead(before, after, known);
  if (sharedHead == before.size() && sharedHead == after.size()) return;
  const std::size_t head = sharedHead == 0 ? 0 : codec.UnitStartAtOrBefore(before, sharedHead - 1);

  // The tail starts at a shared byte that always starts a unit, so no unit crosses it in either text.
  const std::size_t tailLimit = std::min(before.size(), after.size()) - head;
  const std::size_t sharedTail = CommonTail(before, after, tailLimit);
  std::size_t tail = sharedTail;  // length of the kept tail in bytes
  while (tail > 0 && !codec.AlwaysStartsUnit(static_cast<unsigned char>(before[before.size() - tail]))) --tail;
  const std::size_t beforeTailStart = before.size() - tail;
  const std::size_t afterTailStart = after.size() - tail;

  // Positions in the box, counted on the shorter side of the head.
  std::size_t headPos = 0;
  if (head <= before.size() / 2) {
    headPos = codec.ShownLength(before.substr(0, head), lineBreak);
  } else {
    headPos = view.GetTextLength(m_nId) - codec.ShownLength(before.substr(head), lineBreak);
  }
  const std::size_t oldMiddle = codec.ShownLength(before.substr(head, beforeTailStart - head), lineBreak);
  view.ReplaceText(m_nId, headPos, headPos + oldMiddle,
                   codec.Decode(after.substr(head, afterTailStart - head), lineBreak));

  // The kept bytes change in the middle only, so an append does not copy the whole text again.
  m_bytes.replace(head, beforeTailStart - head, after.substr(head, afterTailStart - head));
}

}  // namespace kestrion
