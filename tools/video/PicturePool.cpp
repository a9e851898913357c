#include "PicturePool.h"

namespace video {

PicturePool::PicturePool(std::size_t depth, std::size_t width, std::size_t height) {
  slots_.reserve(depth);
  for (std::size_t i = 0; i < depth; ++i)
    slots_.push_back({render::Image(width, height), true, {}, {}});
}

EncodingWork* PicturePool::freeSlot(const std::function<void()>& waiting,
                                    std::chrono::milliseconds interval) {
  std::unique_lock lock(mutex_);
  while (!abandoned_ && sent_ - recycled_ == slots_.size()) {
    if (changed_.wait_for(lock, interval) == std::cv_status::timeout) {
      lock.unlock();
      waiting();
      lock.lock();
    }
  }
  return abandoned_ ? nullptr : &slots_[sent_ % slots_.size()];
}

void PicturePool::send() {
  std::lock_guard lock(mutex_);
  ++sent_;
  changed_.notify_all();
}

EncodingWork* PicturePool::next() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return closed_ || taken_ < sent_; });
  if (taken_ == sent_) return nullptr;
  return &slots_[taken_++ % slots_.size()];
}

void PicturePool::recycle() {
  std::lock_guard lock(mutex_);
  ++recycled_;
  changed_.notify_all();
}

void PicturePool::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

void PicturePool::abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  changed_.notify_all();
}

}  // namespace video
