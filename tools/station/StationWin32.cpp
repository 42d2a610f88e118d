#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <array>
#include <cstring>
#include <thread>

#include "StationPlatform.h"
#include "StopWin32.h"

namespace kestrion::station {

std::string ErrnoText(int errorNumber) {
  std::array<char, 256> buffer{};
  if (::strerror_s(buffer.data(), buffer.size(), errorNumber) != 0) return "error " + std::to_string(errorNumber);
  return buffer.data();
}

std::string PortErrorText(int systemError) {
  const auto error = static_cast<DWORD>(systemError);
  std::array<char, 256> buffer{};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' || buffer[length - 1] == '.')) {
    --length;
  }
  const std::string code = "error " + std::to_string(error);
  if (length == 0) return code;
  return std::string(buffer.data(), length) + ", " + code;
}

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr)
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

std::filesystem::path PathFromArgument(const std::string& argument) {
  if (argument.empty()) return {};
  const int length = static_cast<int>(argument.size());
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, argument.data(), length, nullptr, 0);
  if (size <= 0) return argument;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, argument.data(), length, wide.data(), size);
  return wide;
}

std::uint64_t ProcessId() {
  return ::GetCurrentProcessId();
}

bool WaitForEnter() {
  // A console or a pipe on standard input: neither can be waited on together with the stop, so a thread of
  // its own reads the line. After a stop it is left waiting; the process ends soon after.
  const HANDLE lineRead = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (lineRead == nullptr) return !StopRequested();
  std::thread([lineRead] {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
      char c = 0;
      DWORD got = 0;
      if (!::ReadFile(input, &c, 1, &got, nullptr) || got == 0 || c == '\n') break;
    }
    ::SetEvent(lineRead);
  }).detach();
  const HANDLE both[2] = {lineRead, StopEvent()};
  const DWORD woken = ::WaitForMultipleObjects(both[1] != nullptr ? 2 : 1, both, FALSE, INFINITE);
  if (woken != WAIT_OBJECT_0) return false;
  ::CloseHandle(lineRead);  // the reading thread is done with it
  return !StopRequested();
}

OwnLine MakeOwnLine(const StationOptions&, std::string& error) {
  error = "Windows has no pseudo-terminal for the station to make: name a serial port with --port COMn";
  return {};
}

std::string_view PortUsage() {
  return "  --port COMn        play the instrument on this serial port (needed on Windows, which has no\n"
         "                     pseudo-terminal; COM10 and up open as \\\\.\\COM10)\n";
}

}  // namespace kestrion::station
