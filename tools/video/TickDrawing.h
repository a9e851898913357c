#pragma once
// The video's ticks: at each the renders due merged, the plot drawn as the lock screen's drawing
// task draws it, the picture rasterised into a slot of the picture pool; the encoding thread
// writes the slots' pictures and audio in order and returns them.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "SongCapture.h"
#include "VideoEncoder.h"
#include "VideoScene.h"

namespace video {

// Pictures drawn ahead of the encoder at most: the pool's slots.
inline constexpr std::size_t kPicturesInFlight = 3;

struct TickOutcome {
  enum class Ending { complete, undecodable, stopped, encodingFailed };
  Ending ending = Ending::complete;
  int ticks = 0;
  std::string encodingError;  // with encodingFailed
};

// Draws tick after tick until the song ends or `stop` is set, and encodes them on a thread of its
// own; the encoder is finished whatever the ending. `progress` gets the ticks drawn every ten
// ticks, and again now and then while the drawing waits for the encoder.
TickOutcome drawAndEncode(SongCapture& capture, VideoScene& scene, VideoEncoder& encoder,
                          unsigned sampleRate, const std::atomic<bool>& stop,
                          const std::function<void(int ticks)>& progress);

}  // namespace video
