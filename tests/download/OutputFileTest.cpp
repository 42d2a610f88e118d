// Output on a real disk: what the files hold, and what a failure leaves behind.
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/ScratchDir.h"
#include "common/TestNames.h"
#include "download/Output.h"

namespace kestrion {
namespace {

namespace fs = std::filesystem;

// A path that the C runtime opens whatever its length: on Windows a full path longer than MAX_PATH needs the
// "\\?\" form.
fs::path Openable(const fs::path& path) {
#ifdef _WIN32
  if (path.is_absolute() && path.native().size() >= MAX_PATH) return L"\\\\?\\" + path.lexically_normal().native();
#endif
  return path;
}

std::string ReadAll(const fs::path& path) {
  std::string bytes;
  std::ifstream in(Openable(path), std::ios::binary);
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  return bytes;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class OutputFiles : public testing::Test {
 protected:
  void SetUp() override {
    m_folder = testing_support::MakeTemporaryFolder("kestrion-output-");
    ASSERT_FALSE(m_folder.empty());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }
  fs::path m_folder;
};

struct CommandCase {
  const char* name;
  std::string lastMarker;
  std::string chosen;
  std::string written;  // file name that must appear
};

class OutputCommand : public OutputFiles, public testing::WithParamInterface<CommandCase> {};

TEST_P(OutputCommand, WritesTheTypedFileBesideTheChosenName) {
  const CommandCase& c = GetParam();
  CString data("\r\nA1,2\r\n\r\nB3,4\r\nDownload Finish\r\n");
  const WriteResult result = OutputData(data, CString(c.lastMarker), m_folder / c.chosen);
  ASSERT_TRUE(result) << result.Reason();
  EXPECT_EQ(result.path, m_folder / c.written);
  EXPECT_EQ(data, "\r\nA1,2\r\n\r\nB3,4");  // the data text stays cut
  EXPECT_EQ(ReadAll(result.path), BuildOutput(data, CString(c.lastMarker)).bytes.Bytes());
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{c.written});
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputCommand,
                         testing::Values(CommandCase{"Cpt", "&", "survey.txt", "survey.CPT"},
                                         CommandCase{"Hln", "$", "survey", "survey.HLN"},
                                         CommandCase{"HlnTwoExtensions", "$", "survey.old.txt", "survey.HLN"},
                                         CommandCase{"Vln", "@", "survey.txt", "survey.VLN"},
                                         CommandCase{"Tln", "^", "survey.txt", "survey.TLN"},
                                         CommandCase{"Obs", "#", "survey.txt", "survey.OBS"},
                                         CommandCase{"Txt", "!", "survey.txt", "survey.TXT"},
                                         CommandCase{"Unmarked", "", "survey.txt", "survey.TXT"}),
                         testing_support::RowName());

TEST_F(OutputFiles, DotInFolderNameIsKept) {
  fs::create_directory(m_folder / "a.b");
  CString data("A1,2\r\n");
  const WriteResult result = OutputData(data, "$", m_folder / "a.b" / "survey");
  ASSERT_TRUE(result) << result.Reason();
  EXPECT_EQ(result.path, m_folder / "a.b" / "survey.HLN");
  EXPECT_TRUE(fs::is_regular_file(result.path));
}

#ifndef _WIN32
TEST_F(OutputFiles, ExistingFileIsReplacedAndKeepsItsPermissions) {
  const fs::path target = m_folder / "survey.HLN";
  WriteFile(target, std::string(10000, 'x'));
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  CString data("A1,2\r\n");
  ASSERT_TRUE(OutputData(data, "$", m_folder / "survey.HLN"));
  EXPECT_EQ(ReadAll(target), "BeginRoad,1\r\n>>Default,1\r\nA1,2\r\nEndRoad\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640U);
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"survey.HLN"});
}

// The written file ends as a direct write would leave it: a replaced file's mode and group (and, written by
// root, its owner), a new one's mode as a create under the process's mask gives it.
struct ModeCase {
  const char* name;
  int oldMode;  // of the file replaced; -1: there is none
  mode_t mask;
  mode_t mode;
};

class WrittenFileMode : public OutputFiles, public testing::WithParamInterface<ModeCase> {};

TEST_P(WrittenFileMode, IsThatOfADirectWrite) {
  const ModeCase& c = GetParam();
  const fs::path target = m_folder / "survey.CPT";
  const bool root = ::geteuid() == 0;
  if (c.oldMode >= 0) {
    WriteFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), static_cast<mode_t>(c.oldMode)), 0);
    ASSERT_TRUE(!root || ::chown(target.c_str(), 4321, 4321) == 0);
  }
  const mode_t before = ::umask(c.mask);
  const WriteResult result = WriteReplacing(target, "new");
  ::umask(before);
  ASSERT_TRUE(result) << result.Reason();
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, c.mode);
  if (root && c.oldMode >= 0) {
    EXPECT_EQ(st.st_uid, 4321U);
    EXPECT_EQ(st.st_gid, 4321U);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, WrittenFileMode,
                         testing::Values(ModeCase{"NewFileUsualMask", -1, 022, 0644},
                                         ModeCase{"NewFileStrictMask", -1, 077, 0600},
                                         ModeCase{"ReplacedKeepsItsOwn", 0640, 022, 0640},
                                         ModeCase{"ReplacedOpenToAllStaysSo", 0666, 077, 0666}),
                         testing_support::RowName());

