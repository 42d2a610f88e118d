#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "datafiles/SystemPath.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/PseudoTerminal.h"
#endif

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "common/ScratchDir.h"
#include "common/TestNames.h"
#include "datafiles/TextLineReader.h"

namespace kestrion {
namespace {

using namespace std::string_literals;
using testing_support::ScratchDir;

std::vector<std::string> ReadAll(TextLineReader& reader) {
  std::vector<std::string> lines;
  CString line;
  while (reader.ReadLine(line) == ReadStatus::Line) lines.push_back(line.Bytes());
  return lines;
}

struct LinesCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;  // as read, before cleaning
};

class LinesOfAFile : public testing::TestWithParam<LinesCase> {};

// Every row is read with buffers so small that line ends, CR LF pairs and 0x1A fall across reads.
TEST_P(LinesOfAFile, SameAtEveryBufferSize) {
  ScratchDir dir;
  const auto file = dir.Write("f.txt", GetParam().bytes);
  for (const std::size_t chunk :
       {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, TextLineReader::kDefaultChunkSize}) {
    SCOPED_TRACE(chunk);
    TextLineReader reader(chunk);
    ASSERT_TRUE(reader.Open(file));
    EXPECT_EQ(ReadAll(reader), GetParam().lines);
    CString line = "untouched";
    EXPECT_EQ(reader.ReadLine(line), ReadStatus::End) << "the end stays the end";
    EXPECT_EQ(reader.Error(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    TextMode, LinesOfAFile,
    testing::Values(LinesCase{"EmptyFileHasNoLines", "", {}},
                    LinesCase{"LastLineWithoutLineEndCounts", "a\r\nbc", {"a", "bc"}},
                    LinesCase{"LineEndAtTheEndMakesNoExtraLine", "a\r\nb\r\n", {"a", "b"}},
                    LinesCase{"LfAloneEndsALine", "a\nb\n", {"a", "b"}},
                    LinesCase{"CrCrLfKeepsOneCr", "a\r\r\nb", {"a\r", "b"}},
                    LinesCase{"LoneCrStaysInTheLine", "a\rb\r\n", {"a\rb"}},
                    LinesCase{"CrAtTheVeryEndStays", "a\r", {"a\r"}},
                    LinesCase{"LfCrIsLineEndThenCr", "a\n\rb", {"a", "\rb"}},
                    LinesCase{"BlankLinesAreLines", "\r\n\n\r\n", {"", "", ""}},
                    LinesCase{"BlanksKept", "  a \t\r\n", {"  a \t"}},
                    LinesCase{"CtrlZInTheMiddleEndsTheFile", "a\r\nb\x1A"s + "c\r\nd\r\n", {"a", "b"}},
                    LinesCase{"CtrlZFirstMeansEmpty", "\x1A"s + "abc\r\n", {}},
                    LinesCase{"CtrlZAfterALineEnd", "a\r\n\x1A\r\n", {"a"}},
                    LinesCase{"CrBeforeCtrlZStays", "a\r\x1A\n", {"a\r"}},
                    LinesCase{"ZeroBytesDroppedRestKept", "a\0b\0\0c\r\nd"s, {"abc", "d"}},
                    LinesCase{"LineOfZeroBytesIsAnEmptyLine", "\0\0\r\nx"s, {"", "x"}},
                    LinesCase{"ChineseBytesAsTheyAre",
                              "\xB5\xC0\xC2\xB7,1\r\n\x81\r\n\xFE\x40\n",
                              {"\xB5\xC0\xC2\xB7,1", "\x81", "\xFE\x40"}}),
    testing_support::RowName());

TEST(TextLineReader, LinesLongerThanTheBufferComeWhole) {
  ScratchDir dir;
  const std::string longLine(3 * TextLineReader::kDefaultChunkSize + 17, 'x');
  const auto file = dir.Write("long.cpt", longLine + "\r\n" + longLine + "y");
  TextLineReader reader;
  ASSERT_TRUE(reader.Open(file));
  EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{longLine, longLine + "y"}));
}

TEST(TextLineReader, MissingFileCannotBeOpened) {
  ScratchDir dir;
  TextLineReader reader;
  EXPECT_FALSE(reader.Open(dir.Path() / "absent.hln"));
  EXPECT_EQ(reader.Error(), ENOENT);
  CString line;
  EXPECT_EQ(reader.ReadLine(line), ReadStatus::End);
}

#ifndef _WIN32
TEST(TextLineReader, FileWithoutReadPermissionCannotBeOpened) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  ScratchDir dir;
  const auto file = dir.Write("locked.cpt", "a\r\n");
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  TextLineReader reader;
  EXPECT_FALSE(reader.Open(file));
  EXPECT_EQ(reader.Error(), EACCES);
}

TEST(TextLineReader, FailedReadIsAnErrorNotTheEnd) {
  ScratchDir dir;
  const int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  TextLineReader reader;
  reader.Attach(fd);  // a folder's descriptor: its first read fails
  CString line;
  EXPECT_EQ(reader.ReadLine(line), ReadStatus::Error);
  EXPECT_EQ(reader.Error(), EISDIR);
  EXPECT_EQ(reader.ReadLine(line), ReadStatus::Error) << "a failure is not forgotten";
  ::close(fd);
}

// What is no regular file is refused at the open, before a read could block (a terminal, a FIFO without a
// writer) or never end (/dev/zero): the name may have been typed, and no chooser stands between it and the
// reader.
struct SpecialCase {
  const char* name;
  const char* what;
  int error;
};

class SpecialFiles : public testing::TestWithParam<SpecialCase> {};

TEST_P(SpecialFiles, AreRefusedAsFilesThatCannotBeOpened) {
  ScratchDir dir;
  testing_support::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.IsValid());
  ASSERT_EQ(::mkfifo((dir.Path() / "fifo").c_str(), 0600), 0);
  const std::map<std::string, std::filesystem::path> paths = {{"folder", dir.Path()},
                                                              {"zero", "/dev/zero"},
                                                              {"fifo", dir.Path() / "fifo"},
                                                              {"pty", terminal.SlavePath()}};
  TextLineReader reader;
  ASSERT_FALSE(reader.Open(paths.at(GetParam().what))) << "a read could block or never end";
  EXPECT_EQ(reader.Error(), GetParam().error);
  CString line;
  EXPECT_EQ(reader.ReadLine(line), ReadStatus::End);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialFiles,
                         testing::Values(SpecialCase{"Folder", "folder", EISDIR},
                                         SpecialCase{"DevZero", "zero", ENXIO},
                                         SpecialCase{"FifoWithoutWriter", "fifo", ENXIO},
                                         SpecialCase{"PtySlave", "pty", ENXIO}),
                         testing_support::RowName());

