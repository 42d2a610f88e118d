#include "dialog/Exchange.h"

#include "dialog/PathText.h"

namespace kestrion {
namespace {

char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

void DDX_Control(CDataExchange& dx, int id, CComboBox& combo) {
  if (!combo.IsAttached()) combo.Attach(*dx.m_pDlgWnd, id);
}

void DDX_Control(CDataExchange& dx, int id, CListBox& list) {
  if (!list.IsAttached()) list.Attach(*dx.m_pDlgWnd, id);
}

void DDX_Control(CDataExchange& dx, int id, CByteTextBox& box) {
  if (box.GetDlgCtrlID() == 0) box.Attach(*dx.m_pDlgWnd, id);
}

void DDX_Text(CDataExchange& dx, CByteTextBox& box, CString& field, const TextChange* change) {
  if (dx.m_bSaveAndValidate) {
    box.CopyBytesTo(field);
  } else {
    box.SetBytes(field, change);
  }
}

void DDX_PathText(CDataExchange& dx, int id, CString& field) {
  DialogView& view = dx.m_pDlgWnd->View();
  if (dx.m_bSaveAndValidate) {
    field = NameBytes(view.GetText(id));
    return;
  }
  // Setting the same text again would only move the operator's cursor to the end.
  const std::u16string shown = NameText(field);
  if (view.GetText(id) != shown) view.SetText(id, shown);
}

void DDX_CBString(CDataExchange& dx, CComboBox& combo, CString& field) {
  if (dx.m_bSaveAndValidate) {
    field = combo.GetItemBytes(combo.GetCurSel());
    return;
  }
  if (field.IsEmpty()) return;
  for (int i = 0; i < combo.GetCount(); ++i) {
    if (BeginsWithIgnoringCase(combo.GetItemBytes(i), field)) {
      combo.SetCurSel(i);
      return;
    }
  }
}

void DDX_Radio(CDataExchange& dx, std::span<const int> group, int& field) {
  DialogView& view = dx.m_pDlgWnd->View();
  if (dx.m_bSaveAndValidate) {
    field = -1;
    for (std::size_t i = 0; i < group.size(); ++i) {
      if (view.IsButtonChecked(group[i])) {
        field = static_cast<int>(i);
        return;
      }
    }
    return;
  }
  for (std::size_t i = 0; i < group.size(); ++i) view.CheckButton(group[i], static_cast<int>(i) == field);
}

bool BeginsWithIgnoringCase(const CString& text, const CString& prefix) {
  if (prefix.GetLength() > text.GetLength()) return false;
  for (int pos = 0; pos < prefix.GetLength();) {
    const bool twoBytes = IsLeadByte(static_cast<unsigned char>(prefix[pos])) && pos + 1 < prefix.GetLength();
    if (twoBytes) {
      // The text's character here must be the same pair, not a lead byte whose trail merely agrees.
      if (prefix[pos] != text[pos] || prefix[pos + 1] != text[pos + 1]) return false;
      pos += 2;
    } else {
      if (IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.GetLength()) return false;
      if (FoldCase(prefix[pos]) != FoldCase(text[pos])) return false;
      pos += 1;
    }
  }
  return true;
}

}  // namespace kestrion
