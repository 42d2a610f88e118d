#include "datafiles/TextLineReader.h"

#include <cstring>
#include <string_view>

#include "datafiles/TextFile.h"

namespace kestrion {
namespace {

constexpr char kCtrlZ = '\x1A';
constexpr int kLargeText = 4 << 20;  // below this, large pages would hardly be used

}  // namespace

void ReserveText(CString& text, int capacity) {
  text.Reserve(capacity);
  if (capacity >= kLargeText) text_file::PreferLargePages(text.c_str(), static_cast<std::size_t>(capacity));
}

TextLineReader::TextLineReader(std::size_t chunkSize)
    : m_chunkSize(chunkSize == 0 ? 1 : chunkSize), m_buffer(std::make_unique_for_overwrite<char[]>(m_chunkSize)) {}

TextLineReader::~TextLineReader() {
  Close();
}

bool TextLineReader::Open(const std::filesystem::path& file) {
  Close();
  const int fd = text_file::OpenForReading(file, m_error);
  if (fd < 0) return false;
  m_fd = fd;
  m_owned = true;
  return true;
}

void TextLineReader::Attach(int fd) {
  Close();
  m_fd = fd;
  m_owned = false;
}

void TextLineReader::Close() {
  if (m_fd >= 0 && m_owned) text_file::CloseFile(m_fd);
  m_fd = -1;
  m_owned = false;
  m_pos = m_end = nullptr;
  m_chunkHasZero = m_lastChunk = m_atEnd = m_failed = false;
  m_error = 0;
  m_line.clear();
}

std::optional<std::uint64_t> TextLineReader::SizeHint() const {
  if (m_fd < 0) return std::nullopt;
  return text_file::RegularFileSize(m_fd);
}

TextLineReader::Fill TextLineReader::FillBuffer() {
  if (m_lastChunk || m_fd < 0) return Fill::End;
  const std::ptrdiff_t got = text_file::ReadSome(m_fd, m_buffer.get(), m_chunkSize, m_error);
  if (got < 0) return Fill::Error;
  if (got == 0) return Fill::End;
  m_pos = m_buffer.get();
  m_end = m_pos + got;
  // Text mode ends the file at the first 0x1A byte; whatever follows is never seen.
  if (const void* ctrlZ = std::memchr(m_pos, kCtrlZ, static_cast<std::size_t>(got)); ctrlZ != nullptr) {
    m_end = static_cast<const char*>(ctrlZ);
    m_lastChunk = true;
  }
  m_chunkHasZero = std::memchr(m_pos, '\0', static_cast<std::size_t>(m_end - m_pos)) != nullptr;
  return Fill::Data;
}

void TextLineReader::Take(const char* from, const char* to) {
  if (!m_chunkHasZero) {
    m_line.append(from, to);
    return;
  }
  for (const char* p = from; p != to; ++p) {
    if (*p != '\0') m_line.push_back(*p);
  }
}

ReadStatus TextLineReader::ReadLine(CString& line) {
  if (m_failed) return ReadStatus::Error;
  if (m_atEnd) return ReadStatus::End;
  // Most lines lie whole inside the buffer: hand them out without gathering them first.
  if (m_pos != m_end && !m_chunkHasZero) {
    const std::size_t left = static_cast<std::size_t>(m_end - m_pos);
    if (const auto* newline = static_cast<const char*>(std::memchr(m_pos, '\n', left)); newline != nullptr) {
      std::string_view text(m_pos, static_cast<std::size_t>(newline - m_pos));
      if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
      m_pos = newline + 1;
      line.Empty();  // keeps its room for the next line
      line.Append(text);
      return ReadStatus::Line;
    }
  }
  m_line.clear();
  bool started = false;  // a byte of this line was read, even if it was dropped
  for (;;) {
    if (m_pos == m_end) {
      const Fill fill = FillBuffer();
      if (fill == Fill::Error) {
        m_failed = true;  // a partly read line is not handed out
        return ReadStatus::Error;
      }
      if (fill == Fill::End) {
        m_atEnd = true;
        if (!started) return ReadStatus::End;
        break;
      }
      if (m_pos == m_end) continue;  // the chunk began with 0x1A
    }
    started = true;
    const auto* newline =
        static_cast<const char*>(std::memchr(m_pos, '\n', static_cast<std::size_t>(m_end - m_pos)));
    if (newline == nullptr) {
      Take(m_pos, m_end);
      m_pos = m_end;
      continue;
    }
    Take(m_pos, newline);
    m_pos = newline + 1;
    // CR LF is one line end; the CR may have come in the previous chunk.
    if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
    break;
  }
  line.Empty();  // keeps its room for the next line
  line.Append(m_line);
  return ReadStatus::Line;
}

}  // namespace kestrion
