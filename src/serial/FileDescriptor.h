// A POSIX file descriptor owned by one object.
#pragma once

#include <cerrno>
#include <utility>

namespace kestrion {

// Move-only: the descriptor is closed exactly once, by Close() or by the destructor, which never throws.
class FileDescriptor {
 public:
  FileDescriptor() noexcept = default;
  explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }

  int Get() const noexcept { return m_fd; }
  bool IsValid() const noexcept { return m_fd >= 0; }

  // Closes the descriptor; returns 0 or the errno of the system's close. A failed close is never retried: on
  // Linux the descriptor is released even when close reports EINTR, and a retry could close a stranger's.
  int Close() noexcept;

 private:
  int m_fd = -1;
};

// Runs a system call again for as long as it fails with EINTR.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  for (;;) {
    auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

}  // namespace kestrion
