#pragma once

#include <array>

namespace tolvane {

/// One second-order section: b0 b1 b2 a1 a2, a0 divided out, for the transposed direct form II
/// step y = b0 x + z1; z1 = b1 x - a1 y + z2; z2 = b2 x - a2 y.
using BiquadCoefficients = std::array<double, 5>;

/// The effect's filter pair, as TolvaneDsp holds it: the low-pass, then the high-pass.
using RateFilters = std::array<double, 10>;

/// The effect's filters: a 20 kHz low-pass and a 20 Hz high-pass, both second order with
/// kFilterQ. The coefficient table of TolvaneDsp is exactly these designs (the formulas of
/// DesignLowPass and DesignHighPass reproduce every table entry within a few units in the last
/// place) with Q 0.717 in seven of its ten filters (every filter at 48, 88.2 and 96 kHz, the
/// high-pass at 192 kHz), 0.7071 in the 44.1 kHz high-pass and the 192 kHz low-pass, and 0.7171
/// in the 44.1 kHz low-pass. Designed rates take the common 0.717: the others differ from it by
/// 0.12 dB at most, at the cutoff.
constexpr double kLowPassCutoff = 20000;
constexpr double kHighPassCutoff = 20;
constexpr double kFilterQ = 0.717;

/// The highest a cutoff stands, as a share of the Nyquist frequency (it binds the low-pass
/// below 41.67 kHz). Below 40 kHz a rate carries nothing above 20 kHz for the low-pass to
/// remove: the whole band is programme material, and a user expects its top to pass as a
/// 44.1 kHz session passes its audible band (15 kHz there loses 0.01 dB through the two
/// low-passes). Keeping the 44.1 kHz cutoff's share of the band (20000 / 22050) instead would
/// cut 15 kHz at 32 kHz by 15 dB and 10 kHz at 22.05 kHz by 6 dB: 15 kHz is the top of what
/// 32 kHz material carries, 10 kHz of what 22.05 kHz carries. At 96 % of the Nyquist frequency
/// they lose 1.2 dB and 0.2 dB through both low-passes, while the filter stays well damped
/// (pole radius 0.92) and keeps its double zero at the Nyquist frequency. The share also keeps
/// every design a proper filter at absurd rates (a high-pass at 20 Hz needs a rate above 40 Hz).
constexpr double kMaxCutoffShare = 0.96;

/// [any-thread] The filter pair at `rate` (finite and positive): DesignLowPass at
/// kLowPassCutoff and DesignHighPass at kHighPassCutoff, each cutoff at most kMaxCutoffShare of
/// the Nyquist frequency, with kFilterQ. Every platform and compiler gives the same bits.
/// No allocation, no lock.
RateFilters DesignRateFilters(double rate);

/// [any-thread] The bilinear-transform second-order low-pass and high-pass of the "Audio EQ
/// Cookbook" at `cyclesPerSample` (cutoff / rate, within (0, 0.5)) and quality `q`: with
/// w0 = 2 pi cyclesPerSample and alpha = sin w0 / (2 q), the low-pass has b = ((1 - cos w0) / 2,
/// 1 - cos w0, (1 - cos w0) / 2), the high-pass b = ((1 + cos w0) / 2, -(1 + cos w0),
/// (1 + cos w0) / 2), both a0 = 1 + alpha, a1 = -2 cos w0, a2 = 1 - alpha, every coefficient
/// divided by a0. Built from IEEE +, -, * and / alone in a fixed order (SinCosOfTurns), so
/// every platform and compiler gives the same bits. No allocation, no lock.
BiquadCoefficients DesignLowPass(double cyclesPerSample, double q);
BiquadCoefficients DesignHighPass(double cyclesPerSample, double q);

/// sin and cos of 2 pi `turns` for turns within [0, 0.5], within about an ulp of the true
/// values (absolute error within 2^-52). Made of IEEE +, -, * and / alone in a fixed order: no
/// C library call, so every platform and compiler gives the same bits.
struct SinCos {
  double sin;
  double cos;
};
SinCos SinCosOfTurns(double turns);

}  // namespace tolvane
