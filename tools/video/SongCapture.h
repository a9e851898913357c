#pragma once
// A song passed through the system's own capture and merge, offline: cut into render buffers as
// the audio daemon renders them (two separate channels, a fixed frame count, the sample time
// rising from 0), each render put through the render hook's capture rules and each captured
// packet through the history server's merge, into SpringBoard's history record `ServerData`.
// One per process at a time: the capture state and the history are the system's statics.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SongReader.h"
#include "Vellamor2/WavePlotRecord.h"

namespace video {

inline constexpr unsigned kFramesPerRender = 1024;  // the daemon's default render
inline constexpr int kTicksPerSecond = 30;          // the lock screen's drawing rate

class SongCapture {
 public:
  // Starts from a fresh daemon and hub: no sample time seen, the history zero, the screen lit.
  explicit SongCapture(SongReader& song);

  // Renders (and captures) every buffer that ends by sample `sample`, reading ahead one buffer.
  // False on a decoding error.
  bool renderUpTo(std::int64_t sample);
  // Whether the song holds a sample at `sample` (decided by what has been read so far, which
  // always covers the buffer after the last rendered one).
  bool holdsSample(std::int64_t sample) const { return sample < framesRead_; }

  // The song's frames read since the last takeFresh(), for the encoder of its audio.
  const std::vector<float>& freshLeft() const { return freshLeft_; }
  const std::vector<float>& freshRight() const { return freshRight_; }
  void takeFresh();

  std::int64_t framesRead() const { return framesRead_; }
  const serverDataStruct& history() const;

 private:
  bool readAhead();
  void renderAhead();

  SongReader& song_;
  std::vector<float> left_, right_;  // the buffer read ahead
  bool haveAhead_ = false;
  bool ended_ = false;
  std::int64_t rendered_ = 0;    // sample time of the next render
  std::int64_t framesRead_ = 0;  // of the song, real frames only
  std::vector<float> freshLeft_, freshRight_;
};

}  // namespace video
