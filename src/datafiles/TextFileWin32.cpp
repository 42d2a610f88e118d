#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>

#include "datafiles/TextFile.h"

namespace kestrion::text_file {

// The C runtime's descriptors in binary mode: no CR LF translation and no end at 0x1A, which the reader does
// itself, and errno set from the system's error as on POSIX.
int OpenForReading(const std::filesystem::path& file, int& error) {
  const int fd = ::_wopen(file.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL);
  if (fd >= 0) return fd;
  error = errno;
  // Windows refuses to open a folder as a file with "access denied"; say what it is instead.
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (error == EACCES && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = EISDIR;
  }
  return -1;
}

std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size, int& error) {
  const unsigned int count = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<unsigned int>(size);
  const int got = ::_read(fd, buffer, count);
  if (got < 0) error = errno;
  return got;
}

void CloseFile(int fd) {
  ::_close(fd);
}

std::optional<std::uint64_t> RegularFileSize(int fd) {
  struct _stat64 info {};
  if (::_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG || info.st_size <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace kestrion::text_file
