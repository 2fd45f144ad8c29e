#include "tolvane/TolvaneDsp.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "tolvane/DspLanes.h"
#include "tolvane/FilterDesign.h"
#include "tolvane/crmath/CrMath.h"

#if defined(__FAST_MATH__)
#error "Tolvane's signal processing is bit-exact only without fast-math"
#endif

namespace tolvane {

namespace {

// The coefficient sets: low-pass at 20 kHz (b0 b1 b2 a1 a2), then high-pass at 20 Hz. The
// rates of kRateCoeffs keep these bits; every other rate's filters are designed for it
// (FilterDesign.h, whose design these sets are).
constexpr std::array<double, 10> kInitialCoeffs = {
    0.8132425994466649,  1.6264851988933298, 0.8132425994466649,  1.5912978843171357,
    0.661672513469524,   0.9979870964295267, -1.9959741928590533, 0.9979870964295267,
    -1.9959701411517219, 0.9959782445663846};

struct RateCoeffs {
  int32_t rate;
  std::array<double, 10> coeffs;
};

constexpr RateCoeffs kRateCoeffs[] = {
    {44100,
     {0.8151655733662241, 1.6303311467324482, 0.8151655733662241, 1.5950606290772769,
      0.6656016643876196, 0.9979870964295267, -1.9959741928590533, 0.9979870964295267,
      -1.9959701411517219, 0.9959782445663846}},
    {48000,
     {0.6917994904412835, 1.383598980882567, 0.6917994904412835, 1.2842610434611013,
      0.48293691830403307, 0.998175960469033, -1.996351920938066, 0.998175960469033,
      -1.9963485002390708, 0.9963553416370613}},
    {88200,
     {0.25281587515667564, 0.5056317503133513, 0.25281587515667564, -0.1722195203912214,
      0.18348302101792383, 0.999006924037445, -1.99801384807489, 0.999006924037445,
      -1.9980128341139918, 0.9980148620357879}},
    {96000,
     {0.22143465387145803, 0.44286930774291605, 0.22143465387145803, -0.30929831798252466,
      0.19503693346835663, 0.999087575673053, -1.998175151346106, 0.999087575673053,
      -1.9981742953910755, 0.9981760073011364}},
    {192000,
     {0.07223066687518032, 0.14446133375036063, 0.07223066687518032, -1.10922559150289,
      0.3981482590036111, 0.9995436866552185, -1.999087373310437, 0.9995436866552185,
      -1.9990871592240336, 0.9990875873968406}},
};

// max(0, min(1, v)), the minimum taken first. NaN becomes 1 and -0 becomes +0, so the
// result lies in [+0, 1]: clamping it again, or clamping 1 minus it, changes no bit.
inline double Clamp01(double v) { return std::max(0.0, std::min(1.0, v)); }

// (1 - t) * a + t * b, with exactly these products.
inline double Lerp(double a, double b, double t) { return (1 - t) * a + t * b; }

// Conversion toward zero to a 32-bit integer, defined for every double: values
// outside the range clamp to its ends and NaN gives 0 (a bare cast would be undefined).
inline int32_t TruncToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

inline bool IsUsableRate(double rate) { return std::isfinite(rate) && rate > 0.0; }

// Block values. The delays are stated in samples at 44.1 kHz; the rate factors scale the
// first and the second delay to the running rate (1 up to 44.1 kHz, at most 4.5 and 9).
constexpr double kRateFactorPerHz = 1.0 / 44100;
constexpr double kRateFactor2PerHz = 2.0 / 44100;
constexpr double kMaxRateFactor = 4.5;
constexpr double kMaxRateFactor2 = 9;
static_assert(kRateFactorPerHz == 2.2675736961451248e-05, "the factor is 1 / 44100 rounded");
static_assert(kRateFactor2PerHz == 4.5351473922902495e-05, "the factor is 2 / 44100 rounded");
// The smoother's result enters the stage-2 history with a weight rising from 0 at 44.1 kHz
// to 1 at 192 kHz (the plain saturator output takes the rest).
constexpr double kRateBlendFrom = 44100;
constexpr double kRateBlendSpan = 192000.0 - 44100.0;
// The tame amount is (kTameScale * Tame) ^ kTameExponent over the rate factor 2.
constexpr double kTameScale = 1.5;
constexpr int kTameExponent = 11;
// The knee, drawn once per block between these two, divides the residual corrections and
// the mode 1 saturator's rise difference.
constexpr double kKneeHigh = 2.0023318412286;
constexpr double kKneeLow = 2.0011596521816433;
// Keeps a divisor that can be zero away from it. The knee (about 2) and the rate factor 2
// (1 to 9) are never near zero and take no guard: added to them it would change no bit.
constexpr double kDivisionGuard = 1e-30;
static_assert(1 + kDivisionGuard == 1, "the guard vanishes next to any divisor of 1 or more");
// Every channel's React level at the start of a block, kept through it with React off.
constexpr double kReactLevelStart = kDivisionGuard;

// Input stage. Inputs smaller in magnitude than kDenormalLimit are replaced by the
// denormal sequence; the saturated signal is trimmed by kTrimPerInputGain per unit of
// Input Gain before it is blended with the pre-filtered input. (An offset of 1e-38 on
// that product would change no trim: a product of 2^-60 or more absorbs it, and 1 minus
// anything smaller is 1.)
constexpr double kDenormalLimit = 1.2e-38;
constexpr double kTrimPerInputGain = 0.3546842186847654;

// Slope tracker. The React level is (1 - Lerp(kReactAtFall, kReactAtRise, p)) ^ 4 over the
// rate factor 2, p being the slope mapped onto 0 (steepest fall) .. 1 (steepest rise). Its
// ceiling is (level + tame amount) / kPhi. With React on, the target is weighted by the
// slope's place between level and ceiling (kLevelWeightShare) and by the slope's ratio to
// the delayed output (kRatioWeightShare).
constexpr double kReactAtFall = 0.91213574841;
constexpr double kReactAtRise = 0.58223574541;
constexpr int kReactExponent = 4;
constexpr double kPhi = 1.618033988749895;
constexpr double kLevelWeightShare = 0.75;
constexpr double kRatioWeightShare = 0.25;

// Output stage. Below kFullWetFrom the pre-filtered input is blended back after the
// high-pass, fully at Wet 0.
constexpr double kFullWetFrom = 0.85;

// Saturators. Mode 1 bends magnitudes above kSatKnee; mode 2 passes magnitudes up to
// kSat2Threshold and bends the kSat2KneeSpan above it with a tanh knee.
constexpr double kSatKnee = 0.9885530946569389;
constexpr double kSat2Threshold = 0.9772372209558107;
constexpr double kSat2KneeSpan = 1 - kSat2Threshold;
static_assert(kSat2KneeSpan == 0.02276277904418933, "the span reaches 1");

// Soft clip of magnitudes a above kSoftClipStart: the cubic kSoftClipLinear q -
// kSoftClipCubic q^3 of q = kSoftClipScale (|a + kSatKnee| - |a - kSatKnee|), which is
// 0.9 min(a, kSatKnee), faded in over the kSoftClipSpan up to 1.
constexpr double kSoftClipStart = 0.8;
constexpr double kSoftClipSpan = 1 - kSoftClipStart;
constexpr double kSoftClipScale = 0.45;
constexpr double kSoftClipLinear = 1.45;
constexpr double kSoftClipCubic = 0.45;
static_assert(kSoftClipSpan == 0.19999999999999996, "the span reaches 1");

// Soft clip of a magnitude a > kSoftClipStart: a smooth bend into about 0.9731.
inline double SoftClip(double a) {
  const double q = (std::fabs(a + kSatKnee) - std::fabs(a - kSatKnee)) * kSoftClipScale;
  const double fade = Clamp01((a - kSoftClipStart) / kSoftClipSpan);
  return (q * kSoftClipLinear - q * kSoftClipCubic * q * q) * fade + (1 - fade) * a;
}

// Holds v within [-1, 1]; a NaN stays.
inline void LimitToUnit(double& v) {
  if (v > 1) v = 1;
  if (v < -1) v = -1;
}

// The last step of every sample: the soft clip on the magnitude, the sign restored (a
// negative zero becomes positive), the result held within [-1, 1].
inline double ClipOutput(double y) {
  double a = std::fabs(y);
  if (a > kSoftClipStart) a = SoftClip(a);
  if (y < 0) a = -a;
  LimitToUnit(a);
  return a;
}

// One transposed direct form II biquad step: y = b0 x + z1; z1 = b1 x - a1 y + z2; z2 = b2 x - a2
// y.
inline double Biquad(const double* c, double x, double& z1, double& z2) {
  const double y = c[0] * x + z1;
  z1 = c[1] * x - c[3] * y + z2;
  z2 = c[2] * x - c[4] * y;
  return y;
}

}  // namespace

std::atomic<int32_t> TolvaneDsp::sDenormalSeed{0};

bool TolvaneDsp::Channel::IsFinite() const {
  bool finite = std::isfinite(preFiltered) && std::isfinite(residual) &&
                std::isfinite(reactLevel) && std::isfinite(inLpA) && std::isfinite(inLpB) &&
                std::isfinite(hpA) && std::isfinite(hpB) && std::isfinite(outLpA) &&
                std::isfinite(outLpB) && std::isfinite(sat1Last) && std::isfinite(sat2Last);
  for (int k = 0; k < kHistorySize; ++k) {
    finite = finite && std::isfinite(outHistory[k]) && std::isfinite(trackHistory[k]) &&
             std::isfinite(stage2History[k]);
  }
  return finite;
}

void TolvaneDsp::Channel::Clear() { *this = Channel{}; }

TolvaneDsp::TolvaneDsp(int channels)
    : mFusedMath(crmath::HasFusedMultiplyAdd()),
      mCoeffs(kInitialCoeffs),
      mChannels(static_cast<size_t>(std::max(2, channels))) {}

void TolvaneDsp::UseFusedMultiplyAdd(bool use) {
  mFusedMath = use && crmath::HasFusedMultiplyAdd();
}

void TolvaneDsp::OnReset(double sampleRate) {
  mRestartGlides = true;
  if (!IsUsableRate(sampleRate)) return;
  mRate = sampleRate;
  const int32_t rate = TruncToInt32(sampleRate);
  for (const RateCoeffs& set : kRateCoeffs) {
    if (set.rate == rate) {
      mCoeffs = set.coeffs;
      return;
    }
  }
  mCoeffs = DesignRateFilters(sampleRate);
}

namespace {

// 32-bit signed arithmetic with wrapping products; % truncates toward zero.
inline int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// One step of the denormal seed.
inline int32_t NextDenormalSeed(int32_t seed) { return seed % 1700021 + 1; }

// The denormal value that a step to `seed` gives.
inline double DenormalOf(int32_t seed) {
  const int32_t a = WrapMul(seed, seed) % 170003;
  const int32_t b = WrapMul(a, a) % 17011;
  const int32_t c = WrapMul(b, b) % 1709;
  const int32_t d = WrapMul(c, c) % 173;
  const int32_t e = WrapMul(d, d) % 17;
  return static_cast<double>(e) * 1e-8 * 1e-8;
}

inline bool NeedsDenormal(double x) { return x < kDenormalLimit && -x < kDenormalLimit; }

}  // namespace

int32_t TolvaneDsp::ReserveDenormalSteps(int steps) {
  int32_t seed = sDenormalSeed.load(std::memory_order_relaxed);
  int32_t end;
  do {
    end = seed;
    for (int i = 0; i < steps; ++i) end = NextDenormalSeed(end);
  } while (steps > 0 && !sDenormalSeed.compare_exchange_weak(seed, end, std::memory_order_relaxed));
  return seed;
}

namespace {

// The correctly rounded functions a pass calls, in two builds with the same results: plain
// IEEE arithmetic, and the fused multiply-add's (for processors that have it, sooner).
struct SplitMath {
  using Products = crmath::detail::SplitProducts;
  static constexpr bool kFused = false;
  static double Tanh(double x) { return crmath::Tanh(x); }
  static void Tanh2(double x0, double x1, double& y0, double& y1) { crmath::Tanh2(x0, x1, y0, y1); }
  static double PowInt(double x, int n) { return crmath::PowInt(x, n); }
};
struct FusedMath {
  using Products = crmath::detail::FusedProducts;
  static constexpr bool kFused = true;
  static double Tanh(double x) { return crmath::detail::TanhFused(x); }
  static void Tanh2(double x0, double x1, double& y0, double& y1) {
    crmath::detail::Tanh2Fused(x0, x1, y0, y1);
  }
  static double PowInt(double x, int n) { return crmath::detail::PowIntFused(x, n); }
};

// K tanh at once: in SIMD lanes for two, each result equal to the scalar one.
template <int K, class Math>
[[gnu::always_inline]] inline void TanhLanes(const double* x, double* y) {
  if constexpr (K == 1) {
    y[0] = Math::Tanh(x[0]);
  } else {
    static_assert(K == 2, "one or two lanes");
    Math::Tanh2(x[0], x[1], y[0], y[1]);
  }
}

}  // namespace

// The values a sample reads that follow Input Gain, Wet, Tame, Bias and Output Gain, each
// derived by the one formula both paths use: once per block from the block values, or once
// per sample from the glides' values while they move.
struct TolvaneDsp::Gains {
  double drive;        // gain into the mode 1 saturator
  double driveMix;     // weight of the trimmed saturator output against the input
  double trim;         // scale of the saturator output
  double wetMix;       // weight of the driven signal against the pre-filtered input
  double tame;         // the tame amount
  double tameMix;      // weight of the target against the wet signal
  double bias;         // -1 .. 1, 0 neutral
  double biasRiseMix;  // processing kept on rising stretches (Bias above centre)
  double biasFallMix;  // processing kept on falling stretches (Bias below centre)
  double outputLevel;
  bool partialWet;  // Wet below kFullWetFrom blends the dry signal back
  double partialWetMix;

