#include "Station.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

#include "Capture.h"
#include "Receive.h"
#include "Send.h"
#include "StationLink.h"
#include "StationPlatform.h"
#include "Stop.h"
#include "serial/Framing.h"

namespace kestrion::station {
namespace {

constexpr const char* kPrefix = "kestrion-station: ";

std::string SettingsText(const LineSettings& settings) {
  const char* parity = settings.parity == Parity::None  ? "none"
                       : settings.parity == Parity::Odd ? "odd"
                                                        : "even";
  return std::to_string(settings.baudRate) + " baud, " + std::to_string(settings.dataBits) +
         " data bits, parity " + parity + ", " + std::to_string(settings.stopBits) + " stop bits";
}

std::string SecondsText(Clock::duration d) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::chrono::duration<double>(d).count());
  return text;
}

int StoppedStatus(std::ostream& log, const std::string& when) {
  log << kPrefix << "stopped by signal " << StopSignalNumber() << " " << when << "\n";
  return kExitSignalBase + StopSignalNumber();
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  std::ifstream file(PathFromArgument(path), std::ios::binary);
  if (!file) {
    error = "cannot read " + path + ": " + ErrnoText(errno);
    return std::nullopt;
  }
  std::string bytes;
  std::array<char, 65536> chunk{};
  while (file.read(chunk.data(), chunk.size()) || file.gcount() > 0) {
    bytes.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
  }
  if (file.bad()) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  return bytes;
}

int Receive(StationLink& link, const StationOptions& options, CaptureFile* capture, std::ostream& data,
            std::ostream& log) {
  std::ostream file(capture);
  std::ostream& out = capture == nullptr ? data : file;
  ReceiveReport report = RunReceive(link, options.receive, out, options.verbose, log);
  if (capture != nullptr && !capture->Finish() && report.end != ReceiveEnd::Stopped) {
    report.end = ReceiveEnd::OutputFailed;
    report.detail = capture->Error();
  }
  if (report.end == ReceiveEnd::Stopped) return StoppedStatus(log, DescribeReceive(report, options.receive));
  log << kPrefix << DescribeReceive(report, options.receive) << "\n";
  switch (report.end) {
    case ReceiveEnd::Completed:
      return kExitCompleted;
    case ReceiveEnd::Stalled:
      return kExitStalled;
    default:
      return kExitFailed;
  }
}

int Send(StationLink& link, const SendStream& stream, const StationOptions& options, std::ostream& log) {
  std::string_view bytes = stream.bytes;
  std::chrono::nanoseconds period = BytePeriod(options.settings);
  AsIfStream asIf;
  if (options.send.sentAs) {
    // The other side has set the line by now.
    const LineSettings readAs = link.LineSettingsNow().value_or(options.settings);
    asIf = SendAsIf(stream.bytes, *options.send.sentAs, readAs);
    bytes = asIf.bytes;
    period = asIf.period;
    log << kPrefix << "as if set to " << SettingsText(*options.send.sentAs) << ", read at "
        << SettingsText(readAs) << ": " << asIf.bytes.size() << " bytes for " << stream.bytes.size() << "\n";
  }
  const SendReport report = RunSend(link, bytes, period, options.send.seed, options.verbose, log);
  const std::string sent = std::to_string(report.bytesSent) + " of " + std::to_string(bytes.size()) +
                           " bytes in " + SecondsText(report.elapsed) + " s";
  if (report.status == LinkStatus::Stopped) return StoppedStatus(log, "after " + sent);
  if (report.status != LinkStatus::Ok) {
    log << kPrefix << report.detail << " after " << sent << "\n";
    return kExitFailed;
  }
  const LinkResult lingered = link.Linger(options.send.linger);
  if (lingered.status == LinkStatus::Stopped) return StoppedStatus(log, "after sending " + sent);
  if (lingered.status != LinkStatus::Ok) {
    log << kPrefix << lingered.detail << " (sent " << sent << ")\n";
    return kExitFailed;
  }
  std::string what =
      options.send.raw ? std::string("the file as it stands") : std::to_string(stream.records) + " records";
  std::string noise;
  if (stream.zeroBytes > 0) noise += ", " + std::to_string(stream.zeroBytes) + " zero bytes";
  if (stream.mixedRecord) {
    noise += ", record " + std::to_string(*stream.mixedRecord + 1) + " framed with " + *stream.mixedMarker;
  }
  if (stream.finishRecord)
    noise += ", record " + std::to_string(*stream.finishRecord + 1) + " holds " + kWordFinish;
  if (options.send.noFinish) noise += ", no end word";
  const double seconds = std::chrono::duration<double>(report.elapsed).count();
  const double bitsPerSecond =
      seconds > 0 ? static_cast<double>(report.bytesSent) * BitsPerByte(options.settings) / seconds : 0;
  char rate[48];
  std::snprintf(rate, sizeof rate, "%.0f", bitsPerSecond);
  log << kPrefix << "sent " << what << noise << ": " << report.bytesSent << " bytes in " << report.writes
      << " writes, " << SecondsText(report.elapsed) << " s (" << rate << " bit/s on the line)\n";
  return kExitCompleted;
}

}  // namespace

