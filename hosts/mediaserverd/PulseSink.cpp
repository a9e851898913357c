#include "PulseSink.h"

#include <pulse/error.h>
#include <pulse/simple.h>

PulseSink::~PulseSink() {
  if (stream_) pa_simple_free(stream_);
}

bool PulseSink::open(unsigned sampleRate, unsigned channels, std::string* error) {
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_FLOAT32LE;
  spec.rate = sampleRate;
  spec.channels = static_cast<std::uint8_t>(channels);
  int failure = 0;
  stream_ = pa_simple_new(nullptr, "mediaserverd", PA_STREAM_PLAYBACK, nullptr, "playback", &spec,
                          nullptr, nullptr, &failure);
  if (!stream_) {
    if (error) *error = std::string("no sound device (") + pa_strerror(failure) + ")";
    return false;
  }
  channels_ = channels;
  return true;
}

bool PulseSink::write(const float* interleaved, unsigned frames) {
  int failure = 0;
  return pa_simple_write(stream_, interleaved, std::size_t(frames) * channels_ * sizeof(float),
                         &failure) >= 0;
}
