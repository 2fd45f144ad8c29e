#include "crmath/VerifyInputs.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "tolvane/crmath/CrMath.h"

namespace tolvane::crmath::verify {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinNormal = std::numeric_limits<double>::min();
constexpr double kMinSubnormal = std::numeric_limits<double>::denorm_min();
constexpr uint64_t kMantissaMask = (uint64_t{1} << 52) - 1;
// Doubles taken on either side of each boundary whose exact place depends on rounding.
constexpr int kAround = 300;

double FromBits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// `center` and `count` doubles on either side of it.
void AddAround(std::vector<double>& out, double center, int count) {
  out.push_back(center);
  double below = center, above = center;
  for (int i = 0; i < count; ++i) {
    below = std::nextafter(below, -kInf);
    above = std::nextafter(above, kInf);
    out.push_back(below);
    out.push_back(above);
  }
}

// Zero, subnormals, the normal range's ends, infinity and two NaNs (the quiet one and one
// with a payload), all positive.
void AddSpecials(std::vector<double>& out) {
  out.insert(out.end(),
             {0.0, kMinSubnormal, 3 * kMinSubnormal, kMinNormal - kMinSubnormal, 0x1p-1050,
              kMinNormal, std::nextafter(kMinNormal, kInf), kMax, kInf,
              std::numeric_limits<double>::quiet_NaN(), FromBits(0x7ff8'0000'dead'beefu)});
}

void AddPowersOfTwo(std::vector<double>& out) {
  for (int k = -1074; k <= 1023; ++k) out.push_back(std::ldexp(1.0, k));
}

// Each input and its negation (the functions are odd or even: both halves are checked).
std::vector<double> Mirrored(std::vector<double> v) {
  const size_t n = v.size();
  for (size_t i = 0; i < n; ++i) v.push_back(-v[i]);
  return v;
}

std::vector<double> TanhEdges() {
  std::vector<double> out;
  AddSpecials(out);
  AddPowersOfTwo(out);
  AddAround(out, detail::kTanhLinearBelow, kAround);  // where tanh stops rounding to x
  AddAround(out, tables::kTanhOneFrom, kAround);      // where it starts rounding to 1
  // The table's grid points and the midpoints between them, where the index changes.
  for (int i = 0; i < tables::kTanhCount; ++i) {
    out.push_back(static_cast<double>(i) / tables::kTanhSteps);
    AddAround(out, (i + 0.5) / tables::kTanhSteps, 1);
  }
  out.insert(out.end(), {20.0, 22.0, 100.0, 710.0, 1e300});
  return Mirrored(out);
}

int BitLength(uint64_t v) { return 64 - __builtin_clzll(v); }

// m^n for the short mantissas below, where it fits in 64 bits.
uint64_t IntPow(uint64_t m, int n) {
  uint64_t p = 1;
  for (int i = 0; i < n; ++i) p *= m;
  return p;
}

// x^n: the boundaries of overflow, of the subnormal results and of rounding to zero, and
// inputs m 2^k with m odd and m^n of at most 54 bits, whose x^n is exactly a double (at
// most 53 bits) or exactly a midpoint between two (54). Those with 53 and 54 bits are also
// scaled to results at the ends of the exponent range.
std::vector<double> PowEdges(int n) {
  std::vector<double> out;
  AddSpecials(out);
  AddPowersOfTwo(out);
  for (const double resultExponent : {1024.0, -1022.0, -1074.0, -1075.0}) {
    AddAround(out, std::exp2(resultExponent / n), kAround);
  }
  if (n == 4) {
    AddAround(out, detail::kPow4FastFrom, kAround);
    AddAround(out, detail::kPow4FastBelow, kAround);
  }
  for (uint64_t m = 1; m < 64 * 1024; m += 2) {
    const int bits = BitLength(m);
    if (bits * n > 64 || BitLength(IntPow(m, n)) > 54) break;
    out.push_back(std::ldexp(static_cast<double>(m), -bits));  // in [0.5, 1)
    if (BitLength(IntPow(m, n)) < 53) continue;
    for (const int resultExponent : {1024, -1022, -1074}) {
      const int k = (resultExponent - 54) / n;
      for (int d = -1; d <= 1; ++d) out.push_back(std::ldexp(static_cast<double>(m), k + d));
    }
  }
  return Mirrored(out);
}

std::vector<double> Pow3Edges() {
  std::vector<double> out;
  AddSpecials(out);
  out = Mirrored(out);
  for (int g = -700; g <= 700; ++g) {
    out.push_back(g);
    out.push_back(g + 0.5);
  }
  for (int k = 0; k <= 512; ++k) out.push_back(k / 256.0);  // the effect's range [0, 2]
  AddAround(out, 1.0, 50);
  AddAround(out, 2.0, 50);
  AddAround(out, 0x1p-60, kAround);  // below it 3^g is answered as 1
  AddAround(out, -0x1p-60, kAround);
  // Where 3^g leaves 1 on either side: |g| ln 3 about half an ulp of 1.
  const double ln3 = std::log(3.0);
  AddAround(out, 0x1p-53 / ln3, kAround);
  AddAround(out, -0x1p-54 / ln3, kAround);
  // Overflow, the subnormal results, rounding to zero; and the code's own cut-offs.
  for (const double resultExponent : {1024.0, -1022.0, -1074.0, -1075.0}) {
    AddAround(out, resultExponent / std::log2(3.0), kAround);
  }
  AddAround(out, 647.0, 5);
  AddAround(out, -680.0, 5);
  AddAround(out, detail::kPow3FastBelow, 5);
  AddAround(out, -detail::kPow3FastBelow, 5);
  // The fast path's grid on g in about [-5, 5]: where its index changes (g log2 3 halfway
  // between multiples of 1 / kExp2Steps) and where its power of two does (g log2 3 an
  // integer, the grid's first point reached from below).
  const double log2of3 = std::log2(3.0);
  for (int i = -2000; i <= 2000; ++i) {
    AddAround(out, (i + 0.5) / (tables::kExp2Steps * log2of3), 1);
    if (i % tables::kExp2Steps == 0) AddAround(out, i / (tables::kExp2Steps * log2of3), 3);
  }
  return out;
}

double Unit(SplitMix64& r) { return static_cast<double>(r.Next() >> 11) * 0x1p-53; }

double Uniform(SplitMix64& r, double a, double b) { return a + (b - a) * Unit(r); }

// A random sign and mantissa with a (normal) exponent uniform in [lo, hi].
double WithExponent(SplitMix64& r, int lo, int hi) {
  const uint64_t u = r.Next();
  const auto e = static_cast<uint64_t>(lo + static_cast<int>(r.Next() % (hi - lo + 1)));
  return FromBits((u & ~(~uint64_t{0} >> 1)) | ((e + 1023) << 52) | (u & kMantissaMask));
}

// Any 64-bit pattern: every double equally likely, NaNs and infinities included.
double AnyBits(SplitMix64& r) { return FromBits(r.Next()); }

double Draw(Function f, SplitMix64& r) {
  const uint64_t pick = r.Next() % 10;
  switch (f) {
    case Function::kTanh:
      if (pick < 4) return Uniform(r, -3, 3);
      if (pick < 6) return Uniform(r, -20, 20);
      if (pick < 8) return WithExponent(r, -30, 5);
      return AnyBits(r);
    case Function::kPow4:
      if (pick < 4) return Unit(r);
      if (pick < 6) return Uniform(r, -2, 2);
      if (pick < 8) return WithExponent(r, -300, 300);
      return AnyBits(r);
    case Function::kPow11:
      if (pick < 5) return 1.5 * Unit(r);
      if (pick < 7) return WithExponent(r, -110, 100);
      return AnyBits(r);
    case Function::kPow3:
      if (pick < 3) return Uniform(r, 0, 2);
      if (pick < 5) return Uniform(r, -4, 4);
      if (pick < 7) return Uniform(r, -700, 700);
      if (pick < 9) return WithExponent(r, -65, 10);
      return AnyBits(r);
  }
  return 0;
}

double TanhSlowDraw(SplitMix64& r) {
  const uint64_t pick = r.Next() % 3;
  if (pick == 0) return Uniform(r, 0, 3);
  if (pick == 1) return Uniform(r, 0, tables::kTanhOneFrom);
  return WithExponent(r, -27, 4);
}

bool InSlowDomain(Function f, double x) {
  const double ax = std::fabs(x);
  switch (f) {
    case Function::kTanh: return ax >= detail::kTanhLinearBelow && ax < tables::kTanhOneFrom;
    case Function::kPow4:
    case Function::kPow11: return ax > 0 && ax < kInf;
    case Function::kPow3: return ax >= 0x1p-60 && ax < 700 && !(x >= 0 && x == std::floor(x));
  }
  return false;
}

}  // namespace

std::optional<Function> FunctionNamed(const std::string& name) {
  if (name == "tanh") return Function::kTanh;
  if (name == "pow4") return Function::kPow4;
  if (name == "pow11") return Function::kPow11;
  if (name == "pow3") return Function::kPow3;
  return std::nullopt;
}

uint64_t SplitMix64::Next() {
  uint64_t z = (mState += 0x9e3779b97f4a7c15u);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

SplitMix64 StreamFor(uint64_t seed, uint64_t index) {
  SplitMix64 mixer(index);
  return SplitMix64(seed ^ mixer.Next());
}

std::vector<double> EdgeInputs(Function f) {
  switch (f) {
    case Function::kTanh: return TanhEdges();
    case Function::kPow4: return PowEdges(4);
    case Function::kPow11: return PowEdges(11);
    case Function::kPow3: return Pow3Edges();
  }
  return {};
}

double RandomInput(Function f, uint64_t seed, uint64_t index) {
  SplitMix64 r = StreamFor(seed, index);
  return Draw(f, r);
}

Input SlowInput(Function f, uint64_t seed, uint64_t index) {
  SplitMix64 r = StreamFor(seed, index);
  double x;
  // Drawn from the public function's mixture (for tanh: from the effect's range, the
  // whole slow domain and its exponents) until one falls in the slow path's domain.
  do {
    x = f == Function::kTanh ? TanhSlowDraw(r) : Draw(f, r);
  } while (!InSlowDomain(f, x));
  const double ax = std::fabs(x);
  switch (f) {
    case Function::kTanh: return {ax, 0};
    case Function::kPow4: return {x, 4};
    case Function::kPow11: return {x, 1 + static_cast<int>(index % kMaxPowIntExponent)};
    case Function::kPow3: return {x, 0};
  }
  return {x, 0};
}

}  // namespace tolvane::crmath::verify
