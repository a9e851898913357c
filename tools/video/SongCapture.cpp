#include "SongCapture.h"

#include <algorithm>
#include <cstring>

#include "Vellamor2/MediaServerHooks.h"
#include "Vellamor2/SpringBoardServer.h"

namespace video {

SongCapture::SongCapture(SongReader& song)
    : song_(song), left_(kFramesPerRender), right_(kFramesPerRender) {
  MediaServerHooks::mediaServerState = {};
  std::memset(&MediaServerHooks::mediaServerAudioData, 0,
              sizeof MediaServerHooks::mediaServerAudioData);
  std::memset(&ServerData, 0, sizeof ServerData);
}

const serverDataStruct& SongCapture::history() const {
  return ServerData;
}

void SongCapture::takeFresh() {
  freshLeft_.clear();
  freshRight_.clear();
}

bool SongCapture::readAhead() {
  std::size_t got = 0;
  if (!song_.read(left_.data(), right_.data(), kFramesPerRender, &got)) return false;
  if (got == 0) {
    ended_ = true;
    haveAhead_ = false;
    return true;
  }
  // The daemon renders whole buffers: the song's last one ends in silence.
  std::fill(left_.begin() + static_cast<std::ptrdiff_t>(got), left_.end(), 0.0f);
  std::fill(right_.begin() + static_cast<std::ptrdiff_t>(got), right_.end(), 0.0f);
  freshLeft_.insert(freshLeft_.end(), left_.begin(),
                    left_.begin() + static_cast<std::ptrdiff_t>(got));
  freshRight_.insert(freshRight_.end(), right_.begin(),
                     right_.begin() + static_cast<std::ptrdiff_t>(got));
  framesRead_ += static_cast<std::int64_t>(got);
  haveAhead_ = true;
  if (got < kFramesPerRender) ended_ = true;
  return true;
}

void SongCapture::renderAhead() {
  // The render as the daemon's engine makes it: two buffers of one channel each.
  alignas(AudioBufferList) unsigned char storage[AudioBufferListSize(2)];
  auto* buffers = reinterpret_cast<AudioBufferList*>(storage);
  buffers->mNumberBuffers = 2;
  constexpr UInt32 kBytes = kFramesPerRender * sizeof(float);
  buffers->mBuffers[0] = {1, kBytes, left_.data()};
  buffers->mBuffers[1] = {1, kBytes, right_.data()};
  AudioTimeStamp timeStamp{};
  timeStamp.mSampleTime = static_cast<Float64>(rendered_);
  timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
  const AudioUnitRenderActionFlags flags = 0;
  // The send block's message 1 reaches the hub's merge as the packet itself.
  if (MediaServerHooks::captureRender(&flags, &timeStamp, kFramesPerRender, buffers)) {
    SpringBoardServer::mergePacket(&MediaServerHooks::mediaServerAudioData,
                                   sizeof MediaServerHooks::mediaServerAudioData);
  }
  rendered_ += kFramesPerRender;
  haveAhead_ = false;
}

bool SongCapture::renderUpTo(std::int64_t sample) {
  for (;;) {
    if (!haveAhead_) {
      if (ended_) return true;
      if (!readAhead()) return false;
      if (!haveAhead_) return true;
    }
    if (rendered_ + kFramesPerRender > sample) return true;
    renderAhead();
  }
}

}  // namespace video
