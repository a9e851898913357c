#pragma once
// Mach ports as run-loop sources: the loop receives each message on the port's thread and hands
// it, in place, to the port's callback.

#include <CoreFoundation/CFRunLoop.h>
#include <mach/mach.h>

using CFMachPortRef = struct __CFMachPort*;

struct CFMachPortContext {
  CFIndex version;
  void* info;
  const void* (*retain)(const void* info);
  void (*release)(const void* info);
  CFStringRef (*copyDescription)(const void* info);
};

// `msg` is valid only during the call. A reply right the callback neither used nor kept is given
// up when it returns; an out-of-line body belongs to the callback (vm_deallocate it).
using CFMachPortCallBack = void (*)(CFMachPortRef port, void* msg, CFIndex size, void* info);

// A new receive right with a send right under the same name.
CFMachPortRef CFMachPortCreate(CFAllocatorRef allocator, CFMachPortCallBack callout,
                               CFMachPortContext* context, Boolean* shouldFreeInfo);
// Wraps an existing receive right of this process.
CFMachPortRef CFMachPortCreateWithPort(CFAllocatorRef allocator, mach_port_t port,
                                       CFMachPortCallBack callout, CFMachPortContext* context,
                                       Boolean* shouldFreeInfo);
mach_port_t CFMachPortGetPort(CFMachPortRef port);
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator, CFMachPortRef port,
                                                 CFIndex order);
void CFMachPortInvalidate(CFMachPortRef port);
Boolean CFMachPortIsValid(CFMachPortRef port);
