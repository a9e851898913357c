#pragma once
// An output without a device: it takes each buffer at the moment a sound card would, so the
// daemon renders in real time; unpaced, it takes them at once (for tests).

#include <time.h>

#include "AudioSink.h"

class NullSink : public AudioSink {
 public:
  NullSink(unsigned sampleRate, bool paced) : sampleRate_(sampleRate), paced_(paced) {}
  bool write(const float* interleaved, unsigned frames) override;
  const char* describe() const override {
    return paced_ ? "the null sink" : "the unpaced null sink";
  }

 private:
  unsigned sampleRate_;
  bool paced_;
  bool started_ = false;
  timespec due_{};
};
