#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "datafiles/TextFile.h"

namespace kestrion::text_file {
namespace {

int NotAFileError(mode_t mode) {
  return S_ISDIR(mode) ? EISDIR : ENXIO;
}

}  // namespace

int OpenForReading(const std::filesystem::path& file, int& error) {
  // What the name shows first keeps a device from being opened at all: opening a serial port raises its
  // modem lines. The descriptor's own kind below is what decides.
  struct stat info {};
  if (::stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    error = NotAFileError(info.st_mode);
    return -1;
  }
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    error = known ? NotAFileError(info.st_mode) : errno;
    ::close(fd);
    return -1;
  }
  // Non-blocking only for the open itself (a FIFO put in its place would wait for a writer); reads block as
  // usual.
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

void PreferLargePages(const char* begin, std::size_t size) {
#ifdef MADV_HUGEPAGE
  // Only whole large pages inside the range: the advice must not reach memory that is not the caller's.
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(begin) + kLargePage - 1) & ~(kLargePage - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(kLargePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // advice only
#else
  (void)begin;
  (void)size;
#endif
}

}  // namespace kestrion::text_file
