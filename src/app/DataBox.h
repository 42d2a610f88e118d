// A multi-line box that shows code page 936 bytes and gives them back byte for byte.
#pragma once

#include <QPlainTextEdit>
#include <string>

#include "text/CString.h"

namespace kestrion {

// Keeps the bytes it was last given and hands them back untouched while the operator has not edited the box.
// A new text is applied as the smallest edit (the head and tail it shares with the shown one are kept), so a
// refresh that appends to a long text costs what was appended.
class DataBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit DataBox(QWidget* parent = nullptr);

  // Shows `bytes`. When the operator edited the box since the last call, the whole text is replaced.
  void SetBytes(const CString& bytes);
  // The bytes the box shows: those last given while the operator has not edited it, else its encoded text.
  CString Bytes() const;
  // Bytes() into `field`, copying only when they differ from what the field holds.
  void CopyBytesTo(CString& field) const;
  // True when the operator changed the text since the last SetBytes (an undo back to it counts as unchanged).
  bool IsEdited() const;

 private:
  void ReplaceAll(const std::string& bytes);
  void ReplaceChanged(const std::string& bytes);

  std::string m_bytes;
  // The encoding of an edited text, kept until the document changes again.
  mutable int m_encodedRevision = -1;
  mutable std::string m_encoded;
};

}  // namespace kestrion
