#pragma once

// Reference implementation of Tolvane's signal processing for the tests.
//
// A literal transcription of the algorithm, kept deliberately simple as an
// independent check of the optimised TolvaneDsp: every history is a plain
// 32-cell array shifted cell by cell every sample, every step is written in the
// order and with the operations the algorithm states, nothing is skipped and no
// fault is mended (a NaN or an infinity stays in the state for good). It is slow
// and that is the point.
//
// Differences from the effect that only serve the tests:
//  - the knee is always deterministic: block k after UseSeed(S) seeds its
//    Mersenne Twister with (S + k) mod 2^32;
//  - the denormal seed is a member that the test sets, not a process-wide value;
//  - a test can hand it a coefficient set (the effect designs its filters at rates off the
//    coefficient table, where the literal algorithm keeps the active set);
//  - a coverage record counts how often each conditional branch ran, so a test
//    can show that a comparison really exercised the stages it claims to.

#include <array>
#include <cstdint>
#include <vector>

#include "tolvane/TolvaneDsp.h"

namespace tolvane::test {

class ReferenceDsp {
 public:
  static constexpr int kHistorySize = 32;
  static constexpr int kFilterCells = 12;
  using Coefficients = std::array<double, 10>;
  using History = std::array<double, kHistorySize>;
  using FilterState = std::array<double, kFilterCells>;

  /// How often each conditional part of the algorithm ran (per channel and sample).
  struct Coverage {
    long samples = 0;         ///< samples processed (all channels)
    long denormals = 0;       ///< samples replaced by the denormal guard
    long stage1 = 0;          ///< samples through stage 1 (not bypassed)
    long slopeStage = 0;      ///< samples that reached the slope stage (step 10)
    long reactBranch = 0;     ///< slope-stage samples with React on
    long residualStage1 = 0;  ///< step 14 ran (level and slope differ)
    long biasStage1 = 0;      ///< step 17 moved R toward G
    long sat1Shaped = 0;      ///< mode 1 saturator calls with a non-zero memory
    long sat1Pull = 0;        ///< of those, calls with t > u
    long sat2Shaped = 0;      ///< mode 2 saturator calls with a non-zero memory
    long sat2Knee = 0;        ///< of those, calls above the tanh knee
    long smoother = 0;        ///< step 22 took the delayed-difference branch
    long outputBias = 0;      ///< step 24 moved the output toward D
    long dryBlend = 0;        ///< step 27 ran (Wet below 0.85)
    long softClip = 0;        ///< step 29 applied the soft clip
  };

  /// Allocates `channels` channels (at least 2), every cell zero, the initial
  /// coefficient set active, rate factors 1 and 2.
  explicit ReferenceDsp(int channels);

  void OnReset(double sampleRate);
  void ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames,
                    const DspParams& params, double sampleRate, int connectedOutputs);

  /// From the next block on, block k (from 0) draws its knee with the seed (seed + k) mod 2^32.
  void UseSeed(uint32_t seed) { mKneeSeed = seed; }
  /// The denormal replacement seed (the effect's process-wide value, here a member).
  void SetDenormalSeed(int32_t seed) { mDenormalSeed = seed; }
  int32_t DenormalSeed() const { return mDenormalSeed; }
  /// Makes `coeffs` the active set, as OnReset does with a set of its table.
  void UseCoefficients(const Coefficients& coeffs) { mCoeffs = coeffs; }

  /// Zeroes every per-channel cell of channel `c`, as after construction.
  void ResetChannel(int c);

  /// One value of the denormal replacement sequence; advances the seed.
  double NextDenormal();
  /// The soft clip, for a > 0.8.
  static double SoftClip(double a);
  /// The coefficient set OnReset selects for `rate`, or the initial set for any other rate.
  static const Coefficients& CoefficientsForRate(int rate);
  static const Coefficients& InitialCoefficients();

  const Coverage& GetCoverage() const { return mCoverage; }
  void ResetCoverage() { mCoverage = Coverage{}; }

  int NumChannels() const { return static_cast<int>(mPreFiltered.size()); }

  // Block values of the last block.
  const Coefficients& ActiveCoefficients() const { return mCoeffs; }
  double Rate() const { return mRate; }
  double RateBlend() const { return mRateBlend; }
  double KneeRandom() const { return mKneeRandom; }
  double Knee() const { return mKnee; }
  double Drive() const { return mDrive; }
  double WetAmount() const { return mWet; }
  double BiasAmount() const { return mBiasAmount; }
  double OutputLevel() const { return mOutputLevel; }
  int32_t Bypassed() const { return mBypassed; }
  int32_t ReactMode() const { return mReactMode; }
  double TameAmount() const { return mTameAmount; }
  int32_t DelayIndex() const { return mDelayIndex; }
  int32_t DelayIndexNext() const { return mDelayIndexNext; }
  double DelayFraction() const { return mDelayFraction; }
  int32_t Delay2Index() const { return mDelay2Index; }
  double RateFactor() const { return mRateFactor; }
  double RateFactor2() const { return mRateFactor2; }

  // Per-channel state.
  double PreFiltered(int c) const { return mPreFiltered[c]; }
  double Residual(int c) const { return mResidual[c]; }
  double ReactLevel(int c) const { return mReactLevel[c]; }
  const FilterState& FilterStateA(int c) const { return mFilterStateA[c]; }
  const FilterState& FilterStateB(int c) const { return mFilterStateB[c]; }
  const History& OutHistory(int c) const { return mOutHistory[c]; }
  const History& SlopeHistory(int c) const { return mSlopeHistory[c]; }
  const History& TrackHistory(int c) const { return mTrackHistory[c]; }
  const History& Stage2History(int c) const { return mStage2History[c]; }
  const History& Sat1History(int c) const { return mSat1History[c]; }
  const History& Sat2History(int c) const { return mSat2History[c]; }

 private:
  double Saturate(double x, int c, double knee, int mode);
  double NextKneeRandom();

  // Block values.
  double mRate = 0;
  double mRateBlend = 0;
  double mKneeRandom = 0;
  double mKnee = 0;
  double mDrive = 0;
  double mWet = 0;
  double mBiasAmount = 0;
  double mOutputLevel = 0;
  int32_t mBypassed = 0;
  int32_t mReactMode = 0;
  double mTameAmount = 0;
  int32_t mDelayIndex = 0;
  int32_t mDelayIndexNext = 0;
  double mDelayFraction = 0;
  int32_t mDelay2Index = 0;
  double mRateFactor = 1;
  double mRateFactor2 = 2;

  // Constants.
  const double mPhi = 1.618033988749895;
  const double mKneeHigh = 2.0023318412286;
  const double mKneeLow = 2.0011596521816433;

  // Active coefficients: low-pass b0 b1 b2 a1 a2, then high-pass b0 b1 b2 a1 a2.
  Coefficients mCoeffs;

  // Per-channel state.
  std::vector<double> mPreFiltered;
  std::vector<double> mResidual;
  std::vector<double> mReactLevel;
  std::vector<FilterState> mFilterStateA;
  std::vector<FilterState> mFilterStateB;
  std::vector<History> mOutHistory;
  std::vector<History> mSlopeHistory;
  std::vector<History> mTrackHistory;
  std::vector<History> mStage2History;
  std::vector<History> mSat1History;
  std::vector<History> mSat2History;

  uint32_t mKneeSeed = 0;
  int32_t mDenormalSeed = 0;
  Coverage mCoverage;
};

}  // namespace tolvane::test
