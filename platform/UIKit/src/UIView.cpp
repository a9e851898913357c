#include "UIKit/UIView.h"

#include <algorithm>

#include "objc/message.h"

UIView::UIView() : layer_(objc::make<CALayer>()) {}

UIView::~UIView() {
  for (const auto& subview : subviews_) subview->superview_ = nullptr;
}

UIView* UIView::initWithFrame(CGRect frame) {
  setFrame(frame);
  return this;
}

void UIView::setFrame(CGRect frame) {
  const CGSize before = layer_->bounds().size;
  layer_->setFrame(frame);
  if (!(layer_->bounds().size == before)) needsLayout_ = true;
}

void UIView::setBounds(CGRect bounds) {
  const CGSize before = layer_->bounds().size;
  layer_->setBounds(bounds);
  if (!(layer_->bounds().size == before)) needsLayout_ = true;
}

CGPoint UIView::center() const {
  const CGRect f = frame();
  return {CGRectGetMidX(f), CGRectGetMidY(f)};
}

namespace {
// From `view`'s coordinates to the root of its tree.
CGPoint toRoot(const UIView* view, CGPoint point) {
  for (const UIView* v = view; v != nullptr; v = v->superview()) {
    point = CGPointApplyAffineTransform(point, v->layer()->transformToSuperlayer());
  }
  return point;
}
}  // namespace

CGPoint UIView::convertPointToView(CGPoint point, const UIView* view) const {
  const CGPoint root = toRoot(this, point);
  if (view == nullptr) return root;
  const CGPoint origin = toRoot(view, CGPointZero);
  return {root.x - origin.x, root.y - origin.y};
}

CGPoint UIView::convertPointFromView(CGPoint point, const UIView* view) const {
  const CGPoint root = view != nullptr ? toRoot(view, point) : point;
  const CGPoint origin = toRoot(this, CGPointZero);
  return {root.x - origin.x, root.y - origin.y};
}

void UIView::detachSubview(UIView* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [view](const StrongRef<UIView>& s) { return s.get() == view; });
  if (it == subviews_.end()) return;
  view->superview_ = nullptr;
  view->layer_->removeFromSuperlayer();
  subviews_.erase(it);
  needsLayout_ = true;
}

void UIView::insertSubview(UIView* view, unsigned index) {
  if (view == nullptr || view == this) return;
  for (const UIView* up = this; up != nullptr; up = up->superview_) {
    if (up == view) return;  // a view cannot hold its own ancestor
  }
  StrongRef<UIView> keep(view);
  view->removeFromSuperview();
  const std::size_t at = std::min<std::size_t>(index, subviews_.size());
  // The layer goes right below the layer of the subview it is placed under, so that layers
  // that are not views' (a plot's shapes) keep their place.
  if (at < subviews_.size()) {
    layer_->insertSublayerBelow(view->layer_, subviews_[at]->layer_);
  } else {
    layer_->addSublayer(view->layer_);
  }
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(at), keep);
  view->superview_ = this;
  needsLayout_ = true;
}

void UIView::addSubview(UIView* view) {
  insertSubview(view, static_cast<unsigned>(subviews_.size() + 1));
}

void UIView::bringSubviewToFront(UIView* view) {
  if (view == nullptr || view->superview_ != this) return;
  StrongRef<UIView> keep(view);
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [view](const StrongRef<UIView>& s) { return s.get() == view; });
  subviews_.erase(it);
  subviews_.push_back(keep);
  layer_->addSublayer(view->layer_);
}

void UIView::sendSubviewToBack(UIView* view) {
  if (view == nullptr || view->superview_ != this) return;
  StrongRef<UIView> keep(view);
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [view](const StrongRef<UIView>& s) { return s.get() == view; });
  subviews_.erase(it);
  subviews_.insert(subviews_.begin(), keep);
  layer_->insertSublayer(view->layer_, 0);
}

void UIView::removeFromSuperview() {
  if (superview_ == nullptr) return;
  StrongRef<UIView> keep(this);  // the superview may hold the last reference
  superview_->detachSubview(this);
}

bool UIView::isDescendantOfView(const UIView* view) const {
  for (const UIView* v = this; v != nullptr; v = v->superview_) {
    if (v == view) return true;
  }
  return false;
}

void UIView::setBackgroundColor(UIColor* color) {
  backgroundColor_ = StrongRef<UIColor>(color);
  layer_->setBackgroundColor(CGColorOf(color));
}

bool UIView::pointInside(CGPoint point, UIEvent* event) {
  (void)event;
  return CGRectContainsPoint(bounds(), point);
}

