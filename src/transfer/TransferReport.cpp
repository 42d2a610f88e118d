#include "transfer/TransferReport.h"

#include <algorithm>
#include <string>

#include "serial/Framing.h"

namespace kestrion {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

bool IsSpace(char ch) {
  return ch == '\r' || ch == '\n' || ch == ' ' || ch == '\t';
}

}  // namespace

UploadFigures FiguresOf(const UploadProgress& progress, ReportClock::time_point now) {
  UploadFigures figures;
  figures.state = progress.state;
  figures.lineCount = progress.lineCount;
  figures.sent = progress.linesSent;
  figures.waitingFor = std::min(progress.linesSent + 1, std::max(progress.lineCount, 1));
  if (!progress.firstRequest) return figures;
  const bool ended =
      progress.state == UploadProgress::State::Finished || progress.state == UploadProgress::State::Stopped;
  figures.elapsed = duration_cast<milliseconds>((ended ? progress.ended : now) - *progress.firstRequest);
  // The instrument's pace: the time between the first and the latest request, per line between them. Every
  // line left, and the closing line, waits for one more request.
  if (!ended && progress.linesSent >= 2) {
    const auto pace = (progress.lastRequest - *progress.firstRequest) / (progress.linesSent - 1);
    const int requestsLeft = progress.lineCount - progress.linesSent + 1;
    const auto sinceLast = now - progress.lastRequest;
    const auto left = pace * requestsLeft - std::min<ReportClock::duration>(sinceLast, pace);
    figures.remaining = duration_cast<milliseconds>(std::max<ReportClock::duration>(left, {}));
  }
  return figures;
}

void TransferReport::StartDownload(const LineErrorCounts& errors) {
  m_download = DownloadFigures{};
  m_bInRecord = false;
  m_bDownloadOpen = true;
  m_nInvalidAtDownloadStart = m_check.InvalidBytes();
  m_nZeroBytesAtDownloadStart = m_nZeroBytes;
  m_downloadJudged.Restart(errors);
}

void TransferReport::LinePolled(const LineErrorCounts& errors) {
  m_lastErrors = errors;
}

void TransferReport::ReadArrived(const ChunkRead& read, const ReceptionStep& step,
                                 const LineErrorCounts& errors, const RawRead* raw) {
  if (!read.readBytes) {
    LinePolled(errors);
    return;
  }
  // The counts of the poll before this read are the download's start: what came since came with its bytes.
  if (!m_bDownloadOpen) StartDownload(m_lastErrors);
  m_lastErrors = errors;
  const std::string_view bytes = read.chunk.View();
  m_check.Scan(bytes);
  m_nZeroBytes += static_cast<std::uint64_t>(read.zeroBytes);
  if (raw != nullptr) {
    m_downloadJudged.scanner.Scan(raw->bytes, raw->marks);
  } else {
    m_downloadJudged.scanner.Scan(bytes);
    m_downloadJudged.scanner.AddDroppedZeros(static_cast<std::uint64_t>(read.zeroBytes));
  }

  DownloadFigures& d = m_download;
  d.bytes += bytes.size() + static_cast<std::uint64_t>(read.zeroBytes);
  d.invalidBytes = m_check.InvalidBytes() - m_nInvalidAtDownloadStart;
  d.zeroBytes = m_nZeroBytes - m_nZeroBytesAtDownloadStart;
  if (step.marker != nullptr) d.lastMarker = step.marker;
  // A record is counted at the marker that closes it: the handled marker with content since the one before.
  for (const char ch : bytes) {
    if (step.marker != nullptr && ch == step.marker->marker) {
      if (m_bInRecord) ++d.records;
      m_bInRecord = false;
    } else if (!IsSpace(ch)) {
      m_bInRecord = true;
    }
  }
  if (!bytes.empty()) {
    m_bUnsaved = true;
    m_latest = Activity::Download;
  }
  Rejudge(m_downloadJudged, errors, false);
  if (step.finished) {
    d.finished = true;
    m_bDownloadOpen = false;
  }
}

void TransferReport::UploadStatusSeen(std::string_view status, const LineErrorCounts& errors) {
  if (status.size() < m_nUploadStatusSeen) {  // emptied by a new Upload command
    m_nUploadStatusSeen = 0;
    m_bUploadRequested = false;
    m_uploadJudged.Restart(m_lastErrors);
  }
  const std::size_t seen = m_nUploadStatusSeen;
  m_lastErrors = errors;
  if (status.size() == seen) return;
  m_nUploadStatusSeen = status.size();
  // A start word may have come over two reads.
  const std::size_t overlap = std::char_traits<char>::length(kWordStart) - 1;
  if (status.find(kWordStart, seen > overlap ? seen - overlap : 0) != std::string_view::npos) {
    m_bUploadRequested = true;
  }
  m_uploadJudged.scanner.Scan(status.substr(seen));
  if (m_bUploadRequested) {
    // The instrument's requests decode: whatever else it sends, the settings work.
    if (m_warning && m_warning->duringUpload) m_warning.reset();
    return;
  }
  Rejudge(m_uploadJudged, errors, true);
}

void TransferReport::Rejudge(const Judged& judged, const LineErrorCounts& errors, bool upload) {
  if (!m_settings) return;
  const StreamSurvey& survey = judged.scanner.Survey();
  const ErrorsSince since = ErrorsBetween(judged.errorsAtStart, errors);
  const LineVerdict verdict = Judge(survey, since);
  if (!WarnsOfSettings(verdict)) {
    if (m_warning && m_warning->duringUpload == upload) m_warning.reset();
    return;
  }
  m_warning = LineWarning{verdict, *m_settings, upload, survey.bytes, since};
}

void TransferReport::DataReplaced() {
  m_bUnsaved = false;
  m_bDownloadOpen = false;
  m_warning.reset();
}

void TransferReport::OutputWritten(const WriteResult& written) {
  m_output = written;
  m_latest = Activity::Output;
  m_warning.reset();
  if (written) {
    m_bUnsaved = false;
    m_bDownloadOpen = false;
  }
}

void TransferReport::UploadStarted() {
  m_latest = Activity::Upload;
  m_nUploadStatusSeen = 0;
  m_bUploadRequested = false;
  m_uploadJudged.Restart(m_lastErrors);
  if (m_warning && m_warning->duringUpload) m_warning.reset();
}

void TransferReport::ConnectionOpened(const LineSettings& settings) {
  m_settings = settings;
  m_check.Reset();
  m_nZeroBytes = 0;
  m_lastErrors = {};
  m_bDownloadOpen = false;
  m_download = DownloadFigures{};
  m_nInvalidAtDownloadStart = 0;
  m_nZeroBytesAtDownloadStart = 0;
  m_downloadJudged.Restart({});
  m_uploadJudged.Restart({});
  m_warning.reset();
}

void TransferReport::ConnectionClosed() {
  m_settings.reset();
  m_bDownloadOpen = false;
}

LineHealth TransferReport::Health(const LineErrorCounts& errors) const {
  LineHealth health;
  health.errors = errors;
  health.zeroBytes = m_nZeroBytes;
  health.invalidBytes = m_check.InvalidBytes();
  if (m_warning) health.verdict = m_warning->verdict;
  return health;
}

}  // namespace kestrion
