#include "HelperThread.h"

namespace render {

HelperThread::HelperThread() : thread_([this] { serve(); }) {}

HelperThread::~HelperThread() {
  {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void HelperThread::start(void (*job)(void*), void* context) {
  {
    std::lock_guard lock(mutex_);
    job_ = job;
    context_ = context;
    busy_ = true;
  }
  wake_.notify_one();
}

void HelperThread::wait() {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return !busy_; });
}

void HelperThread::serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return busy_ || stopping_; });
    if (stopping_) return;
    lock.unlock();
    job_(context_);
    lock.lock();
    busy_ = false;
    finished_.notify_one();
  }
}

}  // namespace render
