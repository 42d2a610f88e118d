// What the station tests share: the station program as a child process, a private runtime folder for its
// virtual port, and the other end of the line as Kestrion holds it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/SerialPort.h"

namespace kestrion::testing_support {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls `condition` until it holds or `timeout` passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition, milliseconds timeout);

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

// A fresh folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// Points XDG_RUNTIME_DIR at a temporary folder for the life of the object, so that a test's virtual ports are
// its own; the station started meanwhile inherits it.
class ScopedRuntimeDir {
 public:
  ScopedRuntimeDir();
  ~ScopedRuntimeDir();
  ScopedRuntimeDir(const ScopedRuntimeDir&) = delete;
  ScopedRuntimeDir& operator=(const ScopedRuntimeDir&) = delete;
  const std::filesystem::path& Path() const { return m_folder.Path(); }

 private:
  TempFolder m_folder;
  std::optional<std::string> m_previous;
};

// A port name unique to the running test, so that tests running side by side never share a link.
std::string TestPortName();
// Where the station registers the port `name`.
std::filesystem::path LinkPathFor(const std::string& name);

// The built kestrion-station as a child process; its standard output and error go to files.
class StationProcess {
 public:
  explicit StationProcess(std::vector<std::string> args, bool stdinPipe = false);
  ~StationProcess();  // kills and reaps a station still running
  StationProcess(const StationProcess&) = delete;
  StationProcess& operator=(const StationProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  // The exit status (128 + N after signal N), or nullopt if it is still running after `timeout`.
  std::optional<int> WaitForExit(milliseconds timeout);
  void Signal(int signalNumber) const;
  // Writes to the station's standard input (with stdinPipe).
  void WriteStdin(std::string_view bytes) const;
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  TempFolder m_output;
  pid_t m_pid = -1;
  int m_stdin = -1;
  std::optional<int> m_status;
};

// Starts a station on a fresh virtual port `name` and waits until its link is there.
struct RunningStation {
  std::string name;
  std::filesystem::path link;
  std::unique_ptr<StationProcess> process;
};
RunningStation StartStation(const std::string& name, std::vector<std::string> args, bool stdinPipe = false);

// Kestrion's end of the line: the port opened on the station's link.
class ClientPort {
 public:
  struct Arrival {
    Clock::time_point at;
    std::string bytes;
  };

  ClientPort() = default;
  ~ClientPort() = default;
  ClientPort(const ClientPort&) = delete;
  ClientPort& operator=(const ClientPort&) = delete;

  // Opens and configures the port as Kestrion's Open port command does.
  bool Open(const std::filesystem::path& path, const LineSettings& settings = {});
  void Close();
  bool Write(std::string_view bytes);
  // Reads until `done(Received())` holds; false when `timeout` passed or the line went away first.
  bool ReadUntil(const std::function<bool(const std::string&)>& done, milliseconds timeout);
  bool ReadAtLeast(std::size_t bytes, milliseconds timeout) {
    return ReadUntil([bytes](const std::string& r) { return r.size() >= bytes; }, timeout);
  }
  // Everything received since the last TakeReceived, and when each piece came.
  const std::string& Received() const { return m_received; }
  const std::vector<Arrival>& Arrivals() const { return m_arrivals; }
  std::string TakeReceived();

 private:
  SerialPort m_port;
  std::string m_received;
  std::vector<Arrival> m_arrivals;
};

}  // namespace kestrion::testing_support
