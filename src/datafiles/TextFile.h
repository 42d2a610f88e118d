// The system's side of TextLineReader, one file per platform (TextFilePosix.cpp, TextFileWin32.cpp): a file held
// by a C runtime descriptor, errors as errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace kestrion::text_file {

// A descriptor of `file` opened for reading, or -1 with `error` set.
int OpenForReading(const std::filesystem::path& file, int& error);
// Reads at most `size` bytes into `buffer`: how many, 0 at the end, or -1 with `error` set.
std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size, int& error);
void CloseFile(int fd);
// The size of a regular file; nothing for other kinds of file or when it cannot be told.
std::optional<std::uint64_t> RegularFileSize(int fd);

}  // namespace kestrion::text_file