// Until it is written whole, the new file is its owner's alone: a write killed part-way (here by a file size
// limit whose signal ends the process) leaves it behind, only the owner able to read it.
TEST_F(OutputFiles, FileBeingWrittenIsTheOwnersAlone) {
  const fs::path target = m_folder / "survey.CPT";
  WriteFile(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit noCore{0, 0};
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    ::umask(022);
    WriteReplacing(target, std::string(100000, 'P'));
    ::_exit(3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  const std::vector<std::string> names = Names(m_folder);
  ASSERT_EQ(names.size(), 2u);
  const fs::path left = m_folder / (names[0] == "survey.CPT" ? names[1] : names[0]);
  struct stat st {};
  ASSERT_EQ(::stat(left.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600U);
  EXPECT_EQ(ReadAll(target), "old");
}

#else
TEST_F(OutputFiles, ExistingFileIsReplacedAndStaysHidden) {
  const fs::path target = m_folder / "survey.HLN";
  WriteFile(target, std::string(10000, 'x'));
  ASSERT_TRUE(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_HIDDEN));
  CString data("A1,2\r\n");
  ASSERT_TRUE(OutputData(data, "$", m_folder / "survey.HLN"));
  EXPECT_EQ(ReadAll(target), "BeginRoad,1\r\n>>Default,1\r\nA1,2\r\nEndRoad\r\n");
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"survey.HLN"});
}
#endif

// A link at the name is written through as a direct write would write: the file where the links lead is
// replaced or, when they lead nowhere yet, created; the links stay links.
struct LinkCase {
  const char* name;
  std::vector<std::string> folders;                        // made first
  std::vector<std::pair<std::string, std::string>> links;  // name, target as the link holds it
  std::string written;                                     // where the bytes go; empty: nowhere
  int error = 0;                                           // of the failure when nothing is written
};

class LinkAtTheName : public OutputFiles, public testing::WithParamInterface<LinkCase> {};

