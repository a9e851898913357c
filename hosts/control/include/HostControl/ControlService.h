#pragma once
// The serving side: a host program offers its control service under its own name in the
// device's run directory (run/control/<name>), served on its main run loop in every common mode,
// so that each command runs as ordinary main-thread work. One request per connection; callers
// of another user are refused.

#include <functional>
#include <string>

#include "HostControl/ControlRequest.h"

namespace control {

// Answers a request with a reply line ("ok ..." or "error ...").
using ControlHandler = std::function<std::string(const ControlRequest&)>;

// Starts serving `hostName` on the main run loop; false (and a reason) when the service cannot
// be offered, also when another instance of the host serves this device (it keeps its service).
// Call on the main thread before the run loop turns.
bool serve(const std::string& hostName, ControlHandler handler, std::string* error = nullptr);

// For a program without a run loop (the supervisor): offers `hostName`'s service and returns its
// listening socket, for the program to poll; -1 (and a reason) when it cannot be offered.
int listen(const std::string& hostName, std::string* error = nullptr);

// Answers every caller waiting on `listener` (from `listen`) with `handler`.
void answerCallers(int listener, const ControlHandler& handler);

// Inside a handler: the reply to the request being handled is sent later, by the returned
// object (from any thread, once; an object dropped unsent answers "error no reply"), and what
// the handler returns is ignored. So work done off the main thread is answered when it is done.
class LaterReply {
 public:
  LaterReply() = default;
  explicit LaterReply(int connection) : connection_(connection) {}
  LaterReply(LaterReply&& other) noexcept : connection_(other.connection_) {
    other.connection_ = -1;
  }
  LaterReply& operator=(LaterReply&&) = delete;
  ~LaterReply();
  void send(const std::string& text);

 private:
  int connection_ = -1;
};
LaterReply replyLater();

// The address of a host's service in the current device.
std::string serviceAddress(const std::string& hostName);

}  // namespace control
