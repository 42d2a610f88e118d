#include "app/PortList.h"

#include <algorithm>

namespace kestrion {

PortList RefreshedPortList(const std::vector<std::string>& listed, const std::optional<std::string>& selected) {
  PortList list{listed, -1};
  if (!selected) return list;
  auto at = std::find(list.entries.begin(), list.entries.end(), *selected);
  if (at == list.entries.end()) at = list.entries.insert(list.entries.end(), *selected);
  list.selected = static_cast<int>(at - list.entries.begin());
  return list;
}

}  // namespace kestrion
