// The transfer report over arbitrary reads: the judgement, the probe and the start-word comparison must take
// any bytes, any marks and any order of the operator's commands, and whatever they say must make sense: a
// warning names a verdict, a named rate is one the lists offer and never the port's own, a format has 7 or 8
// data bits; and a stream scanned read by read counts as it does in one piece.
//
// Input: the port's setting (an index into the offered ones), then operations, each led by a byte: its low three
// bits choose a read without marks, a read with marks, the upload's status growing, a poll's error counts,
// Clear data, an output, or closing and opening the port; the next byte gives a length, the bytes follow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "transfer/TransferReport.h"

namespace {

using fuzzing::Check;
using namespace kestrion;

void CheckWarning(const TransferReport& report, const LineSettings& port) {
  const std::optional<LineWarning>& warning = report.Warning();
  if (!warning) return;
  Check(WarnsOfSettings(warning->verdict));
  const SettingsSuggestion& s = warning->suggestion;
  if (s.kind == SettingsSuggestion::Kind::Rate || s.kind == SettingsSuggestion::Kind::RateAndFormat) {
    bool offered = false;
    for (const LineSettings& o : OfferedSettings()) offered = offered || o.baudRate == s.baudRate;
    Check(offered);
    Check(s.baudRate != port.baudRate);
  }
  if (s.kind == SettingsSuggestion::Kind::RateAndFormat) Check(s.dataBits == 7 || s.dataBits == 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const LineSettings port = OfferedSettings()[input.Byte() % OfferedSettings().size()];
  TransferReport report;
  report.ConnectionOpened(port);
  Reception reception;
  CString text;
  CString marker;
  std::string status;
  std::string all;  // every read's bytes, for the scanner in one piece
  StreamScanner pieces;  // without the marks
  LineErrorCounts errors;
  while (!input.Empty()) {
    const std::uint8_t op = input.Byte();
    const std::string_view bytes = input.Bytes(input.Byte());
    switch (op & 7) {
      case 0:
      case 1: {
        ChunkRead read{true, CString(fuzzing::WithoutZeros(bytes)), 0};
        read.zeroBytes = static_cast<int>(bytes.size() - read.chunk.View().size());
        std::vector<LineMark> marks;
        if ((op & 7) == 1) {
          for (const char ch : bytes) marks.push_back(static_cast<LineMark>(static_cast<unsigned char>(ch) % 4));
        }
        const RawRead raw{bytes, marks};
        report.ReadArrived(read, reception.Step(text, marker, read.chunk), errors, &raw);
        pieces.Scan(bytes);
        all += bytes;
        break;
      }
      case 2:
        status += fuzzing::WithoutZeros(bytes);
        report.UploadStatusSeen(status, errors);
        break;
      case 3:
        errors.framing += op >> 3;
        errors.breaks += bytes.size() % 3;
        errors.overruns += bytes.size() % 2;
        report.LinePolled(errors);
        break;
      case 4:
        report.DataReplaced();
        text = CString();
        reception.Restart();
        break;
      case 5:
        report.OutputWritten(WriteResult{});
        break;
      default:
        report.ConnectionClosed();
        report.ConnectionOpened(port);
        status.clear();
        report.UploadStarted();
        break;
    }
    CheckWarning(report, port);
  }
  StreamScanner whole;
  whole.Scan(all);
  Check(whole.Survey() == pieces.Survey());
  return 0;
}
