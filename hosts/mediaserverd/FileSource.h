#pragma once
// An audio file (WAV, FLAC, OGG, whatever libsndfile reads), decoded on its own thread into a
// ring that the render thread drains. Mono files play on both channels; of more than two
// channels the first two play. The file loops.

#include <sndfile.h>

#include <atomic>
#include <string>
#include <thread>

#include "AudioSource.h"
#include "SampleRing.h"

class FileSource : public AudioSource {
 public:
  explicit FileSource(std::string path);
  ~FileSource() override;

  // Opens the file; a missing or unreadable file is a clear error.
  bool open(std::string* error);
  bool start(std::string* error) override;
  void stop() override;
  unsigned preferredSampleRate() const override { return static_cast<unsigned>(info_.samplerate); }
  bool pull(float* left, float* right, unsigned frames) override;
  const char* describe() const override { return path_.c_str(); }
  // The file's title and artist tags, else its name and "Unknown artist".
  AudioTrack track() const override { return track_; }

 private:
  void decode();

  std::string path_;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  AudioTrack track_;
  SampleRing ring_{1 << 16};
  std::atomic<bool> running_{false};
  std::thread decoder_;
};
