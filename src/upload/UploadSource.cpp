#include "upload/UploadSource.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/LineForms.h"
#include "datafiles/TextLineReader.h"
#include "serial/Framing.h"

namespace kestrion {
namespace {

constexpr int kExtensionLength = 4;
// Room taken ahead for the data text: the file's size and an eighth for the markers that framing adds. Beyond
// this the text simply grows as it is appended to.
constexpr std::uint64_t kMaxReservation = 1u << 30;

// What a line adds to the text it goes into: its line end, and the markers (and TLN name) of its framing.
const std::int64_t kLineEndLength = CString(kFileLineEnd).GetLength();
const std::int64_t kFramedLength = FrameRecord('$', CString()).GetLength();
const std::int64_t kFramedTlnLength = FrameTlnRecord(CString(), CString()).GetLength();

void ReserveFor(const TextLineReader& reader, CString& data) {
  const std::optional<std::uint64_t> size = reader.SizeHint();
  if (!size || *size >= kMaxReservation) return;
  ReserveText(data, static_cast<int>(*size + *size / 8 + 2));
}

// Reads cleaned lines and remembers how the reading ended. Before a line goes into a text (the data text or a
// road buffer), the reading asks whether the text may grow to the length it would then have; one that would
// pass the limit ends the reading as too big.
class LineSource {
 public:
  LineSource(TextLineReader& reader, std::int64_t limit) : m_reader(reader), m_limit(limit) {}

  bool Next(CString& line) {
    if (m_tooBig) return false;
    const ReadStatus status = m_reader.ReadLine(line);
    if (status == ReadStatus::Error) m_readError = true;
    if (status != ReadStatus::Line) return false;
    CleanLine(line);
    return true;
  }
  // False, and the reading is over, when a text of `length` bytes would not fit.
  bool Fits(std::int64_t length) {
    if (length > m_limit) m_tooBig = true;
    return !m_tooBig;
  }
  bool ReadError() const { return m_readError; }
  bool TooBig() const { return m_tooBig; }

