#include "tolvane/TolvaneDsp.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__FAST_MATH__)
#error "Tolvane's signal processing is bit-exact only without fast-math"
#endif

namespace tolvane {

namespace {

// The coefficient sets: low-pass at 20 kHz (b0 b1 b2 a1 a2), then high-pass at 20 Hz.
constexpr std::array<double, 10> kInitialCoeffs = {
    0.8132425994466649,  1.6264851988933298,  0.8132425994466649,  1.5912978843171357,
    0.661672513469524,   0.9979870964295267,  -1.9959741928590533, 0.9979870964295267,
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

// max(0, min(1, v)), the minimum taken first. NaN becomes 1.
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

constexpr double kSatKnee = 0.9885530946569389;
constexpr double kSat2Threshold = 0.9772372209558107;

// Soft clip of a magnitude a > 0.8: a smooth bend into about 0.9731.
inline double SoftClip(double a) {
  const double q = (std::fabs(a + kSatKnee) - std::fabs(a - kSatKnee)) * 0.45;
  const double j = Clamp01(Clamp01((a - 0.8) / 0.19999999999999996));
  return (q * 1.45 - q * 0.45 * q * q) * j + (1 - j) * a;
}

// One transposed direct form II biquad step: y = b0 x + z1; z1 = b1 x - a1 y + z2; z2 = b2 x - a2 y.
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
    : mCoeffs(kInitialCoeffs), mChannels(static_cast<size_t>(std::max(2, channels))) {}

void TolvaneDsp::OnReset(double sampleRate) {
  if (!IsUsableRate(sampleRate)) return;
  mRate = sampleRate;
  const int32_t rate = TruncToInt32(sampleRate);
  for (const RateCoeffs& set : kRateCoeffs) {
    if (set.rate == rate) mCoeffs = set.coeffs;
  }
}

double TolvaneDsp::NextDenormal() {
  // 32-bit signed arithmetic with wrapping products; % truncates toward zero.
  auto wrapMul = [](int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
  };
  int32_t seed = sDenormalSeed.load(std::memory_order_relaxed);
  int32_t next;
  do {
    next = seed % 1700021 + 1;
  } while (!sDenormalSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
  const int32_t a = wrapMul(next, next) % 170003;
  const int32_t b = wrapMul(a, a) % 17011;
  const int32_t c = wrapMul(b, b) % 1709;
  const int32_t d = wrapMul(c, c) % 173;
  const int32_t e = wrapMul(d, d) % 17;
  return static_cast<double>(e) * 1e-8 * 1e-8;
}

// Mode 1 limits the magnitude to 0..1 and pulls it toward the delayed memory
// value when the signal rises faster than the memory did. Mode 2 passes
// magnitudes up to 0.9772, bends the region above with a tanh knee, then soft
// clips above 0.8. Neither acts while the memory cell p1 is exactly 0.
// The memory H: H[0] is the mode's own last magnitude; H[k] for k >= 1 is the
// stage-2 history (see Channel). Mode 2 reads only p1 = H[k + 1].
template <int kMode>
double TolvaneDsp::Saturate(double x, Channel& ch, double knee) const {
  static_assert(kMode == 1 || kMode == 2, "two saturator modes");
  const unsigned k = static_cast<unsigned>(mDelay2Index);  // always >= 1
  const double* h = ch.stage2History.data();
  const double p1 = h[(ch.pos + k + 1) & kHistoryMask];
  double& last = kMode == 1 ? ch.sat1Last : ch.sat2Last;

  double l = std::fabs(x);
  if (p1 != 0) {  // a NaN counts as non-zero
    if constexpr (kMode == 1) {
      const unsigned i = static_cast<unsigned>(mDelayIndex);
      const double f = Clamp01(mDelayFraction);
      const double h0 = i == 0 ? last : h[(ch.pos + i) & kHistoryMask];
      const double h1 = h[(ch.pos + i + 1) & kHistoryMask];
      const double p0 = h[(ch.pos + k) & kHistoryMask];
      const double o = Lerp(h0, h1, f);
      const double r = Lerp(p0, p1, f);
      const double t = std::tanh(l - o);
      const double u = std::tanh(o - r);
      const double v = l - kSatKnee;
      const double w = std::tanh((t - u) / (knee + 1e-30));
      const double a = std::tanh(l - w);
      if (t > u) {
        const double b = Clamp01(std::tanh(t / (u + 1e-30)));
        const double cv = Clamp01(v);
        l = Lerp(l, o, b) * cv + (1 - cv) * l;
      }
      const double cv = Clamp01(v);
      l = Clamp01(std::tanh((1 - cv) * l + cv * a));
    } else {
      // The memory interpolation and the four tanh of mode 1 would be computed
      // and never used here; they are skipped.
      (void)knee;
      if (l > kSat2Threshold) {
        const double e = l - kSat2Threshold;
        const double ce = Clamp01(Clamp01(e / 0.02276277904418933));
        l = (std::tanh(e) * 0.5 + e * 0.5 + kSat2Threshold) * ce + (1 - ce) * l;
      }
      if (l > 0.8) l = SoftClip(l);
    }
  }
  last = l;
  const double result = std::max(0.0, l);
  return x < 0 ? -result : result;
}

void TolvaneDsp::ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                              const DspParams& params, double sampleRate, int connectedOutputs) {
  // A block of no frames is still a block: it draws its knee value and updates
  // the block values, so what follows is the same as for the literal algorithm.
  nFrames = std::max(0, nFrames);

  const double inGain = params.inputGain / 100;
  const double wet = params.wet / 100;
  const double tame = params.tame;
  const double react = params.react;
  const double bypass = params.bypass;
  const double outGain = params.outputGain / 100;
  const double bias = params.bias;

  int channels = connectedOutputs <= 2 ? 2 : connectedOutputs;
  channels = std::min(channels, NumChannels());

  const double rate = IsUsableRate(sampleRate) ? sampleRate : mRate;
  mRate = rate;
  mRateBlend = std::max(0.0, std::min(1.0, (rate - 44100) / 147900));
  mKneeRandom = mKnee.NextKneeRandom();
  mDrive = std::pow(3.0, inGain);
  mOutputLevel = outGain;
  mWet = wet;
  if (wet < 0) mWet = 0;
  const int32_t b = TruncToInt32(bypass);
  mBiasAmount = bias + bias - 1;
  mBypassed = b > 0.5 ? 1 : 0;
  mReactMode = TruncToInt32(react);
  // Uses the previous block's rate factor (2 before the first block).
  mTameAmount = std::pow(1.5 * tame, 11.0) / (mRateFactor2 + 1e-30);

  mRateFactor = rate * 2.2675736961451248e-05;
  if (mRateFactor < 1) mRateFactor = 1;
  if (mRateFactor > 4.5) mRateFactor = 4.5;
  mRateFactor2 = rate * 4.5351473922902495e-05;
  if (mRateFactor2 < 1) {
    mRateFactor2 = 1;
  } else if (mRateFactor2 > 9) {
    mRateFactor2 = 9;
  }
  const double d1 = mRateFactor - 1;
  mDelayIndex = static_cast<int32_t>(d1);  // d1 lies in 0 .. 3.5
  mDelayIndexNext = mDelayIndex + 1;
  mDelayFraction = d1 - mDelayIndex;
  mDelay2Index = static_cast<int32_t>(2 * mRateFactor - 1);
  const double knee = Lerp(mKneeHigh, mKneeLow, Clamp01(mKneeRandom));

  for (int c = 0; c < channels; ++c) {
    Channel& ch = mChannels[static_cast<size_t>(c)];
    ch.reactLevel = 0 / mRateFactor2 + 1e-30;
    if (!inputs || !outputs || !inputs[c] || !outputs[c]) continue;
    ProcessChannel(ch, inputs[c], outputs[c], nFrames, knee, inGain);
    // A non-finite value never leaves the state by itself; clearing it lets the
    // channel recover as soon as its input is finite again.
    if (!ch.IsFinite()) ch.Clear();
  }
}

void TolvaneDsp::ProcessChannel(Channel& ch, const double* in, double* out, int nFrames,
                                double knee, double inGain) const {
  const double* lp = mCoeffs.data();
  const double* hp = mCoeffs.data() + 5;
  const unsigned di = static_cast<unsigned>(mDelayIndex);
  const unsigned din = static_cast<unsigned>(mDelayIndexNext);
  const unsigned d2 = static_cast<unsigned>(mDelay2Index);
  const double frac = Clamp01(mDelayFraction);
  const double wetMix = Clamp01(mWet);
  const double driveMix = Clamp01(mDrive);
  const double tameMix = Clamp01(mTameAmount);
  const double blend = Clamp01(mRateBlend);
  const double kneeGuard = knee + 1e-30;
  const double gainTrim = 1 - (inGain * 0.3546842186847654 + 1e-38);
  const bool reactOn = mReactMode == 1;
  const bool bypassed = mBypassed == 1;
  const bool lowWet = mWet < 0.85;
  const double lowWetMix = Clamp01(Clamp01((mWet - 0) / 0.85));
  const double biasPos = Clamp01(1 - mBiasAmount);
  const double biasNeg = Clamp01(mBiasAmount + 1);
  double* outHist = ch.outHistory.data();
  double* trackHist = ch.trackHistory.data();
  double* stage2Hist = ch.stage2History.data();

  for (int j = 0; j < nFrames; ++j) {
    double x = in[j];
    if (x < 1.2e-38 && -x < 1.2e-38) x = NextDenormal();

    const double y = Biquad(lp, x, ch.inLpA, ch.inLpB);
    ch.preFiltered = y;
    double o = y;

    // History shift: every logical index one older, index 0 unchanged.
    {
      const unsigned old0 = ch.pos;
      ch.pos = (ch.pos - 1) & kHistoryMask;
      outHist[ch.pos] = outHist[old0];
      trackHist[ch.pos] = trackHist[old0];
      stage2Hist[ch.pos] = stage2Hist[old0];
    }
    const unsigned pos = ch.pos;

    if (!bypassed) {
      const double s = Saturate<1>(y * mDrive, ch, knee);
      const double g = Lerp(o, s * gainTrim, driveMix);
      const double gw = Lerp(ch.preFiltered, g, wetMix);
      o = gw;

      const double outNext = outHist[(pos + din) & kHistoryMask];
      if (outNext != 0) {  // a NaN counts as non-zero
        const double delayed = Lerp(outHist[(pos + di) & kHistoryMask], outNext, frac);
        const double slope = gw - delayed;
        const double m = (slope + 1) * 0.5;
        double level;
        double v;
        double w;
        if (reactOn) {
          const double im = Clamp01(m);
          level = std::pow(1 - Lerp(0.91213574841, 0.58223574541, im), 4.0) /
                  (mRateFactor2 + 1e-30);
          ch.reactLevel = level;
          v = (level + mTameAmount) / mPhi;
          w = Clamp01((m - 0) / (delayed - 0));
        } else {
          level = ch.reactLevel;
          v = (level + mTameAmount) / mPhi;
          w = 1;
        }
        const double l = 1 - Clamp01((m - level) / (v - level));
        const double tracked = Lerp(trackHist[(pos + di) & kHistoryMask],
                                    trackHist[(pos + din) & kHistoryMask], frac);
        double k = tracked + level;
        if (level > slope || slope > level) {
          const double diff = level - slope;
          ch.residual = k - tracked;
          k = k - diff / kneeGuard;
          if (reactOn) k = Lerp(gw, k, Clamp01(l)) * 0.75 + Lerp(gw, k, Clamp01(w)) * 0.25;
          k = k - ch.residual / kneeGuard;
        }
        double n = k;
        if (gw < 0 && n > 0) n = n * 0.5 + gw * 0.5;
        double r = Lerp(gw, n, tameMix);
        if (mBiasAmount > 0 && slope > 0) r = Lerp(gw, r, biasPos);
        if (mBiasAmount < 0 && slope < 0) r = Lerp(gw, r, biasNeg);
        o = r;
        trackHist[pos] = r;
      }
    }
    outHist[pos] = o;

    if (bypassed) {
      out[j] = in[j];
      continue;
    }

    const double z = mOutputLevel * o;
    const double d = Saturate<2>(z, ch, knee);
    double bd = d;
    if (stage2Hist[(pos + d2) & kHistoryMask] != 0) {
      const double gd = Lerp(stage2Hist[(pos + di) & kHistoryMask],
                             stage2Hist[(pos + din) & kHistoryMask], frac);
      ch.residual = d - gd;
      bd = d - ch.residual / kneeGuard;
    }
    stage2Hist[pos] = bd * blend + (1 - blend) * d;
    o = bd;
    if (mBiasAmount > 0 && ch.residual > 0) o = Lerp(d, o, biasPos);
    if (mBiasAmount < 0 && ch.residual < 0) o = Lerp(d, o, biasNeg);

    if (ch.hpA > 1) ch.hpA = 1;
    if (ch.hpA < -1) ch.hpA = -1;
    if (ch.hpB > 1) ch.hpB = 1;
    if (ch.hpB < -1) ch.hpB = -1;
    o = Biquad(hp, o, ch.hpA, ch.hpB);

    if (lowWet) o = Lerp(ch.preFiltered, o, lowWetMix);

    const double y3 = Biquad(lp, o, ch.outLpA, ch.outLpB);
    double a = std::fabs(y3);
    if (a > 0.8) a = SoftClip(a);
    if (y3 < 0) a = -a;
    if (a > 1) a = 1;
    out[j] = a < -1 ? -1 : a;
  }
}

}  // namespace tolvane