  // From Input Gain as a fraction, the drive, the clamped Wet fraction, the tame amount, the
  // bias amount and the output level.
  [[gnu::always_inline]] static Gains Of(double gain, double drive, double wet, double tameAmount,
                                         double biasAmount, double outputLevel) {
    return {drive,
            Clamp01(drive),
            1 - gain * kTrimPerInputGain,
            Clamp01(wet),
            tameAmount,
            Clamp01(tameAmount),
            biasAmount,
            Clamp01(1 - biasAmount),
            Clamp01(biasAmount + 1),
            outputLevel,
            wet < kFullWetFrom,
            Clamp01(wet / kFullWetFrom)};
  }
};

// One channel's pass through one block: the block values in the form its samples read
// them, derived once, and the signal path of one sample as stages. Everything is forced
// inline into ProcessChannels' loop, where the pass dissolves into registers.
class TolvaneDsp::ChannelPass {
  using History = std::array<double, kHistorySize>;

 public:
  [[gnu::always_inline]] inline ChannelPass(const TolvaneDsp& dsp, Channel& ch, double knee,
                                            const Gains& gains);

  // The passes of channels chs[0..K), K = sizeof...(I).
  template <size_t... I>
  static std::array<ChannelPass, sizeof...(I)> Make(const TolvaneDsp& dsp, Channel* const* chs,
                                                    double knee, const Gains& gains,
                                                    std::index_sequence<I...>) {
    return {{ChannelPass(dsp, *chs[I], knee, gains)...}};
  }

  bool Bypassed() const { return mBypassed; }
  // The gains from this sample on.
  [[gnu::always_inline]] void SetGains(const Gains& g) {
    mDrive = g.drive;
    mDriveMix = g.driveMix;
    mTrim = g.trim;
    mWetMix = g.wetMix;
    mTame = g.tame;
    mTameMix = g.tameMix;
    mBias = g.bias;
    mBiasRiseMix = g.biasRiseMix;
    mBiasFallMix = g.biasFallMix;
    mOutputLevel = g.outputLevel;
    mPartialWet = g.partialWet;
    mPartialWetMix = g.partialWetMix;
  }
  // The channel's denormals continue the sequence from `seed`.
  void StartDenormalsAfter(int32_t seed) { mDenormalSeed = seed; }

  // Denormal guard, input low-pass and history shift. Returns the pre-filtered input.
  [[gnu::always_inline]] inline double FilterInput(double x);
  // The input stage of K channels (1 or 2) at once: the mode 1 saturator on each driven
  // signal, blended with the pre-filtered input by drive, then by Wet. Sets the wet signals.
  // `magnitudeTanh`, when given, holds tanh of each driven signal's magnitude, computed ahead
  // (the saturator's result where it bends nothing else in).
  template <int K, class Math>
  [[gnu::always_inline]] static inline void InputStages(ChannelPass* const* passes,
                                                        const double* preFiltered, double* wet,
                                                        const double* magnitudeTanh = nullptr);
  // The slope tracker: once the output history reaches the delay, pulls the wet signal
  // toward the delayed tracked value plus the React level, by Tame, less where Bias lets
  // rising or falling stretches through. Returns the tracked signal.
  template <class Math>
  [[gnu::always_inline]] inline double TrackSlope(double wet);
  // Makes `tracked` the newest output history value.
  [[gnu::always_inline]] void RecordOutput(double tracked) { Cell(mCh.outHistory, 0) = tracked; }
  // The output stage: output level, mode 2 saturator, delayed-difference smoother, output
  // bias, high-pass, the pre-filtered input blended back below full Wet, low-pass and the
  // final clip. Returns the output sample.
  template <class Math>
  [[gnu::always_inline]] inline double OutputStage(double tracked, double preFiltered);

#if defined(__SSE2__)
  // The stages above for a pair of channels at once, lane 0 the first pass's channel, lane 1
  // the second's: each lane's operations are exactly its channel's, in its order, and each
  // branch the scalar stage takes per channel is a select per lane. The pair's state that
  // every sample carries to the next stays in lanes through the block (PairState).
  struct PairState;
  [[gnu::always_inline]] static inline PairState LoadPair(ChannelPass* const* passes);
  [[gnu::always_inline]] static inline void StorePair(ChannelPass* const* passes,
                                                      const PairState& s);
  // FilterInput in two parts: the denormal guard and the input low-pass, which depend on the
  // input alone and may run ahead, then the history shift, at the sample's turn.
  [[gnu::always_inline]] static inline lanes::Lane2 FilterInputs(ChannelPass* const* passes,
                                                                 PairState& s, double x0,
                                                                 double x1);
  [[gnu::always_inline]] static inline void ShiftHistories(ChannelPass* const* passes);
  // tanh of the magnitude of each pre-filtered input times the drive (see InputStages).
  template <class Math>
  [[gnu::always_inline]] static inline void DrivenMagnitudeTanh(ChannelPass* const* passes,
                                                                lanes::Lane2 preFiltered,
                                                                double* magnitudeTanh);
  // InputStages for a pair with the block's gains (the same in both passes) and the tanh of
  // the driven magnitudes computed ahead: the saturator's common case, where no channel needs
  // its full computation, runs in lanes; otherwise InputStages runs. Returns the wet signals.
  template <class Math>
  [[gnu::always_inline]] static inline lanes::Lane2 InputStagesPair(ChannelPass* const* passes,
                                                                    lanes::Lane2 preFiltered,
                                                                    const double* magnitudeTanh);
  template <class Math>
  [[gnu::always_inline]] static inline lanes::Lane2 TrackSlopes(ChannelPass* const* passes,
                                                                PairState& s, lanes::Lane2 wet);
  [[gnu::always_inline]] static inline void RecordOutputs(ChannelPass* const* passes,
                                                          lanes::Lane2 tracked);
  template <class Math>
  [[gnu::always_inline]] static inline lanes::Lane2 OutputStages(ChannelPass* const* passes,
                                                                 PairState& s, lanes::Lane2 tracked,
                                                                 lanes::Lane2 preFiltered);
  // ProcessChannels' loop for a pair of channels in lanes, the pair's running state held in
  // lanes through the block. RunPairFused is built for the fused multiply-add, which
  // FusedMath's inline kernels then use (it runs only where the processor has it).
  template <class Math, bool kGliding>
  [[gnu::always_inline]] static inline void RunPair(ChannelPass* const* passes,
                                                    const double* const* in, double* const* out,
                                                    int nFrames, GlidePass* glides,
                                                    Mt19937FirstOutputWalk* kneeAhead);
  template <class Math, bool kGliding>
  [[gnu::noinline]] static void RunPairPlain(ChannelPass* const* passes, const double* const* in,
                                             double* const* out, int nFrames, GlidePass* glides,
                                             Mt19937FirstOutputWalk* kneeAhead);
  template <class Math, bool kGliding>
  [[gnu::noinline, gnu::target("fma")]] static void RunPairFused(ChannelPass* const* passes,
                                                                 const double* const* in,
                                                                 double* const* out, int nFrames,
                                                                 GlidePass* glides,
                                                                 Mt19937FirstOutputWalk* kneeAhead);

