#include "StationOptions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <functional>

#include "StationPlatform.h"
#include "serial/Framing.h"

namespace kestrion::station {
namespace {

// The rates Kestrion offers, and so the rates its port takes.
constexpr std::array kBaudRates{4800, 9600, 19200, 38400};
// Long enough for any wait a test or a person wants, short enough that a typo does not mean a day.
constexpr std::int64_t kMaxMilliseconds = 3'600'000;
constexpr std::int64_t kMaxCount = 1'000'000'000;

enum class Scope { Global, Receive, Send };

std::string MarkerList() {
  std::string list;
  for (const MarkerInfo& row : kMarkerTable) {
    if (!list.empty()) list += ' ';
    list += row.marker;
  }
  return list;
}

std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t low, std::int64_t high) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

// BAUD,DATA,PARITY[,STOP]: the instrument's settings for --as-if. Any rate, the lists' or not.
std::optional<LineSettings> ParseSentAs(std::string_view text) {
  std::vector<std::string_view> fields;
  for (std::size_t at = 0;;) {
    const std::size_t comma = text.find(',', at);
    fields.push_back(text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  if (fields.size() < 3 || fields.size() > 4) return std::nullopt;
  const auto rate = ParseInteger(fields[0], 50, 1'000'000);
  const auto dataBits = ParseInteger(fields[1], 7, 8);
  const auto stopBits = fields.size() == 4 ? ParseInteger(fields[3], 1, 2) : std::optional<std::int64_t>(2);
  if (!rate || !dataBits || !stopBits) return std::nullopt;
  LineSettings settings;
  settings.baudRate = static_cast<int>(*rate);
  settings.dataBits = static_cast<int>(*dataBits);
  settings.stopBits = static_cast<int>(*stopBits);
  if (fields[2] == "none") {
    settings.parity = Parity::None;
  } else if (fields[2] == "odd") {
    settings.parity = Parity::Odd;
  } else if (fields[2] == "even") {
    settings.parity = Parity::Even;
  } else {
    return std::nullopt;
  }
  return settings;
}

struct Parser {
  ParsedCommandLine result;
  std::optional<Command> command;
  bool portGiven = false;
  bool nameGiven = false;
  std::vector<std::string_view> positionals;

  bool Fail(std::string message) {
    if (result.error.empty()) result.error = std::move(message);
    return false;
  }

  bool Milliseconds(std::string_view option, std::string_view text, station::Milliseconds& out) {
    const auto value = ParseInteger(text, 0, kMaxMilliseconds);
    if (!value) {
      return Fail(std::string(option) + ": '" + std::string(text) +
                  "' is not a number of milliseconds (0 to " + std::to_string(kMaxMilliseconds) + ")");
    }
    out = station::Milliseconds(*value);
    return true;
  }

  bool Count(std::string_view option, std::string_view text, std::int64_t low, std::int64_t& out) {
    const auto value = ParseInteger(text, low, kMaxCount);
    if (!value) {
      return Fail(std::string(option) + ": '" + std::string(text) + "' is not a whole number from " +
                  std::to_string(low));
    }
    out = *value;
    return true;
  }

  bool InScope(std::string_view option, Scope scope) {
    if (scope == Scope::Global) return true;
    const Command wanted = scope == Scope::Receive ? Command::Receive : Command::Send;
    const char* word = scope == Scope::Receive ? "receive" : "send";
    if (command != wanted)
      return Fail(std::string(option) + " is an option of '" + word + "'; give it after " + word);
    return true;
  }

  // One option with its value (empty for flags). False after a failure.
  bool Option(std::string_view option, std::optional<std::string_view> value, bool& usedValue);
};

struct OptionRow {
  std::string_view name;
  Scope scope;
  bool takesValue;
  std::function<bool(Parser&, std::string_view option, std::string_view value)> apply;
};

const std::vector<OptionRow>& OptionTable() {
  static const std::vector<OptionRow> table = {
      {"--port", Scope::Global, true,
       [](Parser& p, std::string_view, std::string_view v) {
         if (v.empty()) return p.Fail("--port needs a device path");
         p.result.options.portPath = std::string(v);
         p.portGiven = true;
         return true;
       }},
      {"--name", Scope::Global, true,
       [](Parser& p, std::string_view, std::string_view v) {
         if (!IsValidPortName(v)) {
           return p.Fail("--name: '" + std::string(v) +
                         "' is not a port name (letters, digits, '.', '_', '-'; not starting with '.')");
         }
         p.result.options.name = std::string(v);
         p.nameGiven = true;
         return true;
       }},
      {"--baud", Scope::Global, true,
       [](Parser& p, std::string_view, std::string_view v) {
         const auto value = ParseInteger(v, 1, 10'000'000);
         if (!value || !IsSupportedBaudRate(static_cast<int>(*value))) {
           std::string rates;
           // Appended piece by piece: GCC 12 at -O3 takes "" + std::string&& for an overlapping copy
           // (-Wrestrict).
           for (const int rate : kBaudRates) {
             if (!rates.empty()) rates += ' ';
             rates += std::to_string(rate);
           }
           return p.Fail("--baud: '" + std::string(v) + "' is not a supported baud rate (" + rates + ")");
         }
         p.result.options.settings.baudRate = static_cast<int>(*value);
         return true;
       }},
      {"--data-bits", Scope::Global, true,
       [](Parser& p, std::string_view, std::string_view v) {
         if (v != "7" && v != "8") return p.Fail("--data-bits: '" + std::string(v) + "' is not 7 or 8");
         p.result.options.settings.dataBits = v == "7" ? 7 : 8;
         return true;
       }},
      {"--parity", Scope::Global, true,
       [](Parser& p, std::string_view, std::string_view v) {
         if (v == "none") {
           p.result.options.settings.parity = Parity::None;
         } else if (v == "odd") {
           p.result.options.settings.parity = Parity::Odd;
         } else if (v == "even") {
           p.result.options.settings.parity = Parity::Even;
         } else {
           return p.Fail("--parity: '" + std::string(v) + "' is not none, odd or even");
         }
         return true;
       }},
      {"--wait-open", Scope::Global, false,
       [](Parser& p, std::string_view, std::string_view) { return p.result.options.waitOpen = true; }},
      {"--wait-enter", Scope::Global, false,
       [](Parser& p, std::string_view, std::string_view) { return p.result.options.waitEnter = true; }},
      {"--settle", Scope::Global, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         return p.Milliseconds(o, v, p.result.options.settle);
       }},
      {"--verbose", Scope::Global, false,
       [](Parser& p, std::string_view, std::string_view) { return p.result.options.verbose = true; }},
      {"--out", Scope::Receive, true,
       [](Parser& p, std::string_view, std::string_view v) {
         if (v.empty()) return p.Fail("--out needs a file name");
         p.result.options.receive.outPath = std::string(v);
         return true;
       }},
      {"--delay", Scope::Receive, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         return p.Milliseconds(o, v, p.result.options.receive.delay);
       }},
      {"--split-start", Scope::Receive, false,
       [](Parser& p, std::string_view, std::string_view) {
         return p.result.options.receive.splitStart = true;
       }},
      {"--split-pause", Scope::Receive, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         return p.Milliseconds(o, v, p.result.options.receive.splitPause);
       }},
      {"--double-start", Scope::Receive, false,
       [](Parser& p, std::string_view, std::string_view) {
         return p.result.options.receive.doubleStart = true;
       }},
      {"--noise-around", Scope::Receive, false,
       [](Parser& p, std::string_view, std::string_view) {
         return p.result.options.receive.noiseAround = true;
       }},
      {"--stall-after", Scope::Receive, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         std::int64_t count = 0;
         if (!p.Count(o, v, 0, count)) return false;
         p.result.options.receive.stallAfter = static_cast<int>(count);
         return true;
       }},
      {"--stall-wait", Scope::Receive, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         return p.Milliseconds(o, v, p.result.options.receive.stallWait);
       }},
      {"--timeout", Scope::Receive, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         station::Milliseconds timeout{};
         if (!p.Milliseconds(o, v, timeout)) return false;
         if (timeout.count() == 0) return p.Fail("--timeout: 0 ms leaves no time to answer");
         p.result.options.receive.timeout = timeout;
         return true;
       }},
      {"--marker", Scope::Send, true,
       [](Parser& p, std::string_view, std::string_view v) {
         if (v.size() != 1 || MarkerByChar(v[0]) == nullptr) {
           return p.Fail("--marker: '" + std::string(v) + "' is not a record marker (one of " + MarkerList() +
                         ")");
         }
         p.result.options.send.marker = v[0];
         return true;
       }},
      {"--raw", Scope::Send, false,
       [](Parser& p, std::string_view, std::string_view) { return p.result.options.send.raw = true; }},
      {"--seed", Scope::Send, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         const auto value = ParseInteger(v, 0, 0xFFFFFFFF);
         if (!value)
           return p.Fail(std::string(o) + ": '" + std::string(v) + "' is not a number from 0 to 4294967295");
         p.result.options.send.seed = static_cast<std::uint32_t>(*value);
         return true;
       }},
      {"--zero-bytes", Scope::Send, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         std::int64_t count = 0;
         if (!p.Count(o, v, 0, count)) return false;
         if (count > 1'000'000) return p.Fail(std::string(o) + ": at most 1000000 zero bytes");
         p.result.options.send.zeroBytes = static_cast<int>(count);
         return true;
       }},
      {"--mixed-marker", Scope::Send, false,
       [](Parser& p, std::string_view, std::string_view) {
         return p.result.options.send.mixedMarker = true;
       }},
      {"--finish-record", Scope::Send, false,
       [](Parser& p, std::string_view, std::string_view) {
         return p.result.options.send.finishRecord = true;
       }},
      {"--no-finish", Scope::Send, false,
       [](Parser& p, std::string_view, std::string_view) { return p.result.options.send.noFinish = true; }},
      {"--as-if", Scope::Send, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         const std::optional<LineSettings> settings = ParseSentAs(v);
         if (!settings) {
           return p.Fail(
               std::string(o) + ": '" + std::string(v) +
               "' is not BAUD,DATA,PARITY[,STOP] (for example 4800,7,even; BAUD 50 to 1000000, DATA "
               "7 or 8, PARITY none, odd or even, STOP 1 or 2)");
         }
         p.result.options.send.sentAs = settings;
         return true;
       }},
      {"--linger", Scope::Send, true,
       [](Parser& p, std::string_view o, std::string_view v) {
         return p.Milliseconds(o, v, p.result.options.send.linger);
       }},
  };
  return table;
}

