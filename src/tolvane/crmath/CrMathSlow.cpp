// The exact slow paths: multi-precision evaluation with an error bound, rounded only
// when both ends of the bound round to the same double, else repeated with more limbs
// (Ziv's strategy). tanh and 3^g of a double are never exactly a double or a midpoint
// between two (except the cases answered before: 0, and 3^g for an integer g, which is
// an exact product), so a precision that decides always exists; the hardest doubles
// need far fewer bits than the last level offers.

#include <type_traits>

#include "tolvane/crmath/BigFixed.h"
#include "tolvane/crmath/CrMath.h"
#include "tolvane/crmath/CrMathTables.h"

namespace tolvane::crmath::detail {

namespace {

// Index of the highest set bit of W counted from its least significant bit, or -1.
int TopBit(const u64* w, int n) {
  for (int i = 0; i < n; ++i) {
    if (w[i]) return 64 * (n - 1 - i) + 63 - __builtin_clzll(w[i]);
  }
  return -1;
}

// Bit `k` (0 = least significant) of W.
int BitAt(const u64* w, int n, int k) {
  if (k < 0 || k >= 64 * n) return 0;
  return static_cast<int>((w[n - 1 - k / 64] >> (k % 64)) & 1);
}

// Whether any bit below `k` is set.
bool AnyBelow(const u64* w, int n, int k) {
  if (k <= 0) return false;
  const int fullLimbs = k / 64, rest = k % 64;
  for (int i = 0; i < fullLimbs && i < n; ++i) {
    if (w[n - 1 - i]) return true;
  }
  if (rest && fullLimbs < n) return (w[n - 1 - fullLimbs] & ((u64{1} << rest) - 1)) != 0;
  return false;
}

// floor(W / 2^k) for a result below 2^64.
u64 BitsFrom(const u64* w, int n, int k) {
  u64 v = 0;
  const int top = TopBit(w, n);
  for (int b = top; b >= k; --b) v = (v << 1) | static_cast<u64>(BitAt(w, n, b));
  return v;
}

// e^s for 0 <= s < 1 by its Taylor series. Error below 8 ulps per term summed
// (each term truncates twice and carries its predecessor's error times s/n < 1).
template <int N>
BigFixed<N> ExpTaylor(const BigFixed<N>& s, int& terms) {
  BigFixed<N> sum = BigFixed<N>::One();
  BigFixed<N> term = BigFixed<N>::One();
  terms = 0;
  for (u64 k = 1; k < 1000; ++k) {
    term = BigFixed<N>::Mul(term, s);
    term.DivSmall(k);
    if (term.IsZero()) break;
    sum.Add(term);
    ++terms;
  }
  return sum;
}

// y = q ln2 + r with 0 <= r < ln2 (r from the truncated ln2: the caller counts q ulps).
template <int N>
u64 ReduceByLn2(const BigFixed<N>& y, double estimate, BigFixed<N>& r) {
  const BigFixed<N> ln2 = BigFixed<N>::FromLimbs(tables::kLn2);
  u64 q = estimate > 0 ? static_cast<u64>(estimate / 0.6931471805599453) : 0;
  for (;;) {
    BigFixed<N> qln2 = ln2;
    qln2.MulSmall(q);
    if (qln2.Compare(y) > 0) {
      --q;
      continue;
    }
    r = y;
    r.Sub(qln2);
    if (r.Compare(ln2) >= 0) {
      ++q;
      continue;
    }
    return q;
  }
}

// Rounds value +- bound ulps (times 2^scale); true and the double when both ends agree.
template <int N>
bool RoundIfDecided(const BigFixed<N>& value, u64 boundUlps, int scale, double& out) {
  BigFixed<N> lo = value, hi = value;
  lo.SubUlpsClamped(boundUlps);
  hi.AddUlps(boundUlps);
  const int s = scale - BigFixed<N>::kFractionBits;
  const double a = RoundToDouble(lo.w, N, s, false);
  const double b = RoundToDouble(hi.w, N, s, false);
  out = a;
  return DoubleBits(a) == DoubleBits(b);
}

// tanh(ax) for ax in [2^-27, 2^6) at N limbs: (1 - u) / (1 + u) with u = e^(-2 ax) =
// 2^-(q + 1) e^(ln2 - r) for 2 ax = q ln2 + r. Error below 2^12 ulps: u carries
// q + 1 ulps from ln2 and < 8 per Taylor term (< 100 terms), and (1 - u) / (1 + u)
// moves by at most 2 du.
template <int N>
bool TanhAt(double ax, double& out) {
  const double y = 2 * ax;
  BigFixed<N> r;
  const u64 q = ReduceByLn2(BigFixed<N>::FromDouble(y), y, r);
  BigFixed<N> s = BigFixed<N>::FromLimbs(tables::kLn2);
  s.Sub(r);
  int terms = 0;
  BigFixed<N> u = ExpTaylor(s, terms);
  u.ShiftRight(static_cast<int>(q + 1));
  BigFixed<N> num = BigFixed<N>::One(), den = BigFixed<N>::One();
  num.Sub(u);
  den.Add(u);
  const BigFixed<N> t = BigFixed<N>::Div(num, den);
  const u64 bound = 2 * (q + 2 + 8 * static_cast<u64>(terms + 2)) + 4;
  return RoundIfDecided(t, bound, 0, out);
}

// 3^g for |g| in [2^-60, 700) and g no integer >= 0, at N limbs: y = |g| ln3 = q ln2 + r,
// 3^g = 2^k e^s with k and s from q and r by g's sign. Error below 2^14 ulps: y carries
// |g| + 1 ulps (ln3 truncated), r another q, the Taylor terms < 8 each, and e^s < 2
// doubles what s carries.
template <int N>
bool Pow3At(double g, double& out) {
  const double ag = g < 0 ? -g : g;
  const BigFixed<N> y =
      BigFixed<N>::Mul(BigFixed<N>::FromDouble(ag), BigFixed<N>::FromLimbs(tables::kLn3));
  BigFixed<N> r;
  const u64 q = ReduceByLn2(y, ag * 1.0986122886681098, r);
  int64_t k = static_cast<int64_t>(q);
  BigFixed<N> s = r;
  if (g < 0) {
    k = -k;
    if (!r.IsZero()) {
      k -= 1;
      s = BigFixed<N>::FromLimbs(tables::kLn2);
      s.Sub(r);
    }
  }
  int terms = 0;
  const BigFixed<N> e = ExpTaylor(s, terms);
  const u64 bound = 2 * (static_cast<u64>(ag) + 2 + q + 8 * static_cast<u64>(terms + 2)) + 4;
  return RoundIfDecided(e, bound, static_cast<int>(k), out);
}

// The first of 3, 6 and 10 limbs whose error bound decides the rounding, else 18 limbs'
// rounding: `at(limbs, out)` evaluates at std::integral_constant<int, N> limbs.
template <class At>
double AtIncreasingPrecision(At at) {
  double out;
  if (at(std::integral_constant<int, 3>{}, out) || at(std::integral_constant<int, 6>{}, out) ||
      at(std::integral_constant<int, 10>{}, out)) {
    return out;
  }
  at(std::integral_constant<int, 18>{}, out);
  return out;
}

}  // namespace

double RoundToDouble(const u64* w, int n, int scale, bool negative) {
  const u64 sign = negative ? u64{1} << 63 : 0;
  const int top = TopBit(w, n);
  if (top < 0) return FromBits(sign);
  const int exponent = top + scale;  // of the leading bit
  if (exponent > 1023) return FromBits(sign | (u64{0x7ff} << 52));
  // Keep the bits from weight 2^(exponent - 52), or from 2^-1074 for subnormal results.
  const int lowWeight = exponent >= -1022 ? exponent - 52 : -1074;
  const int k = lowWeight - scale;  // W's bit index of that weight
  u64 m;
  bool roundUp;
  if (k <= 0) {
    m = BitsFrom(w, n, 0) << (-k);  // exact
    roundUp = false;
  } else {
    m = k > top ? 0 : BitsFrom(w, n, k);
    const bool half = BitAt(w, n, k - 1) != 0;
    const bool sticky = AnyBelow(w, n, k - 1);
    roundUp = half && (sticky || (m & 1));
  }
  if (roundUp) ++m;
  if (exponent >= -1022 || m >= (u64{1} << 52)) {
    // Normal (a subnormal may round up to the least normal, whose bits follow the same rule).
    int e = lowWeight + 52;
    if (m >= (u64{1} << 53)) {
      m >>= 1;
      ++e;
    }
    if (e > 1023) return FromBits(sign | (u64{0x7ff} << 52));
    return FromBits(sign | (static_cast<u64>(e + 1023) << 52) | (m & ((u64{1} << 52) - 1)));
  }
  return FromBits(sign | m);
}

double TanhSlow(double ax) {
  return AtIncreasingPrecision(
      [ax](auto limbs, double& out) { return TanhAt<decltype(limbs)::value>(ax, out); });
}

double Pow3Slow(double g) {
  return AtIncreasingPrecision(
      [g](auto limbs, double& out) { return Pow3At<decltype(limbs)::value>(g, out); });
}

double PowIntExact(double x, int n) {
  // |x| = m 2^e exactly; |x|^n = m^n 2^(e n), m^n a big integer of at most 53 n bits.
  const bool negative = (DoubleBits(x) >> 63) && (n & 1);
  u64 m;
  int e;
  Decompose(x, m, e);
  const int zeros = __builtin_ctzll(m);
  m >>= zeros;
  e += zeros;
  constexpr int kLimbs = 17;  // m^n below 2^(64 kLimbs)
  u64 acc[kLimbs] = {};       // least significant first while multiplying
  acc[0] = 1;
  int used = 1;
  for (int i = 0; i < n; ++i) {
    u64 carry = 0;
    for (int j = 0; j < used; ++j) {
      const u128 p = static_cast<u128>(acc[j]) * m + carry;
      acc[j] = static_cast<u64>(p);
      carry = static_cast<u64>(p >> 64);
    }
    if (carry) acc[used++] = carry;
  }
  u64 msFirst[kLimbs];
  for (int i = 0; i < kLimbs; ++i) msFirst[i] = acc[kLimbs - 1 - i];
  return RoundToDouble(msFirst, kLimbs, e * n, negative);
}

}  // namespace tolvane::crmath::detail