 private:
  // Logical index `age` of history `h` of both channels, and the history read at the delay.
  [[gnu::always_inline]] static inline lanes::Lane2 CellPair(ChannelPass* const* passes,
                                                             History Channel::*h, unsigned age);
  [[gnu::always_inline]] static inline lanes::Lane2 DelayedPair(ChannelPass* const* passes,
                                                                History Channel::*h);
  // Stores lane k of `v` as index 0 of history `h` of channel k, for the lanes `which` marks.
  [[gnu::always_inline]] static inline void SetNewest(ChannelPass* const* passes,
                                                      History Channel::*h, lanes::Lane2 v,
                                                      int which = 3);

 public:
#endif

 private:
  // Logical index `age` (0 newest) of a history.
  double& Cell(History& h, unsigned age) const { return h[(mCh.pos + age) & kHistoryMask]; }
  // A history read at the fractional delay.
  double Delayed(History& h) const { return Lerp(Cell(h, mDelay), Cell(h, mDelayNext), mFraction); }

  // The mode 1 saturator of K channels at once, their tanh in lanes: each channel's
  // operations are exactly its own, in its own order.
  template <int K, class Math>
  [[gnu::always_inline]] static inline void SaturateInputs(ChannelPass* const* passes,
                                                           const double* x, double* out,
                                                           const double* magnitudeTanh);
  // The saturator's full computation for the channels that need it (see SaturateInputs).
  template <int K, class Math>
  static void FullSaturation(ChannelPass* const* passes, const bool* full, const double* magnitude,
                             const double* memory, const double* kneeMix, const double* riseArg,
                             const double* memoryRiseArg, double* finalArg);
  template <class Math>
  [[gnu::always_inline]] inline double SaturateOutput(double x);
  // Whether the saturators shape: the stage-2 history cell one past the second delay is
  // not exactly 0 (a NaN counts as non-zero).
  bool SaturatorsShape() const { return Cell(mCh.stage2History, mDelay2 + 1) != 0; }
  // The shaped magnitude (a NaN becomes 0) with the sign of the saturator's input.
  static double WithSignOf(double x, double magnitude) {
    const double result = std::max(0.0, magnitude);
    return x < 0 ? -result : result;
  }

