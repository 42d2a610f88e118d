#include "text/Cp936Check.h"

namespace kestrion {

void Cp936Check::Scan(std::string_view bytes) {
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (m_nPendingLead >= 0) {
      const auto lead = static_cast<unsigned char>(m_nPendingLead);
      m_nPendingLead = -1;
      if (IsCp936Pair(lead, b)) continue;
      ++m_nInvalid;  // the lead byte stands alone; this byte starts afresh
    }
    if (IsLeadByte(b)) {
      m_nPendingLead = b;
    } else if (b == 0xFF) {
      ++m_nInvalid;
    }
  }
}

}  // namespace kestrion
