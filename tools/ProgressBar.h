#pragma once
// The commands' progress bar on standard error: on a terminal a bar redrawn in place with a
// short detail after it; elsewhere (a log, CI) one line each time the given milestone changes.

#include <string>

namespace tools {

class ProgressBar {
 public:
  explicit ProgressBar(int total);
  void show(int done, const std::string& detail, const std::string& milestone);
  void finish();

 private:
  int total_;
  bool terminal_;
  std::string lastMilestone_;
};

}  // namespace tools
