#include "Vellamor2/SettingsManager.h"

#include <CoreFoundation/CFPreferences.h>

#include <string>

#include "Vellamor2/SharedRecords.h"

StrongRef<NSMutableDictionary> gPreferences;

namespace vellamor2 {

namespace {

using Type = SettingDefault::Type;

constexpr SettingDefault kDefaults[] = {
    {"EnabledMusic", "enabledMusic", Type::Bool, 1},
    {"EnabledLS", "enabledLS", Type::Bool, 1},
    {"EnabledSPT", "enabledSPT", Type::Bool, 1},
    {"VisMethod", "visMethod", Type::Int, 0},
    {"ColourMethod", "colourMethod", Type::Int, 0},
    {"WaveBuffersPerPlot", "waveBuffersPerPlot", Type::Int, 1},
    {"WaveThickness", "waveThickness", Type::Float, 1.0},
    {"WaveGain", "waveGain", Type::Float, 1.0},
    {"WaveStripPhase", "waveStripPhase", Type::Bool, 0},
    {"WaveLowPassFilter", "waveLowPassFilter", Type::Bool, 0},
    {"WaveSmudge", "waveSmudge", Type::Float, 0.0},
    {"WaveFill", "waveFill", Type::Bool, 0},
    {"WaveOverlay", "waveOverlay", Type::Bool, 0},
    {"WaveLPFAmount", "waveLPFAmount", Type::Float, 0.0},
    {"WaveBarsNumber", "waveBarsNumber", Type::Int, 64},
    {"WaveBarsBuffersPerPlot", "waveBarsBuffersPerPlot", Type::Int, 20},
    {"WaveBarsGain", "waveBarsGain", Type::Float, 2.0},
    {"WaveBarsSensitivity", "waveBarsSensitivity", Type::Float, 15.0},
    {"WaveBarsFill", "waveBarsFill", Type::Bool, 1},
    {"WaveBarsOverlay", "waveBarsOverlay", Type::Bool, 0},
    {"BarsNumber", "barsNumber", Type::Int, 64},
    {"BarsBuffersPerPlot", "barsBuffersPerPlot", Type::Int, 3},
    {"BarsGain", "barsGain", Type::Float, 0.9},
    {"BarsSensitivity", "barsSensitivity", Type::Float, 25.0},
    {"BarsFill", "barsFill", Type::Bool, 1},
    {"BarsOverlay", "barsOverlay", Type::Bool, 0},
    {"BarsMirrorX", "barsMirrorX", Type::Bool, 1},
    {"BarsMirrorY", "barsMirrorY", Type::Bool, 1},
    {"BarsZeroY", "barsZeroY", Type::Bool, 0},
    {"JoyplotMask", "joyplotMask", Type::Bool, 0},
    {"PrimaryColourRed", "primaryColourRed", Type::Int, 1},
    {"PrimaryColourGreen", "primaryColourGreen", Type::Int, 1},
    {"PrimaryColourBlue", "primaryColourBlue", Type::Int, 1},
    {"PrimaryColourAlpha", "primaryColourAlpha", Type::Double, 0.9},
    {"SecondaryColourRed", "secondaryColourRed", Type::Int, 1},
    {"SecondaryColourGreen", "secondaryColourGreen", Type::Int, 1},
    {"SecondaryColourBlue", "secondaryColourBlue", Type::Int, 1},
    {"SecondaryColourAlpha", "secondaryColourAlpha", Type::Double, 0.9},
    {"BackgroundColourRed", "backgroundColourRed", Type::Int, 0},
    {"BackgroundColourGreen", "backgroundColourGreen", Type::Int, 0},
    {"BackgroundColourBlue", "backgroundColourBlue", Type::Int, 0},
    {"BackgroundColourAlpha", "backgroundColourAlpha", Type::Double, 0.6},
};

StrongRef<NSNumber> defaultValue(const SettingDefault& setting) {
  switch (setting.type) {
    case Type::Bool:
      return NSNumber::numberWithBool(setting.value != 0);
    case Type::Int:
      return NSNumber::numberWithInt(static_cast<int>(setting.value));
    case Type::Float:
      return NSNumber::numberWithFloat(static_cast<float>(setting.value));
    case Type::Double:
      return NSNumber::numberWithDouble(setting.value);
  }
  return nullptr;
}

}  // namespace

std::span<const SettingDefault> settingDefaults() {
  return kDefaults;
}

const char* preferencesChangedNotification() {
  static const std::string name = std::string(kVellamorServiceIdentifier) + ".preferences-changed";
  return name.c_str();
}

}  // namespace vellamor2

void loadPreferencesFromFile(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                             const void*) {
  NSMutableDictionary* preferences = gPreferences.get();
  if (preferences == nullptr) return;
  CFPreferencesAppSynchronize(kVellamorServiceIdentifier);
  for (const vellamor2::SettingDefault& setting : vellamor2::settingDefaults()) {
    auto stored = StrongRef<NSObject>::adopt(
        CFPreferencesCopyAppValue(setting.storedKey, kVellamorServiceIdentifier));
    if (stored) {
      preferences->setObject(stored.get(), setting.dictionaryKey);
    } else {
      preferences->setObject(vellamor2::defaultValue(setting).get(), setting.dictionaryKey);
    }
    if (std::string_view(setting.dictionaryKey) == "colourMethod") {
      const bool enabledCF = integerValueOf(preferences->objectForKey("colourMethod")) == 2;
      preferences->setObject(NSNumber::numberWithBool(enabledCF).get(), "enabledCF");
    }
  }
}

SettingsManager* SettingsManager::init() {
  setPreferences(NSMutableDictionary::dictionary().get());
  gPreferences = preferences();
  loadPreferencesFromFile();
  CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr,
                                  &loadPreferencesFromFile,
                                  vellamor2::preferencesChangedNotification(), nullptr,
                                  CFNotificationSuspensionBehaviorCoalesce);
  return this;
}

void SettingsManager::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "init", +[](id self, SEL) -> id { return static_cast<SettingsManager*>(self)->init(); });
  objc::addMethod(
      cls, "preferences",
      +[](id self, SEL) -> id { return static_cast<SettingsManager*>(self)->preferences(); });
  objc::addMethod(
      cls, "setPreferences:", +[](id self, SEL, id preferences) {
        static_cast<SettingsManager*>(self)->setPreferences(
            objc::cast<NSMutableDictionary>(preferences));
      });
}
