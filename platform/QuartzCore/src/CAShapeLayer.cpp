#include "QuartzCore/CAShapeLayer.h"

#include <cstdint>
#include <cstring>

namespace {

// FNV-1a over a path's subpaths and points, eight bytes a step: the layer keeps the print of the
// path it holds, so that a new path is told from the old one without reading the old one's
// (by then cold) memory. The points' x and y go to two prints mixed at the end, so that the
// multiplications of one do not wait for the other's. A step is a bijection of the print for
// any word, so one changed word always changes it; the points' steps leave out the shift that
// folds high bits down, which the few words of the subpaths and the end keep.
std::uint64_t printOf(CGPathRef path) {
  if (path == nullptr) return 0;
  constexpr std::uint64_t kPrime = 0x100000001b3ull;
  std::uint64_t print = 0xcbf29ce484222325ull, printY = print;
  const auto mix = [](std::uint64_t& into, std::uint64_t word) {
    into = (into ^ word) * kPrime;
    into ^= into >> 29;
  };
  for (std::size_t i = 0; i < path->subpathCount(); ++i) {
    const CGPathSubpath subpath = path->subpath(i);
    mix(print, subpath.count << 1 | (subpath.closed ? 1 : 0));
  }
  for (const CGPoint& point : path->points()) {
    std::uint64_t x, y;
    std::memcpy(&x, &point.x, sizeof x);
    std::memcpy(&y, &point.y, sizeof y);
    print = (print ^ x) * kPrime;
    printY = (printY ^ y) * kPrime;
  }
  mix(print, printY);
  return print;
}

}  // namespace

void CAShapeLayer::setPath(CGPathRef path) {
  // The same path object again may have been built on since: taken as changed. A new path with
  // the old one's print is held too, but shows nothing new.
  if (path == nullptr && !path_) return;
  // The path held since the last frame is cold by now: its release is fetched while the new
  // path's print is taken.
  if (path_) __builtin_prefetch(path_.get(), 1);
  const std::uint64_t print = printOf(path);
  const bool same = path != path_.get() && print == pathPrint_;
  path_ = cg::PathRef(path);
  pathPrint_ = print;
  if (!same) noteChange();
}

void CAShapeLayer::setFillColor(CGColorRef color) {
  setDrawnColor(hasFill_, fill_, color);
}

void CAShapeLayer::setStrokeColor(CGColorRef color) {
  setDrawnColor(hasStroke_, stroke_, color);
}

namespace {
bool named(const char* value, const char* name) {
  return value != nullptr && std::strcmp(value, name) == 0;
}
}  // namespace

CAShapeLayerLineJoin CAShapeLayer::lineJoin() const {
  switch (lineJoin_) {
    case LineJoin::round:
      return kCALineJoinRound;
    case LineJoin::bevel:
      return kCALineJoinBevel;
    case LineJoin::miter:
      break;
  }
  return kCALineJoinMiter;
}

void CAShapeLayer::setLineJoin(CAShapeLayerLineJoin join) {
  if (named(join, kCALineJoinMiter)) setDrawn(lineJoin_, LineJoin::miter);
  if (named(join, kCALineJoinRound)) setDrawn(lineJoin_, LineJoin::round);
  if (named(join, kCALineJoinBevel)) setDrawn(lineJoin_, LineJoin::bevel);
}

CAShapeLayerLineCap CAShapeLayer::lineCap() const {
  switch (lineCap_) {
    case LineCap::round:
      return kCALineCapRound;
    case LineCap::square:
      return kCALineCapSquare;
    case LineCap::butt:
      break;
  }
  return kCALineCapButt;
}

void CAShapeLayer::setLineCap(CAShapeLayerLineCap cap) {
  if (named(cap, kCALineCapButt)) setDrawn(lineCap_, LineCap::butt);
  if (named(cap, kCALineCapRound)) setDrawn(lineCap_, LineCap::round);
  if (named(cap, kCALineCapSquare)) setDrawn(lineCap_, LineCap::square);
}

CAShapeLayerFillRule CAShapeLayer::fillRule() const {
  return fillRule_ == FillRule::evenOdd ? kCAFillRuleEvenOdd : kCAFillRuleNonZero;
}

void CAShapeLayer::setFillRule(CAShapeLayerFillRule rule) {
  if (named(rule, kCAFillRuleNonZero)) setDrawn(fillRule_, FillRule::nonZero);
  if (named(rule, kCAFillRuleEvenOdd)) setDrawn(fillRule_, FillRule::evenOdd);
}
