#pragma once
// Live capture of what the desktop plays, from its sound server (by default the monitor of the
// default output), read on its own thread into a ring that the render thread drains. A server
// that goes away ends the source with a message; the daemon then renders silence.

#include <atomic>
#include <string>
#include <thread>

#include "AudioSource.h"
#include "SampleRing.h"

struct pa_simple;

class LiveCaptureSource : public AudioSource {
 public:
  LiveCaptureSource(std::string device, unsigned sampleRate);
  ~LiveCaptureSource() override;

  // Connects to the sound server; a clear error when none runs.
  bool start(std::string* error) override;
  void stop() override;
  bool pull(float* left, float* right, unsigned frames) override;
  const char* describe() const override { return "live capture"; }
  AudioTrack track() const override { return {"Live", "The desktop's sound", 0}; }

  // True once the server has gone away and the source has ended.
  bool ended() const { return ended_.load(std::memory_order_acquire); }

 private:
  void capture();

  std::string device_;
  unsigned sampleRate_;
  pa_simple* stream_ = nullptr;
  SampleRing ring_{1 << 15};
  std::atomic<bool> running_{false};
  std::atomic<bool> ended_{false};
  std::thread reader_;
};
