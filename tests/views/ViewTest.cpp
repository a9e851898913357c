// Views: the tree and its layers, touches passing through, and the run-time methods that host
// subclasses and hooks replace.

#include <gtest/gtest.h>

#include "UIKit/UIKit.h"
#include "objc/message.h"

namespace {

TEST(ViewTree, SubviewLayersFollowTheViewOrderAboveTheViewsOwnLayers) {
  auto host = UIView::viewWithFrame(CGRectMake(0, 0, 100, 100));
  auto shape = CAShapeLayer::layer();
  host->layer()->addSublayer(shape);
  auto a = UIView::viewWithFrame(CGRectMake(10, 10, 20, 20));
  auto b = UIView::viewWithFrame(CGRectMake(0, 0, 50, 50));
  host->addSubview(a);
  host->addSubview(b);
  ASSERT_EQ(host->layer()->sublayers().size(), 3u);
  EXPECT_EQ(host->layer()->sublayers()[1].get(), a->layer());

  host->bringSubviewToFront(a);
  EXPECT_EQ(host->subviews().back().get(), a.get());
  EXPECT_EQ(host->layer()->sublayers().back().get(), a->layer());

  b->removeFromSuperview();
  EXPECT_EQ(b->superview(), nullptr);
  EXPECT_EQ(b->layer()->superlayer(), nullptr);
  EXPECT_EQ(host->subviews().size(), 1u);

  // The layer's frame follows the view's; bounds start at the origin.
  a->setFrame(CGRectMake(5, 6, 70, 80));
  EXPECT_EQ(a->layer()->frame(), CGRectMake(5, 6, 70, 80));
  EXPECT_EQ(a->bounds(), CGRectMake(0, 0, 70, 80));
  EXPECT_EQ(a->convertPointToView({1, 1}, host), (CGPoint{6, 7}));

  a->setHidden(true);
  EXPECT_TRUE(msgSend<bool>(a.get(), "isHidden"));
  msgSend<void>(a.get(), "setHidden:", false);
  EXPECT_FALSE(a->layer()->isHidden());
}

// A view whose run-time class refuses every touch, as a plot does.
Class passThroughViewClass() {
  static const Class cls = [] {
    Class c = objc_allocateClassPair(UIView::class_(), "TestPassThroughView", 0);
    objc::addMethod(
        c, "pointInside:withEvent:", +[](id, SEL, CGPoint, id) { return false; });
    objc_registerClassPair(c);
    return c;
  }();
  return cls;
}

TEST(ViewTouches, ATouchOnAViewThatRefusesItReachesTheViewBeneath) {
  auto host = UIView::viewWithFrame(CGRectMake(0, 0, 100, 100));
  auto artwork = UIView::viewWithFrame(CGRectMake(0, 0, 100, 100));
  auto overlay =
      StrongRef<UIView>::adopt(objc::cast<UIView>(class_createInstance(passThroughViewClass())));
  ASSERT_TRUE(overlay);
  msgSend<id>(overlay.get(), "initWithFrame:", CGRectMake(0, 0, 100, 100));
  host->addSubview(artwork);
  artwork->addSubview(overlay);
  EXPECT_EQ(host->hitTest({50, 50}, nullptr), artwork.get());
  overlay->setFrame(CGRectMake(0, 0, 0, 0));
  EXPECT_EQ(host->hitTest({150, 50}, nullptr), nullptr) << "outside the host";
  artwork->setHidden(true);
  EXPECT_EQ(host->hitTest({50, 50}, nullptr), host.get()) << "hidden views take no touch";
}

int hookedInitCount = 0;

TEST(ViewRuntime, InitWithFrameIsARunTimeMethodThatAHookCanWrap) {
  static IMP original = nullptr;
  Class cls = objc_allocateClassPair(UIView::class_(), "TestHookedInitView", 0);
  objc_registerClassPair(cls);
  // Wrap the inherited initialiser the way a tweak hooks a host class.
  original = class_getMethodImplementation(cls, sel_registerName("initWithFrame:"));
  class_replaceMethod(cls, sel_registerName("initWithFrame:"),
                      reinterpret_cast<IMP>(+[](id self, SEL sel, CGRect frame) -> id {
                        ++hookedInitCount;
                        using Fn = id (*)(id, SEL, CGRect);
                        return reinterpret_cast<Fn>(original)(self, sel, frame);
                      }),
                      objc::encodeMethod<id, CGRect>().c_str());
  auto view = StrongRef<UIView>::adopt(objc::cast<UIView>(class_createInstance(cls)));
  UIView* same = msgSend<UIView*>(view.get(), "initWithFrame:", CGRectMake(1, 2, 3, 4));
  EXPECT_EQ(same, view.get());
  EXPECT_EQ(hookedInitCount, 1);
  EXPECT_EQ(msgSend<CGRect>(view.get(), "frame"), CGRectMake(1, 2, 3, 4));
}

// Sent by selector, "subviews" answers an array that count and objectAtIndex: read.
TEST(ViewRuntime, SubviewsBySelectorAnswerAnArray) {
  auto parent = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, 10, 10));
  auto first = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, 1, 1));
  auto second = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, 1, 1));
  parent->addSubview(first.get());
  parent->addSubview(second.get());
  id subviews = msgSend<id>(parent.get(), "subviews");
  ASSERT_EQ(msgSend<unsigned long>(subviews, "count"), 2u);
  EXPECT_EQ(msgSend<id>(subviews, "objectAtIndex:", 1UL), second.get());
  EXPECT_EQ(msgSend<id>(subviews, "objectAtIndex:", 2UL), nullptr);
}

