// Browse's reading of an upload source: the data text, and for a road file its road names and road buffers,
// with every record framed in the marker of its file type.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "text/Arrays.h"
#include "text/CString.h"

namespace kestrion {

struct UploadSource {
  CString data;            // the file's lines as the data box shows them
  CStringArray roadNames;  // one entry per road header of a road file, in file order
  // Buffer i holds the framed records of road i, each followed by CR LF; always as many as roadNames.
  std::vector<CString> roadData;
};

struct LoadResult {
  bool opened = false;     // false: the file could not be opened, nothing was read
  bool readError = false;  // a read failed; the load ended at that line and keeps what it had appended
  bool tooBig = false;     // the file would not fit in a text (kMaxTextBytes); nothing is kept
  int systemError = 0;     // errno of the failed open or read
};

// A text's length is an int: a file whose text (line ends made CR LF, markers added) could pass this is refused.
inline constexpr std::int64_t kMaxTextBytes = 0x7FFFFFFF;

// The extension that decides how a file is read: the last four bytes of its file name (all of it when
// shorter), with a-z upper-cased, so that "R1.hln" gives ".HLN".
CString UploadExtension(const std::filesystem::path& file);

// True when `file` is a regular file larger than kMaxTextBytes, which LoadUploadSource would refuse.
bool TooBigForText(const std::filesystem::path& file);

// Replaces `out` with what `file` holds, read by the procedure of its extension: ".HLN"/".VLN" as road files,
// ".TLN" records under their TLN names, ".CPT" one record per line, any other file as plain lines.
LoadResult LoadUploadSource(const std::filesystem::path& file, UploadSource& out);

}  // namespace kestrion
