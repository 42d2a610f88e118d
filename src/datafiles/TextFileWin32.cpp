#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <string>

#include "datafiles/SystemPath.h"
#include "datafiles/TextFile.h"

namespace kestrion::text_file {

// The C runtime's descriptors in binary mode: no CR LF translation and no end at 0x1A, which the reader does
// itself, and errno set from the system's error as on POSIX. The path goes in the form that Output writes, so
// that a file in a folder deeper than MAX_PATH reads back.
int OpenForReading(const std::filesystem::path& file, int& error) {
  const std::wstring path = SystemPath(file);
  const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL);
  if (fd < 0) {
    error = errno;
    // Windows refuses to open a folder as a file with "access denied"; say what it is instead.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (error == EACCES && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      error = EISDIR;
    }
    return -1;
  }
  // A console, a serial port, a pipe or NUL is no data file.
  if (::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    ::_close(fd);
    error = ENXIO;
    return -1;
  }
  return fd;
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

void PreferLargePages(const char*, std::size_t) {
  // Large pages need a privilege that an ordinary user lacks; the usual pages it is.
}

}  // namespace kestrion::text_file
