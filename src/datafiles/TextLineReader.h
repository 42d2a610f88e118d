// Reads a data file line by line the way a text-mode read does: CR LF is one line end, a lone CR stays in its
// line, a byte 0x1A ends the file, a last line without a line end counts, and a line end at the very end
// makes no extra empty line. Lines may be of any length; their bytes come as they are (code page 936), except
// that zero bytes are dropped, since a CString cannot hold them and would otherwise lose the rest of the
// line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "text/CString.h"

namespace kestrion {

enum class ReadStatus {
  Line,   // a line was read
  End,    // the end of the file (or a 0x1A byte) was reached; no line
  Error,  // the system failed a read; Error() tells why
};

// Room for a text of `capacity` bytes that is about to be built from a file. Room of many megabytes comes in
// large pages where the system has them, since touching it one small page at a time costs more than the read.
void ReserveText(CString& text, int capacity);

class TextLineReader {
 public:
  static constexpr std::size_t kDefaultChunkSize = 64 * 1024;

  explicit TextLineReader(std::size_t chunkSize = kDefaultChunkSize);
  ~TextLineReader();
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

  // Opens the regular file `file` for reading. False, with Error() set, when it cannot be opened, and for
  // anything that is not a regular file, before a byte of it is read: a folder (EISDIR), a device, a FIFO or
  // a socket (ENXIO), which could block the caller or never end.
  bool Open(const std::filesystem::path& file);
  // Reads from a descriptor (a C runtime one on Windows) that the caller keeps owning, and closes after this
  // reader is done with it.
  void Attach(int fd);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }

  // The next line as read, without its line end (one CR before the LF belongs to the line end). After End or
  // Error every further call gives the same again.
  ReadStatus ReadLine(CString& line);

  // The size of a regular file, to size what is built from it; nothing for other kinds of file.
  std::optional<std::uint64_t> SizeHint() const;

  // errno of the failed open or read; 0 when nothing failed.
  int Error() const { return m_error; }

 private:
  enum class Fill { Data, End, Error };
  Fill FillBuffer();
  void Take(const char* from, const char* to);

  int m_fd = -1;
  bool m_owned = false;
  std::size_t m_chunkSize;
  std::unique_ptr<char[]> m_buffer;
  const char* m_pos = nullptr;
  const char* m_end = nullptr;
  bool m_chunkHasZero = false;
  bool m_lastChunk = false;  // a 0x1A byte ended the file inside the current chunk
  bool m_atEnd = false;
  bool m_failed = false;
  int m_error = 0;
  std::string m_line;  // kept between calls so that its room is reused
};

}  // namespace kestrion
