#pragma once
// Waiting on a condition that another process or thread brings about: poll it until it holds or
// the deadline passes. Tests never sleep for a fixed time.

#include <chrono>
#include <functional>

namespace testing_support {

// True as soon as `condition` holds; false when `timeout` passes first.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testing_support