TEST_P(LinkAtTheName, IsWrittenThrough) {
  const LinkCase& c = GetParam();
  for (const std::string& folder : c.folders) fs::create_directories(m_folder / folder);
  WriteFile(m_folder / "real.CPT", "old");
  for (const auto& [name, target] : c.links) {
    std::error_code linkError;
    fs::create_symlink(target, m_folder / name, linkError);
    // Windows lets only some users make links.
    if (linkError) GTEST_SKIP() << "cannot make a link here: " << linkError.message();
  }
  const WriteResult result = WriteReplacing(m_folder / "survey.CPT", "new");
  EXPECT_EQ(result.path, m_folder / "survey.CPT");
  if (c.written.empty()) {
    EXPECT_EQ(result.kind, WriteResult::CannotCreate);
    EXPECT_EQ(result.systemError, c.error);
  } else {
    ASSERT_TRUE(result) << result.Reason();
    EXPECT_EQ(ReadAll(m_folder / c.written), "new");
  }
  for (const auto& [name, target] : c.links) {
    EXPECT_TRUE(fs::is_symlink(m_folder / name)) << name;
    EXPECT_EQ(fs::read_symlink(m_folder / name), fs::path(target)) << name;
  }
  if (c.written != "real.CPT") {
    EXPECT_EQ(ReadAll(m_folder / "real.CPT"), "old");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkAtTheName,
    testing::Values(
        LinkCase{"ToAFile", {}, {{"survey.CPT", "real.CPT"}}, "real.CPT"},
        LinkCase{"Dangling", {}, {{"survey.CPT", "made.CPT"}}, "made.CPT"},
        LinkCase{"ChainOfLinks", {}, {{"survey.CPT", "second"}, {"second", "real.CPT"}}, "real.CPT"},
        LinkCase{"RelativeToTheLinksFolder",
                 {"data"},
                 {{"survey.CPT", "data/link"}, {"data/link", "../real.CPT"}},
                 "real.CPT"},
        LinkCase{"IntoAMissingFolder", {}, {{"survey.CPT", "none/made.CPT"}}, "", ENOENT},
        LinkCase{"LoopOfLinks", {}, {{"survey.CPT", "second"}, {"second", "survey.CPT"}}, "", ELOOP}),
    testing_support::RowName());

TEST_F(OutputFiles, FolderThatIsAFileCannotHoldTheFile) {
  const fs::path notAFolder = m_folder / "plain";
  WriteFile(notAFolder, "keep me");
  const WriteResult result = WriteReplacing(notAFolder / "survey.HLN", "data");
  EXPECT_EQ(result.kind, WriteResult::CannotCreate);
  EXPECT_EQ(result.systemError, ENOTDIR);
  EXPECT_EQ(result.path, notAFolder / "survey.HLN");
  EXPECT_FALSE(result.Reason().empty());
  EXPECT_EQ(ReadAll(notAFolder), "keep me");
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"plain"});
}

TEST_F(OutputFiles, MissingFolderCannotHoldTheFile) {
  const WriteResult result = WriteReplacing(m_folder / "none" / "survey.HLN", "data");
  EXPECT_EQ(result.kind, WriteResult::CannotCreate);
  EXPECT_EQ(result.systemError, ENOENT);
}

TEST_F(OutputFiles, FolderAtTheNameIsLeftAlone) {
  fs::create_directory(m_folder / "survey.HLN");
  WriteFile(m_folder / "survey.HLN" / "inside", "keep");
  const WriteResult result = WriteReplacing(m_folder / "survey.HLN", "data");
  EXPECT_EQ(result.kind, WriteResult::CannotCreate);
  EXPECT_EQ(ReadAll(m_folder / "survey.HLN" / "inside"), "keep");
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"survey.HLN"});
}

// The temporary file beside the target must fit the folder too: a name near the length limit still writes.
TEST_F(OutputFiles, NameNearTheLengthLimitIsWritten) {
  const fs::path target = m_folder / (std::string(251, 'n') + ".CPT");
  ASSERT_TRUE(WriteReplacing(target, "P1\r\n"));
  EXPECT_EQ(ReadAll(target), "P1\r\n");
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{target.filename().string()});
}

#ifndef _WIN32
// A file that the user may not write is refused as a direct write would be, not replaced by the rename. As root
// every file may be written, so the write runs in a child that has become an ordinary user.
TEST_F(OutputFiles, ReadOnlyFileIsNotReplaced) {
  const fs::path target = m_folder / "survey.CPT";
  WriteFile(target, "keep");
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  const uid_t nobody = 65534;
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(m_folder.c_str(), 0777), 0);
    ASSERT_EQ(::chown(target.c_str(), nobody, nobody), 0);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(2);
    const WriteResult result = WriteReplacing(target, "new");
    ::_exit(result.kind == WriteResult::CannotCreate && result.systemError == EACCES ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(target), "keep");
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"survey.CPT"});
}

