#pragma once

#include <cstddef>
#include <vector>

namespace kantele {
namespace gfx {

/// An axis-aligned rectangle in UI units (unscaled editor pixels), y growing downwards:
/// left, top, right, bottom. The all-zero rectangle is the *empty* rectangle; any other
/// value is a real rectangle, even one of zero width or height.
///
/// All comparisons are exact float comparisons. A plain value: [any-thread], never
/// allocates or locks.
class IRect {
 public:
  float L = 0.f;
  float T = 0.f;
  float R = 0.f;
  float B = 0.f;

  constexpr IRect() = default;
  constexpr IRect(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  /// True only when all four values are exactly 0.
  bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }

  float W() const { return R - L; }
  float H() const { return B - T; }
  /// Centre x.
  float MW() const { return (L + R) / 2.f; }
  /// Centre y.
  float MH() const { return (T + B) / 2.f; }
  float Area() const { return W() * H(); }

  /// Grown by `p` on every side; a negative `p` shrinks.
  IRect GetPadded(float p) const { return IRect(L - p, T - p, R + p, B + p); }

  /// The `w` x `h` rectangle with the same centre.
  IRect GetCentredInside(float w, float h) const;

  /// The `w` x `h` rectangle sharing this one's bottom-right corner.
  IRect GetFromBottomRight(float w, float h) const { return IRect(R - w, B - h, R, B); }

  /// The hit test: the left and top edges are inside, the right and bottom edges are not,
  /// so rectangles that share an edge never both claim a point. The empty rectangle
  /// contains no point.
  bool Contains(float x, float y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }

  /// True when `r` lies wholly inside this rectangle, edges included.
  bool Contains(const IRect& r) const { return r.L >= L && r.T >= T && r.R <= R && r.B <= B; }

  /// True when neither rectangle is empty and they overlap. The test is not symmetric:
  /// `r` touching this rectangle's right or bottom edge counts, `r` touching its left or
  /// top edge does not.
  bool Intersects(const IRect& r) const;

  /// The overlap (max L, max T, min R, min B) when `Intersects(r)`, otherwise the empty
  /// rectangle. The overlap of touching rectangles has zero width or height.
  IRect Intersect(const IRect& r) const;

  /// The bounding rectangle of both; an empty rectangle does not take part.
  IRect Union(const IRect& r) const;

  /// True when the union of the two covers exactly the points of the two: either is empty,
  /// or they share left and right edges and their vertical spans touch or overlap, or they
  /// share top and bottom edges and their horizontal spans touch or overlap.
  bool Mergeable(const IRect& r) const;

  /// Rounds L and T down and R and B up to whole device pixels, at `scale` device pixels per
  /// UI unit, so the result covers every device pixel the rectangle touches. A `scale` that
  /// is not positive leaves the rectangle unchanged.
  void PixelAlign(float scale);

  /// Multiplies all four values by `s` (UI units to device pixels and back).
  void Scale(float s) {
    L *= s;
    T *= s;
    R *= s;
    B *= s;
  }

  bool operator==(const IRect& r) const { return L == r.L && T == r.T && R == r.R && B == r.B; }
  bool operator!=(const IRect& r) const { return !(*this == r); }
};

static_assert(sizeof(IRect) == 16, "IRect is four 32-bit floats: L, T, R, B");

/// A growable, contiguous list of rectangles: the dirty areas of one frame.
///
/// [any-thread] but not shared: one owner at a time. Adding may allocate; nothing locks.
class IRectList {
 public:
  void Add(const IRect& r) { mRects.push_back(r); }
  int Size() const { return static_cast<int>(mRects.size()); }

  /// The rectangle at `i`, which must be in [0, Size()). The reference is invalidated by
  /// anything that adds or deletes.
  IRect& Get(int i) { return mRects[static_cast<std::size_t>(i)]; }
  const IRect& Get(int i) const { return mRects[static_cast<std::size_t>(i)]; }

  /// Removes the rectangle at `i`, keeping the order of the others. An index outside
  /// [0, Size()) is ignored.
  void Delete(int i);

  void Clear() { mRects.clear(); }

  /// Rewrites the list so that drawing it repaints nothing twice: rectangles inside another
  /// are dropped, overlaps are cut away from one of the pair, then rectangles whose union
  /// is exact are merged.
  ///
  /// Guarantees: the optimised list covers exactly the area the input list covered, no more
  /// and no less (every cut that leaves two pieces keeps both), and no two of its rectangles
  /// overlap, though they may share edges. Cuts run only along edges of the input
  /// rectangles, so with whole device-pixel input the result covers exactly the same pixels,
  /// each once. Pieces of zero area may remain; they cover nothing. Allocates when a cut
  /// adds a piece.
  void Optimize();

 private:
  // Returns `r` minus `x`, where `x` lies inside `r` and spans its full width or height.
  // When `x` cuts `r` into two pieces, the returned piece is the left (top) one and the
  // right (bottom) one is appended to the list.
  IRect Shrink(const IRect& r, const IRect& x);

  // Returns one piece of `r` minus `x`, where `x` lies in a corner of `r`, and appends the
  // other piece to the list.
  IRect Split(const IRect& r, const IRect& x);

  std::vector<IRect> mRects;
};

}  // namespace gfx
}  // namespace kantele
