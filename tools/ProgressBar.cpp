#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tools {

ProgressBar::ProgressBar(int total) : total_(std::max(total, 1)), terminal_(::isatty(2) != 0) {}

void ProgressBar::show(int done, const std::string& detail, const std::string& milestone) {
  constexpr int kWidth = 32;
  done = std::clamp(done, 0, total_);
  const int filled = done * kWidth / total_;
  if (terminal_) {
    std::fprintf(stderr, "\r  [%s%s] %3d%%  %-28s", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), done * 100 / total_, detail.c_str());
  } else if (milestone != lastMilestone_) {
    std::fprintf(stderr, "  %s\n", milestone.c_str());
  }
  lastMilestone_ = milestone;
}

void ProgressBar::finish() {
  if (terminal_) std::fprintf(stderr, "\n");
}

}  // namespace tools
