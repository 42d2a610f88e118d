#include "download/Output.h"

#include <atomic>
#include <cerrno>
#include <map>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "datafiles/LineForms.h"
#include "download/OutputFile.h"
#include "text/Arrays.h"
#include "text/SplitString.h"

namespace kestrion {
namespace {

const CString kLineDelimiter("\n");

bool IsClosingSpace(char ch) { return ch == ' ' || ch == '\r' || ch == '\n'; }

// True when `data` up to `end` ends in `word` standing as a word of its own: it begins a character, and the
// character before it is a blank, CR or LF, or there is none.
bool EndsInWholeWord(const CString& data, int end, const CString& word) {
  const int start = end - word.GetLength();
  if (start < 0 || data.View().substr(static_cast<std::size_t>(start), word.View().size()) != word.View()) {
    return false;
  }
  if (data.CharStartAtOrBefore(start) != start) return false;
  return start == 0 || (IsClosingSpace(data[start - 1]) && data.CharStartAtOrBefore(start - 1) == start - 1);
}

// The words of the instrument's closing text.
CStringArray ClosingWords() {
  CStringArray words;
  SplitString(kWordDownloadFinish, words, " ");
  return words;
}

// The line as it goes into the file: trailing CRs, then trailing LFs, then the trailing run of the branch's
// marker (none for unmarked text). A marker inside the line stays.
CString TrimmedLine(CString line, const MarkerInfo* row) {
  line.TrimCrsThenLfs();
  if (row != nullptr) line.TrimRight(row->marker);
  return line;
}

CString Decimal(std::size_t n) {
  CString text;
  text.Format("%zu", n);
  return text;
}

CStringArray LinesOf(const CString& data) {
  CStringArray lines;
  SplitString(data, lines, kLineDelimiter);
  return lines;
}

// Appends each line as it goes into the file; returns how many of them are records (not left empty).
std::size_t AppendTrimmedLines(CString& out, const CStringArray& lines, const MarkerInfo* row) {
  std::size_t records = 0;
  for (const CString& line : lines) {
    const CString trimmed = TrimmedLine(line, row);
    if (!trimmed.IsEmpty()) ++records;
    out += trimmed + kFileLineEnd;
  }
  return records;
}

CString PlainFile(const CString& data, const MarkerInfo* row, std::size_t& records) {
  CString out;
  records = AppendTrimmedLines(out, LinesOf(data), row);
  return out;
}

// One road named Default; the count includes the lines that the trims leave empty.
CString SingleRoadFile(const CString& data, const MarkerInfo* row, std::size_t& records) {
  const CStringArray lines = LinesOf(data);
  CString out = CString(kOpeningLine) + kFileLineEnd;
  out += HeaderLine(kDefaultRoadName, Decimal(static_cast<std::size_t>(lines.GetSize()))) + kFileLineEnd;
  records = AppendTrimmedLines(out, lines, row);
  out += CString(kEndWord) + kFileLineEnd;
  return out;
}

// Consecutive records of one TLN name make a road. The first record always starts a road, also when its TLN name
// is empty, so that every road's header, records and count stay together.
CString TlnFile(const CString& data, const MarkerInfo* row, std::size_t& records) {
  struct Road {
    CString name;
    CString block;
    std::size_t count = 0;
  };
  std::vector<Road> roads;
  for (const CString& line : LinesOf(data)) {
    const CString record = TrimmedLine(line, row);
    const int comma = record.Find(kHeaderSeparator);
    if (comma < 0) continue;  // no TLN name: not a TLN record
    const CString name = record.Left(comma);
    if (roads.empty() || roads.back().name != name) roads.push_back(Road{name, CString(), 0});
    roads.back().block += record.Mid(comma + 1) + kFileLineEnd;
    ++roads.back().count;
  }
  CString out;
  records = 0;
  for (const Road& road : roads) {
    out += HeaderLine(road.name, Decimal(road.count)) + kFileLineEnd + road.block;
    records += road.count;
  }
  return out;
}

// Records are grouped by field 1 under the value of field 2; a group name seen again joins its first group: after
// the first group's own records come those of its later occurrences, the last occurrence first.
CString ObsFile(const CString& data, const MarkerInfo* row, std::size_t& records) {
  constexpr int kFieldsNeeded = 9;
  constexpr int kWrittenFields[] = {0, 4, 5, 6, 7, 8};
  struct Group {
    CString name;
    CString value;
    CString block;
  };
  std::vector<Group> groups;
  CStringArray fields;
  records = 0;
  for (const CString& line : LinesOf(data)) {
    SplitString(TrimmedLine(line, row), fields, CString(std::string_view(&kFieldSeparator, 1)));
    if (fields.GetSize() < kFieldsNeeded) continue;  // not an observation record
    if (groups.empty() || groups.back().name != fields[1]) groups.push_back(Group{fields[1], fields[2], CString()});
    CString record = fields[kWrittenFields[0]];
    for (const int field : std::span(kWrittenFields).subspan(1)) {
      record += kFieldSeparator;
      record += fields[field];
    }
    groups.back().block += record + kFileLineEnd;
    ++records;
  }

  std::vector<Group> merged;
  std::vector<std::vector<std::size_t>> later;  // per merged group: indexes of its later occurrences
  std::map<CString, std::size_t> firstOf;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const auto [it, isFirst] = firstOf.emplace(groups[i].name, merged.size());
    if (isFirst) {
      merged.push_back(groups[i]);
      later.emplace_back();
    } else {
      later[it->second].push_back(i);
    }
  }
  CString out;
  for (std::size_t g = 0; g < merged.size(); ++g) {
    out += HeaderLine(merged[g].name, merged[g].value) + kFileLineEnd + merged[g].block;
    for (auto i = later[g].rbegin(); i != later[g].rend(); ++i) out += groups[*i].block;
  }
  return out;
}

std::filesystem::path FullPath(const std::filesystem::path& path) {
  // A path that begins with two separators is full: on Windows a share's ("\\host\share\..."), which MinGW's
  // library would otherwise put on the current drive, its two separators folded into one.
  const std::filesystem::path::string_type& text = path.native();
  const auto separator = [&text](std::size_t at) {
    return text[at] == '/' || text[at] == std::filesystem::path::preferred_separator;
  };
  if (text.size() >= 2 && separator(0) && separator(1)) return path;
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal();
}

// The system gives up following links after this many, and so does Output.
constexpr int kMaxLinks = 40;

// Where a direct write to `path` would write: through every link at the name to the first name that is no
// link, which may not exist yet (a dangling link's target is created). A link's relative target is taken from
// the link's folder, unnormalised, as the system takes it. Nothing when the links do not end.
std::optional<std::filesystem::path> WrittenThrough(const std::filesystem::path& path) {
  std::filesystem::path at = path;
  for (int links = 0; links <= kMaxLinks; ++links) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(at, error))) return at;
    const std::filesystem::path target = std::filesystem::read_symlink(at, error);
    if (error) return at;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path output_file::TemporaryBeside(const std::filesystem::path& target, std::uint64_t processId,
                                                   unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  std::string name = ".kestrion-";
  name += std::to_string(processId);
  name += '-';
  name += std::to_string(counter.fetch_add(1));
  name += '-';
  name += std::to_string(attempt);
  name += ".tmp";
  return target.parent_path() / name;
}

