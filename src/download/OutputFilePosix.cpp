#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "download/OutputFile.h"

namespace kestrion::output_file {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // the rename is done either way; this only hurries it to the disk
  ::close(fd);
}

}  // namespace

void ReplaceThroughTemporary(const std::filesystem::path& destination, std::string_view bytes,
                             WriteResult& result) {
  // The rename would replace a file that the user may not write; a direct write would be refused, and so is
  // this one.
  if (::faccessat(AT_FDCWD, destination.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
    result.kind = WriteResult::CannotCreate;
    result.systemError = errno;
    return;
  }

  std::filesystem::path temporary;
  int fd = -1;
  int openError = 0;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryBeside(destination, static_cast<std::uint64_t>(::getpid()), attempt);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    openError = errno;
    if (fd < 0 && openError != EEXIST) break;
  }
  if (fd < 0) {
    result.kind = WriteResult::CannotCreate;
    result.systemError = openError;
    return;
  }
  // A replaced file keeps its permissions; a new one gets the usual ones (0666 less the umask).
  struct stat old {};
  if (::stat(destination.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

  const auto fail = [&](WriteResult::Kind kind, int systemError) {
    ::unlink(temporary.c_str());
    result.kind = kind;
    result.systemError = systemError;
  };
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    const int writeError = errno;
    ::close(fd);
    return fail(WriteResult::WriteFailed, writeError);
  }
  if (::close(fd) != 0) return fail(WriteResult::WriteFailed, errno);  // never retried: the descriptor is gone
  if (::rename(temporary.c_str(), destination.c_str()) != 0) return fail(WriteResult::CannotCreate, errno);
  SyncFolder(destination.parent_path());
}

}  // namespace kestrion::output_file
