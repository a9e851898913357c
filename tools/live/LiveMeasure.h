#pragma once
// `vellamor live --measure SECONDS`: the live page's figures from one run, measured from outside
// as a page sees them. A client of the page's own event stream counts the frames each screen
// sends while the track plays (frames per second), then times the road from a render in the
// audio daemon to the page: the daemon is paused until the screens hold still, resumed, and the
// first frame of each screen that differs from the one before reaches the client (which is the
// daemon's next render, its capture, the history, the plot's tick, the commit, the drawing, the
// JPEG, the file, the server and the stream). Beside them: the longest hold of each host's main
// thread by frame production (its own figures), and the CPU that the device's processes and the
// page's server took (from /proc, the client's own thread left out). The Settings app's screen is
// drawn only when it changes: its frames are counted, but no road leads to it from a render.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace live {

struct MeasureSetup {
  std::uint16_t port = 0;            // the page's server on 127.0.0.1
  std::vector<std::string> screens;  // hosts whose frames are measured
  // Hosts whose screen is drawn only when it changes (the Settings app): their frames are
  // counted and their main thread's hold reported, but no render leads to them.
  std::vector<std::string> changingScreens;
  std::vector<pid_t> devicePids;     // every process of the device
  std::chrono::seconds playing{10};  // how long frames are counted
  int rounds = 30;                   // pauses and resumes of the audio
  std::function<void(bool paused)> pauseAudio;
  // The longest hold of a host's main thread by its frames, as text.
  std::function<std::string(const std::string& host)> longestHold;
  const std::atomic<bool>* interrupted = nullptr;
};

// Measures and returns the report (lines of text); the audio plays again afterwards.
std::string measureLivePage(const MeasureSetup& setup);

}  // namespace live