CString CutClosingText(CString data) {
  const CStringArray words = ClosingWords();
  // The end moves back over the closing text and the text is cut once, so that a long run of closing words
  // costs its length and not a copy of the text per word. The bytes stepped over are one-byte characters
  // (a blank, CR and LF never follow a lead byte as its second byte; the words are ASCII).
  int end = data.GetLength();
  for (;;) {
    while (end > 0 && IsClosingSpace(data[end - 1]) && data.CharStartAtOrBefore(end - 1) == end - 1) --end;
    bool cut = false;
    for (const CString& word : words) {
      if (EndsInWholeWord(data, end, word)) {
        end -= word.GetLength();
        cut = true;
        break;
      }
    }
    if (!cut) break;
  }
  return end == data.GetLength() ? data : data.Left(end);
}

std::filesystem::path OutputBaseName(const std::filesystem::path& chosen) {
  // In the platform's own characters (UTF-16 on Windows), so that no conversion can lose or misplace one.
  std::filesystem::path::string_type name = chosen.filename().native();
  for (int i = 0; i < 2; ++i) {
    const std::size_t dot = name.rfind(std::filesystem::path::value_type{'.'});
    if (dot != std::filesystem::path::string_type::npos) name.resize(dot);
  }
  std::filesystem::path base = chosen;
  base.replace_filename(name);
  return base;
}

OutputPlan BuildOutput(const CString& data, const CString& lastMarker) {
  const MarkerInfo* row = lastMarker.GetLength() == 1 ? MarkerByChar(lastMarker[0]) : nullptr;
  OutputPlan plan;
  plan.extension = std::string(row != nullptr ? row->outputExtension : kUnmarkedExtension);
  switch (row != nullptr ? row->type : RecordType::Txt) {
    case RecordType::Hln:
    case RecordType::Vln:
      plan.layout = OutputLayout::SingleRoad;
      plan.bytes = SingleRoadFile(data, row, plan.recordLines);
      break;
    case RecordType::Tln:
      plan.layout = OutputLayout::Tln;
      plan.bytes = TlnFile(data, row, plan.recordLines);
      break;
    case RecordType::Obs:
      plan.layout = OutputLayout::Obs;
      plan.bytes = ObsFile(data, row, plan.recordLines);
      break;
    case RecordType::Cpt:
    case RecordType::Txt:
      plan.layout = OutputLayout::Plain;
      plan.bytes = PlainFile(data, row, plan.recordLines);
      break;
  }
  return plan;
}

std::string WriteResult::Reason() const {
  if (inUse) return kInUseReason;
  return std::generic_category().message(systemError);
}

WriteResult WriteReplacing(const std::filesystem::path& target, std::string_view bytes) {
  WriteResult result;
  result.path = FullPath(target);
  // The file that a link at the name leads to is the one replaced, never the link.
  const std::optional<std::filesystem::path> destination = WrittenThrough(result.path);
  if (!destination) {
    result.kind = WriteResult::CannotCreate;
    result.systemError = ELOOP;
    return result;
  }
  output_file::ReplaceThroughTemporary(*destination, bytes, result);
  return result;
}

WriteResult OutputData(CString& data, const CString& lastMarker, const std::filesystem::path& chosen) {
  std::filesystem::path target = OutputBaseName(chosen);
  data = CutClosingText(data);
  const OutputPlan plan = BuildOutput(data, lastMarker);
  target += plan.extension;
  WriteResult result = WriteReplacing(target, plan.bytes.View());
  result.recordLines = plan.recordLines;
  return result;
}

}  // namespace kestrion
