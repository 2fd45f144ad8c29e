#include "tolvane/crmath/CrMath.h"

namespace tolvane::crmath {

namespace detail {

double PowIntSpecialOrExact(double x, int n) {
  if (n < 0 || n > kMaxPowIntExponent) return std::numeric_limits<double>::quiet_NaN();
  if (n == 0) return 1.0;
  if (x != x) return x + x;
  if (x == 0) return (n & 1) ? x : 0.0;  // -0 to an odd power stays -0
  if (x == std::numeric_limits<double>::infinity() ||
      x == -std::numeric_limits<double>::infinity()) {
    return (n & 1) ? x : std::numeric_limits<double>::infinity();
  }
  return PowIntExact(x, n);
}

// The fused variants: the same inline code, built here for processors with the fused
// multiply-add, which their exact products use.
[[gnu::target("fma")]] double TanhFused(double x) { return TanhWith<FusedProducts>(x); }
[[gnu::target("fma")]] void Tanh2Fused(double x0, double x1, double& y0, double& y1) {
  Tanh2With<FusedProducts>(x0, x1, y0, y1);
}
[[gnu::target("fma")]] double PowIntFused(double x, int n) {
  return PowIntWith<FusedProducts>(x, n);
}

}  // namespace detail

void Tanh2(double x0, double x1, double& y0, double& y1) {
  detail::Tanh2With<detail::SplitProducts>(x0, x1, y0, y1);
}

bool HasFusedMultiplyAdd() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") != 0;
  }();
  return has;
}

double Pow3(double g) {
  if (g != g) return g + g;
  const double ag = g < 0 ? -g : g;
  if (ag < detail::kPow3OneBelow) return 1.0;
  if (g > 647) return std::numeric_limits<double>::infinity();  // 3^647 > 2^1025
  if (g < -680) return 0.0;                                     // 3^-680 < 2^-1077
  if (g > 0 && static_cast<double>(static_cast<int>(g)) == g) {
    return detail::PowIntExact(3.0, static_cast<int>(g));  // an exact product
  }
  double y;
  if (ag < detail::kPow3FastBelow && detail::Pow3Fast(g, y)) return y;
  return detail::Pow3Slow(g);
}

}  // namespace tolvane::crmath
