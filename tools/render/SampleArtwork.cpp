#include "SampleArtwork.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace preview {
namespace {

// A closed polygon approximating the circle.
cg::PathRef circlePath(CGPoint centre, CGFloat radius) {
  std::vector<CGPoint> points;
  constexpr int kSegments = 96;
  for (int i = 0; i < kSegments; ++i) {
    const double angle = 2 * std::numbers::pi * i / kSegments;
    points.push_back({centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
  }
  auto path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, points.data(), points.size());
  CGPathCloseSubpath(path.get());
  return path;
}

// Rolling hills across the width, closed along the bottom edge.
cg::PathRef hillsPath(CGSize size, double baseline, double height, double waves, double phase) {
  std::vector<CGPoint> points;
  constexpr int kSteps = 120;
  for (int i = 0; i <= kSteps; ++i) {
    const double x = size.width * i / kSteps;
    const double y =
        size.height *
        (baseline -
         height * (0.5 + 0.5 * std::sin(waves * 2 * std::numbers::pi * i / kSteps + phase)));
    points.push_back({x, y});
  }
  points.push_back({size.width, size.height});
  points.push_back({0, size.height});
  auto path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, points.data(), points.size());
  CGPathCloseSubpath(path.get());
  return path;
}

StrongRef<CAShapeLayer> filledShape(CGSize size, const cg::PathRef& path, UIColor* color) {
  auto shape = CAShapeLayer::layer();
  shape->setFrame(CGRectMake(0, 0, size.width, size.height));
  shape->setPath(path.get());
  shape->setFillColor(CGColorOf(color));
  return shape;
}

}  // namespace

std::optional<Artwork> artworkNamed(std::string_view name) {
  if (name == "cover") return Artwork::cover;
  if (name == "plain") return Artwork::plain;
  if (name == "none") return Artwork::none;
  return std::nullopt;
}

StrongRef<UIView> makeArtworkView(Artwork artwork, CGSize size) {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, size.width, size.height));
  switch (artwork) {
    case Artwork::none:
      break;
    case Artwork::plain:
      view->setBackgroundColor(UIColor::colorWithRed(0.45, 0.47, 0.5, 1.0));
      break;
    case Artwork::cover: {
      view->setBackgroundColor(UIColor::colorWithRed(0.12, 0.1, 0.25, 1.0));
      auto sky = CAGradientLayer::layer();
      sky->setFrame(CGRectMake(0, 0, size.width, size.height));
      const auto top = UIColor::colorWithRed(0.16, 0.12, 0.42, 1.0);
      const auto middle = UIColor::colorWithRed(0.78, 0.3, 0.45, 1.0);
      const auto low = UIColor::colorWithRed(0.98, 0.62, 0.3, 1.0);
      sky->setColors({top->CGColor(), middle->CGColor(), low->CGColor()});
      sky->setLocations({0.0, 0.55, 0.8});
      view->layer()->addSublayer(sky);
      const auto sun = UIColor::colorWithRed(1.0, 0.88, 0.55, 0.95);
      view->layer()->addSublayer(filledShape(
          size, circlePath({size.width * 0.62, size.height * 0.5}, size.width * 0.17), sun));
      const auto farHills = UIColor::colorWithRed(0.35, 0.16, 0.36, 1.0);
      const auto nearHills = UIColor::colorWithRed(0.13, 0.07, 0.2, 1.0);
      view->layer()->addSublayer(
          filledShape(size, hillsPath(size, 0.72, 0.12, 1.5, 0.3), farHills));
      view->layer()->addSublayer(
          filledShape(size, hillsPath(size, 0.86, 0.1, 2.2, 2.0), nearHills));
      break;
    }
  }
  return view;
}

}  // namespace preview
