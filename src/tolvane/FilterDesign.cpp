#include "tolvane/FilterDesign.h"

#if defined(__FAST_MATH__)
#error "The filter design is deterministic only without fast-math"
#endif

namespace tolvane {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Taylor terms of sin x / x - 1 and cos x - 1 in powers of x^2: +-1/n!, each n! exact in a
// double (18! < 2^53), each quotient correctly rounded at compile time. For |x| <= pi/4 the
// first term left out (x^19 / 19!, x^20 / 20!) lies below 2^-62 relative.
constexpr double kSinTerms[] = {
    -1.0 / 6,        1.0 / 120,        -1.0 / 5040,          1.0 / 362880,
    -1.0 / 39916800, 1.0 / 6227020800, -1.0 / 1307674368000, 1.0 / 355687428096000};
constexpr double kCosTerms[] = {-1.0 / 2,
                                1.0 / 24,
                                -1.0 / 720,
                                1.0 / 40320,
                                -1.0 / 3628800,
                                1.0 / 479001600,
                                -1.0 / 87178291200,
                                1.0 / 20922789888000,
                                -1.0 / 6402373705728000};

// sin x and cos x for |x| <= pi/4, by Horner's scheme from the highest term down.
double SinNear0(double x) {
  const double x2 = x * x;
  constexpr int n = sizeof kSinTerms / sizeof kSinTerms[0];
  double p = kSinTerms[n - 1];
  for (int k = n - 2; k >= 0; --k) p = kSinTerms[k] + x2 * p;
  return x + x * (x2 * p);
}

double CosNear0(double x) {
  const double x2 = x * x;
  constexpr int n = sizeof kCosTerms / sizeof kCosTerms[0];
  double p = kCosTerms[n - 1];
  for (int k = n - 2; k >= 0; --k) p = kCosTerms[k] + x2 * p;
  return 1 + x2 * p;
}

}  // namespace

SinCos SinCosOfTurns(double turns) {
  // The reduction works in turns, where it is exact: for turns in [1/8, 1/2], 1/4 - turns and
  // (from 1/4 on) 1/2 - turns are differences of doubles within a factor 2 of each other
  // (Sterbenz). Only the product by 2 pi rounds, once.
  if (turns <= 0.125) return {SinNear0(kTwoPi * turns), CosNear0(kTwoPi * turns)};
  if (turns <= 0.375) {
    const double x = kTwoPi * (0.25 - turns);
    return {CosNear0(x), SinNear0(x)};
  }
  const double x = kTwoPi * (0.5 - turns);
  return {SinNear0(x), -CosNear0(x)};
}

BiquadCoefficients DesignLowPass(double cyclesPerSample, double q) {
  const SinCos w0 = SinCosOfTurns(cyclesPerSample);
  const double alpha = w0.sin / (2 * q);
  const double a0 = 1 + alpha;
  const double b1 = 1 - w0.cos;
  const double b0 = b1 / 2;
  return {b0 / a0, b1 / a0, b0 / a0, -2 * w0.cos / a0, (1 - alpha) / a0};
}

BiquadCoefficients DesignHighPass(double cyclesPerSample, double q) {
  const SinCos w0 = SinCosOfTurns(cyclesPerSample);
  const double alpha = w0.sin / (2 * q);
  const double a0 = 1 + alpha;
  const double b0 = (1 + w0.cos) / 2;
  const double b1 = -(1 + w0.cos);
  return {b0 / a0, b1 / a0, b0 / a0, -2 * w0.cos / a0, (1 - alpha) / a0};
}

RateFilters DesignRateFilters(double rate) {
  // A cutoff past the share (or a quotient that overflows) stands at the share.
  constexpr double kMaxCyclesPerSample = kMaxCutoffShare / 2;
  double lowPass = kLowPassCutoff / rate;
  if (!(lowPass <= kMaxCyclesPerSample)) lowPass = kMaxCyclesPerSample;
  double highPass = kHighPassCutoff / rate;
  if (!(highPass <= kMaxCyclesPerSample)) highPass = kMaxCyclesPerSample;
  const BiquadCoefficients lp = DesignLowPass(lowPass, kFilterQ);
  const BiquadCoefficients hp = DesignHighPass(highPass, kFilterQ);
  return {lp[0], lp[1], lp[2], lp[3], lp[4], hp[0], hp[1], hp[2], hp[3], hp[4]};
}

}  // namespace tolvane
