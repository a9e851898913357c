#pragma once
// Mach receive rights as run-loop sources. The callout gets each message in place, in a buffer
// that holds the largest message the transport sends plus its trailer; it owns the message's
// rights and out-of-line body from then on.

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFRunLoop.h>
#include <mach/mach.h>

using CFMachPortRef = struct __CFMachPort*;
using CFMachPortCallBack = void (*)(CFMachPortRef port, void* msg, CFIndex size, void* info);

struct CFMachPortContext {
  CFIndex version;
  void* info;
  const void* (*retain)(const void* info);
  void (*release)(const void* info);
  CFStringRef (*copyDescription)(const void* info);
};

// A new receive right served by `callout`; null when no right can be made.
CFMachPortRef CFMachPortCreate(CFAllocatorRef allocator, CFMachPortCallBack callout,
                               CFMachPortContext* context, Boolean* shouldFreeInfo);
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator, CFMachPortRef port,
                                                 CFIndex order);
mach_port_t CFMachPortGetPort(CFMachPortRef port);
// Stops serving the port and destroys its receive right.
void CFMachPortInvalidate(CFMachPortRef port);

// The receive buffer's size: the largest message (4,140 bytes) plus the trailer, rounded up.
inline constexpr CFIndex kCFMachPortReceiveBufferSize = 4208;
