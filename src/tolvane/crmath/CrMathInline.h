#pragma once

// The inline part of CrMath.h: the fast paths' kernels, written once for doubles and for
// two-lane SSE2 vectors, and the functions that run them. Include CrMath.h, not this.

#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tolvane/crmath/CrMathTables.h"

namespace tolvane::crmath::detail {

// The fast path's relative error bound, with a margin over the worst case measured by
// the verification program.
constexpr double kTanhFastError = 0x1p-66;
constexpr double kPow4FastError = 0x1p-100;
constexpr double kPow3FastError = 0x1p-78;
// From here down tanh(x) rounds to x (x - x^3 / 3 is within half an ulp of x).
constexpr double kTanhLinearBelow = 0x1p-27;
// Inputs of the x^4 fast path: squares and their error terms stay normal and finite.
constexpr double kPow4FastFrom = 0x1p-200;
constexpr double kPow4FastBelow = 0x1p+200;
// Below this |g| 3^g rounds to 1 (|g| ln 3 below 2^-59: 3^g is within 2^-58 of 1).
constexpr double kPow3OneBelow = 0x1p-60;
// Inputs of the 3^g fast path: |g| below this keeps 3^g above 2^-952 and below 2^952, so the
// result, its low part and the scaling by 2^m stay normal (the slow path takes the rest,
// the subnormal results and the overflow among them).
constexpr double kPow3FastBelow = 600;

// How the kernels form exact products: by Dekker's splitting, in any IEEE double
// arithmetic, or by the fused multiply-add, only inside functions built for it (CrMath.cpp)
// and called after HasFusedMultiplyAdd(). Either way the products are exact, the kernels'
// values the same, and the rounded results the same bits.
struct SplitProducts {};
struct FusedProducts {};

#if defined(__SSE2__)
// Two doubles in one SSE2 register with the arithmetic the kernels use: every operation
// is each lane's IEEE operation, exactly what the scalar kernel does.
struct Lane2 {
  __m128d v;
  Lane2() = default;
  Lane2(__m128d x) : v(x) {}
  Lane2(double x) : v(_mm_set1_pd(x)) {}
};
inline Lane2 operator+(Lane2 a, Lane2 b) { return _mm_add_pd(a.v, b.v); }
inline Lane2 operator-(Lane2 a, Lane2 b) { return _mm_sub_pd(a.v, b.v); }
inline Lane2 operator*(Lane2 a, Lane2 b) { return _mm_mul_pd(a.v, b.v); }
inline Lane2 operator/(Lane2 a, Lane2 b) { return _mm_div_pd(a.v, b.v); }
inline Lane2 operator+(Lane2 a, double b) { return a + Lane2(b); }
inline Lane2 operator*(Lane2 a, double b) { return a * Lane2(b); }
#endif

// The kernels, written once for double and for two-lane vectors (Lane2); always inlined,
// so that they take the instruction set of the function they are in.
#define TOLVANE_CRMATH_INLINE [[gnu::always_inline]] inline
template <class V>
TOLVANE_CRMATH_INLINE void Split(V a, V& hi, V& lo) {
  const V c = a * 134217729.0;  // 2^27 + 1
  hi = c - (c - a);
  lo = a - hi;
}
// p + e == a b exactly (no overflow, no underflow).
template <class V>
TOLVANE_CRMATH_INLINE void TwoProd(V a, V b, V& p, V& e, SplitProducts) {
  p = a * b;
  V ah, al, bh, bl;
  Split(a, ah, al);
  Split(b, bh, bl);
  e = (((ah * bh - p) + ah * bl) + al * bh) + al * bl;
}
TOLVANE_CRMATH_INLINE void TwoProd(double a, double b, double& p, double& e, FusedProducts) {
  p = a * b;
  e = __builtin_fma(a, b, -p);
}
#if defined(__SSE2__)
TOLVANE_CRMATH_INLINE void TwoProd(Lane2 a, Lane2 b, Lane2& p, Lane2& e, FusedProducts) {
  p = a * b;
  double a1, b1, p1;
  _mm_storeh_pd(&a1, a.v);
  _mm_storeh_pd(&b1, b.v);
  _mm_storeh_pd(&p1, p.v);
  e = _mm_set_pd(__builtin_fma(a1, b1, -p1),
                 __builtin_fma(_mm_cvtsd_f64(a.v), _mm_cvtsd_f64(b.v), -_mm_cvtsd_f64(p.v)));
}
#endif
// s + e == a + b exactly.
template <class V>
TOLVANE_CRMATH_INLINE void TwoSum(V a, V b, V& s, V& e) {
  s = a + b;
  const V bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}
template <class V>
TOLVANE_CRMATH_INLINE void FastTwoSum(V a, V b, V& s, V& e) {  // |a| >= |b|
  s = a + b;
  e = b - (s - a);
}

// tanh(ax) for ax in [kTanhLinearBelow, kTanhOneFrom), ax = a + b with a = i / kTanhSteps
// from the table and |b| <= 1 / (2 kTanhSteps):
//   tanh(ax) = (tanh a + tanh b) / (1 + tanh a tanh b),
// tanh b = b + b^3 P(b^2) by its series through b^11, in double-double where it matters.
// Sets q1 + q2, whose relative error kTanhFastError bounds (the worst measured is 2^-68.4,
// mostly the rounding of tb near |b| = 2^-8).
template <class V, class P>
TOLVANE_CRMATH_INLINE void TanhKernelParts(V b, V th, V tl, V& q1, V& q2, P products) {
  using tables::kTanhPoly;
  // The quotient N / D of N = th + tl + b + tb and D = 1 + (th + tl)(b + tb), where only
  // tb = tanh b - b waits for the polynomial: everything else runs beside it.
  //  - th + b = s + e and 1 + th b = ds + de exactly; q1 = s / ds to 2^-52, and
  //    q1 ds = mh + ml exactly.
  //  - D = ds + dx with dx = de + pl + th tb + tl b (below 2^-24), and the remainder
  //    R = N - q1 D = (s - mh) - ml + e + tl + tb - q1 dx, below 2^-24 N, each term to
  //    2^-76 N (s - mh is exact: both are within a factor 2 of each other).
  //  - R / D = (R / ds)(1 - dx / ds) to (dx / ds)^2, about 2^-50 of a term of 2^-24 N.
  // tl tb (2^-53 of a term below 2^-24) is left out.
  V s, e;
  TwoSum(th, b, s, e);
  V ph, pl;
  TwoProd(th, b, ph, pl, products);
  V ds, de;
  FastTwoSum(V(1.0), ph, ds, de);
  const V r = V(1.0) / ds;
  q1 = s * r;
  V mh, ml;
  TwoProd(q1, ds, mh, ml, products);
  // P(b^2) by Estrin's scheme: three dependent steps instead of Horner's five.
  const V b2 = b * b;
  const V b4 = b2 * b2;
  const V p = (b2 * kTanhPoly[1] + kTanhPoly[0]) +
              b4 * ((b2 * kTanhPoly[3] + kTanhPoly[2]) + b4 * kTanhPoly[4]);
  const V tb = (b2 * b) * p;
  const V dx = (de + (pl + tl * b)) + th * tb;
  const V rem = (((((s - mh) - ml) + e) + tl) + tb) - q1 * dx;
  q2 = (rem * r) * (V(1.0) - dx * r);
}

// The value hi + lo (a double-double with relative error below `error`) rounded, and the
// two ends of the rounding test: the sum lies between them, so where they are equal it is
// the result, and the test stays off the result's path.
template <class V>
TOLVANE_CRMATH_INLINE void RoundOrTest(V hi, V lo, double error, V& y, V& low, V& high) {
  y = hi + lo;
  const V err = hi * error;
  low = hi + (lo - err);
  high = hi + (lo + err);
}

template <class V, class P>
TOLVANE_CRMATH_INLINE void TanhKernel(V b, V th, V tl, V& y, V& low, V& high, P products) {
  V q1, q2;
  TanhKernelParts(b, th, tl, q1, q2, products);
  RoundOrTest(q1, q2, kTanhFastError, y, low, high);
}

// x^4 = (s + e)^2 = q + f + 2 s e + e^2 with x^2 = s + e and s^2 = q + f exactly; sets
// q + t, the fast value before the rounding test.
template <class V, class P>
TOLVANE_CRMATH_INLINE void Pow4KernelParts(V x, V& q, V& t, P products) {
  V s, e, f;
  TwoProd(x, x, s, e, products);
  TwoProd(s, s, q, f, products);
  t = f + ((s * e) * 2.0 + e * e);
}

template <class V, class P>
TOLVANE_CRMATH_INLINE void Pow4Kernel(V x, V& y, V& low, V& high, P products) {
  V q, t;
  Pow4KernelParts(x, q, t, products);
  RoundOrTest(q, t, kPow4FastError, y, low, high);
}

// 3^g = 2^m 2^(j / kExp2Steps) e^r for |g| in [kPow3OneBelow, kPow3FastBelow), g not an
// integer >= 0; sets hi + lo, 3^g / 2^m to a relative error below kPow3FastError (the worst
// measured is 2^-81.6), and returns m.
//  - g ln3 = p + e + g ln3lo with p + e = g ln3hi exactly, within 2^-96 of g ln 3.
//  - k = m kExp2Steps + j is p kExp2Steps / ln2 rounded to an integer (|k| < 2^18), and
//    r = g ln3 - k c with c = c1 + c2 + c3 = ln2 / kExp2Steps: |r| < c / 2 + 2^-32 < 2^-9.4.
//    k c1 and k c2 are exact (c1 and c2 have 34 bits), and so is p - k c1 (p itself for
//    k = 0; else |p| >= 2^-10, both are multiples of ulp(p) >= 2^-62 and their difference
//    is below 2^-9.4); r = rh + rl with |rl| <= ulp(rh) / 2, within 2^-94.
//  - e^r - 1 = rh + rh^2 / 2 + rh^3 Q(rh) + rl (1 + rh), Q through rh^4 / 7! (the next term
//    is below 2^-91); E = eh + el with |el| <= ulp(eh) / 2, within about 2^-81 (five
//    roundings of 2^-84 in the cubic term, below 2^-30, dominate).
//  - 3^g / 2^m = (th + tl)(1 + E) = th + th eh + tl + th el + tl eh, th eh exactly.
template <class P>
TOLVANE_CRMATH_INLINE int Pow3KernelParts(double g, double& hi, double& lo, P products) {
  using tables::kExp2Table;
  using tables::kExpPoly;
  using tables::kLn2ByExp2Steps;
  double p, e;
  TwoProd(g, tables::kLn3Hi, p, e, products);
  // Adding 1.5 * 2^52 to a value below 2^51 rounds it to an integer, which the low bits of
  // the sum hold (two's complement).
  constexpr double kIntegerShift = 0x1.8p52;
  const double shifted = p * tables::kExp2StepsByLn2 + kIntegerShift;
  uint64_t bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  const auto k = static_cast<int32_t>(static_cast<uint32_t>(bits));
  const double kd = shifted - kIntegerShift;
  double a, b;
  TwoSum(p - kd * kLn2ByExp2Steps[0], -(kd * kLn2ByExp2Steps[1]), a, b);
  const double tail = b + ((e + g * tables::kLn3Lo) - kd * kLn2ByExp2Steps[2]);
  double rh, rl;
  TwoSum(a, tail, rh, rl);
  // rh^2 = s + f exactly; Q(rh) by Estrin's scheme.
  double s, f;
  TwoProd(rh, rh, s, f, products);
  const double q =
      (rh * kExpPoly[1] + kExpPoly[0]) + s * ((rh * kExpPoly[3] + kExpPoly[2]) + s * kExpPoly[4]);
  double u, v;
  FastTwoSum(rh, s * 0.5, u, v);  // |rh| >= rh^2 / 2
  const double w = v + (rl + ((f * 0.5 + rh * rl) + (s * rh) * q));
  double eh, el;
  FastTwoSum(u, w, eh, el);
  const int j = k & (tables::kExp2Steps - 1);
  const double th = kExp2Table[j][0];
  const double tl = kExp2Table[j][1];
  double ph, pl;
  TwoProd(th, eh, ph, pl, products);
  double h2;
  FastTwoSum(th, ph, hi, h2);  // th >= 1 > |ph|
  lo = h2 + (pl + (tl + (th * el + tl * eh)));
  return (k - j) / tables::kExp2Steps;
}

// 2^m for a normal result (|m| <= 1022).
inline double PowerOfTwo(int m) {
  const uint64_t bits = static_cast<uint64_t>(m + 1023) << 52;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// The slow paths and the special values (CrMathSlow.cpp, CrMath.cpp).
double PowIntSpecialOrExact(double x, int n);  // PowInt without its x^4 fast path
double TanhSlow(double ax);                    // ax in [kTanhLinearBelow, tables::kTanhOneFrom)
double Pow3Slow(double g);                     // |g| in [2^-60, 700), g not an integer >= 0
// Finite x != 0, 0 <= n, and m^n below 2^1088 for |x| = m 2^e with m odd (any x for
// n <= kMaxPowIntExponent, and 3^n up to the largest finite one).
double PowIntExact(double x, int n);

// Adding 1.5 * 2^45 to a value below 2^44 rounds it to a multiple of 2^-7, the grid step,
// whose index the low bits of the sum hold.
constexpr double kGridShift = 0x1.8p45;
static_assert(tables::kTanhSteps == 128, "the grid shift rounds to multiples of 1/128");

// The grid point nearest ax (its table row) and the exact remainder b: ax and the grid
// point are within a factor 2 of each other, or the point is 0.
inline uint32_t TanhGrid(double ax, double& b) {
  const double shifted = ax + kGridShift;
  uint64_t bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  b = ax - (shifted - kGridShift);
  return static_cast<uint32_t>(bits);
}

// The fast path alone, for ax in [kTanhLinearBelow, kTanhOneFrom): true and the result
// when its rounding test decides.
template <class P = SplitProducts>
TOLVANE_CRMATH_INLINE bool TanhFast(double ax, double& y) {
  double b, low, high;
  const uint32_t i = TanhGrid(ax, b);
  TanhKernel(b, tables::kTanhTable[i][0], tables::kTanhTable[i][1], y, low, high, P{});
  return low == high;
}

// The fast path's value hi + lo before its rounding test, for the verification program.
inline void TanhFastParts(double ax, double& hi, double& lo) {
  double b;
  const uint32_t i = TanhGrid(ax, b);
  TanhKernelParts(b, tables::kTanhTable[i][0], tables::kTanhTable[i][1], hi, lo, SplitProducts{});
}

// The same for x^4, |x| in [kPow4FastFrom, kPow4FastBelow).
template <class P = SplitProducts>
TOLVANE_CRMATH_INLINE bool Pow4Fast(double x, double& y) {
  double low, high;
  Pow4Kernel(x, y, low, high, P{});
  return low == high;
}

inline void Pow4FastParts(double x, double& hi, double& lo) {
  Pow4KernelParts(x, hi, lo, SplitProducts{});
}

// The same for 3^g, g in the kernel's domain: the rounding test runs on 3^g / 2^m, whose
// rounding scales exactly to 3^g's while the result is normal.
template <class P = SplitProducts>
TOLVANE_CRMATH_INLINE bool Pow3Fast(double g, double& y) {
  double hi, lo, low, high;
  const int m = Pow3KernelParts(g, hi, lo, P{});
  RoundOrTest(hi, lo, kPow3FastError, y, low, high);
  y *= PowerOfTwo(m);
  return low == high;
}

inline void Pow3FastParts(double g, double& hi, double& lo) {
  const double scale = PowerOfTwo(Pow3KernelParts(g, hi, lo, SplitProducts{}));
  hi *= scale;
  lo *= scale;
}

// |y| with x's sign: tanh and odd powers are odd functions, and rounding to nearest is
// symmetric, so the negative half is the positive one mirrored.
inline double WithSignOf(double y, double x) { return x < 0 ? -y : y; }

template <class P>
TOLVANE_CRMATH_INLINE double TanhWith(double x) {
  const double ax = x < 0 ? -x : x;
  if (!(ax >= kTanhLinearBelow)) return x != x ? x + x : x;   // NaN, or rounds to x
  if (ax >= tables::kTanhOneFrom) return WithSignOf(1.0, x);  // also the infinities
  double y;
  if (!TanhFast<P>(ax, y)) y = TanhSlow(ax);
  return WithSignOf(y, x);
}

template <class P>
TOLVANE_CRMATH_INLINE void Tanh2With(double x0, double x1, double& y0, double& y1) {
#if defined(__SSE2__)
  const __m128d x = _mm_set_pd(x1, x0);
  const __m128d signBit = _mm_set1_pd(-0.0);
  const __m128d ax = _mm_andnot_pd(signBit, x);
  const __m128d inDomain = _mm_and_pd(_mm_cmpge_pd(ax, _mm_set1_pd(kTanhLinearBelow)),
                                      _mm_cmplt_pd(ax, _mm_set1_pd(tables::kTanhOneFrom)));
  // Lanes outside the domain (the scalar function answers them) compute at 1.
  const __m128d at = _mm_or_pd(_mm_and_pd(inDomain, ax), _mm_andnot_pd(inDomain, _mm_set1_pd(1.0)));
  const __m128d shift = _mm_set1_pd(kGridShift);
  const __m128d shifted = _mm_add_pd(at, shift);
  const __m128i index = _mm_castpd_si128(shifted);
  const int i0 = _mm_cvtsi128_si32(index);
  const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 2));
  const __m128d b = _mm_sub_pd(at, _mm_sub_pd(shifted, shift));
  const __m128d row0 = _mm_loadu_pd(tables::kTanhTable[i0]);
  const __m128d row1 = _mm_loadu_pd(tables::kTanhTable[i1]);
  Lane2 y, low, high;
  TanhKernel(Lane2(b), Lane2(_mm_unpacklo_pd(row0, row1)), Lane2(_mm_unpackhi_pd(row0, row1)), y,
             low, high, P{});
  const int decided = _mm_movemask_pd(_mm_and_pd(inDomain, _mm_cmpeq_pd(low.v, high.v)));
  if (decided == 3) {
    const __m128d signed_ = _mm_or_pd(y.v, _mm_and_pd(signBit, x));
    y0 = _mm_cvtsd_f64(signed_);
    y1 = _mm_cvtsd_f64(_mm_unpackhi_pd(signed_, signed_));
    return;
  }
  // A lane the fast path leaves open gets the scalar function's answer.
  y0 = (decided & 1) ? WithSignOf(_mm_cvtsd_f64(y.v), x0) : TanhWith<P>(x0);
  y1 = (decided & 2) ? WithSignOf(_mm_cvtsd_f64(_mm_unpackhi_pd(y.v, y.v)), x1) : TanhWith<P>(x1);
#else
  y0 = TanhWith<P>(x0);
  y1 = TanhWith<P>(x1);
#endif
}

template <class P>
TOLVANE_CRMATH_INLINE double PowIntWith(double x, int n) {
  if (n == 4) {
    const double ax = x < 0 ? -x : x;
    double y;
    if (ax >= kPow4FastFrom && ax < kPow4FastBelow && Pow4Fast<P>(ax, y)) return y;
  }
  return PowIntSpecialOrExact(x, n);
}

// The fused variants, built for the fused multiply-add (CrMath.cpp): call them only where
// HasFusedMultiplyAdd() is true.
double TanhFused(double x);
void Tanh2Fused(double x0, double x1, double& y0, double& y1);
double PowIntFused(double x, int n);

}  // namespace tolvane::crmath::detail

namespace tolvane::crmath {

inline double Tanh(double x) { return detail::TanhWith<detail::SplitProducts>(x); }
inline double PowInt(double x, int n) { return detail::PowIntWith<detail::SplitProducts>(x, n); }

}  // namespace tolvane::crmath

#undef TOLVANE_CRMATH_INLINE
