// The --out file of receive. The lines go to a new file beside it, which takes its place at the first flush
// that holds bytes (the first line received) or at the end of the exchange, whichever comes first; later
// lines go on into it, so that it can be watched while the upload runs. A run that never got to its exchange
// (a port that cannot be opened, a stop while waiting for the other side) leaves the earlier file as it was.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>

namespace kestrion::station {

class CaptureFile final : public std::streambuf {
 public:
  // Makes the new file beside `target`, a link at that name followed. Null and `error` set when it cannot be
  // made, or when `target` exists and may not be written.
  static std::unique_ptr<CaptureFile> Create(const std::filesystem::path& target, std::string& error);
  // A capture that never took the target's place is removed.
  ~CaptureFile() override;
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  // Puts the capture in the target's place if it has not taken it yet, and writes out what it holds. False,
  // with Error() set, when that failed.
  bool Finish();
  const std::string& Error() const { return m_error; }
  // Where the capture goes in the end.
  const std::filesystem::path& Target() const { return m_target; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;

 private:
  CaptureFile(std::filesystem::path target, std::filesystem::path temporary);
  bool TakeThePlace();
  bool Fail(const std::string& what, int systemError);

  std::filesystem::path m_target;
  std::filesystem::path m_temporary;
  std::filebuf m_file;
  bool m_wrote = false;
  bool m_placed = false;
  std::string m_error;
};

}  // namespace kestrion::station
