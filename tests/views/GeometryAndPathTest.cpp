// Transforms as the plots build them, and paths as the renderer reads them.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"

namespace {

TEST(AffineTransform, TranslateThenScaleMapsLikeThePlots) {
  // A plot's channel transform: translate to the centre line, then scale samples.
  const CGAffineTransform t =
      CGAffineTransformScale(CGAffineTransformMakeTranslation(0, 300), 750.0 / 4096, -75);
  const CGPoint p = CGPointApplyAffineTransform({2048, 1.0}, t);
  EXPECT_DOUBLE_EQ(p.x, 375.0);
  EXPECT_DOUBLE_EQ(p.y, 225.0);

  const CGAffineTransform fromIdentity =
      CGAffineTransformScale(CGAffineTransformTranslate(CGAffineTransformIdentity, 10, 20), 2, 3);
  EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, fromIdentity), (CGPoint{12, 23}));
  // The other order: scale first, then a translation that is itself scaled.
  const CGAffineTransform scaledFirst =
      CGAffineTransformTranslate(CGAffineTransformMakeScale(2, 3), 10, 20);
  EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, scaledFirst), (CGPoint{22, 63}));

  const CGAffineTransform back = CGAffineTransformInvert(fromIdentity);
  EXPECT_EQ(CGPointApplyAffineTransform({12, 23}, back), (CGPoint{1, 1}));
  EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformIdentity));
}

TEST(Rect, EdgesAndContainment) {
  const CGRect r = CGRectMake(10, 20, 30, -40);  // negative height: the same area as upward
  EXPECT_DOUBLE_EQ(CGRectGetMinY(r), -20);
  EXPECT_DOUBLE_EQ(CGRectGetMaxY(r), 20);
  EXPECT_DOUBLE_EQ(CGRectGetHeight(r), 40);
  EXPECT_TRUE(CGRectContainsPoint(CGRectMake(0, 0, 10, 10), {0, 0}));
  EXPECT_FALSE(CGRectContainsPoint(CGRectMake(0, 0, 10, 10), {10, 5}));
  EXPECT_EQ(CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(5, 5, 10, 10)),
            CGRectMake(5, 5, 5, 5));
  EXPECT_EQ(CGRectIntersection(CGRectMake(0, 0, 1, 1), CGRectMake(5, 5, 1, 1)), CGRectZero);
}

TEST(Path, AddLinesThroughATransformMakesOneSubpathPerCall) {
  cg::PathRef path = cg::PathRef::mutablePath();
  const CGPoint points[] = {{0, 0}, {1, 1}, {2, -1}};
  const CGAffineTransform t =
      CGAffineTransformScale(CGAffineTransformMakeTranslation(5, 50), 10, -20);
  CGPathAddLines(path.get(), &t, points, 3);
  CGPathCloseSubpath(path.get());
  CGPathAddLines(path.get(), nullptr, points, 2);

  ASSERT_EQ(path->subpathCount(), 2u);
  EXPECT_TRUE(path->subpath(0).closed);
  EXPECT_FALSE(path->subpath(1).closed);
  const auto first = path->subpathPoints(0);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[0], (CGPoint{5, 50}));
  EXPECT_EQ(first[1], (CGPoint{15, 30}));
  EXPECT_EQ(first[2], (CGPoint{25, 70}));
  EXPECT_EQ(path->subpathPoints(1)[1], (CGPoint{1, 1}));
  EXPECT_EQ(CGPathGetBoundingBox(path.get()), CGRectMake(0, 0, 25, 70));

  // Without a transform the points are kept as they are: an infinity leaves its partner alone.
  const CGPoint far[] = {{1, std::numeric_limits<CGFloat>::infinity()}, {2, 2}};
  CGPathAddLines(path.get(), nullptr, far, 2);
  EXPECT_EQ(path->subpathPoints(2)[0].x, 1);
}

