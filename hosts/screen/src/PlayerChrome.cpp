#include "HostScreen/PlayerChrome.h"

#include "HostScreen/AppScreen.h"

#include <algorithm>
#include <cmath>

namespace screen {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kArcSteps = 8;  // per quarter circle
constexpr CGFloat kBarHeight = 4;
constexpr CGFloat kKnobRadius = 6;
constexpr CGFloat kTimeHeight = 16;

void addArc(CGMutablePathRef path, CGPoint centre, CGFloat radius, double from, double to,
            bool first) {
  const int steps =
      std::max(2, static_cast<int>(std::ceil(std::abs(to - from) / (kPi / 2))) * kArcSteps);
  for (int i = 0; i <= steps; ++i) {
    const double angle = from + (to - from) * i / steps;
    const CGFloat x = centre.x + radius * std::cos(angle), y = centre.y + radius * std::sin(angle);
    if (first && i == 0)
      CGPathMoveToPoint(path, nullptr, x, y);
    else
      CGPathAddLineToPoint(path, nullptr, x, y);
  }
}

void addPolygon(CGMutablePathRef path, std::initializer_list<CGPoint> points) {
  bool first = true;
  for (CGPoint p : points) {
    if (first)
      CGPathMoveToPoint(path, nullptr, p.x, p.y);
    else
      CGPathAddLineToPoint(path, nullptr, p.x, p.y);
    first = false;
  }
  CGPathCloseSubpath(path);
}

// A straight stroke of `width` from a to b, as a filled quadrilateral.
void addStroke(CGMutablePathRef path, CGPoint a, CGPoint b, CGFloat width) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  if (length == 0) return;
  const CGFloat nx = static_cast<CGFloat>(-dy / length * width / 2);
  const CGFloat ny = static_cast<CGFloat>(dx / length * width / 2);
  addPolygon(path, {CGPointMake(a.x + nx, a.y + ny), CGPointMake(b.x + nx, b.y + ny),
                    CGPointMake(b.x - nx, b.y - ny), CGPointMake(a.x - nx, a.y - ny)});
}

// A point of `box` given in unit coordinates.
CGPoint at(CGRect box, double u, double v) {
  return CGPointMake(box.origin.x + box.size.width * u, box.origin.y + box.size.height * v);
}

CGColor clear() {
  return CGColorMakeRGBA(0, 0, 0, 0);
}

}  // namespace

StrongRef<CATextLayer> addTextLine(CALayer* parent, CGRect frame, CGFloat size, bool bold,
                                   CGColor colour, CATextLayerAlignmentMode alignment) {
  auto line = CATextLayer::layer();
  line->setFrame(frame);
  line->setFontSize(size);
  line->setBold(bold);
  line->setForegroundColor(&colour);
  line->setAlignmentMode(alignment);
  parent->addSublayer(line.get());
  return line;
}

StrongRef<CAShapeLayer> addFilledShape(CALayer* parent, const cg::PathRef& path, CGColor colour) {
  auto shape = CAShapeLayer::layer();
  shape->setPath(path.get());
  shape->setFillColor(&colour);
  const CGColor none = clear();
  shape->setStrokeColor(&none);
  parent->addSublayer(shape.get());
  return shape;
}

cg::PathRef roundedRectPath(CGRect rect, CGFloat radius) {
  radius = std::min({radius, rect.size.width / 2, rect.size.height / 2});
  const CGFloat left = rect.origin.x, top = rect.origin.y;
  const CGFloat right = left + rect.size.width, bottom = top + rect.size.height;
  auto path = cg::PathRef::mutablePath();
  addArc(path.get(), CGPointMake(right - radius, top + radius), radius, -kPi / 2, 0, true);
  addArc(path.get(), CGPointMake(right - radius, bottom - radius), radius, 0, kPi / 2, false);
  addArc(path.get(), CGPointMake(left + radius, bottom - radius), radius, kPi / 2, kPi, false);
  addArc(path.get(), CGPointMake(left + radius, top + radius), radius, kPi, 3 * kPi / 2, false);
  CGPathCloseSubpath(path.get());
  return path;
}

