#include "Vellamor2/Messaging/LMConnection.h"

#include <CoreFoundation/CFBase.h>
#include <rocketbootstrap/rocketbootstrap.h>
#include <sandbox.h>
#include <servers/bootstrap.h>
#include <unistd.h>

#include <cstring>

namespace {

// Header bits of a request: remote copy-send (19), local make-send-once (21).
constexpr mach_msg_bits_t kRequestBits = 0x1513;
// Header bits of a reply: remote move-send-once (18), no local port.
constexpr mach_msg_bits_t kReplyBits = 18;
constexpr mach_msg_option_t kSendAndReceiveWithTimeouts = 0x113;

}  // namespace

uint32_t LMBufferSizeForLength(uint32_t length) {
  return LMNativeLayout::bufferSizeForLength(length);
}

void LMMessageAssignData(LMMessage* message, const void* data, uint32_t length) {
  LMNativeLayout::assignData(message, data, length);
}

void LMMessageAssignOutOfLine(LMMessage* message, const void* data, uint32_t length) {
  LMNativeLayout::assignOutOfLine(message, data, length);
}

const void* LMMessageGetData(const LMMessage* message) {
  return LMNativeLayout::getData(message);
}

uint32_t LMMessageGetDataLength(const LMMessage* message) {
  return LMNativeLayout::getDataLength(message);
}

void LMResponseBufferFree(LMMessage* message) {
  // Only a complex message carries memory of ours: a plain one that claims a descriptor must
  // not make us unmap the address it names.
  if (LMNativeLayout::hasDescriptor(message) && message->descriptor.type == 1) {
    vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(message->descriptor.address),
                  message->descriptor.size);
    message->body.msgh_descriptor_count = 0;
  }
}

void LMResponseBufferFree(LMResponseBuffer* buffer) {
  LMResponseBufferFree(&buffer->message);
}

mach_msg_return_t LMMachMsg(LMConnection* connection, mach_msg_header_t* message,
                            mach_msg_option_t option, mach_msg_size_t sendSize,
                            mach_msg_size_t receiveSize, mach_port_t receivePort,
                            mach_msg_timeout_t timeout, mach_port_t notifyPort) {
  while (true) {
    if (connection->port == MACH_PORT_NULL) {
      if (kCFCoreFoundationVersionNumber >= 675.0 && kCFCoreFoundationVersionNumber < 800.0) {
        const int denied =
            sandbox_check(::getpid(), "mach-lookup",
                          SANDBOX_FILTER_LOCAL_NAME | SANDBOX_CHECK_NO_REPORT, connection->name);
        if (denied != 0) return denied;
      }
      mach_port_t bootstrap = MACH_PORT_NULL;
      task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap);
      const kern_return_t found =
          rocketbootstrap_look_up(bootstrap, connection->name, &connection->port);
      if (found != KERN_SUCCESS) return found;
    }
    message->msgh_remote_port = connection->port;
    const mach_msg_return_t status =
        mach_msg(message, option, sendSize, receiveSize, receivePort, timeout, notifyPort);
    if (status != MACH_SEND_INVALID_DEST) return status;
    // The service's port has died: forget it and look the name up afresh.
    mach_port_deallocate(mach_task_self(), connection->port);
    connection->port = MACH_PORT_NULL;
  }
}

kern_return_t LMConnectionSendTwoWay(LMConnection* connection, int32_t messageId, const void* data,
                                     uint32_t length, LMResponseBuffer* responseBuffer) {
  mach_port_t replyPort = MACH_PORT_NULL;
  kern_return_t status = mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &replyPort);
  if (status != KERN_SUCCESS) {
    responseBuffer->message.body.msgh_descriptor_count = 0;
    return status;
  }
  const uint32_t size = LMBufferSizeForLength(length);
  LMMessage* message = &responseBuffer->message;
  std::memset(message, 0, sizeof(LMMessage));
  message->head.msgh_id = messageId;
  message->head.msgh_size = size;
  message->head.msgh_local_port = replyPort;
  message->head.msgh_voucher_port = 0;
  message->head.msgh_bits = kRequestBits;
  LMMessageAssignData(message, data, length);
  status = LMMachMsg(connection, &message->head, kSendAndReceiveWithTimeouts, size,
                     sizeof(LMResponseBuffer), replyPort, kLMTimeoutMilliseconds, MACH_PORT_NULL);
  // The send-once notification in place of a reply: the service gave up its reply right.
  if (status == KERN_SUCCESS && message->head.msgh_id == MACH_NOTIFY_SEND_ONCE &&
      message->head.msgh_size == sizeof(mach_msg_header_t)) {
    status = MIG_SERVER_DIED;
    message->data.length = 0;
  }
  if (status != KERN_SUCCESS) message->body.msgh_descriptor_count = 0;
  mach_port_mod_refs(mach_task_self(), replyPort, MACH_PORT_RIGHT_RECEIVE, -1);
  return status;
}

kern_return_t LMSendReply(mach_port_t replyPort, const void* data, uint32_t length) {
  if (replyPort == MACH_PORT_NULL) return KERN_SUCCESS;
  const uint32_t size = LMBufferSizeForLength(length);
  alignas(8) uint8_t buffer[LMNativeLayout::kLargestMessage];
  auto* message = reinterpret_cast<LMMessage*>(buffer);
  std::memset(message, 0, sizeof(LMMessage));
  message->head.msgh_id = 0;
  message->head.msgh_size = size;
  message->head.msgh_remote_port = replyPort;
  message->head.msgh_local_port = MACH_PORT_NULL;
  message->head.msgh_voucher_port = 0;
  message->head.msgh_bits = kReplyBits;
  LMMessageAssignData(message, data, length);
  const mach_msg_return_t status = mach_msg(&message->head, MACH_SEND_MSG, size, 0, MACH_PORT_NULL,
                                            MACH_MSG_TIMEOUT_NONE, MACH_PORT_NULL);
  if (status != KERN_SUCCESS)
    mach_port_mod_refs(mach_task_self(), replyPort, MACH_PORT_RIGHT_SEND_ONCE, -1);
  return status;
}

kern_return_t LMStartServiceWithUserInfo(const char* name, CFRunLoopRef runLoop,
                                         CFMachPortCallBack callback, void* userInfo) {
  mach_port_t bootstrap = MACH_PORT_NULL;
  task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap);
  CFMachPortContext context{0, userInfo, nullptr, nullptr, nullptr};
  CFMachPortRef port = CFMachPortCreate(kCFAllocatorDefault, callback, &context, nullptr);
  if (port == nullptr) return KERN_RESOURCE_SHORTAGE;
  CFRunLoopSourceRef source = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0);
  CFRunLoopAddSource(runLoop, source, kCFRunLoopCommonModes);
  const mach_port_t servicePort = CFMachPortGetPort(port);
  rocketbootstrap_unlock(name);
  // The port and its source serve until the process ends.
  return bootstrap_register(bootstrap, name, servicePort);
}

kern_return_t LMStartService(const char* name, CFRunLoopRef runLoop, CFMachPortCallBack callback) {
  return LMStartServiceWithUserInfo(name, runLoop, callback, nullptr);
}
