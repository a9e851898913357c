#pragma once
// Where the daemon's audio comes from. The render thread pulls stereo frames from a source; a
// source's pull is real-time safe (no lock, no allocation, no system call).

#include <string>

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Starts producing; false and a message in `error` when the source cannot be had.
  virtual bool start(std::string* error) = 0;
  virtual void stop() {}
  // The rate the source wants to play at, or 0 for any.
  virtual unsigned preferredSampleRate() const { return 0; }
  // Fills `frames` frames of `left` and `right`; false when it had nothing at all (they are then
  // zero), so the render reports silence.
  virtual bool pull(float* left, float* right, unsigned frames) = 0;
  virtual const char* describe() const = 0;
};
