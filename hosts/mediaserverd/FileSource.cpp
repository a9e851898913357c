#include "FileSource.h"

#include <time.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

constexpr long kShortestPause = 5'000'000;
constexpr long kLongestPause = 100'000'000;

}  // namespace

FileSource::FileSource(std::string path) : path_(std::move(path)) {}

FileSource::~FileSource() {
  stop();
  if (file_) sf_close(file_);
}

bool FileSource::open(std::string* error) {
  if (file_) return true;
  file_ = sf_open(path_.c_str(), SFM_READ, &info_);
  if (!file_) {
    if (error) *error = "cannot play audio file '" + path_ + "': " + sf_strerror(nullptr);
    return false;
  }
  if (info_.channels < 1 || info_.frames <= 0 || info_.samplerate <= 0) {
    if (error) *error = "cannot play audio file '" + path_ + "': it holds no audio";
    sf_close(file_);
    file_ = nullptr;
    return false;
  }
  track_.title = std::filesystem::path(path_).stem().string();
  track_.artist = "Unknown artist";
  if (const char* tag = sf_get_string(file_, SF_STR_TITLE); tag != nullptr && *tag != '\0')
    track_.title = tag;
  if (const char* tag = sf_get_string(file_, SF_STR_ARTIST); tag != nullptr && *tag != '\0')
    track_.artist = tag;
  track_.frames = static_cast<std::uint64_t>(info_.frames);
  return true;
}

bool FileSource::start(std::string* error) {
  if (!open(error)) return false;
  running_ = true;
  decoder_ = std::thread([this] { decode(); });
  return true;
}

void FileSource::stop() {
  running_ = false;
  if (decoder_.joinable()) decoder_.join();
}

void FileSource::decode() {
  constexpr sf_count_t kChunkFrames = 4096;
  const int channels = info_.channels;
  std::vector<float> raw(static_cast<std::size_t>(kChunkFrames * channels));
  std::vector<float> stereo(static_cast<std::size_t>(kChunkFrames * 2));
  while (running_) {
    sf_count_t got = sf_readf_float(file_, raw.data(), kChunkFrames);
    if (got <= 0) {
      // End of the file (or a read error): start over.
      if (sf_seek(file_, 0, SEEK_SET) < 0) break;
      got = sf_readf_float(file_, raw.data(), kChunkFrames);
      if (got <= 0) break;
    }
    for (sf_count_t i = 0; i < got; ++i) {
      const float* frame = &raw[static_cast<std::size_t>(i * channels)];
      stereo[2 * i] = frame[0];
      stereo[2 * i + 1] = channels > 1 ? frame[1] : frame[0];
    }
    std::size_t done = 0;
    while (running_ && done < static_cast<std::size_t>(got)) {
      done += ring_.push(&stereo[2 * done], static_cast<std::size_t>(got) - done);
      if (done < static_cast<std::size_t>(got)) {
        // The ring is full: the render thread drains it at the output's pace, so the rest of
        // the chunk fits once it has played (over a second of audio stays queued). Waking
        // every few milliseconds instead cost the daemon more than its renders.
        const std::size_t left = static_cast<std::size_t>(got) - done;
        const long nanoseconds = std::clamp<long>(
            static_cast<long>(left * 1'000'000'000ull / static_cast<unsigned>(info_.samplerate)),
            kShortestPause, kLongestPause);
        timespec pause{0, nanoseconds};
        nanosleep(&pause, nullptr);
      }
    }
  }
}

bool FileSource::pull(float* left, float* right, unsigned frames) {
  const std::size_t got = ring_.pop(left, right, frames);
  for (std::size_t i = got; i < frames; ++i) left[i] = right[i] = 0.0f;
  return got > 0;
}
