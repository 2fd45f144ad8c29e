#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

#include "tolvane/KneeSource.h"

namespace tolvane {

/// The seven parameters, in DspParams' order: what a timed change (DspChange) names.
enum class DspParam : int32_t { kInputGain = 0, kWet, kTame, kReact, kBypass, kOutputGain, kBias };
constexpr int kNumDspParams = 7;

/// The seven parameter values one block reads, in their real units
/// (percentages as 0..200 or 0..100, the others 0..1). The defaults are the
/// effect's parameter defaults.
struct DspParams {
  double inputGain = 32.0;    ///< "Input Gain", percent
  double wet = 87.0;          ///< "Wet", percent
  double tame = 0.5;          ///< "Tame"
  double react = 1.0;         ///< "React", 0 or 1
  double bypass = 0.0;        ///< "Bypass", 0 or 1
  double outputGain = 100.0;  ///< "Output Gain", percent
  double bias = 0.5;          ///< "Bias", 0.5 neutral
};

/// Each parameter's field in DspParams, indexed by DspParam.
inline constexpr double DspParams::*kDspParamFields[kNumDspParams] = {
    &DspParams::inputGain, &DspParams::wet,        &DspParams::tame, &DspParams::react,
    &DspParams::bypass,    &DspParams::outputGain, &DspParams::bias};

/// A parameter change inside a block: from frame `offset` of the block on, `param` heads for
/// `value`, in the parameter's real units (as DspParams holds them).
struct DspChange {
  int32_t offset = 0;
  DspParam param = DspParam::kInputGain;
  double value = 0.0;
};

/// Tolvane's signal processing: input low-pass, history-aware saturator, dry/wet
/// blend, slope tracking (React, Tame), bias, output level into a second
/// saturator and delayed-difference smoother, 20 Hz high-pass, 20 kHz low-pass
/// and a soft clip just under full scale. Double precision, planar buffers.
///
/// Guarantees:
///  - Bit-exact: every output sample and every block value is, bit for bit, what the
///    algorithm's literal statement computes, except where a departure below applies.
///    Every floating-point operation that reaches a result is the stated one, on the
///    stated operands in the stated order, with contraction and fast-math off. What
///    differs cannot change a bit: the histories are rings rather than arrays shifted
///    every sample, work whose result is never used is skipped, and identities (x - 0, a
///    second clamp, a guard added to a divisor of 1 or more) are left out.
///  - Platform-independent: tanh, x^4, x^11 and 3^g are the correctly rounded ones of
///    crmath (CrMath.h), and the filters designed for a rate off the table use no C library
///    function (FilterDesign.h), so every output depends on the inputs, parameters, rate and
///    seed alone: every platform, compiler and C library gives the same bits.
///  - Channels are processed in pairs, sample by sample, their tanh side by side in SIMD
///    lanes; each channel's arithmetic, and the denormal sequence's order across channels,
///    are those of processing the channels one after the other.
///  - Range: a processed sample lies within [-1, 1] unless it is NaN; a bypassed block
///    copies its input bit for bit.
///  - Smoothing (off by default, `UseSmoothing`): Input Gain, Wet, Output Gain, Tame and Bias
///    glide from the value they stand at to a new one over kGlideSeconds, one step per
///    sample, and Bypass crossfades between the processed and the dry signal over
///    kBypassFadeSeconds; React stays per block. Parameters that stand still give, bit for
///    bit, the output without smoothing, and a glide that has ended leaves every block value
///    exactly as a static one: the literal algorithm then holds again.
///  - Departures from the literal statement (safety rules and mended faults):
///     - a channel whose state is no longer finite at the end of a block (a NaN or
///       infinite input, or an input near the largest double) has its state cleared,
///       so it recovers as soon as its input is finite again; while the state stays
///       finite nothing changes;
///     - a sample rate that is not finite and positive is ignored (the previous rate
///       and coefficients stay);
///     - a rate off the coefficient table gets the filters designed for it (the literal
///       statement keeps the active set, whose cutoffs then sit wrong for the rate);
///     - values truncated to integers (parameters, rates) are clamped to the 32-bit
///       range first, NaN counting as 0;
///     - the process-wide denormal seed is a relaxed atomic, advanced by a
///       compare-and-swap so that concurrent instances never lose a step.
class TolvaneDsp {
 public:
  static constexpr int kHistorySize = 32;

