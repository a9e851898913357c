#pragma once
// Hands drawn pictures and the song's audio from the drawing thread to the encoding thread, in
// order, through a few slots made once: a slot returns to the drawing thread when the encoder is
// done with it, so no picture is allocated per tick and memory stays flat however long the song.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "Renderer/Image.h"

namespace video {

struct EncodingWork {
  render::Image picture;
  bool hasPicture = true;  // false: the song's last audio only
  std::vector<float> left, right;
};

class PicturePool {
 public:
  // `depth` slots, each holding a picture of width × height pixels.
  PicturePool(std::size_t depth, std::size_t width, std::size_t height);

  // Drawing thread: the next free slot, waiting while every slot is with the encoder, `waiting`
  // called at each `interval` of the wait. Null once the encoder has given up.
  EncodingWork* freeSlot(const std::function<void()>& waiting, std::chrono::milliseconds interval);
  // Drawing thread: the slot from freeSlot() goes to the encoder, after every slot sent before it.
  void send();
  // Encoding thread: the oldest slot sent; null once closed and every slot sent was taken.
  EncodingWork* next();
  // Encoding thread: the slot from next() is done with.
  void recycle();
  // Drawing thread: nothing more will be sent.
  void close();
  // Encoding thread: nothing more will be taken; the drawing thread stops waiting.
  void abandon();

 private:
  std::vector<EncodingWork> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Slots are sent, taken and recycled in turn: slot i % depth is the i-th of each.
  std::size_t sent_ = 0;
  std::size_t taken_ = 0;
  std::size_t recycled_ = 0;
  bool closed_ = false;
  bool abandoned_ = false;
};

}  // namespace video
