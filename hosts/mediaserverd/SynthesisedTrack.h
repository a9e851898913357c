#pragma once
// The built-in track: a sixteen-bar loop at 120 beats a minute with bass, chords and drums, a
// breakdown where only soft chords play, and a bar of near silence, so that every plot has
// something to show. Each sample is a function of its frame number alone: the same frame always
// sounds the same, whatever the render size.

#include <cstdint>

#include "AudioSource.h"

class SynthesisedTrack : public AudioSource {
 public:
  explicit SynthesisedTrack(unsigned sampleRate) : sampleRate_(sampleRate) {}

  bool start(std::string*) override { return true; }
  bool pull(float* left, float* right, unsigned frames) override;
  const char* describe() const override { return "the built-in track"; }
  AudioTrack track() const override;

  // The stereo sample at `frame`, counted from the start of the track.
  void sampleAt(std::uint64_t frame, float* left, float* right) const;

  // Where the next pull starts.
  std::uint64_t position() const { return position_; }
  void seek(std::uint64_t frame) { position_ = frame; }

 private:
  unsigned sampleRate_;
  std::uint64_t position_ = 0;
};
