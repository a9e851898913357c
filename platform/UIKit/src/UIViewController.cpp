#include "UIKit/UIViewController.h"

#include "objc/message.h"

UIView* UIViewController::view() {
  if (!view_) {
    msgSend<void>(this, "loadView");
    if (!view_) view_ = objc::make<UIView>();  // a loadView that made none
    msgSend<void>(this, "viewDidLoad");
  }
  return view_.get();
}

void UIViewController::loadView() {
  view_ = UIView::viewWithFrame<UIView>(CGRectZero);
}

void UIViewController::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "view",
      +[](id self, SEL) -> id { return static_cast<UIViewController*>(self)->view(); });
  objc::addMethod(
      cls, "setView:", +[](id self, SEL, id view) {
        static_cast<UIViewController*>(self)->setView(objc::cast<UIView>(view));
      });
  objc::addMethod(
      cls, "isViewLoaded",
      +[](id self, SEL) { return static_cast<UIViewController*>(self)->isViewLoaded(); });
  objc::addMethod(
      cls, "loadView", +[](id self, SEL) { static_cast<UIViewController*>(self)->loadView(); });
  objc::addMethod(
      cls, "viewDidLoad",
      +[](id self, SEL) { static_cast<UIViewController*>(self)->viewDidLoad(); });
  objc::addMethod(
      cls, "viewWillAppear:", +[](id self, SEL, bool animated) {
        static_cast<UIViewController*>(self)->viewWillAppear(animated);
      });
  objc::addMethod(
      cls, "viewDidAppear:", +[](id self, SEL, bool animated) {
        static_cast<UIViewController*>(self)->viewDidAppear(animated);
      });
  objc::addMethod(
      cls, "viewWillDisappear:", +[](id self, SEL, bool animated) {
        static_cast<UIViewController*>(self)->viewWillDisappear(animated);
      });
  objc::addMethod(
      cls, "viewDidDisappear:", +[](id self, SEL, bool animated) {
        static_cast<UIViewController*>(self)->viewDidDisappear(animated);
      });
}
