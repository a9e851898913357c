#include "HostScreen/ScreenWatch.h"

#include <time.h>

#include <CoreFoundation/CFRunLoop.h>
#include <QuartzCore/CADisplayLink.h>
#include <QuartzCore/CATextLayer.h>
#include <QuartzCore/QuartzCore.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "HostScreen/PlotWatch.h"

namespace screen {
namespace {

constexpr unsigned kKeptFrames = 64;

struct Watch {
  UIView* root = nullptr;  // the host's screen, which lives as long as the host
  CFRunLoopObserverRef observer = nullptr;
  double firstRefresh = 0;             // the display's refresh number when the watch began
  double lastFrameRefresh = -1;        // the refresh that shows the last frame
  std::uint64_t arrangementsSeen = 0;  // the process's layer arrangements at the last look
  UIView* plot = nullptr;              // found then; any change to the tree since makes a new look
  std::uint64_t lastChange = 0;        // of the screen's layer, at the last refresh
  std::uint64_t frames = 0;
  std::uint64_t frameNanoseconds[kKeptFrames] = {};
};

Watch watch;

std::uint64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

// Milliseconds since `time`; 0 while it is still to come (a frame not yet shown).
double msSince(std::uint64_t time) {
  const std::uint64_t now = monotonicNanoseconds();
  return now > time ? static_cast<double>(now - time) / 1e6 : 0.0;
}

// FNV-1a over plain values, eight bytes a step. The shift after each product carries high
// bits down, so that no change is lost in the top bits.
class Hash {
 public:
  template <class T>
  void add(const T& value) {
    addBytes(&value, sizeof value);
  }
  void addBytes(const void* bytes, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= length; i += sizeof(std::uint64_t)) {
      std::uint64_t word;
      std::memcpy(&word, p + i, sizeof word);
      mix(word);
    }
    for (; i < length; ++i) mix(p[i]);
  }
  void addColor(CGColorRef color) {
    add(color != nullptr);
    if (color != nullptr) add(color->components);
  }
  std::uint64_t value() const { return value_; }

 private:
  void mix(std::uint64_t word) {
    value_ = (value_ ^ word) * 0x100000001b3ull;
    value_ ^= value_ >> 29;
  }

  std::uint64_t value_ = 0xcbf29ce484222325ull;
};

void addLayer(Hash& hash, CALayer* layer) {
  if (layer == nullptr || layer->isHidden()) {
    hash.add(0);
    return;
  }
  hash.add(layer->frame());
  hash.add(layer->bounds());
  hash.add(layer->opacity());
  hash.addColor(layer->backgroundColor());
  hash.add(static_cast<const void*>(layer->contents()));
  if (auto* shape = objc::cast<CAShapeLayer>(layer)) {
    hash.addColor(shape->fillColor());
    hash.addColor(shape->strokeColor());
    hash.add(shape->lineWidth());
    if (CGPathRef path = shape->path()) {
      const auto& points = path->points();
      hash.add(points.size());
      if (!points.empty()) hash.addBytes(points.data(), points.size() * sizeof points[0]);
    }
  }
  if (auto* gradient = objc::cast<CAGradientLayer>(layer)) {
    for (const CGColor& color : gradient->colors()) hash.add(color.components);
  }
  if (auto* text = objc::cast<CATextLayer>(layer)) {
    hash.addBytes(text->string().data(), text->string().size());
    hash.addColor(text->foregroundColor());
  }
  addLayer(hash, layer->mask());
  hash.add(layer->sublayers().size());
  for (const auto& sublayer : layer->sublayers()) addLayer(hash, sublayer.get());
}

// The display's refresh number at `time`: the next refresh shows what is committed by then.
double refreshAt(CFAbsoluteTime time) {
  return std::floor(time * CADisplayLink::kRefreshesPerSecond);
}

// The committed layers tell what changed, as a commit tells the render server: no walk of the
// tree, and none at all when nothing changed. The loop looks before it sleeps, after whatever
// woke it (a tick, a packet, a request) has run, so a refresh with nothing new wakes nothing;
// changes within one refresh are one frame, shown at the next.
void lookBeforeSleeping(CFRunLoopObserverRef, CFRunLoopActivity, void*) {
  if (watch.root == nullptr) return;
  // The plot is looked for again only when layers were put in, taken out, hidden or shown.
  const std::uint64_t arrangements = CALayer::arrangementsInProcess();
  if (arrangements != watch.arrangementsSeen) {
    watch.arrangementsSeen = arrangements;
    watch.plot = plotViewOn(watch.root);
  }
  UIView* plot = watch.plot;
  notePlotAtLook(plot, plot != nullptr ? plot->layer()->lastChange() : 0);
  const std::uint64_t now = watch.root->layer()->lastChange();
  if (now == watch.lastChange) return;
  watch.lastChange = now;
  const CFAbsoluteTime time = CFAbsoluteTimeGetCurrent();
  const double refresh = refreshAt(time);
  if (refresh == watch.lastFrameRefresh) return;
  watch.lastFrameRefresh = refresh;
  const double untilShown = CADisplayLink::nextRefreshAfter(time) - time;
  watch.frameNanoseconds[watch.frames % kKeptFrames] =
      monotonicNanoseconds() + static_cast<std::uint64_t>(untilShown * 1e9);
  ++watch.frames;
}

}  // namespace

std::uint64_t fingerprintOf(CALayer* layer) {
  Hash hash;
  addLayer(hash, layer);
  return hash.value();
}

void watchScreen(UIView* root) {
  watch.root = root;
  watch.arrangementsSeen = 0;
  watch.plot = nullptr;
  watch.lastChange = 0;
  if (watch.observer != nullptr) return;
  watch.firstRefresh = refreshAt(CFAbsoluteTimeGetCurrent());
  watch.observer = CFRunLoopObserverCreate(nullptr, kCFRunLoopBeforeWaiting, true, 0,
                                           &lookBeforeSleeping, nullptr);
  CFRunLoopAddObserver(CFRunLoopGetMain(), watch.observer, kCFRunLoopCommonModes);
}

UIView* watchedScreen() {
  return watch.root;
}

std::string screenFigures() {
  const std::uint64_t last =
      watch.frames == 0 ? 0 : watch.frameNanoseconds[(watch.frames - 1) % kKeptFrames];
  char text[160];
  std::snprintf(
      text, sizeof text, "refreshes=%llu frames=%llu last_frame_ms_ago=%.1f",
      static_cast<unsigned long long>(
          watch.observer == nullptr ? 0
                                    : refreshAt(CFAbsoluteTimeGetCurrent()) - watch.firstRefresh),
      static_cast<unsigned long long>(watch.frames), last == 0 ? -1.0 : msSince(last));
  return text;
}

std::uint64_t firstFrameAfter(std::uint64_t after) {
  std::uint64_t first = 0;
  const std::uint64_t kept = watch.frames < kKeptFrames ? watch.frames : kKeptFrames;
  for (std::uint64_t i = 0; i < kept; ++i) {
    const std::uint64_t at = watch.frameNanoseconds[(watch.frames - 1 - i) % kKeptFrames];
    if (at <= after) break;
    first = at;
  }
  return first;
}

}  // namespace screen
