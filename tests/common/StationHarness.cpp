#include "common/StationHarness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "serial/PortNames.h"

extern char** environ;

namespace kestrion::testing_support {
namespace {

constexpr milliseconds kPollStep{2};
constexpr milliseconds kLinkWait{5000};

int ExitStatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, milliseconds timeout) {
  const Clock::time_point until = Clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrion-station-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

ScopedRuntimeDir::ScopedRuntimeDir() {
  if (const char* previous = std::getenv("XDG_RUNTIME_DIR")) m_previous = previous;
  ::setenv("XDG_RUNTIME_DIR", m_folder.Path().c_str(), 1);
}

ScopedRuntimeDir::~ScopedRuntimeDir() {
  if (m_previous) {
    ::setenv("XDG_RUNTIME_DIR", m_previous->c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

std::string TestPortName() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("t-") + info->test_suite_name() + "-" + info->name();
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (!plain) c = '-';
  }
  return name.substr(0, 60);
}

std::filesystem::path LinkPathFor(const std::string& name) {
  return VirtualPortDirectory() / name;
}

StationProcess::StationProcess(std::vector<std::string> args, bool stdinPipe) {
  std::string program = KESTRION_STATION_BINARY;
  std::vector<char*> argv = {program.data()};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int stdinFds[2] = {-1, -1};
  if (stdinPipe && ::pipe2(stdinFds, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, stdinFds[0], STDIN_FILENO);
    m_stdin = stdinFds[1];
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  const std::string out = (m_output.Path() / "stdout").string();
  const std::string err = (m_output.Path() / "stderr").string();
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) m_pid = pid;
  posix_spawn_file_actions_destroy(&actions);
  if (stdinFds[0] >= 0) ::close(stdinFds[0]);
}

StationProcess::~StationProcess() {
  // Asked first, so that the station takes its link away; killed only if it does not listen.
  Signal(SIGTERM);
  if (m_pid > 0 && !WaitForExit(milliseconds(3000))) {
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
  }
  if (m_stdin >= 0) ::close(m_stdin);
}

std::optional<int> StationProcess::WaitForExit(milliseconds timeout) {
  if (m_status || m_pid <= 0) return m_status;
  WaitUntil(
      [this] {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) m_status = ExitStatusOf(status);
        return m_status.has_value();
      },
      timeout);
  return m_status;
}

void StationProcess::Signal(int signalNumber) const {
  if (m_pid > 0 && !m_status) ::kill(m_pid, signalNumber);
}

void StationProcess::WriteStdin(std::string_view bytes) const {
  if (m_stdin >= 0) [[maybe_unused]]
    const ssize_t written = ::write(m_stdin, bytes.data(), bytes.size());
}

std::string StationProcess::Stdout() const {
  return ReadFileBytes(m_output.Path() / "stdout");
}
std::string StationProcess::Stderr() const {
  return ReadFileBytes(m_output.Path() / "stderr");
}

RunningStation StartStation(const std::string& name, std::vector<std::string> args, bool stdinPipe) {
  RunningStation station;
  station.name = name;
  station.link = LinkPathFor(name);
  args.insert(args.begin(), {"--name", name});
  station.process = std::make_unique<StationProcess>(std::move(args), stdinPipe);
  std::error_code ec;
  const bool linked = WaitUntil(
      [&] {
        return std::filesystem::is_symlink(station.link, ec) || station.process->WaitForExit(milliseconds(0));
      },
      kLinkWait);
  EXPECT_TRUE(linked && std::filesystem::is_symlink(station.link, ec))
      << "no link at " << station.link << "; station said: " << station.process->Stderr();
  return station;
}

bool ClientPort::Open(const std::filesystem::path& path, const LineSettings& settings) {
  Close();
  if (!m_port.Open(path.string())) return false;
  if (!m_port.Configure(settings)) {
    m_port.Close();
    return false;
  }
  return true;
}

void ClientPort::Close() {
  m_port.Close();
}

bool ClientPort::Write(std::string_view bytes) {
  return static_cast<bool>(m_port.Write(bytes));
}

bool ClientPort::ReadUntil(const std::function<bool(const std::string&)>& done, milliseconds timeout) {
  // Short waits, so that a station that went away is noticed between them.
  constexpr milliseconds kSlice{20};
  const Clock::time_point until = Clock::now() + timeout;
  char buffer[4096];
  while (!done(m_received)) {
    const std::optional<std::size_t> waiting = m_port.BytesWaiting();
    if (!waiting) return false;  // the station closed its end
    if (*waiting > 0) {
      const std::size_t got = m_port.Read(buffer, sizeof buffer);
      m_received.append(buffer, got);
      m_arrivals.push_back({Clock::now(), std::string(buffer, got)});
      continue;
    }
    const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
    if (left.count() < 0) return false;
    m_port.WaitForBytes(std::min(left + milliseconds(1), kSlice));
  }
  return true;
}

std::string ClientPort::TakeReceived() {
  std::string taken = std::move(m_received);
  m_received.clear();
  m_arrivals.clear();
  return taken;
}

}  // namespace kestrion::testing_support
