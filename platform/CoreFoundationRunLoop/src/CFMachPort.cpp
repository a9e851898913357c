#include "CoreFoundation/CFMachPort.h"

#include <cstring>

#include "CFRuntimeObject.h"

struct __CFMachPort : CFRuntimeObject {
  mach_port_t port = MACH_PORT_NULL;
  CFMachPortCallBack callout = nullptr;
  void* info = nullptr;
  CFRunLoopSourceRef source = nullptr;
  bool valid = true;
  ~__CFMachPort() override {
    if (source) CFRelease(source);
  }
};

namespace {

// Serves every message waiting on the port, each in the same buffer, one after another.
void servePort(int fd, void* info) {
  (void)fd;
  auto* port = static_cast<__CFMachPort*>(info);
  alignas(8) char buffer[kCFMachPortReceiveBufferSize];
  while (port->valid) {
    auto* message = reinterpret_cast<mach_msg_header_t*>(buffer);
    std::memset(buffer, 0, sizeof(mach_msg_header_t) + 24);
    const mach_msg_return_t status = mach_msg(message, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0,
                                              sizeof buffer, port->port, 0, MACH_PORT_NULL);
    if (status == MACH_RCV_TOO_LARGE) continue;  // dropped; the next may fit
    if (status != MACH_MSG_SUCCESS) return;
    port->callout(port, message, static_cast<CFIndex>(message->msgh_size), port->info);
  }
}

}  // namespace

CFMachPortRef CFMachPortCreate(CFAllocatorRef allocator, CFMachPortCallBack callout,
                               CFMachPortContext* context, Boolean* shouldFreeInfo) {
  (void)allocator;
  if (shouldFreeInfo) *shouldFreeInfo = false;
  if (!callout) return nullptr;
  mach_port_t name = MACH_PORT_NULL;
  if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &name) != KERN_SUCCESS)
    return nullptr;
  auto* port = new __CFMachPort;
  port->port = name;
  port->callout = callout;
  port->info = context ? context->info : nullptr;
  return port;
}

CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator, CFMachPortRef port,
                                                 CFIndex order) {
  (void)allocator;
  (void)order;
  if (!port || !port->valid) return nullptr;
  if (!port->source) {
    const int fd = mach_port_get_descriptor(port->port);
    if (fd < 0) return nullptr;
    port->source = CFRunLoopSourceCreateWithDescriptor(fd, &servePort, port);
    if (!port->source) return nullptr;
  }
  CFRetain(port->source);
  return port->source;
}

mach_port_t CFMachPortGetPort(CFMachPortRef port) {
  return port ? port->port : MACH_PORT_NULL;
}

void CFMachPortInvalidate(CFMachPortRef port) {
  if (!port || !port->valid) return;
  port->valid = false;
  if (port->source) CFRunLoopSourceInvalidate(port->source);
  mach_port_mod_refs(mach_task_self(), port->port, MACH_PORT_RIGHT_RECEIVE, -1);
}