  Channel& mCh;
  int32_t mDenormalSeed = 0;  // the seed of this channel's last denormal (its own steps)
  const double* const mLowPass;
  const double* const mHighPass;
  const unsigned mDelay;      // whole samples of the first delay
  const unsigned mDelayNext;  // the cell after it
  const unsigned mDelay2;     // whole samples of the second delay, at least 1
  const double mFraction;     // the first delay's fraction of a sample
  const double mKnee;         // the knee divisor
  const bool mBypassed;
  const bool mReactOn;
  const double mRateFactor2;
  const double mRateBlend;
  // The gains (see Gains); per block, or set every sample while a glide moves.
  double mDrive;
  double mDriveMix;
  double mTrim;
  double mWetMix;
  double mTame;
  double mTameMix;
  double mBias;
  double mBiasRiseMix;
  double mBiasFallMix;
  double mOutputLevel;
  bool mPartialWet;
  double mPartialWetMix;
};

TolvaneDsp::ChannelPass::ChannelPass(const TolvaneDsp& dsp, Channel& ch, double knee,
                                     const Gains& gains)
    : mCh(ch),
      mLowPass(dsp.mCoeffs.data()),
      mHighPass(dsp.mCoeffs.data() + 5),
      mDelay(static_cast<unsigned>(dsp.mDelayIndex)),
      mDelayNext(static_cast<unsigned>(dsp.mDelayIndex + 1)),
      mDelay2(static_cast<unsigned>(dsp.mDelay2Index)),
      mFraction(dsp.mDelayFraction),
      mKnee(knee),
      mBypassed(dsp.mBypassed == 1),
      mReactOn(dsp.mReactMode == 1),
      mRateFactor2(dsp.mRateFactor2),
      mRateBlend(dsp.mRateBlend) {
  SetGains(gains);
}

double TolvaneDsp::ChannelPass::FilterInput(double x) {
  if (NeedsDenormal(x)) {
    mDenormalSeed = NextDenormalSeed(mDenormalSeed);
    x = DenormalOf(mDenormalSeed);
  }
  const double preFiltered = Biquad(mLowPass, x, mCh.inLpA, mCh.inLpB);
  mCh.preFiltered = preFiltered;

  // Every logical index one older, index 0 unchanged.
  const unsigned old0 = mCh.pos;
  mCh.pos = (mCh.pos - 1) & kHistoryMask;
  mCh.outHistory[mCh.pos] = mCh.outHistory[old0];
  mCh.trackHistory[mCh.pos] = mCh.trackHistory[old0];
  mCh.stage2History[mCh.pos] = mCh.stage2History[old0];
  return preFiltered;
}

template <int K, class Math>
void TolvaneDsp::ChannelPass::InputStages(ChannelPass* const* passes, const double* preFiltered,
                                          double* wet, const double* magnitudeTanh) {
  double driven[K], saturated[K];
  for (int k = 0; k < K; ++k) driven[k] = preFiltered[k] * passes[k]->mDrive;
  SaturateInputs<K, Math>(passes, driven, saturated, magnitudeTanh);
  for (int k = 0; k < K; ++k) {
    const ChannelPass& p = *passes[k];
    const double mixed = Lerp(preFiltered[k], saturated[k] * p.mTrim, p.mDriveMix);
    wet[k] = Lerp(preFiltered[k], mixed, p.mWetMix);
  }
}

template <class Math>
double TolvaneDsp::ChannelPass::TrackSlope(double wet) {
  if (Cell(mCh.outHistory, mDelayNext) == 0) return wet;  // a NaN counts as non-zero

  const double delayed = Delayed(mCh.outHistory);
  const double slope = wet - delayed;
  const double position = (slope + 1) * 0.5;  // the slope mapped from -1 .. 1 onto 0 .. 1
  double level = mCh.reactLevel;
  if (mReactOn) {
    const double base = 1 - Lerp(kReactAtFall, kReactAtRise, Clamp01(position));
    level = Math::PowInt(base, kReactExponent) / mRateFactor2;
    mCh.reactLevel = level;
  }

  const double delayedTrack = Delayed(mCh.trackHistory);
  double target = delayedTrack + level;
  if (level > slope || slope > level) {  // they differ and neither is NaN
    const double gap = level - slope;
    mCh.residual = target - delayedTrack;
    target = target - gap / mKnee;
    if (mReactOn) {
      const double ceiling = (level + mTame) / kPhi;
      const double levelWeight = 1 - Clamp01((position - level) / (ceiling - level));
      const double ratioWeight = Clamp01(position / delayed);
      target = Lerp(wet, target, levelWeight) * kLevelWeightShare +
               Lerp(wet, target, ratioWeight) * kRatioWeightShare;
    }
    target = target - mCh.residual / mKnee;
  }
  // A positive target for a negative signal meets it halfway.
  if (wet < 0 && target > 0) target = target * 0.5 + wet * 0.5;

  double tracked = Lerp(wet, target, mTameMix);
  if (mBias > 0 && slope > 0) tracked = Lerp(wet, tracked, mBiasRiseMix);
  if (mBias < 0 && slope < 0) tracked = Lerp(wet, tracked, mBiasFallMix);
  Cell(mCh.trackHistory, 0) = tracked;
  return tracked;
}

template <class Math>
double TolvaneDsp::ChannelPass::OutputStage(double tracked, double preFiltered) {
  const double saturated = SaturateOutput<Math>(mOutputLevel * tracked);
  double smoothed = saturated;
  if (Cell(mCh.stage2History, mDelay2) != 0) {
    mCh.residual = saturated - Delayed(mCh.stage2History);
    smoothed = saturated - mCh.residual / mKnee;
  }
  Cell(mCh.stage2History, 0) = smoothed * mRateBlend + (1 - mRateBlend) * saturated;

  double y = smoothed;
  if (mBias > 0 && mCh.residual > 0) y = Lerp(saturated, y, mBiasRiseMix);
  if (mBias < 0 && mCh.residual < 0) y = Lerp(saturated, y, mBiasFallMix);

  // The high-pass state is held within [-1, 1] before every step.
  LimitToUnit(mCh.hpA);
  LimitToUnit(mCh.hpB);
  y = Biquad(mHighPass, y, mCh.hpA, mCh.hpB);
  if (mPartialWet) y = Lerp(preFiltered, y, mPartialWetMix);
  return ClipOutput(Biquad(mLowPass, y, mCh.outLpA, mCh.outLpB));
}

// Limits the magnitude to 0..1 and, above kSatKnee, pulls it toward the delayed memory
// when the signal rises faster than the memory did. Its memory's index 0 is its own last
// magnitude; above that it is the stage-2 history (see Channel).
//
// Work whose result cannot change a bit is skipped. Up to kSatKnee the knee mix is +0, and
// both the pulled magnitude and the knee term enter the result multiplied by it: while the
// memory is finite and the older memory is not NaN, both are finite, their products zeros,
// and the sums they join (the magnitude, never -0) keep every bit. The result is then the
// clamped tanh of the magnitude, and the rise, memory rise, pull and knee term are not
// computed. Above kSatKnee, or with a memory that is not finite, every term is computed.
template <int K, class Math>
void TolvaneDsp::ChannelPass::SaturateInputs(ChannelPass* const* passes, const double* x,
                                             double* out, const double* magnitudeTanh) {
  double magnitude[K], memory[K], kneeMix[K], riseArg[K], memoryRiseArg[K], finalArg[K];
  bool shapes[K], full[K];
  bool anyShapes = false, anyFull = false;
  for (int k = 0; k < K; ++k) {
    ChannelPass& p = *passes[k];
    magnitude[k] = std::fabs(x[k]);
    shapes[k] = p.SaturatorsShape();
    full[k] = false;
    riseArg[k] = memoryRiseArg[k] = finalArg[k] = 0;
    if (!shapes[k]) continue;
    anyShapes = true;
    History& h = p.mCh.stage2History;
    const double newest = p.mDelay == 0 ? p.mCh.sat1Last : p.Cell(h, p.mDelay);
    memory[k] = Lerp(newest, p.Cell(h, p.mDelayNext), p.mFraction);
    const double olderMemory = Lerp(p.Cell(h, p.mDelay2), p.Cell(h, p.mDelay2 + 1), p.mFraction);
    kneeMix[k] = Clamp01(magnitude[k] - kSatKnee);
    full[k] = kneeMix[k] != 0 || !std::isfinite(memory[k]) || olderMemory != olderMemory;
    anyFull = anyFull || full[k];
    finalArg[k] = magnitude[k];
    riseArg[k] = magnitude[k] - memory[k];
    memoryRiseArg[k] = memory[k] - olderMemory;
  }
  if (!anyShapes) {
    for (int k = 0; k < K; ++k) {
      passes[k]->mCh.sat1Last = magnitude[k];
      out[k] = WithSignOf(x[k], magnitude[k]);
    }
    return;
  }
  if (anyFull)
    FullSaturation<K, Math>(passes, full, magnitude, memory, kneeMix, riseArg, memoryRiseArg,
                            finalArg);
  // Without the full computation the final argument of a shaping channel is its magnitude.
  double finalTanh[K];
  if (anyFull || !magnitudeTanh) {
    TanhLanes<K, Math>(finalArg, finalTanh);
  } else {
    for (int k = 0; k < K; ++k) finalTanh[k] = magnitudeTanh[k];
  }
  for (int k = 0; k < K; ++k) {
    const double shaped = shapes[k] ? Clamp01(finalTanh[k]) : magnitude[k];
    passes[k]->mCh.sat1Last = shaped;
    out[k] = WithSignOf(x[k], shaped);
  }
}

// The mode 1 saturator's terms for the channels marked `full`: sets their final tanh
// argument from the rise, the memory rise, the pull and the knee term, each as stated. The
// knee term is left out (0 stands in) while the knee mix is 0 and neither rise is NaN: its
// product with the mix is then a zero.
template <int K, class Math>
void TolvaneDsp::ChannelPass::FullSaturation(ChannelPass* const* passes, const bool* full,
                                             const double* magnitude, const double* memory,
                                             const double* kneeMix, const double* riseArg,
                                             const double* memoryRiseArg, double* finalArg) {
  double rise[K], memoryRise[K];
  TanhLanes<K, Math>(riseArg, rise);
  TanhLanes<K, Math>(memoryRiseArg, memoryRise);

  double kneeShaped[K], excessArg[K];
  bool knee[K];
  bool anyKnee = false;
  for (int k = 0; k < K; ++k) {
    knee[k] = full[k] && (kneeMix[k] != 0 || rise[k] != rise[k] || memoryRise[k] != memoryRise[k]);
    excessArg[k] = knee[k] ? (rise[k] - memoryRise[k]) / passes[k]->mKnee : 0;
    kneeShaped[k] = 0;
    anyKnee = anyKnee || knee[k];
  }
  if (anyKnee) {
    double excess[K], kneeArg[K], kneeTanh[K];
    TanhLanes<K, Math>(excessArg, excess);
    for (int k = 0; k < K; ++k) kneeArg[k] = knee[k] ? magnitude[k] - excess[k] : 0;
    TanhLanes<K, Math>(kneeArg, kneeTanh);
    for (int k = 0; k < K; ++k) {
      if (knee[k]) kneeShaped[k] = kneeTanh[k];
    }
  }

  double pullArg[K];
  bool pulls[K];
  bool anyPull = false;
  for (int k = 0; k < K; ++k) {
    pulls[k] = full[k] && rise[k] > memoryRise[k];
    pullArg[k] = pulls[k] ? rise[k] / (memoryRise[k] + kDivisionGuard) : 0;
    anyPull = anyPull || pulls[k];
  }
  double pullTanh[K] = {};
  if (anyPull) TanhLanes<K, Math>(pullArg, pullTanh);

  for (int k = 0; k < K; ++k) {
    if (!full[k]) continue;
    double shaped = magnitude[k];
    if (pulls[k]) {
      const double pull = Clamp01(pullTanh[k]);
      shaped = Lerp(magnitude[k], memory[k], pull) * kneeMix[k] + (1 - kneeMix[k]) * magnitude[k];
    }
    finalArg[k] = (1 - kneeMix[k]) * shaped + kneeMix[k] * kneeShaped[k];
  }
}

// Passes magnitudes up to kSat2Threshold, bends the region above with a tanh knee, then
// soft clips above kSoftClipStart. Of its memory it reads only the cell that decides
// whether it shapes; mode 1's memory interpolation and tanh terms would go unused here and
// are not computed.
template <class Math>
double TolvaneDsp::ChannelPass::SaturateOutput(double x) {
  double magnitude = std::fabs(x);
  if (SaturatorsShape()) {
    if (magnitude > kSat2Threshold) {
      const double over = magnitude - kSat2Threshold;
      const double kneeMix = Clamp01(over / kSat2KneeSpan);
      magnitude = (Math::Tanh(over) * 0.5 + over * 0.5 + kSat2Threshold) * kneeMix +
                  (1 - kneeMix) * magnitude;
    }
    if (magnitude > kSoftClipStart) magnitude = SoftClip(magnitude);
  }
  mCh.sat2Last = magnitude;
  return WithSignOf(x, magnitude);
}

#if defined(__SSE2__)

namespace {

// SoftClip and ClipOutput in lanes: the soft clip is computed in both lanes and taken where the
// magnitude exceeds kSoftClipStart.
[[gnu::always_inline]] inline lanes::Lane2 SoftClipLanes(lanes::Lane2 a) {
  using lanes::Lane2;
  const Lane2 q = (lanes::Abs(a + kSatKnee) - lanes::Abs(a - Lane2(kSatKnee))) * kSoftClipScale;
  const Lane2 fade = lanes::Clamp01((a - Lane2(kSoftClipStart)) / Lane2(kSoftClipSpan));
  return (q * kSoftClipLinear - q * kSoftClipCubic * q * q) * fade + (Lane2(1.0) - fade) * a;
}

[[gnu::always_inline]] inline lanes::Lane2 ClipOutputLanes(lanes::Lane2 y) {
  using lanes::Lane2;
  Lane2 a = lanes::Abs(y);
  const lanes::Mask2 clips = lanes::Greater(a, Lane2(kSoftClipStart));
  if (lanes::Bits(clips) != 0) a = lanes::Select(clips, SoftClipLanes(a), a);
  return lanes::LimitToUnit(lanes::NegateWhereNegative(y, a));
}

}  // namespace

struct TolvaneDsp::ChannelPass::PairState {
  lanes::Lane2 inLpA, inLpB, hpA, hpB, outLpA, outLpB, reactLevel, residual, preFiltered, sat2Last;
};

TolvaneDsp::ChannelPass::PairState TolvaneDsp::ChannelPass::LoadPair(ChannelPass* const* passes) {
  const Channel& a = passes[0]->mCh;
  const Channel& b = passes[1]->mCh;
  using lanes::Pair;
  return {Pair(a.inLpA, b.inLpA),
          Pair(a.inLpB, b.inLpB),
          Pair(a.hpA, b.hpA),
          Pair(a.hpB, b.hpB),
          Pair(a.outLpA, b.outLpA),
          Pair(a.outLpB, b.outLpB),
          Pair(a.reactLevel, b.reactLevel),
          Pair(a.residual, b.residual),
          Pair(a.preFiltered, b.preFiltered),
          Pair(a.sat2Last, b.sat2Last)};
}

void TolvaneDsp::ChannelPass::StorePair(ChannelPass* const* passes, const PairState& s) {
  Channel* chs[2] = {&passes[0]->mCh, &passes[1]->mCh};
  double lane[2];
  auto put = [&](double Channel::*field, lanes::Lane2 v) {
    _mm_storeu_pd(lane, v.v);
    chs[0]->*field = lane[0];
    chs[1]->*field = lane[1];
  };
  put(&Channel::inLpA, s.inLpA);
  put(&Channel::inLpB, s.inLpB);
  put(&Channel::hpA, s.hpA);
  put(&Channel::hpB, s.hpB);
  put(&Channel::outLpA, s.outLpA);
  put(&Channel::outLpB, s.outLpB);
  put(&Channel::reactLevel, s.reactLevel);
  put(&Channel::residual, s.residual);
  put(&Channel::preFiltered, s.preFiltered);
  put(&Channel::sat2Last, s.sat2Last);
}

lanes::Lane2 TolvaneDsp::ChannelPass::CellPair(ChannelPass* const* passes, History Channel::*h,
                                               unsigned age) {
  return lanes::Pair(passes[0]->Cell(passes[0]->mCh.*h, age),
                     passes[1]->Cell(passes[1]->mCh.*h, age));
}

lanes::Lane2 TolvaneDsp::ChannelPass::DelayedPair(ChannelPass* const* passes, History Channel::*h) {
  const ChannelPass& p = *passes[0];
  return lanes::Lerp(CellPair(passes, h, p.mDelay), CellPair(passes, h, p.mDelayNext),
                     lanes::Lane2(p.mFraction));
}

void TolvaneDsp::ChannelPass::SetNewest(ChannelPass* const* passes, History Channel::*h,
                                        lanes::Lane2 v, int which) {
  if (which & 1) passes[0]->Cell(passes[0]->mCh.*h, 0) = lanes::Low(v);
  if (which & 2) passes[1]->Cell(passes[1]->mCh.*h, 0) = lanes::High(v);
}

lanes::Lane2 TolvaneDsp::ChannelPass::FilterInputs(ChannelPass* const* passes, PairState& s,
                                                   double x0, double x1) {
  double x[2] = {x0, x1};
  for (int k = 0; k < 2; ++k) {
    ChannelPass& p = *passes[k];
    if (NeedsDenormal(x[k])) {
      p.mDenormalSeed = NextDenormalSeed(p.mDenormalSeed);
      x[k] = DenormalOf(p.mDenormalSeed);
    }
  }
  const lanes::Lane2 preFiltered =
      lanes::Biquad(passes[0]->mLowPass, lanes::Pair(x[0], x[1]), s.inLpA, s.inLpB);
  s.preFiltered = preFiltered;
  return preFiltered;
}

void TolvaneDsp::ChannelPass::ShiftHistories(ChannelPass* const* passes) {
  for (int k = 0; k < 2; ++k) {
    Channel& ch = passes[k]->mCh;
    const unsigned old0 = ch.pos;
    ch.pos = (ch.pos - 1) & kHistoryMask;
    ch.outHistory[ch.pos] = ch.outHistory[old0];
    ch.trackHistory[ch.pos] = ch.trackHistory[old0];
    ch.stage2History[ch.pos] = ch.stage2History[old0];
  }
}

template <class Math>
void TolvaneDsp::ChannelPass::DrivenMagnitudeTanh(ChannelPass* const* passes,
                                                  lanes::Lane2 preFiltered, double* magnitudeTanh) {
  // As InputStages and SaturateInputs form them: the driven signal, then its magnitude.
  const lanes::Lane2 magnitude = lanes::Abs(preFiltered * passes[0]->mDrive);
  crmath::detail::Tanh2With<typename Math::Products>(lanes::Low(magnitude), lanes::High(magnitude),
                                                     magnitudeTanh[0], magnitudeTanh[1]);
}

template <class Math>
lanes::Lane2 TolvaneDsp::ChannelPass::InputStagesPair(ChannelPass* const* passes,
                                                      lanes::Lane2 preFiltered,
                                                      const double* magnitudeTanh) {
  using namespace lanes;
  const ChannelPass& p = *passes[0];
  const Lane2 zero(0.0);
  // SaturateInputs' per-channel values, as it forms them.
  const Lane2 x = preFiltered * p.mDrive;
  const Lane2 magnitude = Abs(x);
  const Mask2 shapes = NotEqual(CellPair(passes, &Channel::stage2History, p.mDelay2 + 1), zero);
  const Lane2 newest = p.mDelay == 0 ? Pair(passes[0]->mCh.sat1Last, passes[1]->mCh.sat1Last)
                                     : CellPair(passes, &Channel::stage2History, p.mDelay);
  const Lane2 fraction(p.mFraction);
  const Lane2 memory =
      Lerp(newest, CellPair(passes, &Channel::stage2History, p.mDelayNext), fraction);
  const Lane2 olderMemory =
      Lerp(CellPair(passes, &Channel::stage2History, p.mDelay2),
           CellPair(passes, &Channel::stage2History, p.mDelay2 + 1), fraction);
  const Lane2 kneeMix = Clamp01(magnitude - Lane2(kSatKnee));
  // Not finite: |memory| above the largest double, or NaN (the comparison is unordered).
  const Mask2 notFinite =
      _mm_cmpnle_pd(Abs(memory).v, _mm_set1_pd(std::numeric_limits<double>::max()));
  const Mask2 full = And(shapes, Or(Or(NotEqual(kneeMix, zero), notFinite),
                                    _mm_cmpunord_pd(olderMemory.v, olderMemory.v)));
  if (Bits(full) != 0) {
    double pre[2] = {Low(preFiltered), High(preFiltered)}, wet[2];
    InputStages<2, Math>(passes, pre, wet, magnitudeTanh);
    return Pair(wet[0], wet[1]);
  }
  // Without the full computation a shaping channel's result is the clamped tanh of its
  // magnitude; a channel that does not shape keeps its magnitude.
  const Lane2 shaped = Select(shapes, Clamp01(_mm_loadu_pd(magnitudeTanh)), magnitude);
  passes[0]->mCh.sat1Last = Low(shaped);
  passes[1]->mCh.sat1Last = High(shaped);
  // WithSignOf: a NaN magnitude becomes 0 (maxpd answers its second operand then).
  const Lane2 saturated = NegateWhereNegative(x, _mm_max_pd(shaped.v, zero.v));
  const Lane2 mixed = Lerp(preFiltered, saturated * p.mTrim, Lane2(p.mDriveMix));
  return Lerp(preFiltered, mixed, Lane2(p.mWetMix));
}

template <class Math>
lanes::Lane2 TolvaneDsp::ChannelPass::TrackSlopes(ChannelPass* const* passes, PairState& s,
                                                  lanes::Lane2 wet) {
  using namespace lanes;
  const ChannelPass& p = *passes[0];  // the block values and gains, the same in both passes
  const Lane2 zero(0.0);
  // The lanes where the output history reaches the delay (a NaN counts as non-zero); the
  // others keep the wet signal and their state.
  const Mask2 tracks = NotEqual(CellPair(passes, &Channel::outHistory, p.mDelayNext), zero);
  if (Bits(tracks) == 0) return wet;

  const Lane2 delayed = DelayedPair(passes, &Channel::outHistory);
  const Lane2 slope = wet - delayed;
  const Lane2 position = (slope + 1.0) * 0.5;
  Lane2 level = s.reactLevel;
  if (p.mReactOn) {
    const Lane2 base =
        Lane2(1.0) - Lerp(Lane2(kReactAtFall), Lane2(kReactAtRise), Clamp01(position));
    level = Pow4<Math>(base) / Lane2(p.mRateFactor2);
    s.reactLevel = Select(tracks, level, s.reactLevel);
  }

  const Lane2 delayedTrack = DelayedPair(passes, &Channel::trackHistory);
  Lane2 target = delayedTrack + level;
  const Mask2 differ = Or(Greater(level, slope), Greater(slope, level));  // neither NaN
  {
    const Lane2 gap = level - slope;
    const Lane2 residual = target - delayedTrack;
    Lane2 pulled = target - gap / Lane2(p.mKnee);
    if (p.mReactOn) {
      const Lane2 ceiling = (level + p.mTame) / Lane2(kPhi);
      const Lane2 levelWeight = Lane2(1.0) - Clamp01((position - level) / (ceiling - level));
      const Lane2 ratioWeight = Clamp01(position / delayed);
      pulled = Lerp(wet, pulled, levelWeight) * kLevelWeightShare +
               Lerp(wet, pulled, ratioWeight) * kRatioWeightShare;
    }
    pulled = pulled - residual / Lane2(p.mKnee);
    s.residual = Select(And(tracks, differ), residual, s.residual);
    target = Select(differ, pulled, target);
  }
  // A positive target for a negative signal meets it halfway.
  target = Select(And(Less(wet, zero), Greater(target, zero)), target * 0.5 + wet * 0.5, target);

  Lane2 tracked = Lerp(wet, target, Lane2(p.mTameMix));
  if (p.mBias > 0) {
    tracked = Select(Greater(slope, zero), Lerp(wet, tracked, Lane2(p.mBiasRiseMix)), tracked);
  }
  if (p.mBias < 0) {
    tracked = Select(Less(slope, zero), Lerp(wet, tracked, Lane2(p.mBiasFallMix)), tracked);
  }
  SetNewest(passes, &Channel::trackHistory, tracked, Bits(tracks));
  return Select(tracks, tracked, wet);
}

void TolvaneDsp::ChannelPass::RecordOutputs(ChannelPass* const* passes, lanes::Lane2 tracked) {
  SetNewest(passes, &Channel::outHistory, tracked);
}

template <class Math>
lanes::Lane2 TolvaneDsp::ChannelPass::OutputStages(ChannelPass* const* passes, PairState& s,
                                                   lanes::Lane2 tracked, lanes::Lane2 preFiltered) {
  using namespace lanes;
  const ChannelPass& p = *passes[0];
  const Lane2 zero(0.0);

  // The mode 2 saturator (SaturateOutput).
  const Lane2 x = Lane2(p.mOutputLevel) * tracked;
  Lane2 magnitude = Abs(x);
  const Mask2 shapes = NotEqual(CellPair(passes, &Channel::stage2History, p.mDelay2 + 1), zero);
  if (Bits(shapes) != 0) {
    const Mask2 bends = And(shapes, Greater(magnitude, Lane2(kSat2Threshold)));
    if (Bits(bends) != 0) {
      const Lane2 over = magnitude - Lane2(kSat2Threshold);
      const Lane2 kneeMix = Clamp01(over / Lane2(kSat2KneeSpan));
      double tanh0, tanh1;
      Math::Tanh2(Low(over), High(over), tanh0, tanh1);
      const Lane2 bent = (Pair(tanh0, tanh1) * 0.5 + over * 0.5 + kSat2Threshold) * kneeMix +
                         (Lane2(1.0) - kneeMix) * magnitude;
      magnitude = Select(bends, bent, magnitude);
    }
    const Mask2 clips = And(shapes, Greater(magnitude, Lane2(kSoftClipStart)));
    if (Bits(clips) != 0) magnitude = Select(clips, SoftClipLanes(magnitude), magnitude);
  }
  s.sat2Last = magnitude;
  // WithSignOf: a NaN magnitude becomes 0 (maxpd answers its second operand then).
  const Lane2 saturated = NegateWhereNegative(x, _mm_max_pd(magnitude.v, zero.v));

  // The delayed-difference smoother, where the stage-2 history reaches the second delay.
  const Mask2 smooths = NotEqual(CellPair(passes, &Channel::stage2History, p.mDelay2), zero);
  const Lane2 residual = saturated - DelayedPair(passes, &Channel::stage2History);
  s.residual = Select(smooths, residual, s.residual);
  const Lane2 smoothed = Select(smooths, saturated - residual / Lane2(p.mKnee), saturated);
  SetNewest(passes, &Channel::stage2History,
            smoothed * p.mRateBlend + Lane2(1 - p.mRateBlend) * saturated);

  Lane2 y = smoothed;
  if (p.mBias > 0) {
    y = Select(Greater(s.residual, zero), Lerp(saturated, y, Lane2(p.mBiasRiseMix)), y);
  }
  if (p.mBias < 0) {
    y = Select(Less(s.residual, zero), Lerp(saturated, y, Lane2(p.mBiasFallMix)), y);
  }

  // The high-pass state is held within [-1, 1] before every step.
  s.hpA = LimitToUnit(s.hpA);
  s.hpB = LimitToUnit(s.hpB);
  y = Biquad(p.mHighPass, y, s.hpA, s.hpB);
  if (p.mPartialWet) y = Lerp(preFiltered, y, Lane2(p.mPartialWetMix));
  return ClipOutputLanes(Biquad(p.mLowPass, y, s.outLpA, s.outLpB));
}

#endif  // __SSE2__

namespace {

// The block values' formulas on a parameter's real value, shared by the block start and the
// glides' targets, so that a glide ends on exactly the value a static block computes.
inline double GainOf(double percent) { return percent / 100; }
inline double WetOf(double percent) {
  const double wet = percent / 100;
  return wet < 0 ? 0 : wet;  // NaN stays
}
inline double BiasAmountOf(double bias) { return bias + bias - 1; }
inline bool BypassOn(double bypass) { return TruncToInt32(bypass) > 0.5; }

// `seconds` at `rate` in whole samples (rounded), at least one.
inline int32_t SamplesOf(double seconds, double rate) {
  return std::max<int32_t>(1, TruncToInt32(seconds * rate + 0.5));
}

constexpr int kNever = std::numeric_limits<int>::max();

// The dry signal's share of the output at crossfade position t (0 .. 1): t^2 (3 - 2 t), which
// leaves both ends without a step in slope (a straight fade adds its slope times the
// difference of the two signals to the first and last steps) and is exactly 0 and 1 there.
inline double DryShareOf(double t) { return t * t * (3 - 2 * t); }

}  // namespace

void TolvaneDsp::Glide::Start(double target, int32_t samples) {
  from = value;
  to = target;
  done = 0;
  if (samples <= 0 || from == to) {
    value = to;
    step = 0;
    length = 0;
    return;
  }
  step = (to - from) / samples;
  length = samples;
}

TolvaneDsp::GlidedValues TolvaneDsp::Glided() const {
  return {mGlides[kGlideGain].value,
          mGlides[kGlideDrive].value,
          mGlides[kGlideWet].value,
          mGlides[kGlideTame].value,
          mGlides[kGlideBias].value,
          mGlides[kGlideOutput].value,
          DryShareOf(mGlides[kGlideFade].value)};
}

double TolvaneDsp::DriveOf(double gain) {
  // Drive is 3 to the power Input Gain (as a fraction of 100 %).
  return mDrivePower.Of(gain, [](double g) { return crmath::Pow3(g); });
}

double TolvaneDsp::TameAmountOf(double tame) {
  return mTamePower.Of(kTameScale * tame, [](double t) {
    return crmath::PowInt(t, kTameExponent);
  }) / mTameDivisor;
}

// The glides of one pass through a block: a copy of the DSP's glides, stepped once per sample,
// taking the block's timed changes at their offsets. Every pass of a block (one per channel
// pair) starts from the same copy and the same list, so all take the same path; the DSP keeps
// the last one's glides.
class TolvaneDsp::GlidePass {
 public:
  GlidePass(TolvaneDsp& dsp, const DspChange* changes, int nChanges)
      : mDsp(dsp),
        mGlides(dsp.mGlides),
        mChanges(changes),
        mNChanges(nChanges),
        mNextOffset(nChanges > 0 ? changes[0].offset : kNever) {
    NoteMoving();
  }

