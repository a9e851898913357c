#pragma once
// Named notifications shared by the processes of one device, each name with a 64-bit state.
//
// A post reaches every process that has registered the name. Delivery is by handler on a
// dispatch queue; posts that arrive while a call for the same registration is still waiting on
// its queue are folded into that one call, so a handler learns "something changed" and reads the
// state itself. The state of a name is kept on the device and outlives the processes.

#include <dispatch/dispatch.h>

#include <cstdint>
#include <functional>

inline constexpr uint32_t NOTIFY_STATUS_OK = 0;
inline constexpr uint32_t NOTIFY_STATUS_INVALID_NAME = 1;
inline constexpr uint32_t NOTIFY_STATUS_INVALID_TOKEN = 2;
inline constexpr uint32_t NOTIFY_STATUS_INVALID_PORT = 3;
inline constexpr uint32_t NOTIFY_STATUS_INVALID_FILE = 4;
inline constexpr uint32_t NOTIFY_STATUS_INVALID_SIGNAL = 5;
inline constexpr uint32_t NOTIFY_STATUS_INVALID_REQUEST = 6;
inline constexpr uint32_t NOTIFY_STATUS_NOT_AUTHORIZED = 7;
inline constexpr uint32_t NOTIFY_STATUS_FAILED = 1000000;

// Called on the registration's queue with the registration's token.
using notify_handler_t = std::function<void(int token)>;

// Registers `handler` for posts of `name`, to run on `queue`. `outToken` names the registration
// for the calls below. Fails with INVALID_NAME for an empty or over-long name, INVALID_REQUEST for
// a missing queue, handler or token pointer, FAILED when no device is set up.
uint32_t notify_register_dispatch(const char* name, int* outToken, dispatch_queue_t queue,
                                  notify_handler_t handler);

// A token for reading and setting the state of `name`, without any delivery.
uint32_t notify_register_check(const char* name, int* outToken);

// The state of the token's name: the last value set on this device (0 when none was).
uint32_t notify_get_state(int token, uint64_t* outState);
uint32_t notify_set_state(int token, uint64_t state);

// Tells every process registered for `name`. Registrants whose process has gone are skipped and
// struck off the name's list.
uint32_t notify_post(const char* name);

// Ends the registration; a call already waiting on its queue is dropped.
uint32_t notify_cancel(int token);

bool notify_is_valid_token(int token);

// Platform extension: how many posts this process's endpoints have taken in (diagnostics, and for
// tests that must know a post has arrived before they let the queue run).
uint64_t notify_received_post_count();
