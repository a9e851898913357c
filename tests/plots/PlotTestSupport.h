#pragma once
// Helpers for the plot tests: history records with chosen samples, settings dictionaries with
// the settings manager's defaults, plots set up as a host sets them up, reading paths back, and
// golden-picture comparison (VELLAMOR_UPDATE_GOLDEN=1 rewrites the pictures).

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Foundation/Foundation.h"
#include "HistorySource.h"
#include "QuartzCore/QuartzCore.h"
#include "Renderer/Image.h"
#include "UIKit/UIKit.h"
#include "Vellamor2/WavePlot.h"
#include "Vellamor2/WavePlotRecord.h"

namespace plot_testing {

// A zeroed record with its counts set (the counts are not checked: tests use bad ones too).
std::unique_ptr<serverDataStruct> makeRecord(int channels, int frames);

// Sets sample `index` of `channel` to value(index) for every index of the 20 packets.
void fillChannel(serverDataStruct& record, int channel, const std::function<float(int)>& value);

// Sample `i` of the newest `packets` packets of `channel` (i counts from the oldest of them).
float newestSample(const serverDataStruct& record, int channel, int packets, int i);

// Deterministic values in −amplitude … amplitude.
std::function<float(int)> noise(float amplitude, std::uint32_t seed = 7);

using SettingValue = std::pair<const char*, double>;

// The settings manager's 43 defaults with `overrides` (dictionary keys, stored as numbers of the
// key's default type; `enabledCF` follows "colourMethod" unless overridden itself).
StrongRef<NSMutableDictionary> settings(std::initializer_list<SettingValue> overrides = {});

// A plot of class T made and set up as a host does, over nothing.
template <class T>
StrongRef<T> makePlot(CGRect frame) {
  auto plot = UIView::viewWithFrame<T>(frame);
  plot->setup();
  return plot;
}

// The points of subpath 0 of the layer's path (empty without a path) and whether it is closed.
std::vector<CGPoint> pathPoints(const CAShapeLayer* layer);
bool pathClosed(const CAShapeLayer* layer);

// Colour components and alpha within 1e-6.
::testing::AssertionResult sameColor(const UIColor* actual, CGFloat red, CGFloat green,
                                     CGFloat blue, CGFloat alpha);
::testing::AssertionResult sameColor(CGColorRef actual, CGFloat red, CGFloat green, CGFloat blue,
                                     CGFloat alpha);

// Compares with tests/golden/<name>.png; a failure writes <name>.actual.png and <name>.diff.png
// beside it.
::testing::AssertionResult matchesGolden(const render::Image& image, const std::string& name);

}  // namespace plot_testing
