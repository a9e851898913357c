#include "Supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Foundation/NSLog.h>
#include <HostControl/ControlService.h>
#include <System/DeviceSystem.h>

#include <chrono>
#include <string>
#include <vector>

#include "Device/Device.h"
#include "Device/DeviceFiles.h"
#include "Launcher/Launcher.h"
#include "ProcessRecord.h"
#include "RestartBackOff.h"

extern char** environ;

namespace launcher {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAudioDaemon = "mediaserverd";
// The one command line that `system` carries out inside a device (the panes' stop of the audio
// daemon).
constexpr const char* kStopAudioDaemon = "killall -9 mediaserverd";
constexpr auto kStopGrace = std::chrono::seconds(5);

struct Child {
  HostProgram program;
  pid_t pid = 0;
  Clock::time_point startedAt{};
  bool restartPending = false;
  Clock::time_point restartAt{};
  RestartBackOff backOff;
};

pid_t spawn(const HostProgram& program) {
  const std::string path = device::phonePath(program.phonePath).string();
  const int output = device::openInDevice(
      device::runDirectory() / (std::string(program.name) + ".out"), O_WRONLY | O_CREAT | O_APPEND);
  // A host whose output file is refused (a link planted there) still starts, writing nowhere.
  if (output < 0) NSLog("launcher: cannot open the output of %s", program.name);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (output >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* argv[] = {const_cast<char*>(program.name), nullptr};
  pid_t pid = 0;
  const int result = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (output >= 0) ::close(output);
  if (result != 0) {
    NSLog("launcher: cannot start %s", program.name);
    return 0;
  }
  writeRecord(program.name, pid);
  return pid;
}

// Stops every child (the last started first) and reaps it.
void stopChildren(std::vector<Child>& children) {
  for (auto child = children.rbegin(); child != children.rend(); ++child)
    if (child->pid > 0) ::kill(child->pid, SIGTERM);
  const auto deadline = Clock::now() + kStopGrace;
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    if (child->pid <= 0) continue;
    int status = 0;
    while (::waitpid(child->pid, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        ::kill(child->pid, SIGKILL);
        ::waitpid(child->pid, &status, 0);
        break;
      }
      ::poll(nullptr, 0, 5);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      NSLog("launcher: %s did not stop cleanly (wait status %d)", child->program.name, status);
    removeRecord(child->program.name);
    child->pid = 0;
  }
}

void reap(std::vector<Child>& children, bool stopping) {
  int status = 0;
  pid_t pid = 0;
  while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
    for (Child& child : children) {
      if (child.pid != pid) continue;
      child.pid = 0;
      removeRecord(child.program.name);
      if (stopping) break;
      const auto ranFor =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - child.startedAt);
      const auto delay = child.backOff.afterExit(ranFor);
      NSLog("launcher: %s ended; restarting it in %lld ms", child.program.name,
            static_cast<long long>(delay.count()));
      child.restartPending = true;
      child.restartAt = Clock::now() + delay;
    }
  }
}

// A command line from `system` inside the device. "killall -9 mediaserverd" means the device's own
// audio daemon: it is stopped by its pid (a literal killall would stop every process of that name
// on the machine) and restarted like after any other end. Nothing else is run.
std::string carryOut(const control::ControlRequest& request, std::vector<Child>& children) {
  if (request.command != device_system::kSystemRequest)
    return "error unknown command " + request.command;
  if (request.argument != kStopAudioDaemon) {
    NSLog("launcher: not running \"%s\": only \"%s\" runs in a device", request.argument.c_str(),
          kStopAudioDaemon);
    return std::string("error only \"") + kStopAudioDaemon + "\" runs in a device";
  }
  for (Child& child : children) {
    if (std::string(child.program.name) != kAudioDaemon) continue;
    if (child.pid <= 0) return "ok 256";  // killall's "no process found"
    // Still our unreaped child, so the pid cannot name another process.
    ::kill(child.pid, SIGKILL);
    NSLog("launcher: %s (pid %d) stopped for \"%s\"", child.program.name, child.pid,
          kStopAudioDaemon);
    return "ok 0";
  }
  return "ok 256";
}

int pollTimeout(const std::vector<Child>& children) {
  int timeout = -1;
  for (const Child& child : children) {
    if (!child.restartPending) continue;
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(child.restartAt - Clock::now());
    const int ms = wait.count() < 0 ? 0 : static_cast<int>(wait.count()) + 1;
    if (timeout < 0 || ms < timeout) timeout = ms;
  }
  return timeout;
}

}  // namespace

int runSupervisor() {
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGCHLD);
  sigprocmask(SIG_BLOCK, &handled, nullptr);
  const int signals = ::signalfd(-1, &handled, SFD_CLOEXEC);
  if (signals < 0 || !writeRecord("launcher", ::getpid())) return 1;

  std::vector<Child> children;
  for (const HostProgram& program : hostPrograms()) {
    Child child;
    child.program = program;
    children.push_back(child);
  }
  for (Child& child : children) {
    child.pid = spawn(child.program);
    child.startedAt = Clock::now();
  }

  std::string reason;
  const int requests = control::listen(device_system::kLaunchDaemonService, &reason);
  if (requests < 0) NSLog("launcher: no service for system(): %s", reason.c_str());
  const control::ControlHandler answer = [&children](const control::ControlRequest& request) {
    return carryOut(request, children);
  };

  bool stopping = false;
  while (!stopping) {
    pollfd watch[2] = {{signals, POLLIN, 0}, {requests, POLLIN, 0}};
    const int ready = ::poll(watch, requests >= 0 ? 2 : 1, pollTimeout(children));
    if (ready > 0 && (watch[1].revents & POLLIN) != 0) control::answerCallers(requests, answer);
    if (ready > 0 && (watch[0].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      while (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGTERM || info.ssi_signo == SIGINT) stopping = true;
        if (info.ssi_signo == SIGCHLD) reap(children, stopping);
        // One signal per read; more are pending only when the descriptor is still readable.
        pollfd again{signals, POLLIN, 0};
        if (::poll(&again, 1, 0) <= 0) break;
      }
    }
    if (stopping) break;
    for (Child& child : children)
      if (child.restartPending && Clock::now() >= child.restartAt) {
        child.restartPending = false;
        child.pid = spawn(child.program);
        child.startedAt = Clock::now();
      }
  }
  if (requests >= 0) ::close(requests);
  stopChildren(children);
  removeRecord("launcher");
  return 0;
}

}  // namespace launcher
