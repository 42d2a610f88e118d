#include "app/StatusLine.h"

#include <algorithm>

#include "app/Messages.h"
#include "dialog/PathText.h"
#include "dialog/Text.h"

namespace kestrion {
namespace {

namespace m = messages;

std::u16string UploadText(const UploadFigures& upload) {
  switch (upload.state) {
    case UploadProgress::State::Idle:
      return {};
    case UploadProgress::State::Running:
      if (upload.sent == 0 && upload.elapsed.count() == 0) {
        return FormatText(m::kStatusUploadWaiting, {Number(upload.waitingFor), Number(upload.lineCount)});
      } else {
        std::u16string text = FormatText(m::kStatusUploadRunning, {Number(upload.waitingFor),
                                                                  Number(upload.lineCount),
                                                                  DurationText(upload.elapsed)});
        if (upload.remaining) text += FormatText(m::kStatusUploadRemaining, {DurationText(*upload.remaining)});
        return text;
      }
    case UploadProgress::State::Finished:
      return FormatText(m::kStatusUploadFinished, {Number(upload.lineCount), DurationText(upload.elapsed)});
    case UploadProgress::State::Stopped:
      return FormatText(m::kStatusUploadStopped, {Number(upload.sent), Number(upload.lineCount)});
  }
  return {};
}

std::u16string DownloadText(const DownloadFigures& d) {
  std::u16string text =
      FormatText(d.finished ? m::kStatusDownloadFinished : m::kStatusDownloading, {Number(d.bytes), Number(d.records)});
  if (d.lastMarker != nullptr) {
    const std::string_view extension = d.lastMarker->outputExtension;
    text += FormatText(m::kStatusRecordType, {AsciiToUtf16(extension.substr(std::min<std::size_t>(1, extension.size())))});
  }
  return text;
}

std::u16string OutputText(const WriteResult& written) {
  if (!written) return FormatText(m::kStatusOutputFailed, {m::OutputFailureText(written)});
  return FormatText(m::kStatusOutput, {Number(static_cast<std::uint64_t>(written.recordLines)), PathText(written.path)});
}

std::u16string SettingsText(const LineSettings& s) {
  return FormatText(m::kStatusSettings, {Number(static_cast<std::uint64_t>(s.baudRate)),
                                         Number(static_cast<std::uint64_t>(s.dataBits)), m::ParityText(s.parity)});
}

std::u16string HealthText(const LineHealth& h, const std::optional<LineSettings>& settings) {
  if (h.verdict != LineVerdict::Fine && settings) {
    return FormatText(h.verdict == LineVerdict::Noise ? m::kStatusNoise : m::kStatusErrorsGrowing,
                      {SettingsText(*settings)});
  }
  const LineErrorCounts& e = h.errors;
  if (e.parityOrFraming > 0) {
    return FormatText(m::kStatusLineHealthUnsplit,
                      {Number(e.parityOrFraming + e.parity + e.framing), Number(e.overruns), Number(e.breaks),
                       Number(h.zeroBytes), Number(h.invalidBytes)});
  }
  return FormatText(m::kStatusLineHealth, {Number(e.parity), Number(e.framing), Number(e.overruns),
                                           Number(e.breaks), Number(h.zeroBytes), Number(h.invalidBytes)});
}

}  // namespace

std::u16string DurationText(std::chrono::milliseconds duration) {
  const long long seconds = std::max<long long>(0, duration.count() / 1000);
  const auto h = static_cast<std::uint64_t>(seconds / 3600);
  const auto min = static_cast<std::uint64_t>(seconds / 60 % 60);
  const auto s = static_cast<std::uint64_t>(seconds % 60);
  if (h > 0) return Number(h) + u":" + Number(min, 2) + u":" + Number(s, 2);
  return Number(min) + u":" + Number(s, 2);
}

std::u16string StatusLineText(const TransferReport& report, const UploadFigures& upload,
                              const std::optional<LineHealth>& health) {
  // A warning about the settings matters more than any figure, and needs the whole line.
  if (health && health->verdict != LineVerdict::Fine && report.Settings()) return HealthText(*health, report.Settings());
  // A running upload comes first; otherwise whatever happened last.
  std::u16string activity;
  if (upload.state == UploadProgress::State::Running) {
    activity = UploadText(upload);
  } else {
    switch (report.Latest()) {
      case TransferReport::Activity::None:
        break;
      case TransferReport::Activity::Upload:
        activity = UploadText(upload);
        break;
      case TransferReport::Activity::Download:
        activity = DownloadText(report.Download());
        break;
      case TransferReport::Activity::Output:
        if (report.Output()) activity = OutputText(*report.Output());
        break;
    }
  }
  if (!health) return activity.empty() ? std::u16string(m::kStatusNoPort) : activity;
  const std::u16string line = HealthText(*health, report.Settings());
  return activity.empty() ? line : activity + std::u16string(m::kStatusSeparator) + line;
}

}  // namespace kestrion
