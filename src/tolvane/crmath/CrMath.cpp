#include "tolvane/crmath/CrMath.h"

namespace tolvane::crmath {

namespace {

using detail::kTanhLinearBelow;
using tables::kTanhOneFrom;
using tables::kTanhSteps;
using tables::kTanhTable;

constexpr double kTanhStep = 1.0 / kTanhSteps;
static_assert(kTanhStep * kTanhSteps == 1, "the grid step is a power of two");

double QuietNaN() { return std::numeric_limits<double>::quiet_NaN(); }

// ax = i / kTanhSteps + b for the nearest grid point i; returns i.
int TanhReduce(double ax, double& b) {
  const int i = static_cast<int>(ax * kTanhSteps + 0.5);
  b = ax - i * kTanhStep;  // exact: ax and the grid point are within a factor 2
  return i;
}

// |x| with x's sign bit put back: tanh and x^n for odd n are odd functions, and
// round-to-nearest is symmetric, so the negative half is the positive one mirrored.
double WithSign(double magnitude, double x) { return x < 0 ? -magnitude : magnitude; }

#if defined(__SSE2__)
// Two doubles in one SSE2 register, with the arithmetic the kernels use: every operation
// is the IEEE operation of each lane, exactly what the scalar kernel does.
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

}  // namespace

namespace detail {

bool TanhFast(double ax, double& y) {
  double b;
  const int i = TanhReduce(ax, b);
  double low, high;
  TanhKernel(b, kTanhTable[i][0], kTanhTable[i][1], low, high);
  y = low;
  return low == high;
}

void TanhFastParts(double ax, double& hi, double& lo) {
  double b;
  const int i = TanhReduce(ax, b);
  TanhKernelParts(b, kTanhTable[i][0], kTanhTable[i][1], hi, lo);
}

void Pow4FastParts(double x, double& hi, double& lo) { Pow4KernelParts(x, hi, lo); }

bool Pow4Fast(double x, double& y) {
  double low, high;
  Pow4Kernel(x, low, high);
  y = low;
  return low == high;
}

}  // namespace detail

double Tanh(double x) {
  const double ax = x < 0 ? -x : x;
  if (!(ax >= kTanhLinearBelow)) return x != x ? x + x : x;  // NaN, or rounds to x
  if (ax >= kTanhOneFrom) return WithSign(1.0, x);           // also the infinities
  double y;
  if (!detail::TanhFast(ax, y)) y = detail::TanhSlow(ax);
  return WithSign(y, x);
}

void Tanh2(double x0, double x1, double& y0, double& y1) {
#if defined(__SSE2__)
  const __m128d x = _mm_set_pd(x1, x0);
  const __m128d signBit = _mm_set1_pd(-0.0);
  const __m128d ax = _mm_andnot_pd(signBit, x);
  const __m128d inDomain = _mm_and_pd(_mm_cmpge_pd(ax, _mm_set1_pd(kTanhLinearBelow)),
                                      _mm_cmplt_pd(ax, _mm_set1_pd(kTanhOneFrom)));
  // Lanes outside the domain (the scalar function answers them) compute at 1.
  const __m128d at = _mm_or_pd(_mm_and_pd(inDomain, ax), _mm_andnot_pd(inDomain, _mm_set1_pd(1.0)));
  const __m128i index =
      _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(at, _mm_set1_pd(kTanhSteps)), _mm_set1_pd(0.5)));
  const int i0 = _mm_cvtsi128_si32(index);
  const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1));
  const __m128d b = _mm_sub_pd(at, _mm_mul_pd(_mm_cvtepi32_pd(index), _mm_set1_pd(kTanhStep)));
  const __m128d row0 = _mm_loadu_pd(kTanhTable[i0]);
  const __m128d row1 = _mm_loadu_pd(kTanhTable[i1]);
  Lane2 low, high;
  detail::TanhKernel(Lane2(b), Lane2(_mm_unpacklo_pd(row0, row1)),
                     Lane2(_mm_unpackhi_pd(row0, row1)), low, high);
  const int decided = _mm_movemask_pd(_mm_and_pd(inDomain, _mm_cmpeq_pd(low.v, high.v)));
  const __m128d y = _mm_or_pd(low.v, _mm_and_pd(signBit, x));
  alignas(16) double out[2];
  _mm_store_pd(out, y);
  y0 = (decided & 1) ? out[0] : Tanh(x0);
  y1 = (decided & 2) ? out[1] : Tanh(x1);
#else
  y0 = Tanh(x0);
  y1 = Tanh(x1);
#endif
}

double PowInt(double x, int n) {
  if (n < 0 || n > kMaxPowIntExponent) return QuietNaN();
  if (n == 0) return 1.0;
  if (x != x) return x + x;
  const double ax = x < 0 ? -x : x;
  if (ax == 0 || ax == std::numeric_limits<double>::infinity()) {
    const double magnitude = ax == 0 ? 0.0 : ax;
    return (n & 1) ? WithSign(magnitude, x) : magnitude;  // -0 to an odd power stays -0
  }
  if (n == 4 && ax >= detail::kPow4FastFrom && ax < detail::kPow4FastBelow) {
    double y;
    if (detail::Pow4Fast(ax, y)) return y;
  }
  return detail::PowIntExact(x, n);
}

double Pow3(double g) {
  if (g != g) return g + g;
  const double ag = g < 0 ? -g : g;
  // |g| ln3 below 2^-59: 3^g is within 2^-58 of 1 and rounds to it.
  if (ag < 0x1p-60) return 1.0;
  if (g > 647) return std::numeric_limits<double>::infinity();  // 3^647 > 2^1025
  if (g < -680) return 0.0;                                     // 3^-680 < 2^-1077
  const double whole = static_cast<double>(static_cast<int>(g));
  if (whole == g && g > 0) return detail::PowIntExact(3.0, static_cast<int>(g));
  return detail::Pow3Slow(g);
}

}  // namespace tolvane::crmath
