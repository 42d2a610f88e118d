#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "datafiles/SystemPath.h"
#include "download/OutputFile.h"

namespace kestrion::output_file {
namespace {

// The system's error as the errno value that WriteResult carries, so that its reason reads as on POSIX.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

DWORD Attributes(const std::filesystem::path& path) {
  return ::GetFileAttributesW(SystemPath(path).c_str());
}

// Windows says "path not found" also when a file stands where a folder of the path should be; tell that apart,
// as POSIX does.
int MissingFolderErrno(const std::filesystem::path& folder) {
  for (std::filesystem::path level = folder; !level.empty(); level = level.parent_path()) {
    const DWORD attributes = Attributes(level);
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ENOENT : ENOTDIR;
    if (level == level.parent_path()) break;
  }
  return ENOENT;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  constexpr std::size_t kMaxWrite = 1 << 30;
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto size = static_cast<DWORD>(std::min(bytes.size(), kMaxWrite));
    if (!::WriteFile(file, bytes.data(), size, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_DISK_FULL);
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

// Another program's handle on the target keeps the move out (it needs delete access), mostly for a moment
// only: an indexer, a virus scan, a synced folder. An editor or viewer holds it as long as it shows the file.
constexpr int kReplaceAttempts = 10;
constexpr std::chrono::milliseconds kReplacePause{100};

bool MayBeHeldOpen(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool HeldOpen(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Writes `bytes` into the file in place, as a direct write does: cut to nothing (or created), then written.
void WriteInPlace(const std::wstring& target, DWORD attributes, std::string_view bytes, WriteResult& result) {
  // Shared as the C runtime shares a file that it opens, so that a handle that lets others read and write
  // does not keep this one out.
  const HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    result.kind = WriteResult::CannotCreate;
    result.systemError = ErrnoOf(error);
    result.inUse = HeldOpen(error);
    return;
  }
  if (!WriteAll(file, bytes) || !::FlushFileBuffers(file)) {
    result.kind = WriteResult::WriteFailed;
    result.systemError = ErrnoOf(::GetLastError());
    ::CloseHandle(file);
    return;
  }
  if (!::CloseHandle(file)) {
    result.kind = WriteResult::WriteFailed;
    result.systemError = ErrnoOf(::GetLastError());
  }
}

}  // namespace

void ReplaceThroughTemporary(const std::filesystem::path& destination, std::string_view bytes,
                             WriteResult& result) {
  const std::wstring target = SystemPath(destination);
  // The move would replace a read-only file, which a direct write would not; refuse it as that would.
  const DWORD old = ::GetFileAttributesW(target.c_str());
  const bool oldIsFile = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (oldIsFile && (old & FILE_ATTRIBUTE_READONLY) != 0) {
    result.kind = WriteResult::CannotCreate;
    result.systemError = EACCES;
    return;
  }
  // A replaced file keeps what Explorer shows of it (hidden, system, archive); a new one gets the usual.
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD attributes = oldIsFile && (old & kKept) != 0 ? (old & kKept) : FILE_ATTRIBUTE_NORMAL;

  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD openError = 0;
  for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = SystemPath(TemporaryBeside(destination, ::GetCurrentProcessId(), attempt));
    file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    openError = ::GetLastError();
    if (file == INVALID_HANDLE_VALUE && openError != ERROR_FILE_EXISTS && openError != ERROR_ALREADY_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    result.kind = WriteResult::CannotCreate;
    result.systemError = openError == ERROR_PATH_NOT_FOUND ? MissingFolderErrno(destination.parent_path())
                                                           : ErrnoOf(openError);
    return;
  }

  const auto fail = [&](WriteResult::Kind kind, DWORD systemError) {
    ::DeleteFileW(temporary.c_str());
    result.kind = kind;
    result.systemError = ErrnoOf(systemError);
  };
  if (!WriteAll(file, bytes) || !::FlushFileBuffers(file)) {
    const DWORD writeError = ::GetLastError();
    ::CloseHandle(file);
    return fail(WriteResult::WriteFailed, writeError);
  }
  if (!::CloseHandle(file)) return fail(WriteResult::WriteFailed, ::GetLastError());
  // Write-through: the move is on the disk when it returns, as the folder's fsync makes it on POSIX.
  DWORD moveError = 0;
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kReplacePause);
    if (::MoveFileExW(temporary.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return;
    }
    moveError = ::GetLastError();
    if (!MayBeHeldOpen(moveError)) break;
  }
  if (!oldIsFile || !MayBeHeldOpen(moveError)) return fail(WriteResult::CannotCreate, moveError);
  ::DeleteFileW(temporary.c_str());
  WriteInPlace(target, attributes, bytes, result);
}

}  // namespace kestrion::output_file
