// AudioUnitRender's exported entry. It calls the real render through the entry slot that the
// hooking runtime swaps, so a replacement sits in front of every later render.

#include <substrate/Hookable.h>

#include "AudioToolbox/AudioToolbox.h"

OSStatus audioUnitRenderOriginal(AudioUnit, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                 UInt32, UInt32, AudioBufferList*);

MS_HOOKABLE_FUNCTION(AudioUnitRender, audioUnitRenderOriginal)

extern "C" OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                                    const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                    UInt32 inNumberFrames, AudioBufferList* ioData) {
  return MS_HOOKABLE_ENTRY(AudioUnitRender, audioUnitRenderOriginal)(
      inUnit, ioActionFlags, inTimeStamp, inOutputBusNumber, inNumberFrames, ioData);
}
