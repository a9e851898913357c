#pragma once
// The Mach stand-in. A receive right is a Unix-domain datagram socket bound under the device's
// run/ports; send and send-once rights name such an address. Port names are this process's own.
// Out-of-line memory travels as a sealed memfd and is mapped in place on receipt.

#include <mach/message.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

using task_t = mach_port_t;
using ipc_space_t = mach_port_t;
using mach_port_right_t = natural_t;
using mach_port_delta_t = integer_t;
using vm_address_t = uintptr_t;
using vm_size_t = uintptr_t;
using vm_map_t = mach_port_t;
using vm_offset_t = uintptr_t;

inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t KERN_INVALID_ADDRESS = 1;
inline constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;
inline constexpr kern_return_t KERN_FAILURE = 5;
inline constexpr kern_return_t KERN_RESOURCE_SHORTAGE = 6;
inline constexpr kern_return_t KERN_INVALID_NAME = 15;
inline constexpr kern_return_t KERN_INVALID_TASK = 16;
inline constexpr kern_return_t KERN_INVALID_RIGHT = 17;
inline constexpr kern_return_t KERN_INVALID_VALUE = 18;
inline constexpr kern_return_t KERN_UREFS_OVERFLOW = 19;

inline constexpr mach_port_right_t MACH_PORT_RIGHT_SEND = 0;
inline constexpr mach_port_right_t MACH_PORT_RIGHT_RECEIVE = 1;
inline constexpr mach_port_right_t MACH_PORT_RIGHT_SEND_ONCE = 2;

inline constexpr int TASK_BOOTSTRAP_PORT = 4;

mach_port_t mach_task_self();

kern_return_t mach_port_allocate(ipc_space_t task, mach_port_right_t right, mach_port_name_t* name);
kern_return_t mach_port_insert_right(ipc_space_t task, mach_port_name_t name, mach_port_t port,
                                     mach_msg_type_name_t disposition);
kern_return_t mach_port_mod_refs(ipc_space_t task, mach_port_name_t name, mach_port_right_t right,
                                 mach_port_delta_t delta);
kern_return_t mach_port_deallocate(ipc_space_t task, mach_port_name_t name);
kern_return_t task_get_special_port(task_t task, int which, mach_port_t* port);
kern_return_t vm_deallocate(vm_map_t task, vm_address_t address, vm_size_t size);

// Stand-in extensions, for the run loop's Mach-port sources and for tests.
namespace mach_stand_in {

// The descriptor that becomes readable when a message waits on a receive right; -1 otherwise.
int receiveDescriptor(mach_port_name_t name);

// How long a thread looks for a message that follows its predecessors back to back (a request to
// a service's loop, a reply to an exchange that follows the thread's last reply) before it sleeps
// on it: an awake peer answers within microseconds, and a wake-up costs more than that. Between
// two looks the thread yields, so that on a crowded core the peer it waits for runs. Any other
// reply is looked for once, after a yield.
inline constexpr std::chrono::microseconds kMessageLook{50};

// The socket path of a receive right (empty when `name` is none), for tests that speak raw
// datagrams to a port.
std::string receiveSocketPath(mach_port_name_t name);

// How many port names this process holds (all rights), to check that nothing leaks.
std::size_t portNameCount();

// Gives up the reply right of a request its server left unanswered: a send-once right without
// the notification that mach_port_mod_refs would send (the client waits out its time-out, as it
// does on the platform, where such a right stays with the server), a send right by one reference.
void releaseUnansweredReplyRight(mach_port_name_t name);

// Removes the sockets under run/ports that no receiver holds any longer (left by processes that
// were killed); returns how many.
std::size_t removeDeadPortSockets();

// Received datagrams that were dropped as malformed or foreign, by reason.
struct DropCounts {
  uint64_t truncated = 0;      // shorter than the envelope, or cut off by the socket
  uint64_t badSize = 0;        // size fields disagree with the datagram
  uint64_t badDescriptor = 0;  // out-of-line claim without descriptor or descriptor unexpected
  uint64_t badMemory = 0;      // memfd missing, unsealed or smaller than claimed
  uint64_t badReplyPort = 0;   // reply address malformed
  uint64_t foreignSender = 0;  // another user, or no credentials
  uint64_t stale = 0;          // sent to an earlier generation of a reply port that was reused
  uint64_t total() const {
    return truncated + badSize + badDescriptor + badMemory + badReplyPort + foreignSender + stale;
  }
};
DropCounts dropCounts();

}  // namespace mach_stand_in
