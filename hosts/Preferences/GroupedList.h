#pragma once
// The Settings app's grouped list as the phone draws it, in layers: a navigation bar with the
// pane's title (and, on a pane opened from another, a back control naming that one), then the
// rows in sections on the grouped background, each section under its header and over its footer.
// Taller than the screen, the list is scrolled so that the focused row is in view. Main thread.

#include <QuartzCore/CALayer.h>

#include <optional>
#include <string>
#include <vector>

namespace settings_app {

inline constexpr double kScreenWidth = 375;
inline constexpr double kScreenHeight = 667;

struct ListRow {
  enum class Kind { group, toggle, slider, choice, number, link, button };
  Kind kind = Kind::group;
  std::string label;
  std::string value;    // a choice's title, a slider's or text field's number
  std::string footer;   // a group's
  bool on = false;      // a switch's
  double position = 0;  // a slider's, 0 to 1
};

struct ListPage {
  std::string title;
  std::string backTitle;  // empty on a root pane
  std::vector<ListRow> rows;
};

// Replaces what `screen` (kScreenWidth × kScreenHeight points) shows with `page`, scrolled so that
// the row at `focus` is in view.
void drawGroupedList(CALayer* screen, const ListPage& page, std::optional<std::size_t> focus);

}  // namespace settings_app
