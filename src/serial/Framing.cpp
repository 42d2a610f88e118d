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

void AppendFramedRecord(CString& text, char marker, const CString& record) {
  static const CString lineEnd(kLineEnd);
  text += marker;
  text += record;
  text += marker;
  text += lineEnd;
}

void AppendFramedTlnRecord(CString& text, const CString& tlnName, const CString& record) {
  static const CString lineEnd(kLineEnd);
  constexpr char marker = MarkerOf(RecordType::Tln);
  text += marker;
  text += tlnName;
  text += ',';
  text += record;
  text += marker;
  text += lineEnd;
}

CString FrameRecord(char marker, const CString& record) {
  CString framed;
  framed.Reserve(record.GetLength() + 4);
  AppendFramedRecord(framed, marker, record);
  return framed;
}

CString FrameTlnRecord(const CString& tlnName, const CString& record) {
  CString framed;
  framed.Reserve(tlnName.GetLength() + record.GetLength() + 5);
  AppendFramedTlnRecord(framed, tlnName, record);
  return framed;
}

CString LineForSending(CString line) {
  line.TrimCrsThenLfs();
  line += kLineEnd;
  return line;
}

}  // namespace kestrion
