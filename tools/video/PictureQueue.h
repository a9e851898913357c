#pragma once
// Hands drawn pictures and the song's audio from the drawing thread to the encoding thread, in
// order, holding at most a few pictures so that memory stays flat however long the song.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "Renderer/Image.h"

namespace video {

struct EncodingWork {
  render::Image picture;  // empty: audio only
  std::vector<float> left, right;
};

class PictureQueue {
 public:
  explicit PictureQueue(std::size_t capacity) : capacity_(capacity) {}

  // Waits while the queue is full; false once the consumer has given up.
  bool push(EncodingWork work) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return abandoned_ || queue_.size() < capacity_; });
    if (abandoned_) return false;
    queue_.push_back(std::move(work));
    changed_.notify_all();
    return true;
  }
  // The next work; false once the producer has closed the queue and it is empty.
  bool pop(EncodingWork* work) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || !queue_.empty(); });
    if (queue_.empty()) return false;
    *work = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return true;
  }
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  void abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    changed_.notify_all();
  }

 private:
  std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<EncodingWork> queue_;
  bool closed_ = false;
  bool abandoned_ = false;
};

}  // namespace video
