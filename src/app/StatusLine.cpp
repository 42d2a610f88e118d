#include "app/StatusLine.h"

#include "app/Messages.h"
#include "app/PathText.h"

namespace kestrion {
namespace {

namespace m = messages;

QString Number(std::uint64_t n) {
  return QString::number(n);
}

QString UploadText(const UploadFigures& upload) {
  switch (upload.state) {
    case UploadProgress::State::Idle:
      return {};
    case UploadProgress::State::Running:
      if (upload.sent == 0 && upload.elapsed.count() == 0) {
        return m::kStatusUploadWaiting.toString().arg(upload.waitingFor).arg(upload.lineCount);
      } else {
        QString text = m::kStatusUploadRunning.toString()
                           .arg(upload.waitingFor)
                           .arg(upload.lineCount)
                           .arg(DurationText(upload.elapsed));
        if (upload.remaining) text += m::kStatusUploadRemaining.toString().arg(DurationText(*upload.remaining));
        return text;
      }
    case UploadProgress::State::Finished:
      return m::kStatusUploadFinished.toString().arg(upload.lineCount).arg(DurationText(upload.elapsed));
    case UploadProgress::State::Stopped:
      return m::kStatusUploadStopped.toString().arg(upload.sent).arg(upload.lineCount);
  }
  return {};
}

QString DownloadText(const DownloadFigures& d) {
  QString text = (d.finished ? m::kStatusDownloadFinished : m::kStatusDownloading)
                     .toString()
                     .arg(Number(d.bytes), Number(d.records));
  if (d.lastMarker != nullptr) {
    const QString type = QString::fromLatin1(d.lastMarker->outputExtension.data(),
                                             static_cast<qsizetype>(d.lastMarker->outputExtension.size()))
                             .mid(1);
    text += m::kStatusRecordType.toString().arg(type);
  }
  return text;
}

QString OutputText(const WriteResult& written) {
  if (!written) return m::kStatusOutputFailed.toString().arg(m::OutputFailureText(written));
  return m::kStatusOutput.toString().arg(Number(written.recordLines), PathText(written.path));
}

QString SettingsText(const LineSettings& s) {
  return m::kStatusSettings.toString().arg(s.baudRate).arg(s.dataBits).arg(m::ParityText(s.parity));
}

QString HealthText(const LineHealth& h, const std::optional<LineSettings>& settings) {
  if (h.verdict != LineVerdict::Fine && settings) {
    return (h.verdict == LineVerdict::Noise ? m::kStatusNoise : m::kStatusErrorsGrowing)
        .toString()
        .arg(SettingsText(*settings));
  }
  const LineErrorCounts& e = h.errors;
  if (e.parityOrFraming > 0) {
    return m::kStatusLineHealthUnsplit.toString().arg(Number(e.parityOrFraming + e.parity + e.framing),
                                                      Number(e.overruns), Number(e.breaks),
                                                      Number(h.zeroBytes), Number(h.invalidBytes));
  }
  return m::kStatusLineHealth.toString().arg(Number(e.parity), Number(e.framing), Number(e.overruns),
                                             Number(e.breaks), Number(h.zeroBytes), Number(h.invalidBytes));
}

}  // namespace

QString DurationText(std::chrono::milliseconds duration) {
  const long long seconds = std::max<long long>(0, duration.count() / 1000);
  const long long h = seconds / 3600;
  const long long min = seconds / 60 % 60;
  const long long s = seconds % 60;
  if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(min, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(min).arg(s, 2, 10, QLatin1Char('0'));
}

QString StatusLineText(const TransferReport& report, const UploadFigures& upload,
                       const std::optional<LineHealth>& health) {
  // A warning about the settings matters more than any figure, and needs the whole line.
  if (health && health->verdict != LineVerdict::Fine && report.Settings()) return HealthText(*health, report.Settings());
  // A running upload comes first; otherwise whatever happened last.
  QString activity;
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
  if (!health) return activity.isEmpty() ? m::kStatusNoPort.toString() : activity;
  const QString line = HealthText(*health, report.Settings());
  return activity.isEmpty() ? line : activity + m::kStatusSeparator.toString() + line;
}

}  // namespace kestrion
