#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "common/TestNames.h"
#include "serial/PortNames.h"
#include "serial/PortNamesPlatform.h"

#ifndef _WIN32
#include "common/PseudoTerminal.h"
#include "serial/SerialPort.h"
#endif

namespace kestrion {
namespace {

namespace fs = std::filesystem;

// What a system reports follows COM1..COM9, which are listed anyway.
struct ReportedCase {
  const char* name;
  std::vector<std::string> reported;
  std::vector<std::string> listed;
};

class ReportedPorts : public testing::TestWithParam<ReportedCase> {};

TEST_P(ReportedPorts, FollowInNaturalOrderOnceEach) {
  EXPECT_EQ(port_names::ReportedPortsInOrder(GetParam().reported), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportedPorts,
    testing::Values(ReportedCase{"ComOneToNineNotTwice", {"COM3", "COM1", "COM9"}, {}},
                    ReportedCase{"NaturalOrder", {"COM12", "COM100", "COM10", "COM11"},
                                 {"COM10", "COM11", "COM12", "COM100"}},
                    ReportedCase{"SamePortTwiceListedOnce", {"COM12", "COM10", "COM12"}, {"COM10", "COM12"}},
                    ReportedCase{"OtherNamesKept", {"COM10", "CNCA0", "COM3"}, {"CNCA0", "COM10"}},
                    ReportedCase{"EmptyNameLeftOut", {"", "COM10"}, {"COM10"}}),
    testing_support::RowName());

#ifdef _WIN32
struct Win32DevicePathCase {
  const char* name;
  std::string portName;
  std::string expected;
};

class Win32DevicePath : public testing::TestWithParam<Win32DevicePathCase> {};

TEST_P(Win32DevicePath, ComOneToNineAsTheyAreEveryOtherNameInTheDeviceNamespace) {
  EXPECT_EQ(DevicePathForPortName(GetParam().portName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32DevicePath,
    testing::Values(Win32DevicePathCase{"Com1", "COM1", "COM1"}, Win32DevicePathCase{"Com9", "COM9", "COM9"},
                    Win32DevicePathCase{"Com10", "COM10", "\\\\.\\COM10"},
                    Win32DevicePathCase{"Com256", "COM256", "\\\\.\\COM256"},
                    Win32DevicePathCase{"DeviceNamespaceKept", "\\\\.\\COM3", "\\\\.\\COM3"},
                    Win32DevicePathCase{"LongPathNamespaceKept", "\\\\?\\COM3", "\\\\?\\COM3"},
                    Win32DevicePathCase{"VirtualNullModemEnd", "CNCA0", "\\\\.\\CNCA0"},
                    Win32DevicePathCase{"NotAComName", "COMX", "\\\\.\\COMX"},
                    Win32DevicePathCase{"Com0", "COM0", "\\\\.\\COM0"},
                    Win32DevicePathCase{"EmptyStaysEmpty", "", ""}),
    testing_support::RowName());

// A port that Windows lists in SERIALCOMM (as a USB adapter's driver does) follows COM1..COM9. Writing there
// needs an administrator (Wine's user is one); elsewhere the test is skipped.
TEST(Win32PortList, ComPortsFirstThenTheRegistrysPorts) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    GTEST_SKIP() << "cannot write the SERIALCOMM list";
  }
  const wchar_t kValue[] = L"\\Device\\KestrionTest";
  const wchar_t kPort[] = L"COM42";
  ASSERT_EQ(::RegSetValueExW(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(kPort), sizeof kPort),
            ERROR_SUCCESS);
  const std::vector<std::string> names = ListPortNames();
  ::RegDeleteValueW(key, kValue);
  ::RegCloseKey(key);

  ASSERT_GE(names.size(), 10u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(names[static_cast<std::size_t>(i)], "COM" + std::to_string(i + 1));
  EXPECT_EQ(std::count(names.begin(), names.end(), "COM42"), 1);
  for (std::size_t i = 9; i < names.size(); ++i) EXPECT_EQ(port_names::ComNumber(names[i]), 0) << names[i];
}

TEST(Win32PortList, NoVirtualPortFolder) {
  EXPECT_TRUE(VirtualPortDirectory().empty());
  EXPECT_EQ(PrivateRuntimeFolder(VirtualPortFolderInRuntime(), true).kind, FolderCheck::Missing);
}
#else

struct DevicePathCase {
  const char* name;
  std::string portName;
  std::string expected;
};

class DevicePath : public testing::TestWithParam<DevicePathCase> {};

TEST_P(DevicePath, ComNamesMapToTtySAndEverythingElseIsAPath) {
  EXPECT_EQ(DevicePathForPortName(GetParam().portName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DevicePath,
                         testing::Values(DevicePathCase{"Com1", "COM1", "/dev/ttyS0"},
                                         DevicePathCase{"Com9", "COM9", "/dev/ttyS8"},
                                         DevicePathCase{"Com10IsAPath", "COM10", "COM10"},
                                         DevicePathCase{"Com0IsAPath", "COM0", "COM0"},
                                         DevicePathCase{"LowerCaseIsAPath", "com1", "com1"},
                                         DevicePathCase{"UsbDevice", "/dev/ttyUSB0", "/dev/ttyUSB0"},
                                         DevicePathCase{"Link", "/run/user/1000/kestrion/ports/station",
                                                        "/run/user/1000/kestrion/ports/station"}),
                         testing_support::RowName());

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }
  void Set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    m_saved.emplace_back(name, old == nullptr ? std::nullopt : std::optional<std::string>(old));
    if (value == nullptr) {
      ::unsetenv(name.c_str());
    } else {
      ::setenv(name.c_str(), value, 1);
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

class PortList : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrion-ports-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    runtime = pattern;
    environment.Set("XDG_RUNTIME_DIR", runtime.c_str());
  }
  void TearDown() override { fs::remove_all(runtime); }

  fs::path runtime;
  ScopedEnvironment environment;
};

TEST_F(PortList, ComPortsFirstThenRegisteredLinksInNaturalOrder) {
  testing_support::PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const fs::path ports = runtime / "kestrion" / "ports";
  ASSERT_EQ(VirtualPortDirectory(), ports);
  fs::create_directories(ports);
  fs::create_symlink(pty.SlavePath(), ports / "station10");
  fs::create_symlink(pty.SlavePath(), ports / "station2");
  fs::create_symlink(runtime / "gone", ports / "crashed");  // its simulator went away
  std::ofstream(ports / "notes.txt") << "not a link";

  const std::vector<std::string> names = ListPortNames();
  ASSERT_GE(names.size(), 11u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(names[static_cast<std::size_t>(i)], "COM" + std::to_string(i + 1));
  const std::vector<std::string> tail(names.end() - 2, names.end());
  EXPECT_EQ(tail, (std::vector<std::string>{(ports / "station2").string(), (ports / "station10").string()}));
  for (std::size_t i = 9; i < names.size(); ++i) {
    EXPECT_EQ(names[i].find("/dev/ttyS"), std::string::npos) << names[i] << " listed twice";
    EXPECT_EQ(names[i].find("crashed"), std::string::npos);
    EXPECT_EQ(names[i].find("notes"), std::string::npos);
  }

  SerialPort port;
  EXPECT_TRUE(port.Open(tail.front())) << "a listed link opens its terminal";
}

TEST_F(PortList, WithoutRegisteredPortsOnlyDevicesAreListed) {
  const std::vector<std::string> names = ListPortNames();
  ASSERT_GE(names.size(), 9u);
  EXPECT_EQ(names[0], "COM1");
  EXPECT_EQ(names[8], "COM9");
  for (std::size_t i = 9; i < names.size(); ++i) EXPECT_EQ(names[i].rfind("/dev/", 0), 0u) << names[i];
}

// Ports are listed only from a folder that nobody else could have written a link into.
struct UntrustedFolderCase {
  const char* name;
  FolderCheck::Kind expected;
  // Spoils the ports folder (or the one above it) of a runtime folder.
  void (*spoil)(const fs::path& runtime);
};

class UntrustedPortFolder : public PortList, public testing::WithParamInterface<UntrustedFolderCase> {};

TEST_P(UntrustedPortFolder, IsIgnored) {
  testing_support::PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const fs::path ports = runtime / "kestrion" / "ports";
  ASSERT_TRUE(PrivateRuntimeFolder(VirtualPortFolderInRuntime(), true)) << "made private";
  fs::create_symlink(pty.SlavePath(), ports / "planted");
  ASSERT_EQ(ListPortNames().back(), (ports / "planted").string());

  GetParam().spoil(runtime);
  if (IsSkipped()) return;
  const FolderCheck check = PrivateRuntimeFolder(VirtualPortFolderInRuntime(), false);
  EXPECT_EQ(check.kind, GetParam().expected) << check.Reason();
  EXPECT_FALSE(check.Reason().empty());
  for (const std::string& name : ListPortNames()) EXPECT_EQ(name.find("planted"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UntrustedPortFolder,
    testing::Values(
        UntrustedFolderCase{"GroupMayWrite", FolderCheck::OthersMayWrite,
                            [](const fs::path& r) { ::chmod((r / "kestrion" / "ports").c_str(), 0770); }},
        UntrustedFolderCase{"WorldMayWriteAbove", FolderCheck::OthersMayWrite,
                            [](const fs::path& r) { ::chmod((r / "kestrion").c_str(), 0707); }},
        UntrustedFolderCase{"OtherOwner", FolderCheck::OtherOwner,
                            [](const fs::path& r) {
                              if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder away";
                              ASSERT_EQ(::chown((r / "kestrion" / "ports").c_str(), 65534, 65534), 0);
                            }},
        UntrustedFolderCase{"LinkInPlaceOfTheFolder", FolderCheck::NotAFolder,
                            [](const fs::path& r) {
                              fs::rename(r / "kestrion" / "ports", r / "elsewhere");
                              fs::create_directory_symlink(r / "elsewhere", r / "kestrion" / "ports");
                            }}),
    testing_support::RowName());

TEST_F(PortList, RuntimeFolderThatOthersMayWriteIsNotTakenFromTheDesktop) {
  ASSERT_EQ(::chmod(runtime.c_str(), 0777), 0);
  environment.Set("USER", ("kestrion-test-" + std::to_string(::getpid())).c_str());
  const fs::path fallback = fs::path("/tmp") / ("runtime-kestrion-test-" + std::to_string(::getpid()));
  EXPECT_EQ(VirtualPortDirectory(), fallback / "kestrion" / "ports");
  const FolderCheck made = PrivateRuntimeFolder(VirtualPortFolderInRuntime(), true);
  EXPECT_TRUE(made) << made.Reason();
  struct stat info {};
  ASSERT_EQ(::stat(fallback.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  fs::remove_all(fallback);
}

TEST(VirtualPortDirectoryWithoutRuntimeDirectory, FallsBackToTmpByUserName) {
  ScopedEnvironment environment;
  environment.Set("XDG_RUNTIME_DIR", nullptr);
  environment.Set("USER", "surveyor");
  EXPECT_EQ(VirtualPortDirectory(), fs::path("/tmp/runtime-surveyor/kestrion/ports"));
  environment.Set("XDG_RUNTIME_DIR", "");
  EXPECT_EQ(VirtualPortDirectory(), fs::path("/tmp/runtime-surveyor/kestrion/ports"));

  environment.Set("USER", nullptr);
  const std::string fromUid = VirtualPortDirectory().parent_path().parent_path().filename().string();
  EXPECT_EQ(fromUid.rfind("runtime-", 0), 0u);
  EXPECT_GT(fromUid.size(), std::string("runtime-").size());
  if (::getuid() == 0) {
    EXPECT_EQ(fromUid, "runtime-root");
  }
}

#endif

}  // namespace
}  // namespace kestrion
