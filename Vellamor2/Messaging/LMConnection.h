#pragma once
// The message transport: a client sends one request with a body to a named service and waits for
// its reply; a server registers a name, receives requests on its run loop and replies to each
// request's reply port. Bodies of up to 4,096 bytes travel in the message, larger ones
// out-of-line as a copy of the sender's memory. Statuses are returned, never logged.

#include <CoreFoundation/CFMachPort.h>
#include <CoreFoundation/CFRunLoop.h>
#include <mach/mach.h>

#include <cstdint>

#include "Vellamor2/Messaging/LMLayout.h"

// A client's connection: the cached send right to the service (0 until looked up and after the
// port died) and the service name, zero-padded.
struct LMConnection {
  mach_port_t port;
  char name[128];
};
static_assert(sizeof(LMConnection) == 132);

#pragma pack(push, 4)
// The message as it travels: header, descriptor count, then the in-line length and bytes or the
// out-of-line descriptor.
struct LMMessage {
  mach_msg_header_t head;
  mach_msg_body_t body;
  union {
    struct {
      uint32_t length;
      uint8_t bytes[12];  // the first bytes; the rest follow in the enclosing buffer
    } data;
    mach_msg_ool_descriptor_t descriptor;
  };
};
#pragma pack(pop)
static_assert(sizeof(LMMessage) == LMNativeLayout::kBareSize);

// Room for the largest message plus the trailer. The request is built here and the reply
// overwrites it; it lives on the caller's stack.
struct LMResponseBuffer {
  LMMessage message;
  uint8_t slack[LMNativeLayout::kResponseBufferSize - sizeof(LMMessage)];
};
static_assert(sizeof(LMResponseBuffer) == LMNativeLayout::kResponseBufferSize);

inline constexpr mach_msg_timeout_t kLMTimeoutMilliseconds = 50;

// Client side.
kern_return_t LMConnectionSendTwoWay(LMConnection* connection, int32_t messageId, const void* data,
                                     uint32_t length, LMResponseBuffer* responseBuffer);
const void* LMMessageGetData(const LMMessage* message);
uint32_t LMMessageGetDataLength(const LMMessage* message);
// Unmaps an out-of-line body and clears the descriptor count; harmless when called again.
void LMResponseBufferFree(LMResponseBuffer* buffer);
void LMResponseBufferFree(LMMessage* message);

// Server side.
kern_return_t LMStartService(const char* name, CFRunLoopRef runLoop, CFMachPortCallBack callback);
kern_return_t LMStartServiceWithUserInfo(const char* name, CFRunLoopRef runLoop,
                                         CFMachPortCallBack callback, void* userInfo);
kern_return_t LMSendReply(mach_port_t replyPort, const void* data, uint32_t length);

// Shared.
uint32_t LMBufferSizeForLength(uint32_t length);
void LMMessageAssignData(LMMessage* message, const void* data, uint32_t length);
void LMMessageAssignOutOfLine(LMMessage* message, const void* data, uint32_t length);
mach_msg_return_t LMMachMsg(LMConnection* connection, mach_msg_header_t* message,
                            mach_msg_option_t option, mach_msg_size_t sendSize,
                            mach_msg_size_t receiveSize, mach_port_t receivePort,
                            mach_msg_timeout_t timeout, mach_port_t notifyPort);
