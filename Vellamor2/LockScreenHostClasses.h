#pragma once
// The lock screen's host classes as the lock-screen integration sees them: iOS 10's dash-board
// artwork controller, and iOS 9's now-playing plug-in (loaded from its lock bundle).

#include <CoreGraphics/CGGeometry.h>
#include <objc/message.h>
#include <objc/runtime.h>

namespace LockScreenHost {

inline constexpr const char* kArtworkViewController = "SBDashBoardMediaArtworkViewController";
inline constexpr const char* kPluginController = "NowPlayingArtPluginController";
inline constexpr const char* kArtView = "_NowPlayingArtView";
inline constexpr const char* kPluginPath =
    "/System/Library/SpringBoardPlugins/NowPlayingArtLockScreen.lockbundle/"
    "NowPlayingArtLockScreen";

// Instance variables read by name: the controller's artwork view and that view's container.
inline constexpr const char* kArtworkViewIvar = "_artworkView";
inline constexpr const char* kArtworkContainerViewIvar = "_artworkContainerView";

using ViewDidLoad = void (*)(id self, SEL _cmd);
using ViewDidAppear = void (*)(id self, SEL _cmd, BOOL animated);
using ViewDidDisappear = void (*)(id self, SEL _cmd, BOOL animated);
using WillRotate = void (*)(id self, SEL _cmd, long orientation, double duration);
using InitWithFrame = id (*)(id self, SEL _cmd, CGRect frame);

// Properties: the controller's `view`; the iOS 9 art view's `artworkView`.
inline id viewOf(id controller) {
  return msgSend<id>(controller, "view");
}
inline id artworkViewOf(id artView) {
  return msgSend<id>(artView, "artworkView");
}

}  // namespace LockScreenHost