bool Parser::Option(std::string_view option, std::optional<std::string_view> value, bool& usedValue) {
  usedValue = false;
  const auto& table = OptionTable();
  const auto row =
      std::find_if(table.begin(), table.end(), [&](const OptionRow& r) { return r.name == option; });
  if (row == table.end()) return Fail("unknown option '" + std::string(option) + "'");
  if (!InScope(option, row->scope)) return false;
  if (!row->takesValue) {
    return row->apply(*this, option, {});
  }
  if (!value) return Fail(std::string(option) + " needs a value");
  usedValue = true;
  return row->apply(*this, option, *value);
}

bool Finish(Parser& p) {
  StationOptions& o = p.result.options;
  if (!p.command) return p.Fail("no command: give 'receive' or 'send'");
  if (p.portGiven && p.nameGiven)
    return p.Fail("--port and --name exclude each other (--name names the station's own port)");
  if (p.portGiven && o.waitOpen) {
    return p.Fail("--wait-open watches the station's own pseudo-terminal; with --port use --wait-enter");
  }
  if (*p.command == Command::Receive) {
    if (!p.positionals.empty())
      return p.Fail("unexpected argument '" + std::string(p.positionals.front()) + "'");
    return true;
  }
  SendOptions& s = o.send;
  if (p.positionals.empty()) return p.Fail("send needs the FILE of records to send");
  if (p.positionals.size() > 1) return p.Fail("unexpected argument '" + std::string(p.positionals[1]) + "'");
  s.filePath = std::string(p.positionals.front());
  if (s.marker && s.raw) return p.Fail("--marker and --raw exclude each other");
  if (!s.marker && !s.raw) return p.Fail("send needs --marker M (one of " + MarkerList() + ") or --raw");
  if (s.raw && s.mixedMarker) return p.Fail("--mixed-marker needs framed records, not --raw");
  if (s.raw && s.finishRecord) return p.Fail("--finish-record needs framed records, not --raw");
  return true;
}

}  // namespace

