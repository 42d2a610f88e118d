#include "Receive.h"

#include <array>
#include <cstdio>

#include "serial/Framing.h"

namespace kestrion::station {
namespace {

std::string Visible(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (b < 0x20 || b == 0x7F) {
      std::array<char, 8> hex{};
      std::snprintf(hex.data(), hex.size(), "\\x%02X", b);
      text += hex.data();
    } else {
      text += c;
    }
  }
  return text;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

std::vector<std::string> RequestWrites(const ReceiveOptions& options) {
  const std::string word = kWordStart;
  std::string request = options.noiseAround ? std::string(kNoisePrefix) : std::string();
  const std::size_t wordAt = request.size();
  request += word;
  if (options.doubleStart) request += word;
  if (options.noiseAround) request += kLineEnd;
  if (!options.splitStart) return {request};
  return {request.substr(0, wordAt + kSplitStartAt), request.substr(wordAt + kSplitStartAt)};
}

bool IsClosingLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line == kWordUploadFinish;
}

ReceiveReport RunReceive(StationLink& link, const ReceiveOptions& options, std::ostream& out, bool verbose,
                         std::ostream& log) {
  ReceiveReport report;
  const Clock::time_point began = Clock::now();
  std::string pending;  // received bytes not yet written out
  std::array<char, 4096> buffer{};

  const auto finish = [&](ReceiveEnd end, std::string detail = {}) {
    if (!pending.empty()) {
      out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
      report.bytes += pending.size();
      pending.clear();
    }
    out.flush();
    if (!out && end != ReceiveEnd::OutputFailed) {
      end = ReceiveEnd::OutputFailed;
      detail = "cannot write the received lines";
    }
    report.end = end;
    report.detail = std::move(detail);
    report.elapsed = Clock::now() - began;
    return report;
  };
  const auto linkEnd = [](LinkStatus status) {
    switch (status) {
      case LinkStatus::TimedOut:
        return ReceiveEnd::TimedOut;
      case LinkStatus::PeerGone:
        return ReceiveEnd::PeerGone;
      case LinkStatus::Stopped:
        return ReceiveEnd::Stopped;
      default:
        return ReceiveEnd::LinkFailed;
    }
  };
  // Whatever is there now, without waiting: the tool must send nothing between a line and the next request.
  const auto takeUnasked = [&]() -> std::optional<LinkResult> {
    for (;;) {
      const LinkResult got = link.ReadNow(buffer.data(), buffer.size());
      if (got.status == LinkStatus::TimedOut) return std::nullopt;
      if (got.status != LinkStatus::Ok) return got;
      pending.append(buffer.data(), got.count);
      report.unasked += got.count;
    }
  };

  const std::vector<std::string> writes = RequestWrites(options);
  for (int line = 1;; ++line) {
    if (options.stallAfter && line > *options.stallAfter) {
      // A stalled instrument: no more requests; what the tool sends meanwhile is kept and counted as unasked.
      const Clock::time_point until = Clock::now() + options.stallWait;
      for (;;) {
        const LinkResult got = link.Read(buffer.data(), buffer.size(), until);
        if (got.status == LinkStatus::TimedOut) break;
        if (got.status != LinkStatus::Ok) return finish(linkEnd(got.status), got.detail);
        pending.append(buffer.data(), got.count);
        report.unasked += got.count;
      }
      return finish(ReceiveEnd::Stalled);
    }
    report.waitedLine = line;
    if (options.delay.count() > 0 && !SleepUntil(Clock::now() + options.delay))
      return finish(ReceiveEnd::Stopped);
    if (const auto failed = takeUnasked()) return finish(linkEnd(failed->status), failed->detail);
    if (!pending.empty()) {
      return finish(ReceiveEnd::UnaskedBytes, "before the request for line " + std::to_string(line) + ": \"" +
                                                  Visible(pending.substr(0, 60)) + "\"");
    }

    for (std::size_t i = 0; i < writes.size(); ++i) {
      if (i > 0 && !SleepUntil(Clock::now() + options.splitPause)) return finish(ReceiveEnd::Stopped);
      const LinkResult written = link.Write(writes[i]);
      if (written.status != LinkStatus::Ok) return finish(linkEnd(written.status), written.detail);
    }
    if (verbose) log << "kestrion-station: request " << line << ": \"" << Visible(writes.front()) << "\"\n";

    const Clock::time_point deadline = options.timeout ? Clock::now() + *options.timeout : kNoDeadline;
    std::size_t lineEnd = std::string::npos;
    while ((lineEnd = pending.find('\n')) == std::string::npos) {
      if (pending.size() > kMaxLineBytes) {
        return finish(ReceiveEnd::LineTooLong, "line " + std::to_string(line) + " has no line end after " +
                                                   std::to_string(pending.size()) + " bytes");
      }
      const LinkResult got = link.Read(buffer.data(), buffer.size(), deadline);
      if (got.status != LinkStatus::Ok) return finish(linkEnd(got.status), got.detail);
      pending.append(buffer.data(), got.count);
    }

    const std::string received = pending.substr(0, lineEnd + 1);
    pending.erase(0, lineEnd + 1);
    out.write(received.data(), static_cast<std::streamsize>(received.size()));
    out.flush();
    if (!out) return finish(ReceiveEnd::OutputFailed, "cannot write the received lines");
    report.bytes += received.size();
    report.lines = line;
    if (verbose) log << "kestrion-station: line " << line << ": \"" << Visible(received) << "\"\n";
    if (!pending.empty()) {
      report.unasked += pending.size();
      return finish(ReceiveEnd::UnaskedBytes,
                    "after line " + std::to_string(line) + ": \"" + Visible(pending.substr(0, 60)) + "\"");
    }
    if (IsClosingLine(received)) return finish(ReceiveEnd::Completed);
  }
}

std::string DescribeReceive(const ReceiveReport& report, const ReceiveOptions& options) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", Seconds(report.elapsed));
  const std::string got = std::to_string(report.lines) + (report.lines == 1 ? " line, " : " lines, ") +
                          std::to_string(report.bytes) + " bytes in " + seconds + " s";
  const std::string waited = std::to_string(report.waitedLine);
  switch (report.end) {
    case ReceiveEnd::Completed:
      return "received " + got;
    case ReceiveEnd::Stalled:
      return "stalled after " + std::to_string(report.lines) + (report.lines == 1 ? " line" : " lines") +
             " as asked (--stall-after); " +
             (report.unasked == 0 ? std::string("nothing came in the wait")
                                  : std::to_string(report.unasked) + " bytes came unasked in the wait") +
             "; received " + got;
    case ReceiveEnd::TimedOut:
      return "no line " + waited + " within " +
             std::to_string(options.timeout.value_or(Milliseconds{0}).count()) +
             " ms of its request (received " + got + ")";
    case ReceiveEnd::PeerGone:
      return report.detail + " while the station waited for line " + waited + " (received " + got + ")";
    case ReceiveEnd::UnaskedBytes:
      return std::to_string(report.unasked) + " bytes came without a request " + report.detail +
             " (received " + got + ")";
    case ReceiveEnd::LineTooLong:
      return report.detail;
    case ReceiveEnd::OutputFailed:
      return report.detail + " (received " + got + ")";
    case ReceiveEnd::LinkFailed:
      return report.detail + " while the station waited for line " + waited + " (received " + got + ")";
    case ReceiveEnd::Stopped:
      return "stopped while waiting for line " + waited + " (received " + got + ")";
  }
  return got;
}

}  // namespace kestrion::station