  /// [main-thread] Allocates the state of `channels` channels (at least 2), all zero.
  explicit TolvaneDsp(int channels);

  /// [main-thread] Records the rate and selects its filters: the coefficient table's set at
  /// 44100, 48000, 88200, 96000 and 192000 Hz (the rate truncated to an integer), at any other
  /// rate the same filters designed for it (DesignRateFilters, FilterDesign.h). Does not
  /// allocate or lock. Never touches filter state or histories. Processing restarts: the next block
  /// takes the parameters as they are, without gliding (also when the rate is refused).
  void OnReset(double sampleRate);

  /// [audio-thread] Processes max(2, connectedOutputs) channels of `nFrames`
  /// samples (never more than the channels allocated). Parameters and the rate
  /// are read once. A block of no frames still draws its knee value and updates
  /// the block values. Input and output may be the same buffer. No allocation,
  /// no lock. The same as the overload below without timed changes.
  void ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                    const DspParams& params, double sampleRate, int connectedOutputs);

  /// [audio-thread] As above, with the block's timed changes: `changes[0..nChanges)`, sorted
  /// by offset, each offset within [0, nFrames). `params` holds the values at the block's
  /// start, except that a parameter with changes in the list holds its last change's value
  /// and keeps the value it had until its first change there.
  ///
  /// With smoothing on, a parameter without changes whose value differs from the one it was
  /// last heading for starts gliding at frame 0; a change starts gliding at its offset from
  /// where the glide stands, over kGlideSeconds or up to the parameter's next change in the
  /// list when that comes sooner (so a host's ramp of change points is followed segment by
  /// segment); a Bypass change starts the crossfade at its offset; React's changes count at
  /// the block's start (its `params` value holds for the block). The first block after
  /// construction, `OnReset` or `UseSmoothing(true)` takes the values as they are, without
  /// gliding. A change past the block's end starts at the next block; one that a later change
  /// of the same parameter at the same offset replaces is skipped. Without smoothing the list
  /// is not read: the block runs at `params`, as the literal algorithm does. The list is read
  /// in place: no allocation, no lock, also when it is long.
  void ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                    const DspParams& params, double sampleRate, int connectedOutputs,
                    const DspChange* changes, int nChanges);

  /// [main-thread] Switches smoothing on or off (off after construction). Switched on, the
  /// next block takes the parameters as they are.
  void UseSmoothing(bool use);
  bool UsesSmoothing() const { return mSmoothing; }

  /// A glide's length, and the bypass crossfade's, at the running rate (rounded to whole
  /// samples, at least one). The crossfade takes 20 ms: on a steady tone its steepest step then
  /// stays within the tone's own (the processed and the dry tone differ in level and phase,
  /// and a shorter fade adds its slope times their difference).
  static constexpr double kGlideSeconds = 0.02;
  static constexpr double kBypassFadeSeconds = 0.02;

  /// [main-thread] Whether the correctly rounded functions form their exact products with
  /// the fused multiply-add (the default where the processor has it) or by splitting: the
  /// same bits either way, the first sooner. `true` without the instruction keeps splitting.
  void UseFusedMultiplyAdd(bool use);
  bool UsesFusedMultiplyAdd() const { return mFusedMath; }

  /// [any-thread] The knee source; see KneeSource for its thread rules.
  KneeSource& Knee() { return mKnee; }

  int NumChannels() const { return static_cast<int>(mChannels.size()); }

  // Inspection of the block values, for tests and diagnostics [same thread as processing].
  const std::array<double, 10>& ActiveCoefficients() const { return mCoeffs; }
  double Rate() const { return mRate; }
  double RateFactor() const { return mRateFactor; }
  double RateFactor2() const { return mRateFactor2; }
  double RateBlend() const { return mRateBlend; }
  double KneeRandom() const { return mKneeRandom; }
  double TameAmount() const { return mTameAmount; }
  int DelayIndex() const { return mDelayIndex; }
  int Delay2Index() const { return mDelay2Index; }
  double DelayFraction() const { return mDelayFraction; }

  /// Where smoothing's glides stand after the last block, in the block values' terms: Input
  /// Gain as a fraction and 3 to its power, Wet as a fraction (at least 0), the tame amount,
  /// the bias amount (2 Bias - 1), the output level, and the bypass crossfade's dry share (0
  /// processed, 1 dry). Meaningful after a block with smoothing on.
  struct GlidedValues {
    double gain, drive, wet, tameAmount, biasAmount, outputLevel, dryShare;
  };
  GlidedValues Glided() const;

  /// The process-wide denormal seed (advanced once per replaced sample).
  static int32_t DenormalSeed() { return sDenormalSeed.load(std::memory_order_relaxed); }

 private:
  // One channel's state. The histories are rings sharing one position: logical
  // index k (0 newest) of a history lives at cells[(pos + k) & kHistoryMask].
  // Shifting moves pos back by one and copies the old index 0 into the new one,
  // which is exactly what copying cell k-1 to cell k for k = 31..1 does.
  //
  // The saturator memories are not stored as histories: above index 0 they
  // always equal the stage-2 history (every shift copies the shifted stage-2
  // history into both), so only their index 0 is kept. The slope history is not
  // stored either: its only reader (the bias stage) reads index 0 in the same
  // sample that wrote it.
  struct Channel {
    double preFiltered = 0.0;
    double residual = 0.0;
    double reactLevel = 0.0;
    // z1/z2 of the input low-pass, the high-pass and the output low-pass.
    double inLpA = 0.0, inLpB = 0.0;
    double hpA = 0.0, hpB = 0.0;
    double outLpA = 0.0, outLpB = 0.0;
    double sat1Last = 0.0;  // index 0 of the mode 1 saturator memory
    double sat2Last = 0.0;  // index 0 of the mode 2 saturator memory
    unsigned pos = 0;
    std::array<double, kHistorySize> outHistory{};
    std::array<double, kHistorySize> trackHistory{};
    std::array<double, kHistorySize> stage2History{};

    bool IsFinite() const;
    void Clear();
  };
  static constexpr unsigned kHistoryMask = kHistorySize - 1;
  static_assert((kHistorySize & kHistoryMask) == 0, "history size must be a power of two");

  // One value glided by smoothing: from `from` toward `to` in `length` equal steps, one per
  // sample; `value` is where it stands. The last step sets `to` itself, so a glide ends
  // exactly on its target: nothing accumulates into it.
  struct Glide {
    double value = 0.0;
    double from = 0.0;
    double to = 0.0;
    double step = 0.0;
    int32_t done = 0;
    int32_t length = 0;

    bool Moving() const { return done < length; }
    // Heads from where it stands for `target` over `samples` steps; with none (or nowhere to
    // go) it is there at once.
    void Start(double target, int32_t samples);
    [[gnu::always_inline]] void Advance() {
      if (done < length) {
        ++done;
        value = done == length ? to : from + step * done;
      }
    }
  };
  // The glided values. Input Gain is two: the gain as a fraction (kGlideGain; the trim is
  // linear in it) and the drive 3^gain (kGlideDrive), glided linearly between the powers,
  // since the correctly rounded 3^g costs about a microsecond: it is computed once per
  // change, never per sample.
  //
  // Tame and Bias glide too, because it is cheap where it matters: a glide costs only in
  // blocks where something moves (blocks that hold still run the per-block loop untouched),
  // and there a few operations per sample against the hundreds a sample takes. Tame glides
  // its amount, (1.5 Tame)^11 over the rate factor 2, linearly between the amounts: the
  // power is correctly rounded and as costly as the drive's, computed once per change. Bias
  // glides its amount 2 Bias - 1. A step of either would step the slope tracker's mix.
  //
  // kGlideFade is the bypass crossfade's position: 0 processed, 1 dry, the dry signal's share
  // a smooth step of it.
  enum GlideSlot {
    kGlideGain,
    kGlideDrive,
    kGlideWet,
    kGlideTame,
    kGlideBias,
    kGlideOutput,
    kGlideFade,
    kNumGlides
  };
  using Glides = std::array<Glide, kNumGlides>;

  // The values a sample reads that follow the glided parameters (TolvaneDsp.cpp).
  struct Gains;
  // One channel's pass through a block: the stages of the signal path (TolvaneDsp.cpp).
  class ChannelPass;
  // The glides' pass through a block: the glides stepped sample by sample and the block's
  // timed changes applied at their offsets (TolvaneDsp.cpp).
  class GlidePass;

  // Runs `nFrames` samples of K channels (1 or 2) through the input stage, the slope tracker
  // and the output stage, sample by sample together; bypassed, copies each input while the
  // input filter and the histories keep following it. Then clears a channel whose state is
  // no longer finite. With kGliding the gains and the bypass crossfade come from `glides`,
  // sample by sample; without, `gains` and the block's bypass hold for the block.
  // `kneeAhead` (may be null) is the next block's knee recurrence, which the loop may step
  // through, interleaved with the samples' work; the caller finishes it.
  // Each variant is a function of its own, the register-hungry loop alone in it.
  template <int K, class Math, bool kGliding>
  [[gnu::noinline]] void ProcessChannels(Channel* const* chs, const double* const* in,
                                         double* const* out, int nFrames, double knee,
                                         const Gains& gains, GlidePass* glides,
                                         Mt19937FirstOutputWalk* kneeAhead);
  // Smoothing's block start: takes the values as they are after a restart, starts the glides
  // of parameters that changed between blocks, and records what each parameter heads for.
  // Answers whether the block needs the per-sample path (a glide moves or a change comes).
  bool PrepareGlides(const DspParams& params, const DspChange* changes, int nChanges);
  // Heads the glides of `p` for the real value `v` over `length` samples (0: at once; the
  // bypass crossfade otherwise takes its own time). The targets are the block values' own
  // formulas.
  void Head(Glides& glides, DspParam p, double v, int32_t length);
  // The block values' formulas, shared by the block start and the timed changes.
  double DriveOf(double gain);
  double TameAmountOf(double tame);
  // Advances the process-wide denormal seed by `steps` steps in one atomic exchange (so
  // that concurrent instances never lose a step) and returns the seed before them.
  static int32_t ReserveDenormalSteps(int steps);

  static std::atomic<int32_t> sDenormalSeed;

  KneeSource mKnee;
  bool mFusedMath;

  // Block values.
  double mRate = 0.0;
  double mRateBlend = 0.0;
  double mKneeRandom = 0.0;
  double mDrive = 0.0;
  double mWet = 0.0;
  double mBiasAmount = 0.0;
  double mOutputLevel = 0.0;
  int32_t mBypassed = 0;
  int32_t mReactMode = 0;
  double mTameAmount = 0.0;

  // The last argument and result of a block value's power: a correctly rounded power is
  // a function of its argument alone, and parameters mostly hold still from block to
  // block, while 3^g costs about a microsecond.
  struct LastPower {
    double argument = std::numeric_limits<double>::quiet_NaN();  // never equal: computes once
    double result = 0.0;
    template <class Power>
    double Of(double x, Power power) {
      if (!(x == argument)) {
        argument = x;
        result = power(x);
      }
      return result;
    }
  };
  LastPower mDrivePower;
  LastPower mTamePower;
  int32_t mDelayIndex = 0;
  double mDelayFraction = 0.0;
  int32_t mDelay2Index = 0;
  double mRateFactor = 1.0;
  double mRateFactor2 = 2.0;

  // Smoothing.
  bool mSmoothing = false;
  bool mRestartGlides = true;  // the next block takes the parameters as they are
  Glides mGlides;
  Glides mGlidesAfter;  // where a block's glides end, while its passes start from mGlides
  std::array<double, kNumDspParams> mHeading{};  // each parameter's last value, real units
  int32_t mGlideLength = 1;                      // kGlideSeconds in samples
  int32_t mFadeLength = 1;                       // kBypassFadeSeconds in samples
  double mTameDivisor = 2.0;                     // the rate factor 2 of this block's tame amount

  // Active coefficients: low-pass b0 b1 b2 a1 a2, then high-pass b0 b1 b2 a1 a2.
  std::array<double, 10> mCoeffs;

  // Per-channel state, all zero after construction; never reallocated.
  std::vector<Channel> mChannels;
};

}  // namespace tolvane