std::vector<std::string> controllerCalls;

TEST(ViewControllerRuntime, ViewLoadsOnceThroughLoadViewAndViewDidLoadOverrides) {
  Class cls = objc_allocateClassPair(UIViewController::class_(), "TestArtworkController", 0);
  objc::addMethod(
      cls, "loadView", +[](id self, SEL) {
        controllerCalls.push_back("loadView");
        objc::cast<UIViewController>(self)->setView(
            UIView::viewWithFrame(CGRectMake(0, 0, 320, 320)));
      });
  objc::addMethod(
      cls, "viewDidLoad", +[](id, SEL) { controllerCalls.push_back("viewDidLoad"); });
  objc::addMethod(
      cls, "viewDidAppear:", +[](id, SEL, bool animated) {
        controllerCalls.push_back(animated ? "viewDidAppear:YES" : "viewDidAppear:NO");
      });
  objc_registerClassPair(cls);

  auto controller =
      StrongRef<UIViewController>::adopt(objc::cast<UIViewController>(class_createInstance(cls)));
  EXPECT_FALSE(controller->isViewLoaded());
  UIView* view = msgSend<UIView*>(controller.get(), "view");
  EXPECT_EQ(controller->view(), view);
  EXPECT_EQ(view->bounds(), CGRectMake(0, 0, 320, 320));
  msgSend<void>(controller.get(), "viewDidAppear:", true);
  msgSend<void>(controller.get(), "viewDidDisappear:", true);  // the base: nothing
  EXPECT_EQ(controllerCalls,
            (std::vector<std::string>{"loadView", "viewDidLoad", "viewDidAppear:YES"}));
}

TEST(Colors, ComponentsSystemColoursAndAlphaReplacement) {
  auto color = UIColor::colorWithRed(0.2, 0.4, 0.6, 0.8);
  CGFloat r = 0, g = 0, b = 0, a = 0;
  EXPECT_TRUE(color->getRed(&r, &g, &b, &a));
  EXPECT_EQ((std::vector<CGFloat>{r, g, b, a}), (std::vector<CGFloat>{0.2, 0.4, 0.6, 0.8}));
  EXPECT_TRUE(color->getRed(nullptr, nullptr, nullptr, &a));
  auto faded = color->colorWithAlphaComponent(0.4);
  EXPECT_EQ(*faded->CGColor(), CGColorMakeRGBA(0.2, 0.4, 0.6, 0.4));
  EXPECT_EQ(color->alpha(), 0.8) << "the original is unchanged";
  EXPECT_EQ(*UIColor::redColor()->CGColor(), CGColorMakeRGBA(1, 0, 0, 1));
  EXPECT_EQ(*UIColor::yellowColor()->CGColor(), CGColorMakeRGBA(1, 1, 0, 1));
  EXPECT_EQ(*UIColor::greenColor()->CGColor(), CGColorMakeRGBA(0, 1, 0, 1));
  EXPECT_EQ(UIColor::clearColor()->alpha(), 0.0);
  EXPECT_TRUE(UIColor::colorWithRed(1, 0, 0, 1)->isEqual(UIColor::redColor()));
}

}  // namespace
