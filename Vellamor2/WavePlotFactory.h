#pragma once
// The plot that the "visMethod" setting names: 1 wave bars, 2 bars, 3 joyplot, 99 debug, and the
// waveform for 0 and every other value (or for a named plot not built into this library).

#include <CoreGraphics/CoreGraphics.h>
#include <objc/StrongRef.h>

#include "Vellamor2/WavePlot.h"

namespace vellamor2 {

// The run-time class name of the plot for `visMethod`.
const char* plotClassName(int visMethod);

// A new plot of that class, initialised with "initWithFrame:" (not yet set up).
StrongRef<WavePlot> makePlot(int visMethod, CGRect frame);

}  // namespace vellamor2
