#pragma once
// The Music app's host classes as the Music-app integration sees them: iOS 10's controls
// controller and video view, iOS 9's now-playing and video controllers.

#include <CoreGraphics/CGGeometry.h>
#include <objc/message.h>
#include <objc/runtime.h>

namespace MusicAppHost {

inline constexpr const char* kVideoView = "Music.VideoView";
inline constexpr const char* kControlsViewController = "MusicNowPlayingControlsViewController";
inline constexpr const char* kNowPlayingViewController = "MusicNowPlayingViewController";
inline constexpr const char* kVideoViewController = "MusicNowPlayingVideoViewController";

// Instance variable of the iOS 9 current item's controller, read by name.
inline constexpr const char* kVideoViewControllerIvar = "_videoViewController";

using ViewDidLoad = void (*)(id self, SEL _cmd);
using ViewDidAppear = void (*)(id self, SEL _cmd, BOOL animated);
using ViewDidDisappear = void (*)(id self, SEL _cmd, BOOL animated);
using UpdateNowPlayingInfo = void (*)(id self, SEL _cmd);
using InitWithFrame = id (*)(id self, SEL _cmd, CGRect frame);
using SetVideoLayer = void (*)(id self, SEL _cmd, id layer);
using LayoutSubviews = void (*)(id self, SEL _cmd);

// Properties: `view`, `artworkView` (controls), `videoView` (artwork view), `isHidden` (views),
// `currentItemViewController` (iOS 9 now-playing controller).
inline id viewOf(id controller) {
  return msgSend<id>(controller, "view");
}
inline id artworkViewOf(id controller) {
  return msgSend<id>(controller, "artworkView");
}
inline id videoViewOf(id artworkView) {
  return msgSend<id>(artworkView, "videoView");
}
inline bool isHidden(id view) {
  return msgSend<bool>(view, "isHidden");
}
inline id currentItemViewControllerOf(id controller) {
  return msgSend<id>(controller, "currentItemViewController");
}

}  // namespace MusicAppHost
