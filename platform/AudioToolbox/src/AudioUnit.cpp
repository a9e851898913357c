// The output unit: a render callback behind AudioUnitRender. Creating and configuring a unit
// happens before rendering starts; rendering itself only reads the unit.

#include <cstring>
#include <new>

#include "AudioToolbox/AudioToolbox.h"

struct OpaqueAudioComponent {
  AudioComponentDescription description;
};

namespace {

constexpr UInt32 kLiveUnitMagic = 0x41554f55;  // "AUOU"

OpaqueAudioComponent outputComponents[] = {
    {{kAudioUnitType_Output, kAudioUnitSubType_RemoteIO, kAudioUnitManufacturer_Apple, 0, 0}},
    {{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput, kAudioUnitManufacturer_Apple, 0, 0}},
};

bool matches(const AudioComponentDescription& wanted, const AudioComponentDescription& offered) {
  return (wanted.componentType == 0 || wanted.componentType == offered.componentType) &&
         (wanted.componentSubType == 0 || wanted.componentSubType == offered.componentSubType) &&
         (wanted.componentManufacturer == 0 ||
          wanted.componentManufacturer == offered.componentManufacturer);
}

void silence(AudioBufferList* ioData) {
  for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
    if (ioData->mBuffers[i].mData) {
      std::memset(ioData->mBuffers[i].mData, 0, ioData->mBuffers[i].mDataByteSize);
    }
  }
}

}  // namespace

struct OpaqueAudioComponentInstance {
  UInt32 magic = kLiveUnitMagic;
  const OpaqueAudioComponent* component = nullptr;
  AURenderCallbackStruct callback{nullptr, nullptr};
  bool initialized = false;
};

namespace {

bool isLiveUnit(AudioUnit unit) {
  return unit && unit->magic == kLiveUnitMagic;
}

}  // namespace

extern "C" {

AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                      const AudioComponentDescription* inDesc) {
  if (!inDesc) return nullptr;
  const std::size_t count = sizeof(outputComponents) / sizeof(outputComponents[0]);
  std::size_t start = 0;
  if (inComponent) {
    start = static_cast<std::size_t>(inComponent - outputComponents) + 1;
    if (start > count) return nullptr;
  }
  for (std::size_t i = start; i < count; ++i) {
    if (matches(*inDesc, outputComponents[i].description)) return &outputComponents[i];
  }
  return nullptr;
}

OSStatus AudioComponentInstanceNew(AudioComponent inComponent,
                                   AudioComponentInstance* outInstance) {
  if (!inComponent || !outInstance) return kAudio_ParamError;
  auto* unit = new (std::nothrow) OpaqueAudioComponentInstance;
  if (!unit) return kAudio_ParamError;
  unit->component = inComponent;
  *outInstance = unit;
  return noErr;
}

OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance) {
  if (!isLiveUnit(inInstance)) return kAudio_ParamError;
  inInstance->magic = 0;
  delete inInstance;
  return noErr;
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope,
                              AudioUnitElement, const void* inData, UInt32 inDataSize) {
  if (!isLiveUnit(inUnit)) return kAudio_ParamError;
  if (inID != kAudioUnitProperty_SetRenderCallback) return kAudioUnitErr_InvalidProperty;
  if (!inData) {
    inUnit->callback = {nullptr, nullptr};
    return noErr;
  }
  if (inDataSize < sizeof(AURenderCallbackStruct)) return kAudio_ParamError;
  std::memcpy(&inUnit->callback, inData, sizeof(AURenderCallbackStruct));
  return noErr;
}

OSStatus AudioUnitInitialize(AudioUnit inUnit) {
  if (!isLiveUnit(inUnit)) return kAudio_ParamError;
  inUnit->initialized = true;
  return noErr;
}

OSStatus AudioUnitUninitialize(AudioUnit inUnit) {
  if (!isLiveUnit(inUnit)) return kAudio_ParamError;
  inUnit->initialized = false;
  return noErr;
}

}  // extern "C"

// The unhooked render: what AudioUnitRender does until a hooking runtime replaces its entry.
OSStatus audioUnitRenderOriginal(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                                 const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                 UInt32 inNumberFrames, AudioBufferList* ioData) {
  if (!isLiveUnit(inUnit) || !ioActionFlags || !inTimeStamp || !ioData) return kAudio_ParamError;
  if (!inUnit->callback.inputProc) {
    silence(ioData);
    *ioActionFlags |= kAudioUnitRenderAction_OutputIsSilence;
    return kAudioUnitErr_NoConnection;
  }
  return inUnit->callback.inputProc(inUnit->callback.inputProcRefCon, ioActionFlags, inTimeStamp,
                                    inOutputBusNumber, inNumberFrames, ioData);
}
