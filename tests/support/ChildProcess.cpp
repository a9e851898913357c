#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testing_support {

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment,
                           const std::filesystem::path& outputFile) {
  std::vector<std::string> argvStrings{program.string()};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : argvStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
  envStrings.insert(envStrings.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  const int result =
      ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) throw std::runtime_error("cannot start " + program.string());
}

ChildProcess::~ChildProcess() {
  if (!status_) stop(std::chrono::seconds(2));
}

bool ChildProcess::running() {
  if (status_) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == pid_) status_ = status;
  return !status_;
}

void ChildProcess::signal(int signalNumber) {
  if (!status_) ::kill(pid_, signalNumber);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    ::poll(nullptr, 0, 2);
  }
  return status_;
}

int ChildProcess::stop(std::chrono::milliseconds grace) {
  if (status_) return *status_;
  signal(SIGTERM);
  if (auto status = wait(grace)) return *status;
  signal(SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  status_ = status;
  return status;
}

int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFile, std::string* output,
               std::chrono::milliseconds timeout) {
  ChildProcess child(program, arguments, {}, outputFile);
  const auto status = child.wait(timeout);
  if (output != nullptr) {
    std::ifstream file(outputFile);
    std::stringstream text;
    text << file.rdbuf();
    *output = text.str();
  }
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

}  // namespace testing_support
