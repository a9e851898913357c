#include "AudioEngine.h"

#include <Foundation/NSLog.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <cstring>

#include "FileSource.h"
#include "LiveCaptureSource.h"
#include "NullSink.h"
#include "PulseSink.h"
#include "SynthesisedTrack.h"

namespace {

std::uint64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000ull +
         static_cast<std::uint64_t>(now.tv_nsec);
}

// Asks for real-time scheduling; without the privilege the thread renders at normal priority.
void becomeRealTime() {
  sched_param parameters{};
  parameters.sched_priority = 10;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);
}

}  // namespace

AudioEngine::AudioEngine(AudioEngineOptions options) : options_(std::move(options)) {}

AudioEngine::~AudioEngine() {
  stop();
  if (unit_) AudioComponentInstanceDispose(unit_);
}

bool AudioEngine::start(std::string* error) {
  if (running_) return true;
  sampleRate_ = options_.sampleRate;
  switch (options_.source) {
    case AudioEngineOptions::Source::Synthesised:
      source_ = std::make_unique<SynthesisedTrack>(sampleRate_);
      break;
    case AudioEngineOptions::Source::File: {
      auto file = std::make_unique<FileSource>(options_.filePath);
      if (!file->open(error)) return false;
      if (!options_.sampleRateGiven) sampleRate_ = file->preferredSampleRate();
      source_ = std::move(file);
      break;
    }
    case AudioEngineOptions::Source::Live:
      source_ = std::make_unique<LiveCaptureSource>(options_.liveDevice, sampleRate_);
      break;
  }
  std::string sourceError;
  if (!source_->start(&sourceError)) {
    if (options_.source != AudioEngineOptions::Source::Live) {
      if (error) *error = sourceError;
      return false;
    }
    // No sound server is no reason to stop the daemon: it renders silence instead.
    NSLog("mediaserverd: live capture unavailable: %s; rendering silence", sourceError.c_str());
  }

  const unsigned channels = options_.channels;
  if (options_.output != AudioEngineOptions::Output::Null) {
    auto pulse = std::make_unique<PulseSink>();
    std::string sinkError;
    if (pulse->open(sampleRate_, channels, &sinkError)) {
      sink_ = std::move(pulse);
    } else if (options_.output == AudioEngineOptions::Output::Pulse) {
      if (error) *error = sinkError;
      return false;
    } else {
      NSLog("mediaserverd: %s; rendering to the null sink", sinkError.c_str());
    }
  }
  if (!sink_) sink_ = std::make_unique<NullSink>(sampleRate_, options_.paced);
  if (!options_.outputWav.empty() && !wav_.open(options_.outputWav, sampleRate_, channels, error)) {
    return false;
  }

  AudioComponentDescription description{kAudioUnitType_Output, kAudioUnitSubType_RemoteIO,
                                        kAudioUnitManufacturer_Apple, 0, 0};
  AudioComponent component = AudioComponentFindNext(nullptr, &description);
  if (AudioComponentInstanceNew(component, &unit_) != noErr) {
    if (error) *error = "no output unit";
    return false;
  }
  AURenderCallbackStruct callback{&AudioEngine::renderCallback, this};
  AudioUnitSetProperty(unit_, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                       &callback, sizeof(callback));
  AudioUnitInitialize(unit_);

  // Every buffer the render thread touches is made here, once.
  const unsigned frames = options_.framesPerRender;
  const unsigned numberBuffers = options_.interleaved ? 1 : channels;
  left_.assign(frames, 0.0f);
  right_.assign(frames, 0.0f);
  bufferStorage_.assign(std::size_t(frames) * channels, 0.0f);
  output_.assign(std::size_t(frames) * channels, 0.0f);
  bufferListStorage_.assign(AudioBufferListSize(numberBuffers), 0);
  bufferList_ = reinterpret_cast<AudioBufferList*>(bufferListStorage_.data());

  paused_ = options_.startPaused;
  NSLog("mediaserverd: rendering %s at %u Hz, %u frames, %u %s channel%s, to %s%s%s",
        source_->describe(), sampleRate_, frames, channels,
        options_.interleaved ? "interleaved" : "separate", channels == 1 ? "" : "s",
        sink_->describe(), options_.outputWav.empty() ? "" : " and ", options_.outputWav.c_str());
  running_ = true;
  renderThread_ = std::thread([this] { renderLoop(); });
  return true;
}

void AudioEngine::stop() {
  running_ = false;
  if (renderThread_.joinable()) renderThread_.join();
  if (source_) source_->stop();
  wav_.close();
}