 private:
  TextLineReader& m_reader;
  std::int64_t m_limit;
  bool m_readError = false;
  bool m_tooBig = false;
};

// The length `text` has with `line` and `added` more bytes appended.
std::int64_t LengthWith(const CString& text, const CString& line, std::int64_t added) {
  return std::int64_t{text.GetLength()} + line.GetLength() + added;
}

void AppendLine(CString& text, const CString& line) {
  static const CString lineEnd(kFileLineEnd);
  text += line;
  text += lineEnd;
}

// Where the record lines of one road stand in the data text: they follow its header without a break.
struct RoadSpan {
  int begin = 0;
  int end = 0;
  std::int64_t framedLength = 0;  // of the road's buffer once its records are framed
};

// Builds each road's buffer in one go from its lines in the data text, so that it is sized once instead of
// growing record by record.
void FillRoadBuffers(const CString& data, const std::vector<RoadSpan>& spans, char marker,
                     std::vector<CString>& buffers) {
  static const int lineEndLength = CString(kFileLineEnd).GetLength();
  buffers.resize(spans.size());
  CString record;
  for (std::size_t road = 0; road < spans.size(); ++road) {
    const RoadSpan& span = spans[road];
    CString& buffer = buffers[road];
    buffer.Reserve(static_cast<int>(span.framedLength));
    std::string_view text = data.View().substr(static_cast<std::size_t>(span.begin),
                                               static_cast<std::size_t>(span.end - span.begin));
    while (!text.empty()) {
      // Every line of the data text ends in the file line end, and a cleaned line holds no LF.
      const std::size_t lineEnd = text.find('\n');
      if (lineEnd == std::string_view::npos || lineEnd + 1 < static_cast<std::size_t>(lineEndLength)) break;
      record.Empty();
      record.Append(text.substr(0, lineEnd + 1 - static_cast<std::size_t>(lineEndLength)));
      AppendFramedRecord(buffer, marker, record);
      text.remove_prefix(lineEnd + 1);
    }
  }
}

// ".HLN"/".VLN": the opening line, then roads, up to a line holding the end word (kept in the data text).
void ReadRoadFile(LineSource& lines, char marker, UploadSource& out) {
  CString line;
  if (lines.Next(line)) {
    if (!lines.Fits(LengthWith(out.data, line, kLineEndLength))) return;
    AppendLine(out.data, line);  // the opening line is never examined
  } else if (!lines.ReadError()) {
    out.data = kFileLineEnd;  // empty file
  }
  std::vector<RoadSpan> spans;
  while (lines.Next(line)) {
    if (!lines.Fits(LengthWith(out.data, line, kLineEndLength))) return;
    const LineKind kind = RecogniseLine(line);
    // A record before the first road header belongs to no road: it stays in the data text only.
    const bool record = kind == LineKind::Record && !spans.empty();
    if (record && !lines.Fits(spans.back().framedLength + line.GetLength() + kFramedLength)) return;
    AppendLine(out.data, line);
    if (kind == LineKind::End) break;
    if (kind == LineKind::Header) {
      // Every road gets its buffer, however many there are, so that list entry i always names buffer i.
      out.roadNames.Add(HeaderName(line));
      spans.push_back({out.data.GetLength(), out.data.GetLength(), 0});
    } else if (record) {
      RoadSpan& span = spans.back();
      span.end = out.data.GetLength();
      span.framedLength += line.GetLength() + kFramedLength;
    }
  }
  FillRoadBuffers(out.data, spans, marker, out.roadData);
}

// ".TLN": every record framed with the TLN name of the latest header above it; headers and the end line are
// not kept.
void ReadTlnFile(LineSource& lines, UploadSource& out) {
  CString name;
  CString line;
  while (lines.Next(line)) {
    const LineKind kind = RecogniseLine(line);
    if (kind == LineKind::End) break;
    if (kind == LineKind::Header) {
      name = HeaderName(line);
    } else {
      if (!lines.Fits(LengthWith(out.data, line, name.GetLength() + kFramedTlnLength))) return;
      AppendFramedTlnRecord(out.data, name, line);
    }
  }
}

// ".CPT": every line a record, to the end of the file.
void ReadRecordFile(LineSource& lines, char marker, UploadSource& out) {
  CString line;
  while (lines.Next(line) && lines.Fits(LengthWith(out.data, line, kFramedLength))) {
    AppendFramedRecord(out.data, marker, line);
  }
}

// Any other file: its lines as they are; an empty file still gives one line end.
void ReadPlainFile(LineSource& lines, UploadSource& out) {
  CString line;
  if (lines.Next(line)) {
    if (!lines.Fits(LengthWith(out.data, line, kLineEndLength))) return;
    AppendLine(out.data, line);
  } else if (!lines.ReadError()) {
    out.data = kFileLineEnd;
  }
  while (lines.Next(line) && lines.Fits(LengthWith(out.data, line, kLineEndLength)))
    AppendLine(out.data, line);
}

[[maybe_unused]] char ExtensionByte(char c) {
  return c;
}

[[maybe_unused]] char ExtensionByte(wchar_t c) {
  return static_cast<std::uint32_t>(c) < 0x80 ? static_cast<char>(c) : '\x7F';
}

}  // namespace

CString UploadExtension(const std::filesystem::path& file) {
  // The platform's own characters (UTF-16 on Windows, where a character outside ASCII cannot be part of a
  // known extension and stands as 0x7F), so that no conversion of the name can fail.
  const std::filesystem::path::string_type name = file.filename().native();
  const std::size_t length = name.size() < kExtensionLength ? name.size() : kExtensionLength;
  std::string tail;
  for (const auto c : name.substr(name.size() - length)) tail.push_back(ExtensionByte(c));
  CString extension(tail);
  extension.MakeUpper();
  return extension;
}

CString TextToUpload(std::optional<int> selectedRoad, const std::vector<CString>& roadData, const CString& data) {
  if (!selectedRoad) return data;
  // A selected road is sent even when it has no records; an entry without a buffer has none either.
  const int road = *selectedRoad;
  if (road < 0 || static_cast<std::size_t>(road) >= roadData.size()) return CString();
  return roadData[static_cast<std::size_t>(road)];
}

bool TooBigForText(const std::filesystem::path& file) {
  TextLineReader reader;
  if (!reader.Open(file)) return false;
  const std::optional<std::uint64_t> size = reader.SizeHint();
  return size && *size > static_cast<std::uint64_t>(kMaxTextBytes);
}

LoadResult LoadUploadSource(const std::filesystem::path& file, UploadSource& out, std::int64_t maxTextBytes) {
  out.data.Empty();
  out.roadNames.RemoveAll();
  out.roadData.clear();

  LoadResult result;
  TextLineReader reader;
  if (!reader.Open(file)) {
    result.systemError = reader.Error();
    return result;
  }
  result.opened = true;
  // A file larger than a text is refused by its size, at once; within that the lines tell.
  const std::optional<std::uint64_t> size = reader.SizeHint();
  if (size && *size > static_cast<std::uint64_t>(maxTextBytes)) {
    result.tooBig = true;
    return result;
  }
  ReserveFor(reader, out.data);

  const MarkerInfo* row = MarkerForUploadExtension(UploadExtension(file).View());
  LineSource lines(reader, maxTextBytes);
  const RecordType type = row == nullptr ? RecordType::Txt : row->type;
  switch (type) {
    case RecordType::Hln:
    case RecordType::Vln:
      ReadRoadFile(lines, row->marker, out);
      break;
    case RecordType::Tln:
      ReadTlnFile(lines, out);
      break;
    case RecordType::Cpt:
      ReadRecordFile(lines, row->marker, out);
      break;
    case RecordType::Txt:
    case RecordType::Obs:
      ReadPlainFile(lines, out);
      break;
  }

  result.readError = lines.ReadError();
  result.systemError = reader.Error();
  if (lines.TooBig()) {
    out = UploadSource{};
    result.tooBig = true;
  }
  return result;
}

}  // namespace kestrion
