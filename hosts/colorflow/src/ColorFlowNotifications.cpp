#include "ColorFlow/ColorFlowNotifications.h"

#include <Foundation/Foundation.h>
#include <UIKit/UIColor.h>

namespace colorflow {
namespace {

const char* colorizationName(Place place) {
  return place == Place::lockScreen ? "ColorFlowLockScreenColorizationNotification"
                                    : "ColorFlowMusicAppColorizationNotification";
}

const char* reversionName(Place place) {
  return place == Place::lockScreen ? "ColorFlowLockScreenColorReversionNotification"
                                    : "ColorFlowMusicAppColorReversionNotification";
}

StrongRef<UIColor> colorOf(const PaletteColor& color) {
  return UIColor::colorWithRed(color.red, color.green, color.blue, 1);
}

}  // namespace

void postColorization(Place place, const ArtworkPalette& palette) {
  auto userInfo = NSMutableDictionary::dictionary();
  userInfo->setObject(colorOf(palette.primary).get(), "PrimaryColor");
  userInfo->setObject(colorOf(palette.secondary).get(), "SecondaryColor");
  userInfo->setObject(colorOf(palette.background).get(), "BackgroundColor");
  NSNotificationCenter::defaultCenter()->postNotificationName(colorizationName(place), nullptr,
                                                              userInfo);
}

bool postColorization(Place place, CGImageRef artwork) {
  if (artwork == nullptr) return false;
  const auto palette = paletteFromArtwork(artwork->rgba(), artwork->width(), artwork->height(),
                                          artwork->bytesPerRow());
  if (!palette) return false;
  postColorization(place, *palette);
  return true;
}

void postReversion(Place place) {
  NSNotificationCenter::defaultCenter()->postNotificationName(reversionName(place), nullptr);
}

}  // namespace colorflow