bool IsSupportedBaudRate(int baudRate) {
  return std::find(kBaudRates.begin(), kBaudRates.end(), baudRate) != kBaudRates.end();
}

bool IsValidPortName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  });
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
  Parser p;
  if (std::any_of(args.begin(), args.end(), [](std::string_view a) { return a == "--help" || a == "-h"; })) {
    p.result.kind = ParsedCommandLine::Kind::Help;
    return p.result;
  }
  bool ok = true;
  bool optionsEnded = false;
  for (std::size_t i = 0; ok && i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
      std::string_view option = arg;
      std::optional<std::string_view> value;
      bool inlineValue = false;
      if (const auto eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
        option = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inlineValue = true;
      } else if (i + 1 < args.size()) {
        value = args[i + 1];
      }
      bool usedValue = false;
      ok = p.Option(option, value, usedValue);
      if (ok && inlineValue && !usedValue) ok = p.Fail(std::string(option) + " takes no value");
      if (ok && usedValue && !inlineValue) ++i;
    } else if (!p.command) {
      if (arg == "receive") {
        p.command = Command::Receive;
      } else if (arg == "send") {
        p.command = Command::Send;
      } else {
        ok = p.Fail("unknown command '" + std::string(arg) + "': give 'receive' or 'send'");
      }
    } else {
      p.positionals.push_back(arg);
    }
  }
  if (ok) ok = Finish(p);
  if (ok) {
    p.result.options.command = *p.command;
    p.result.kind = ParsedCommandLine::Kind::Run;
  } else {
    p.result.kind = ParsedCommandLine::Kind::Error;
  }
  return p.result;
}