int RunStation(const StationOptions& options, std::ostream& data, std::ostream& log) {
  InstallStopHandlers();
  std::string error;

  // Everything that can be refused is checked before the port is made, so that nothing waits for a
  // station that was never going to run.
  std::optional<SendStream> stream;
  if (options.command == Command::Send) {
    const auto fileBytes = ReadWholeFile(options.send.filePath, error);
    if (!fileBytes) {
      log << kPrefix << error << "\n";
      return kExitUsage;
    }
    StreamBuild built = BuildSendStream(*fileBytes, options.send);
    if (!built.stream) {
      log << kPrefix << options.send.filePath << ": " << built.error << "\n";
      return kExitUsage;
    }
    stream = std::move(built.stream);
    if (options.settings.dataBits == 7 &&
        std::any_of(stream->bytes.begin(), stream->bytes.end(), [](char c) { return (c & 0x80) != 0; })) {
      log << kPrefix
          << "note: the records hold bytes above 0x7F, which a line of 7 data bits cannot carry; they "
          << "go out as they stand\n";
    }
  }
  // The capture is made beside --out now, and takes its place only once the exchange has begun: a port that
  // cannot be opened leaves the earlier capture as it was.
  std::unique_ptr<CaptureFile> capture;
  if (options.command == Command::Receive && !options.receive.outPath.empty()) {
    capture = CaptureFile::Create(PathFromArgument(options.receive.outPath), error);
    if (!capture) {
      log << kPrefix << error << "\n";
      return kExitUsage;
    }
  }

  std::unique_ptr<StationLink> link;
  OwnLine own;  // after `link`, so that a registration goes before the line it names
  if (!options.portPath.empty()) {
    link = PortLink::Open(options.portPath, options.settings, error);
    if (!link) {
      log << kPrefix << error << "\n";
      return kExitUsage;
    }
    log << kPrefix << "port " << options.portPath << " (" << SettingsText(options.settings) << ")\n";
  } else {
    own = MakeOwnLine(options, error);
    if (!own.link) {
      log << kPrefix << error << "\n";
      return kExitUsage;
    }
    log << kPrefix << own.description << " (" << SettingsText(options.settings) << ")\n";
    link = std::move(own.link);
  }
  log.flush();

  if (link->SeesPeer() && (options.waitOpen || options.command == Command::Receive)) {
    log << kPrefix << "waiting for the other side to open the port\n";
    log.flush();
    if (link->WaitForPeer(options.settle).status == LinkStatus::Stopped) {
      return StoppedStatus(log, "while waiting for the other side to open the port");
    }
  }
  if (options.waitEnter) {
    log << kPrefix << "press Enter to start\n";
    log.flush();
    if (!WaitForEnter()) return StoppedStatus(log, "while waiting for Enter");
  }

  if (options.command == Command::Receive) return Receive(*link, options, capture.get(), data, log);
  return Send(*link, *stream, options, log);
}

}  // namespace kestrion::station
