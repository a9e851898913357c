#pragma once
// MediaServerHooks: the capture of rendered audio in the audio daemon. The replacement of
// AudioUnitRender copies each qualifying render into the audio packet and queues its send to
// SpringBoard; the screen-blanked notification switches capture off and on.

#include <AudioToolbox/AudioToolbox.h>

#include <cstdint>

#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace MediaServerHooks {

struct mediaServerStateStruct {
  std::int32_t notifyToken;
  std::uint64_t screenState;  // 1: blanked (screen off), 0: lit
  double lastSampleTime;      // sample time of the last captured render
  double lastSentSampleTime;  // sample time of the last packet sent (main queue only)
};

using AudioUnitRenderFunction = OSStatus (*)(AudioUnit, AudioUnitRenderActionFlags*,
                                             const AudioTimeStamp*, UInt32, UInt32,
                                             AudioBufferList*);

// Process-lifetime records of the daemon, zero at load.
extern mediaServerStateStruct mediaServerState;
extern AudioUnitRenderFunction AUR;     // AudioUnitRender as found in the AudioToolbox image
extern AudioUnitRenderFunction oldAUR;  // the entry that runs the render as before
extern mediaServerAudioDataStruct mediaServerAudioData;
extern LMConnection connection;

inline constexpr const char* kScreenBlankedNotification = "com.apple.springboard.hasBlankedScreen";

// The replacement of AudioUnitRender: renders, then captures. Real-time safe.
OSStatus newAUR(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                AudioBufferList* ioData);

// The capture rules applied to a finished render: a qualifying one is copied into
// `mediaServerAudioData` and true is returned (its send is then due). Real-time safe. Also what
// an offline run of a song passes its renders through.
bool captureRender(const AudioUnitRenderActionFlags* ioActionFlags,
                   const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                   const AudioBufferList* ioData);

// The send block: sends the packet as it is when the block runs (main queue).
void sendAudioData();

// The screen handler (main queue).
void screenStateChanged(int token);

void initialize();

}  // namespace MediaServerHooks