  // The frame of the next change to take (kNever when none is left).
  int NextOffset() const { return mNextOffset; }
  // Takes the changes due at frame `j` (offset at most `j`); kNever takes the rest, which
  // then start at the next block.
  [[gnu::noinline]] void ApplyDue(int j);
  [[gnu::always_inline]] void Advance() {
    for (uint32_t m = mMoving; m != 0; m &= m - 1) {
      const int i = __builtin_ctz(m);
      mGlides[i].Advance();
      if (!mGlides[i].Moving()) mMoving &= ~(1u << i);
    }
  }
  [[gnu::always_inline]] Gains Current() const {
    return Gains::Of(mGlides[kGlideGain].value, mGlides[kGlideDrive].value,
                     mGlides[kGlideWet].value, mGlides[kGlideTame].value, mGlides[kGlideBias].value,
                     mGlides[kGlideOutput].value);
  }
  // The dry signal's share of the output.
  double Fade() const { return DryShareOf(mGlides[kGlideFade].value); }
  // Bypassed and not fading: the input is copied.
  bool FullyBypassed() const {
    const Glide& fade = mGlides[kGlideFade];
    return !fade.Moving() && fade.value == 1;
  }
  // The glides through `nFrames` samples without audio (a block where no channel runs).
  void Run(int nFrames) {
    for (int j = 0; j < nFrames; ++j) {
      if (j >= mNextOffset) ApplyDue(j);
      Advance();
    }
    ApplyDue(kNever);
  }
  const Glides& Result() const { return mGlides; }

