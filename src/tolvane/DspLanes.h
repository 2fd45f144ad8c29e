#pragma once

// Two channels' samples side by side in one SSE2 register, for the signal processing's
// per-sample stages (TolvaneDsp.cpp): each operation here is, in each lane, exactly the IEEE
// operation the scalar code does on that channel, with the same operands in the same order, so
// each lane's result is the scalar one bit for bit. Branches that differ per channel become
// selects between values both computed, each lane taking what its channel's branch gives.
// Without SSE2 the signal processing keeps its scalar code and this header declares nothing.

#if defined(__SSE2__)
#include <emmintrin.h>

#include "tolvane/crmath/CrMath.h"

namespace tolvane::lanes {

using crmath::detail::Lane2;

/// A lane mask: all ones where a comparison holds, all zeros where it does not.
using Mask2 = __m128d;

[[gnu::always_inline]] inline Lane2 Pair(double lane0, double lane1) {
  return _mm_set_pd(lane1, lane0);
}
[[gnu::always_inline]] inline double Low(Lane2 v) { return _mm_cvtsd_f64(v.v); }
[[gnu::always_inline]] inline double High(Lane2 v) {
  return _mm_cvtsd_f64(_mm_unpackhi_pd(v.v, v.v));
}

// The comparisons, false in a lane holding NaN, as the scalar ones are.
[[gnu::always_inline]] inline Mask2 Greater(Lane2 a, Lane2 b) { return _mm_cmpgt_pd(a.v, b.v); }
[[gnu::always_inline]] inline Mask2 Less(Lane2 a, Lane2 b) { return _mm_cmplt_pd(a.v, b.v); }
/// a != b: true in a lane holding NaN, as the scalar comparison is.
[[gnu::always_inline]] inline Mask2 NotEqual(Lane2 a, Lane2 b) { return _mm_cmpneq_pd(a.v, b.v); }
[[gnu::always_inline]] inline Mask2 And(Mask2 a, Mask2 b) { return _mm_and_pd(a, b); }
[[gnu::always_inline]] inline Mask2 Or(Mask2 a, Mask2 b) { return _mm_or_pd(a, b); }
/// Bit 0 set where lane 0's mask holds, bit 1 where lane 1's does.
[[gnu::always_inline]] inline int Bits(Mask2 m) { return _mm_movemask_pd(m); }

/// `m ? a : b` in each lane.
[[gnu::always_inline]] inline Lane2 Select(Mask2 m, Lane2 a, Lane2 b) {
  return _mm_or_pd(_mm_and_pd(m, a.v), _mm_andnot_pd(m, b.v));
}

/// std::fabs and unary minus: the sign bit cleared or flipped, NaN included.
[[gnu::always_inline]] inline Lane2 Abs(Lane2 v) { return _mm_andnot_pd(_mm_set1_pd(-0.0), v.v); }
[[gnu::always_inline]] inline Lane2 Negate(Lane2 v) { return _mm_xor_pd(_mm_set1_pd(-0.0), v.v); }

/// std::max(0.0, std::min(1.0, v)): maxpd and minpd answer their second operand where the
/// comparison fails, as std::max and std::min answer their first: NaN becomes 1, -0 becomes +0.
[[gnu::always_inline]] inline Lane2 Clamp01(Lane2 v) {
  return _mm_max_pd(_mm_min_pd(v.v, _mm_set1_pd(1.0)), _mm_setzero_pd());
}

/// `if (v > 1) v = 1; if (v < -1) v = -1;`: a NaN stays.
[[gnu::always_inline]] inline Lane2 LimitToUnit(Lane2 v) {
  return _mm_max_pd(_mm_set1_pd(-1.0), _mm_min_pd(_mm_set1_pd(1.0), v.v));
}

/// `x < 0 ? -m : m`.
[[gnu::always_inline]] inline Lane2 NegateWhereNegative(Lane2 x, Lane2 m) {
  return Select(Less(x, Lane2(0.0)), Negate(m), m);
}

/// (1 - t) * a + t * b.
[[gnu::always_inline]] inline Lane2 Lerp(Lane2 a, Lane2 b, Lane2 t) {
  return (Lane2(1.0) - t) * a + t * b;
}

/// The transposed direct form II biquad step of both channels with the coefficients c (b0 b1 b2
/// a1 a2): y = b0 x + z1; z1 = b1 x - a1 y + z2; z2 = b2 x - a2 y.
[[gnu::always_inline]] inline Lane2 Biquad(const double* c, Lane2 x, Lane2& z1, Lane2& z2) {
  const Lane2 y = Lane2(c[0]) * x + z1;
  z1 = Lane2(c[1]) * x - Lane2(c[3]) * y + z2;
  z2 = Lane2(c[2]) * x - Lane2(c[4]) * y;
  return y;
}

/// x^4 in each lane, correctly rounded: `Math::PowInt(x, 4)` of the lane bit for bit. The fast
/// path runs in the lanes with `Math::Products` (fused ones only inside a function built for
/// the fused multiply-add); a lane whose rounding it leaves open, or outside its range, gets
/// `Math::PowInt`'s answer.
template <class Math>
[[gnu::always_inline]] inline Lane2 Pow4(Lane2 x) {
  namespace d = crmath::detail;
  const Lane2 ax = Abs(x);
  const Mask2 inRange =
      And(_mm_cmpge_pd(ax.v, _mm_set1_pd(d::kPow4FastFrom)), Less(ax, Lane2(d::kPow4FastBelow)));
  Lane2 y, low, high;
  d::Pow4Kernel(Select(inRange, ax, Lane2(1.0)), y, low, high, typename Math::Products{});
  const int decided = Bits(And(inRange, _mm_cmpeq_pd(low.v, high.v)));
  if (decided == 3) return y;
  return Pair((decided & 1) ? Low(y) : Math::PowInt(Low(x), 4),
              (decided & 2) ? High(y) : Math::PowInt(High(x), 4));
}

}  // namespace tolvane::lanes

#endif
