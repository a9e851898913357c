#pragma once
// A lock screen as the benchmarks draw it (375 × 667 points): a gradient wallpaper, clock and
// track lines, a 512-pixel artwork in a 320-point square and the waveform plot's two stroked
// channels of 4,096 points.

#include <cmath>
#include <vector>

#include "UIKit/UIKit.h"

inline StrongRef<UIView> lockScreenLike() {
  auto screen = UIView::viewWithFrame(CGRectMake(0, 0, 375, 667));
  auto wallpaper = CAGradientLayer::layer();
  wallpaper->setFrame(CGRectMake(0, 0, 375, 667));
  const CGColor top = CGColorMakeRGBA(0.1, 0.12, 0.22, 1), bottom = CGColorMakeRGBA(0, 0, 0, 1);
  wallpaper->setColors({&top, &bottom});
  screen->layer()->addSublayer(wallpaper.get());
  for (double y : {52.0, 132.0, 508.0, 538.0}) {
    auto line = CATextLayer::layer();
    line->setFrame(CGRectMake(16, y, 343, 28));
    line->setString("Tuesday, 8 December");
    line->setAlignmentMode(kCAAlignmentCenter);
    screen->layer()->addSublayer(line.get());
  }
  auto artwork = UIView::viewWithFrame(CGRectMake(27, 170, 320, 320));
  std::vector<std::uint8_t> rgba(512 * 512 * 4, 200);
  artwork->layer()->setContents(
      cg::ImageRef::adopt(CGImageCreateWithRGBA(512, 512, rgba.data(), 512 * 4)).get());
  screen->addSubview(artwork);
  for (int c = 0; c < 2; ++c) {
    auto line = CAShapeLayer::layer();
    line->setFrame(CGRectMake(0, 0, 320, 320));
    line->setFillColor(nullptr);
    line->setStrokeColor(UIColor::greenColor()->CGColor());
    std::vector<CGPoint> points(4096);
    for (std::size_t i = 0; i < points.size(); ++i)
      points[i] = {static_cast<CGFloat>(i), 0.8 * std::sin(i * 0.031 + c)};
    const CGAffineTransform t = CGAffineTransformScale(
        CGAffineTransformMakeTranslation(0, 320 * (c == 0 ? 0.75 : 0.25)), 320.0 / 4096, -80);
    cg::PathRef path = cg::PathRef::mutablePath();
    CGPathAddLines(path.get(), &t, points.data(), points.size());
    line->setPath(path.get());
    artwork->layer()->addSublayer(line.get());
  }
  return screen;
}
