#pragma once
// Spotify's host classes as the Spotify integration sees them.

#include <CoreGraphics/CGGeometry.h>
#include <objc/message.h>
#include <objc/runtime.h>

namespace SpotifyAppHost {

inline constexpr const char* kCarouselAreaViewController =
    "SPTNowPlayingCarouselAreaViewController";
inline constexpr const char* kPreviousTrackButton = "SPTNowPlayingPreviousTrackButton";
inline constexpr const char* kPlayButton = "SPTNowPlayingPlayButton";

using ViewDidLoad = void (*)(id self, SEL _cmd);
using ViewDidAppear = void (*)(id self, SEL _cmd, BOOL animated);
using ViewDidDisappear = void (*)(id self, SEL _cmd, BOOL animated);
using SetIconColor = void (*)(id self, SEL _cmd, id color);
using InitWithFrame = id (*)(id self, SEL _cmd, CGRect frame);

// Properties of the carousel controller and its parts.
inline id viewOf(id controller) {
  return msgSend<id>(controller, "view");
}
inline id coverArtControllerOf(id controller) {
  return msgSend<id>(controller, "coverArtController");
}
inline id coverArtViewOf(id coverArtController) {
  return msgSend<id>(coverArtController, "coverArtView");
}
inline id blurControllerOf(id controller) {
  return msgSend<id>(controller, "blurController");
}
inline id backgroundViewOf(id blurController) {
  return msgSend<id>(blurController, "backgroundView");
}
inline id backgroundImageBlurViewOf(id backgroundView) {
  return msgSend<id>(backgroundView, "backgroundImageBlurView");
}
inline id subviewsOf(id view) {
  return msgSend<id>(view, "subviews");
}
inline id backgroundColorOf(id view) {
  return msgSend<id>(view, "backgroundColor");
}
inline id circleColorOf(id playButton) {
  return msgSend<id>(playButton, "circleColor");
}

}  // namespace SpotifyAppHost
