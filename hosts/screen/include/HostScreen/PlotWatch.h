#pragma once
// What the plot a tweak put on a host's screen did, seen from outside the tweak, the same way in
// every host: the class of the plot view shown (the frontmost view on the screen whose class
// descends from the plots' base class, as a view debugger names it), the display link's ticks
// while one is shown (as the display counts them), the ticks whose drawing reached the screen
// (the plot's layers showed a new change at a refresh; the rest are dropped) and how long the
// main-queue task that follows each tick took (the drawing task, with its exchanges). Main
// thread only.

#include <UIKit/UIView.h>

#include <cstdint>
#include <string>

namespace screen {

// The plot view on the screen under `root` now, or null.
UIView* plotViewOn(UIView* root);

// Books one look at the screen before the main loop sleeps: `plot` the plot view found then (or
// null) and `lastChange` the latest change that shows in its layers (CALayer::lastChange).
void notePlotAtLook(UIView* plot, std::uint64_t lastChange);

// "plot=CLASS showing=0|1 ticks=N drawn=N dropped=N draw_p50_us=N draw_p99_us=N" for the screen
// under `root` (the class is empty when no plot is shown).
std::string plotFigures(UIView* root);

}  // namespace screen
