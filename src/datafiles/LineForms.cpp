#include "datafiles/LineForms.h"

#include <string_view>

namespace kestrion {

CString HeaderLine(const CString& name, const CString& value) {
  CString line(kHeaderPrefix);
  line += name;
  line += kHeaderSeparator;
  line += value;
  return line;
}

bool IsEndLine(const CString& line) {
  static const CString endWord(kEndWord);
  return line.Find(endWord) >= 0;
}

bool IsHeaderLine(const CString& line) {
  return line.View().starts_with(kHeaderPrefix);
}

LineKind RecogniseLine(const CString& cleanedLine) {
  if (IsEndLine(cleanedLine)) return LineKind::End;
  if (IsHeaderLine(cleanedLine)) return LineKind::Header;
  return LineKind::Record;
}

CString HeaderName(const CString& headerLine) {
  const int separator = headerLine.Find(kHeaderSeparator);
  if (separator < 0) return CString();
  const int nameStart = static_cast<int>(std::string_view(kHeaderPrefix).size());
  return headerLine.Mid(nameStart, separator - nameStart);
}

void CleanLine(CString& line) {
  // A line as read rarely ends in either byte; most lines need no trimming at all.
  const int length = line.GetLength();
  if (length == 0 || (line[length - 1] != '\r' && line[length - 1] != '\n')) return;
  line.TrimCrsThenLfs();
}

}  // namespace kestrion
