#include "serial/PortNames.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "serial/PortNamesPlatform.h"

namespace kestrion {
namespace port_names {
namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

int ComNumber(const std::string& portName) {
  if (portName.size() != 4 || portName.compare(0, 3, "COM") != 0) return 0;
  const char digit = portName[3];
  return (digit >= '1' && digit <= '0' + kComPortCount) ? digit - '0' : 0;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t iEnd = i;
      std::size_t jEnd = j;
      while (iEnd < a.size() && IsDigit(a[iEnd])) ++iEnd;
      while (jEnd < b.size() && IsDigit(b[jEnd])) ++jEnd;
      std::string_view x(a.data() + i, iEnd - i);
      std::string_view y(b.data() + j, jEnd - j);
      while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
      while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
      if (x.size() != y.size()) return x.size() < y.size();
      if (x != y) return x < y;
      i = iEnd;
      j = jEnd;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

std::vector<std::string> ReportedPortsInOrder(std::vector<std::string> reported) {
  std::erase_if(reported, [](const std::string& name) { return name.empty() || ComNumber(name) != 0; });
  std::sort(reported.begin(), reported.end(), NaturalLess);
  reported.erase(std::unique(reported.begin(), reported.end()), reported.end());
  return reported;
}

}  // namespace port_names

std::string FolderCheck::Reason() const {
  const std::string name = folder.string();
  switch (kind) {
    case Private:
      return name + " is private";
    case Missing:
      return name + " does not exist";
    case NotAFolder:
      return name + " is not a folder (a link or a file stands there)";
    case OtherOwner:
      return name + " belongs to another user";
    case OthersMayWrite:
      return "others may write to " + name;
    case CannotCheck:
      break;
  }
  return "cannot check " + name + ": " + std::strerror(systemError);
}

std::vector<std::string> ListPortNames() {
  std::vector<std::string> names;
  for (int i = 1; i <= port_names::kComPortCount; ++i) names.push_back("COM" + std::to_string(i));
  for (std::string& device : port_names::SystemSerialPorts()) names.push_back(std::move(device));
  for (std::string& link : port_names::VirtualPorts()) names.push_back(std::move(link));
  return names;
}

}  // namespace kestrion
