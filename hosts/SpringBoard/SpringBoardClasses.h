#pragma once
// SpringBoard's host classes: the application, and on iOS 10 the dash board's now-playing
// artwork controller with its artwork view. (iOS 9's lock-screen classes live in the
// NowPlayingArtLockScreen plug-in.)

#include <objc/runtime.h>

namespace springboard {

// Defines the classes of `generation` through the object runtime.
void defineClasses(int generation);

// Makes the application object and tells it that SpringBoard has finished launching.
void launch();
bool hasLaunched();

// The lock screen's now-playing artwork comes on screen or goes away (its controller's
// viewDidAppear: / viewDidDisappear:). On iOS 9 the controller comes from the plug-in.
void showNowPlayingArtwork();
void hideNowPlayingArtwork();

// Lock screen: the controller of the artwork on screen (no reference taken), or null.
id nowPlayingArtworkController();

}  // namespace springboard
