// A byte string in code page 936 (GBK), with the string operations the transfer and file code rely on.
//
// Characters: a byte 0x81..0xFE followed by another byte is the lead byte of a two-byte character; every other
// byte is a character of its own. Every search, replacement, removal and trim steps through whole characters,
// so the second byte of a Chinese character (which may be '@', '^' or a letter) never matches on its own.
// A CString never holds a zero byte: text made from a buffer stops at the first zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Format checking of printf-style arguments. MinGW's C++ library formats with MinGW's own printf (C99, %zu),
// not the Windows runtime's, so it is checked as that.
#if defined(__MINGW32__)
#define KESTRION_PRINTF_FORMAT(string, first) __attribute__((format(gnu_printf, string, first)))
#elif defined(__GNUC__) || defined(__clang__)
#define KESTRION_PRINTF_FORMAT(string, first) __attribute__((format(printf, string, first)))
#else
#define KESTRION_PRINTF_FORMAT(string, first)
#endif

namespace kestrion {

class CString {
 public:
  CString() = default;
  CString(const char* text);  // NOLINT(google-explicit-constructor): used like a string literal
  CString(std::string_view bytes);  // NOLINT(google-explicit-constructor)
  CString(const std::string& bytes);  // NOLINT(google-explicit-constructor)
  CString(const CString&) = default;
  CString& operator=(const CString&) = default;
  // A moved-from string is empty and has no identity, so that it never shares one with the string it went to.
  CString(CString&& other) noexcept;
  CString& operator=(CString&& other) noexcept;
  ~CString() = default;
  // The bytes of a receive buffer up to its first zero byte (or all `size` when there is none).
  static CString FromBuffer(const char* buffer, std::size_t size);

  int GetLength() const { return static_cast<int>(m_bytes.size()); }
  bool IsEmpty() const { return m_bytes.empty(); }
  void Empty() {
    m_bytes.clear();
    m_nId = 0;
  }
  char GetAt(int index) const { return m_bytes[static_cast<std::size_t>(index)]; }
  char operator[](int index) const { return GetAt(index); }

  const std::string& Bytes() const { return m_bytes; }
  std::string_view View() const { return m_bytes; }
  const char* c_str() const { return m_bytes.c_str(); }

  CString& operator+=(const CString& other);
  CString& operator+=(const char* other);
  CString& operator+=(char ch);
  void Append(std::string_view bytes);  // appends up to the first zero byte
  void Reserve(int capacity) { m_bytes.reserve(static_cast<std::size_t>(capacity < 0 ? 0 : capacity)); }

  // Position of the first occurrence that begins at a character start at or after `start`, or -1.
  // An empty `sub` is never found. `start` is a byte offset; a start inside a character moves to the next one.
  int Find(const CString& sub, int start = 0) const;
  int Find(char ch, int start = 0) const;
  int ReverseFind(char ch) const;

  // Every occurrence from left to right, without overlap, in the whole text. Returns the count replaced.
  int Replace(const CString& oldText, const CString& newText);
  int Replace(char oldCh, const CString& newText);
  // The same for the occurrences that begin at a character start at or after `start` (moved to a character
  // start like Find's); the text before it is left as it is. Only the bytes from the first occurrence on are
  // rewritten, so a caller that knows where the occurrences can begin pays for that part alone.
  int Replace(const CString& oldText, const CString& newText, int start);
  int Replace(char oldCh, const CString& newText, int start);
  // Every occurrence of the one-byte character is removed. Returns the count removed.
  int Remove(char ch);

  CString& TrimLeft();
  CString& TrimRight();
  // Removes the whole trailing run of characters that are in `set` (one-byte characters).
  CString& TrimRight(const CString& set);
  CString& TrimRight(char ch);
  // The trailing CRs, then the trailing LFs: "x\r\n" keeps its CR, "x\n\r\r" loses its CRs and keeps its LF.
  // Every line-end trim of the transfer and file code is this one.
  CString& TrimCrsThenLfs();

  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;

  CString& MakeUpper();

  // printf-style formatting; the system only needs %d and %s.
  void Format(const char* format, ...) KESTRION_PRINTF_FORMAT(2, 3);

  // Start of the character that holds byte `pos` (0 <= pos <= length). Position `length` is a start.
  int CharStartAtOrBefore(int pos) const;
  // First character start at or after `pos`.
  int CharStartAtOrAfter(int pos) const;

  // An identity of the content: two strings with the same identity hold the same bytes, since a copy takes the
  // identity with the bytes and every change gives the changed string a new one when it is next asked. It lets a
  // window tell in constant time that a long text is still the one it shows.
  std::uint64_t ContentId() const;

  // Equal identities mean equal bytes: then no byte is compared.
  friend bool operator==(const CString& a, const CString& b) {
    return (a.m_nId != 0 && a.m_nId == b.m_nId) || a.m_bytes == b.m_bytes;
  }
  friend bool operator==(const CString& a, const char* b) { return a.m_bytes == b; }
  friend bool operator<(const CString& a, const CString& b) { return a.m_bytes < b.m_bytes; }

 private:
  void Changed() { m_nId = 0; }

  std::string m_bytes;
  mutable std::uint64_t m_nId = 0;  // 0: none given yet (ContentId gives one)
};

CString operator+(CString a, const CString& b);
CString operator+(CString a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(CString a, char b);

// True for the bytes 0x81..0xFE, which start a two-byte character when another byte follows.
constexpr bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
// White space: 0x09..0x0D and the blank. No byte of 0x80 and above.
constexpr bool IsWhiteSpace(unsigned char b) { return (b >= 0x09 && b <= 0x0D) || b == 0x20; }

}  // namespace kestrion
