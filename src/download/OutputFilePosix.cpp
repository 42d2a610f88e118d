#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

// The process's file creation mask. Linux tells it without a change; elsewhere it is set back at once, and no
// other thread of the program creates files meanwhile.
mode_t CreationMask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The owner and group of the file replaced, or its group alone, or neither (a user who is no member of the
// group keeps the group that a new file gets). True when the group was taken.
bool TakeOwnership(int fd, uid_t owner, gid_t group) {
  return ::fchown(fd, owner, group) == 0 || ::fchown(fd, static_cast<uid_t>(-1), group) == 0;
}

// The permissions the written file ends with: those of the file it replaces, whose group it takes too where
// the system allows (the owner only for root); a new file's are those of a direct create. The owner is
// changed before the mode, since a change of owner clears the set-id bits.
void TakePermissions(int fd, const std::filesystem::path& destination) {
  struct stat old {};
  if (::stat(destination.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) {
    ::fchmod(fd, 0666 & ~CreationMask());
    return;
  }
  TakeOwnership(fd, old.st_uid, old.st_gid);
  ::fchmod(fd, old.st_mode & 07777);
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
    // The owner's alone while it is written: the data may be meant for fewer eyes than a new file's default.
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    openError = errno;
    if (fd < 0 && openError != EEXIST) break;
  }
  if (fd < 0) {
    result.kind = WriteResult::CannotCreate;
    result.systemError = openError;
    return;
  }
  const auto fail = [&](WriteResult::Kind kind, int systemError) {
    ::unlink(temporary.c_str());
    result.kind = kind;
    result.systemError = systemError;
  };
  bool written = WriteAll(fd, bytes);
  if (written) {
    TakePermissions(fd, destination);
    written = ::fsync(fd) == 0;
  }
  if (!written) {
    const int writeError = errno;
    ::close(fd);
    return fail(WriteResult::WriteFailed, writeError);
  }
  if (::close(fd) != 0) return fail(WriteResult::WriteFailed, errno);  // never retried: the descriptor is gone
  if (::rename(temporary.c_str(), destination.c_str()) != 0) return fail(WriteResult::CannotCreate, errno);
  SyncFolder(destination.parent_path());
}

}  // namespace kestrion::output_file
