#include "HostFrames/ScreenFrames.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <CoreFoundation/CFRunLoop.h>
#include <HostControl/ControlService.h>
#include <Renderer/LayerSnapshot.h>
#include <Renderer/RenderServer.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "HostFrames/JpegEncoder.h"
#include "HostFrames/LiveFrame.h"

namespace frames {
namespace {

// Live frames: the screen is looked at every display refresh while a page asks for frames,
// and drawn only when it changed, at most this often, with at most two frames on their way (so
// that a frame drawn late on a busy machine does not cost the next one, and no queue of old
// ones builds up).
constexpr double kMostLiveFramesPerSecond = 30;
constexpr int kMostFramesInFlight = 2;
constexpr double kLookPeriod = 1.0 / 60;  // the display's refresh
// A request for frames holds for this long; the page's server renews it while a page is open.
constexpr std::uint64_t kLiveLeaseNanoseconds = 3'000'000'000;
constexpr int kJpegQuality = 80;
constexpr std::size_t kKeptDurations = 1024;

std::uint64_t nanosecondsOf(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint64_t monotonicNanoseconds() {
  return nanosecondsOf(CLOCK_MONOTONIC);
}

// The last kKeptDurations durations (ns), for a median.
class Durations {
 public:
  void add(std::uint64_t nanoseconds) {
    kept_[count_ % kKeptDurations] = nanoseconds;
    ++count_;
    longest_ = std::max(longest_, nanoseconds);
  }
  std::uint64_t count() const { return count_; }
  std::uint64_t longest() const { return longest_; }
  std::uint64_t median() const {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count_, kKeptDurations));
    if (n == 0) return 0;
    std::vector<std::uint64_t> values(kept_, kept_ + n);
    std::nth_element(values.begin(), values.begin() + static_cast<long>(n / 2), values.end());
    return values[n / 2];
  }

 private:
  std::uint64_t kept_[kKeptDurations] = {};
  std::uint64_t count_ = 0;
  std::uint64_t longest_ = 0;
};

struct Screen {
  std::string host;
  UIView* root = nullptr;  // lives as long as the host
  std::unique_ptr<render::RenderServer> server;
  Durations commits;       // main thread, wall time
  Durations commitsOnCpu;  // ... and the time it spent working (without being preempted)
  // Live frames: main thread, but for what the server's thread touches (atomics, the encoder).
  std::uint64_t liveUntil = 0;  // CLOCK_MONOTONIC; 0: no frames asked for
  double liveScale = 1;
  std::string livePath;
  CFRunLoopTimerRef timer = nullptr;
  std::uint64_t sequence = 0;
  std::uint64_t lastLiveCommit = 0;
  std::shared_ptr<const render::LayerSnapshot> lastLiveTree;  // what the last frame showed
  std::uint64_t unchanged = 0;                                // looks that found nothing new
  std::atomic<int> framesInFlight{0};
  std::atomic<std::uint64_t> framesWritten{0};
  JpegEncoder encoder{kJpegQuality};  // the server's thread only
  std::mutex drawMutex;               // guards draws, written on the server's thread
  Durations draws;
};

Screen* screen = nullptr;

// What frame production holds the main thread for, from its making to its end (wall and CPU).
class MainThreadHold {
 public:
  MainThreadHold()
      : start_(monotonicNanoseconds()), startOnCpu_(nanosecondsOf(CLOCK_THREAD_CPUTIME_ID)) {}
  ~MainThreadHold() {
    screen->commits.add(monotonicNanoseconds() - start_);
    screen->commitsOnCpu.add(nanosecondsOf(CLOCK_THREAD_CPUTIME_ID) - startOnCpu_);
  }
  MainThreadHold(const MainThreadHold&) = delete;
  MainThreadHold& operator=(const MainThreadHold&) = delete;
  std::uint64_t start() const { return start_; }