// A write that stops part-way (here at a file size limit, as a full disk would) keeps the old file and leaves
// no partial file behind. The limit is set in a child process so that it ends with the child.
TEST_F(OutputFiles, WriteFailingPartWayKeepsTheOldFile) {
  const fs::path target = m_folder / "survey.CPT";
  const std::string old = "old content\r\n";
  WriteFile(target, old);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    const WriteResult result = WriteReplacing(target, std::string(100000, 'P'));
    const bool expected = result.kind == WriteResult::WriteFailed && result.systemError == EFBIG && result.path == target;
    ::_exit(expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(target), old);
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"survey.CPT"});
}
#else
// A read-only file is refused as a direct write would be, not replaced by the move.
TEST_F(OutputFiles, ReadOnlyFileIsNotReplaced) {
  const fs::path target = m_folder / "survey.CPT";
  WriteFile(target, "keep");
  constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(target, kWrite, fs::perm_options::remove);
  ASSERT_NE(::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  const WriteResult result = WriteReplacing(target, "new");
  EXPECT_EQ(result.kind, WriteResult::CannotCreate);
  EXPECT_EQ(result.systemError, EACCES);
  EXPECT_FALSE(result.inUse) << "read-only is not in use";
  EXPECT_EQ(ReadAll(target), "keep");
  EXPECT_EQ(Names(m_folder), std::vector<std::string>{"survey.CPT"});
  fs::permissions(target, kWrite, fs::perm_options::add);  // so that the folder can be removed
}

// A path that begins with two separators is full as it stands: a share's is not put on the current drive, and
// a file named in the device form is written where it names.
TEST_F(OutputFiles, PathsBeginningWithTwoSeparatorsAreKept) {
  const fs::path share = L"\\\\nohost.invalid\\survey\\survey.CPT";
  const WriteResult unreachable = WriteReplacing(share, "new");
  EXPECT_EQ(unreachable.path, share);
  EXPECT_EQ(unreachable.kind, WriteResult::CannotCreate);

  const fs::path device = L"\\\\.\\" + (m_folder / "survey.CPT").native();
  const WriteResult written = WriteReplacing(device, "new");
  EXPECT_TRUE(written) << written.Reason();
  EXPECT_EQ(written.path, device);
  EXPECT_EQ(ReadAll(m_folder / "survey.CPT"), "new");
}

// Another program holds the output file open, as an editor, a viewer or a scan does, without letting it be
// deleted, so the new file cannot be moved over it. A holder that lets others write gets the new bytes
// written in place, as a direct write would; one that keeps writers out makes Output say that the file is in
// use. Folder and file names are Chinese, as the surveyors' are.
struct HeldCase {
  const char* name;
  DWORD holderSharing;
  bool written;
};

class HeldOpen : public OutputFiles, public testing::WithParamInterface<HeldCase> {};

TEST_P(HeldOpen, IsWrittenInPlaceOrToldInUse) {
  const fs::path folder = m_folder / L"\u6d4b\u91cf\u6570\u636e";
  ASSERT_TRUE(fs::create_directory(folder));
  const fs::path target = folder / L"\u9053\u8def.CPT";
  WriteFile(target, "old content");
  const HANDLE holder = ::CreateFileW(target.c_str(), GENERIC_READ, GetParam().holderSharing, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const WriteResult result = WriteReplacing(target, "new");
  ::CloseHandle(holder);
  if (GetParam().written) {
    EXPECT_TRUE(result) << result.Reason();
    EXPECT_EQ(ReadAll(target), "new");
  } else {
    EXPECT_EQ(result.kind, WriteResult::CannotCreate);
    EXPECT_TRUE(result.inUse);
    EXPECT_EQ(result.Reason(), "in use by another program");
    EXPECT_EQ(ReadAll(target), "old content");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
      << "no file left behind";
}

INSTANTIATE_TEST_SUITE_P(Holders, HeldOpen,
                         testing::Values(HeldCase{"LettingOthersWrite", FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  true},
                                         HeldCase{"KeepingWritersOut", FILE_SHARE_READ, false}),
                         testing_support::RowName());
#endif

}  // namespace
}  // namespace kestrion
