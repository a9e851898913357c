#include "FrameFeed.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "HostFrames/LiveFrame.h"
#include "LivePanels.h"

namespace live {
namespace {

constexpr std::string_view kFrameSuffix = ".frame";

std::uint64_t clockNanoseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

// The whole file, at most `limit` bytes; empty when it is not a regular file or too long.
std::vector<std::uint8_t> readSmallFile(const std::filesystem::path& path, std::size_t limit) {
  std::vector<std::uint8_t> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
      static_cast<std::size_t>(info.st_size) <= limit) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
  }
  ::close(fd);
  return bytes;
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                     static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace

FrameFeed::FrameFeed(std::filesystem::path directory) : directory_(std::move(directory)) {}

FrameFeed::~FrameFeed() {
  stop();
}

bool FrameFeed::start(std::string* error) {
  inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (inotify_ < 0 || ::inotify_add_watch(inotify_, directory_.c_str(), IN_MOVED_TO) < 0) {
    if (error != nullptr)
      *error = "cannot watch " + directory_.string() + ": " + std::strerror(errno);
    return false;
  }
  watcher_ = std::thread([this] { watch(); });
  return true;
}

void FrameFeed::stop() {
  stopping_ = true;
  changed_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  if (inotify_ >= 0) ::close(inotify_);
  inotify_ = -1;
}

void FrameFeed::publish(const std::string& key, const std::string& name, std::string data) {
  {
    std::lock_guard lock(mutex_);
    auto event = std::make_shared<FeedEvent>();
    event->name = name;
    event->data = std::move(data);
    event->version = ++version_;
    newest_[key] = std::move(event);
  }
  changed_.notify_all();
}

std::vector<std::shared_ptr<const FeedEvent>> FrameFeed::waitNewer(
    std::uint64_t& seen, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return stopping_.load() || version_ > seen; });
  std::vector<std::shared_ptr<const FeedEvent>> newer;
  if (stopping_) return newer;
  for (const auto& [key, event] : newest_)
    if (event->version > seen) newer.push_back(event);
  seen = version_;
  return newer;
}

void FrameFeed::watch() {
  alignas(inotify_event) char buffer[4096];
  while (!stopping_) {
    pollfd ready{inotify_, POLLIN, 0};
    if (::poll(&ready, 1, 200) != 1) continue;
    const ssize_t length = ::read(inotify_, buffer, sizeof buffer);
    if (length <= 0) continue;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      const std::size_t step = sizeof(inotify_event) + event->len;
      if (at + static_cast<ssize_t>(step) > length) break;
      if (event->len > 0) readFrame(std::string(event->name, ::strnlen(event->name, event->len)));
      at += static_cast<ssize_t>(step);
    }
  }
}

void FrameFeed::readFrame(const std::string& fileName) {
  if (fileName.size() <= kFrameSuffix.size() ||
      fileName.compare(fileName.size() - kFrameSuffix.size(), kFrameSuffix.size(), kFrameSuffix) !=
          0)
    return;
  const std::string host = fileName.substr(0, fileName.size() - kFrameSuffix.size());
  if (findPanel(host) == nullptr) {  // only the page's own screens
    ++framesRefused_;
    return;
  }
  const auto bytes = readSmallFile(directory_ / fileName, frames::kMaxLiveFrameBytes);
  const auto frame = frames::decodeLiveFrame(bytes);
  if (!frame) {
    ++framesRefused_;
    return;
  }
  ++framesRead_;
  const std::uint64_t now = clockNanoseconds(CLOCK_MONOTONIC);
  const double age =
      now > frame->committedNanoseconds ? (now - frame->committedNanoseconds) / 1e6 : 0.0;
  char head[256];
  std::snprintf(head, sizeof head,
                "{\"host\":\"%s\",\"sequence\":%llu,\"width\":%u,\"height\":%u,"
                "\"commitAgeMs\":%.2f,\"sentUnixMs\":%.3f,\"jpeg\":\"",
                host.c_str(), static_cast<unsigned long long>(frame->sequence), frame->width,
                frame->height, age, clockNanoseconds(CLOCK_REALTIME) / 1e6);
  publish(host + "/frame", "frame", head + base64(frame->jpeg) + "\"}");
}

}  // namespace live
