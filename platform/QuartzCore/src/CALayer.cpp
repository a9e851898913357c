#include "QuartzCore/CALayer.h"

#include <algorithm>

#include "objc/message.h"

namespace {

std::uint64_t changes = 0;
std::uint64_t arrangements = 0;

}  // namespace

CALayer::~CALayer() {
  for (const auto& sublayer : sublayers_) sublayer->superlayer_ = nullptr;
  if (mask_ && mask_->masked_ == this) mask_->masked_ = nullptr;
}

std::uint64_t CALayer::arrangementsInProcess() {
  return arrangements;
}

void CALayer::markChangedFromHere() {
  const std::uint64_t change = ++changes;
  lastChange_ = change;
  for (CALayer* up = superlayer_ != nullptr ? superlayer_ : masked_; up != nullptr && !up->hidden_;
       up = up->superlayer_ != nullptr ? up->superlayer_ : up->masked_)
    up->lastChange_ = change;
}

void CALayer::noteChange() {
  // A hidden layer draws nothing, whatever its properties.
  if (hidden_) {
    ++changes;
    return;
  }
  markChangedFromHere();
}

void CALayer::setDrawnColor(bool& has, CGColor& value, CGColorRef color) {
  if (has == (color != nullptr) && (color == nullptr || value == *color)) return;
  has = color != nullptr;
  if (color != nullptr) value = *color;
  noteChange();
}

void CALayer::setHidden(bool hidden) {
  if (hidden_ == hidden) return;
  hidden_ = hidden;
  ++arrangements;
  markChangedFromHere();
}

void CALayer::setContents(CGImageRef image) {
  if (image == contents_.get()) return;
  contents_ = cg::ImageRef(image);
  noteChange();
}

void CALayer::setFrame(CGRect frame) {
  const CGRect r = CGRectStandardize(frame);
  if (r.origin == frameOrigin_ && r.size == bounds_.size) return;
  frameOrigin_ = r.origin;
  bounds_.size = r.size;
  noteChange();
}

void CALayer::setBounds(CGRect bounds) {
  setDrawn(bounds_, CGRectStandardize(bounds));
}

CGAffineTransform CALayer::transformToSuperlayer() const {
  return CGAffineTransformMakeTranslation(frameOrigin_.x - bounds_.origin.x,
                                          frameOrigin_.y - bounds_.origin.y);
}

void CALayer::setBackgroundColor(CGColorRef color) {
  setDrawnColor(hasBackground_, background_, color);
}

void CALayer::setMask(CALayer* mask) {
  if (mask == this || mask == mask_.get()) return;
  StrongRef<CALayer> keep(mask);
  if (mask != nullptr) mask->removeFromSuperlayer();
  if (mask_ && mask_->masked_ == this) mask_->masked_ = nullptr;
  mask_ = std::move(keep);
  if (mask != nullptr) mask->masked_ = this;
  ++arrangements;
  noteChange();
}

void CALayer::detachSublayer(CALayer* layer) {
  auto it = std::find_if(sublayers_.begin(), sublayers_.end(),
                         [layer](const StrongRef<CALayer>& s) { return s.get() == layer; });
  if (it == sublayers_.end()) return;
  layer->superlayer_ = nullptr;
  sublayers_.erase(it);
  ++arrangements;
  noteChange();
}

void CALayer::removeFromSuperlayer() {
  if (superlayer_ == nullptr) return;
  StrongRef<CALayer> keep(this);  // the superlayer may hold the last reference
  superlayer_->detachSublayer(this);
}

void CALayer::insertSublayer(CALayer* layer, unsigned index) {
  if (layer == nullptr || layer == this) return;
  // A layer may not become its own ancestor's sublayer.
  for (CALayer* up = superlayer_; up != nullptr; up = up->superlayer_) {
    if (up == layer) return;
  }
  StrongRef<CALayer> keep(layer);
  layer->removeFromSuperlayer();
  const std::size_t at = std::min<std::size_t>(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(at), keep);
  layer->superlayer_ = this;
  ++arrangements;
  noteChange();
}

void CALayer::addSublayer(CALayer* layer) {
  insertSublayer(layer, static_cast<unsigned>(sublayers_.size() + 1));
}

void CALayer::insertSublayerBelow(CALayer* layer, CALayer* sibling) {
  if (layer == nullptr || layer == sibling) return;
  StrongRef<CALayer> keep(layer);
  layer->removeFromSuperlayer();
  auto it = std::find_if(sublayers_.begin(), sublayers_.end(),
                         [sibling](const StrongRef<CALayer>& s) { return s.get() == sibling; });
  insertSublayer(layer, static_cast<unsigned>(it - sublayers_.begin()));
}

void CALayer::insertSublayerAbove(CALayer* layer, CALayer* sibling) {
  if (layer == nullptr || layer == sibling) return;
  StrongRef<CALayer> keep(layer);
  layer->removeFromSuperlayer();
  auto it = std::find_if(sublayers_.begin(), sublayers_.end(),
                         [sibling](const StrongRef<CALayer>& s) { return s.get() == sibling; });
  const auto index = it == sublayers_.end() ? sublayers_.size() : (it - sublayers_.begin()) + 1;
  insertSublayer(layer, static_cast<unsigned>(index));
}

void CALayer::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "frame", +[](id self, SEL) { return static_cast<CALayer*>(self)->frame(); });
  objc::addMethod(
      cls, "setFrame:", +[](id self, SEL, CGRect frame) {
        static_cast<CALayer*>(self)->setFrame(frame);
      });
  objc::addMethod(
      cls, "bounds", +[](id self, SEL) { return static_cast<CALayer*>(self)->bounds(); });
  objc::addMethod(
      cls, "setBounds:", +[](id self, SEL, CGRect bounds) {
        static_cast<CALayer*>(self)->setBounds(bounds);
      });
  objc::addMethod(
      cls, "superlayer",
      +[](id self, SEL) -> id { return static_cast<CALayer*>(self)->superlayer(); });
  objc::addMethod(
      cls, "addSublayer:", +[](id self, SEL, id layer) {
        static_cast<CALayer*>(self)->addSublayer(objc::cast<CALayer>(layer));
      });
  objc::addMethod(
      cls, "insertSublayer:atIndex:", +[](id self, SEL, id layer, unsigned index) {
        static_cast<CALayer*>(self)->insertSublayer(objc::cast<CALayer>(layer), index);
      });
  objc::addMethod(
      cls, "removeFromSuperlayer",
      +[](id self, SEL) { static_cast<CALayer*>(self)->removeFromSuperlayer(); });
  objc::addMethod(
      cls, "isHidden", +[](id self, SEL) { return static_cast<CALayer*>(self)->isHidden(); });
  objc::addMethod(
      cls, "setHidden:", +[](id self, SEL, bool hidden) {
        static_cast<CALayer*>(self)->setHidden(hidden);
      });
  objc::addMethod(
      cls, "opacity", +[](id self, SEL) { return static_cast<CALayer*>(self)->opacity(); });
  objc::addMethod(
      cls, "setOpacity:", +[](id self, SEL, float opacity) {
        static_cast<CALayer*>(self)->setOpacity(opacity);
      });
  objc::addMethod(
      cls, "mask", +[](id self, SEL) -> id { return static_cast<CALayer*>(self)->mask(); });
  objc::addMethod(
      cls, "setMask:", +[](id self, SEL, id mask) {
        static_cast<CALayer*>(self)->setMask(objc::cast<CALayer>(mask));
      });
}