UIView* UIView::hitTest(CGPoint point, UIEvent* event) {
  if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01) return nullptr;
  if (!msgSend<bool>(this, "pointInside:withEvent:", point, static_cast<id>(event))) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    UIView* subview = it->get();
    const CGPoint inSubview = CGPointApplyAffineTransform(
        point, CGAffineTransformInvert(subview->layer_->transformToSuperlayer()));
    if (UIView* hit = subview->hitTest(inSubview, event)) return hit;
  }
  return this;
}

void UIView::layoutIfNeeded() {
  if (!needsLayout_) return;
  needsLayout_ = false;
  msgSend<void>(this, "layoutSubviews");
}

NSArray* UIView::subviewsArray() {
  subviewsArray_ =
      objc::make<NSArray>(std::vector<StrongRef<NSObject>>(subviews_.begin(), subviews_.end()));
  return subviewsArray_.get();
}

void UIView::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "subviews",
      +[](id self, SEL) -> id { return static_cast<UIView*>(self)->subviewsArray(); });
  objc::addMethod(
      cls, "init",
      +[](id self, SEL) -> id { return static_cast<UIView*>(self)->initWithFrame(CGRectZero); });
  objc::addMethod(
      cls, "initWithFrame:", +[](id self, SEL, CGRect frame) -> id {
        return static_cast<UIView*>(self)->initWithFrame(frame);
      });
  objc::addMethod(
      cls, "initWithCoder:", +[](id self, SEL, id) -> id {
        return static_cast<UIView*>(self)->initWithFrame(CGRectZero);
      });
  objc::addMethod(
      cls, "frame", +[](id self, SEL) { return static_cast<UIView*>(self)->frame(); });
  objc::addMethod(
      cls, "setFrame:", +[](id self, SEL, CGRect frame) {
        static_cast<UIView*>(self)->setFrame(frame);
      });
  objc::addMethod(
      cls, "bounds", +[](id self, SEL) { return static_cast<UIView*>(self)->bounds(); });
  objc::addMethod(
      cls, "setBounds:", +[](id self, SEL, CGRect bounds) {
        static_cast<UIView*>(self)->setBounds(bounds);
      });
  objc::addMethod(
      cls, "layer", +[](id self, SEL) -> id { return static_cast<UIView*>(self)->layer(); });
  objc::addMethod(
      cls, "superview",
      +[](id self, SEL) -> id { return static_cast<UIView*>(self)->superview(); });
  objc::addMethod(
      cls, "addSubview:", +[](id self, SEL, id view) {
        static_cast<UIView*>(self)->addSubview(objc::cast<UIView>(view));
      });
  objc::addMethod(
      cls, "bringSubviewToFront:", +[](id self, SEL, id view) {
        static_cast<UIView*>(self)->bringSubviewToFront(objc::cast<UIView>(view));
      });
  objc::addMethod(
      cls, "removeFromSuperview",
      +[](id self, SEL) { static_cast<UIView*>(self)->removeFromSuperview(); });
  objc::addMethod(
      cls, "isHidden", +[](id self, SEL) { return static_cast<UIView*>(self)->isHidden(); });
  objc::addMethod(
      cls, "setHidden:", +[](id self, SEL, bool hidden) {
        static_cast<UIView*>(self)->setHidden(hidden);
      });
  objc::addMethod(
      cls, "backgroundColor",
      +[](id self, SEL) -> id { return static_cast<UIView*>(self)->backgroundColor(); });
  objc::addMethod(
      cls, "setBackgroundColor:", +[](id self, SEL, id color) {
        static_cast<UIView*>(self)->setBackgroundColor(objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "pointInside:withEvent:", +[](id self, SEL, CGPoint point, id event) {
        return static_cast<UIView*>(self)->pointInside(point, objc::cast<UIEvent>(event));
      });
  objc::addMethod(
      cls, "hitTest:withEvent:", +[](id self, SEL, CGPoint point, id event) -> id {
        return static_cast<UIView*>(self)->hitTest(point, objc::cast<UIEvent>(event));
      });
  objc::addMethod(
      cls, "layoutSubviews", +[](id self, SEL) { static_cast<UIView*>(self)->layoutSubviews(); });
  objc::addMethod(
      cls, "setNeedsLayout", +[](id self, SEL) { static_cast<UIView*>(self)->setNeedsLayout(); });
  objc::addMethod(
      cls, "layoutIfNeeded", +[](id self, SEL) { static_cast<UIView*>(self)->layoutIfNeeded(); });
}
