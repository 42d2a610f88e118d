// The lines that Kestrion itself puts into data files or recognises in them. The reader (Browse) and the writer
// (Output) both take them from here.
#pragma once

namespace kestrion {

inline constexpr const char* kOpeningLine = "BeginRoad,1";  // first line of a road file as written
inline constexpr const char* kHeaderPrefix = ">>";          // road header and OBS group header
inline constexpr const char* kEndWord = "EndRoad";          // a line holding it ends a road or TLN file
inline constexpr const char* kDefaultRoadName = "Default";  // the one road of a written road file
inline constexpr const char* kFileLineEnd = "\r\n";  // every line written ends so

}  // namespace kestrion
