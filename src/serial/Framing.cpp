#include "serial/Framing.h"

namespace kestrion {

const MarkerInfo* FindFirstMarker(const CString& text) {
  for (const MarkerInfo& row : kMarkerTable) {
    if (text.Find(row.marker) >= 0) return &row;
  }
  return nullptr;
}

const MarkerInfo* MarkerByChar(char marker) {
  for (const MarkerInfo& row : kMarkerTable) {
    if (row.marker == marker) return &row;
  }
  return nullptr;
}

const MarkerInfo* MarkerForUploadExtension(std::string_view upperExtension) {
  if (upperExtension.empty()) return nullptr;
  for (const MarkerInfo& row : kMarkerTable) {
    if (row.uploadExtension == upperExtension) return &row;
  }
  return nullptr;
}

CString FrameRecord(char marker, const CString& record) {
  CString framed;
  framed.Reserve(record.GetLength() + 4);
  framed += marker;
  framed += record;
  framed += marker;
  framed += kLineEnd;
  return framed;
}

CString FrameTlnRecord(const CString& tlnName, const CString& record) {
  constexpr char marker = MarkerOf(RecordType::Tln);
  CString framed;
  framed.Reserve(tlnName.GetLength() + record.GetLength() + 5);
  framed += marker;
  framed += tlnName;
  framed += ',';
  framed += record;
  framed += marker;
  framed += kLineEnd;
  return framed;
}

CString LineForSending(CString line) {
  line.TrimRight('\r');
  line.TrimRight('\n');
  line += kLineEnd;
  return line;
}

}  // namespace kestrion
