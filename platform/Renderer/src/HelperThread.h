#pragma once
// One thread kept for a renderer's lifetime to take half of a large piece of work while the
// calling thread does the other half: started once, woken per job, never allocating per job.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace render {

class HelperThread {
 public:
  HelperThread();
  // Waits for the job under way, then ends the thread.
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Runs job(context) on the helper; the previous job must have been waited for.
  void start(void (*job)(void*), void* context);
  // Returns when the job started last has finished.
  void wait();

 private:
  void serve();

  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  void (*job_)(void*) = nullptr;
  void* context_ = nullptr;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace render
