// The framing on the line between Kestrion and the total station: the record markers, the control words and
// the framed forms of the records that an upload sends. This header is the one place where a marker or a
// control word is spelt out; everything else asks it.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "text/CString.h"

namespace kestrion {

enum class RecordType { Cpt, Hln, Vln, Tln, Txt, Obs };

struct MarkerInfo {
  char marker;
  RecordType type;
  // Extension of the source files whose records an upload frames with this marker ("" for none).
  std::string_view uploadExtension;
  // Extension of the file that Output writes when this marker was recognised last.
  std::string_view outputExtension;
};

// In recognition order: when a read holds markers of several kinds, the one highest here is handled.
inline constexpr std::array<MarkerInfo, 8> kMarkerTable{{
    {'&', RecordType::Cpt, ".CPT", ".CPT"},
    {'$', RecordType::Hln, ".HLN", ".HLN"},
    {'@', RecordType::Vln, ".VLN", ".VLN"},
    {'^', RecordType::Tln, ".TLN", ".TLN"},
    {'(', RecordType::Txt, "", ".TXT"},
    {')', RecordType::Txt, "", ".TXT"},
    {'#', RecordType::Obs, "", ".OBS"},
    {'!', RecordType::Txt, "", ".TXT"},
}};

// The marker of a record type that has exactly one (CPT, HLN, VLN, TLN, OBS).
constexpr char MarkerOf(RecordType type) {
  for (const MarkerInfo& row : kMarkerTable) {
    if (row.type == type) return row.marker;
  }
  return '\0';
}

// Output's file type when no marker was recognised.
inline constexpr std::string_view kUnmarkedExtension = ".TXT";

// Control words.
inline constexpr const char* kWordStart = "Start";               // the instrument asks for the next line
inline constexpr const char* kWordUploadFinish = "Upload Finish";  // the tool's last upload line
inline constexpr const char* kWordDownloadFinish = "Download Finish";  // the instrument's end of a download
inline constexpr const char* kWordFinish = "Finish";             // what reception looks for to see the end
inline constexpr const char* kLineEnd = "\r\n";
// The closing line as it stands in the upload lines; the sender's end trim turns it into "Upload Finish" CR CR LF.
inline constexpr const char* kClosingLine = "Upload Finish\r\n";

// The first marker, in table order, that begins a character anywhere in `text`; nullptr when there is none.
const MarkerInfo* FindFirstMarker(const CString& text);

// The table row of a marker character, or nullptr.
const MarkerInfo* MarkerByChar(char marker);
// The table row whose upload extension equals `upperExtension` exactly (".CPT", ".HLN", ".VLN", ".TLN").
const MarkerInfo* MarkerForUploadExtension(std::string_view upperExtension);

// marker + record + marker + CR LF: CPT, HLN and VLN records.
CString FrameRecord(char marker, const CString& record);
// "^" + TLN name + "," + record + "^" + CR LF.
CString FrameTlnRecord(const CString& tlnName, const CString& record);
// The same forms appended to `text`, for loops that frame many records into one text.
void AppendFramedRecord(CString& text, char marker, const CString& record);
void AppendFramedTlnRecord(CString& text, const CString& tlnName, const CString& record);

// The line as the upload worker sends it: trailing CRs, then trailing LFs removed, CR LF appended.
CString LineForSending(CString line);

}  // namespace kestrion
