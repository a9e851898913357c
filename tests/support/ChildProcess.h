#pragma once
// A program started by a test. It is stopped by its pid only, and always reaped.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class ChildProcess {
 public:
  // Starts `program` with `arguments`; the environment is this process's plus `extraEnvironment`
  // ("NAME=value" entries). Standard output and error go to `outputFile` when given.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& extraEnvironment = {},
               const std::filesystem::path& outputFile = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // Sends `signal` to the child's pid.
  void signal(int signal);
  // Waits for the child to end; its wait status, or nothing when `timeout` passes first.
  std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // SIGTERM, then SIGKILL if it has not ended within `grace`; returns the wait status.
  int stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Runs `program` to its end (at most `timeout`) with its output into `outputFile`, which is then
// read into `output` when given; the exit code, or -1 when it did not exit by itself.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFile, std::string* output,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace testing_support
