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
  return FormatText(m::kStatusSettings, {Number(s.baudRate), Number(s.dataBits), m::ParityText(s.parity)});
}

// What the warning says the instrument seems to do, and what to change, named as the window's lists show it.
std::u16string WarningText(const LineWarning& w) {
  const std::u16string settings = SettingsText(w.settings);
  const std::u16string_view steps = w.duringUpload ? m::kStepsUpload : m::kStepsDownload;
  const SettingsSuggestion& s = w.suggestion;
  const bool formatDiffers = s.kind == SettingsSuggestion::Kind::RateAndFormat &&
                             (s.dataBits != w.settings.dataBits || s.parity != w.settings.parity);
  switch (s.kind) {
    case SettingsSuggestion::Kind::Rate:
    case SettingsSuggestion::Kind::RateAndFormat: {
      // Only what differs from the port is named as a change.
      const std::u16string rate = Number(s.baudRate);
      if (!formatDiffers) {
        return FormatText(m::kStatusProbeRate, {rate, Number(w.settings.baudRate)}) +
               FormatText(steps, {FormatText(m::kChangeRate, {rate})});
      }
      const std::u16string bits = Number(s.dataBits);
      const std::u16string_view parity = m::ParityText(s.parity);
      const std::u16string change = s.baudRate == w.settings.baudRate
                                        ? FormatText(m::kChangeFormat, {bits, parity})
                                        : FormatText(m::kChangeRateAndFormat, {rate, bits, parity});
      return FormatText(m::kStatusProbeSettings, {rate, bits, parity, settings}) + FormatText(steps, {change});
    }
    case SettingsSuggestion::Kind::UnlistedRate:
      return FormatText(m::kStatusProbeUnlisted, {settings});
    case SettingsSuggestion::Kind::None:
      break;
  }
  switch (w.verdict) {
    case LineVerdict::SevenBitEven:
    case LineVerdict::SevenBitOdd:
    case LineVerdict::SevenBitNone: {
      const Parity parity = w.verdict == LineVerdict::SevenBitEven  ? Parity::Even
                            : w.verdict == LineVerdict::SevenBitOdd ? Parity::Odd
                                                                    : Parity::None;
      return FormatText(m::kStatusSevenBits, {m::ParityText(parity), settings}) +
             FormatText(steps, {FormatText(m::kChangeFormat, {u"7", m::ParityText(parity)})});
    }
    case LineVerdict::ErrorsGrowing:
      return FormatText(m::kStatusErrorsGrowing, {settings});
    case LineVerdict::Noise:
    case LineVerdict::Fine:
      break;
  }
  return FormatText(m::kStatusNoise, {settings});
}

// The line's counts, once one is not zero; bytes lost on this side apart, since no setting causes them.
std::u16string CountsText(const LineHealth& h) {
  if (!h.AnythingToTell()) return {};
  const LineErrorCounts& e = h.errors;
  std::u16string text;
  if (e.parity + e.framing + e.parityOrFraming + e.breaks + h.zeroBytes + h.invalidBytes > 0) {
    if (e.parityOrFraming > 0) {
      text = FormatText(m::kStatusLineHealthUnsplit, {Number(e.parityOrFraming + e.parity + e.framing), Number(e.breaks),
                                                      Number(h.zeroBytes), Number(h.invalidBytes)});
    } else {
      text = FormatText(m::kStatusLineHealth, {Number(e.parity), Number(e.framing), Number(e.breaks),
                                               Number(h.zeroBytes), Number(h.invalidBytes)});
    }
  }
  const std::uint64_t lost = e.overruns + e.queueOverruns;
  if (lost > 0) {
    if (!text.empty()) text += m::kStatusSeparator;
    text += FormatText(m::kStatusOverruns, {Number(lost)});
  }
  return text;
}

std::u16string Joined(std::u16string first, const std::u16string& second) {
  if (first.empty()) return second;
  if (!second.empty()) first += std::u16string(m::kStatusSeparator) + second;
  return first;
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
                              const std::optional<LineHealth>& health, const PortState& port) {
  const std::u16string counts = health ? CountsText(*health) : std::u16string();
  // A warning about the settings matters more than any figure; it stays after Close port, while the operator
  // changes the lists. Output clears it, so it never hides Output's confirmation.
  if (report.Warning()) return Joined(WarningText(*report.Warning()), counts);
  if (port.gone) return std::u16string(m::kStatusPortGone);
  if (port.held != OutputHold::None) return std::u16string(port.held == OutputHold::Cts ? m::kStatusHeldByCts : m::kStatusHeldByDsr);
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
  if (activity.empty() && counts.empty() && report.Settings()) {
    return FormatText(m::kStatusPortOpen, {SettingsText(*report.Settings())});
  }
  return Joined(activity, counts);
}

}  // namespace kestrion
