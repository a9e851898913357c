#pragma once
// Pictures to JPEG for the live page, one after another on one thread: the compressor and the
// output buffer are made once and reused, so a frame allocates nothing once the buffer has
// grown to a frame's size.

#include <cstdint>
#include <memory>
#include <span>

#include "Renderer/Image.h"

namespace frames {

class JpegEncoder {
 public:
  explicit JpegEncoder(int quality);
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // The opaque picture as JPEG, valid until the next call; empty when it cannot be encoded.
  std::span<const std::uint8_t> encode(const render::Image& picture);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace frames
