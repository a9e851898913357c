#pragma once
// The desktop's sound device, through its sound server's simple playback stream.

#include <string>

#include "AudioSink.h"

struct pa_simple;

class PulseSink : public AudioSink {
 public:
  ~PulseSink() override;
  // Connects; a clear error when no sound server answers.
  bool open(unsigned sampleRate, unsigned channels, std::string* error);
  bool write(const float* interleaved, unsigned frames) override;
  const char* describe() const override { return "the desktop's sound device"; }

 private:
  pa_simple* stream_ = nullptr;
  unsigned channels_ = 0;
};
