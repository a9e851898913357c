#include "Vellamor2/WavePlot.h"

#include <algorithm>
#include <cstddef>

#include "Vellamor2/WavePlotRecord.h"
#include "Vellamor2/WavePlotSettings.h"
#include "objc/message.h"

namespace {

struct ColorFlowObservation {
  const char* name;
  const char* handler;
};

constexpr ColorFlowObservation kColorFlowObservations[] = {
    {kColorFlowLockScreenColorizationNotification, "CFCNHandle:"},
    {kColorFlowMusicAppColorizationNotification, "CFCNHandle:"},
    {kColorFlowMusicAppColorReversionNotification, "CFRNHandle:"},
    {kColorFlowLockScreenColorReversionNotification, "CFRNHandle:"},
};

// A settings value as the plot reads it: no dictionary reads like an empty one.

StrongRef<UIColor> colorFromSettings(NSDictionary* settings, const char* red, const char* green,
                                     const char* blue, const char* alpha) {
  return UIColor::colorWithRed(settingFloat(settings, red), settingFloat(settings, green),
                               settingFloat(settings, blue), settingFloat(settings, alpha));
}

// `color` with its alpha replaced; no colour stays none.
StrongRef<UIColor> withAlpha(const UIColor* color, CGFloat alpha) {
  return color != nullptr ? color->colorWithAlphaComponent(alpha) : nullptr;
}

CGFloat alphaOf(const UIColor* color) {
  return color != nullptr ? color->alpha() : 0.0;
}

}  // namespace

WavePlot::~WavePlot() {
  deRegisterCFN();
}

void WavePlot::setupAndDraw(const serverDataStruct* record) {
  setup();
  updateDataAndDraw(record);
}

void WavePlot::clear() {
  deRegisterCFN();
}

void WavePlot::changePrimaryColor(UIColor* color) {
  setPrimaryColor(color);
}

void WavePlot::changeSecondaryColor(UIColor* color) {
  setSecondaryColor(color);
}

void WavePlot::changeBackgroundColor(UIColor* color) {
  setBackgroundColor(color);
}

void WavePlot::loadDefaultColors(NSDictionary* settings) {
  setDefaultPrimaryColor(colorFromSettings(settings, "primaryColourRed", "primaryColourGreen",
                                           "primaryColourBlue", "primaryColourAlpha"));
  setDefaultSecondaryColor(colorFromSettings(settings, "secondaryColourRed", "secondaryColourGreen",
                                             "secondaryColourBlue", "secondaryColourAlpha"));
  setDefaultBackgroundColor(colorFromSettings(settings, "backgroundColourRed",
                                              "backgroundColourGreen", "backgroundColourBlue",
                                              "backgroundColourAlpha"));
}

void WavePlot::loadDefaultColors() {
  if (defaultPrimaryColor_ == nullptr) return;
  // Hold the defaults: an override may replace them while it recolours.
  const StrongRef<UIColor> primary = defaultPrimaryColor_;
  const StrongRef<UIColor> secondary = defaultSecondaryColor_;
  const StrongRef<UIColor> background = defaultBackgroundColor_;
  changePrimaryColor(primary);
  changeSecondaryColor(secondary);
  changeBackgroundColor(background);
}

void WavePlot::updateSettings(NSDictionary* settings) {
  loadDefaultColors(settings);
  if (settings != nullptr && settings->boolValue("enabledCF")) {
    registerCFN();
    if (primaryColor_ != nullptr) {
      // ColorFlow's hues stay; only the user's alphas apply.
      const StrongRef<UIColor> primary =
          withAlpha(primaryColor_, settingFloat(settings, "primaryColourAlpha"));
      const StrongRef<UIColor> secondary =
          withAlpha(secondaryColor_, settingFloat(settings, "secondaryColourAlpha"));
      const StrongRef<UIColor> background =
          withAlpha(backgroundColor_, settingFloat(settings, "backgroundColourAlpha"));
      changePrimaryColor(primary);
      changeSecondaryColor(secondary);
      changeBackgroundColor(background);
      return;
    }
  }
  loadDefaultColors();
}

void WavePlot::registerCFN() {
  NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
  for (const ColorFlowObservation& observation : kColorFlowObservations) {
    // A second application of the settings must not double the deliveries.
    if (center->observationCount(this, observation.name) != 0) continue;
    center->addObserver(this, sel_registerName(observation.handler), observation.name, nullptr);
  }
}

void WavePlot::deRegisterCFN() {
  NSNotificationCenter::defaultCenter()->removeObserver(this);
}

void WavePlot::CFCNHandle(NSNotification* notification) {
  NSDictionary* info = notification != nullptr ? notification->userInfo() : nullptr;
  auto colorFor = [info](const char* key) -> UIColor* {
    return info != nullptr ? objc::cast<UIColor>(info->objectForKey(key)) : nullptr;
  };
  // Hold them: the notification may be the only owner.
  const StrongRef<UIColor> background = colorFor("BackgroundColor");
  const StrongRef<UIColor> primary = colorFor("PrimaryColor");
  const StrongRef<UIColor> secondary = colorFor("SecondaryColor");
  const CGFloat primaryAlpha = alphaOf(primaryColor_);
  const CGFloat secondaryAlpha = alphaOf(secondaryColor_);
  const CGFloat backgroundAlpha = alphaOf(backgroundColor_);
  changePrimaryColor(withAlpha(primary, primaryAlpha));
  changeSecondaryColor(withAlpha(secondary, secondaryAlpha));
  changeBackgroundColor(withAlpha(background, backgroundAlpha));
}

void WavePlot::CFRNHandle(NSNotification* notification) {
  (void)notification;
  loadDefaultColors();
}

bool WavePlot::pointInside(CGPoint point, UIEvent* event) {
  (void)point;
  (void)event;
  return false;
}

