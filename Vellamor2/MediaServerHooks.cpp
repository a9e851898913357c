// MediaServerHooks: the capture of rendered audio in the audio daemon.

#include "Vellamor2/MediaServerHooks.h"

#include <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <notify.h>
#include <substrate.h>

#include <atomic>
#include <cstring>

#include "Vellamor2/ServiceClient.h"
#include "Vellamor2/Startup.h"

namespace MediaServerHooks {

mediaServerStateStruct mediaServerState;
AudioUnitRenderFunction AUR;
AudioUnitRenderFunction oldAUR;
mediaServerAudioDataStruct mediaServerAudioData;

constinit LMConnection connection = vellamor2::serviceConnection();

namespace {

constexpr UInt32 kPacketFrames = sizeof(mediaServerAudioData.data[0]) / sizeof(float);

// screenState is written on the main queue and read on the render thread; a relaxed atomic view
// keeps the record plain while making the read well-defined.
std::uint64_t currentScreenState() {
  return std::atomic_ref<std::uint64_t>(mediaServerState.screenState)
      .load(std::memory_order_relaxed);
}

// How many frames of this render the packet can carry: none when it must not be captured.
// A render longer than the packet's 4,096 frames is captured by its first 4,096: the plots
// then still move with long renders, and nothing is ever copied past a channel's end. Buffers
// shorter than the frame count claims (or without data) are not captured at all, rather than
// read past their end.
UInt32 capturableFrames(UInt32 frames, const AudioBufferList* buffers, UInt32 channels) {
  const UInt32 wanted = frames < kPacketFrames ? frames : kPacketFrames;
  for (UInt32 i = 0; i < channels; ++i) {
    const AudioBuffer& buffer = buffers->mBuffers[i];
    if (buffer.mData == nullptr || buffer.mDataByteSize / sizeof(float) < wanted) return 0;
  }
  return wanted;
}

}  // namespace

// ---- Render hook -------------------------------------------------------------------------------

OSStatus newAUR(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                AudioBufferList* ioData) {
  if (oldAUR == nullptr) return kAudioUnitErr_NoConnection;
  const OSStatus status =
      oldAUR(unit, ioActionFlags, inTimeStamp, inOutputBusNumber, inNumberFrames, ioData);
  if (captureRender(ioActionFlags, inTimeStamp, inNumberFrames, ioData)) {
    dispatch_async(dispatch_get_main_queue(), &sendAudioData);
  }
  return status;
}

bool captureRender(const AudioUnitRenderActionFlags* ioActionFlags,
                   const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                   const AudioBufferList* ioData) {
  // A render without flags, time stamp or buffers has nothing to capture.
  if (ioActionFlags == nullptr || inTimeStamp == nullptr || ioData == nullptr) return false;
  if (*ioActionFlags & kAudioUnitRenderAction_OutputIsSilence) return false;
  if (ioData->mNumberBuffers == 0) return false;
  if (ioData->mBuffers[0].mNumberChannels >= 2) return false;  // interleaved: not captured
  if (currentScreenState() != 0) return false;
  const Float64 sampleTime = inTimeStamp->mSampleTime;
  if (!(sampleTime > mediaServerState.lastSampleTime)) return false;  // also NaN
  const UInt32 channels = ioData->mNumberBuffers < 2 ? ioData->mNumberBuffers : 2;
  const UInt32 frames = capturableFrames(inNumberFrames, ioData, channels);
  if (frames == 0) return false;

  mediaServerState.lastSampleTime = sampleTime;
  mediaServerAudioData.numberBuffers = static_cast<std::int32_t>(channels);
  mediaServerAudioData.numberFrames = static_cast<std::int32_t>(frames);
  mediaServerAudioData.sampleTime = sampleTime;
  for (UInt32 i = 0; i < channels; ++i) {
    std::memcpy(mediaServerAudioData.data[i], ioData->mBuffers[i].mData, frames * sizeof(float));
  }
  return true;
}

// ---- Send block --------------------------------------------------------------------------------

void sendAudioData() {
  // Renders that came faster than the main queue ran leave several sends queued, and each finds
  // the newest packet: it goes once, so the history never holds one render twice.
  const double sampleTime = mediaServerAudioData.sampleTime;
  if (!(sampleTime > mediaServerState.lastSentSampleTime)) return;
  mediaServerState.lastSentSampleTime = sampleTime;
  LMResponseBuffer response;
  LMConnectionSendTwoWay(&connection, 1, &mediaServerAudioData, sizeof(mediaServerAudioData),
                         &response);
  LMResponseBufferFree(&response);
}

// ---- Screen handler ----------------------------------------------------------------------------

void screenStateChanged(int) {
  std::uint64_t state = currentScreenState();
  notify_get_state(mediaServerState.notifyToken, &state);
  std::atomic_ref<std::uint64_t>(mediaServerState.screenState)
      .store(state, std::memory_order_relaxed);
  if (state == 1) {
    NSLog("vellamor2: Screen is off...");
  } else if (state == 0) {
    NSLog("vellamor2: Screen is on...");
  }
}

// ---- Start-up ----------------------------------------------------------------------------------

void initialize() {
  if (!vellamor2::isHost("com.apple.mediaserverd")) return;
  vellamor2::logHooked();

  MSImageRef audioToolbox =
      MSGetImageByName("/System/Library/Frameworks/AudioToolbox.framework/AudioToolbox");
  AUR = reinterpret_cast<AudioUnitRenderFunction>(MSFindSymbol(audioToolbox, "_AudioUnitRender"));
  if (AUR != nullptr) {
    NSLog("vellamor2: Found AUR: %p", reinterpret_cast<void*>(AUR));
    MSHookFunction(AUR, &newAUR, &oldAUR);
  } else {
    NSLog("vellamor2: Could not find AUR");
  }

  mediaServerState.lastSampleTime = 0;
  mediaServerState.lastSentSampleTime = 0;

  NSLog("vellamor2: Attempting to register screen on/off callbacks.");
  notify_register_dispatch(kScreenBlankedNotification, &mediaServerState.notifyToken,
                           dispatch_get_main_queue(), &screenStateChanged);
}

}  // namespace MediaServerHooks
