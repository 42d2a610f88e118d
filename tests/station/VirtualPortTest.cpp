// The station's virtual port: the link Kestrion lists, made on start and gone on every way out; and the
// command lines and devices it refuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/StationHarness.h"
#include "VirtualPort.h"
#include "common/TestNames.h"
#include "serial/PortNames.h"

namespace kestrion::testing_support {
namespace {

namespace fs = std::filesystem;
constexpr milliseconds kExitWait{5000};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}
int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

struct SignalCase {
  const char* name;
  int signalNumber;
};

class StopSignal : public testing::TestWithParam<SignalCase> {};

TEST_P(StopSignal, RemovesTheLink) {
  ScopedRuntimeDir runtime;
  RunningStation station = StartStation(TestPortName(), {"receive"});
  std::error_code ec;
  const fs::path device = fs::read_symlink(station.link, ec);
  EXPECT_TRUE(device.string().starts_with("/dev/pts/")) << device;
  EXPECT_TRUE(fs::is_character_file(device, ec)) << device;
  // The start-up line names the link and the device (printed just after the link is made).
  const std::string announced = station.link.string() + " -> " + device.string();
  EXPECT_TRUE(WaitUntil([&] { return Contains(station.process->Stderr(), announced); }, kExitWait))
      << station.process->Stderr();

  station.process->Signal(GetParam().signalNumber);
  EXPECT_EQ(station.process->WaitForExit(kExitWait), 128 + GetParam().signalNumber);
  EXPECT_FALSE(Exists(station.link));
  EXPECT_FALSE(Exists(station::StationLockDirectory() / (station.name + ".lock")));
}

INSTANTIATE_TEST_SUITE_P(Rows, StopSignal,
                         testing::Values(SignalCase{"Interrupt", SIGINT}, SignalCase{"Terminate", SIGTERM},
                                         SignalCase{"HangUp", SIGHUP}),
                         RowName());

TEST(VirtualPort, FoldersArePrivate) {
  ScopedRuntimeDir runtime;
  RunningStation station = StartStation(TestPortName(), {"receive"});
  for (const fs::path& folder : {VirtualPortDirectory(), station::StationLockDirectory()}) {
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0) << folder;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
}

// An entry the test itself puts where a station's link goes; removed again at the end.
class EntryAtLink {
 public:
  explicit EntryAtLink(const std::string& name) : m_path(LinkPathFor(name)) {
    fs::create_directories(VirtualPortDirectory());
    std::error_code ec;
    fs::remove(m_path, ec);
  }
  ~EntryAtLink() {
    std::error_code ec;
    fs::remove(m_path, ec);
  }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

TEST(VirtualPort, StaleLinkOfADeadStationIsReplaced) {
  ScopedRuntimeDir runtime;
  const std::string name = TestPortName();
  const fs::path stale = "/dev/pts/999999";
  EntryAtLink entry(name);
  fs::create_symlink(stale, entry.Path());
  RunningStation station = StartStation(name, {"receive"});
  std::error_code ec;
  ASSERT_TRUE(WaitUntil([&] { return fs::read_symlink(station.link, ec) != stale; }, kExitWait));
  const fs::path device = fs::read_symlink(station.link, ec);
  EXPECT_TRUE(fs::is_character_file(device, ec)) << device;
  station.process->Signal(SIGTERM);
  EXPECT_EQ(station.process->WaitForExit(kExitWait), 128 + SIGTERM);
  EXPECT_FALSE(Exists(station.link));
}

TEST(VirtualPort, LiveStationKeepsItsName) {
  ScopedRuntimeDir runtime;
  RunningStation first = StartStation(TestPortName(), {"receive"});
  std::error_code ec;
  const fs::path device = fs::read_symlink(first.link, ec);

  StationProcess second({"--name", first.name, "receive"});
  EXPECT_EQ(second.WaitForExit(kExitWait), 2);
  EXPECT_TRUE(Contains(second.Stderr(), "held by a running station (pid ")) << second.Stderr();
  EXPECT_EQ(CountLines(second.Stderr()), 1) << second.Stderr();
  EXPECT_EQ(fs::read_symlink(first.link, ec), device);
  EXPECT_FALSE(first.process->WaitForExit(milliseconds(0)));
}

struct ForeignEntryCase {
  const char* name;
  bool isLink;
  const char* says;
};

class ForeignEntry : public testing::TestWithParam<ForeignEntryCase> {};

TEST_P(ForeignEntry, IsLeftAlone) {
  ScopedRuntimeDir runtime;
  const std::string name = TestPortName();
  EntryAtLink entry(name);
  const fs::path& link = entry.Path();
  if (GetParam().isLink) {
    fs::create_symlink("/dev/null", link);  // a person's own link to some device
  } else {
    WriteFileBytes(link, "notes");
  }
  StationProcess station({"--name", name, "receive"});
  EXPECT_EQ(station.WaitForExit(kExitWait), 2);
  EXPECT_TRUE(Contains(station.Stderr(), GetParam().says)) << station.Stderr();
  std::error_code ec;
  if (GetParam().isLink) {
    EXPECT_EQ(fs::read_symlink(link, ec), "/dev/null");
  } else {
    EXPECT_EQ(ReadFileBytes(link), "notes");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ForeignEntry,
                         testing::Values(ForeignEntryCase{"LinkToAnotherDevice", true,
                                                          "not at a pseudo-terminal"},
                                         ForeignEntryCase{"PlainFile", false, "is not a link"}),
                         RowName());

struct RefusalCase {
  const char* name;
  std::vector<std::string> args;
  const char* says;
};

class Refusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, OneLineAndStatusTwo) {
  ScopedRuntimeDir runtime;
  std::vector<std::string> args = {"--name", TestPortName()};
  if (Contains(GetParam().args.front(), "--port")) args.clear();
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  StationProcess station(args);
  EXPECT_EQ(station.WaitForExit(kExitWait), 2);
  const std::string said = station.Stderr();
  EXPECT_TRUE(Contains(said, GetParam().says)) << said;
  EXPECT_TRUE(said.starts_with("kestrion-station: ")) << said;
  EXPECT_EQ(CountLines(said), 1) << said;
  EXPECT_FALSE(Exists(LinkPathFor(TestPortName())));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Refusal,
    testing::Values(RefusalCase{"UnknownOption", {"receive", "--fast"}, "unknown option '--fast'"},
                    RefusalCase{"BadBaud", {"--baud", "300", "receive"}, "not a supported baud rate"},
                    RefusalCase{"MissingRecordsFile",
                                {"send", "--marker", "#", "/nonexistent/records.txt"},
                                "cannot read /nonexistent/records.txt"},
                    RefusalCase{"MissingDevice",
                                {"--port", "/dev/kestrion-no-such-tty", "receive"},
                                "cannot open /dev/kestrion-no-such-tty"},
                    RefusalCase{"OutInMissingFolder",
                                {"receive", "--out", "/nonexistent/dir/out.txt"},
                                "cannot create /nonexistent/dir/out.txt"}),
    RowName());

TEST(StationHelp, ListsTheCommandsAndExitsZero) {
  StationProcess station({"--help"});
  EXPECT_EQ(station.WaitForExit(kExitWait), 0);
  EXPECT_TRUE(Contains(station.Stdout(), "kestrion-station [--port PATH | --name NAME]"));
  EXPECT_TRUE(Contains(station.Stdout(), "send [--marker M | --raw] FILE"));
  EXPECT_EQ(station.Stderr(), "");
}

}  // namespace
}  // namespace kestrion::testing_support
