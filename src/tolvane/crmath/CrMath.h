#pragma once

#if defined(__FAST_MATH__)
#error "correct rounding needs IEEE arithmetic: build without fast-math"
#endif

/// Tolvane's own correctly rounded math: every result is the double nearest the exact
/// value (ties to even), so it depends on the input alone, the same bits on every
/// platform and compiler. Only IEEE double additions, subtractions, multiplications
/// and divisions in a fixed order, and integer arithmetic: no C library math, no x87,
/// fused multiply-add only as an explicit operation in the `Fused` variants, which a
/// caller picks after a run-time check (the build keeps contraction off).
///
/// Each function first evaluates a fast path carrying about 2^-66 (tanh), 2^-78 (3^g) or
/// 2^-100 (x^4) relative error and rounds from it when both ends of that error bound round to
/// the same double; otherwise, rarely, an exact slow path decides (multi-precision
/// arithmetic, more limbs until the rounding is certain).
///
/// Thread safety and real time: [any-thread], pure functions of their arguments; no
/// allocation, no lock, no system call, also on the slow paths (fixed-size stack arrays).
namespace tolvane::crmath {

/// The largest exponent PowInt takes.
constexpr int kMaxPowIntExponent = 20;

/// tanh(x) for every double: ±0 stays ±0, ±infinity gives ±1, NaN stays NaN.
inline double Tanh(double x);
/// Two tanh at once in SSE2 lanes (where available): y0 and y1 equal Tanh(x0) and
/// Tanh(x1) bit for bit.
void Tanh2(double x0, double x1, double& y0, double& y1);
/// x^n for 0 <= n <= kMaxPowIntExponent, the exact product rounded once; n == 4 has a
/// fast path. As the C library: x^0 = 1 for every x, NaN stays NaN, overflow gives
/// infinity with x's sign for odd n. An n outside the range answers NaN.
inline double PowInt(double x, int n);
/// Whether this processor has the fused multiply-add, which the `detail::...Fused` variants
/// need (the same results, sooner). [any-thread] after the first call.
bool HasFusedMultiplyAdd();
/// 3^g: 0 for -infinity, infinity for +infinity and above about 646.07, exact for
/// integral g >= 0; a fast path for |g| below 600.
double Pow3(double g);

}  // namespace tolvane::crmath

// The fast paths, inline so that a caller's loop keeps them in registers.
#include "tolvane/crmath/CrMathInline.h"
