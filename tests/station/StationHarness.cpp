#include "StationHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

std::filesystem::path LinkPathFor(const std::string& name) { return VirtualPortDirectory() / name; }

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
  if (m_stdin >= 0) [[maybe_unused]] const ssize_t written = ::write(m_stdin, bytes.data(), bytes.size());
}

std::string StationProcess::Stdout() const { return ReadFileBytes(m_output.Path() / "stdout"); }
std::string StationProcess::Stderr() const { return ReadFileBytes(m_output.Path() / "stderr"); }

RunningStation StartStation(const std::string& name, std::vector<std::string> args, bool stdinPipe) {
  RunningStation station;
  station.name = name;
  station.link = LinkPathFor(name);
  args.insert(args.begin(), {"--name", name});
  station.process = std::make_unique<StationProcess>(std::move(args), stdinPipe);
  std::error_code ec;
  const bool linked = WaitUntil(
      [&] { return std::filesystem::is_symlink(station.link, ec) || station.process->WaitForExit(milliseconds(0)); },
      kLinkWait);
  EXPECT_TRUE(linked && std::filesystem::is_symlink(station.link, ec))
      << "no link at " << station.link << "; station said: " << station.process->Stderr();
  return station;
}

ClientPort::~ClientPort() { Close(); }

bool ClientPort::Open(const std::filesystem::path& path, const LineSettings& settings) {
  Close();
  m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) return false;
  termios tio{};
  ::tcgetattr(m_fd, &tio);
  ::cfmakeraw(&tio);
  tio.c_cflag |= CSTOPB | CLOCAL | CREAD;
  (void)settings;
  ::tcsetattr(m_fd, TCSANOW, &tio);
  return true;
}

void ClientPort::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool ClientPort::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(m_fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 && errno == EAGAIN) {
      pollfd fd{m_fd, POLLOUT, 0};
      ::poll(&fd, 1, 100);
      continue;
    }
    if (done <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  return true;
}

bool ClientPort::ReadUntil(const std::function<bool(const std::string&)>& done, milliseconds timeout) {
  const Clock::time_point until = Clock::now() + timeout;
  char buffer[4096];
  while (!done(m_received)) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
    if (left.count() < 0) return false;
    pollfd fd{m_fd, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
    if (got > 0) {
      m_received.append(buffer, static_cast<std::size_t>(got));
      m_arrivals.push_back({Clock::now(), std::string(buffer, static_cast<std::size_t>(got))});
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      return done(m_received);  // the station closed its end
    }
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
