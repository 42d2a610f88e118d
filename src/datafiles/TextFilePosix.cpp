#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "datafiles/TextFile.h"

namespace kestrion::text_file {

int OpenForReading(const std::filesystem::path& file, int& error) {
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  // Non-blocking only for the open itself (a FIFO would wait for a writer); reads block as usual.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size, int& error) {
  ssize_t got = -1;
  do {
    got = ::read(fd, buffer, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) error = errno;
  return got;
}

void CloseFile(int fd) {
  ::close(fd);  // read-only: nothing to lose, and close is never retried
}

std::optional<std::uint64_t> RegularFileSize(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace kestrion::text_file