OSStatus AudioEngine::renderCallback(void* engine, AudioUnitRenderActionFlags* flags,
                                     const AudioTimeStamp*, UInt32, UInt32 frames,
                                     AudioBufferList* buffers) {
  return static_cast<AudioEngine*>(engine)->render(flags, frames, buffers);
}

OSStatus AudioEngine::render(AudioUnitRenderActionFlags* flags, UInt32 frames,
                             AudioBufferList* buffers) {
  if (frames > left_.size()) return kAudio_ParamError;
  const bool sounding = !paused() && source_->pull(left_.data(), right_.data(), frames);
  if (!sounding) {
    for (UInt32 b = 0; b < buffers->mNumberBuffers; ++b) {
      std::memset(buffers->mBuffers[b].mData, 0, buffers->mBuffers[b].mDataByteSize);
    }
    *flags |= kAudioUnitRenderAction_OutputIsSilence;
    return noErr;
  }
  framesSounded_.fetch_add(frames, std::memory_order_relaxed);
  // Channel k of the output plays the source's left or right; a single channel plays both.
  unsigned channel = 0;
  const unsigned total = options_.channels;
  for (UInt32 b = 0; b < buffers->mNumberBuffers; ++b) {
    AudioBuffer& buffer = buffers->mBuffers[b];
    auto* samples = static_cast<float*>(buffer.mData);
    const unsigned width = buffer.mNumberChannels;
    for (unsigned c = 0; c < width; ++c, ++channel) {
      for (UInt32 i = 0; i < frames; ++i) {
        samples[i * width + c] = total == 1    ? 0.5f * (left_[i] + right_[i])
                                 : channel % 2 ? right_[i]
                                               : left_[i];
      }
    }
  }
  return noErr;
}

void AudioEngine::interleaveOutput(unsigned frames) {
  const unsigned total = options_.channels;
  unsigned channel = 0;
  for (UInt32 b = 0; b < bufferList_->mNumberBuffers; ++b) {
    const AudioBuffer& buffer = bufferList_->mBuffers[b];
    const auto* samples = static_cast<const float*>(buffer.mData);
    const unsigned width = buffer.mNumberChannels;
    for (unsigned c = 0; c < width; ++c, ++channel) {
      for (unsigned i = 0; i < frames; ++i) output_[i * total + channel] = samples[i * width + c];
    }
  }
}

void AudioEngine::renderLoop() {
  if (options_.paced) becomeRealTime();
  const unsigned frames = options_.framesPerRender;
  const unsigned channels = options_.channels;
  const unsigned numberBuffers = options_.interleaved ? 1 : channels;
  const unsigned width = options_.interleaved ? channels : 1;
  AudioTimeStamp timeStamp{};
  timeStamp.mFlags = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid;
  timeStamp.mRateScalar = 1.0;
  Float64 sampleTime = 0;
  while (running_.load(std::memory_order_relaxed)) {
    bufferList_->mNumberBuffers = numberBuffers;
    for (unsigned b = 0; b < numberBuffers; ++b) {
      bufferList_->mBuffers[b].mNumberChannels = width;
      bufferList_->mBuffers[b].mDataByteSize = frames * width * sizeof(float);
      bufferList_->mBuffers[b].mData = &bufferStorage_[std::size_t(b) * frames * width];
    }
    timeStamp.mSampleTime = sampleTime;
    timeStamp.mHostTime = monotonicNanoseconds();
    AudioUnitRenderActionFlags flags = 0;
    AudioUnitRender(unit_, &flags, &timeStamp, 0, frames, bufferList_);
    interleaveOutput(frames);
    if (wav_.isOpen() && !wav_.write(output_.data(), frames)) {
      NSLog("mediaserverd: writing %s failed; it stops here", options_.outputWav.c_str());
      wav_.close();
    }
    if (!sink_->write(output_.data(), frames)) {
      NSLog("mediaserverd: %s failed; rendering to the null sink", sink_->describe());
      sink_ = std::make_unique<NullSink>(sampleRate_, options_.paced);
    }
    sampleTime += frames;
    const std::uint64_t done = renders_.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (options_.renderLimit != 0 && done >= options_.renderLimit) {
      wav_.close();
      NSLog("mediaserverd: rendered %llu buffers; rendering stops",
            static_cast<unsigned long long>(done));
      break;
    }
  }
}

double AudioEngine::positionSeconds() const {
  std::uint64_t frames = framesSounded_.load(std::memory_order_relaxed);
  const std::uint64_t length = track().frames;
  if (length != 0) frames %= length;
  return static_cast<double>(frames) / sampleRate_;
}
