#pragma once
// The Darwin notify centre: notifications by name between the processes of the device, with
// neither object nor user info. Callbacks run on the main run loop (the main queue), when it
// turns. Posts of a name that arrive before the callback has run are delivered as one call.

#include "CoreFoundation/CFBase.h"

struct __CFNotificationCenter;
using CFNotificationCenterRef = __CFNotificationCenter*;
using CFNotificationName = CFStringRef;

// The platform's callback; `userInfo` (a dictionary on other centres) is always null here.
using CFNotificationCallback = void (*)(CFNotificationCenterRef center, void* observer,
                                        CFNotificationName name, const void* object,
                                        const void* userInfo);

enum CFNotificationSuspensionBehavior : CFIndex {
  CFNotificationSuspensionBehaviorDrop = 1,
  CFNotificationSuspensionBehaviorCoalesce = 2,
  CFNotificationSuspensionBehaviorHold = 3,
  CFNotificationSuspensionBehaviorDeliverImmediately = 4,
};

CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter();

// Calls `callBack` with `observer` for every post of `name` on the device. The Darwin centre
// ignores `object`, and coalesces whatever `suspensionBehavior` asks.
void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFNotificationName name,
                                     const void* object,
                                     CFNotificationSuspensionBehavior suspensionBehavior);
void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer,
                                        CFNotificationName name, const void* object);
void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer);

// Tells every observer of `name` on the device, this process's included.
void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFNotificationName name,
                                          const void* object, const void* userInfo,
                                          Boolean deliverImmediately);
