#pragma once
// When the supervisor starts a host again after it ended, as the phone's launch daemon does: soon
// after a host that ran steadily, and with a delay that doubles at every quick death in a row
// (a crash loop), up to a limit, so a host that cannot start does not spin.

#include <chrono>

namespace launcher {

class RestartBackOff {
 public:
  static constexpr std::chrono::milliseconds kFirstDelay{250};
  static constexpr std::chrono::milliseconds kLongestDelay{10'000};
  // A host that ran this long before it ended was no crash loop.
  static constexpr std::chrono::milliseconds kSteadyRun{10'000};

  // The delay before the restart of a host that ran for `ranFor`.
  std::chrono::milliseconds afterExit(std::chrono::milliseconds ranFor);

 private:
  int quickExits_ = 0;
};

}  // namespace launcher
