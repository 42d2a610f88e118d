// The system's side of WriteReplacing, one file per platform (OutputFilePosix.cpp, OutputFileWin32.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "download/Output.h"

namespace kestrion::output_file {

// A name beside the target that no other writer uses: hidden, with the process id and a counter. It does not
// repeat the target's name, so that it fits the folder's limit on names whatever the target's length.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target, std::uint64_t processId,
                                      unsigned attempt);

// Writes `bytes` to a new file beside `destination` (a file, not a link), flushes it to the disk and renames it
// over `destination`. A failure sets the kind and system error of `result` and leaves no new file behind.
void ReplaceThroughTemporary(const std::filesystem::path& destination, std::string_view bytes,
                             WriteResult& result);

}  // namespace kestrion::output_file