cg::PathRef circlePath(CGPoint centre, CGFloat radius) {
  auto path = cg::PathRef::mutablePath();
  addArc(path.get(), centre, radius, 0, 2 * kPi, true);
  CGPathCloseSubpath(path.get());
  return path;
}

cg::PathRef glyphPath(Glyph glyph, CGRect box) {
  auto path = cg::PathRef::mutablePath();
  CGMutablePathRef p = path.get();
  const CGFloat line = std::max<CGFloat>(1.5, box.size.width / 12);
  switch (glyph) {
    case Glyph::play:
      addPolygon(p, {at(box, 0.22, 0.1), at(box, 0.9, 0.5), at(box, 0.22, 0.9)});
      break;
    case Glyph::pause:
      addPolygon(p, {at(box, 0.2, 0.1), at(box, 0.4, 0.1), at(box, 0.4, 0.9), at(box, 0.2, 0.9)});
      addPolygon(p, {at(box, 0.6, 0.1), at(box, 0.8, 0.1), at(box, 0.8, 0.9), at(box, 0.6, 0.9)});
      break;
    case Glyph::previous:
      addPolygon(p, {at(box, 0.1, 0.2), at(box, 0.2, 0.2), at(box, 0.2, 0.8), at(box, 0.1, 0.8)});
      addPolygon(p, {at(box, 0.55, 0.2), at(box, 0.55, 0.8), at(box, 0.2, 0.5)});
      addPolygon(p, {at(box, 0.9, 0.2), at(box, 0.9, 0.8), at(box, 0.55, 0.5)});
      break;
    case Glyph::next:
      addPolygon(p, {at(box, 0.1, 0.2), at(box, 0.45, 0.5), at(box, 0.1, 0.8)});
      addPolygon(p, {at(box, 0.45, 0.2), at(box, 0.8, 0.5), at(box, 0.45, 0.8)});
      addPolygon(p, {at(box, 0.8, 0.2), at(box, 0.9, 0.2), at(box, 0.9, 0.8), at(box, 0.8, 0.8)});
      break;
    case Glyph::shuffle:
      addStroke(p, at(box, 0.1, 0.3), at(box, 0.75, 0.7), line);
      addStroke(p, at(box, 0.1, 0.7), at(box, 0.75, 0.3), line);
      addPolygon(p, {at(box, 0.7, 0.15), at(box, 0.92, 0.3), at(box, 0.7, 0.45)});
      addPolygon(p, {at(box, 0.7, 0.55), at(box, 0.92, 0.7), at(box, 0.7, 0.85)});
      break;
    case Glyph::repeat:
      addStroke(p, at(box, 0.2, 0.3), at(box, 0.78, 0.3), line);
      addStroke(p, at(box, 0.8, 0.7), at(box, 0.22, 0.7), line);
      addStroke(p, at(box, 0.12, 0.7), at(box, 0.12, 0.4), line);
      addStroke(p, at(box, 0.88, 0.3), at(box, 0.88, 0.6), line);
      addPolygon(p, {at(box, 0.7, 0.15), at(box, 0.88, 0.3), at(box, 0.7, 0.45)});
      addPolygon(p, {at(box, 0.3, 0.55), at(box, 0.12, 0.7), at(box, 0.3, 0.85)});
      break;
    case Glyph::speakerSoft:
    case Glyph::speakerLoud:
      addPolygon(p, {at(box, 0.1, 0.38), at(box, 0.3, 0.38), at(box, 0.55, 0.15),
                     at(box, 0.55, 0.85), at(box, 0.3, 0.62), at(box, 0.1, 0.62)});
      addStroke(p, at(box, 0.68, 0.38), at(box, 0.68, 0.62), line);
      if (glyph == Glyph::speakerLoud) addStroke(p, at(box, 0.85, 0.25), at(box, 0.85, 0.75), line);
      break;
  }
  return path;
}

