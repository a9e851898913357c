#pragma once
// What the lock screen's drawing did, for the device's control service and the demo's summary:
// ticks of the display link, tasks that drew or found no plot, ticks lost to a late main thread,
// and the time of each drawing. Main thread only; read in place by the host that loaded the
// tweak (looked up by name, as the tweak is loaded with global symbols).

#include <cstdint>

struct LockScreenFigures {
  static constexpr unsigned kKeptDurations = 4096;

  std::uint64_t ticks = 0;    // drawPlot: calls whose condition held
  std::uint64_t drawn = 0;    // drawing tasks that found a plot
  std::uint64_t skipped = 0;  // drawing tasks that ran after the plot had gone
  std::uint64_t dropped = 0;  // ticks that did not come because the main thread was busy
  std::uint64_t lastDrawNanoseconds = 0;  // CLOCK_MONOTONIC at the end of the last drawing
  // The last kKeptDurations drawing times (ns), written round from index drawn % kKeptDurations.
  std::uint32_t drawNanoseconds[kKeptDurations] = {};
};

extern "C" const LockScreenFigures* vellamor2LockScreenFigures();
inline constexpr const char* kLockScreenFiguresSymbol = "vellamor2LockScreenFigures";
