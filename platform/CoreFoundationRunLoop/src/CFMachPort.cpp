// Mach ports served by the run loop: a descriptor source on the port's socket that receives one
// message per turn into a buffer made with the port. While requests come back to back (each
// within a look of the answer before it: a client that asks again at once), the loop looks for the
// next before it sleeps, sparing the service a wake-up per request; the first that comes later
// ends the looks, so clients that ask now and then (30 times a second) never start them.

#include <CoreFoundation/CFMachPort.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "RunLoopInternal.h"

namespace {
// Room for the largest in-line message the stand-in carries, plus its trailer.
constexpr mach_msg_size_t kReceiveBufferSize = 16 * 1024 + 64;
}  // namespace

struct __CFMachPort : CFRuntimeObject {
  ~__CFMachPort() override {
    if (source) {
      CFRunLoopSourceInvalidate(source);
      CFRelease(source);
    }
    if (context.release) context.release(context.info);
  }
  mach_port_t port = MACH_PORT_NULL;
  bool ownsReceiveRight = false;
  CFMachPortCallBack callout = nullptr;
  CFMachPortContext context{};
  std::atomic<bool> valid{true};
  CFRunLoopSourceRef source = nullptr;
  std::unique_ptr<uint64_t[]> buffer{new uint64_t[kReceiveBufferSize / sizeof(uint64_t)]};
  std::chrono::steady_clock::time_point answeredAt{};  // when the last callout ended
};

namespace {

void receiveOne(int, void* info) {
  using Clock = std::chrono::steady_clock;
  auto* port = static_cast<__CFMachPort*>(info);
  if (!port->valid) return;
  const Clock::time_point taken = Clock::now();
  auto* message = reinterpret_cast<mach_msg_header_t*>(port->buffer.get());
  mach_msg_return_t status = mach_msg(message, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0,
                                      kReceiveBufferSize, port->port, 0, MACH_PORT_NULL);
  if (status != MACH_MSG_SUCCESS) return;  // only bad datagrams were waiting: dropped and counted
  const mach_port_t reply = message->msgh_remote_port;
  CFHolder<__CFMachPort> keep(port);
  port->callout(port, message, static_cast<CFIndex>(message->msgh_size), port->context.info);
  // Whatever right the request named must not stay behind: a send-once right that a reply used
  // is gone already; one left unanswered, or a send right, is given up here.
  if (reply != MACH_PORT_NULL) mach_stand_in::releaseUnansweredReplyRight(reply);
  const bool backToBack = taken - port->answeredAt < mach_stand_in::kMessageLook;
  port->answeredAt = Clock::now();
  if (backToBack)
    runloop::lookBeforeWaiting(CFRunLoopGetCurrent(),
                               port->answeredAt + mach_stand_in::kMessageLook);
}

__CFMachPort* makePort(mach_port_t name, bool owns, CFMachPortCallBack callout,
                       CFMachPortContext* context, Boolean* shouldFreeInfo) {
  if (shouldFreeInfo) *shouldFreeInfo = false;
  auto* port = new __CFMachPort;
  port->port = name;
  port->ownsReceiveRight = owns;
  port->callout = callout;
  if (context) {
    port->context = *context;
    if (context->retain) port->context.info = const_cast<void*>(context->retain(context->info));
  }
  return port;
}

}  // namespace

CFMachPortRef CFMachPortCreate(CFAllocatorRef, CFMachPortCallBack callout,
                               CFMachPortContext* context, Boolean* shouldFreeInfo) {
  if (shouldFreeInfo) *shouldFreeInfo = false;
  if (!callout) return nullptr;
  mach_port_t name = MACH_PORT_NULL;
  if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &name) != KERN_SUCCESS)
    return nullptr;
  mach_port_insert_right(mach_task_self(), name, name, MACH_MSG_TYPE_MAKE_SEND);
  return makePort(name, true, callout, context, shouldFreeInfo);
}

CFMachPortRef CFMachPortCreateWithPort(CFAllocatorRef, mach_port_t port, CFMachPortCallBack callout,
                                       CFMachPortContext* context, Boolean* shouldFreeInfo) {
  if (shouldFreeInfo) *shouldFreeInfo = false;
  if (!callout || mach_stand_in::receiveDescriptor(port) < 0) return nullptr;
  return makePort(port, false, callout, context, shouldFreeInfo);
}

mach_port_t CFMachPortGetPort(CFMachPortRef port) {
  return port ? port->port : MACH_PORT_NULL;
}

CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef, CFMachPortRef port, CFIndex) {
  if (!port || !port->valid) return nullptr;
  if (!port->source) {
    int fd = mach_stand_in::receiveDescriptor(port->port);
    if (fd < 0) return nullptr;
    port->source = CFRunLoopSourceCreateWithDescriptor(fd, receiveOne, port);
    if (!port->source) return nullptr;
  }
  CFRetain(port->source);
  return port->source;
}

void CFMachPortInvalidate(CFMachPortRef port) {
  if (!port || !port->valid.exchange(false)) return;
  if (port->source) CFRunLoopSourceInvalidate(port->source);
  if (port->ownsReceiveRight) {
    mach_port_mod_refs(mach_task_self(), port->port, MACH_PORT_RIGHT_RECEIVE, -1);
    mach_port_deallocate(mach_task_self(), port->port);
  }
}

Boolean CFMachPortIsValid(CFMachPortRef port) {
  return port && port->valid;
}
