#pragma once
// Core Audio's render interface as the audio daemon and the tweak use it: an output unit that
// pulls audio from a render callback, the buffer-list and time-stamp records in their published
// layout, and AudioUnitRender, whose entry a hooking runtime can replace.

#include <cstdint>

using OSStatus = std::int32_t;
using UInt32 = std::uint32_t;
using SInt16 = std::int16_t;
using UInt16 = std::uint16_t;
using UInt64 = std::uint64_t;
using Float64 = double;

inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus kAudio_ParamError = -50;
inline constexpr OSStatus kAudioUnitErr_NoConnection = -10876;
inline constexpr OSStatus kAudioUnitErr_InvalidProperty = -10879;

struct AudioBuffer {
  UInt32 mNumberChannels;  // interleaved channels in mData
  UInt32 mDataByteSize;
  void* mData;
};

// mBuffers is declared with one element and allocated with as many as mNumberBuffers says.
struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};

// Bytes needed for a buffer list of `numberBuffers` buffers.
constexpr unsigned long AudioBufferListSize(UInt32 numberBuffers) {
  return sizeof(AudioBufferList) +
         (numberBuffers > 1 ? numberBuffers - 1 : 0) * sizeof(AudioBuffer);
}

struct SMPTETime {
  SInt16 mSubframes;
  SInt16 mSubframeDivisor;
  UInt32 mCounter;
  UInt32 mType;
  UInt32 mFlags;
  SInt16 mHours;
  SInt16 mMinutes;
  SInt16 mSeconds;
  SInt16 mFrames;
};

enum : UInt32 {
  kAudioTimeStampSampleTimeValid = 1u << 0,
  kAudioTimeStampHostTimeValid = 1u << 1,
};

struct AudioTimeStamp {
  Float64 mSampleTime;
  UInt64 mHostTime;
  Float64 mRateScalar;
  UInt64 mWordClockTime;
  SMPTETime mSMPTETime;
  UInt32 mFlags;
  UInt32 mReserved;
};

using AudioUnitRenderActionFlags = UInt32;
enum : AudioUnitRenderActionFlags {
  kAudioUnitRenderAction_PreRender = 1u << 2,
  kAudioUnitRenderAction_PostRender = 1u << 3,
  kAudioUnitRenderAction_OutputIsSilence = 1u << 4,  // 0x10: every buffer holds only zeros
};

using AURenderCallback = OSStatus (*)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber,
                                      UInt32 inNumberFrames, AudioBufferList* ioData);

struct AURenderCallbackStruct {
  AURenderCallback inputProc;
  void* inputProcRefCon;
};

// Units and their components.
struct OpaqueAudioComponent;
struct OpaqueAudioComponentInstance;
using AudioComponent = OpaqueAudioComponent*;
using AudioComponentInstance = OpaqueAudioComponentInstance*;
using AudioUnit = AudioComponentInstance;

struct AudioComponentDescription {
  UInt32 componentType;
  UInt32 componentSubType;
  UInt32 componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
};

constexpr UInt32 audioFourCharCode(const char (&code)[5]) {
  return (UInt32(UInt32(code[0]) << 24) | (UInt32(code[1]) << 16) | (UInt32(code[2]) << 8) |
          UInt32(code[3]));
}
inline constexpr UInt32 kAudioUnitType_Output = audioFourCharCode("auou");
inline constexpr UInt32 kAudioUnitSubType_RemoteIO = audioFourCharCode("rioc");
inline constexpr UInt32 kAudioUnitSubType_GenericOutput = audioFourCharCode("genr");
inline constexpr UInt32 kAudioUnitManufacturer_Apple = audioFourCharCode("appl");

using AudioUnitPropertyID = UInt32;
using AudioUnitScope = UInt32;
using AudioUnitElement = UInt32;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_SetRenderCallback = 23;
inline constexpr AudioUnitScope kAudioUnitScope_Global = 0;
inline constexpr AudioUnitScope kAudioUnitScope_Input = 1;
inline constexpr AudioUnitScope kAudioUnitScope_Output = 2;

extern "C" {

// Finds the next output component matching `description` (only output units exist here).
AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                      const AudioComponentDescription* inDesc);
OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance);
OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);

// Only kAudioUnitProperty_SetRenderCallback (an AURenderCallbackStruct) is known. Set it before
// the render thread starts: the unit reads it without a lock.
OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
OSStatus AudioUnitInitialize(AudioUnit inUnit);
OSStatus AudioUnitUninitialize(AudioUnit inUnit);

// Pulls `inNumberFrames` frames into `ioData` from the unit's render callback. The unit's output
// bus is 0. Real-time safe: no lock, no allocation. Hookable: a hooking runtime can replace it.
OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData);

}  // extern "C"
