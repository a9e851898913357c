#pragma once
// Which plot the lock screen shows, and how often it draws.

namespace LockScreen {

// The plot class that "visMethod" names: 1 wave bars, 2 bars, 3 joyplot, 99 debug, any other
// value (0 included) the waveform.
constexpr const char* plotClassNameFor(int visMethod) {
  switch (visMethod) {
    case 1:
      return "WavePlotWaveBars";
    case 2:
      return "WavePlotBars";
    case 3:
      return "WavePlotJoyplot";
    case 99:
      return "WavePlotDebug";
    default:
      return "WavePlotWaveform";
  }
}

// Display refreshes per tick: 30 drawings a second on the 60 Hz display.
inline constexpr long kFrameInterval = 2;

}  // namespace LockScreen
