#pragma once
// The live page's feed: the newest frame of every host, read from the device's run/frames/ as
// each host's render server renames a new one into place (inotify), and the newest figures.
// Each event is kept ready to send (one line of JSON); any number of page connections wait for
// what is newer than what they have sent.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace live {

struct FeedEvent {
  std::string name;  // "frame" or "figures"
  std::string data;  // JSON, one line
  std::uint64_t version = 0;
};

class FrameFeed {
 public:
  explicit FrameFeed(std::filesystem::path directory);
  ~FrameFeed();
  FrameFeed(const FrameFeed&) = delete;
  FrameFeed& operator=(const FrameFeed&) = delete;

  // Starts watching; false and a reason when the directory cannot be watched.
  bool start(std::string* error);
  void stop();

  // Keeps `data` as the newest event named `name` under `key` (one per host and kind).
  void publish(const std::string& key, const std::string& name, std::string data);

  // Events newer than `seen` (then updated), waiting up to `timeout` for one; empty when none
  // came or the feed stopped.
  std::vector<std::shared_ptr<const FeedEvent>> waitNewer(std::uint64_t& seen,
                                                          std::chrono::milliseconds timeout);
  bool stopped() const { return stopping_.load(); }

  // Frames read, and files that were not frames.
  std::uint64_t framesRead() const { return framesRead_.load(); }
  std::uint64_t framesRefused() const { return framesRefused_.load(); }

 private:
  void watch();
  void readFrame(const std::string& fileName);

  std::filesystem::path directory_;
  int inotify_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> framesRead_{0};
  std::atomic<std::uint64_t> framesRefused_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t version_ = 0;
  std::map<std::string, std::shared_ptr<const FeedEvent>> newest_;
  std::thread watcher_;
};

}  // namespace live
