#include "HostScreen/PlotWatch.h"

#include <QuartzCore/CADisplayLink.h>
#include <dispatch/dispatch.h>
#include <objc/runtime.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace screen {
namespace {

constexpr const char* kPlotBaseClass = "WavePlot";
constexpr unsigned kKeptDurations = 1024;
constexpr int kDeepestView = 8;

struct Plots {
  bool observing = false;
  UIView* shown = nullptr;  // compared only: the screen holds the view
  std::uint64_t lastChange = 0;
  unsigned long ticksSeen = 0;  // the display's count at the last refresh
  unsigned long ticksAtLastWork = 0;
  std::uint64_t ticks = 0;
  std::uint64_t drawn = 0;
  std::uint64_t timed = 0;
  std::uint32_t drawNanoseconds[kKeptDurations] = {};
};

Plots plots;

bool isPlotClass(Class cls) {
  for (; cls != nullptr; cls = class_getSuperclass(cls))
    if (std::string_view(class_getName(cls)) == kPlotBaseClass) return true;
  return false;
}

// A plot under a hidden view (a blanked screen) is still looked at: it goes on drawing.
UIView* frontmostPlotIn(UIView* view, int depth) {
  if (view == nullptr || depth > kDeepestView) return nullptr;
  if (isPlotClass(object_getClass(view))) return view->isHidden() ? nullptr : view;
  const auto& subviews = view->subviews();
  for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
    if (UIView* plot = frontmostPlotIn(it->get(), depth + 1)) return plot;
  return nullptr;
}

// The main-queue task that runs first after a tick is that tick's drawing task.
void afterMainQueueWork(std::uint64_t start, std::uint64_t end) {
  const unsigned long ticks = CADisplayLink::ticksSentInProcess();
  if (ticks == plots.ticksAtLastWork) return;
  plots.ticksAtLastWork = ticks;
  if (plots.shown == nullptr) return;
  plots.drawNanoseconds[plots.timed++ % kKeptDurations] =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(end - start, UINT32_MAX));
}

double percentileMicroseconds(double fraction) {
  const std::size_t kept =
      static_cast<std::size_t>(std::min<std::uint64_t>(plots.timed, kKeptDurations));
  if (kept == 0) return 0;
  std::vector<std::uint32_t> values(plots.drawNanoseconds, plots.drawNanoseconds + kept);
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(kept - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
  return values[index] / 1000.0;
}

}  // namespace

UIView* plotViewOn(UIView* root) {
  return frontmostPlotIn(root, 0);
}

void notePlotAtLook(UIView* plot, std::uint64_t lastChange) {
  if (!plots.observing) {
    dispatch_main_queue_set_observer(&afterMainQueueWork);
    plots.observing = true;
  }
  const unsigned long ticks = CADisplayLink::ticksSentInProcess();
  const unsigned long newTicks = ticks - plots.ticksSeen;
  plots.ticksSeen = ticks;
  if (plot == nullptr || plot != plots.shown) {
    // A plot came or went: its first picture is no drawing of a tick.
    plots.shown = plot;
    plots.lastChange = lastChange;
    return;
  }
  plots.ticks += newTicks;
  if (lastChange == plots.lastChange) return;
  plots.lastChange = lastChange;
  // A change with no tick left undrawn (a recolour, new settings) is no tick's drawing.
  if (plots.drawn < plots.ticks) ++plots.drawn;
}

std::string plotFigures(UIView* root) {
  UIView* plot = plotViewOn(root);
  char text[256];
  std::snprintf(
      text, sizeof text,
      "plot=%s showing=%d ticks=%llu drawn=%llu dropped=%llu draw_p50_us=%.1f "
      "draw_p99_us=%.1f",
      plot != nullptr ? object_getClassName(plot) : "", plot != nullptr ? 1 : 0,
      static_cast<unsigned long long>(plots.ticks), static_cast<unsigned long long>(plots.drawn),
      static_cast<unsigned long long>(plots.ticks > plots.drawn ? plots.ticks - plots.drawn : 0),
      percentileMicroseconds(0.5), percentileMicroseconds(0.99));
  return text;
}

}  // namespace screen
