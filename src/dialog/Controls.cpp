#include "dialog/Controls.h"

#include "dialog/Dialog.h"

namespace kestrion {

void CComboBox::Attach(const CDialog& owner, int id) {
  m_pOwner = &owner;
  m_nId = id;
}

int CComboBox::AddString(const CString& bytes, std::u16string_view shown) {
  m_arrBytes.push_back(bytes);
  if (m_pOwner != nullptr) m_pOwner->View().AddString(m_nId, shown);
  return GetCount() - 1;
}

void CComboBox::ResetContent() {
  m_arrBytes.clear();
  if (m_pOwner != nullptr) m_pOwner->View().ResetContent(m_nId);
}

int CComboBox::GetCurSel() const {
  if (m_pOwner == nullptr) return -1;
  const int selected = m_pOwner->View().GetCurSel(m_nId);
  return selected < GetCount() ? selected : -1;
}

void CComboBox::SetCurSel(int index) {
  if (m_pOwner != nullptr) m_pOwner->View().SetCurSel(m_nId, index >= 0 && index < GetCount() ? index : -1);
}

CString CComboBox::GetItemBytes(int index) const {
  if (index < 0 || index >= GetCount()) return CString();
  return m_arrBytes[static_cast<std::size_t>(index)];
}

std::u16string CComboBox::GetLBText(int index) const {
  if (m_pOwner == nullptr || index < 0 || index >= GetCount()) return {};
  return m_pOwner->View().GetItemText(m_nId, index);
}

void CListBox::Attach(const CDialog& owner, int id) {
  m_pOwner = &owner;
  m_nId = id;
}

int CListBox::AddString(std::u16string_view text) {
  if (m_pOwner == nullptr) return -1;
  m_pOwner->View().AddString(m_nId, text);
  return GetCount() - 1;
}

void CListBox::ResetContent() {
  if (m_pOwner != nullptr) m_pOwner->View().ResetContent(m_nId);
}

int CListBox::GetCount() const {
  return m_pOwner != nullptr ? m_pOwner->View().GetCount(m_nId) : 0;
}

int CListBox::GetCurSel() const {
  return m_pOwner != nullptr ? m_pOwner->View().GetCurSel(m_nId) : -1;
}

void CListBox::SetCurSel(int index) {
  if (m_pOwner != nullptr) m_pOwner->View().SetCurSel(m_nId, index);
}

std::u16string CListBox::GetText(int index) const {
  return m_pOwner != nullptr ? m_pOwner->View().GetItemText(m_nId, index) : std::u16string();
}

}  // namespace kestrion
