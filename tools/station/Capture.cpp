#include "Capture.h"

#include <cerrno>
#include <system_error>

#include "StationLink.h"
#include "StationPlatform.h"
#include "download/OutputFile.h"

namespace kestrion::station {
namespace {

namespace fs = std::filesystem;

constexpr auto kWriting = std::ios::binary | std::ios::out | std::ios::trunc;
constexpr auto kAppending = std::ios::binary | std::ios::out | std::ios::app;

}  // namespace

std::unique_ptr<CaptureFile> CaptureFile::Create(const fs::path& target, std::string& error) {
  const std::string name = target.string();
  fs::path destination = target;
  std::error_code ignored;
  // The file a link points to is the one replaced, not the link.
  if (fs::is_symlink(destination, ignored)) {
    const fs::path resolved = fs::weakly_canonical(destination, ignored);
    if (!ignored) destination = resolved;
  }
  // A file that may not be written is refused, as a direct write would be; opened to append, it stays as it
  // is.
  if (fs::exists(destination, ignored)) {
    std::filebuf probe;
    errno = 0;
    if (probe.open(destination, kAppending) == nullptr) {
      error = "cannot create " + name + ": " + ErrnoText(errno == 0 ? EACCES : errno);
      return nullptr;
    }
  }
  std::unique_ptr<CaptureFile> capture(
      new CaptureFile(destination, output_file::TemporaryBeside(destination, ProcessId(), 0)));
  errno = 0;
  if (capture->m_file.open(capture->m_temporary, kWriting) == nullptr) {
    error = "cannot create " + name + ": " + ErrnoText(errno == 0 ? EACCES : errno);
    capture->m_temporary.clear();
    return nullptr;
  }
  return capture;
}

CaptureFile::CaptureFile(fs::path target, fs::path temporary)
    : m_target(std::move(target)), m_temporary(std::move(temporary)) {}

CaptureFile::~CaptureFile() {
  m_file.close();
  if (!m_placed && !m_temporary.empty()) {
    std::error_code ignored;
    fs::remove(m_temporary, ignored);
  }
}

bool CaptureFile::Fail(const std::string& what, int systemError) {
  if (m_error.empty()) m_error = what + " " + m_target.string() + ": " + ErrnoText(systemError);
  return false;
}

bool CaptureFile::TakeThePlace() {
  if (m_placed) return true;
  if (m_file.close() == nullptr) return Fail("cannot write", errno == 0 ? EIO : errno);
  std::error_code error;
  // A replaced file keeps its permissions.
  const fs::file_status old = fs::status(m_target, error);
  if (!error && fs::is_regular_file(old)) fs::permissions(m_temporary, old.permissions(), error);
  fs::rename(m_temporary, m_target, error);
  if (error) {
    fs::remove(m_temporary, error);
    return Fail("cannot replace", error.value());
  }
  m_placed = true;
  errno = 0;
  if (m_file.open(m_target, kAppending) == nullptr) return Fail("cannot write", errno == 0 ? EIO : errno);
  return true;
}

bool CaptureFile::Finish() {
  if (!m_error.empty()) return false;
  if (m_file.pubsync() != 0) return Fail("cannot write", errno == 0 ? EIO : errno);
  if (!TakeThePlace()) return false;
  if (m_file.close() == nullptr) return Fail("cannot write", errno == 0 ? EIO : errno);
  return true;
}

CaptureFile::int_type CaptureFile::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize CaptureFile::xsputn(const char* bytes, std::streamsize count) {
  if (!m_error.empty() || !m_file.is_open()) return 0;
  const std::streamsize written = m_file.sputn(bytes, count);
  if (written > 0) m_wrote = true;
  return written;
}

int CaptureFile::sync() {
  if (!m_error.empty() || !m_file.is_open()) return -1;
  if (m_file.pubsync() != 0) {
    Fail("cannot write", errno == 0 ? EIO : errno);
    return -1;
  }
  return m_wrote && !TakeThePlace() ? -1 : 0;
}

}  // namespace kestrion::station
