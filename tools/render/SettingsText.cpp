#include "SettingsText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "Vellamor2/SettingsManager.h"

namespace preview {
namespace {

using Setting = vellamor2::SettingDefault;

const Setting* settingNamed(std::string_view storedKey) {
  for (const Setting& setting : vellamor2::settingDefaults())
    if (storedKey == setting.storedKey) return &setting;
  return nullptr;
}

// The stored key whose dictionary key is `name`, for a hint when someone writes "waveGain".
const Setting* settingWithDictionaryKey(std::string_view name) {
  for (const Setting& setting : vellamor2::settingDefaults())
    if (name == setting.dictionaryKey) return &setting;
  return nullptr;
}

StrongRef<NSNumber> numberOf(Setting::Type type, double value) {
  switch (type) {
    case Setting::Type::Bool:
      return NSNumber::numberWithBool(value != 0);
    case Setting::Type::Int:
      return NSNumber::numberWithInt(static_cast<int>(value));
    case Setting::Type::Float:
      return NSNumber::numberWithFloat(static_cast<float>(value));
    case Setting::Type::Double:
      return NSNumber::numberWithDouble(value);
  }
  return nullptr;
}

void deriveEnabledCF(NSMutableDictionary* settings) {
  const bool enabled = integerValueOf(settings->objectForKey("colourMethod")) == 2;
  settings->setObject(NSNumber::numberWithBool(enabled).get(), "enabledCF");
}

bool parseFlag(const std::string& text, double* value) {
  if (text == "true" || text == "yes" || text == "1" || text == "YES" || text == "TRUE") {
    *value = 1;
    return true;
  }
  if (text == "false" || text == "no" || text == "0" || text == "NO" || text == "FALSE") {
    *value = 0;
    return true;
  }
  return false;
}

bool parseInteger(const std::string& text, double* value) {
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || parsed < std::numeric_limits<int>::min() ||
      parsed > std::numeric_limits<int>::max())
    return false;
  *value = static_cast<double>(parsed);
  return true;
}

bool parseReal(const std::string& text, bool single, double* value) {
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(parsed)) return false;
  if (single && std::fabs(parsed) > std::numeric_limits<float>::max()) return false;
  *value = parsed;
  return true;
}

// The colour components default to whole numbers, but the panes store any fraction 0 … 1.
bool isColourComponent(const Setting& setting) {
  const std::string_view key = setting.storedKey;
  if (key.find("Colour") == std::string_view::npos || key == "ColourMethod") return false;
  for (std::string_view end : {"Red", "Green", "Blue", "Alpha"})
    if (key.ends_with(end)) return true;
  return false;
}

const char* typeDescription(Setting::Type type) {
  switch (type) {
    case Setting::Type::Bool:
      return "a flag (true/false, yes/no, 1/0)";
    case Setting::Type::Int:
      return "an integer";
    case Setting::Type::Float:
    case Setting::Type::Double:
      return "a finite number";
  }
  return "a value";
}

}  // namespace

StrongRef<NSMutableDictionary> defaultSettings() {
  auto settings = NSMutableDictionary::dictionary();
  for (const Setting& setting : vellamor2::settingDefaults()) {
    settings->setObject(numberOf(setting.type, setting.value).get(), setting.dictionaryKey);
    if (std::string_view(setting.dictionaryKey) == "colourMethod") deriveEnabledCF(settings);
  }
  return settings;
}

bool applySetting(NSMutableDictionary* settings, std::string_view assignment, std::string* error) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string_view::npos) {
    if (error) *error = "setting '" + std::string(assignment) + "' is not of the form Key=Value";
    return false;
  }
  const std::string key(assignment.substr(0, equals));
  const std::string text(assignment.substr(equals + 1));
  const Setting* setting = settingNamed(key);
  if (setting == nullptr) {
    if (error) {
      *error = "unknown setting '" + key + "'";
      if (const Setting* hint = settingWithDictionaryKey(key))
        *error += " (settings take their stored names: " + std::string(hint->storedKey) + ")";
    }
    return false;
  }
  double value = 0;
  bool parsed = false;
  const Setting::Type type = isColourComponent(*setting) ? Setting::Type::Double : setting->type;
  switch (type) {
    case Setting::Type::Bool:
      parsed = parseFlag(text, &value);
      break;
    case Setting::Type::Int:
      parsed = parseInteger(text, &value);
      break;
    case Setting::Type::Float:
      parsed = parseReal(text, true, &value);
      break;
    case Setting::Type::Double:
      parsed = parseReal(text, false, &value);
      break;
  }
  if (!parsed) {
    if (error)
      *error = "setting " + key + " takes " + typeDescription(type) + ", not '" + text + "'";
    return false;
  }
  settings->setObject(numberOf(type, value).get(), setting->dictionaryKey);
  return true;
}

StrongRef<NSMutableDictionary> settingsFromAssignments(std::span<const std::string> assignments,
                                                       std::string* error) {
  auto settings = defaultSettings();
  for (const std::string& assignment : assignments)
    if (!applySetting(settings, assignment, error)) return nullptr;
  deriveEnabledCF(settings);
  return settings;
}

}  // namespace preview
