#include "tolvane/ReferenceDsp.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "tolvane/crmath/CrMath.h"

// Literal transcription of the algorithm, kept deliberately simple as an
// independent check. The step numbers in the comments follow the algorithm's
// own numbering; the order of every arithmetic operation is the stated one.

namespace tolvane::test {

namespace {

// max(0, min(1, v)), the minimum taken first.
double clamp01(double v) { return std::max(0.0, std::min(1.0, v)); }

// (1 - t) * a + t * b, with exactly these products.
double lerp(double a, double b, double t) { return (1 - t) * a + t * b; }

// Conversion to a 32-bit integer toward zero (only ever called with in-range values).
int32_t trunc32(double v) { return static_cast<int32_t>(v); }

// 32-bit signed product that wraps modulo 2^32.
int32_t mul32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Transposed direct form II step, feedback coefficients subtracted.
double Biquad(double x, double b0, double b1, double b2, double a1, double a2, double& z1,
              double& z2) {
  const double y = b0 * x + z1;
  z1 = b1 * x - a1 * y + z2;
  z2 = b2 * x - a2 * y;
  return y;
}

using Coefficients = ReferenceDsp::Coefficients;

// Low-pass b0 b1 b2 a1 a2, high-pass b0 b1 b2 a1 a2 (b2 equals b0 in both).
const Coefficients kInitial = {0.8132425994466649,  1.6264851988933298, 0.8132425994466649,
                               1.5912978843171357,  0.661672513469524,  0.9979870964295267,
                               -1.9959741928590533, 0.9979870964295267, -1.9959701411517219,
                               0.9959782445663846};
const Coefficients k44100 = {0.8151655733662241,  1.6303311467324482, 0.8151655733662241,
                             1.5950606290772769,  0.6656016643876196, 0.9979870964295267,
                             -1.9959741928590533, 0.9979870964295267, -1.9959701411517219,
                             0.9959782445663846};
const Coefficients k48000 = {0.6917994904412835, 1.383598980882567,   0.6917994904412835,
                             1.2842610434611013, 0.48293691830403307, 0.998175960469033,
                             -1.996351920938066, 0.998175960469033,   -1.9963485002390708,
                             0.9963553416370613};
const Coefficients k88200 = {0.25281587515667564, 0.5056317503133513,  0.25281587515667564,
                             -0.1722195203912214, 0.18348302101792383, 0.999006924037445,
                             -1.99801384807489,   0.999006924037445,   -1.9980128341139918,
                             0.9980148620357879};
const Coefficients k96000 = {0.22143465387145803,  0.44286930774291605, 0.22143465387145803,
                             -0.30929831798252466, 0.19503693346835663, 0.999087575673053,
                             -1.998175151346106,   0.999087575673053,   -1.9981742953910755,
                             0.9981760073011364};
const Coefficients k192000 = {0.07223066687518032, 0.14446133375036063, 0.07223066687518032,
                              -1.10922559150289,   0.3981482590036111,  0.9995436866552185,
                              -1.999087373310437,  0.9995436866552185,  -1.9990871592240336,
                              0.9990875873968406};

}  // namespace

const ReferenceDsp::Coefficients& ReferenceDsp::InitialCoefficients() { return kInitial; }

const ReferenceDsp::Coefficients& ReferenceDsp::CoefficientsForRate(int rate) {
  switch (rate) {
    case 44100: return k44100;
    case 48000: return k48000;
    case 88200: return k88200;
    case 96000: return k96000;
    case 192000: return k192000;
    default: return kInitial;
  }
}

ReferenceDsp::ReferenceDsp(int channels) : mCoeffs(kInitial) {
  const int n = channels <= 2 ? 2 : channels;
  mPreFiltered.assign(n, 0.0);
  mResidual.assign(n, 0.0);
  mReactLevel.assign(n, 0.0);
  mFilterStateA.assign(n, FilterState{});
  mFilterStateB.assign(n, FilterState{});
  mOutHistory.assign(n, History{});
  mSlopeHistory.assign(n, History{});
  mTrackHistory.assign(n, History{});
  mStage2History.assign(n, History{});
  mSat1History.assign(n, History{});
  mSat2History.assign(n, History{});
}

void ReferenceDsp::ResetChannel(int c) {
  mPreFiltered[c] = 0;
  mResidual[c] = 0;
  mReactLevel[c] = 0;
  mFilterStateA[c] = FilterState{};
  mFilterStateB[c] = FilterState{};
  mOutHistory[c] = History{};
  mSlopeHistory[c] = History{};
  mTrackHistory[c] = History{};
  mStage2History[c] = History{};
  mSat1History[c] = History{};
  mSat2History[c] = History{};
}

void ReferenceDsp::OnReset(double sampleRate) {
  // 1.
  mRate = sampleRate;
  // 2. Any other rate leaves the active set unchanged.
  switch (trunc32(sampleRate)) {
    case 44100: mCoeffs = k44100; break;
    case 48000: mCoeffs = k48000; break;
    case 88200: mCoeffs = k88200; break;
    case 96000: mCoeffs = k96000; break;
    case 192000: mCoeffs = k192000; break;
    default: break;
  }
}

double ReferenceDsp::NextKneeRandom() {
  // A fresh MT19937 per block, one draw, w = float(r) / 2^32 in single precision.
  std::mt19937 engine(mKneeSeed);
  mKneeSeed = mKneeSeed + 1u;
  const auto r = engine();
  const float w = static_cast<float>(r) / 4294967296.0f;
  return static_cast<double>(w);
}

double ReferenceDsp::NextDenormal() {
  // 1.
  mDenormalSeed = mDenormalSeed % 1700021 + 1;
  const int32_t seed = mDenormalSeed;
  // 2.
  const int32_t a = mul32(seed, seed) % 170003;
  const int32_t b = mul32(a, a) % 17011;
  const int32_t c = mul32(b, b) % 1709;
  const int32_t d = mul32(c, c) % 173;
  const int32_t e = mul32(d, d) % 17;
  // 3.
  return double(e) * 1e-8 * 1e-8;
}

double ReferenceDsp::SoftClip(double a) {
  const double q = (std::fabs(a + 0.9885530946569389) - std::fabs(a - 0.9885530946569389)) * 0.45;
  const double J = clamp01(clamp01((a - 0.8) / 0.19999999999999996));
  return (q * 1.45 - q * 0.45 * q * q) * J + (1 - J) * a;
}

double ReferenceDsp::Saturate(double x, int c, double knee, int mode) {
  // 1.
  const double g = mRateFactor;
  const int32_t i = trunc32(g - 1);
  const int32_t k = trunc32(2 * g - 1);
  const double f = clamp01((g - 1) - i);
  // 2.
  History& H = mode == 1 ? mSat1History[c] : mSat2History[c];
  const double h0 = H[i];
  const double h1 = H[i + 1];
  const double p0 = H[k];
  const double p1 = H[k + 1];
  // 3.
  double l = std::fabs(x);
  const double o = lerp(h0, h1, f);
  const double r = lerp(p0, p1, f);
  // 4.
  const double t = crmath::Tanh(l - o);
  const double u = crmath::Tanh(o - r);
  const double v = l - 0.9885530946569389;
  const double w = crmath::Tanh((t - u) / (knee + 1e-30));
  const double A = crmath::Tanh(l - w);
  // 5.
  if (p1 == 0) {
    // l stays |x|.
  } else if (mode == 1) {
    ++mCoverage.sat1Shaped;
    if (t > u) {
      ++mCoverage.sat1Pull;
      const double B = clamp01(crmath::Tanh(t / (u + 1e-30)));
      const double Cv = clamp01(v);
      l = lerp(l, o, B) * Cv + (1 - Cv) * l;
    }
    const double Cv = clamp01(v);
    l = clamp01(crmath::Tanh((1 - Cv) * l + Cv * A));
  } else {
    ++mCoverage.sat2Shaped;
    if (l > 0.9772372209558107) {
      ++mCoverage.sat2Knee;
      const double e = l - 0.9772372209558107;
      const double Ce = clamp01(clamp01(e / 0.02276277904418933));
      l = (crmath::Tanh(e) * 0.5 + e * 0.5 + 0.9772372209558107) * Ce + (1 - Ce) * l;
    }
    if (l > 0.8) l = SoftClip(l);
  }
  // 6.
  H[0] = l;
  // 7.
  double result = std::max(0.0, l);
  if (x < 0) result = -result;
  return result;
}

void ReferenceDsp::ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                                const DspParams& params, double sampleRate, int connectedOutputs) {
  // Block set-up.
  // 1.
  const double inGain = params.inputGain / 100;
  const double wet = params.wet / 100;
  const double tame = params.tame;
  const double react = params.react;
  const double bypass = params.bypass;
  const double outGain = params.outputGain / 100;
  const double bias = params.bias;
  // 2.
  int C = connectedOutputs;
  if (C <= 2) C = 2;
  // 3.
  const double rate = sampleRate;
  mRate = rate;
  mRateBlend = std::max(0.0, std::min(1.0, (rate - 44100) / 147900));
  // 4.
  mKneeRandom = NextKneeRandom();
  // 5.
  mDrive = crmath::Pow3(inGain);
  // 6.
  mOutputLevel = outGain;
  mWet = wet;
  if (wet < 0) mWet = 0;
  // 7.
  const int32_t b = trunc32(bypass);
  mBiasAmount = bias + bias - 1;
  mBypassed = b > 0.5 ? 1 : 0;
  mReactMode = trunc32(react);
  // 8. mRateFactor2 still holds the previous block's value.
  mTameAmount = crmath::PowInt(1.5 * tame, 11) / (mRateFactor2 + 1e-30);
  // 9.
  mRateFactor = rate * 2.2675736961451248e-05;
  if (mRateFactor < 1) mRateFactor = 1;
  if (mRateFactor > 4.5) mRateFactor = 4.5;
  mRateFactor2 = rate * 4.5351473922902495e-05;
  if (mRateFactor2 < 1) {
    mRateFactor2 = 1;
  } else if (mRateFactor2 > 9) {
    mRateFactor2 = 9;
  }
  // 10.
  const double d1 = mRateFactor - 1;
  mDelayIndex = trunc32(d1);
  mDelayIndexNext = mDelayIndex + 1;
  mDelayFraction = d1 - mDelayIndex;
  mDelay2Index = trunc32(2 * mRateFactor - 1);
  // 11.
  const double knee = lerp(mKneeHigh, mKneeLow, clamp01(mKneeRandom));
  mKnee = knee;

  const double lpB0 = mCoeffs[0], lpB1 = mCoeffs[1], lpB2 = mCoeffs[2], lpA1 = mCoeffs[3],
               lpA2 = mCoeffs[4];
  const double hpB0 = mCoeffs[5], hpB1 = mCoeffs[6], hpB2 = mCoeffs[7], hpA1 = mCoeffs[8],
               hpA2 = mCoeffs[9];

  for (int c = 0; c < C; ++c) {
    mReactLevel[c] = 0 / mRateFactor2 + 1e-30;

    History& outH = mOutHistory[c];
    History& slopeH = mSlopeHistory[c];
    History& trackH = mTrackHistory[c];
    History& stage2H = mStage2History[c];
    History& sat1H = mSat1History[c];
    History& sat2H = mSat2History[c];
    FilterState& zA = mFilterStateA[c];
    FilterState& zB = mFilterStateB[c];

    for (int j = 0; j < nFrames; ++j) {
      ++mCoverage.samples;
      // 1.
      const double arrived = inputs[c][j];
      double x = arrived;
      double out = x;
      // 2.
      if (x < 1.2e-38 && -x < 1.2e-38) {
        ++mCoverage.denormals;
        x = NextDenormal();
        out = x;
      }
      // 3.
      const double y = Biquad(x, lpB0, lpB1, lpB2, lpA1, lpA2, zA[0], zB[0]);
      out = y;
      mPreFiltered[c] = y;
      // 4.
      for (int k = 31; k >= 1; --k) {
        outH[k] = outH[k - 1];
        slopeH[k] = slopeH[k - 1];
        trackH[k] = trackH[k - 1];
        stage2H[k] = stage2H[k - 1];
        sat1H[k] = stage2H[k - 1];
        sat2H[k] = stage2H[k - 1];
      }
      // 5.
      if (mBypassed == 0) {
        ++mCoverage.stage1;
        // 6.
        const double s = Saturate(y * mDrive, c, knee, 1);
        // 7.
        const double g =
            lerp(out, s * (1 - (inGain * 0.3546842186847654 + 1e-38)), clamp01(mDrive));
        out = g;
        // 8.
        const double G = lerp(mPreFiltered[c], g, clamp01(mWet));
        out = G;
        // 9.
        if (outH[mDelayIndexNext] == 0) {
          // Skip to step 18 with out = G.
        } else {
          ++mCoverage.slopeStage;
          // 10.
          const double delayed =
              lerp(outH[mDelayIndex], outH[mDelayIndexNext], clamp01(mDelayFraction));
          const double slope = G - delayed;
          slopeH[0] = slope;
          const double m = (slope + 1) * 0.5;
          // 11.
          double level;
          double V;
          double W;
          if (mReactMode == 1) {
            ++mCoverage.reactBranch;
            const double I = clamp01(m);
            level = crmath::PowInt(1 - lerp(0.91213574841, 0.58223574541, I), 4) /
                    (mRateFactor2 + 1e-30);
            mReactLevel[c] = level;
            V = (level + mTameAmount) / mPhi;
            W = clamp01((m - 0) / (delayed - 0));
          } else {
            level = mReactLevel[c];
            V = (level + mTameAmount) / mPhi;
            W = 1;
          }
          // 12.
          const double L = 1 - clamp01((m - level) / (V - level));
          // 13.
          const double tracked =
              lerp(trackH[mDelayIndex], trackH[mDelayIndexNext], clamp01(mDelayFraction));
          double K = tracked + level;
          // 14.
          if (level > slope || slope > level) {
            ++mCoverage.residualStage1;
            const double difference = level - slope;
            mResidual[c] = K - tracked;
            K = K - difference / (knee + 1e-30);
            if (mReactMode == 1) {
              K = lerp(G, K, clamp01(L)) * 0.75 + lerp(G, K, clamp01(W)) * 0.25;
            }
            K = K - mResidual[c] / (knee + 1e-30);
          }
          // 15.
          double N = K;
          if (G < 0 && N > 0) N = N * 0.5 + G * 0.5;
          // 16.
          double R = lerp(G, N, clamp01(mTameAmount));
          out = R;
          // 17.
          if (mBiasAmount > 0 && slopeH[0] > 0) {
            ++mCoverage.biasStage1;
            R = lerp(G, R, clamp01(1 - mBiasAmount));
          }
          if (mBiasAmount < 0 && slopeH[0] < 0) {
            ++mCoverage.biasStage1;
            R = lerp(G, R, clamp01(mBiasAmount + 1));
          }
          out = R;
          trackH[0] = R;
        }
      }
      // 18.
      outH[0] = out;
      // 19.
      if (mBypassed == 1) {
        outputs[c][j] = arrived;
        continue;
      }
      // 20.
      const double z = mOutputLevel * out;
      out = z;
      // 21.
      const double D = Saturate(z, c, knee, 2);
      out = D;
      // 22.
      double bb;
      if (stage2H[mDelay2Index] != 0) {
        ++mCoverage.smoother;
        const double Gd =
            lerp(stage2H[mDelayIndex], stage2H[mDelayIndexNext], clamp01(mDelayFraction));
        mResidual[c] = D - Gd;
        bb = D - mResidual[c] / (knee + 1e-30);
      } else {
        bb = D;
      }
      // 23.
      stage2H[0] = bb * clamp01(mRateBlend) + (1 - clamp01(mRateBlend)) * D;
      out = bb;
      // 24.
      if (mBiasAmount > 0 && mResidual[c] > 0) {
        ++mCoverage.outputBias;
        out = lerp(D, out, clamp01(1 - mBiasAmount));
      }
      if (mBiasAmount < 0 && mResidual[c] < 0) {
        ++mCoverage.outputBias;
        out = lerp(D, out, clamp01(mBiasAmount + 1));
      }
      // 25.
      if (zA[6] > 1) zA[6] = 1;
      if (zA[6] < -1) zA[6] = -1;
      if (zB[6] > 1) zB[6] = 1;
      if (zB[6] < -1) zB[6] = -1;
      // 26.
      out = Biquad(out, hpB0, hpB1, hpB2, hpA1, hpA2, zA[6], zB[6]);
      // 27.
      if (mWet < 0.85) {
        ++mCoverage.dryBlend;
        out = lerp(mPreFiltered[c], out, clamp01(clamp01((mWet - 0) / 0.85)));
      }
      // 28.
      const double y3 = Biquad(out, lpB0, lpB1, lpB2, lpA1, lpA2, zA[7], zB[7]);
      // 29.
      double a = std::fabs(y3);
      if (a > 0.8) {
        ++mCoverage.softClip;
        a = SoftClip(a);
      }
      if (y3 < 0) a = -a;
      if (a > 1) a = 1;
      outputs[c][j] = a;
      if (a < -1) outputs[c][j] = -1;
    }
  }
}

}  // namespace tolvane::test
