#pragma once
// Where the daemon's audio comes from. The render thread pulls stereo frames from a source; a
// source's pull is real-time safe (no lock, no allocation, no system call).

#include <cstdint>
#include <string>

// What a source plays, as a player names it: its title and artist, and its length in frames (0
// for a stream without end). A source that loops plays it again from the start.
struct AudioTrack {
  std::string title;
  std::string artist;
  std::uint64_t frames = 0;
};

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
  // Known once the source has started; main thread.
  virtual AudioTrack track() const = 0;
};
