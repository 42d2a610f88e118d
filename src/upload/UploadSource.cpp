#include "upload/UploadSource.h"

#include <string>
#include <utility>

#include "datafiles/LineForms.h"
#include "datafiles/TextLineReader.h"
#include "serial/Framing.h"

namespace kestrion {
namespace {

constexpr int kExtensionLength = 4;

// Reads cleaned lines and remembers how the reading ended.
class LineSource {
 public:
  explicit LineSource(TextLineReader& reader) : m_reader(reader) {}

  bool Next(CString& line) {
    const ReadStatus status = m_reader.ReadLine(line);
    if (status == ReadStatus::Error) m_readError = true;
    if (status != ReadStatus::Line) return false;
    line = CleanLine(std::move(line));
    return true;
  }
  bool ReadError() const { return m_readError; }

 private:
  TextLineReader& m_reader;
  bool m_readError = false;
};

void AppendLine(CString& text, const CString& line) {
  text += line;
  text += kFileLineEnd;
}

// ".HLN"/".VLN": the opening line, then roads, up to a line holding the end word (kept in the data text).
void ReadRoadFile(LineSource& lines, char marker, UploadSource& out) {
  CString line;
  if (lines.Next(line)) {
    AppendLine(out.data, line);  // the opening line is never examined
  } else if (!lines.ReadError()) {
    out.data = kFileLineEnd;  // empty file
  }
  while (lines.Next(line)) {
    AppendLine(out.data, line);
    const LineKind kind = RecogniseLine(line);
    if (kind == LineKind::End) break;
    if (kind == LineKind::Header) {
      // Every road gets its buffer, however many there are, so that list entry i always names buffer i.
      out.roadNames.Add(HeaderName(line));
      out.roadData.emplace_back();
    } else if (!out.roadData.empty()) {
      out.roadData.back() += FrameRecord(marker, line);
    }
    // A record before the first road header belongs to no road: it stays in the data text only.
  }
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
      out.data += FrameTlnRecord(name, line);
    }
  }
}

// ".CPT": every line a record, to the end of the file.
void ReadRecordFile(LineSource& lines, char marker, UploadSource& out) {
  CString line;
  while (lines.Next(line)) out.data += FrameRecord(marker, line);
}

// Any other file: its lines as they are; an empty file still gives one line end.
void ReadPlainFile(LineSource& lines, UploadSource& out) {
  CString line;
  if (lines.Next(line)) {
    AppendLine(out.data, line);
  } else if (!lines.ReadError()) {
    out.data = kFileLineEnd;
  }
  while (lines.Next(line)) AppendLine(out.data, line);
}

}  // namespace

CString UploadExtension(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  const std::size_t length = name.size() < kExtensionLength ? name.size() : kExtensionLength;
  CString extension(std::string_view(name).substr(name.size() - length));
  extension.MakeUpper();
  return extension;
}

LoadResult LoadUploadSource(const std::filesystem::path& file, UploadSource& out) {
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

  const MarkerInfo* row = MarkerForUploadExtension(UploadExtension(file).View());
  LineSource lines(reader);
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
  return result;
}

}  // namespace kestrion