 private:
  std::uint64_t start_, startOnCpu_;
};

// The screen's tree as it stands.
std::shared_ptr<const render::LayerSnapshot> snapshotScreen() {
  screen->root->layoutIfNeeded();
  return render::snapshotLayerTree(screen->root->layer());
}

// Snapshots the screen's tree and hands it to the server: all that the main thread does.
bool commit(double scale, render::RenderServer::Delivery deliver) {
  MainThreadHold hold;
  return screen->server->commit(snapshotScreen(), scale, std::move(deliver));
}

void noteDraw(std::uint64_t committed) {
  std::lock_guard lock(screen->drawMutex);
  screen->draws.add(monotonicNanoseconds() - committed);
}

// Writes the header and JPEG to a file beside `path`, then renames it over `path`: a reader
// sees a whole frame or the last one.
bool replaceFile(const std::string& path, std::span<const std::uint8_t> header,
                 std::span<const std::uint8_t> jpeg) {
  const std::string temporary = path + ".new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  iovec parts[2] = {{const_cast<std::uint8_t*>(header.data()), header.size()},
                    {const_cast<std::uint8_t*>(jpeg.data()), jpeg.size()}};
  std::size_t left = header.size() + jpeg.size();
  int first = 0;
  while (left > 0 && first < 2) {
    const ssize_t n = ::writev(fd, parts + first, 2 - first);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    left -= static_cast<std::size_t>(n);
    for (std::size_t done = static_cast<std::size_t>(n); done > 0 && first < 2;) {
      const std::size_t step = std::min(done, parts[first].iov_len);
      parts[first].iov_base = static_cast<std::uint8_t*>(parts[first].iov_base) + step;
      parts[first].iov_len -= step;
      done -= step;
      if (parts[first].iov_len == 0) ++first;
    }
  }
  ::close(fd);
  return left == 0 && ::rename(temporary.c_str(), path.c_str()) == 0;
}

// On the server's thread: the picture as a frame file.
void deliverLiveFrame(const render::Image& picture, const std::string& path, std::uint64_t sequence,
                      std::uint64_t committed) {
  const auto jpeg = screen->encoder.encode(picture);
  LiveFrame frame;
  frame.width = static_cast<std::uint32_t>(picture.width);
  frame.height = static_cast<std::uint32_t>(picture.height);
  frame.sequence = sequence;
  frame.committedNanoseconds = committed;
  frame.drawnNanoseconds = monotonicNanoseconds();
  if (!jpeg.empty() && replaceFile(path, liveFrameHeader(frame), jpeg))
    screen->framesWritten.fetch_add(1, std::memory_order_relaxed);
  noteDraw(committed);
  screen->framesInFlight.fetch_sub(1, std::memory_order_acq_rel);
}

void stopLooking() {
  CFRunLoopTimerSetNextFireDate(screen->timer, CFAbsoluteTimeGetCurrent() + 1e9);
}

// At every display refresh while frames are asked for: the screen, when it changed and the
// frames on their way leave room.
void lookForLiveFrame(CFRunLoopTimerRef, void*) {
  const std::uint64_t now = monotonicNanoseconds();
  if (now >= screen->liveUntil) {
    screen->liveUntil = 0;
    screen->lastLiveTree.reset();
    stopLooking();
    return;
  }
  constexpr auto kShortestGap = static_cast<std::uint64_t>(
      1e9 * (1 / kMostLiveFramesPerSecond - kLookPeriod / 2));  // a late refresh still counts
  if (screen->framesInFlight.load(std::memory_order_acquire) >= kMostFramesInFlight ||
      now - screen->lastLiveCommit < kShortestGap)
    return;
  MainThreadHold hold;
  auto tree = snapshotScreen();
  if (screen->lastLiveTree && render::drawsTheSame(*tree, *screen->lastLiveTree)) {
    ++screen->unchanged;
    return;
  }
  const std::uint64_t sequence = ++screen->sequence;
  screen->framesInFlight.fetch_add(1, std::memory_order_acq_rel);
  const bool queued = screen->server->commit(
      tree, screen->liveScale,
      [path = screen->livePath, sequence, now](const render::Image& picture) {
        deliverLiveFrame(picture, path, sequence, now);
      });
  if (!queued) {
    screen->framesInFlight.fetch_sub(1, std::memory_order_acq_rel);
    return;
  }
  screen->lastLiveCommit = now;
  screen->lastLiveTree = std::move(tree);
}