TEST(Path, AddedToItselfAddsItsSubpathsOnce) {
  cg::PathRef path = cg::PathRef::mutablePath();
  const CGPoint points[] = {{0, 0}, {1, 1}, {2, -1}, {3, 0}, {4, 1}};
  CGPathAddLines(path.get(), nullptr, points, 5);  // beyond the path's own block: it grows
  CGPathCloseSubpath(path.get());
  CGPathAddPath(path.get(), nullptr, path.get());
  ASSERT_EQ(path->subpathCount(), 2u);
  EXPECT_TRUE(path->subpath(1).closed);
  const auto again = path->subpathPoints(1);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), std::begin(points), std::end(points)));
}

TEST(Path, MovesLinesAndClosesFollowThePlatform) {
  CGMutablePathRef path = CGPathCreateMutable();
  CGPathAddLineToPoint(path, nullptr, 1, 1);  // no current point: becomes the start
  CGPathAddLineToPoint(path, nullptr, 2, 1);
  CGPathCloseSubpath(path);
  CGPathAddLineToPoint(path, nullptr, 3, 3);  // after a close: starts again at (1, 1)
  CGPathMoveToPoint(path, nullptr, 9, 9);
  CGPathMoveToPoint(path, nullptr, 8, 8);     // a second move replaces the first
  CGPathAddLines(path, nullptr, nullptr, 4);  // nothing to add
  ASSERT_EQ(path->subpathCount(), 3u);
  EXPECT_EQ(path->subpathPoints(0).size(), 2u);
  ASSERT_EQ(path->subpathPoints(1).size(), 2u);
  EXPECT_EQ(path->subpathPoints(1)[0], (CGPoint{1, 1}));
  ASSERT_EQ(path->subpathPoints(2).size(), 1u);
  EXPECT_EQ(path->subpathPoints(2)[0], (CGPoint{8, 8}));

  // A copy is independent; releasing the last reference frees the path (checked under ASan).
  CGMutablePathRef copy = CGPathCreateMutableCopy(path);
  CGPathAddRect(copy, nullptr, CGRectMake(0, 0, 1, 1));
  EXPECT_EQ(copy->subpathCount(), 3u) << "the lone move is replaced by the rectangle";
  EXPECT_EQ(path->subpathCount(), 3u);
  EXPECT_EQ(path->subpathPoints(2).size(), 1u);
  CGPathRelease(copy);
  CGPathRelease(path);
  CGPathRelease(nullptr);
}

// A path's points live in its own block up to four and in a block of their own beyond: points
// added one by one or together, and copies, keep every point across that line.
class PathGrowth : public testing::TestWithParam<int> {};

TEST_P(PathGrowth, KeepsEveryPointAcrossTheBlocks) {
  const int count = GetParam();
  cg::PathRef path = cg::PathRef::mutablePath();
  std::vector<CGPoint> expected;
  for (int i = 0; i < count; ++i) {
    expected.push_back({static_cast<CGFloat>(i), static_cast<CGFloat>(-i)});
    CGPathAddLineToPoint(path.get(), nullptr, i, -i);
  }
  CGPathAddLines(path.get(), nullptr, expected.data(), expected.size());
  cg::PathRef copy = cg::PathRef::adopt(CGPathCreateCopy(path.get()));
  for (const cg::PathRef* each : {&path, &copy}) {
    ASSERT_EQ((*each)->subpathCount(), 2u);
    for (std::size_t subpath = 0; subpath < 2; ++subpath) {
      const auto points = (*each)->subpathPoints(subpath);
      EXPECT_TRUE(std::equal(points.begin(), points.end(), expected.begin(), expected.end()));
    }
  }
  EXPECT_TRUE(CGPathEqualToPath(path.get(), copy.get()));
}

INSTANTIATE_TEST_SUITE_P(PointCounts, PathGrowth, testing::Values(2, 3, 4, 5, 9, 40));

}  // namespace
