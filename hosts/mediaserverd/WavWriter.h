#pragma once
// A float WAV file of exactly what the output receives. It is written under "<name>.part" and
// renamed to its name when closed, so a reader never sees a half-written file under the name.

#include <sndfile.h>

#include <string>

class WavWriter {
 public:
  ~WavWriter();
  bool open(const std::string& path, unsigned sampleRate, unsigned channels, std::string* error);
  bool write(const float* interleaved, unsigned frames);
  // Finishes the file and gives it its name.
  void close();
  bool isOpen() const { return file_ != nullptr; }

 private:
  SNDFILE* file_ = nullptr;
  std::string path_;
  std::string partPath_;
};
