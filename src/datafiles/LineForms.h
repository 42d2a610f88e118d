// The lines that Kestrion itself puts into data files or recognises in them. The reader (Browse) and the
// writer (Output) both take them from here.
#pragma once

#include "text/CString.h"

namespace kestrion {

inline constexpr const char* kOpeningLine = "BeginRoad,1";  // first line of a road file as written
inline constexpr const char* kHeaderPrefix = ">>";          // road header and OBS group header
inline constexpr char kHeaderSeparator = ',';               // ends the name in a header
inline constexpr char kFieldSeparator = ',';                // between the fields of a record
inline constexpr const char* kEndWord = "EndRoad";          // a line holding it ends a road or TLN file
inline constexpr const char* kDefaultRoadName = "Default";  // the one road of a written road file
inline constexpr const char* kFileLineEnd = "\r\n";         // every line written ends so

// ">>" + name + "," + value: a road header (value = record count) or an OBS group header.
CString HeaderLine(const CString& name, const CString& value);

// What a cleaned line of a road or TLN file is when read. The rules apply in this order, so a header or a
// record that holds the end word ends the file.
enum class LineKind { End, Header, Record };
LineKind RecogniseLine(const CString& cleanedLine);
// True when the line holds the end word anywhere (exact, case-sensitive).
bool IsEndLine(const CString& line);
// True when the line's first two bytes are the header prefix.
bool IsHeaderLine(const CString& line);

// The name of a header: the text between ">>" and the first "," of the line; empty when the line has no ",".
// Whatever follows that comma (the count or group value) is not read.
CString HeaderName(const CString& headerLine);

// A line as read, without its line end, made ready to be examined: every trailing CR removed, then every
// trailing LF. Blanks at either end stay.
void CleanLine(CString& line);

}  // namespace kestrion
