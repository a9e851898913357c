#include "RestartBackOff.h"

#include <algorithm>

namespace launcher {

std::chrono::milliseconds RestartBackOff::afterExit(std::chrono::milliseconds ranFor) {
  if (ranFor >= kSteadyRun) {
    quickExits_ = 0;
    return kFirstDelay;
  }
  const int doublings = std::min(quickExits_++, 16);
  return std::min<std::chrono::milliseconds>(kFirstDelay * (1 << doublings), kLongestDelay);
}

}  // namespace launcher
