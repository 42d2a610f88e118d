// Counting the bytes of a byte stream that make no code page 936 character, read by read. A download at the wrong
// baud rate or parity is mostly such bytes; a good one has none.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/CString.h"

namespace kestrion {

// Whether `lead` `trail` is a two-byte character of code page 936: a lead byte 0x81..0xFE and a trail byte
// 0x40..0xFE other than 0x7F, outside the user-defined areas (AAA1..AFFE, F8A1..FEFE, A140..A7A0), which hold no
// character of the code page. The user-defined areas are where the high bytes of a line at the wrong baud rate
// (0xF8, 0xFE, 0xE0 ...) mostly fall.
constexpr bool IsCp936Pair(unsigned char lead, unsigned char trail) {
  if (!IsLeadByte(lead) || trail < 0x40 || trail > 0xFE || trail == 0x7F) return false;
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) return false;
  if (lead >= 0xF8 && trail >= 0xA1) return false;
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0) return false;
  return true;
}

class Cp936Check {
 public:
  // Counts the bytes of `bytes` that make no character, a pair cut over two reads counted as one. 0xFF, and a
  // lead byte whose next byte cannot follow it, make none; the next byte is then looked at afresh.
  void Scan(std::string_view bytes);
  std::uint64_t InvalidBytes() const { return m_nInvalid; }
  void Reset() { *this = Cp936Check{}; }

 private:
  std::uint64_t m_nInvalid = 0;
  int m_nPendingLead = -1;  // a lead byte at the end of the last read, waiting for its trail
};

}  // namespace kestrion
