// A dialog's template as data: the window and its controls in template order (which is also the tab order and
// the order in which radio groups form), with ids, kinds, captions, places in dialog units and the styles that
// matter. Every host builds its window from it, and every host's tests check the live window against it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kestrion {

// A place in dialog units: a quarter of the font's average character width, an eighth of its height.
struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

enum class ControlKind {
  PushButton,
  DefaultPushButton,
  RadioButton,   // automatic: checks itself when clicked, unchecks the others of its group
  ComboBox,      // a drop-down list without typing; its height includes the dropped-down list
  Edit,          // single line
  MultiLineEdit,
  ListBox,
  GroupBox,
  Label,         // left-aligned static text
  Icon,          // the application icon
  StatusLine,    // a static text along the bottom, without access-key prefixes (a path may hold "&")
};

// Styles, as flags.
namespace style {
inline constexpr std::uint32_t kTabStop = 1u << 0;
inline constexpr std::uint32_t kGroup = 1u << 1;
inline constexpr std::uint32_t kVScroll = 1u << 2;
inline constexpr std::uint32_t kAutoHScroll = 1u << 3;  // scrolls sideways by itself; lines are not wrapped
inline constexpr std::uint32_t kBorder = 1u << 4;
inline constexpr std::uint32_t kWantReturn = 1u << 5;   // Enter makes a new line
inline constexpr std::uint32_t kNotify = 1u << 6;
inline constexpr std::uint32_t kNoIntegralHeight = 1u << 7;
}  // namespace style

struct ControlRow {
  int id = 0;  // 0 for a control that has none (-1 in a resource script)
  ControlKind kind = ControlKind::Label;
  std::u16string_view caption;
  DialogRect rect;
  std::uint32_t styles = 0;
  // The control's name in a host that names its widgets: "IDC_<id>" for a control with an id.
  std::string_view name;
};

struct DialogTemplate {
  int id = 0;
  std::u16string_view caption;
  DialogRect rect;  // x and y 0
  std::u16string_view fontName;
  int fontPoints = 8;
  std::span<const ControlRow> controls;

  // The row of `id`, or nullptr.
  const ControlRow* Find(int controlId) const {
    for (const ControlRow& row : controls) {
      if (row.id == controlId) return &row;
    }
    return nullptr;
  }
};

}  // namespace kestrion
