#pragma once
// A song read as the audio daemon plays a file: stereo frames at the file's own rate (a mono
// song on both channels, of more channels the first two). What libsndfile reads is read with
// it, as the daemon does; anything else (MP3, AAC, …) through FFmpeg's libraries.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace video {

class SongReader {
 public:
  virtual ~SongReader() = default;

  // The song at `path`; null and a one-line reason when it is not audio that can be read.
  static std::unique_ptr<SongReader> open(const std::string& path, std::string* error);

  virtual unsigned sampleRate() const = 0;
  // The length the file declares, in frames (an estimate for some compressed formats; 0 when
  // it declares none).
  virtual std::int64_t declaredFrames() const = 0;
  // Up to `frames` frames into `left` and `right`; fewer only at the end of the song (0 there).
  // False on a decoding error.
  virtual bool read(float* left, float* right, std::size_t frames, std::size_t* got) = 0;
};

}  // namespace video
