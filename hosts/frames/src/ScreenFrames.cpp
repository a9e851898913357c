#include "HostFrames/ScreenFrames.h"

#include <fcntl.h>
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
#include <vector>

#include "HostFrames/LiveFrame.h"

namespace frames {
namespace {

constexpr double kLiveFramesPerSecond = 30;
constexpr int kJpegQuality = 82;
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
  // Live frames: main thread, but for the two atomics the server's thread touches.
  bool live = false;
  double liveScale = 1;
  CFRunLoopTimerRef timer = nullptr;
  std::uint64_t sequence = 0;
  // Two frames may be on their way, so that a frame that draws late does not cost the next one.
  std::atomic<int> framesInFlight{0};
  std::atomic<std::uint64_t> framesWritten{0};
  std::mutex drawMutex;  // guards draws, written on the server's thread
  Durations draws;
};

Screen* screen = nullptr;

// Snapshots the screen's tree and hands it to the server: all that the main thread does.
bool commit(double scale, render::RenderServer::Delivery deliver) {
  const std::uint64_t start = monotonicNanoseconds();
  const std::uint64_t startOnCpu = nanosecondsOf(CLOCK_THREAD_CPUTIME_ID);
  screen->root->layoutIfNeeded();
  const bool queued = screen->server->commit(render::snapshotLayerTree(screen->root->layer()),
                                             scale, std::move(deliver));
  screen->commits.add(monotonicNanoseconds() - start);
  screen->commitsOnCpu.add(nanosecondsOf(CLOCK_THREAD_CPUTIME_ID) - startOnCpu);
  return queued;
}

void noteDraw(std::uint64_t committed) {
  std::lock_guard lock(screen->drawMutex);
  screen->draws.add(monotonicNanoseconds() - committed);
}

// Writes `bytes` to a file beside `path`, then renames it over `path`: a reader sees a whole
// frame or the last one.
bool replaceFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = path + ".new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return done == bytes.size() && ::rename(temporary.c_str(), path.c_str()) == 0;
}

void commitLiveFrame(CFRunLoopTimerRef, void*) {
  constexpr int kMostInFlight = 2;
  if (!screen->live || screen->framesInFlight.load(std::memory_order_acquire) >= kMostInFlight)
    return;
  const std::string path = liveFramePath(screen->host);
  if (path.empty()) return;
  const std::uint64_t sequence = ++screen->sequence;
  const std::uint64_t committed = monotonicNanoseconds();
  screen->framesInFlight.fetch_add(1, std::memory_order_acq_rel);
  const bool queued =
      commit(screen->liveScale, [path, sequence, committed](const render::Image& picture) {
        LiveFrame frame;
        frame.width = static_cast<std::uint32_t>(picture.width);
        frame.height = static_cast<std::uint32_t>(picture.height);
        frame.sequence = sequence;
        frame.committedNanoseconds = committed;
        frame.jpeg = encodeJpeg(picture, kJpegQuality);
        frame.drawnNanoseconds = monotonicNanoseconds();
        if (!frame.jpeg.empty() && replaceFile(path, encodeLiveFrame(frame)))
          screen->framesWritten.fetch_add(1, std::memory_order_relaxed);
        noteDraw(committed);
        screen->framesInFlight.fetch_sub(1, std::memory_order_acq_rel);
      });
  if (!queued) screen->framesInFlight.fetch_sub(1, std::memory_order_acq_rel);
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
    screen->live = false;
    return "ok live-frames off";
  }
  if (word != "on") return "error live-frames needs on [SCALE] or off";
  const auto scale = scaleOf(scaleText, 1);
  if (!scale) return "error scale must be 0.25 to 4";
  if (liveFramePath(screen->host).empty()) return "error no run directory for frames";
  screen->liveScale = *scale;
  screen->live = true;
  if (screen->timer == nullptr) {
    const CFTimeInterval period = 1.0 / kLiveFramesPerSecond;
    CFRunLoopTimerContext context{};
    screen->timer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + period, period, 0, 0,
                                         &commitLiveFrame, &context);
    CFRunLoopAddTimer(CFRunLoopGetMain(), screen->timer, kCFRunLoopCommonModes);
  }
  return "ok live-frames on " + liveFramePath(screen->host);
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
                "draw_p50_us=%llu "
                "frames=%llu",
                static_cast<unsigned long long>(screen->commits.count()),
                static_cast<unsigned long long>(screen->commits.longest() / 1000),
                static_cast<unsigned long long>(screen->commits.median() / 1000),
                static_cast<unsigned long long>(screen->commitsOnCpu.longest() / 1000),
                static_cast<unsigned long long>(drawMedian / 1000),
                static_cast<unsigned long long>(screen->framesWritten.load()));
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
