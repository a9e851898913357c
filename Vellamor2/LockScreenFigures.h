#pragma once
// What the lock screen's drawing did, for SpringBoard's control service and the demo's summary:
// ticks of the display link, tasks that drew or found no plot, ticks lost to a late main thread,
// the time of each drawing, and the packets that reached the history between drawings. Main
// thread only; read in place by the host that loaded the tweak (looked up by name: the tweak is
// loaded with global symbols).

#include <cstdint>

struct serverDataStruct;

struct LockScreenFigures {
  static constexpr unsigned kKeptDurations = 4096;
  static constexpr unsigned kKeptChanges = 64;

  std::uint64_t ticks = 0;     // drawPlot: calls whose condition held
  std::uint64_t drawn = 0;     // drawing tasks that found a plot
  std::uint64_t skipped = 0;   // drawing tasks that ran after the plot had gone
  std::uint64_t dropped = 0;   // ticks that did not come because the main thread was busy
  std::uint64_t packets = 0;   // packets merged into the history, counted between drawings
  std::uint64_t changes = 0;   // drawings that showed a newer packet than the drawing before
  const char* plotClass = "";  // the class of the plot shown last
  bool showing = false;         // a plot is on screen now
  // The last kKeptDurations drawing times (ns), written round from index drawn % kKeptDurations.
  std::uint32_t drawNanoseconds[kKeptDurations] = {};
  // CLOCK_MONOTONIC at the end of the last kKeptChanges drawings that showed a newer packet,
  // written round from index changes % kKeptChanges.
  std::uint64_t changeNanoseconds[kKeptChanges] = {};

  // Where the newest packet of the last drawing was: its frame count and a few of its samples.
  std::int32_t lastFrames = 0;
  float lastFingerprint[4] = {};

  // Books one drawing from `record` that took `start` to `end` (CLOCK_MONOTONIC, ns).
  void noteDrawing(const serverDataStruct* record, std::uint64_t start, std::uint64_t end);
};

extern "C" const LockScreenFigures* vellamor2LockScreenFigures();
inline constexpr const char* kLockScreenFiguresSymbol = "vellamor2LockScreenFigures";
