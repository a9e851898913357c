#include "ThisProcess.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace mach_stand_in {

namespace {

std::atomic<pid_t> cached{0};

void forgetInChild() {
  cached.store(0, std::memory_order_relaxed);
}

const int registered = pthread_atfork(nullptr, nullptr, forgetInChild);

}  // namespace

pid_t thisProcess() {
  (void)registered;
  pid_t pid = cached.load(std::memory_order_relaxed);
  if (pid == 0) {
    pid = getpid();
    cached.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

}  // namespace mach_stand_in
