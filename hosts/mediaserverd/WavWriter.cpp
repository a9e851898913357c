#include "WavWriter.h"

#include <cstdio>

WavWriter::~WavWriter() {
  close();
}

bool WavWriter::open(const std::string& path, unsigned sampleRate, unsigned channels,
                     std::string* error) {
  path_ = path;
  partPath_ = path + ".part";
  SF_INFO info{};
  info.samplerate = static_cast<int>(sampleRate);
  info.channels = static_cast<int>(channels);
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  file_ = sf_open(partPath_.c_str(), SFM_WRITE, &info);
  if (!file_) {
    if (error) *error = "cannot write '" + partPath_ + "': " + sf_strerror(nullptr);
    return false;
  }
  // No peak chunk: it carries the time of writing, and the same audio must give the same file.
  sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return true;
}

bool WavWriter::write(const float* interleaved, unsigned frames) {
  return file_ && sf_writef_float(file_, interleaved, frames) == static_cast<sf_count_t>(frames);
}

void WavWriter::close() {
  if (!file_) return;
  sf_close(file_);
  file_ = nullptr;
  std::rename(partPath_.c_str(), path_.c_str());
}
