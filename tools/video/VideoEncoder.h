#pragma once
// Writes pictures and the song's audio into a video file with FFmpeg's libraries: H.264 and AAC
// in MP4, or VP9 and Opus in WebM; 30 pictures a second, picture n at n/30 s, the audio from 0.

#include <cstdint>
#include <memory>
#include <string>

namespace video {

enum class Container { mp4, webm };

struct EncoderSettings {
  Container container = Container::mp4;
  int width = 720;   // even
  int height = 720;  // even
  unsigned sampleRate = 44100;
  bool lossless = false;  // full-colour lossless pictures, for comparing them with drawings
};

class VideoEncoder {
 public:
  VideoEncoder();
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Creates `path` and writes the header; false and a reason otherwise.
  bool open(const std::string& path, const EncoderSettings& settings, std::string* error);
  // The next picture: width × height pixels of opaque RGBA, `stride` bytes a row.
  bool addPicture(const std::uint8_t* rgba, std::size_t stride, std::string* error);
  // The next `frames` frames of the song.
  bool addAudio(const float* left, const float* right, std::size_t frames, std::string* error);
  // Flushes both encoders and writes the trailer.
  bool finish(std::string* error);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace video
