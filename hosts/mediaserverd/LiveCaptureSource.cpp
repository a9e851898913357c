#include "LiveCaptureSource.h"

#include <Foundation/NSLog.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <vector>

LiveCaptureSource::LiveCaptureSource(std::string device, unsigned sampleRate)
    : device_(std::move(device)), sampleRate_(sampleRate) {}

LiveCaptureSource::~LiveCaptureSource() {
  stop();
}

bool LiveCaptureSource::start(std::string* error) {
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_FLOAT32LE;
  spec.rate = sampleRate_;
  spec.channels = 2;
  int failure = 0;
  const char* device = device_.empty() ? "@DEFAULT_MONITOR@" : device_.c_str();
  stream_ = pa_simple_new(nullptr, "mediaserverd", PA_STREAM_RECORD, device, "capture", &spec,
                          nullptr, nullptr, &failure);
  if (!stream_) {
    if (error) {
      *error = std::string("no sound server to capture from (") + pa_strerror(failure) + ")";
    }
    return false;
  }
  running_ = true;
  reader_ = std::thread([this] { capture(); });
  return true;
}

void LiveCaptureSource::stop() {
  running_ = false;
  if (reader_.joinable()) reader_.join();
  if (stream_) {
    pa_simple_free(stream_);
    stream_ = nullptr;
  }
}

void LiveCaptureSource::capture() {
  constexpr std::size_t kChunkFrames = 1024;
  std::vector<float> chunk(kChunkFrames * 2);
  while (running_) {
    int failure = 0;
    if (pa_simple_read(stream_, chunk.data(), chunk.size() * sizeof(float), &failure) < 0) {
      NSLog("mediaserverd: live capture ended: the sound server went away (%s); rendering silence",
            pa_strerror(failure));
      ended_.store(true, std::memory_order_release);
      return;
    }
    // A full ring means the output has stalled; the oldest audio is kept, the newest dropped.
    ring_.push(chunk.data(), kChunkFrames);
  }
}

bool LiveCaptureSource::pull(float* left, float* right, unsigned frames) {
  const std::size_t got = ring_.pop(left, right, frames);
  for (std::size_t i = got; i < frames; ++i) left[i] = right[i] = 0.0f;
  return got > 0;
}
