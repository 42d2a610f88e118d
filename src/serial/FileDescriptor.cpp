#include "serial/FileDescriptor.h"

#include <unistd.h>

namespace kestrion {

int FileDescriptor::Close() noexcept {
  if (m_fd < 0) return 0;
  const int fd = std::exchange(m_fd, -1);
  return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace kestrion