// ---- For the plots ----

unsigned WavePlot::recordChannels(const serverDataStruct* record) {
  if (record == nullptr) return 0;
  const std::int32_t channels = record->numberBuffers;
  return channels == 1 || channels == 2 ? static_cast<unsigned>(channels) : 0;
}

unsigned WavePlot::recordFrames(const serverDataStruct* record) {
  if (record == nullptr) return 0;
  return static_cast<unsigned>(
      std::clamp<std::int32_t>(record->numberFrames, 0, static_cast<std::int32_t>(kMaxFrames)));
}

bool WavePlot::recordIsDrawable(const serverDataStruct* record) {
  return recordChannels(record) != 0 && recordFrames(record) != 0;
}

const float* WavePlot::newestPackets(const serverDataStruct* record, unsigned channel,
                                     unsigned packets, unsigned frames) {
  return record->data[channel] + static_cast<std::size_t>(kHistoryPackets - packets) * frames;
}

UIColor* WavePlot::amplitudeColorFor(double maximum) {
  if (maximum > 0.85) return UIColor::redColor();
  if (maximum > 0.6) return UIColor::yellowColor();
  return UIColor::greenColor();
}

double WavePlot::channelCentreFraction(int recordChannelCount, bool overlay, unsigned channel) {
  if (recordChannelCount <= 1 || overlay) return 0.5;
  const double sign = channel % 2 == 0 ? 1.0 : -1.0;
  return 0.5 + sign * static_cast<double>(channel / 2 + 1) * 0.25;
}

bool WavePlot::adoptAudioFormat(const serverDataStruct* record, std::uint32_t& numberBuffers,
                                std::uint32_t& numberFrames) {
  if (!recordIsDrawable(record)) return false;
  const unsigned channels = recordChannels(record);
  if (numberBuffers != channels) {
    numberBuffers = channels;
    resetWaveformSublayers();
  }
  numberFrames = recordFrames(record);
  return true;
}

// ---- Run-time methods ----

void WavePlot::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "setup", +[](id self, SEL) { static_cast<WavePlot*>(self)->setup(); });
  objc::addMethod(
      cls, "setup:", +[](id self, SEL, serverDataStruct* record) {
        static_cast<WavePlot*>(self)->setupAndDraw(record);
      });
  objc::addMethod(
      cls, "clear", +[](id self, SEL) { static_cast<WavePlot*>(self)->clear(); });
  objc::addMethod(
      cls, "getPrimaryColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->getPrimaryColor(); });
  objc::addMethod(
      cls, "getSecondaryColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->getSecondaryColor(); });
  objc::addMethod(
      cls, "getBackgroundColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->getBackgroundColor(); });
  objc::addMethod(
      cls, "changePrimaryColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->changePrimaryColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "changeSecondaryColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->changeSecondaryColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "changeBackgroundColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->changeBackgroundColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "loadDefaultColors:", +[](id self, SEL, id settings) {
        static_cast<WavePlot*>(self)->loadDefaultColors(objc::cast<NSDictionary>(settings));
      });
  objc::addMethod(
      cls, "loadDefaultColors",
      +[](id self, SEL) { static_cast<WavePlot*>(self)->loadDefaultColors(); });
  objc::addMethod(
      cls, "updateSettings:", +[](id self, SEL, id settings) {
        static_cast<WavePlot*>(self)->updateSettings(objc::cast<NSDictionary>(settings));
      });
  objc::addMethod(
      cls, "updateDataAndDraw:", +[](id self, SEL, serverDataStruct* record) {
        static_cast<WavePlot*>(self)->updateDataAndDraw(record);
      });
  objc::addMethod(
      cls, "checkForAudioFormatChange:", +[](id self, SEL, serverDataStruct* record) {
        static_cast<WavePlot*>(self)->checkForAudioFormatChange(record);
      });
  objc::addMethod(
      cls, "resetWaveformSublayers",
      +[](id self, SEL) { static_cast<WavePlot*>(self)->resetWaveformSublayers(); });
  objc::addMethod(
      cls, "registerCFN", +[](id self, SEL) { static_cast<WavePlot*>(self)->registerCFN(); });
  objc::addMethod(
      cls, "deRegisterCFN", +[](id self, SEL) { static_cast<WavePlot*>(self)->deRegisterCFN(); });
  objc::addMethod(
      cls, "CFCNHandle:", +[](id self, SEL, id notification) {
        static_cast<WavePlot*>(self)->CFCNHandle(objc::cast<NSNotification>(notification));
      });
  objc::addMethod(
      cls, "CFRNHandle:", +[](id self, SEL, id notification) {
        static_cast<WavePlot*>(self)->CFRNHandle(objc::cast<NSNotification>(notification));
      });

  // The six colour properties.
  objc::addMethod(
      cls, "secondaryColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->secondaryColor(); });
  objc::addMethod(
      cls, "setSecondaryColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->setSecondaryColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "primaryColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->primaryColor(); });
  objc::addMethod(
      cls, "setPrimaryColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->setPrimaryColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "defaultSecondaryColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->defaultSecondaryColor(); });
  objc::addMethod(
      cls, "setDefaultSecondaryColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->setDefaultSecondaryColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "defaultPrimaryColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->defaultPrimaryColor(); });
  objc::addMethod(
      cls, "setDefaultPrimaryColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->setDefaultPrimaryColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "defaultBackgroundColor",
      +[](id self, SEL) -> id { return static_cast<WavePlot*>(self)->defaultBackgroundColor(); });
  objc::addMethod(
      cls, "setDefaultBackgroundColor:", +[](id self, SEL, id color) {
        static_cast<WavePlot*>(self)->setDefaultBackgroundColor(objc::cast<UIColor>(color));
      });
}
