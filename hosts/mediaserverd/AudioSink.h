#pragma once
// Where rendered audio goes: interleaved float frames, written from the render thread. A sink's
// write blocks for as long as the output needs, which paces the renders.

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // False when the output has failed; the engine then falls back to the null sink.
  virtual bool write(const float* interleaved, unsigned frames) = 0;
  virtual const char* describe() const = 0;
};
