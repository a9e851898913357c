#pragma once
// What a host's screen committed and when, seen from outside whatever drew it: each time the
// main loop is about to sleep (in every mode) the watch asks the layers for the latest change
// that shows on the screen; a newer one than the last is a new frame, shown at the display's
// next refresh (one frame a refresh at most). Main thread only.

#include <UIKit/UIView.h>

#include <cstdint>
#include <string>

namespace screen {

// A fingerprint of everything the renderer would draw of `layer` and its visible sublayers (for
// tests that compare two moments).
std::uint64_t fingerprintOf(CALayer* layer);

// Starts watching `root` (once per process; later calls change the root).
void watchScreen(UIView* root);

// The screen watched (null before watchScreen).
UIView* watchedScreen();

// "refreshes=N frames=N last_frame_ms_ago=…": the display's refreshes since the watch began and
// new frames among them.
std::string screenFigures();

// CLOCK_MONOTONIC (ns) of the first refresh after `after` that showed a new frame; 0 when none
// has come yet (or it is older than the last 64 frames).
std::uint64_t firstFrameAfter(std::uint64_t after);

}  // namespace screen
