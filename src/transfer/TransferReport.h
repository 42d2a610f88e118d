// What the transfers did and how the line looks, for the window's status line: counted here as reception, the
// upload worker and output go, so that the window only formats. Also the one owner of "downloaded records are
// in the data text and have not been written to a file".
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "download/Output.h"
#include "download/Reception.h"
#include "serial/LineErrors.h"
#include "serial/SerialPort.h"
#include "text/Cp936Check.h"
#include "transfer/LineJudgement.h"
#include "transfer/SettingsProbe.h"
#include "upload/UploadWorker.h"

namespace kestrion {

using ReportClock = std::chrono::steady_clock;

// A read as the port gave it: zero bytes and line ends in place, and, where the port marks damaged bytes, one
// mark per byte (a break stands as a zero byte with its mark).
struct RawRead {
  std::string_view bytes;
  std::span<const LineMark> marks;  // empty where the port has no marks
};

// One download: from the first read after the text was given up (opened port, Clear data, Browse, Output, the
// end of the previous download) to its "Finish".
struct DownloadFigures {
  std::uint64_t bytes = 0;    // as read from the port, zero bytes included
  std::uint64_t records = 0;  // records closed by their marker
  const MarkerInfo* lastMarker = nullptr;
  bool finished = false;
  std::uint64_t invalidBytes = 0;  // bytes that made no code page 936 character
  std::uint64_t zeroBytes = 0;
};

// What the upload worker's progress says at a moment.
struct UploadFigures {
  UploadProgress::State state = UploadProgress::State::Idle;
  int waitingFor = 0;  // 1-based number of the line the instrument will ask for next
  int sent = 0;
  int lineCount = 0;
  std::chrono::milliseconds elapsed{0};                // since the first request (to the end, once ended)
  std::optional<std::chrono::milliseconds> remaining;  // at the instrument's pace so far, once it shows one
};
UploadFigures FiguresOf(const UploadProgress& progress, ReportClock::time_point now);

// The line's counts since the connection opened, for the status line while a connection is open.
struct LineHealth {
  LineErrorCounts errors;                   // overruns among them: bytes lost on this side, shown apart
  std::uint64_t zeroBytes = 0;              // dropped by the reads
  std::uint64_t invalidBytes = 0;           // bytes that made no code page 936 character
  LineVerdict verdict = LineVerdict::Fine;  // of the warning in force, if any (see TransferReport::Warning)

  // Whether a count is not zero: a clean line has nothing to tell, and shows only what the transfer does.
  bool AnythingToTell() const { return errors.Total() > 0 || zeroBytes > 0 || invalidBytes > 0; }
};

// A warning that the instrument's line settings seem to differ from the port's: from the read that raised it
// until the port is opened again, Clear data, Browse or Output (it stays after Close port, while the operator
// changes the lists).
struct LineWarning {
  LineVerdict verdict = LineVerdict::Noise;  // never Fine
  LineSettings settings;                     // the port's, at which the bytes were read
  bool duringUpload = false;                 // judged on what the instrument sent during an upload
  std::uint64_t bytes = 0;                   // judged
  ErrorsSince errors;                        // that came with them
  SettingsSuggestion suggestion;             // the probe's, where it can name the instrument's settings
};

class TransferReport {
 public:
  enum class Activity { None, Upload, Download, Output };

  // Reception read `read` and stepped with it; `errors` are the port's line errors at that moment. `raw`,
  // where the port hands it over, is the same read as the port gave it: zero bytes in place, with their
  // marks; the judgement then looks at it instead of at the chunk.
  void ReadArrived(const ChunkRead& read, const ReceptionStep& step, const LineErrorCounts& errors,
                   const RawRead* raw = nullptr);
  // A poll of the window (download poll or status echo) saw the port's line errors at `errors`, whether or
  // not bytes waited: a download's or an upload's errors count from the last poll before it, so that a break
  // or framing error while the line was idle (the instrument switched on, the cable plugged in) is not its
  // own.
  void LinePolled(const LineErrorCounts& errors);
  // The upload worker's status text as it stands now (everything the instrument sent since the Upload
  // command): what grew since the last call is judged like a download's bytes.
  void UploadStatusSeen(std::string_view status, const LineErrorCounts& errors);
  // The data text was replaced by something else than reception (Browse, Clear data): the download in it,
  // if any, is given up and a new one starts at the next read.
  void DataReplaced();
  // Output wrote, or failed to write, the data text.
  void OutputWritten(const WriteResult& written);
  // An upload was started.
  void UploadStarted();

  void ConnectionOpened(const LineSettings& settings);
  void ConnectionClosed();

  // Downloaded records are in the data text and were not written: set by a read that brought bytes, cleared
  // by a successful output and by DataReplaced.
  bool HasUnsavedDownload() const { return m_bUnsaved; }
  // The latest of the upload, download and output activities.
  Activity Latest() const { return m_latest; }
  const DownloadFigures& Download() const { return m_download; }
  const std::optional<WriteResult>& Output() const { return m_output; }
  // The line settings of the open connection, or nullopt while none is open.
  const std::optional<LineSettings>& Settings() const { return m_settings; }
  // The line's health; `errors` are the port's line errors now.
  LineHealth Health(const LineErrorCounts& errors) const;
  // The settings warning in force. It comes instead of the transfer's own text; Output, which clears it, is
  // never hidden by it.
  const std::optional<LineWarning>& Warning() const { return m_warning; }

 private:
  // One transfer's judgement: what came since it started, and the line errors at its start.
  struct Judged {
    StreamScanner scanner;
    ArrivalCounts counts;
    LineErrorCounts errorsAtStart;
    void Restart(const LineErrorCounts& errors) {
      scanner.Reset();
      counts.Reset();
      errorsAtStart = errors;
    }
  };

  void StartDownload(const LineErrorCounts& errors);
  void JudgeDownload(const LineErrorCounts& errors);
  void JudgeUpload(std::string_view status, const LineErrorCounts& errors);
  void ClearWarning(bool upload);
  // The upload's status text starts again: nothing of it judged, no request seen.
  void RestartUploadJudgement();

  bool m_bUnsaved = false;
  bool m_bDownloadOpen = false;  // a read now belongs to the current download
  bool m_bInRecord = false;      // content arrived since the last marker
  Activity m_latest = Activity::None;
  DownloadFigures m_download;
  // Since the connection opened.
  Cp936Check m_check;
  std::uint64_t m_nZeroBytes = 0;
  LineErrorCounts m_lastErrors;  // at the latest poll
  Judged m_downloadJudged;
  Judged m_uploadJudged;
  std::size_t m_nUploadStatusSeen = 0;  // bytes of the upload's status text judged
  bool m_bUploadRequested = false;      // a start word decoded: the settings work
  std::optional<LineWarning> m_warning;
  SettingsProbe m_probe;
  std::uint64_t m_nInvalidAtDownloadStart = 0;
  std::uint64_t m_nZeroBytesAtDownloadStart = 0;
  std::optional<WriteResult> m_output;
  std::optional<LineSettings> m_settings;
};

}  // namespace kestrion
