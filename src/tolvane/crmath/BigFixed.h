#pragma once

#include <cstdint>
#include <cstring>

// Multi-precision arithmetic for the slow paths of the correctly rounded functions:
// fixed-point numbers of N 64-bit limbs, most significant first, the first limb the
// integer part and the other N - 1 limbs the fraction. Every operation is exact or
// truncates toward zero by less than one unit of the last limb (one "ulp" here,
// 2^-(64 (N - 1))), so an error bound counted in ulps follows from the number of
// operations. Plain integer arithmetic: the same bits on every platform.

namespace tolvane::crmath::detail {

using u64 = uint64_t;
using u128 = unsigned __int128;

inline u64 DoubleBits(double d) {
  u64 u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

inline double FromBits(u64 u) {
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// |x| = mantissa 2^exponent exactly, mantissa below 2^53 (subnormals included).
inline void Decompose(double x, u64& mantissa, int& exponent) {
  const u64 bits = DoubleBits(x);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  mantissa = bits & ((u64{1} << 52) - 1);
  if (biased == 0) {
    exponent = -1074;
  } else {
    mantissa |= u64{1} << 52;
    exponent = biased - 1075;
  }
}

template <int N>
struct BigFixed {
  static_assert(N >= 2, "one integer limb and at least one fraction limb");
  static constexpr int kFractionBits = 64 * (N - 1);
  u64 w[N] = {};

  static BigFixed One() {
    BigFixed r;
    r.w[0] = 1;
    return r;
  }
  // The first N limbs of a constant stored as integer limb plus fraction limbs.
  static BigFixed FromLimbs(const u64* limbs) {
    BigFixed r;
    for (int i = 0; i < N; ++i) r.w[i] = limbs[i];
    return r;
  }
  // A non-negative double below 2^64, truncated below 2^-kFractionBits.
  static BigFixed FromDouble(double x);

  bool IsZero() const {
    for (int i = 0; i < N; ++i)
      if (w[i]) return false;
    return true;
  }
  int Compare(const BigFixed& o) const {
    for (int i = 0; i < N; ++i) {
      if (w[i] != o.w[i]) return w[i] < o.w[i] ? -1 : 1;
    }
    return 0;
  }
  // this += o; the caller keeps the sum below 2^64.
  void Add(const BigFixed& o) {
    u64 carry = 0;
    for (int i = N - 1; i >= 0; --i) {
      const u128 s = static_cast<u128>(w[i]) + o.w[i] + carry;
      w[i] = static_cast<u64>(s);
      carry = static_cast<u64>(s >> 64);
    }
  }
  // this -= o; the caller keeps o <= this.
  void Sub(const BigFixed& o) {
    u64 borrow = 0;
    for (int i = N - 1; i >= 0; --i) {
      const u64 a = w[i], b = o.w[i];
      const u64 d = a - b - borrow;
      borrow = (a < b || (a == b && borrow)) ? 1 : 0;
      w[i] = d;
    }
  }
  void AddUlps(u64 n) {
    BigFixed t;
    t.w[N - 1] = n;
    Add(t);
  }
  // this -= n ulps, or 0 if that would go below 0.
  void SubUlpsClamped(u64 n) {
    BigFixed t;
    t.w[N - 1] = n;
    if (Compare(t) < 0) {
      *this = BigFixed{};
    } else {
      Sub(t);
    }
  }
  // this *= m exactly; the caller keeps the product below 2^64.
  void MulSmall(u64 m) {
    u64 carry = 0;
    for (int i = N - 1; i >= 0; --i) {
      const u128 p = static_cast<u128>(w[i]) * m + carry;
      w[i] = static_cast<u64>(p);
      carry = static_cast<u64>(p >> 64);
    }
  }
  // this /= d, truncated.
  void DivSmall(u64 d) {
    u64 rem = 0;
    for (int i = 0; i < N; ++i) {
      const u128 cur = (static_cast<u128>(rem) << 64) | w[i];
      w[i] = static_cast<u64>(cur / d);
      rem = static_cast<u64>(cur % d);
    }
  }
  // this /= 2^bits, truncated.
  void ShiftRight(int bits);

  // a * b truncated; the caller keeps the product below 2^64.
  static BigFixed Mul(const BigFixed& a, const BigFixed& b);
  // a / b truncated, for 0 <= a < 2 b (a quotient below 2).
  static BigFixed Div(const BigFixed& a, const BigFixed& b);
};

template <int N>
BigFixed<N> BigFixed<N>::FromDouble(double x) {
  BigFixed r;
  u64 mant;
  int exp;
  Decompose(x, mant, exp);
  // Bit j of mant has weight 2^(exp + j): limb (63 - exp - j) / 64, bit 63 - (63 - exp - j) % 64.
  for (int j = 0; j < 53; ++j) {
    if (!((mant >> j) & 1)) continue;
    const int g = 63 - (exp + j);
    if (g < 0 || g >= 64 * N) continue;
    r.w[g / 64] |= u64{1} << (63 - g % 64);
  }
  return r;
}

template <int N>
void BigFixed<N>::ShiftRight(int bits) {
  const int limbs = bits / 64, rest = bits % 64;
  for (int i = N - 1; i >= 0; --i) {
    const int src = i - limbs;
    u64 v = src >= 0 ? w[src] : 0;
    if (rest) {
      const u64 above = src - 1 >= 0 ? w[src - 1] : 0;
      v = (v >> rest) | (above << (64 - rest));
    }
    w[i] = v;
  }
}

template <int N>
BigFixed<N> BigFixed<N>::Mul(const BigFixed& a, const BigFixed& b) {
  // q[k] has weight 2^(-64 (k - 1)); a[i] b[j] lands at k = i + j + 1 (low) and i + j (high).
  u64 q[2 * N + 1] = {};
  for (int i = N - 1; i >= 0; --i) {
    u64 carry = 0;
    for (int j = N - 1; j >= 0; --j) {
      const u128 p = static_cast<u128>(a.w[i]) * b.w[j] + q[i + j + 1] + carry;
      q[i + j + 1] = static_cast<u64>(p);
      carry = static_cast<u64>(p >> 64);
    }
    q[i] += carry;
  }
  BigFixed r;
  for (int t = 0; t < N; ++t) r.w[t] = q[t + 1];
  return r;
}

template <int N>
BigFixed<N> BigFixed<N>::Div(const BigFixed& a, const BigFixed& b) {
  // Restoring division, one quotient bit at a time from weight 2^0 down to 2^-kFractionBits.
  // rem < 2 b throughout, held in N limbs plus one carry bit.
  BigFixed rem = a;
  BigFixed q;
  for (int bit = 0; bit <= kFractionBits; ++bit) {
    if (bit > 0) {
      // rem *= 2, keeping the bit shifted out of the top.
      const u64 top = rem.w[0] >> 63;
      for (int i = 0; i < N - 1; ++i) rem.w[i] = (rem.w[i] << 1) | (rem.w[i + 1] >> 63);
      rem.w[N - 1] <<= 1;
      if (top || rem.Compare(b) >= 0) {
        rem.Sub(b);  // wraps correctly when the shifted-out bit was set
        q.w[(bit + 63) / 64] |= u64{1} << (63 - (bit + 63) % 64);
      }
    } else if (rem.Compare(b) >= 0) {
      rem.Sub(b);
      q.w[0] = 1;
    }
  }
  return q;
}

// The double nearest W * 2^scale (ties to even), W the big integer of `n` limbs at `w`
// (most significant first), with the sign `negative`: subnormal results rounded at
// their own precision, overflow to infinity.
double RoundToDouble(const u64* w, int n, int scale, bool negative);

}  // namespace tolvane::crmath::detail