// "SCALE" from 0.25 to 4, or `fallback` when empty.
std::optional<double> scaleOf(const std::string& text, double fallback) {
  if (text.empty()) return fallback;
  char* end = nullptr;
  const double scale = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !(scale >= 0.25 && scale <= 4)) return std::nullopt;
  return scale;
}

std::string capture(const std::string& argument) {
  // Named copies: a lambda may not capture a structured binding (C++20 as clang 14 has it).
  const auto words = control::splitFirstWord(argument);
  const std::string file = words.first, scaleText = words.second;
  if (file.empty()) return "error capture needs a file";
  const auto scale = scaleOf(scaleText, 2);
  if (!scale) return "error scale must be 0.25 to 4";
  auto reply = std::make_shared<control::LaterReply>(control::replyLater());
  const std::uint64_t start = monotonicNanoseconds();
  const bool queued = commit(*scale, [reply, file, start](const render::Image& picture) {
    std::string reason;
    if (!render::writePng(picture, file, &reason)) {
      reply->send("error " + reason);
      return;
    }
    noteDraw(start);
    char text[96];
    std::snprintf(text, sizeof text, "ok captured_us=%llu",
                  static_cast<unsigned long long>((monotonicNanoseconds() - start) / 1000));
    reply->send(text);
  });
  if (!queued) reply->send("error the render server is busy; capture again");
  return {};
}

std::string liveFrames(const std::string& argument) {
  auto [word, scaleText] = control::splitFirstWord(argument);
  if (word == "off" && scaleText.empty()) {
    screen->liveUntil = 0;
    return "ok live-frames off";
  }
  if (word != "on") return "error live-frames needs on [SCALE] or off";
  const auto scale = scaleOf(scaleText, 1);
  if (!scale) return "error scale must be 0.25 to 4";
  const std::string path = liveFramePath(screen->host);
  if (path.empty()) return "error no run directory for frames";
  const bool looking = screen->liveUntil != 0;
  if (*scale != screen->liveScale) screen->lastLiveTree.reset();  // the next frame at the new scale
  screen->liveScale = *scale;
  screen->livePath = path;
  screen->liveUntil = monotonicNanoseconds() + kLiveLeaseNanoseconds;
  if (screen->timer == nullptr) {
    CFRunLoopTimerContext context{};
    screen->timer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + kLookPeriod,
                                         kLookPeriod, 0, 0, &lookForLiveFrame, &context);
    CFRunLoopAddTimer(CFRunLoopGetMain(), screen->timer, kCFRunLoopCommonModes);
  } else if (!looking) {
    CFRunLoopTimerSetNextFireDate(screen->timer, CFAbsoluteTimeGetCurrent() + kLookPeriod);
  }
  return "ok live-frames on " + path;
}

std::string figures() {
  std::uint64_t drawMedian = 0;
  {
    std::lock_guard lock(screen->drawMutex);
    drawMedian = screen->draws.median();
  }
  char text[256];
  std::snprintf(text, sizeof text,
                "ok commits=%llu commit_max_us=%llu commit_p50_us=%llu commit_cpu_max_us=%llu "
                "draw_p50_us=%llu frames=%llu unchanged=%llu",
                static_cast<unsigned long long>(screen->commits.count()),
                static_cast<unsigned long long>(screen->commits.longest() / 1000),
                static_cast<unsigned long long>(screen->commits.median() / 1000),
                static_cast<unsigned long long>(screen->commitsOnCpu.longest() / 1000),
                static_cast<unsigned long long>(drawMedian / 1000),
                static_cast<unsigned long long>(screen->framesWritten.load()),
                static_cast<unsigned long long>(screen->unchanged));
  return text;
}

}  // namespace

void startScreenFrames(const std::string& host, UIView* root) {
  if (screen != nullptr) return;
  screen = new Screen;  // lives as long as the host: its server's thread may still deliver
  screen->host = host;
  screen->root = root;
  screen->server = std::make_unique<render::RenderServer>();
}

std::optional<std::string> answerFrameRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (command != "capture" && command != "live-frames" && command != "frame-figures")
    return std::nullopt;
  if (screen == nullptr) return "error this host has no screen";
  if (command == "capture") return capture(request.argument);
  if (command == "live-frames") return liveFrames(request.argument);
  return figures();
}

}  // namespace frames
