// A multi-line edit that shows code page 936 bytes and gives them back byte for byte.
#pragma once

#include <cstdint>
#include <string>

#include "text/CString.h"

namespace kestrion {

class CDialog;

// What a dialog knows about a change it made to a text: the text with identity `toId` is the one with identity
// `fromId` with its first `unchangedBefore` bytes left as they were. It spares the box a search for the part
// that both share.
struct TextChange {
  std::uint64_t fromId = 0;
  std::uint64_t toId = 0;
  int unchangedBefore = 0;
};

// Keeps the bytes it was last given and hands them back untouched while the operator has not edited the box.
// A new text is applied as the smallest edit (the head and tail it shares with the shown one are kept), so a
// refresh that appends to a long text costs what was appended.
class CByteTextBox {
 public:
  void Attach(const CDialog& owner, int id);
  int GetDlgCtrlID() const { return m_nId; }

  // Shows `bytes`. When the operator edited the box since the last call, the whole text is replaced unless it
  // is the very one the bytes show. `change`, when it describes the step from the shown bytes to `bytes`, is
  // taken on trust for the part it says is unchanged.
  void SetBytes(const CString& bytes, const TextChange* change = nullptr);
  // The bytes the box shows: those last given while the operator has not edited it, else its encoded text.
  CString Bytes() const;
  // Bytes() into `field`; nothing is copied while the field already holds them.
  void CopyBytesTo(CString& field) const;
  // True when the operator changed the text since the last SetBytes.
  bool IsEdited() const;
  bool IsEmpty() const;

 private:
  void ReplaceChanged(const CString& bytes, const TextChange* change);

  const CDialog* m_pOwner = nullptr;
  int m_nId = 0;
  std::string m_bytes;
  // The identity of a string known to hold m_bytes, 0 for none.
  mutable std::uint64_t m_nBytesId = 0;
};

}  // namespace kestrion
