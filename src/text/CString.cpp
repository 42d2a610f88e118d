#include "text/CString.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kestrion {
namespace {

std::string_view UpToZero(std::string_view bytes) {
  const auto zero = bytes.find('\0');
  return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

unsigned char ByteAt(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

std::size_t CharLength(const std::string& s, std::size_t i) {
  return (IsLeadByte(ByteAt(s, i)) && i + 1 < s.size()) ? 2 : 1;
}

// Start of the character holding byte `pos`, given a character start `known` at or before `pos`.
// A byte outside 0x81..0xFE can never be a lead byte, so a character always ends with it; scanning back to
// the nearest such byte finds a start without walking the text from the front.
std::size_t StartAtOrBefore(const std::string& s, std::size_t pos, std::size_t known) {
  if (pos >= s.size()) return s.size();
  std::size_t k = pos;
  while (k > known && IsLeadByte(ByteAt(s, k - 1))) --k;
  std::size_t i = k;
  for (;;) {
    const std::size_t next = i + CharLength(s, i);
    if (next > pos) return i;
    i = next;
  }
}

// Walks the matches of `needle` that begin at character starts, from the character start `from` on.
// `onMatch(pos)` returns false to stop.
template <typename OnMatch>
void ForEachMatch(const std::string& s, std::string_view needle, std::size_t from, OnMatch onMatch) {
  if (needle.empty()) return;
  std::size_t start = from;  // always a character start
  for (;;) {
    const std::size_t candidate = s.find(needle, start);
    if (candidate == std::string::npos) return;
    const std::size_t charStart = StartAtOrBefore(s, candidate, start);
    if (charStart == candidate) {
      const std::size_t end = candidate + needle.size();
      // A match must end on whole characters too: a needle whose last byte is a lead byte would otherwise
      // take half of the text's next character.
      if (StartAtOrBefore(s, end, candidate) != end) {
        start = candidate + CharLength(s, candidate);
        continue;
      }
      if (!onMatch(candidate)) return;
      start = end;
    } else {
      start = charStart + 2;  // the candidate was the second byte of a two-byte character
    }
  }
}

}  // namespace

CString::CString(const char* text) : m_bytes(text == nullptr ? "" : text) {}
CString::CString(std::string_view bytes) : m_bytes(UpToZero(bytes)) {}
CString::CString(const std::string& bytes) : m_bytes(UpToZero(bytes)) {}

CString::CString(CString&& other) noexcept : m_bytes(std::move(other.m_bytes)), m_nId(other.m_nId) {
  other.m_bytes.clear();
  other.m_nId = 0;
}

CString& CString::operator=(CString&& other) noexcept {
  if (this != &other) {
    m_bytes = std::move(other.m_bytes);
    m_nId = other.m_nId;
    other.m_bytes.clear();
    other.m_nId = 0;
  }
  return *this;
}

std::uint64_t CString::ContentId() const {
  static std::atomic<std::uint64_t> next{1};
  if (m_nId == 0) m_nId = next.fetch_add(1, std::memory_order_relaxed);
  return m_nId;
}

CString CString::FromBuffer(const char* buffer, std::size_t size) {
  return CString(std::string_view(buffer, size));
}

CString& CString::operator+=(const CString& other) {
  Changed();
  m_bytes += other.m_bytes;
  return *this;
}

CString& CString::operator+=(const char* other) {
  Changed();
  if (other != nullptr) m_bytes += other;
  return *this;
}

CString& CString::operator+=(char ch) {
  Changed();
  if (ch != '\0') m_bytes += ch;
  return *this;
}

void CString::Append(std::string_view bytes) {
  Changed();
  m_bytes += UpToZero(bytes);
}

int CString::CharStartAtOrBefore(int pos) const {
  if (pos <= 0) return 0;
  return static_cast<int>(StartAtOrBefore(m_bytes, static_cast<std::size_t>(pos), 0));
}

int CString::CharStartAtOrAfter(int pos) const {
  if (pos <= 0) return 0;
  if (pos >= GetLength()) return GetLength();
  const int start = CharStartAtOrBefore(pos);
  return start == pos ? pos : start + 2;
}

int CString::Find(const CString& sub, int start) const {
  if (start > GetLength()) return -1;
  int found = -1;
  ForEachMatch(m_bytes, sub.m_bytes, static_cast<std::size_t>(CharStartAtOrAfter(start)), [&](std::size_t pos) {
    found = static_cast<int>(pos);
    return false;
  });
  return found;
}

int CString::Find(char ch, int start) const { return Find(CString(std::string_view(&ch, 1)), start); }

int CString::ReverseFind(char ch) const {
  if (ch == '\0') return -1;
  std::size_t end = m_bytes.size();
  while (end > 0) {
    const std::size_t pos = m_bytes.rfind(ch, end - 1);
    if (pos == std::string::npos) return -1;
    if (StartAtOrBefore(m_bytes, pos, 0) == pos && CharLength(m_bytes, pos) == 1) return static_cast<int>(pos);
    end = pos;
  }
  return -1;
}

int CString::Replace(const CString& oldText, const CString& newText) { return Replace(oldText, newText, 0); }

int CString::Replace(char oldCh, const CString& newText) { return Replace(oldCh, newText, 0); }

int CString::Replace(const CString& oldText, const CString& newText, int start) {
  if (start > GetLength()) return 0;
  std::vector<std::size_t> matches;
  ForEachMatch(m_bytes, oldText.m_bytes, static_cast<std::size_t>(CharStartAtOrAfter(start)), [&](std::size_t pos) {
    matches.push_back(pos);
    return true;
  });
  if (matches.empty()) return 0;
  Changed();
  // The part before the first match stays where it is; only the rest is rebuilt.
  const std::size_t first = matches.front();
  const std::size_t oldSize = oldText.m_bytes.size();
  std::string tail;
  tail.reserve(m_bytes.size() - first + matches.size() * newText.m_bytes.size());
  std::size_t copied = first;
  for (const std::size_t pos : matches) {
    tail.append(m_bytes, copied, pos - copied);
    tail += newText.m_bytes;
    copied = pos + oldSize;
  }
  tail.append(m_bytes, copied, std::string::npos);
  m_bytes.resize(first);
  m_bytes += tail;
  return static_cast<int>(matches.size());
}

int CString::Replace(char oldCh, const CString& newText, int start) {
  return Replace(CString(std::string_view(&oldCh, 1)), newText, start);
}

int CString::Remove(char ch) { return Replace(ch, CString()); }

CString& CString::TrimLeft() {
  std::size_t i = 0;
  while (i < m_bytes.size() && IsWhiteSpace(ByteAt(m_bytes, i))) ++i;  // white space is never a lead byte
  Changed();
  m_bytes.erase(0, i);
  return *this;
}

namespace {
template <typename InSet>
void TrimRightWhile(std::string& s, InSet inSet) {
  std::size_t end = s.size();
  while (end > 0) {
    const std::size_t start = StartAtOrBefore(s, end - 1, 0);
    if (end - start != 1 || !inSet(ByteAt(s, start))) break;
    end = start;
  }
  s.resize(end);
}
}  // namespace

CString& CString::TrimRight() {
  Changed();
  TrimRightWhile(m_bytes, [](unsigned char b) { return IsWhiteSpace(b); });
  return *this;
}

CString& CString::TrimRight(const CString& set) {
  Changed();
  TrimRightWhile(m_bytes, [&set](unsigned char b) { return set.m_bytes.find(static_cast<char>(b)) != std::string::npos; });
  return *this;
}

CString& CString::TrimRight(char ch) {
  Changed();
  TrimRightWhile(m_bytes, [ch](unsigned char b) { return b == static_cast<unsigned char>(ch); });
  return *this;
}

CString& CString::TrimCrsThenLfs() {
  TrimRight('\r');
  return TrimRight('\n');
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
  const int n = std::clamp(count, 0, GetLength());
  return Mid(GetLength() - n, n);
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  const int from = std::clamp(first, 0, GetLength());
  const int n = std::clamp(count, 0, GetLength() - from);
  CString result;
  result.m_bytes.assign(m_bytes, static_cast<std::size_t>(from), static_cast<std::size_t>(n));
  return result;
}

CString& CString::MakeUpper() {
  Changed();
  for (std::size_t i = 0; i < m_bytes.size(); i += CharLength(m_bytes, i)) {
    const unsigned char b = ByteAt(m_bytes, i);
    if (b >= 'a' && b <= 'z' && CharLength(m_bytes, i) == 1) m_bytes[i] = static_cast<char>(b - 'a' + 'A');
  }
  return *this;
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(needed));
  }
  va_end(args);
  Changed();
  m_bytes = std::string(UpToZero(out));
}

CString operator+(CString a, const CString& b) { return a += b; }
CString operator+(CString a, const char* b) { return a += b; }
CString operator+(const char* a, const CString& b) { return CString(a) += b; }
CString operator+(CString a, char b) { return a += b; }

}  // namespace kestrion
