// The Output command's core: the downloaded data text becomes the bytes of one data file, whose type follows the
// marker that reception recognised last, and those bytes replace the file at the chosen name in one step.
//
// Making the bytes and writing them are kept apart, so that every layout can be checked byte for byte without a
// disk, and the write can be checked for what it leaves behind when it fails.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "serial/Framing.h"
#include "text/CString.h"

namespace kestrion {

// How the lines of the data text are laid out in the file.
enum class OutputLayout { Plain, SingleRoad, Tln, Obs };

struct OutputPlan {
  std::string extension;  // ".CPT", ".HLN", ".VLN", ".TLN", ".OBS" or ".TXT"
  OutputLayout layout = OutputLayout::Plain;
  CString bytes;  // the whole file
  std::size_t recordLines = 0;  // records the file holds: its lines but the opening, header, end and empty ones
};

// The data text without its closing text: the trailing CRs, LFs and blanks, and the words of "Download Finish"
// standing among them as whole words. A last record that merely ends in such letters keeps them.
CString CutClosingText(CString data);

// The chosen file name without its extensions (at most two); folder names are never cut, dots or not.
std::filesystem::path OutputBaseName(const std::filesystem::path& chosen);

// The file for `data` (already cut) when `lastMarker` was the marker recognised last: its extension and bytes.
OutputPlan BuildOutput(const CString& data, const CString& lastMarker);

// The reason of a CannotCreate for a file that another program holds open.
inline constexpr const char* kInUseReason = "in use by another program";

struct WriteResult {
  enum Kind {
    Ok,
    CannotCreate,  // the file could not be made at that name (folder missing or not writable, a folder there)
    WriteFailed,   // writing or closing failed part-way (the disk is full, a size limit): "Disk full ..."
  };
  Kind kind = Ok;
  int systemError = 0;          // errno of the failure (on Windows the system's error as its errno value)
  // CannotCreate because another program has the file open and will not let it be replaced or written (only
  // Windows keeps a file so); systemError then says "permission denied" as the system does.
  bool inUse = false;
  std::filesystem::path path;   // the full path of the file, for the window's message
  std::size_t recordLines = 0;  // the records the file holds (OutputData)

  explicit operator bool() const { return kind == Ok; }
  // The system's wording of systemError (kInUseReason when inUse), for a message to the operator.
  std::string Reason() const;
};

// Writes `bytes` as the whole content of `target`, replacing a file of that name without asking. The bytes go
// to a new file in the same folder first, readable by its owner alone, which is flushed to the disk and then
// renamed over the target: a failure at any point leaves an earlier file of that name as it was and no new
// file behind. Before the rename the new file takes the old one's permissions (and group, where the system
// allows it); a new target gets those of a direct create. A link at the name, dangling or not, is written
// through: the file where it leads is replaced or created, and the link stays. A file that may not be written
// (no write permission; on Windows, read-only) is refused with CannotCreate, not replaced.
//
// On Windows a file that another program has open cannot be renamed over, though it may often still be
// written: the rename is tried for about a second, then the file is written in place as a direct write does
// (a failure part-way then leaves it cut short, as it would that write). When neither can be done, the result
// says so (inUse).
WriteResult WriteReplacing(const std::filesystem::path& target, std::string_view bytes);

// The command's work once the operator has chosen a file: cuts the closing text off `data` (in place, and it
// stays cut whatever follows), lays the file out by `lastMarker` and writes it at the chosen base name with the
// type's extension. The result names the file in every case.
WriteResult OutputData(CString& data, const CString& lastMarker, const std::filesystem::path& chosen);

}  // namespace kestrion
