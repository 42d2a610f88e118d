// Ordered lists of strings and of unsigned integers, as the transfer and file code use them.
#pragma once

#include <vector>

#include "text/CString.h"

namespace kestrion {

template <typename T>
class CArrayOf {
 public:
  int Add(const T& value) {
    m_items.push_back(value);
    return GetSize() - 1;
  }
  int GetSize() const { return static_cast<int>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  const T& GetAt(int index) const { return m_items.at(static_cast<std::size_t>(index)); }
  T& ElementAt(int index) { return m_items.at(static_cast<std::size_t>(index)); }
  void SetAt(int index, const T& value) { ElementAt(index) = value; }
  const T& operator[](int index) const { return GetAt(index); }
  T& operator[](int index) { return ElementAt(index); }
  void RemoveAll() { m_items.clear(); }
  void RemoveAt(int index) { m_items.erase(m_items.begin() + index); }

  auto begin() const { return m_items.begin(); }
  auto end() const { return m_items.end(); }
  friend bool operator==(const CArrayOf& a, const CArrayOf& b) { return a.m_items == b.m_items; }

 private:
  std::vector<T> m_items;
};

using CStringArray = CArrayOf<CString>;
using CUIntArray = CArrayOf<unsigned int>;

}  // namespace kestrion