#else
TEST(TextLineReader, FolderDoesNotOpenAsAFile) {
  ScratchDir dir;
  TextLineReader reader;
  EXPECT_FALSE(reader.Open(dir.Path()));
  EXPECT_EQ(reader.Error(), EISDIR);
}

// The one form in which data files are opened, read and written alike.
struct SystemPathCase {
  const char* name;
  std::wstring path;
  std::wstring form;
};

class SystemPaths : public testing::TestWithParam<SystemPathCase> {};

TEST_P(SystemPaths, AreFullAndPassMaxPath) {
  EXPECT_EQ(SystemPath(GetParam().path), GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SystemPaths,
    testing::Values(SystemPathCase{"Drive", L"C:/d/./x/../r.CPT", L"\\\\?\\C:\\d\\r.CPT"},
                    SystemPathCase{"Share", L"\\\\host\\share\\r.CPT", L"\\\\?\\UNC\\host\\share\\r.CPT"},
                    SystemPathCase{"Device", L"\\\\.\\COM1", L"\\\\.\\COM1"}),
    testing_support::RowName());

TEST(TextLineReader, DeviceDoesNotOpenAsAFile) {
  TextLineReader reader;
  EXPECT_FALSE(reader.Open(L"\\\\.\\NUL"));
  EXPECT_EQ(reader.Error(), ENXIO);
}
#endif

TEST(TextLineReader, AttachedDescriptorStaysOpen) {
  int fds[2];
#ifdef _WIN32
  ASSERT_EQ(::_pipe(fds, 64, _O_BINARY), 0);
  ASSERT_EQ(::_write(fds[1], "p\r\nq", 4), 4);
  ::_close(fds[1]);
#else
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], "p\r\nq", 4), 4);
  ::close(fds[1]);
#endif
  {
    TextLineReader reader;
    reader.Attach(fds[0]);
    EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{"p", "q"}));
  }
#ifdef _WIN32
  EXPECT_EQ(::_close(fds[0]), 0) << "the reader must not close what it does not own";
#else
  EXPECT_EQ(::close(fds[0]), 0) << "the reader must not close what it does not own";
#endif
}

}  // namespace
}  // namespace kestrion
