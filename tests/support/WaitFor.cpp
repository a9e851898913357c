#include "WaitFor.h"

#include <poll.h>

namespace testing_support {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::poll(nullptr, 0, 2);  // yield the core between checks
  }
}

}  // namespace testing_support
