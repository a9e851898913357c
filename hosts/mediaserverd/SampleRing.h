#pragma once
// A single-producer, single-consumer ring of stereo frames. The producer is a source's own
// thread; the consumer is the render thread, which never waits and never locks.

#include <atomic>
#include <cstddef>
#include <memory>

class SampleRing {
 public:
  // Capacity in frames, rounded up to a power of two.
  explicit SampleRing(std::size_t capacityFrames) {
    std::size_t capacity = 1;
    while (capacity < capacityFrames) capacity <<= 1;
    mask_ = capacity - 1;
    samples_ = std::make_unique<float[]>(capacity * 2);
  }

  std::size_t capacity() const { return mask_ + 1; }
  std::size_t freeFrames() const {
    return capacity() -
           (head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire));
  }

  // Producer: appends up to `frames` interleaved stereo frames; returns how many fit.
  std::size_t push(const float* interleaved, std::size_t frames) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    const std::size_t tail = tail_.load(std::memory_order_acquire);
    const std::size_t room = capacity() - (head - tail);
    if (frames > room) frames = room;
    for (std::size_t i = 0; i < frames; ++i) {
      const std::size_t at = ((head + i) & mask_) * 2;
      samples_[at] = interleaved[2 * i];
      samples_[at + 1] = interleaved[2 * i + 1];
    }
    head_.store(head + frames, std::memory_order_release);
    return frames;
  }

  // Consumer: takes up to `frames` frames into the two channels; returns how many there were.
  std::size_t pop(float* left, float* right, std::size_t frames) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t head = head_.load(std::memory_order_acquire);
    if (frames > head - tail) frames = head - tail;
    for (std::size_t i = 0; i < frames; ++i) {
      const std::size_t at = ((tail + i) & mask_) * 2;
      left[i] = samples_[at];
      right[i] = samples_[at + 1];
    }
    tail_.store(tail + frames, std::memory_order_release);
    return frames;
  }

 private:
  std::unique_ptr<float[]> samples_;
  std::size_t mask_ = 0;
  std::atomic<std::size_t> head_{0};
  std::atomic<std::size_t> tail_{0};
};
