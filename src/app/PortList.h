// The port list of the main window, read afresh from the system each time it drops down, so that an adapter
// plugged in (or a simulator started) after the window opened can be picked without a restart.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrion {

struct PortList {
  std::vector<std::string> entries;
  int selected = -1;  // index into entries, -1 for none
  friend bool operator==(const PortList&, const PortList&) = default;
};

// The list after a fresh look: `listed` in its order, with `selected` still selected. A selected name that is
// no longer listed stays, at the end, and stays selected: the operator's choice never silently becomes
// another device, and opening it tells that the device is gone. Nothing selected stays so.
PortList RefreshedPortList(const std::vector<std::string>& listed, const std::optional<std::string>& selected);

}  // namespace kestrion
