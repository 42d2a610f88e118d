// A file descriptor owned by one object: closed once, on destruction, never retried.
#pragma once

#include <unistd.h>

#include <utility>

namespace kestrion::station {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_nFd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_nFd(std::exchange(other.m_nFd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      m_nFd = std::exchange(other.m_nFd, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return m_nFd; }
  bool IsValid() const { return m_nFd >= 0; }
  void Reset() {
    // A failed close has still released the descriptor; retrying could close someone else's.
    if (m_nFd >= 0) ::close(m_nFd);
    m_nFd = -1;
  }

 private:
  int m_nFd = -1;
};

}  // namespace kestrion::station
