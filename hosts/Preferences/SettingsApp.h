#pragma once
// The Settings app as a person uses it: the preference bundles named by the entries in the
// device's Library/PreferenceLoader/Preferences/ are loaded, each entry's pane is the root of the
// panes its links lead to, and rows are changed, buttons pressed and links followed as their
// cells do it. A pane is named by the link row that leads to it; the first entry's pane is "Root".
// Panes are made when first reached and live as long as the app. One pane is on screen at a time:
// following a link opens its pane over the one that holds it, going back returns to that one.

#include <optional>
#include <string>
#include <vector>

#include <Preferences/PSListController.h>

namespace settings_app {

// Loads every entry's bundle and makes its root pane; logs what cannot be loaded.
void loadEntries();

// Every pane, root first, following each link once.
std::vector<std::string> paneNames();

// The pane named `name`, reached by following links from the roots; null when there is none.
id paneNamed(const std::string& name);

struct Row {
  id pane;  // the pane showing it
  PSSpecifier* specifier;
};

// Every row of every pane, in pane order.
std::vector<Row> allRows();

// The pane a link row leads to, made on first follow; null when the row's detail is no pane class.
id follow(const Row& link);

struct ShownPane {
  std::string name;
  std::string title;  // the entry's label for a root pane, the link's for the others
  id pane;            // null before the entries are loaded
};

// The pane on screen and, below it, the one that "back" returns to (when there is one).
ShownPane shownPane();
std::optional<ShownPane> paneBelow();

// Follows `link` and puts its pane on screen, over the pane that holds the link; null as `follow`.
id open(const Row& link);

// Takes the pane on screen off, back to the one below; false on a root pane.
bool goBack();

}  // namespace settings_app
