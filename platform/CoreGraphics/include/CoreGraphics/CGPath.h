#pragma once
// Paths: subpaths of points joined by straight lines, each open or closed. A plot builds many
// paths every frame and drops the previous frame's (by then cold) ones, so a path is one
// reference-counted block: its first subpath and up to four points (a bar, a rectangle) live in
// it, and only longer paths have their points in a second block (grown geometrically, reserved
// by CGPathAddLines).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"

struct CGPathSubpath {
  std::size_t first = 0;  // index of its first point in CGPath::points()
  std::size_t count = 0;
  bool closed = false;
};

class CGPath {
 public:
  CGPath() = default;
  CGPath(const CGPath& other);
  CGPath& operator=(const CGPath&) = delete;

  // ---- Reading (renderer, serialisers, tests) ----
  bool isEmpty() const { return pointCount_ == 0; }
  std::size_t subpathCount() const { return subpathCount_; }
  CGPathSubpath subpath(std::size_t index) const { return index == 0 ? first_ : more_[index - 1]; }
  std::span<const CGPoint> subpathPoints(std::size_t index) const {
    const CGPathSubpath s = subpath(index);
    return {points_ + s.first, s.count};
  }
  std::span<const CGPoint> points() const { return {points_, pointCount_}; }
  // Smallest rectangle holding every point; CGRectZero for an empty path.
  CGRect boundingBox() const;

  // ---- Building ----
  void moveTo(CGPoint point);
  void lineTo(CGPoint point);
  // A new subpath through `count` points, each mapped by `transform` when it is given.
  void addLines(const CGAffineTransform* transform, const CGPoint* points, std::size_t count);
  void addRect(const CGAffineTransform* transform, CGRect rect);
  void addPath(const CGAffineTransform* transform, const CGPath& other);
  void closeSubpath();
  void reserve(std::size_t points);

  // ---- Ownership ----
  CGPath* retain() noexcept {
    references_.fetch_add(1, std::memory_order_relaxed);
    return this;
  }
  void release() noexcept {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  std::uint32_t retainCount() const noexcept { return references_.load(std::memory_order_relaxed); }

  // A path's block comes from those its thread freed last, while it has some.
  static void* operator new(std::size_t size);
  static void operator delete(void* block, std::size_t size) noexcept;

 private:
  static constexpr std::size_t kInlinePoints = 4;

  ~CGPath();
  CGPathSubpath& current() { return subpathCount_ == 1 ? first_ : more_.back(); }
  void beginSubpath(CGPoint point);
  void appendPoint(CGPoint point);
  void growTo(std::size_t capacity);

  // The reference count first: a release touches the block's first cache line only.
  std::atomic<std::uint32_t> references_{1};
  bool afterClose_ = false;  // the next line starts a new subpath at the closed one's start
  std::size_t pointCount_ = 0;
  std::size_t pointCapacity_ = kInlinePoints;
  CGPoint* points_ = inlinePoints_;  // inlinePoints_ or a block of its own
  CGPathSubpath first_;
  std::size_t subpathCount_ = 0;
  std::vector<CGPathSubpath> more_;
  CGPoint inlinePoints_[kInlinePoints];
};

using CGPathRef = const CGPath*;
using CGMutablePathRef = CGPath*;

// The platform's functions. A created path carries one reference owned by the caller.
CGMutablePathRef CGPathCreateMutable();
CGMutablePathRef CGPathCreateMutableCopy(CGPathRef path);
CGPathRef CGPathCreateCopy(CGPathRef path);
CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform);
CGPathRef CGPathRetain(CGPathRef path);  // null stays null
void CGPathRelease(CGPathRef path);      // null is ignored
void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddLines(CGMutablePathRef path, const CGAffineTransform* m, const CGPoint* points,
                    std::size_t count);
void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect);
void CGPathAddPath(CGMutablePathRef path, const CGAffineTransform* m, CGPathRef other);
void CGPathCloseSubpath(CGMutablePathRef path);
bool CGPathIsEmpty(CGPathRef path);  // true for null
// The same subpaths through the same points (two nulls are equal).
bool CGPathEqualToPath(CGPathRef path1, CGPathRef path2);
CGRect CGPathGetBoundingBox(CGPathRef path);

namespace cg {

// Owning handle to a path: copying retains, destruction releases.
class PathRef {
 public:
  PathRef() noexcept = default;
  PathRef(std::nullptr_t) noexcept {}
  // Shares `path`: takes a reference of its own.
  explicit PathRef(CGPathRef path) noexcept : path_(const_cast<CGPath*>(path)) {
    if (path_ != nullptr) path_->retain();
  }
  PathRef(const PathRef& other) noexcept : PathRef(other.path_) {}
  PathRef(PathRef&& other) noexcept : path_(std::exchange(other.path_, nullptr)) {}
  ~PathRef() { reset(); }
  PathRef& operator=(PathRef other) noexcept {
    std::swap(path_, other.path_);
    return *this;
  }

  // Takes over a reference the caller owns (a path just created).
  static PathRef adopt(CGPathRef path) noexcept {
    PathRef ref;
    ref.path_ = const_cast<CGPath*>(path);
    return ref;
  }
  // A new empty mutable path.
  static PathRef mutablePath() { return adopt(CGPathCreateMutable()); }

  void reset() noexcept {
    if (CGPath* old = std::exchange(path_, nullptr)) old->release();
  }
  CGPath* get() const noexcept { return path_; }
  CGPath* operator->() const noexcept { return path_; }
  explicit operator bool() const noexcept { return path_ != nullptr; }

 private:
  CGPath* path_ = nullptr;
};

}  // namespace cg
