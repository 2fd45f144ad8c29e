#include "kantele/gfx/IRect.h"

#include <algorithm>
#include <cmath>

namespace kantele {
namespace gfx {

IRect IRect::GetCentredInside(float w, float h) const {
  const float l = MW() - w / 2.f;
  const float t = MH() - h / 2.f;
  return IRect(l, t, l + w, t + h);
}

bool IRect::Intersects(const IRect& r) const {
  return !Empty() && !r.Empty() && R >= r.L && L < r.R && B >= r.T && T < r.B;
}

IRect IRect::Intersect(const IRect& r) const {
  if (!Intersects(r)) return IRect();
  return IRect(std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B));
}

IRect IRect::Union(const IRect& r) const {
  if (Empty()) return r;
  if (r.Empty()) return *this;
  return IRect(std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B));
}

bool IRect::Mergeable(const IRect& r) const {
  if (Empty() || r.Empty()) return true;
  if (L == r.L && R == r.R && ((T >= r.T && T <= r.B) || (r.T >= T && r.T <= B))) return true;
  if (T == r.T && B == r.B && ((L >= r.L && L <= r.R) || (r.L >= L && r.L <= R))) return true;
  return false;
}

void IRect::PixelAlign(float scale) {
  if (!(scale > 0.f)) return;
  L = std::floor(L * scale) / scale;
  T = std::floor(T * scale) / scale;
  R = std::ceil(R * scale) / scale;
  B = std::ceil(B * scale) / scale;
}

void IRectList::Delete(int i) {
  if (i < 0 || i >= Size()) return;
  mRects.erase(mRects.begin() + i);
}

IRect IRectList::Shrink(const IRect& r, const IRect& x) {
  if (x.L != r.L) {
    // x spans the full height: when it also stops short of the right edge, the strip on its
    // right survives too.
    if (x.T == r.T && x.B == r.B && x.R != r.R) Add(IRect(x.R, r.T, r.R, r.B));
    return IRect(r.L, r.T, x.L, r.B);
  }
  if (x.T != r.T) {
    // x spans the full width: when it also stops short of the bottom, the strip below it
    // survives too.
    if (x.R == r.R && x.B != r.B) Add(IRect(r.L, x.B, r.R, r.B));
    return IRect(r.L, r.T, r.R, x.T);
  }
  if (x.R != r.R) return IRect(x.R, r.T, r.R, r.B);
  return IRect(r.L, x.B, r.R, r.B);
}

IRect IRectList::Split(const IRect& r, const IRect& x) {
  if (r.L == x.L && r.T == x.T) {
    Add(IRect(x.R, r.T, r.R, x.B));
    return IRect(r.L, x.B, r.R, r.B);
  }
  if (r.L == x.L) {
    Add(IRect(r.L, r.T, r.R, x.T));
    return IRect(x.R, x.T, r.R, r.B);
  }
  if (r.T == x.T) {
    Add(IRect(r.L, r.T, x.L, x.B));
    return IRect(r.L, x.B, r.R, r.B);
  }
  Add(IRect(r.L, r.T, r.R, x.T));
  return IRect(r.L, x.T, x.L, r.B);
}

void IRectList::Optimize() {
  // Shrink and Split append, which may move the storage: the pair is read by value and the
  // result stored by index after the call.
  for (int i = 0; i < Size(); ++i) {
    for (int j = i + 1; j < Size(); ++j) {
      const IRect a = mRects[i];
      const IRect b = mRects[j];
      if (a.Contains(b)) {
        Delete(j);
        --j;
        continue;
      }
      if (b.Contains(a)) {
        Delete(i);
        --i;  // the next rectangle now sits at i; start its pass
        break;
      }
      if (!a.Intersects(b)) continue;
      const IRect x = a.Intersect(b);
      if (a.Mergeable(x)) {
        const IRect piece = Shrink(a, x);
        mRects[i] = piece;
      } else if (b.Mergeable(x)) {
        const IRect piece = Shrink(b, x);
        mRects[j] = piece;
      } else if (b.Area() > a.Area()) {
        const IRect piece = Split(a, x);
        mRects[i] = piece;
      } else {
        const IRect piece = Split(b, x);
        mRects[j] = piece;
      }
    }
  }

  for (int i = 0; i < Size(); ++i) {
    for (int j = i + 1; j < Size(); ++j) {
      if (mRects[i].Mergeable(mRects[j])) {
        mRects[j] = mRects[i].Union(mRects[j]);
        Delete(i);
        i = -1;  // a merged rectangle may now merge with an earlier one
        break;
      }
    }
  }
}

}  // namespace gfx
}  // namespace kantele
