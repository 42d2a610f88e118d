// The system's side of TextLineReader, one file per platform (TextFilePosix.cpp, TextFileWin32.cpp): a file held
// by a C runtime descriptor, errors as errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace kestrion::text_file {

// A descriptor of the regular file `file` opened for reading, or -1 with `error` set. Anything else is
// refused before a byte of it is read, as a file that cannot be opened: a folder with EISDIR, a device, a
// FIFO or a socket with ENXIO (a serial port or a FIFO would block the reader until data came, /dev/zero
// would never end). The kind is told by the opened descriptor, so a name that changes meanwhile cannot slip
// past.
int OpenForReading(const std::filesystem::path& file, int& error);
// Reads at most `size` bytes into `buffer`: how many, 0 at the end, or -1 with `error` set.
std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size, int& error);
void CloseFile(int fd);
// The size of a regular file; nothing for other kinds of file or when it cannot be told.
std::optional<std::uint64_t> RegularFileSize(int fd);
// Asks the system to back the memory from `begin` on (`size` bytes, not yet touched) by large pages where it
// can: a text of many megabytes faults in one small page at a time otherwise, which costs more than reading
// the file it is made of.
void PreferLargePages(const char* begin, std::size_t size);

}  // namespace kestrion::text_file
