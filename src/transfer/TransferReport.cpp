#include "transfer/TransferReport.h"

#include <algorithm>

namespace kestrion {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

bool IsSpace(char ch) { return ch == '\r' || ch == '\n' || ch == ' ' || ch == '\t'; }

bool IsControl(char ch) {
  const auto b = static_cast<unsigned char>(ch);
  return (b < 0x20 || b == 0x7F) && !IsSpace(ch);
}

}  // namespace

UploadFigures FiguresOf(const UploadProgress& progress, ReportClock::time_point now) {
  UploadFigures figures;
  figures.state = progress.state;
  figures.lineCount = progress.lineCount;
  figures.sent = progress.linesSent;
  figures.waitingFor = std::min(progress.linesSent + 1, std::max(progress.lineCount, 1));
  if (!progress.firstRequest) return figures;
  const bool ended = progress.state == UploadProgress::State::Finished ||
                     progress.state == UploadProgress::State::Stopped;
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
  m_download.errorsAtStart = errors;
  m_bInRecord = false;
  m_bDownloadOpen = true;
  m_nInvalidAtDownloadStart = m_check.InvalidBytes();
  m_nZeroBytesAtDownloadStart = m_nZeroBytes;
}

void TransferReport::ReadArrived(const ChunkRead& read, const ReceptionStep& step, const LineErrorCounts& errors) {
  if (!read.readBytes) return;
  if (!m_bDownloadOpen) StartDownload(m_lastErrors);
  m_lastErrors = errors;
  const std::string_view bytes = read.chunk.View();
  m_check.Scan(bytes);
  m_nZeroBytes += static_cast<std::uint64_t>(read.zeroBytes);

  DownloadFigures& d = m_download;
  d.bytes += bytes.size() + static_cast<std::uint64_t>(read.zeroBytes);
  d.invalidBytes = m_check.InvalidBytes() - m_nInvalidAtDownloadStart;
  d.zeroBytes = m_nZeroBytes - m_nZeroBytesAtDownloadStart;
  d.errorsNow = errors;
  if (step.marker != nullptr) {
    d.sawMarker = true;
    d.lastMarker = step.marker;
  }
  // A record is counted at the marker that closes it: the handled marker with content since the one before.
  for (const char ch : bytes) {
    if (step.marker != nullptr && ch == step.marker->marker) {
      if (m_bInRecord) ++d.records;
      m_bInRecord = false;
    } else if (!IsSpace(ch)) {
      m_bInRecord = true;
      if (IsControl(ch)) ++d.controlBytes;
    }
  }
  if (!bytes.empty()) {
    m_bUnsaved = true;
    m_latest = Activity::Download;
  }
  if (step.finished) {
    d.finished = true;
    m_bDownloadOpen = false;
  }
}

void TransferReport::DataReplaced() {
  m_bUnsaved = false;
  m_bDownloadOpen = false;
}

void TransferReport::OutputWritten(const WriteResult& written) {
  m_output = written;
  m_latest = Activity::Output;
  if (written) {
    m_bUnsaved = false;
    m_bDownloadOpen = false;
  }
}

void TransferReport::UploadStarted() {
  m_latest = Activity::Upload;
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
  const DownloadFigures& d = m_download;
  if (!m_settings || d.bytes == 0) return health;
  const bool errorsGrew = d.errorsNow.Total() > d.errorsAtStart.Total();
  // Noise: most of what a good line brings is plain text and markers; a wrong baud rate or parity brings bytes
  // that make no character, zero bytes and line errors.
  const bool looksLikeNoise = (d.invalidBytes + d.zeroBytes + d.controlBytes) * 3 >= d.bytes;
  if (!d.sawMarker && d.bytes >= kNoiseSample && (errorsGrew || looksLikeNoise)) {
    health.verdict = LineVerdict::Noise;
  } else if (errorsGrew) {
    health.verdict = LineVerdict::ErrorsGrowing;
  }
  return health;
}

}  // namespace kestrion