 private:
  TolvaneDsp& mDsp;
  Glides mGlides;
  const DspChange* const mChanges;
  const int mNChanges;
  int mNext = 0;  // the next change to take
  int mNextOffset;
  // Per parameter, where the search for its next change resumes: each moves forward only,
  // so finding every change's successor costs one walk through the list per parameter.
  std::array<int, kNumDspParams> mCursor{};
  uint32_t mMoving = 0;  // a bit per moving glide, by GlideSlot

  void NoteMoving() {
    mMoving = 0;
    for (int i = 0; i < kNumGlides; ++i) mMoving |= mGlides[i].Moving() ? 1u << i : 0u;
  }
};

void TolvaneDsp::GlidePass::ApplyDue(int j) {
  for (; mNext < mNChanges && (j == kNever || mChanges[mNext].offset <= j); ++mNext) {
    const DspChange& change = mChanges[mNext];
    const int p = static_cast<int>(change.param);
    if (p < 0 || p >= kNumDspParams) continue;
    int next = std::max(mCursor[p], mNext + 1);
    while (next < mNChanges && mChanges[next].param != change.param) ++next;
    mCursor[p] = next;
    // A change that a later one of the same parameter replaces at this frame is skipped;
    // otherwise the glide ends at the parameter's next change at the latest.
    if (next < mNChanges && (j == kNever || mChanges[next].offset <= j)) continue;
    const int64_t room = next < mNChanges ? int64_t{mChanges[next].offset} - j : kNever;
    mDsp.Head(mGlides, change.param, change.value,
              static_cast<int32_t>(std::min<int64_t>(room, mDsp.mGlideLength)));
  }
  mNextOffset = mNext < mNChanges ? mChanges[mNext].offset : kNever;
  NoteMoving();
}

void TolvaneDsp::Head(Glides& glides, DspParam p, double v, int32_t length) {
  switch (p) {
    case DspParam::kInputGain: {
      const double gain = GainOf(v);
      glides[kGlideGain].Start(gain, length);
      glides[kGlideDrive].Start(DriveOf(gain), length);
      break;
    }
    case DspParam::kWet: glides[kGlideWet].Start(WetOf(v), length); break;
    case DspParam::kTame: glides[kGlideTame].Start(TameAmountOf(v), length); break;
    case DspParam::kOutputGain: glides[kGlideOutput].Start(GainOf(v), length); break;
    case DspParam::kBias: glides[kGlideBias].Start(BiasAmountOf(v), length); break;
    case DspParam::kBypass: {
      // The crossfade runs at one speed: a turn midway takes as long back as it went.
      Glide& fade = glides[kGlideFade];
      const double target = BypassOn(v) ? 1 : 0;
      if (length == 0) {
        fade.Start(target, 0);
      } else if (!(target == fade.to)) {
        const double steps = std::ceil(std::fabs(target - fade.value) * mFadeLength);
        fade.Start(target, std::max<int32_t>(1, static_cast<int32_t>(steps)));
      }
      break;
    }
    case DspParam::kReact: break;  // per block
  }
}

bool TolvaneDsp::PrepareGlides(const DspParams& params, const DspChange* changes, int nChanges) {
  mGlideLength = SamplesOf(kGlideSeconds, mRate);
  mFadeLength = SamplesOf(kBypassFadeSeconds, mRate);

  // The parameters the list changes, with their first and last values there.
  std::array<bool, kNumDspParams> timed{};
  std::array<double, kNumDspParams> first{}, last{};
  bool anyTimed = false;
  for (int i = 0; i < nChanges; ++i) {
    const int p = static_cast<int>(changes[i].param);
    if (p < 0 || p >= kNumDspParams) continue;
    if (!timed[p]) first[p] = changes[i].value;
    timed[p] = true;
    last[p] = changes[i].value;
    anyTimed = anyTimed || changes[i].param != DspParam::kReact;
  }

  for (int p = 0; p < kNumDspParams; ++p) {
    const DspParam param = static_cast<DspParam>(p);
    const double v = params.*kDspParamFields[p];
    if (mRestartGlides) {
      Head(mGlides, param, timed[p] ? first[p] : v, 0);
    } else if (!timed[p] && !(v == mHeading[p])) {
      Head(mGlides, param, v, mGlideLength);
    }
    mHeading[p] = timed[p] ? last[p] : v;
  }
  mRestartGlides = false;

  // The tame amount divides by the previous block's rate factor 2, so it also moves when the
  // rate changed and Tame did not: it then heads for the new amount in what remains of its
  // glide (at once when it stood), as a static block's would.
  Glide& tame = mGlides[kGlideTame];
  if (!timed[static_cast<int>(DspParam::kTame)] && !(tame.to == mTameAmount)) {
    tame.Start(mTameAmount, tame.length - tame.done);
  }

  bool moving = anyTimed;
  for (const Glide& g : mGlides) moving = moving || g.Moving();
  return moving;
}

void TolvaneDsp::UseSmoothing(bool use) {
  if (use && !mSmoothing) mRestartGlides = true;
  mSmoothing = use;
}

void TolvaneDsp::ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                              const DspParams& params, double sampleRate, int connectedOutputs) {
  ProcessBlock(inputs, outputs, nFrames, params, sampleRate, connectedOutputs, nullptr, 0);
}

