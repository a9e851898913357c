#pragma once
// SettingsManager: the settings dictionary of SpringBoard. Every key of the settings vocabulary
// is present; a stored value (upper camel case in the preferences domain) goes in unchanged,
// whatever its type, and an absent one takes its default. The dictionary object is made once and
// reloaded in place whenever the change notification arrives, so holders of it see new values
// without fetching it again.

#include <CoreFoundation/CFNotificationCenter.h>
#include <Foundation/Foundation.h>

#include <span>

class SettingsManager : public NSObject {
  OBJC_NATIVE_CLASS(SettingsManager, NSObject)
 public:
  // Makes the dictionary, loads it and subscribes to the change notification.
  SettingsManager* init();

  NSMutableDictionary* preferences() const { return _preferences.get(); }
  void setPreferences(NSMutableDictionary* preferences) { _preferences = preferences; }

  static void registerMethods_(Class cls);

 private:
  StrongRef<NSMutableDictionary> _preferences;
};

// The dictionary that loadPreferencesFromFile fills: the latest manager's.
extern StrongRef<NSMutableDictionary> gPreferences;

// Reads every key of the domain into gPreferences. It is also the change notification's callback
// as it stands; the callback's arguments are not used.
void loadPreferencesFromFile(CFNotificationCenterRef center = nullptr, void* observer = nullptr,
                             CFNotificationName name = nullptr, const void* object = nullptr,
                             const void* userInfo = nullptr);

namespace vellamor2 {

struct SettingDefault {
  enum class Type { Bool, Int, Float, Double };
  const char* storedKey;
  const char* dictionaryKey;
  Type type;
  double value;
};

// The 42 stored keys in the order they are read (enabledCF, derived, follows colourMethod).
std::span<const SettingDefault> settingDefaults();

// The Darwin notification that tells SpringBoard the stored settings changed.
const char* preferencesChangedNotification();

}  // namespace vellamor2
