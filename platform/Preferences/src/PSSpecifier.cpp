#include "Preferences/PSSpecifier.h"

#include <strings.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "objc/message.h"

namespace {

struct CellName {
  const char* name;
  PSCellType type;
};

constexpr CellName kCells[] = {
    {"PSGroupCell", PSGroupCell},       {"PSLinkCell", PSLinkCell},
    {"PSLinkListCell", PSLinkListCell}, {"PSSliderCell", PSSliderCell},
    {"PSSwitchCell", PSSwitchCell},     {"PSEditTextCell", PSEditTextCell},
    {"PSButtonCell", PSButtonCell},
};

bool fail(std::string* error, std::string reason) {
  if (error != nullptr) *error = std::move(reason);
  return false;
}

const NSString* stringEntry(const NSDictionary* entry, std::string_view key) {
  const auto* string = objc::cast<NSString>(entry->objectForKey(key));
  return string != nullptr && string->length() > 0 ? string : nullptr;
}

const NSNumber* numberEntry(const NSDictionary* entry, std::string_view key) {
  const auto* number = objc::cast<NSNumber>(entry->objectForKey(key));
  return number != nullptr && std::isfinite(number->doubleValue()) ? number : nullptr;
}

bool isValueRow(PSCellType type) {
  return type == PSSwitchCell || type == PSSliderCell || type == PSLinkListCell ||
         type == PSEditTextCell;
}

// The whole text as a finite number.
bool parseNumber(std::string_view text, double* value) {
  const std::string copy(text);
  if (copy.empty() || copy.size() > 64) return false;
  char* end = nullptr;
  *value = std::strtod(copy.c_str(), &end);
  return end == copy.c_str() + copy.size() && std::isfinite(*value);
}

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

const char* PSSpecifier::cellTypeName(PSCellType type) {
  for (const CellName& cell : kCells)
    if (cell.type == type) return cell.name;
  return "PSGroupCell";
}

StrongRef<PSSpecifier> PSSpecifier::specifierWithEntry(const NSDictionary* entry, id target,
                                                       std::string* error) {
  if (entry == nullptr) return fail(error, "a row that is not a dictionary"), nullptr;
  const NSString* cell = stringEntry(entry, "cell");
  if (cell == nullptr) return fail(error, "a row without a cell"), nullptr;
  auto specifier = objc::make<PSSpecifier>();
  bool known = false;
  for (const CellName& kind : kCells)
    if (cell->string() == kind.name) specifier->cellType_ = kind.type, known = true;
  if (!known) return fail(error, "unknown cell " + cell->string()), nullptr;

  for (const auto& [key, value] : entry->entries()) specifier->properties_->setObject(value, key);
  if (const NSString* label = stringEntry(entry, "label")) specifier->name_ = label->string();
  const NSString* key = stringEntry(entry, "key");
  const NSString* named = stringEntry(entry, "id");
  specifier->identifier_ = named ? named->string() : key ? key->string() : specifier->name_;
  specifier->target_ = target;
  const std::string row = "row \"" + specifier->identifier_ + "\"";
  const PSCellType type = specifier->cellType_;

  if (isValueRow(type)) {
    if (key == nullptr || stringEntry(entry, "defaults") == nullptr ||
        numberEntry(entry, "default") == nullptr)
      return fail(error, row + " needs key, default and defaults"), nullptr;
  }
  if (type == PSSliderCell || type == PSEditTextCell) {
    const NSNumber* minimum = numberEntry(entry, "min");
    const NSNumber* maximum = numberEntry(entry, "max");
    if (minimum != nullptr && maximum != nullptr &&
        minimum->doubleValue() <= maximum->doubleValue()) {
      specifier->hasRange_ = true;
      specifier->minimum_ = minimum->doubleValue();
      specifier->maximum_ = maximum->doubleValue();
    } else if (type == PSSliderCell || minimum != nullptr || maximum != nullptr) {
      return fail(error, row + " needs numbers min <= max"), nullptr;
    }
  }
  if (type == PSLinkListCell) {
    const auto* values = objc::cast<NSArray>(entry->objectForKey("validValues"));
    const auto* titles = objc::cast<NSArray>(entry->objectForKey("validTitles"));
    bool sound = values != nullptr && titles != nullptr && values->count() > 0 &&
                 values->count() == titles->count();
    for (std::size_t i = 0; sound && i < values->count(); ++i) {
      const auto* value = objc::cast<NSNumber>(values->objectAtIndex(i));
      sound = value != nullptr && std::isfinite(value->doubleValue()) &&
              objc::cast<NSString>(titles->objectAtIndex(i)) != nullptr;
    }
    if (!sound)
      return fail(error, row + " needs validValues (numbers) and validTitles of one length"),
             nullptr;
    specifier->values_ = const_cast<NSArray*>(values);
    specifier->titles_ = const_cast<NSArray*>(titles);
  }
  if (type == PSLinkCell && stringEntry(entry, "detail") == nullptr)
    return fail(error, row + " needs detail"), nullptr;
  if (type == PSButtonCell && stringEntry(entry, "action") == nullptr)
    return fail(error, row + " needs action"), nullptr;
  return specifier;
}

std::string PSSpecifier::key() const {
  const auto* key = objc::cast<NSString>(propertyForKey("key"));
  return isValueRow(cellType_) && key != nullptr ? key->string() : std::string();
}

std::string PSSpecifier::defaultsDomain() const {
  const auto* domain = objc::cast<NSString>(propertyForKey("defaults"));
  return isValueRow(cellType_) && domain != nullptr ? domain->string() : std::string();
}

StrongRef<NSNumber> PSSpecifier::valueWithDefaultType(const NSObject* value) const {
  const auto* standard = objc::cast<NSNumber>(propertyForKey("default"));
  if (standard == nullptr) return nullptr;
  switch (standard->kind()) {
    case NSNumber::Kind::boolean:
      return NSNumber::numberWithBool(boolValueOf(value));
    case NSNumber::Kind::int32:
    case NSNumber::Kind::int64:
      return NSNumber::numberWithInteger(integerValueOf(value));
    case NSNumber::Kind::float32:
    case NSNumber::Kind::float64:
      return NSNumber::numberWithDouble(doubleValueOf(value));
  }
  return nullptr;
}

StrongRef<NSNumber> PSSpecifier::valueFromInput(std::string_view input, std::string* error) const {
  const std::string row = key().empty() ? "\"" + identifier_ + "\"" : key();
  const std::string given = "\"" + std::string(input.substr(0, 64)) + "\"";
  const auto* standard = objc::cast<NSNumber>(propertyForKey("default"));
  if (!isValueRow(cellType_) || standard == nullptr)
    return fail(error, row + " holds no value"), nullptr;
  const bool whole =
      standard->kind() != NSNumber::Kind::float32 && standard->kind() != NSNumber::Kind::float64;
  double number = 0;

  switch (cellType_) {
    case PSSwitchCell: {
      static constexpr const char* kOn[] = {"on", "true", "yes", "1"};
      static constexpr const char* kOff[] = {"off", "false", "no", "0"};
      const std::string text(input);
      for (const char* on : kOn)
        if (strcasecmp(text.c_str(), on) == 0)
          return valueWithDefaultType(NSNumber::numberWithBool(true));
      for (const char* off : kOff)
        if (strcasecmp(text.c_str(), off) == 0)
          return valueWithDefaultType(NSNumber::numberWithBool(false));
      return fail(error, row + " is a switch: on or off, not " + given), nullptr;
    }
    case PSLinkListCell: {
      const std::string text(input);
      std::string choices;
      for (std::size_t i = 0; i < values_->count(); ++i) {
        const double value = doubleValueOf(values_->objectAtIndex(i));
        const auto* title = objc::cast<NSString>(titles_->objectAtIndex(i));
        if ((parseNumber(input, &number) && number == value) ||
            strcasecmp(text.c_str(), title->UTF8String()) == 0)
          return valueWithDefaultType(values_->objectAtIndex(i));
        choices += (i > 0 ? ", " : "") + numberText(value) + " (" + title->string() + ")";
      }
      return fail(error, row + " takes one of " + choices + ", not " + given), nullptr;
    }
    default: {
      const std::string range =
          hasRange_ ? " from " + numberText(minimum_) + " to " + numberText(maximum_) : "";
      const std::string wanted = row + " takes a " + (whole ? "whole " : "") + "number" + range;
      if (!parseNumber(input, &number)) return fail(error, wanted + ", not " + given), nullptr;
      if (whole && number != std::floor(number))
        return fail(error, wanted + ", not " + given), nullptr;
      if (hasRange_ && (number < minimum_ || number > maximum_))
        return fail(error, wanted + ", not " + given), nullptr;
      if (whole && std::fabs(number) > 2147483647.0)
        return fail(error, wanted + ", not " + given), nullptr;
      return valueWithDefaultType(NSNumber::numberWithDouble(number));
    }
  }
}

void PSSpecifier::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "cellType",
      +[](id self, SEL) { return static_cast<long>(static_cast<PSSpecifier*>(self)->cellType()); });
  objc::addMethod(
      cls, "propertyForKey:", +[](id self, SEL, id key) -> id {
        const auto* name = objc::cast<NSString>(key);
        return name != nullptr ? static_cast<PSSpecifier*>(self)->propertyForKey(name->string())
                               : nullptr;
      });
  objc::addMethod(
      cls, "target", +[](id self, SEL) -> id { return static_cast<PSSpecifier*>(self)->target(); });
}
