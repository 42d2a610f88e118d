// What the transfers did and how the line looks, for the window's status line: counted here as reception, the
// upload worker and output go, so that the window only formats. Also the one owner of "downloaded records are in
// the data text and have not been written to a file".
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "download/Output.h"
#include "download/Reception.h"
#include "serial/LineErrors.h"
#include "serial/SerialPort.h"
#include "text/Cp936Check.h"
#include "upload/UploadWorker.h"

namespace kestrion {

using ReportClock = std::chrono::steady_clock;

// One download: from the first read after the text was given up (opened port, Clear data, Browse, Output, the
// end of the previous download) to its "Finish".
struct DownloadFigures {
  std::uint64_t bytes = 0;    // as read from the port, zero bytes included
  std::uint64_t records = 0;  // records closed by their marker
  const MarkerInfo* lastMarker = nullptr;
  bool finished = false;
  bool sawMarker = false;
  std::uint64_t invalidBytes = 0;  // bytes that made no code page 936 character
  std::uint64_t zeroBytes = 0;
  std::uint64_t controlBytes = 0;  // control characters other than CR, LF and tab, which records never hold
  LineErrorCounts errorsAtStart;   // the connection's counts when its first byte came
  LineErrorCounts errorsNow;       // and at its latest read
};

// What the upload worker's progress says at a moment.
struct UploadFigures {
  UploadProgress::State state = UploadProgress::State::Idle;
  int waitingFor = 0;  // 1-based number of the line the instrument will ask for next
  int sent = 0;
  int lineCount = 0;
  std::chrono::milliseconds elapsed{0};               // since the first request (to the end, once ended)
  std::optional<std::chrono::milliseconds> remaining;  // at the instrument's pace so far, once it shows one
};
UploadFigures FiguresOf(const UploadProgress& progress, ReportClock::time_point now);

// The judgement on the line: does what arrives look like the line settings differ from the instrument's?
enum class LineVerdict {
  Fine,
  Noise,          // a download's first bytes hold no marker and look like noise
  ErrorsGrowing,  // line errors came while data arrived
};

struct LineHealth {
  LineErrorCounts errors;      // since the connection opened
  std::uint64_t zeroBytes = 0;     // dropped by the reads, since the connection opened
  std::uint64_t invalidBytes = 0;  // since the connection opened
  LineVerdict verdict = LineVerdict::Fine;
};

class TransferReport {
 public:
  // A download's first bytes without a marker are judged once this many have come.
  static constexpr std::uint64_t kNoiseSample = 32;

  enum class Activity { None, Upload, Download, Output };

  // Reception read `read` and stepped with it; `errors` are the port's line errors at that moment.
  void ReadArrived(const ChunkRead& read, const ReceptionStep& step, const LineErrorCounts& errors);
  // The data text was replaced by something else than reception (Browse, Clear data): the download in it,
  // if any, is given up and a new one starts at the next read.
  void DataReplaced();
  // Output wrote, or failed to write, the data text.
  void OutputWritten(const WriteResult& written);
  // An upload was started.
  void UploadStarted();

  void ConnectionOpened(const LineSettings& settings);
  void ConnectionClosed();

  // Downloaded records are in the data text and were not written: set by a read that brought bytes, cleared by
  // a successful output and by DataReplaced.
  bool HasUnsavedDownload() const { return m_bUnsaved; }
  // The latest of the upload, download and output activities.
  Activity Latest() const { return m_latest; }
  const DownloadFigures& Download() const { return m_download; }
  const std::optional<WriteResult>& Output() const { return m_output; }
  // The line settings of the open connection, or nullopt while none is open.
  const std::optional<LineSettings>& Settings() const { return m_settings; }
  // The line's health; `errors` are the port's line errors now.
  LineHealth Health(const LineErrorCounts& errors) const;

 private:
  void StartDownload(const LineErrorCounts& errors);

  bool m_bUnsaved = false;
  bool m_bDownloadOpen = false;   // a read now belongs to the current download
  bool m_bInRecord = false;       // content arrived since the last marker
  Activity m_latest = Activity::None;
  DownloadFigures m_download;
  // Since the connection opened.
  Cp936Check m_check;
  std::uint64_t m_nZeroBytes = 0;
  LineErrorCounts m_lastErrors;  // at the latest read
  std::uint64_t m_nInvalidAtDownloadStart = 0;
  std::uint64_t m_nZeroBytesAtDownloadStart = 0;
  std::optional<WriteResult> m_output;
  std::optional<LineSettings> m_settings;
};

}  // namespace kestrion