std::string UsageText() {
  // The words of the protocol come from the framing table; {NAME} marks where each goes.
  // clang-format off
  std::string text =
      "kestrion-station: a simulated total station for Kestrion, on a pseudo-terminal or a serial port.\n"
      "\n"
      "Usage:\n"
      "  kestrion-station [--port PATH | --name NAME] [--baud N] [--data-bits 7|8] [--parity none|odd|even]\n"
      "                   receive [--out FILE] [hard-peer options]\n"
      "  kestrion-station [same port options] send [--marker M | --raw] FILE [pacing and noise options]\n"
      "\n"
      "Port:\n"
      "{PORT}"
      "  --baud N           4800, 9600, 19200 or 38400 (default 19200)\n"
      "  --data-bits 7|8    default 8; the line always has 2 stop bits\n"
      "  --parity P         none, odd or even (default none)\n"
      "  --wait-open        (pseudo-terminal only) before the first byte, wait until the other side has opened\n"
      "                     the port; 'receive' always waits so\n"
      "  --settle MS        after the other side opened the port, wait MS before the first byte, so that its\n"
      "                     settings and flushes are done (default 200)\n"
      "  --wait-enter       before the first byte, wait for Enter on standard input (any port)\n"
      "  --verbose          report every request and line on standard error\n"
      "\n"
      "receive: the instrument during an upload. It writes '{START}', reads one line up to CR LF, asks\n"
      "again, until the line '{UPLOAD_FINISH}'; the lines go byte for byte, line ends included, to --out FILE\n"
      "or standard output.\n"
      "  --out FILE         write the received lines here: they go to a new file beside FILE, which takes its\n"
      "                     place with the first line (or at the end), so that a run whose port cannot be\n"
      "                     opened leaves FILE as it was\n"
      "  --delay MS         wait MS before each request\n"
      "  --split-start      send the start word in two writes, '{START_HEAD}' and '{START_TAIL}'\n"
      "  --split-pause MS   the pause between the halves (default 150)\n"
      "  --double-start     send the start word twice in one write (still one line expected per request)\n"
      "  --noise-around     send text around the start word: '{NOISE}' before it, CR LF after it\n"
      "  --stall-after N    stop asking after N lines, wait --stall-wait MS (default 2000), exit with 3\n"
      "  --timeout MS       each line must arrive within MS of its request, otherwise exit with 1\n"
      "  Bytes that arrive without a request (a second line for one request) end the exchange with 1.\n"
      "\n"
      "send: the instrument during a download. FILE holds one record per line (CR LF or LF).\n"
      "  --marker M         frame each record as M record M CR LF; M is one of {MARKERS}\n"
      "  --raw              send the bytes of FILE as they stand\n"
      "  Then '{DOWNLOAD_FINISH}' and CR LF. The bytes are paced at the rate of the line settings (1 start\n"
      "  bit, the data bits, the parity bit, 2 stop bits per byte) in writes of 1 to 64 bytes.\n"
      "  --seed N           seed of the write sizes and of the noise (default 1)\n"
      "  --zero-bytes N     put N zero bytes at places spread over the stream\n"
      "  --mixed-marker     frame one record with the next marker of the table instead\n"
      "  --finish-record    add a record that holds '{FINISH}': a copy of one record with ',{FINISH}' appended\n"
      "  --no-finish        leave out the closing '{DOWNLOAD_FINISH}' line\n"
      "  --as-if B,D,P[,S]  send as an instrument set to B baud, D data bits, parity P (none, odd, even) and S\n"
      "                     stop bits (default 2) would to a port at the settings of the line (read back from\n"
      "                     the port; on a pseudo-terminal of the station, from the other end): the bytes\n"
      "                     that a receiver there reads, without the marks of damaged bytes; paced at rate B\n"
      "  --linger MS        (pseudo-terminal) after the last byte, keep the port until the other side closes\n"
      "                     it or MS pass (default 2000): unread bytes are lost when the station closes it\n"
      "\n"
      "Exit status: 0 the exchange completed; 1 it failed (time limit, the other side or the device gone,\n"
      "bytes nobody asked for); 2 bad command line, missing file, port that cannot be opened; 3 stalled as\n"
      "asked by --stall-after; 128+N stopped by signal N. Failures print one line on standard error.\n";
  // clang-format on
  const std::string start = kWordStart;
  const std::pair<std::string_view, std::string> words[] = {
      {"{START_HEAD}", start.substr(0, kSplitStartAt)},
      {"{START_TAIL}", start.substr(kSplitStartAt)},
      {"{START}", start},
      {"{UPLOAD_FINISH}", kWordUploadFinish},
      {"{DOWNLOAD_FINISH}", kWordDownloadFinish},
      {"{FINISH}", kWordFinish},
      {"{NOISE}", std::string(kNoisePrefix)},
      {"{MARKERS}", MarkerList()},
      {"{PORT}", std::string(PortUsage())},
  };
  for (const auto& [token, word] : words) {
    for (std::size_t at = text.find(token); at != std::string::npos;
         at = text.find(token, at + word.size())) {
      text.replace(at, token.size(), word);
    }
  }
  return text;
}

}  // namespace kestrion::station
