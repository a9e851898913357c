#pragma once
// The calling side: one request to a host's control service in the current device.

#include <chrono>
#include <string>

namespace control {

// Sends `request` to `hostName` and waits at most `timeout` for the reply. True when the host
// answered "ok ..."; the reply (or why there is none) goes to `reply`.
bool request(const std::string& hostName, const std::string& request, std::string* reply,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace control
