// kestrion-station: a simulated total station, so that Kestrion's transfers can be watched and tested
// without an instrument.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "Station.h"
#include "StationOptions.h"
#include "StationPlatform.h"

int main(int argc, char** argv) {
  using namespace kestrion::station;
  const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  const std::vector<std::string_view> args(arguments.begin(), arguments.end());
  const ParsedCommandLine parsed = ParseCommandLine(args);
  switch (parsed.kind) {
    case ParsedCommandLine::Kind::Help:
      std::cout << UsageText();
      return kExitCompleted;
    case ParsedCommandLine::Kind::Error:
      std::cerr << "kestrion-station: " << parsed.error << " (see --help)\n";
      return kExitUsage;
    case ParsedCommandLine::Kind::Run:
      break;
  }
  return RunStation(parsed.options, std::cout, std::cerr);
}
