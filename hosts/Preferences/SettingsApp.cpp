#include "SettingsApp.h"

#include <Device/Device.h>
#include <Foundation/Foundation.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

namespace settings_app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEntriesFolder = "/Library/PreferenceLoader/Preferences";
constexpr const char* kBundlesFolder = "/Library/PreferenceBundles";
constexpr std::size_t kMaximumEntrySize = 64 * 1024;
// Links form a tree in a sound bundle; this bounds a walk through a bundle that loops.
constexpr std::size_t kMaximumPanes = 64;

struct Pane {
  std::string name;
  std::string title;
  StrongRef<NSObject> controller;
};

std::vector<Pane>& panes() {
  static std::vector<Pane> all;
  return all;
}

// The panes on screen, as indices into panes(): a root first, the shown one last.
std::vector<std::size_t>& onScreen() {
  static std::vector<std::size_t> stack;
  return stack;
}

std::size_t indexOf(id controller) {
  for (std::size_t i = 0; i < panes().size(); ++i)
    if (panes()[i].controller.get() == controller) return i;
  return panes().size();
}

ShownPane shown(std::size_t index) {
  const Pane& pane = panes()[index];
  return {pane.name, pane.title, pane.controller.get()};
}

// The detail pane made for each followed link row.
std::map<const PSSpecifier*, StrongRef<NSObject>>& followed() {
  static std::map<const PSSpecifier*, StrongRef<NSObject>> all;
  return all;
}

// A new pane of the class `className`, with `bundle`; null when it is no PSListController.
StrongRef<NSObject> makePane(const std::string& className, NSBundle* bundle) {
  Class cls = objc_getClass(className.c_str());
  if (cls == nullptr || !class_isSubclassOf(cls, objc_getClass("PSListController"))) {
    NSLog("Preferences: %s is no pane class", className.c_str());
    return nullptr;
  }
  auto pane = StrongRef<NSObject>::adopt(class_createInstance(cls));
  msgSend<void>(pane.get(), "setBundle:", static_cast<id>(bundle));
  return pane;
}

std::string stringOf(const NSDictionary* dictionary, const char* key) {
  const auto* text = objc::cast<NSString>(dictionary->objectForKey(key));
  return text != nullptr ? text->string() : std::string();
}

bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

void loadEntry(const fs::path& file) {
  std::string reason;
  const auto contents =
      NSPropertyListSerialization::propertyListWithContentsOfFile(file, kMaximumEntrySize, &reason);
  const auto* root = objc::cast<NSDictionary>(contents.get());
  const auto* entry =
      root != nullptr ? objc::cast<NSDictionary>(root->objectForKey("entry")) : nullptr;
  if (entry == nullptr) {
    NSLog("Preferences: entry %s: %s", file.c_str(),
          contents ? "no entry dictionary" : reason.c_str());
    return;
  }
  const std::string bundleName = stringOf(entry, "bundle");
  const std::string detail = stringOf(entry, "detail");
  const std::string label = stringOf(entry, "label");
  if (!isPlainName(bundleName) || detail.empty()) {
    NSLog("Preferences: entry %s names no bundle and pane", file.c_str());
    return;
  }
  auto bundle = NSBundle::bundleWithPath(device::phonePath(kBundlesFolder).string() + "/" +
                                         bundleName + ".bundle");
  if (!bundle || !bundle->load()) {
    NSLog("Preferences: entry %s: cannot load the bundle %s", file.c_str(), bundleName.c_str());
    return;
  }
  if (auto pane = makePane(detail, bundle.get()))
    panes().push_back({panes().empty() ? "Root" : label, label, pane});
}

// Follows every link of the known panes once, so that every pane is known.
void reachEveryPane() {
  for (std::size_t i = 0; i < panes().size() && panes().size() < kMaximumPanes; ++i) {
    const auto* rows = objc::cast<NSArray>(msgSend<id>(panes()[i].controller.get(), "specifiers"));
    if (rows == nullptr) continue;
    for (const auto& row : rows->objects()) {
      auto* specifier = objc::cast<PSSpecifier>(row.get());
      if (specifier != nullptr && specifier->cellType() == PSLinkCell)
        follow({panes()[i].controller.get(), specifier});
    }
  }
}

}  // namespace

void loadEntries() {
  const fs::path folder = device::phonePath(kEntriesFolder);
  std::error_code error;
  std::vector<fs::path> files;
  for (const auto& item : fs::directory_iterator(folder, error))
    if (item.path().extension() == ".plist") files.push_back(item.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) loadEntry(file);
  if (panes().empty()) NSLog("Preferences: no preference bundle in %s", folder.c_str());
}

id follow(const Row& link) {
  if (link.specifier == nullptr || link.specifier->cellType() != PSLinkCell) return nullptr;
  auto& made = followed()[link.specifier];
  if (!made) {
    const auto* detail = objc::cast<NSString>(link.specifier->propertyForKey("detail"));
    if (detail == nullptr || panes().size() >= kMaximumPanes) return nullptr;
    made = makePane(detail->string(), objc::cast<NSBundle>(msgSend<id>(link.pane, "bundle")));
    if (!made) return nullptr;
    panes().push_back({link.specifier->identifier(), link.specifier->name(), made});
  }
  return made.get();
}

ShownPane shownPane() {
  if (onScreen().empty() && !panes().empty()) onScreen().push_back(0);
  return onScreen().empty() ? ShownPane{"Root", "Settings", nullptr} : shown(onScreen().back());
}

std::optional<ShownPane> paneBelow() {
  if (onScreen().size() < 2) return std::nullopt;
  return shown(onScreen()[onScreen().size() - 2]);
}

id open(const Row& link) {
  id pane = follow(link);
  if (pane == nullptr) return nullptr;
  shownPane();
  // Over the pane that holds the link: whatever was above that one goes.
  auto& stack = onScreen();
  const auto holder = std::find(stack.begin(), stack.end(), indexOf(link.pane));
  if (holder != stack.end()) stack.erase(holder + 1, stack.end());
  if (stack.back() != indexOf(pane)) stack.push_back(indexOf(pane));
  return pane;
}

bool goBack() {
  if (onScreen().size() < 2) return false;
  onScreen().pop_back();
  return true;
}

std::vector<std::string> paneNames() {
  reachEveryPane();
  std::vector<std::string> names;
  for (const Pane& pane : panes()) names.push_back(pane.name);
  return names;
}

id paneNamed(const std::string& name) {
  reachEveryPane();
  for (const Pane& pane : panes())
    if (pane.name == name) return pane.controller.get();
  return nullptr;
}

std::vector<Row> allRows() {
  reachEveryPane();
  std::vector<Row> rows;
  for (const Pane& pane : panes()) {
    const auto* list = objc::cast<NSArray>(msgSend<id>(pane.controller.get(), "specifiers"));
    if (list == nullptr) continue;
    for (const auto& row : list->objects())
      if (auto* specifier = objc::cast<PSSpecifier>(row.get()))
        rows.push_back({pane.controller.get(), specifier});
  }
  return rows;
}

}  // namespace settings_app
