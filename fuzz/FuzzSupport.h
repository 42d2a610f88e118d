// Shared by the fuzz targets: a failed check that the fuzzer reports as a crash, a reader that takes the parts of
// an input one after the other, and plain reference versions of the text rules.
//
// The references walk the text from its front one character at a time, the slow and obvious way, and share no
// code with the library: a byte 0x81..0xFE followed by another byte starts a two-byte character, every other byte
// is a character of its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzzing {

inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The parts of one fuzz input, taken from the front; an exhausted input gives zeros and empty texts.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : m_rest(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return m_rest.empty(); }
  std::size_t Size() const { return m_rest.size(); }

  std::uint8_t Byte() {
    if (m_rest.empty()) return 0;
    const auto byte = static_cast<std::uint8_t>(m_rest.front());
    m_rest.remove_prefix(1);
    return byte;
  }

  std::string_view Bytes(std::size_t count) {
    const std::string_view taken = m_rest.substr(0, count);
    m_rest.remove_prefix(taken.size());
    return taken;
  }

  std::string_view Rest() { return Bytes(m_rest.size()); }

 private:
  std::string_view m_rest;
};

// The bytes without their zero bytes: what a text of the library can hold of them.
inline std::string WithoutZeros(std::string_view bytes) {
  std::string text(bytes);
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

namespace ref {

inline bool IsLead(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  return b >= 0x81 && b <= 0xFE;
}

inline bool IsSpace(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  return (b >= 0x09 && b <= 0x0D) || b == 0x20;
}

// starts[i] tells whether a character begins at byte i; starts[size] is true.
inline std::vector<bool> Starts(std::string_view s) {
  std::vector<bool> starts(s.size() + 1, false);
  for (std::size_t i = 0; i < s.size();) {
    starts[i] = true;
    i += (IsLead(s[i]) && i + 1 < s.size()) ? 2 : 1;
  }
  starts[s.size()] = true;
  return starts;
}

// The characters of a text, in order.
inline std::vector<std::string_view> Characters(std::string_view s) {
  std::vector<std::string_view> chars;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t length = (IsLead(s[i]) && i + 1 < s.size()) ? 2 : 1;
    chars.push_back(s.substr(i, length));
    i += length;
  }
  return chars;
}

// The first character start at or after `pos` (pos <= 0 gives 0).
inline std::size_t StartAtOrAfter(const std::vector<bool>& starts, long pos) {
  if (pos <= 0) return 0;
  auto i = static_cast<std::size_t>(pos);
  while (!starts[i]) ++i;
  return i;
}

// An occurrence of `needle`: its bytes, beginning at a character start and ending at one, so that no character
// of the text is cut by it. Occurrences are taken from the left without overlap, from the character start at or
// after `from` on.
inline std::vector<std::size_t> Occurrences(std::string_view s, std::string_view needle, long from = 0) {
  std::vector<std::size_t> found;
  if (needle.empty() || from > static_cast<long>(s.size())) return found;
  const std::vector<bool> starts = Starts(s);
  for (std::size_t i = StartAtOrAfter(starts, from); i + needle.size() <= s.size();) {
    if (starts[i] && starts[i + needle.size()] && s.compare(i, needle.size(), needle) == 0) {
      found.push_back(i);
      i += needle.size();
    } else {
      ++i;
    }
  }
  return found;
}

inline long Find(std::string_view s, std::string_view needle, long from = 0) {
  const std::vector<std::size_t> found = Occurrences(s, needle, from);
  return found.empty() ? -1 : static_cast<long>(found.front());
}

inline long ReverseFind(std::string_view s, char ch) {
  const std::vector<std::size_t> found = Occurrences(s, std::string_view(&ch, 1));
  return found.empty() ? -1 : static_cast<long>(found.back());
}

inline long Count(std::string_view s, std::string_view needle) {
  return static_cast<long>(Occurrences(s, needle).size());
}

// Every occurrence from `from` on replaced; the count replaced.
inline std::pair<std::string, long> Replace(std::string_view s, std::string_view oldText, std::string_view newText,
                                            long from = 0) {
  const std::vector<std::size_t> found = Occurrences(s, oldText, from);
  std::string out;
  std::size_t copied = 0;
  for (const std::size_t at : found) {
    out.append(s.substr(copied, at - copied));
    out.append(newText);
    copied = at + oldText.size();
  }
  out.append(s.substr(copied));
  return {out, static_cast<long>(found.size())};
}

inline std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  return std::string(s.substr(i));
}

// The trailing run of one-byte characters for which `inRun(byte)` holds, removed.
template <typename InRun>
std::string TrimRightWhile(std::string_view s, InRun inRun) {
  std::vector<std::string_view> chars = Characters(s);
  std::size_t end = s.size();
  while (!chars.empty() && chars.back().size() == 1 && inRun(chars.back()[0])) {
    end -= 1;
    chars.pop_back();
  }
  return std::string(s.substr(0, end));
}

inline std::string TrimRight(std::string_view s) { return TrimRightWhile(s, IsSpace); }

inline std::string TrimRight(std::string_view s, std::string_view set) {
  return TrimRightWhile(s, [set](char b) { return set.find(b) != std::string_view::npos; });
}

inline std::string TrimRight(std::string_view s, char ch) {
  return TrimRightWhile(s, [ch](char b) { return b == ch; });
}

// The line splitter: leading white space, then the trailing CRs, then the trailing LFs go; the pieces between
// delimiters that are not empty remain.
inline std::vector<std::string> Split(std::string_view s, char delimiter) {
  std::vector<std::string> pieces;
  if (s.empty()) return pieces;
  const std::string text = TrimRight(TrimRight(TrimLeft(s), '\r'), '\n');
  std::size_t begin = 0;
  std::vector<std::size_t> cuts = Occurrences(text, std::string_view(&delimiter, 1));
  cuts.push_back(text.size());
  for (const std::size_t cut : cuts) {
    if (cut > begin) pieces.push_back(text.substr(begin, cut - begin));
    begin = cut + 1;
  }
  return pieces;
}

}  // namespace ref
}  // namespace fuzzing
