#pragma once
// ColorFlow as the hosts that have it on the phone play it: when the now-playing artwork appears
// or changes, the colourisation notification with the artwork's palette ("PrimaryColor",
// "SecondaryColor", "BackgroundColor" as UIColor values); when it goes away, the reversion
// notification. Posted on the process's default notification centre, on the calling thread.

#include <CoreGraphics/CGImage.h>

#include "ColorFlow/ArtworkPalette.h"

namespace colorflow {

// Where the artwork is shown: each place has its own pair of notification names.
enum class Place { lockScreen, musicApp };

// Posts the colourisation notification with `palette`.
void postColorization(Place place, const ArtworkPalette& palette);
// With the palette of `artwork`; false (nothing posted) when it has none.
bool postColorization(Place place, CGImageRef artwork);
void postReversion(Place place);

}  // namespace colorflow
