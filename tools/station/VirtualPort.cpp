#include "VirtualPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "StationLink.h"
#include "serial/PortNames.h"

namespace kestrion::station {
namespace {

// Only links into the pseudo-terminal folder are ours to replace: a link a person made to a real device
// stays.
constexpr std::string_view kPtyFolder = "/dev/pts/";

// Makes the folder `relative` below the runtime folder (0700: the ports of one user are nobody else's business)
// and refuses one that others could write to, where another user could have planted a port of the same name.
bool MakePrivateFolders(const std::filesystem::path& relative, std::string& error) {
  const FolderCheck check = PrivateRuntimeFolder(relative, true);
  if (!check) error = "no private folder for virtual ports: " + check.Reason();
  return static_cast<bool>(check);
}

std::optional<std::string> ReadLink(const std::filesystem::path& link) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::read_symlink(link, ec);
  if (ec) return std::nullopt;
  return target.string();
}

std::string LockHolder(int fd) {
  std::array<char, 32> text{};
  const ssize_t got = ::pread(fd, text.data(), text.size() - 1, 0);
  if (got <= 0) return "another station";
  std::string pid(text.data(), static_cast<std::size_t>(got));
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
  return "a running station (pid " + pid + ")";
}

}  // namespace

std::filesystem::path StationLockDirectory() {
  return VirtualPortDirectory().parent_path() / "stations";
}

std::unique_ptr<VirtualPortRegistration> VirtualPortRegistration::Register(const std::string& name,
                                                                           const std::string& devicePath,
                                                                           std::string& error) {
  const std::filesystem::path portFolder = VirtualPortDirectory();
  const std::filesystem::path lockFolder = StationLockDirectory();
  const std::filesystem::path inRuntime = VirtualPortFolderInRuntime();
  if (!MakePrivateFolders(inRuntime, error) ||
      !MakePrivateFolders(inRuntime.parent_path() / lockFolder.filename(), error)) {
    return nullptr;
  }

  std::unique_ptr<VirtualPortRegistration> reg(new VirtualPortRegistration());
  reg->m_linkPath = portFolder / name;
  reg->m_lockPath = lockFolder / (name + ".lock");
  reg->m_strDevicePath = devicePath;

  // Lock, then make sure the lock file is still the one at the path: a station that ended meanwhile removes
  // its lock file, and a lock on a removed file guards nothing.
  for (int attempt = 0;; ++attempt) {
    FileDescriptor lock(::open(reg->m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock.IsValid()) {
      error = "cannot make the lock file " + reg->m_lockPath.string() + ": " + ErrnoText(errno);
      return nullptr;
    }
    if (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) {
        error = "the virtual port '" + name + "' is held by " + LockHolder(lock.Get()) +
                "; choose another --name";
      } else {
        error = "cannot lock " + reg->m_lockPath.string() + ": " + ErrnoText(errno);
      }
      return nullptr;
    }
    struct stat held {};
    struct stat atPath {};
    if (::fstat(lock.Get(), &held) == 0 && ::stat(reg->m_lockPath.c_str(), &atPath) == 0 &&
        held.st_dev == atPath.st_dev && held.st_ino == atPath.st_ino) {
      reg->m_lock = std::move(lock);
      break;
    }
    if (attempt >= 10) {
      error = "cannot take the lock file " + reg->m_lockPath.string();
      return nullptr;
    }
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  // The pid is only for the message to a second station; the lock holds without it.
  if (::ftruncate(reg->m_lock.Get(), 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(reg->m_lock.Get(), pid.data(), pid.size(), 0);
  }

  struct stat existing {};
  if (::lstat(reg->m_linkPath.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      error = reg->m_linkPath.string() + " exists and is not a link; not replacing it";
      return nullptr;
    }
    const std::string target = ReadLink(reg->m_linkPath).value_or("");
    if (!target.starts_with(kPtyFolder)) {
      error =
          reg->m_linkPath.string() + " points at " + target + ", not at a pseudo-terminal; not replacing it";
      return nullptr;
    }
    // A link of a station that is gone (its lock was free): replaced below.
  }

  // Failures from here on leave the lock file to the destructor, which removes it while still holding the
  // lock. Made under another name and renamed into place, so that a reader never sees a missing or a half
  // link.
  const std::filesystem::path temporary = lockFolder / (name + ".link." + std::to_string(::getpid()));
  ::unlink(temporary.c_str());
  if (::symlink(devicePath.c_str(), temporary.c_str()) != 0) {
    error = "cannot make the link " + temporary.string() + ": " + ErrnoText(errno);
    return nullptr;
  }
  if (::rename(temporary.c_str(), reg->m_linkPath.c_str()) != 0) {
    error = "cannot make the link " + reg->m_linkPath.string() + ": " + ErrnoText(errno);
    ::unlink(temporary.c_str());
    return nullptr;
  }
  return reg;
}

VirtualPortRegistration::~VirtualPortRegistration() {
  if (ReadLink(m_linkPath) == m_strDevicePath) ::unlink(m_linkPath.c_str());
  // Removed while still locked; the next station checks that the file it locked is still at the path.
  if (m_lock.IsValid()) ::unlink(m_lockPath.c_str());
}

}  // namespace kestrion::station
