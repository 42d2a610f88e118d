// Browse's reading of an upload source: the data text, and for a road file its road names and road buffers,
// with every record framed in the marker of its file type.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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
  bool opened = false;     // false: the file could not be opened or is no regular file, nothing was read
  bool readError = false;  // a read failed; the load ended at that line and keeps what it had appended
  bool tooBig = false;     // the file would not fit in a text (kMaxTextBytes); nothing is kept
  int systemError = 0;     // errno of the failed open or read
};

// A text's length is an int: a file whose data text or road buffer (line ends made CR LF, markers added)
// would pass this is refused, and so is a file larger than this.
inline constexpr std::int64_t kMaxTextBytes = 0x7FFFFFFF;

// The extension that decides how a file is read: the last four bytes of its file name (all of it when
// shorter), with a-z upper-cased, so that "R1.hln" gives ".HLN".
CString UploadExtension(const std::filesystem::path& file);

// What Upload sends: the buffer of the selected road (empty when it has none), or the data text when no road is
// selected.
CString TextToUpload(std::optional<int> selectedRoad, const std::vector<CString>& roadData, const CString& data);

// True when `file` is a regular file larger than kMaxTextBytes, which LoadUploadSource refuses without
// reading it. A smaller file may still make too long a text, which only the load can tell.
bool TooBigForText(const std::filesystem::path& file);

// Replaces `out` with what `file` holds, read by the procedure of its extension: ".HLN"/".VLN" as road files,
// ".TLN" records under their TLN names, ".CPT" one record per line, any other file as plain lines. A text
// that would grow past `maxTextBytes` (smaller than kMaxTextBytes only in tests) ends the load as too big.
LoadResult LoadUploadSource(const std::filesystem::path& file, UploadSource& out,
                            std::int64_t maxTextBytes = kMaxTextBytes);

}  // namespace kestrion
