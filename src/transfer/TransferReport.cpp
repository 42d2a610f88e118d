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
  Judged& judged = m_downloadJudged;
  if (raw != nullptr) {
    judged.scanner.Scan(raw->bytes, raw->marks);
    judged.counts.Add(raw->bytes, raw->marks);
  } else {
    judged.scanner.Scan(bytes);
    judged.scanner.AddDroppedZeros(static_cast<std::uint64_t>(read.zeroBytes));
    judged.counts.Add(bytes);
    judged.counts.AddDroppedZeros(static_cast<std::uint64_t>(read.zeroBytes));
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
  JudgeDownload(errors);
  if (step.finished) {
    d.finished = true;
    m_bDownloadOpen = false;
  }
}

void TransferReport::UploadStatusSeen(std::string_view status, const LineErrorCounts& errors) {
  if (status.size() < m_nUploadStatusSeen) RestartUploadJudgement();  // emptied by a new Upload command
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
    ClearWarning(true);
    return;
  }
  JudgeUpload(status, errors);
}

void TransferReport::ClearWarning(bool upload) {
  if (m_warning && m_warning->duringUpload == upload) m_warning.reset();
}

// The probe runs only while the judgement warns, and with enough bytes to go on.
void TransferReport::JudgeDownload(const LineErrorCounts& errors) {
  if (!m_settings) return;
  Judged& judged = m_downloadJudged;
  const StreamSurvey& survey = judged.scanner.Survey();
  const ErrorsSince since = ErrorsBetween(judged.errorsAtStart, errors);
  const LineVerdict verdict = Judge(survey, since);
  if (!WarnsOfSettings(verdict)) {
    ClearWarning(false);
    return;
  }
  judged.counts.SetCountedErrors(since.damaged, since.breaks);
  const SettingsSuggestion suggestion = m_probe.Suggest(judged.counts, *m_settings);
  m_warning = LineWarning{verdict, *m_settings, false, survey.bytes, since, suggestion};
}

// An upload waits for its start word: what came instead is compared with what the word becomes at each
// offered setting as soon as a few bytes came, and judged like a download's bytes once enough came.
void TransferReport::JudgeUpload(std::string_view status, const LineErrorCounts& errors) {
  if (!m_settings) return;
  const LineSettings& port = *m_settings;
  const StreamSurvey& survey = m_uploadJudged.scanner.Survey();
  const ErrorsSince since = ErrorsBetween(m_uploadJudged.errorsAtStart, errors);
  LineVerdict verdict = Judge(survey, since);
  // The latest requests say enough; a long wait's whole text would cost too much to compare each time.
  constexpr std::size_t kRequestWindow = 256;
  SettingsSuggestion suggestion = m_probe.SuggestFromRequests(
      status.substr(status.size() - std::min(status.size(), kRequestWindow)), port);
  if (suggestion.kind != SettingsSuggestion::Kind::UnlistedRate && suggestion.baudRate == port.baudRate) {
    // The port's own rate: a format of 7 data bits read as 8 is the 7-bit hint, nothing else is named.
    if (suggestion.kind == SettingsSuggestion::Kind::RateAndFormat && suggestion.dataBits == 7 &&
        port.dataBits == 8) {
      verdict = suggestion.parity == Parity::Even  ? LineVerdict::SevenBitEven
                : suggestion.parity == Parity::Odd ? LineVerdict::SevenBitOdd
                                                   : LineVerdict::SevenBitNone;
    }
    suggestion = {};
  }
  if (!WarnsOfSettings(verdict) && suggestion.kind == SettingsSuggestion::Kind::None) {
    ClearWarning(true);
    return;
  }
  if (!WarnsOfSettings(verdict)) verdict = LineVerdict::Noise;
  m_warning = LineWarning{verdict, port, true, survey.bytes, since, suggestion};
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
  RestartUploadJudgement();
  ClearWarning(true);
}

void TransferReport::RestartUploadJudgement() {
  m_nUploadStatusSeen = 0;
  m_bUploadRequested = false;
  m_uploadJudged.Restart(m_lastErrors);
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