void TolvaneDsp::ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                              const DspParams& params, double sampleRate, int connectedOutputs,
                              const DspChange* changes, int nChanges) {
  // A block of no frames is still a block: it draws its knee value and updates
  // the block values, so what follows is the same as for the literal algorithm.
  nFrames = std::max(0, nFrames);
  if (!changes) nChanges = 0;
  nChanges = std::max(0, nChanges);

  const double inGain = GainOf(params.inputGain);

  int channels = connectedOutputs <= 2 ? 2 : connectedOutputs;
  channels = std::min(channels, NumChannels());

  const double rate = IsUsableRate(sampleRate) ? sampleRate : mRate;
  mRate = rate;
  mRateBlend = Clamp01((rate - kRateBlendFrom) / kRateBlendSpan);
  mKneeRandom = mKnee.NextKneeRandom();
  // The next block's knee: its seed is known now (unless a switch comes first), and the serial
  // recurrence behind it runs interleaved with this block's samples, which leave the integer
  // units idle, rather than alone at the next block's start.
  uint32_t nextSeed = 0;
  Mt19937FirstOutputWalk nextKnee;
  Mt19937FirstOutputWalk* kneeAhead = nullptr;
  if (mKnee.PredictNextSeed(nextSeed)) {
    nextKnee = Mt19937FirstOutputWalk(nextSeed);
    kneeAhead = &nextKnee;
  }
  mDrive = DriveOf(inGain);
  mOutputLevel = GainOf(params.outputGain);
  mWet = WetOf(params.wet);
  const int32_t bypass = TruncToInt32(params.bypass);
  mBiasAmount = BiasAmountOf(params.bias);
  mBypassed = bypass > 0.5 ? 1 : 0;
  mReactMode = TruncToInt32(params.react);
  // Uses the previous block's rate factor (2 before the first block).
  mTameDivisor = mRateFactor2;
  mTameAmount = TameAmountOf(params.tame);

  mRateFactor = rate * kRateFactorPerHz;
  if (mRateFactor < 1) mRateFactor = 1;
  if (mRateFactor > kMaxRateFactor) mRateFactor = kMaxRateFactor;
  mRateFactor2 = rate * kRateFactor2PerHz;
  if (mRateFactor2 < 1) {
    mRateFactor2 = 1;
  } else if (mRateFactor2 > kMaxRateFactor2) {
    mRateFactor2 = kMaxRateFactor2;
  }
  const double delay = mRateFactor - 1;
  mDelayIndex = static_cast<int32_t>(delay);  // the delay lies in 0 .. 3.5
  mDelayFraction = delay - mDelayIndex;       // in [+0, 1): it needs no clamp
  mDelay2Index = static_cast<int32_t>(2 * mRateFactor - 1);
  const double knee = Lerp(kKneeHigh, kKneeLow, Clamp01(mKneeRandom));

  // Blocks where nothing glides run the block values; the others step the glides per sample.
  const bool gliding = mSmoothing && PrepareGlides(params, changes, nChanges);
  const Gains gains = Gains::Of(inGain, mDrive, mWet, mTameAmount, mBiasAmount, mOutputLevel);
  bool glided = false;
  auto run = [&](auto lanes, Channel* const* chs, const double* const* in, double* const* out) {
    constexpr int K = decltype(lanes)::value;
    if (!gliding) {
      if (mFusedMath) {
        ProcessChannels<K, FusedMath, false>(chs, in, out, nFrames, knee, gains, nullptr,
                                             kneeAhead);
      } else {
        ProcessChannels<K, SplitMath, false>(chs, in, out, nFrames, knee, gains, nullptr,
                                             kneeAhead);
      }
      return;
    }
    GlidePass pass(*this, changes, nChanges);
    if (mFusedMath) {
      ProcessChannels<K, FusedMath, true>(chs, in, out, nFrames, knee, gains, &pass, kneeAhead);
    } else {
      ProcessChannels<K, SplitMath, true>(chs, in, out, nFrames, knee, gains, &pass, kneeAhead);
    }
    mGlidesAfter = pass.Result();
    glided = true;
  };

  // Channels run in pairs, sample by sample, so that their tanh share SIMD lanes; an odd
  // one out runs alone. Each channel's arithmetic is the same either way.
  Channel* pending = nullptr;
  const double* pendingIn = nullptr;
  double* pendingOut = nullptr;
  for (int c = 0; c < channels; ++c) {
    Channel& ch = mChannels[static_cast<size_t>(c)];
    ch.reactLevel = kReactLevelStart;
    if (!inputs || !outputs || !inputs[c] || !outputs[c]) continue;
    if (!pending) {
      pending = &ch;
      pendingIn = inputs[c];
      pendingOut = outputs[c];
      continue;
    }
    Channel* pair[2] = {pending, &ch};
    const double* in[2] = {pendingIn, inputs[c]};
    double* out[2] = {pendingOut, outputs[c]};
    run(std::integral_constant<int, 2>{}, pair, in, out);
    pending = nullptr;
  }
  if (pending) run(std::integral_constant<int, 1>{}, &pending, &pendingIn, &pendingOut);

  if (kneeAhead) mKnee.Prefetched(nextSeed, kneeAhead->Output());

  if (gliding) {
    if (!glided) {  // no channel ran: the glides still go through the block
      GlidePass pass(*this, changes, nChanges);
      pass.Run(nFrames);
      mGlidesAfter = pass.Result();
    }
    mGlides = mGlidesAfter;
  }
}

