#include "text/Decimal.h"

#include <climits>

namespace kestrion {

int DecimalValue(const CString& text) {
  const std::string& bytes = text.Bytes();
  std::size_t i = 0;
  while (i < bytes.size() && IsWhiteSpace(static_cast<unsigned char>(bytes[i]))) ++i;
  bool negative = false;
  if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) {
    negative = bytes[i] == '-';
    ++i;
  }
  // Accumulate towards the sign's side so that INT_MIN is reachable without overflow.
  long long value = 0;
  for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
    const int digit = bytes[i] - '0';
    value = value * 10 + (negative ? -digit : digit);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
  }
  return static_cast<int>(value);
}

}  // namespace kestrion
