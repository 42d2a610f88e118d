// Handles of a dialog's combo boxes and list boxes, as the data exchange attaches them. A combo box entry keeps
// its bytes beside the text the window shows, so that what the exchange hands over is byte for byte what was
// added, whatever the window's text can hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/CString.h"

namespace kestrion {

class CDialog;

class CComboBox {
 public:
  void Attach(const CDialog& owner, int id);
  bool IsAttached() const { return m_pOwner != nullptr; }
  int GetDlgCtrlID() const { return m_nId; }

  // Appends an entry; returns its index.
  int AddString(const CString& bytes, std::u16string_view shown);
  void ResetContent();
  int GetCount() const { return static_cast<int>(m_arrBytes.size()); }
  // -1 when nothing is selected.
  int GetCurSel() const;
  void SetCurSel(int index);
  // The bytes of entry `index`; empty for an index out of range.
  CString GetItemBytes(int index) const;
  std::u16string GetLBText(int index) const;

 private:
  const CDialog* m_pOwner = nullptr;
  int m_nId = 0;
  std::vector<CString> m_arrBytes;
};

class CListBox {
 public:
  void Attach(const CDialog& owner, int id);
  bool IsAttached() const { return m_pOwner != nullptr; }
  int GetDlgCtrlID() const { return m_nId; }

  int AddString(std::u16string_view text);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  void SetCurSel(int index);
  std::u16string GetText(int index) const;

 private:
  const CDialog* m_pOwner = nullptr;
  int m_nId = 0;
};

}  // namespace kestrion
