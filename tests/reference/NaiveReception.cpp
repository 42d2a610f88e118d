#include "reference/NaiveReception.h"

namespace kestrion {
namespace {

int CountOf(const CString& data, const CString& word) {
  int count = 0;
  for (int at = data.Find(word); at >= 0; at = data.Find(word, at + word.GetLength())) ++count;
  return count;
}

}  // namespace

void FinishDataText(CString& data) {
  data.Replace(kWordDownloadFinish, CString());
  data.TrimRight();
  data += kLineEnd;
}

ReceptionStep NaiveReception::Step(CString& data, CString& lastMarker, const CString& chunk) {
  const int finishesBefore = CountOf(data, kWordFinish);

  ReceptionStep result;
  CString piece = chunk;
  // The chunk's marker, looked for in the text it joins: the first in table order that begins a character of
  // the joined text at or after the old end.
  const CString joined = data + chunk;
  for (const MarkerInfo& row : kMarkerTable) {
    if (joined.Find(row.marker, data.GetLength()) >= 0) {
      result.marker = &row;
      break;
    }
  }
  if (result.marker != nullptr) {
    piece.Remove('\r');
    piece.Remove('\n');
    data += piece;
    data.Replace(result.marker->marker, kLineEnd);
    lastMarker = CString(std::string_view(&result.marker->marker, 1));
  } else {
    data += piece;
  }
  result.finished = CountOf(data, kWordFinish) > finishesBefore;
  if (result.finished) FinishDataText(data);
  return result;
}

}  // namespace kestrion
