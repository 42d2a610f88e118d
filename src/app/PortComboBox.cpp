#include "app/PortComboBox.h"

#include <QAbstractItemView>
#include <QScrollBar>

#include <QSignalBlocker>
#include <algorithm>

#include "app/ControlExchange.h"
#include "serial/PortNames.h"

namespace kestrion {

PortList RefreshedPortList(const std::vector<std::string>& listed,
                           const std::optional<std::string>& selected) {
  PortList list{listed, -1};
  if (!selected) return list;
  auto at = std::find(list.entries.begin(), list.entries.end(), *selected);
  if (at == list.entries.end()) at = list.entries.insert(list.entries.end(), *selected);
  list.selected = static_cast<int>(at - list.entries.begin());
  return list;
}

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  // The box is narrow and a port path long: the whole name is a hover away.
  connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
}

void PortComboBox::Refresh() {
  PortList shown;
  for (int i = 0; i < count(); ++i) shown.entries.push_back(ComboEntry(*this, i).Bytes());
  shown.selected = currentIndex();
  std::optional<std::string> selected;
  if (shown.selected >= 0) selected = shown.entries[static_cast<std::size_t>(shown.selected)];

  const PortList fresh = RefreshedPortList(ListPortNames(), selected);
  if (fresh == shown) return;
  // The same port stays selected, so nobody needs to hear about the rebuild.
  const QSignalBlocker quiet(this);
  clear();
  for (const std::string& name : fresh.entries) AddPortEntry(*this, name);
  setCurrentIndex(fresh.selected);
  setToolTip(currentText());
}

void PortComboBox::showPopup() {
  Refresh();
  // Device paths and virtual ports are longer than the box is wide: the list shows them whole.
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + view()->verticalScrollBar()->sizeHint().width());
  QComboBox::showPopup();
}

}  // namespace kestrion