StrongRef<CAShapeLayer> addGlyph(CALayer* parent, Glyph glyph, CGRect box, CGColor colour) {
  return addFilledShape(parent, glyphPath(glyph, box), colour);
}

PlayPauseGlyph::PlayPauseGlyph(CALayer* parent, CGRect box, CGColor colour)
    : box_(box), shape_(addGlyph(parent, playPauseGlyph(false), box, colour)) {}

void PlayPauseGlyph::show(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  shape_->setPath(glyphPath(playPauseGlyph(paused), box_).get());
}

ProgressBar::ProgressBar(CALayer* parent, CGRect frame, const Colours& colours) : frame_(frame) {
  const CGRect bar = CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, kBarHeight);
  addFilledShape(parent, roundedRectPath(bar, kBarHeight / 2), colours.track);
  played_ = addFilledShape(parent, nullptr, colours.played);
  knob_ = addFilledShape(parent, nullptr, colours.played);
  const CGFloat top = frame.origin.y + kBarHeight + 6;
  const CGFloat half = frame.size.width / 2;
  elapsed_ = addTextLine(parent, CGRectMake(frame.origin.x, top, half, kTimeHeight), 12, false,
                         colours.text, kCAAlignmentLeft);
  remaining_ = addTextLine(parent, CGRectMake(frame.origin.x + half, top, half, kTimeHeight), 12,
                           false, colours.text, kCAAlignmentRight);
}

void ProgressBar::show(long elapsedSeconds, long durationSeconds) {
  if (elapsedSeconds < 0) {
    played_->setPath(nullptr);
    knob_->setPath(nullptr);
    elapsed_->setString({});
    remaining_->setString({});
    return;
  }
  const double share =
      durationSeconds > 0
          ? std::clamp(static_cast<double>(elapsedSeconds) / static_cast<double>(durationSeconds),
                       0.0, 1.0)
          : 1.0;
  const CGFloat width = static_cast<CGFloat>(frame_.size.width * share);
  played_->setPath(roundedRectPath(CGRectMake(frame_.origin.x, frame_.origin.y,
                                              std::max<CGFloat>(width, kBarHeight), kBarHeight),
                                   kBarHeight / 2)
                       .get());
  knob_->setPath(circlePath(CGPointMake(frame_.origin.x + width, frame_.origin.y + kBarHeight / 2),
                            kKnobRadius)
                     .get());
  elapsed_->setString(control::clockText(elapsedSeconds));
  remaining_->setString(durationSeconds > 0
                            ? control::clockText(durationSeconds - elapsedSeconds, true)
                            : std::string("LIVE"));
}

namespace {

StrongRef<UIView> screenSizedView(void (*backdrop)(CALayer*)) {
  auto view = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
  if (backdrop != nullptr) backdrop(view->layer());
  return view;
}

StrongRef<CATextLayer> addLine(CALayer* parent, const TrackChrome::Line& line) {
  return addTextLine(parent, line.frame, line.size, line.bold, line.colour, kCAAlignmentLeft);
}

}  // namespace

TrackChrome::TrackChrome(const Style& style, void (*backdrop)(CALayer*))
    : view_(screenSizedView(backdrop)),
      title_(addLine(view_->layer(), style.title)),
      artist_(addLine(view_->layer(), style.artist)),
      progress_(view_->layer(), style.progress, style.progressColours) {
  progress_.show(-1, 0);
  if (!CGRectIsEmpty(style.playPause))
    playPause_.emplace(view_->layer(), style.playPause, style.playPauseColour);
}

void TrackChrome::show(const control::NowPlayingInfo& info) {
  title_->setString(info.title);
  artist_->setString(info.artist);
  progress_.show(info.elapsedSeconds, info.durationSeconds);
  if (playPause_) playPause_->show(info.paused);
}

}  // namespace screen
