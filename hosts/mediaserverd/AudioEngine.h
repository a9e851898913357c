#pragma once
// The audio daemon's engine: an output unit whose render callback pulls from the chosen source,
// and a real-time thread that calls AudioUnitRender on it buffer after buffer at the output's
// pace, then hands the result to the output (and to the WAV file when one is asked for). A
// hooking runtime that replaces AudioUnitRender sees every one of these renders.

#include <AudioToolbox/AudioToolbox.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AudioEngineOptions.h"
#include "AudioSink.h"
#include "AudioSource.h"
#include "WavWriter.h"

class AudioEngine {
 public:
  explicit AudioEngine(AudioEngineOptions options);
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  // Opens the source, the output and the unit and starts the render thread; false and a
  // message when the source or the WAV file cannot be had. A missing sound device is no error:
  // the null sink takes its place.
  bool start(std::string* error);
  // Stops rendering and finishes the WAV file.
  void stop();

  // While paused the unit renders silence and says so with the silence flag.
  void setPaused(bool paused) { paused_.store(paused, std::memory_order_relaxed); }
  bool paused() const { return paused_.load(std::memory_order_relaxed); }

  std::uint64_t rendersCompleted() const { return renders_.load(std::memory_order_acquire); }
  // What plays and where in it the output is, in seconds (from the frames that sounded).
  AudioTrack track() const { return source_ ? source_->track() : AudioTrack{}; }
  double positionSeconds() const;
  const AudioEngineOptions& options() const { return options_; }
  unsigned sampleRate() const { return sampleRate_; }

 private:
  static OSStatus renderCallback(void* engine, AudioUnitRenderActionFlags* flags,
                                 const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                 AudioBufferList* buffers);
  OSStatus render(AudioUnitRenderActionFlags* flags, UInt32 frames, AudioBufferList* buffers);
  void renderLoop();
  void interleaveOutput(unsigned frames);

  AudioEngineOptions options_;
  unsigned sampleRate_ = 44100;
  std::unique_ptr<AudioSource> source_;
  std::unique_ptr<AudioSink> sink_;
  WavWriter wav_;
  AudioUnit unit_ = nullptr;

  // Made once, before the render thread starts.
  std::vector<float> left_, right_;   // what the source gave
  std::vector<float> bufferStorage_;  // behind the buffer list
  std::vector<unsigned char> bufferListStorage_;
  AudioBufferList* bufferList_ = nullptr;
  std::vector<float> output_;  // interleaved, for the output

  std::atomic<bool> paused_{false};
  std::atomic<bool> running_{false};
  std::atomic<std::uint64_t> renders_{0};
  std::atomic<std::uint64_t> framesSounded_{0};
  std::thread renderThread_;
};
