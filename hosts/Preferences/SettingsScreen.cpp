#include "SettingsScreen.h"

#include <CoreFoundation/CFNotificationCenter.h>
#include <Foundation/Foundation.h>
#include <HostScreen/ScreenWatch.h>

#include <algorithm>
#include <optional>
#include <set>

#include "GroupedList.h"
#include "RowValues.h"
#include "SettingsApp.h"

namespace settings_app {
namespace {

StrongRef<UIView> root;
id focusedPane = nullptr;
std::string focusedRow;

ListRow listRowOf(id pane, const PSSpecifier& row) {
  using Kind = ListRow::Kind;
  ListRow shown;
  shown.label = row.name();
  const StrongRef<NSObject> value = valueOf(pane, row);
  const double number = doubleValueOf(value.get());
  switch (row.cellType()) {
    case PSGroupCell:
      shown.kind = Kind::group;
      if (const auto* footer = objc::cast<NSString>(row.propertyForKey("footerText")))
        shown.footer = footer->string();
      break;
    case PSSwitchCell:
      shown.kind = Kind::toggle;
      shown.on = boolValueOf(value.get());
      break;
    case PSSliderCell:
      shown.kind = Kind::slider;
      shown.value = numberText(number);
      if (row.hasRange() && row.maximum() > row.minimum())
        shown.position = (number - row.minimum()) / (row.maximum() - row.minimum());
      break;
    case PSLinkListCell:
      shown.kind = Kind::choice;
      shown.value = choiceTitle(row, number);
      if (shown.value.empty()) shown.value = numberText(number);
      break;
    case PSEditTextCell:
      shown.kind = Kind::number;
      shown.value = numberText(number);
      break;
    case PSLinkCell:
      shown.kind = Kind::link;
      break;
    case PSButtonCell:
      shown.kind = Kind::button;
      break;
  }
  return shown;
}

void redrawOnNotification(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                          const void*) {
  drawShownPane();
}

// Each notification a row posts after a change, observed once: whoever changed the row, the
// screen shows its new value.
void observeChangesOf(const PSSpecifier& row) {
  static std::set<std::string> observed;
  const auto* name = objc::cast<NSString>(row.propertyForKey("PostNotification"));
  if (name == nullptr || name->length() == 0 || !observed.insert(name->string()).second) return;
  CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr,
                                  &redrawOnNotification, name->UTF8String(), nullptr,
                                  CFNotificationSuspensionBehaviorCoalesce);
}

}  // namespace

UIView* settingsScreen() {
  if (!root) {
    root = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    screen::watchScreen(root.get());
  }
  return root.get();
}

void drawShownPane(const std::string& focus) {
  const ShownPane pane = shownPane();
  if (pane.pane != focusedPane) focusedRow.clear();
  focusedPane = pane.pane;
  if (!focus.empty()) focusedRow = focus;

  ListPage page;
  page.title = pane.title;
  if (const auto below = paneBelow()) page.backTitle = below->title;
  std::optional<std::size_t> focusIndex;
  if (const auto* rows = pane.pane != nullptr
                             ? objc::cast<NSArray>(msgSend<id>(pane.pane, "specifiers"))
                             : nullptr) {
    for (const auto& object : rows->objects()) {
      const auto* row = objc::cast<PSSpecifier>(object.get());
      if (row == nullptr) continue;
      if (!focusedRow.empty() && (row->key() == focusedRow || row->identifier() == focusedRow))
        focusIndex = page.rows.size();
      observeChangesOf(*row);
      page.rows.push_back(listRowOf(pane.pane, *row));
    }
  }
  drawGroupedList(settingsScreen()->layer(), page, focusIndex);
}

}  // namespace settings_app
