#include "RowValues.h"

#include <Foundation/Foundation.h>

#include <cstdio>

namespace settings_app {

StrongRef<NSObject> valueOf(id pane, const PSSpecifier& row) {
  if (row.key().empty()) return nullptr;
  return StrongRef<NSObject>(
      msgSend<id>(pane, "readPreferenceValue:", static_cast<id>(const_cast<PSSpecifier*>(&row))));
}

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string choiceTitle(const PSSpecifier& row, double value) {
  if (row.cellType() != PSLinkListCell) return {};
  for (std::size_t i = 0; i < row.values()->count(); ++i)
    if (doubleValueOf(row.values()->objectAtIndex(i)) == value)
      return objc::cast<NSString>(row.titles()->objectAtIndex(i))->string();
  return {};
}

bool takesWholeNumbers(const PSSpecifier& row) {
  const auto* standard = objc::cast<NSNumber>(row.propertyForKey("default"));
  return standard != nullptr && standard->kind() != NSNumber::Kind::float32 &&
         standard->kind() != NSNumber::Kind::float64;
}

}  // namespace settings_app