#if defined(__SSE2__)
template <class Math, bool kGliding>
void TolvaneDsp::ChannelPass::RunPair(ChannelPass* const* p, const double* const* in,
                                      double* const* out, int nFrames, GlidePass* glides,
                                      Mt19937FirstOutputWalk* kneeAhead) {
  using lanes::Lane2;
  ChannelPass::PairState s = ChannelPass::LoadPair(p);
  if constexpr (!kGliding) {
    // The input low-pass and the mode 1 saturator's tanh of the driven magnitude depend on the
    // input alone: they run ahead, a stretch of samples at a time, independent of one another,
    // so that the processor overlaps them; the samples' own turns then read them.
    constexpr int kStretch = 64;
    alignas(16) double pre[kStretch][2];
    double magnitudeTanh[kStretch][2];
    // The next block's knee recurrence, spread evenly over the samples' turns (a local copy,
    // held in registers).
    Mt19937FirstOutputWalk knee;
    uint32_t kneeStepsPerFrame = 0;
    if (kneeAhead && nFrames > 0) {
      knee = *kneeAhead;
      kneeStepsPerFrame =
          (Mt19937FirstOutputWalk::kSteps + static_cast<uint32_t>(nFrames) - 1) / nFrames;
    }
    uint32_t kneeTarget = 0;
    for (int start = 0; start < nFrames; start += kStretch) {
      const int n = std::min(kStretch, nFrames - start);
      for (int j = 0; j < n; ++j) {
        const Lane2 preFiltered =
            ChannelPass::FilterInputs(p, s, in[0][start + j], in[1][start + j]);
        _mm_store_pd(pre[j], preFiltered.v);
        ChannelPass::DrivenMagnitudeTanh<Math>(p, preFiltered, magnitudeTanh[j]);
      }
      for (int j = 0; j < n; ++j) {
        kneeTarget += kneeStepsPerFrame;
        knee.StepTo(kneeTarget);
        ChannelPass::ShiftHistories(p);
        const Lane2 preFiltered = _mm_load_pd(pre[j]);
        const Lane2 wet = ChannelPass::InputStagesPair<Math>(p, preFiltered, magnitudeTanh[j]);
        const Lane2 tracked = ChannelPass::TrackSlopes<Math>(p, s, wet);
        ChannelPass::RecordOutputs(p, tracked);
        const Lane2 y = ChannelPass::OutputStages<Math>(p, s, tracked, preFiltered);
        out[0][start + j] = lanes::Low(y);
        out[1][start + j] = lanes::High(y);
      }
    }
    if (kneeAhead && nFrames > 0) *kneeAhead = knee;
  } else {
    for (int j = 0; j < nFrames; ++j) {
      const double x0 = in[0][j], x1 = in[1][j];
      // The gains and the crossfade stepped per sample, as in ProcessChannels.
      if (j >= glides->NextOffset()) glides->ApplyDue(j);
      glides->Advance();
      if (glides->FullyBypassed()) {
        const Lane2 preFiltered = ChannelPass::FilterInputs(p, s, x0, x1);
        ChannelPass::ShiftHistories(p);
        ChannelPass::RecordOutputs(p, preFiltered);
        out[0][j] = x0;
        out[1][j] = x1;
        continue;
      }
      const Gains g = glides->Current();
      p[0]->SetGains(g);
      p[1]->SetGains(g);
      const double fade = glides->Fade();
      const Lane2 preFiltered = ChannelPass::FilterInputs(p, s, x0, x1);
      ChannelPass::ShiftHistories(p);
      double pre[2] = {lanes::Low(preFiltered), lanes::High(preFiltered)}, wet[2];
      ChannelPass::InputStages<2, Math>(p, pre, wet);
      const Lane2 tracked = ChannelPass::TrackSlopes<Math>(p, s, lanes::Pair(wet[0], wet[1]));
      ChannelPass::RecordOutputs(p, tracked);
      Lane2 y = ChannelPass::OutputStages<Math>(p, s, tracked, preFiltered);
      if (fade != 0) y = lanes::Lerp(y, lanes::Pair(x0, x1), Lane2(fade));
      out[0][j] = lanes::Low(y);
      out[1][j] = lanes::High(y);
    }
    glides->ApplyDue(kNever);
  }
  ChannelPass::StorePair(p, s);
}

template <class Math, bool kGliding>
void TolvaneDsp::ChannelPass::RunPairPlain(ChannelPass* const* p, const double* const* in,
                                           double* const* out, int nFrames, GlidePass* glides,
                                           Mt19937FirstOutputWalk* kneeAhead) {
  RunPair<Math, kGliding>(p, in, out, nFrames, glides, kneeAhead);
}

template <class Math, bool kGliding>
void TolvaneDsp::ChannelPass::RunPairFused(ChannelPass* const* p, const double* const* in,
                                           double* const* out, int nFrames, GlidePass* glides,
                                           Mt19937FirstOutputWalk* kneeAhead) {
  RunPair<Math, kGliding>(p, in, out, nFrames, glides, kneeAhead);
}
#endif

template <int K, class Math, bool kGliding>
void TolvaneDsp::ProcessChannels(Channel* const* chs, const double* const* in, double* const* out,
                                 int nFrames, double knee, const Gains& gains, GlidePass* glides,
                                 Mt19937FirstOutputWalk* kneeAhead) {
  auto passes = ChannelPass::Make(*this, chs, knee, gains, std::make_index_sequence<K>{});
  ChannelPass* p[K];
  for (int k = 0; k < K; ++k) p[k] = &passes[k];
  // The denormal sequence runs through the channels one after the other, as if each were
  // processed whole before the next: count each channel's replaced samples, reserve that
  // many steps of the process-wide seed at once, and give each channel its own stretch.
  int steps[K] = {};
  for (int k = 0; k < K; ++k) {
    for (int j = 0; j < nFrames; ++j) steps[k] += NeedsDenormal(in[k][j]) ? 1 : 0;
  }
  int total = 0;
  for (int k = 0; k < K; ++k) total += steps[k];
  int32_t seed = ReserveDenormalSteps(total);
  for (int k = 0; k < K; ++k) {
    p[k]->StartDenormalsAfter(seed);
    for (int i = 0; i < steps[k]; ++i) seed = NextDenormalSeed(seed);
  }
#if defined(__SSE2__)
  if constexpr (K == 2) {
    if (kGliding || !passes[0].Bypassed()) {
      if constexpr (Math::kFused) {
        ChannelPass::RunPairFused<Math, kGliding>(p, in, out, nFrames, glides, kneeAhead);
      } else {
        ChannelPass::RunPairPlain<Math, kGliding>(p, in, out, nFrames, glides, kneeAhead);
      }
      for (int k = 0; k < K; ++k) {
        if (!chs[k]->IsFinite()) chs[k]->Clear();
      }
      return;
    }
  }
#endif
  if constexpr (kGliding) {
    // The stages of the loops below, with the gains and the crossfade stepped per sample.
    // While the crossfade runs the signal is processed in full (its histories follow as in
    // processing) and mixed with the input; once it rests at the input, the input is copied.
    for (int j = 0; j < nFrames; ++j) {
      if (j >= glides->NextOffset()) glides->ApplyDue(j);
      glides->Advance();
      double x[K];
      for (int k = 0; k < K; ++k) x[k] = in[k][j];
      if (glides->FullyBypassed()) {
        for (int k = 0; k < K; ++k) {
          p[k]->RecordOutput(p[k]->FilterInput(x[k]));
          out[k][j] = x[k];
        }
        continue;
      }
      const Gains g = glides->Current();
      for (int k = 0; k < K; ++k) p[k]->SetGains(g);
      double preFiltered[K], wet[K];
      for (int k = 0; k < K; ++k) preFiltered[k] = p[k]->FilterInput(x[k]);
      ChannelPass::InputStages<K, Math>(p, preFiltered, wet);
      const double fade = glides->Fade();
      for (int k = 0; k < K; ++k) {
        const double tracked = p[k]->template TrackSlope<Math>(wet[k]);
        p[k]->RecordOutput(tracked);
        const double y = p[k]->template OutputStage<Math>(tracked, preFiltered[k]);
        out[k][j] = fade == 0 ? y : Lerp(y, x[k], fade);
      }
    }
    glides->ApplyDue(kNever);
  } else if (passes[0].Bypassed()) {
    // The input is copied while the input low-pass and the histories keep following it.
    for (int k = 0; k < K; ++k) {
      for (int j = 0; j < nFrames; ++j) {
        p[k]->RecordOutput(p[k]->FilterInput(in[k][j]));
        out[k][j] = in[k][j];
      }
    }
  } else {
    for (int j = 0; j < nFrames; ++j) {
      double preFiltered[K], wet[K];
      for (int k = 0; k < K; ++k) preFiltered[k] = p[k]->FilterInput(in[k][j]);
      ChannelPass::InputStages<K, Math>(p, preFiltered, wet);
      for (int k = 0; k < K; ++k) {
        const double tracked = p[k]->template TrackSlope<Math>(wet[k]);
        p[k]->RecordOutput(tracked);
        out[k][j] = p[k]->template OutputStage<Math>(tracked, preFiltered[k]);
      }
    }
  }
  // A non-finite value never leaves the state by itself; clearing it lets the channel
  // recover as soon as its input is finite again.
  for (int k = 0; k < K; ++k) {
    if (!chs[k]->IsFinite()) chs[k]->Clear();
  }
}

}  // namespace tolvane
