#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tolvane/crmath/CrMathTables.h"

#if defined(__FAST_MATH__)
#error "correct rounding needs IEEE arithmetic: build without fast-math"
#endif

/// Tolvane's own correctly rounded math: every result is the double nearest the exact
/// value (ties to even), so it depends on the input alone, the same bits on every
/// platform and compiler. Only IEEE double additions, subtractions, multiplications
/// and divisions in a fixed order, and integer arithmetic: no C library math, no x87,
/// no fused multiply-add (the build keeps contraction off).
///
/// Each function first evaluates a fast path carrying about 2^-66 (tanh) or 2^-100
/// (x^4) relative error and rounds from it when both ends of that error bound round to
/// the same double; otherwise, rarely, an exact slow path decides (multi-precision
/// arithmetic, more limbs until the rounding is certain).
///
/// Thread safety and real time: [any-thread], pure functions of their arguments; no
/// allocation, no lock, no system call, also on the slow paths (fixed-size stack arrays).
namespace tolvane::crmath {

/// The largest exponent PowInt takes.
constexpr int kMaxPowIntExponent = 20;

double Tanh(double x);
/// Two tanh at once in SSE2 lanes (where available): y0 and y1 equal Tanh(x0) and
/// Tanh(x1) bit for bit.
void Tanh2(double x0, double x1, double& y0, double& y1);
/// x^n for 0 <= n <= kMaxPowIntExponent, the exact product rounded once; n == 4 has a
/// fast path. As the C library: x^0 = 1 for every x, NaN stays NaN, overflow gives
/// infinity with x's sign for odd n. An n outside the range answers NaN.
double PowInt(double x, int n);
/// 3^g: 0 for -infinity, infinity for +infinity and above about 646.07, exact for
/// integral g >= 0.
double Pow3(double g);

namespace detail {

// The fast path's relative error bound, with a margin over the worst case measured by
// the verification program.
constexpr double kTanhFastError = 0x1p-66;
constexpr double kPow4FastError = 0x1p-100;
// From here down tanh(x) rounds to x (x - x^3 / 3 is within half an ulp of x).
constexpr double kTanhLinearBelow = 0x1p-27;
// Inputs of the x^4 fast path: squares and their error terms stay normal and finite.
constexpr double kPow4FastFrom = 0x1p-200;
constexpr double kPow4FastBelow = 0x1p+200;

// The kernels, written once for double and for two-lane vectors (Lane2).
template <class V>
inline void Split(V a, V& hi, V& lo) {
  const V c = a * 134217729.0;  // 2^27 + 1
  hi = c - (c - a);
  lo = a - hi;
}
template <class V>
inline void TwoProd(V a, V b, V& p, V& e) {
  p = a * b;
  V ah, al, bh, bl;
  Split(a, ah, al);
  Split(b, bh, bl);
  e = (((ah * bh - p) + ah * bl) + al * bh) + al * bl;
}
template <class V>
inline void TwoSum(V a, V b, V& s, V& e) {
  s = a + b;
  const V bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}
template <class V>
inline void FastTwoSum(V a, V b, V& s, V& e) {
  s = a + b;
  e = b - (s - a);
}

// tanh(ax) for ax in [kTanhLinearBelow, kTanhOneFrom), ax = a + b with a = i / kTanhSteps
// from the table and |b| <= 1 / (2 kTanhSteps):
//   tanh(ax) = (tanh a + tanh b) / (1 + tanh a tanh b),
// tanh b = b + b^3 P(b^2) by its series through b^11, in double-double where it matters.
// Sets the quotient q1 + q2, the fast value before the rounding test's error margin.
template <class V>
inline void TanhKernelParts(V b, V th, V tl, V& q1, V& q2) {
  using tables::kTanhPoly;
  const V b2 = b * b;
  const V p = (((b2 * kTanhPoly[4] + kTanhPoly[3]) * b2 + kTanhPoly[2]) * b2 + kTanhPoly[1]) * b2 +
              kTanhPoly[0];
  const V tb = (b2 * b) * p;  // tanh b - b
  // Numerator th + tl + b + tb.
  V s, e;
  TwoSum(th, b, s, e);
  V nh, nl;
  FastTwoSum(s, e + (tl + tb), nh, nl);
  // Denominator 1 + (th + tl)(b + tb).
  V ph, pl;
  TwoProd(th, b, ph, pl);
  V ds, de;
  FastTwoSum(V(1.0), ph, ds, de);
  // th tb reaches 2^-26: renormalised so that dl is below half an ulp of dh, which the
  // one-step division below needs.
  V dh, dl;
  FastTwoSum(ds, de + (pl + (th * tb + tl * b)), dh, dl);
  // Quotient q1 + q2.
  q1 = nh / dh;
  V mh, ml;
  TwoProd(q1, dh, mh, ml);
  q2 = ((((nh - mh) - ml) + nl) - q1 * dl) / dh;
}

// Sets the two ends of the rounding test; when they are equal, that is the result.
template <class V>
inline void TanhKernel(V b, V th, V tl, V& low, V& high) {
  V q1, q2;
  TanhKernelParts(b, th, tl, q1, q2);
  const V err = q1 * kTanhFastError;
  low = q1 + (q2 - err);
  high = q1 + (q2 + err);
}

// x^4 = (s + e)^2 = q + f + 2 s e + e^2 with x^2 = s + e and s^2 = q + f exactly; sets
// q + t, the fast value before the rounding test's error margin.
template <class V>
inline void Pow4KernelParts(V x, V& q, V& t) {
  V s, e, f;
  TwoProd(x, x, s, e);
  TwoProd(s, s, q, f);
  t = f + ((s * e) * 2.0 + e * e);
}

// Sets the two ends of the rounding test; when they are equal, that is the result.
template <class V>
inline void Pow4Kernel(V x, V& low, V& high) {
  V q, t;
  Pow4KernelParts(x, q, t);
  const V err = q * kPow4FastError;
  low = q + (t - err);
  high = q + (t + err);
}

double TanhSlow(double ax);  // ax in [kTanhLinearBelow, kTanhOneFrom)
double Pow3Slow(double g);   // |g| in [2^-60, 700), g not an integer >= 0
// Finite x != 0, 0 <= n, and m^n below 2^1088 for |x| = m 2^e with m odd (any x for
// n <= kMaxPowIntExponent, and 3^n up to the largest finite one).
double PowIntExact(double x, int n);

// The fast path alone: true and the result when its rounding test decides.
bool TanhFast(double ax, double& y);  // ax in [kTanhLinearBelow, kTanhOneFrom)
bool Pow4Fast(double x, double& y);   // |x| in [kPow4FastFrom, kPow4FastBelow)
// The fast paths' values before the rounding test, hi + lo unrounded (same domains), for
// the verification program to measure their error against the bounds above.
void TanhFastParts(double ax, double& hi, double& lo);
void Pow4FastParts(double x, double& hi, double& lo);

}  // namespace detail
}  // namespace tolvane::crmath
