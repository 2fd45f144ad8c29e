#include "tolvane/TolvaneDsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/AllocTrap.h"
#include "tolvane/FilterDesign.h"
#include "tolvane/ReferenceDsp.h"
#include "tolvane/crmath/CrMath.h"

// The optimised TolvaneDsp is checked sample for sample, bit for bit, against
// ReferenceDsp, the literal transcription of the algorithm. Properties that the
// algorithm states directly (bypass copies, wet 0, the soft clip's ceiling, the
// first sample after construction, block values per rate) are checked against
// values derived by hand. The faults TolvaneDsp deliberately mends (non-finite
// state, invalid rates, out-of-range switch parameters, filters kept at a rate off the
// coefficient table) are checked on it alone.

namespace tolvane::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Signal = std::array<std::vector<double>, 2>;
using Coefficients = ReferenceDsp::Coefficients;

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

std::string Describe(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (0x%016llx)", v,
                static_cast<unsigned long long>(Bits(v)));
  return text;
}

// The denormal seed after `count` replacements starting from `seed`.
int32_t AdvanceDenormalSeed(int32_t seed, long count) {
  for (long i = 0; i < count; ++i) seed = seed % 1700021 + 1;
  return seed;
}

bool IsGuarded(double x) { return x < 1.2e-38 && -x < 1.2e-38; }

// Whether OnReset takes the set of `rate` (truncated) from the coefficient table.
bool OnCoefficientTable(double rate) {
  const double listed[] = {44100, 48000, 88200, 96000, 192000};
  return std::find(std::begin(listed), std::end(listed), std::trunc(rate)) != std::end(listed);
}

// ---------------------------------------------------------------------------
// Test material.

enum class Material {
  kSineLow,
  kSineMid,
  kSineHigh,
  kSweep,
  kNoise,
  kNoiseHot,
  kSquareHot,
  kImpulses,
  kNearSilence,
  kBursts,
  kMix,
};

struct MaterialInfo {
  Material material;
  const char* name;
  bool hot;   // well beyond full scale
  bool tiny;  // contains samples the denormal guard replaces
};

const std::vector<MaterialInfo>& Materials() {
  static const std::vector<MaterialInfo> kMaterials = {
      {Material::kSineLow, "SineLow", false, false},
      {Material::kSineMid, "SineMid", false, false},
      {Material::kSineHigh, "SineHigh", false, false},
      {Material::kSweep, "Sweep", false, false},
      {Material::kNoise, "Noise", false, false},
      {Material::kNoiseHot, "NoiseHot", true, false},
      {Material::kSquareHot, "SquareHot", true, false},
      {Material::kImpulses, "Impulses", false, true},
      {Material::kNearSilence, "NearSilence", false, true},
      {Material::kBursts, "Bursts", false, true},
      {Material::kMix, "Mix", false, false},
  };
  return kMaterials;
}

const MaterialInfo& InfoOf(Material m) {
  for (const MaterialInfo& info : Materials()) {
    if (info.material == m) return info;
  }
  return Materials().front();
}

// Deterministic two-channel material; the channels differ so that a mix-up of
// per-channel state shows.
Signal MakeSignal(Material m, double rate, int frames) {
  const double kTwoPi = 6.283185307179586;
  Signal s;
  for (int c = 0; c < 2; ++c) {
    std::vector<double>& v = s[c];
    v.resize(frames);
    std::mt19937 rng(977u * (static_cast<unsigned>(m) + 1) + 31u * c);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    for (int i = 0; i < frames; ++i) {
      const double t = i / rate;
      switch (m) {
        case Material::kSineLow:
          v[i] = 0.6 * std::sin(kTwoPi * (110.0 + 27.5 * c) * t + 0.7 * c);
          break;
        case Material::kSineMid: v[i] = 0.9 * std::sin(kTwoPi * (1000.0 + 500.0 * c) * t); break;
        case Material::kSineHigh:
          v[i] = (0.5 + 0.4 * c) * std::sin(kTwoPi * (9000.0 + 6000.0 * c) * t);
          break;
        case Material::kSweep: {
          const double duration = frames / rate;
          const double k = std::log(1000.0) / duration;  // 20 Hz to 20 kHz
          const double phase = kTwoPi * 20.0 * (std::exp(k * t) - 1.0) / k;
          v[i] = 0.8 * std::sin(phase + c);
          break;
        }
        case Material::kNoise: v[i] = uni(rng); break;
        case Material::kNoiseHot: v[i] = 6.0 * uni(rng); break;
        case Material::kSquareHot:
          v[i] = std::sin(kTwoPi * (200.0 + 70.0 * c) * t) >= 0 ? 2.5 : -2.5;
          break;
        case Material::kImpulses: {
          const int period = 97 + 13 * c;
          if (i % period == 0) {
            v[i] = (i / period) % 3 == 0 ? 0.25 : ((i / period) % 2 ? -1.0 : 1.0);
          } else {
            v[i] = 0.0;
          }
          break;
        }
        case Material::kNearSilence: {
          static const double kTiny[] = {0.0,    -0.0,   1e-40,   -1e-39,   1.1e-38, 1.3e-38,
                                         -2e-38, 1e-300, -5e-324, 2.2e-308, 0.0,     1e-20};
          const double r = uni(rng);
          v[i] = kTiny[i % 12] * (i % 12 == 11 ? r : 1.0);
          if (i % 500 == 250) v[i] = 0.5 * r;  // occasional audible sample
          break;
        }
        case Material::kBursts: {
          const int phase = i % 3500;
          if (phase < 2000) {
            v[i] = 0.7 * std::sin(kTwoPi * (440.0 + 110.0 * c) * t);
          } else if (phase < 2600) {
            v[i] = 0.0;
          } else if (phase < 3000) {
            v[i] = 0.2 - 0.4 * c;  // DC step
          } else {
            v[i] = -0.0;
          }
          break;
        }
        case Material::kMix: {
          const double env = 0.7 + 0.5 * std::sin(kTwoPi * 0.7 * t + c);
          v[i] = env * (0.5 * std::sin(kTwoPi * 220.0 * t + c) +
                        0.3 * std::sin(kTwoPi * 3300.0 * t) + 0.2 * uni(rng));
          break;
        }
      }
    }
  }
  return s;
}

// ---------------------------------------------------------------------------
// The real implementation and the reference, driven in lock step.

struct Outputs {
  std::array<std::vector<double>, 2> real;
  std::array<std::vector<double>, 2> ref;
};

::testing::AssertionResult BlockValuesMatch(const TolvaneDsp& real, const ReferenceDsp& ref) {
  struct Item {
    const char* name;
    double real;
    double ref;
  };
  const Item items[] = {
      {"Rate", real.Rate(), ref.Rate()},
      {"RateFactor", real.RateFactor(), ref.RateFactor()},
      {"RateFactor2", real.RateFactor2(), ref.RateFactor2()},
      {"RateBlend", real.RateBlend(), ref.RateBlend()},
      {"KneeRandom", real.KneeRandom(), ref.KneeRandom()},
      {"TameAmount", real.TameAmount(), ref.TameAmount()},
      {"DelayFraction", real.DelayFraction(), ref.DelayFraction()},
      {"DelayIndex", double(real.DelayIndex()), double(ref.DelayIndex())},
      {"Delay2Index", double(real.Delay2Index()), double(ref.Delay2Index())},
  };
  for (const Item& item : items) {
    if (Bits(item.real) != Bits(item.ref)) {
      return ::testing::AssertionFailure()
             << "block value " << item.name << ": real " << Describe(item.real) << ", reference "
             << Describe(item.ref);
    }
  }
  for (int i = 0; i < 10; ++i) {
    if (Bits(real.ActiveCoefficients()[i]) != Bits(ref.ActiveCoefficients()[i])) {
      return ::testing::AssertionFailure()
             << "active coefficient " << i << ": real " << Describe(real.ActiveCoefficients()[i])
             << ", reference " << Describe(ref.ActiveCoefficients()[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

class Pair {
 public:
  explicit Pair(uint32_t kneeSeed) : mReal(2), mRef(2) {
    mReal.Knee().UseSeed(kneeSeed);
    mRef.UseSeed(kneeSeed);
    mRef.SetDenormalSeed(TolvaneDsp::DenormalSeed());
  }

  TolvaneDsp& Real() { return mReal; }
  ReferenceDsp& Ref() { return mRef; }
  const Outputs& Last() const { return mOut; }

  // Off the coefficient table the effect designs its filters for the rate (a mended fault,
  // checked in its section below) where the literal algorithm keeps the active set: the
  // reference takes the designed set, so that everything else is still compared bit for bit.
  void OnReset(double rate) {
    mReal.OnReset(rate);
    mRef.OnReset(rate);
    if (std::isfinite(rate) && rate > 0 && !OnCoefficientTable(rate)) {
      mRef.UseCoefficients(DesignRateFilters(rate));
    }
  }

  // Runs one block of both; the real and the reference may be given different
  // parameters and rates (for the mended faults).
  void Run(const Signal& in, int offset, int n, const DspParams& realParams, double realRate,
           const DspParams& refParams, double refRate, int connected) {
    const double* inputs[2] = {in[0].data() + offset, in[1].data() + offset};
    double* realOut[2];
    double* refOut[2];
    for (int c = 0; c < 2; ++c) {
      // Different fill values, so a sample one side leaves unwritten shows as a difference.
      mOut.real[c].assign(std::max(n, 1), 12345.0);
      mOut.ref[c].assign(std::max(n, 1), -12345.0);
      realOut[c] = mOut.real[c].data();
      refOut[c] = mOut.ref[c].data();
    }
    mReal.ProcessBlock(inputs, realOut, n, realParams, realRate, connected);
    mRef.ProcessBlock(inputs, refOut, n, refParams, refRate, connected);
    mFrames = n;
  }

  // Runs one block and compares everything bit for bit.
  ::testing::AssertionResult Process(const Signal& in, int offset, int n, const DspParams& params,
                                     double rate, int connected = 2) {
    Run(in, offset, n, params, rate, params, rate, connected);
    return Compare(offset);
  }

  // Compares the last block's outputs, block values and the denormal seed.
  ::testing::AssertionResult Compare(int offset) const {
    if (auto values = BlockValuesMatch(mReal, mRef); !values) return values;
    if (auto outputs = OutputsMatch(offset); !outputs) return outputs;
    if (TolvaneDsp::DenormalSeed() != mRef.DenormalSeed()) {
      return ::testing::AssertionFailure()
             << "denormal seed: real " << TolvaneDsp::DenormalSeed() << ", reference "
             << mRef.DenormalSeed() << " (a different number of samples was replaced)";
    }
    return ::testing::AssertionSuccess();
  }

  // Compares the last block's outputs bit for bit; a NaN matches any NaN.
  ::testing::AssertionResult OutputsMatch(int offset) const {
    for (int c = 0; c < 2; ++c) {
      for (int j = 0; j < mFrames; ++j) {
        const double a = mOut.real[c][j];
        const double b = mOut.ref[c][j];
        if (Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b))) continue;
        return ::testing::AssertionFailure()
               << "channel " << c << ", sample " << j << " of the block (stream frame "
               << offset + j << "): real " << Describe(a) << ", reference " << Describe(b);
      }
    }
    return ::testing::AssertionSuccess();
  }

 private:
  TolvaneDsp mReal;
  ReferenceDsp mRef;
  Outputs mOut;
  int mFrames = 0;
};

// ---------------------------------------------------------------------------
// Bit-exact comparison over scenarios.

struct Scenario {
  std::string name;
  double rate = 44100;
  Material material = Material::kMix;
  std::vector<int> blockSizes = {64};
  int frames = 12000;
  int connected = 2;
  bool resetAtStart = true;
  uint32_t kneeSeed = 1;
  std::function<DspParams(int block)> params = [](int) { return DspParams{}; };
  std::vector<std::pair<int, double>> rateChanges;  // before block index, OnReset(rate)
};

const std::vector<int> kVarying = {1, 3, 17, 64, 511, 2, 128, 7, 1000, 33, 256};

std::string RateName(double rate) { return std::to_string(static_cast<long>(rate)); }

DspParams Edited(const std::function<void(DspParams&)>& edit) {
  DspParams p;
  edit(p);
  return p;
}

struct ParamSet {
  const char* name;
  DspParams params;
};

std::vector<ParamSet> ParamSets() {
  return {
      {"Defaults", DspParams{}},
      {"ReactOff", Edited([](DspParams& p) { p.react = 0; })},
      {"ReactHalf", Edited([](DspParams& p) { p.react = 0.5; })},
      {"Tame0", Edited([](DspParams& p) { p.tame = 0; })},
      {"Tame1", Edited([](DspParams& p) { p.tame = 1; })},
      {"Tame025", Edited([](DspParams& p) { p.tame = 0.25; })},
      {"Bias0", Edited([](DspParams& p) { p.bias = 0; })},
      {"Bias025", Edited([](DspParams& p) { p.bias = 0.25; })},
      {"Bias075", Edited([](DspParams& p) { p.bias = 0.75; })},
      {"Bias1", Edited([](DspParams& p) { p.bias = 1; })},
      {"Wet0", Edited([](DspParams& p) { p.wet = 0; })},
      {"Wet05", Edited([](DspParams& p) { p.wet = 0.5; })},
      {"Wet50", Edited([](DspParams& p) { p.wet = 50; })},
      {"Wet849", Edited([](DspParams& p) { p.wet = 84.9; })},
      {"Wet85", Edited([](DspParams& p) { p.wet = 85; })},
      {"Wet100", Edited([](DspParams& p) { p.wet = 100; })},
      {"InGain0", Edited([](DspParams& p) { p.inputGain = 0; })},
      {"InGain200", Edited([](DspParams& p) { p.inputGain = 200; })},
      {"OutGain0", Edited([](DspParams& p) { p.outputGain = 0; })},
      {"OutGain200", Edited([](DspParams& p) { p.outputGain = 200; })},
      {"BypassAlmost", Edited([](DspParams& p) { p.bypass = 0.999; })},
      {"ReactOffTame1Bias0", Edited([](DspParams& p) {
         p.react = 0;
         p.tame = 1;
         p.bias = 0;
       })},
      {"AllHot", Edited([](DspParams& p) {
         p.inputGain = 200;
         p.outputGain = 200;
         p.bias = 0.9;
         p.wet = 95;
         p.tame = 0.8;
       })},
      {"AllLow", Edited([](DspParams& p) {
         p.inputGain = 0;
         p.outputGain = 50;
         p.wet = 30;
         p.bias = 0.1;
         p.tame = 0.9;
       })},
  };
}

// Random parameters per block over the declared ranges, with the interesting
// edges (switch values between 0 and 1, wet around 85, bypass toggling) likely.
DspParams WalkParams(int block) {
  std::mt19937 rng(7919u * block + 17u);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  auto pick = [&](std::initializer_list<double> values) {
    const size_t i = static_cast<size_t>(uni(rng) * values.size());
    return *(values.begin() + std::min(i, values.size() - 1));
  };
  DspParams p;
  p.inputGain = uni(rng) < 0.2 ? pick({0, 200}) : 200 * uni(rng);
  p.wet = uni(rng) < 0.4 ? pick({0, 84.9, 85, 100, 0.5}) : 100 * uni(rng);
  p.tame = uni(rng) < 0.3 ? pick({0, 1}) : uni(rng);
  p.react = pick({0, 1, 1, 0.5});
  p.bypass = uni(rng) < 0.15 ? pick({1, 0.7}) : 0;
  p.outputGain = uni(rng) < 0.2 ? pick({0, 200}) : 200 * uni(rng);
  p.bias = uni(rng) < 0.3 ? pick({0, 0.5, 1}) : uni(rng);
  return p;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> list;
  const double kRates[] = {44100, 48000, 88200, 96000, 192000, 22050, 32000, 176400};
  const std::vector<std::pair<const char*, std::vector<int>>> kBlocks = {
      {"B64", {64}}, {"B512", {512}}, {"Varying", kVarying},
      {"B7", {7}},   {"B32", {32}},   {"B1", {1}},
  };

  // Every material at every rate, default parameters.
  int k = 0;
  for (double rate : kRates) {
    for (const MaterialInfo& m : Materials()) {
      const auto& blocks = kBlocks[k % kBlocks.size()];
      Scenario s;
      s.name = std::string(m.name) + "_" + RateName(rate) + "_" + blocks.first;
      s.rate = rate;
      s.material = m.material;
      s.blockSizes = blocks.second;
      s.frames = blocks.second.size() == 1 && blocks.second[0] == 1 ? 6000 : 12000;
      s.kneeSeed = 1000u + k;
      list.push_back(s);
      ++k;
    }
  }

  // Parameter sets at three rates.
  for (double rate : {44100.0, 96000.0, 192000.0}) {
    for (const ParamSet& set : ParamSets()) {
      Scenario s;
      s.name = std::string("Params_") + set.name + "_" + RateName(rate);
      s.rate = rate;
      s.material = k % 2 ? Material::kMix : Material::kSineMid;
      s.blockSizes = k % 3 ? std::vector<int>{64} : kVarying;
      const DspParams p = set.params;
      s.params = [p](int) { return p; };
      s.kneeSeed = 5000u + k;
      list.push_back(s);
      ++k;
    }
  }

  // Block sizes.
  for (const auto& blocks : kBlocks) {
    Scenario s;
    s.name = std::string("Blocks_") + blocks.first;
    s.rate = 48000;
    s.material = Material::kNoise;
    s.blockSizes = blocks.second;
    s.frames = 8000;
    list.push_back(s);
  }
  {
    Scenario s;
    s.name = "Blocks_WithEmptyBlocks";
    s.blockSizes = {64, 0, 13, 0, 0, 100};
    s.material = Material::kBursts;
    list.push_back(s);
  }

  // Sequences.
  for (double rate : {44100.0, 96000.0}) {
    Scenario s;
    s.name = "BypassToggled_" + RateName(rate);
    s.rate = rate;
    s.material = Material::kBursts;
    s.blockSizes = kVarying;
    s.frames = 20000;
    s.params = [](int block) {
      DspParams p;
      p.bypass = (block / 6) % 2 ? 1 : 0;
      return p;
    };
    list.push_back(s);
  }
  for (double rate : {44100.0, 48000.0, 88200.0, 192000.0, 32000.0}) {
    Scenario s;
    s.name = "ParamWalk_" + RateName(rate);
    s.rate = rate;
    s.material = rate == 48000 ? Material::kNearSilence : Material::kMix;
    s.blockSizes = kVarying;
    s.frames = 30000;
    s.params = WalkParams;
    s.kneeSeed = 0xABCDEFu;
    list.push_back(s);
  }
  {
    Scenario s;
    s.name = "RateChanges";
    s.material = Material::kMix;
    s.frames = 24000;
    s.rateChanges = {{40, 96000},  {80, 32000},   {120, 192000}, {160, 22050},
                     {200, 88200}, {240, 176400}, {300, 48000}};
    list.push_back(s);
  }
  {
    Scenario s;
    s.name = "RateChangesWithParamWalk";
    s.material = Material::kSweep;
    s.frames = 24000;
    s.blockSizes = kVarying;
    s.params = WalkParams;
    s.rateChanges = {{10, 192000}, {25, 44100}, {40, 96000}, {55, 48000}, {70, 88200}};
    list.push_back(s);
  }
  {
    Scenario s;
    s.name = "NoResetInitialCoefficients";
    s.resetAtStart = false;
    list.push_back(s);
  }
  for (int connected : {1, 2}) {
    Scenario s;
    s.name = "Connected" + std::to_string(connected);
    s.connected = connected;
    s.material = Material::kSineLow;
    s.params = WalkParams;
    s.blockSizes = kVarying;
    list.push_back(s);
  }
  {
    Scenario s;
    s.name = "KneeSeedWraps";
    s.kneeSeed = 0xFFFFFFF0u;
    s.blockSizes = {32};
    s.frames = 4000;
    list.push_back(s);
  }
  return list;
}

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class RealMatchesReference : public ::testing::TestWithParam<Scenario> {
 protected:
  void Check(const Scenario& s, bool fusedProducts, bool smoothing = false);
};

// Each scenario twice: with the fused multiply-add's exact products (where the processor has
// them) and with split ones. The reference always splits, so both must give its bits.
TEST_P(RealMatchesReference, BitForBit) {
  for (const bool fused : {true, false}) {
    SCOPED_TRACE(fused ? "fused products" : "split products");
    Check(GetParam(), fused);
    if (HasFatalFailure()) return;
  }
}

void RealMatchesReference::Check(const Scenario& s, bool fusedProducts, bool smoothing) {
  const Signal in = MakeSignal(s.material, s.rate, s.frames);
  Pair pair(s.kneeSeed);
  pair.Real().UseFusedMultiplyAdd(fusedProducts);
  pair.Real().UseSmoothing(smoothing);
  ASSERT_EQ(pair.Real().UsesFusedMultiplyAdd(), fusedProducts && crmath::HasFusedMultiplyAdd());
  double rate = s.rate;
  if (s.resetAtStart) pair.OnReset(rate);

  // What the parameters asked for, to decide which stages must have run.
  long stageFrames = 0, shapedFrames = 0, reactFrames = 0, biasUpFrames = 0, biasDownFrames = 0,
       dryBlendFrames = 0, hotLoudFrames = 0;
  size_t nextChange = 0;
  int offset = 0;
  for (int block = 0; offset < s.frames; ++block) {
    while (nextChange < s.rateChanges.size() && s.rateChanges[nextChange].first == block) {
      rate = s.rateChanges[nextChange++].second;
      pair.OnReset(rate);
    }
    const int n = std::min(s.blockSizes[block % s.blockSizes.size()], s.frames - offset);
    const DspParams p = s.params(block);
    ASSERT_TRUE(pair.Process(in, offset, n, p, rate, s.connected))
        << "block " << block << " (" << n << " frames at " << rate << " Hz)";
    const bool bypassed = p.bypass >= 1;  // the output is the input then
    for (int c = 0; c < 2 && !bypassed; ++c) {
      for (int j = 0; j < n; ++j) {
        const double v = pair.Last().real[c][j];
        ASSERT_TRUE(std::isfinite(v) && v >= -1.0 && v <= 1.0)
            << "output " << Describe(v) << " at frame " << offset + j;
      }
    }
    if (!bypassed) {
      stageFrames += n;
      if (p.outputGain > 0) shapedFrames += n;
      if (p.react == 1) reactFrames += n;
      if (p.bias > 0.5 && p.outputGain > 0) biasUpFrames += n;
      if (p.bias < 0.5 && p.outputGain > 0) biasDownFrames += n;
      if (p.wet < 85) dryBlendFrames += n;
      if (InfoOf(s.material).hot && p.outputGain >= 100) hotLoudFrames += n;
    }
    offset += n;
  }

  // The comparison means something only if the stages really ran.
  const ReferenceDsp::Coverage& cov = pair.Ref().GetCoverage();
  if (stageFrames >= 2000) {
    EXPECT_GT(cov.slopeStage, cov.stage1 / 2);
    EXPECT_GT(cov.residualStage1, 0);
  }
  if (shapedFrames >= 2000) {
    EXPECT_GT(cov.sat1Shaped, shapedFrames / 2);
    EXPECT_GT(cov.sat1Pull, 0);
    EXPECT_GT(cov.sat2Shaped, shapedFrames / 2);
    EXPECT_GT(cov.smoother, shapedFrames / 2);
  }
  if (reactFrames >= 2000) {
    EXPECT_GT(cov.reactBranch, 0);
  }
  if (biasUpFrames >= 2000 || biasDownFrames >= 2000) {
    EXPECT_GT(cov.biasStage1, 0);
    EXPECT_GT(cov.outputBias, 0);
  }
  if (dryBlendFrames >= 2000) {
    EXPECT_GT(cov.dryBlend, 0);
  }
  if (hotLoudFrames >= 2000) {
    EXPECT_GT(cov.softClip, 0);
  }
  if (InfoOf(s.material).tiny) {
    EXPECT_GT(cov.denormals, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealMatchesReference, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return info.param.name;
                         });

// The scenarios whose parameters hold still from block to block (rate changes included).
std::vector<Scenario> StillScenarios() {
  std::vector<Scenario> still;
  for (const Scenario& s : Scenarios()) {
    const DspParams first = s.params(0);
    bool holds = true;
    for (int block = 1; holds && block < s.frames; ++block) {
      const DspParams p = s.params(block);
      holds = std::memcmp(&p, &first, sizeof p) == 0;
    }
    if (holds) still.push_back(s);
  }
  return still;
}

// Smoothing on (as the effect runs): while the parameters hold still, nothing glides and the
// blocks keep the literal algorithm's bits, also after a restart at a new rate.
class RealMatchesReferenceWithSmoothing : public RealMatchesReference {};

TEST_P(RealMatchesReferenceWithSmoothing, BitForBitWhileParametersHoldStill) {
  Check(GetParam(), true, true);
}

INSTANTIATE_TEST_SUITE_P(StillScenarios, RealMatchesReferenceWithSmoothing,
                         ::testing::ValuesIn(StillScenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return info.param.name;
                         });

// ---------------------------------------------------------------------------
// The reference against values worked out by hand from the algorithm, so that
// a slip in the transcription cannot hide behind a matching slip in the effect.

TEST(ReferenceSelfCheck, DenormalSequenceFromZero) {
  ReferenceDsp ref(2);
  ref.SetDenormalSeed(0);
  const int expected[] = {1, 2, 15, 16, 8, 4, 16, 13};
  for (int e : expected) EXPECT_EQ(Bits(ref.NextDenormal()), Bits(double(e) * 1e-8 * 1e-8));
  EXPECT_EQ(ref.DenormalSeed(), 8);
}

TEST(ReferenceSelfCheck, DenormalSequenceWrapsProductsAndSeed) {
  ReferenceDsp ref(2);
  // 46341 squared exceeds 2^31 - 1: the product wraps and the remainders turn negative.
  ref.SetDenormalSeed(46339);
  for (int e : {2, 0, 16, 2, 13})
    EXPECT_EQ(Bits(ref.NextDenormal()), Bits(double(e) * 1e-8 * 1e-8));
  // The seed runs up to 1700021 and starts again at 1.
  ref.SetDenormalSeed(1700019);
  for (int e : {16, 13, 1, 2}) EXPECT_EQ(ref.NextDenormal(), double(e) * 1e-8 * 1e-8);
  EXPECT_EQ(ref.DenormalSeed(), 2);
  // A negative seed keeps the sign of its remainder.
  ref.SetDenormalSeed(-5);
  for (int e : {16, 15, 2}) EXPECT_EQ(ref.NextDenormal(), double(e) * 1e-8 * 1e-8);
  EXPECT_EQ(ref.DenormalSeed(), -2);
}

TEST(ReferenceSelfCheck, SoftClipCeilingAndPeak) {
  // From 1 up to 8 the clip is flat at its ceiling, bit for bit.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> uni(1.0, 8.0);
  EXPECT_EQ(ReferenceDsp::SoftClip(1.0), 0.9731487976746969);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(ReferenceDsp::SoftClip(uni(rng)), 0.9731487976746969);
  // The peak, about 0.97403, lies near 0.98855.
  double peak = 0, where = 0;
  for (double a = 0.80001; a < 1.2; a += 1e-6) {
    const double v = ReferenceDsp::SoftClip(a);
    if (v > peak) {
      peak = v;
      where = a;
    }
  }
  EXPECT_NEAR(peak, 0.97403, 5e-6);
  EXPECT_NEAR(where, 0.98855, 1e-4);
  // At the threshold the clip is continuous with the identity.
  EXPECT_NEAR(ReferenceDsp::SoftClip(0.8000001), 0.8000001, 1e-6);
}

// ---------------------------------------------------------------------------
// Edge cases of the algorithm, on the effect.

class TolvaneDspEdgeCases : public ::testing::Test {
 protected:
  // Processes `in` through `dsp` in blocks of `block` frames; returns the output.
  static Signal Render(TolvaneDsp& dsp, const Signal& in, const DspParams& params, double rate,
                       int block = 64, int connected = 2) {
    const int frames = static_cast<int>(in[0].size());
    Signal out = {std::vector<double>(frames), std::vector<double>(frames)};
    for (int offset = 0; offset < frames; offset += block) {
      const int n = std::min(block, frames - offset);
      const double* inputs[2] = {in[0].data() + offset, in[1].data() + offset};
      double* outputs[2] = {out[0].data() + offset, out[1].data() + offset};
      dsp.ProcessBlock(inputs, outputs, n, params, rate, connected);
    }
    return out;
  }

  static bool SameBits(const Signal& a, const Signal& b) {
    for (int c = 0; c < 2; ++c) {
      if (a[c].size() != b[c].size()) return false;
      if (std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(double)) != 0) return false;
    }
    return true;
  }

  // Step 29 on its own: magnitude above 0.8 soft-clipped, sign restored.
  static double FinalClip(double y3) {
    double a = std::fabs(y3);
    if (a > 0.8) a = ReferenceDsp::SoftClip(a);
    return y3 < 0 ? -a : a;
  }
};

TEST_F(TolvaneDspEdgeCases, FirstSampleAfterConstructionPassesSaturatorsUnchanged) {
  // All histories are zero: the saturators return their input, the slope stage
  // and the smoother are skipped, and the initial coefficient set is active.
  TolvaneDsp dsp(2);
  dsp.Knee().UseSeed(77);
  const double x[2] = {0.25, -0.5};
  double out[2] = {0, 0};
  const double* inputs[2] = {&x[0], &x[1]};
  double* outputs[2] = {&out[0], &out[1]};
  dsp.ProcessBlock(inputs, outputs, 1, DspParams{}, 44100, 2);
  for (int c = 0; c < 2; ++c) {
    const double y = 0.8132425994466649 * x[c] + 0.0;
    const double s = y * crmath::Pow3(0.32);
    const double g = (1 - 1.0) * y + 1.0 * (s * (1 - (0.32 * 0.3546842186847654 + 1e-38)));
    const double G = (1 - 0.87) * y + 0.87 * g;
    const double D = 1.0 * G;
    const double hp = 0.9979870964295267 * D + 0.0;
    const double y3 = 0.8132425994466649 * hp + 0.0;
    EXPECT_EQ(Bits(out[c]), Bits(FinalClip(y3))) << "channel " << c << ": " << Describe(out[c]);
  }
}

TEST_F(TolvaneDspEdgeCases, BlockOfZerosAdvancesDenormalSequenceOncePerSample) {
  Pair pair(3);
  pair.OnReset(44100);
  const int n = 300;
  const Signal zeros = {std::vector<double>(n, 0.0), std::vector<double>(n, -0.0)};
  const int32_t before = TolvaneDsp::DenormalSeed();
  ASSERT_TRUE(pair.Process(zeros, 0, n, DspParams{}, 44100));
  EXPECT_EQ(TolvaneDsp::DenormalSeed(), AdvanceDenormalSeed(before, 2 * n));
  EXPECT_EQ(pair.Ref().GetCoverage().denormals, 2 * n);
}

TEST_F(TolvaneDspEdgeCases, NanPassesTheDenormalGuardAndPoisonsTheState) {
  Pair pair(11);
  pair.OnReset(48000);
  Signal in = MakeSignal(Material::kMix, 48000, 64 * 21);
  for (int b = 0; b < 20; ++b) ASSERT_TRUE(pair.Process(in, 64 * b, 64, DspParams{}, 48000));
  in[0][64 * 20 + 9] = kNaN;
  const int32_t before = TolvaneDsp::DenormalSeed();
  pair.Run(in, 64 * 20, 64, DspParams{}, 48000, DspParams{}, 48000, 2);
  // Up to the end of the block the effect is the literal algorithm. The NaN is
  // not replaced and enters the input filter and the histories; both saturators
  // turn a NaN magnitude into max(0, NaN) = 0, so the output itself stays finite.
  EXPECT_TRUE(pair.OutputsMatch(64 * 20));
  EXPECT_EQ(TolvaneDsp::DenormalSeed(), before);
  EXPECT_TRUE(std::isnan(pair.Ref().FilterStateA(0)[0]));
  EXPECT_TRUE(std::isnan(pair.Ref().OutHistory(0)[0]));
  EXPECT_FALSE(std::isnan(pair.Ref().FilterStateA(1)[0]));
  for (int c = 0; c < 2; ++c) {
    for (int j = 0; j < 64; ++j) EXPECT_TRUE(std::isfinite(pair.Last().real[c][j])) << j;
  }
}

struct RateCase {
  double rate;
  double rateFactor;
  double rateFactor2;
  double rateBlend;
  int delayIndex;
  double delayFraction;
  int delay2Index;
};

void PrintTo(const RateCase& rc, std::ostream* os) { *os << rc.rate << " Hz"; }

class TolvaneDspBlockValues : public ::testing::TestWithParam<RateCase> {};

TEST_P(TolvaneDspBlockValues, FollowTheRate) {
  const RateCase& rc = GetParam();
  TolvaneDsp dsp(2);
  dsp.Knee().UseSeed(1);
  dsp.OnReset(rc.rate);
  const Signal in = MakeSignal(Material::kSineLow, rc.rate, 64);
  DspParams p;
  p.tame = 1;
  {
    const double* inputs[2] = {in[0].data(), in[1].data()};
    double out[2][64];
    double* outputs[2] = {out[0], out[1]};
    dsp.ProcessBlock(inputs, outputs, 64, p, rc.rate, 2);
    // Tame uses the previous block's second factor: 2 after construction.
    EXPECT_NEAR(dsp.TameAmount(), 86.497 / 2, 1e-3);
    dsp.ProcessBlock(inputs, outputs, 64, p, rc.rate, 2);
  }
  EXPECT_EQ(dsp.Rate(), rc.rate);
  EXPECT_NEAR(dsp.RateFactor(), rc.rateFactor, 1e-5);
  EXPECT_NEAR(dsp.RateFactor2(), rc.rateFactor2, 1e-5);
  EXPECT_NEAR(dsp.RateBlend(), rc.rateBlend, 1e-5);
  EXPECT_EQ(dsp.DelayIndex(), rc.delayIndex);
  EXPECT_NEAR(dsp.DelayFraction(), rc.delayFraction, 1e-5);
  EXPECT_EQ(dsp.Delay2Index(), rc.delay2Index);
  EXPECT_NEAR(dsp.TameAmount(), 86.497 / rc.rateFactor2, 1e-3);
  EXPECT_GE(dsp.KneeRandom(), 0.0);
  EXPECT_LE(dsp.KneeRandom(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, TolvaneDspBlockValues,
    ::testing::Values(RateCase{44100, 1, 2, 0, 0, 0, 1}, RateCase{22050, 1, 1, 0, 0, 0, 1},
                      RateCase{96000, 2.17687, 4.35374, 0.35091, 1, 0.17687, 3},
                      RateCase{192000, 4.35374, 8.70748, 1, 3, 0.35374, 7},
                      RateCase{384000, 4.5, 9, 1, 3, 0.5, 8}),
    [](const ::testing::TestParamInfo<RateCase>& info) { return RateName(info.param.rate); });

TEST_F(TolvaneDspEdgeCases, FullRateValuesAreExactAt44100) {
  TolvaneDsp dsp(2);
  dsp.OnReset(44100);
  const Signal in = MakeSignal(Material::kNoise, 44100, 32);
  Render(dsp, in, DspParams{}, 44100, 32);
  EXPECT_EQ(dsp.RateFactor(), 1.0);
  EXPECT_EQ(dsp.RateFactor2(), 2.0);
  EXPECT_EQ(dsp.DelayFraction(), 0.0);
  EXPECT_EQ(dsp.RateBlend(), 0.0);
}

TEST_F(TolvaneDspEdgeCases, BypassCopiesInputBitForBit) {
  TolvaneDsp dsp(2);
  dsp.OnReset(44100);
  Signal warm = MakeSignal(Material::kMix, 44100, 640);
  Render(dsp, warm, DspParams{}, 44100);

  uint64_t payload = 0x7ff8000000beef01ull;
  double nanWithPayload;
  std::memcpy(&nanWithPayload, &payload, sizeof payload);
  const std::vector<double> odd = {0.0,    -0.0,  4.9e-324,       -1e-310, 1e-39,   -1.1e-38,
                                   kNaN,   -kNaN, nanWithPayload, kInf,    -kInf,   1e308,
                                   -1e308, 0.5,   -0.75,          3.0,     2.2e-308};
  Signal in = MakeSignal(Material::kMix, 44100, 256);
  for (size_t i = 0; i < odd.size(); ++i) {
    in[0][7 * i] = odd[i];
    in[1][5 * i + 3] = odd[odd.size() - 1 - i];
  }
  long guarded = 0;
  for (int c = 0; c < 2; ++c) {
    for (double x : in[c]) guarded += IsGuarded(x);
  }
  DspParams p;
  p.bypass = 1;
  const int32_t before = TolvaneDsp::DenormalSeed();
  const Signal out = Render(dsp, in, p, 44100, 100);
  EXPECT_TRUE(SameBits(out, in));
  // The denormal guard keeps running under bypass, once per replaced sample.
  EXPECT_EQ(TolvaneDsp::DenormalSeed(), AdvanceDenormalSeed(before, guarded));
}

TEST_F(TolvaneDspEdgeCases, WetZeroIsTwiceLowPassedSoftClippedInput) {
  TolvaneDsp dsp(2);
  dsp.Knee().UseSeed(9);
  dsp.OnReset(44100);
  Signal in = MakeSignal(Material::kNoiseHot, 44100, 4096);
  for (int c = 0; c < 2; ++c) {
    for (double& x : in[c]) {
      if (std::fabs(x) < 1e-3) x = 0.5;  // keep the denormal guard out of it
      x *= 0.3;                          // hot enough for the soft clip, not beyond 8
    }
  }
  DspParams p;
  p.wet = 0;
  p.inputGain = 150;
  const Signal out = Render(dsp, in, p, 44100, 256);
  const Coefficients& k = ReferenceDsp::CoefficientsForRate(44100);
  long clipped = 0;
  for (int c = 0; c < 2; ++c) {
    double z[4] = {0, 0, 0, 0};
    for (size_t j = 0; j < in[c].size(); ++j) {
      const double x = in[c][j];
      const double y = k[0] * x + z[0];
      z[0] = k[1] * x - k[3] * y + z[1];
      z[1] = k[2] * x - k[4] * y;
      const double y3 = k[0] * y + z[2];
      z[2] = k[1] * y - k[3] * y3 + z[3];
      z[3] = k[2] * y - k[4] * y3;
      clipped += std::fabs(y3) > 0.8;
      ASSERT_EQ(Bits(out[c][j]), Bits(FinalClip(y3)))
          << "channel " << c << " sample " << j << ": " << Describe(out[c][j]);
    }
  }
  EXPECT_GT(clipped, 100);
}

TEST_F(TolvaneDspEdgeCases, FullScaleLeavesAtTheSoftClipCeiling) {
  TolvaneDsp dsp(2);
  dsp.OnReset(44100);
  const int n = 3000;
  const Signal dc = {std::vector<double>(n, 3.0), std::vector<double>(n, -5.0)};
  DspParams p;
  p.wet = 0;
  const Signal out = Render(dsp, dc, p, 44100, 500);
  for (int j = 100; j < n; ++j) {
    ASSERT_EQ(out[0][j], 0.9731487976746969) << j;
    ASSERT_EQ(out[1][j], -0.9731487976746969) << j;
  }
}

TEST_F(TolvaneDspEdgeCases, OutputStaysInsideFullScale) {
  // Largest output magnitude about 0.97403 for any input up to a few hundred.
  for (double rate : {44100.0, 96000.0, 192000.0}) {
    for (Material m : {Material::kNoiseHot, Material::kSquareHot, Material::kSweep}) {
      for (const ParamSet& set : ParamSets()) {
        TolvaneDsp dsp(2);
        dsp.OnReset(rate);
        Signal in = MakeSignal(m, rate, 3000);
        for (int c = 0; c < 2; ++c) {
          for (double& x : in[c]) x *= 40;
        }
        const Signal out = Render(dsp, in, set.params, rate, 128);
        for (int c = 0; c < 2; ++c) {
          for (double v : out[c]) {
            ASSERT_TRUE(std::isfinite(v)) << set.name << " at " << rate;
            ASSERT_LE(std::fabs(v), 0.97404) << set.name << " at " << rate;
          }
        }
      }
    }
  }
}

TEST_F(TolvaneDspEdgeCases, TameZeroMakesReactIrrelevant) {
  // With Tame 0 the slope stage passes G through whatever React does (Bias neutral).
  const Signal in = MakeSignal(Material::kMix, 48000, 6000);
  auto render = [&](double tame, double react) {
    TolvaneDsp dsp(2);
    dsp.Knee().UseSeed(42);
    dsp.OnReset(48000);
    DspParams p;
    p.tame = tame;
    p.react = react;
    return Render(dsp, in, p, 48000, 100);
  };
  EXPECT_TRUE(SameBits(render(0, 1), render(0, 0)));
  EXPECT_FALSE(SameBits(render(0.5, 1), render(0.5, 0)));
}

TEST_F(TolvaneDspEdgeCases, FractionalSwitchValuesCountAsOff) {
  const Signal in = MakeSignal(Material::kMix, 44100, 4000);
  auto render = [&](double react, double bypass) {
    TolvaneDsp dsp(2);
    dsp.Knee().UseSeed(43);
    dsp.OnReset(44100);
    DspParams p;
    p.react = react;
    p.bypass = bypass;
    return Render(dsp, in, p, 44100, 64);
  };
  const Signal reactOff = render(0, 0);
  EXPECT_TRUE(SameBits(render(0.5, 0), reactOff));
  EXPECT_TRUE(SameBits(render(0.999, 0), reactOff));
  EXPECT_FALSE(SameBits(render(1, 0), reactOff));
  const Signal bypassOff = render(1, 0);
  EXPECT_TRUE(SameBits(render(1, 0.5), bypassOff));
  EXPECT_TRUE(SameBits(render(1, 0.999), bypassOff));
  EXPECT_TRUE(SameBits(render(1, 1), in));
}

TEST_F(TolvaneDspEdgeCases, SingleConnectedOutputStillProcessesTwoChannels) {
  TolvaneDsp one(1);
  EXPECT_EQ(one.NumChannels(), 2);
  const Signal in = MakeSignal(Material::kNoise, 44100, 2000);
  one.Knee().UseSeed(5);
  one.OnReset(44100);
  const Signal outOne = Render(one, in, DspParams{}, 44100, 64, 1);
  TolvaneDsp two(2);
  two.Knee().UseSeed(5);
  two.OnReset(44100);
  const Signal outTwo = Render(two, in, DspParams{}, 44100, 64, 2);
  EXPECT_TRUE(SameBits(outOne, outTwo));
}

TEST_F(TolvaneDspEdgeCases, MoreConnectedOutputsThanChannelsStayWithinTheState) {
  // Only the two allocated channels are processed; the two-pointer buffer arrays
  // are never read past their end (the sanitizer build checks the accesses).
  const Signal in = MakeSignal(Material::kNoise, 44100, 1000);
  auto render = [&](int connected) {
    TolvaneDsp dsp(2);
    dsp.Knee().UseSeed(6);
    dsp.OnReset(44100);
    return Render(dsp, in, DspParams{}, 44100, 100, connected);
  };
  EXPECT_TRUE(SameBits(render(5), render(2)));
}

// ---------------------------------------------------------------------------
// Faults the effect mends on purpose (the reference stays literal).

class TolvaneDspMendedFaults : public TolvaneDspEdgeCases {
 protected:
  static ::testing::AssertionResult AllFinite(const Signal& s) {
    for (int c = 0; c < 2; ++c) {
      for (size_t j = 0; j < s[c].size(); ++j) {
        if (!std::isfinite(s[c][j])) {
          return ::testing::AssertionFailure()
                 << "channel " << c << " sample " << j << " is " << Describe(s[c][j]);
        }
      }
    }
    return ::testing::AssertionSuccess();
  }
  static bool StateFinite(const ReferenceDsp& ref, int c) {
    auto finite = [](const auto& cells) {
      return std::all_of(cells.begin(), cells.end(), [](double v) { return std::isfinite(v); });
    };
    return std::isfinite(ref.PreFiltered(c)) && std::isfinite(ref.Residual(c)) &&
           finite(ref.FilterStateA(c)) && finite(ref.FilterStateB(c)) &&
           finite(ref.OutHistory(c)) && finite(ref.SlopeHistory(c)) &&
           finite(ref.TrackHistory(c)) && finite(ref.Stage2History(c)) &&
           finite(ref.Sat1History(c)) && finite(ref.Sat2History(c));
  }
  static double Peak(const Signal& s) {
    double peak = 0;
    for (const auto& ch : s) {
      for (double v : ch) peak = std::max(peak, std::fabs(v));
    }
    return peak;
  }
};

struct BadInput {
  const char* name;
  double value;
};

void PrintTo(const BadInput& b, std::ostream* os) { *os << b.name; }

class NonFiniteInput : public TolvaneDspMendedFaults,
                       public ::testing::WithParamInterface<BadInput> {};

TEST_P(NonFiniteInput, NextFiniteBlockCarriesTheSignalAgain) {
  // The channel's state is cleared at the end of the block, so the next block
  // starts from zero state.
  const double bad = GetParam().value;
  for (double rate : {44100.0, 192000.0}) {
    TolvaneDsp dsp(2);
    dsp.Knee().UseSeed(8);
    dsp.OnReset(rate);
    Render(dsp, MakeSignal(Material::kMix, rate, 1280), DspParams{}, rate);
    Signal hit = MakeSignal(Material::kMix, rate, 64);
    hit[0][37] = bad;
    hit[1][0] = bad;
    hit[1][63] = bad;
    Render(dsp, hit, DspParams{}, rate);
    const Signal after = Render(dsp, MakeSignal(Material::kSineMid, rate, 640), DspParams{}, rate);
    EXPECT_TRUE(AllFinite(after)) << "after " << bad << " at " << rate;
    EXPECT_GT(Peak(after), 0.1) << "after " << bad << " at " << rate;
  }
}

INSTANTIATE_TEST_SUITE_P(Values, NonFiniteInput,
                         ::testing::Values(BadInput{"NaN", kNaN}, BadInput{"Inf", kInf},
                                           BadInput{"MinusInf", -kInf}),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                           return info.param.name;
                         });

class HugeFiniteInput : public TolvaneDspMendedFaults,
                        public ::testing::WithParamInterface<BadInput> {};

TEST_P(HugeFiniteInput, StaysLiteralAndFinite) {
  // Finite input never clears state: where the state stays finite the effect
  // keeps following the literal algorithm, however long the input filter takes
  // to forget the spike; where the spike overflows the state, it is cleared and
  // the output is finite from the next block on.
  const double bad = GetParam().value;
  for (double rate : {44100.0, 96000.0, 192000.0}) {
    Pair pair(61);
    pair.OnReset(rate);
    Signal in = MakeSignal(Material::kMix, rate, 64 * 100);
    in[0][64 * 20 + 37] = bad;
    in[1][64 * 20] = -bad;
    bool literal = true;
    for (int b = 0; b < 100; ++b) {
      pair.Run(in, 64 * b, 64, DspParams{}, rate, DspParams{}, rate, 2);
      if (literal) {
        ASSERT_TRUE(pair.Compare(64 * b)) << "block " << b << " at " << rate;
      }
      if (b > 20) {
        EXPECT_TRUE(AllFinite(pair.Last().real)) << "block " << b << " at " << rate;
      }
      literal = literal && StateFinite(pair.Ref(), 0) && StateFinite(pair.Ref(), 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Values, HugeFiniteInput,
                         ::testing::Values(BadInput{"Big", 1e308}, BadInput{"Large", 1e100},
                                           BadInput{"Max", std::numeric_limits<double>::max()}),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                           return info.param.name;
                         });

TEST_F(TolvaneDspMendedFaults, NonFiniteChannelRestartsFromZeroStateAlone) {
  // Within its block the NaN behaves literally; at the block's end only channel 0
  // is cleared, as after construction, and channel 1 carries on undisturbed.
  Pair pair(21);
  pair.OnReset(96000);
  Signal in = MakeSignal(Material::kMix, 96000, 64 * 120);
  int block = 0;
  for (; block < 30; ++block) ASSERT_TRUE(pair.Process(in, 64 * block, 64, DspParams{}, 96000));
  in[0][64 * block + 20] = kNaN;
  pair.Run(in, 64 * block, 64, DspParams{}, 96000, DspParams{}, 96000, 2);
  ASSERT_TRUE(pair.OutputsMatch(64 * block));
  pair.Ref().ResetChannel(0);
  for (++block; block < 120; ++block) {
    ASSERT_TRUE(pair.Process(in, 64 * block, 64, DspParams{}, 96000)) << "block " << block;
  }
}

// The table's rates take its sets, bit for bit, whatever came before; any other rate takes
// the filters designed for it, never a set left from an earlier rate.
TEST_F(TolvaneDspMendedFaults, RatesOffTheTableGetTheirOwnFilters) {
  TolvaneDsp dsp(2);
  EXPECT_EQ(dsp.ActiveCoefficients(), ReferenceDsp::InitialCoefficients());
  for (int listed : {44100, 48000, 88200, 96000, 192000}) {
    dsp.OnReset(listed);
    EXPECT_EQ(dsp.ActiveCoefficients(), ReferenceDsp::CoefficientsForRate(listed)) << listed;
    for (double rate : {32000.0, 22050.0, 176400.0, 47999.99}) {
      dsp.OnReset(rate);
      EXPECT_EQ(dsp.ActiveCoefficients(), DesignRateFilters(rate)) << rate << " after " << listed;
      EXPECT_EQ(dsp.Rate(), rate);
    }
  }
  // The rate is truncated before the table is consulted.
  dsp.OnReset(48000.9);
  EXPECT_EQ(dsp.ActiveCoefficients(), ReferenceDsp::CoefficientsForRate(48000));
  // ProcessBlock never selects coefficients.
  Render(dsp, MakeSignal(Material::kNoise, 44100, 16), DspParams{}, 96000, 16);
  EXPECT_EQ(dsp.ActiveCoefficients(), ReferenceDsp::CoefficientsForRate(48000));
}

// The active filters' response, from their coefficients, at table rates and designed ones: the
// low-pass has its Q at its cutoff (20 kHz; below 41.67 kHz 96 % of the Nyquist frequency),
// the high-pass its Q at 20 Hz, 1 kHz passes flat, where the cutoff is below 20 kHz the band's
// top (15 kHz at 32 kHz) loses at most 1.5 dB through the two low-passes, and 1.5 times the
// cutoff each low-pass cuts at least what the analog filter cuts (the bilinear design
// approaches it as the rate grows). At the table's rates the design, with the entry's Q,
// reproduces the entry within a few units in the last place: it is the table's design (a Q
// off by 0.0001 moves some coefficient by more than 1e-6).
struct FilterCase {
  double rate;
  double lowPassCutoff;
  double lowPassQ;  // the table's Q at its rates, kFilterQ elsewhere
  double highPassQ;
};

void PrintTo(const FilterCase& fc, std::ostream* os) { *os << fc.rate << " Hz"; }

class ActiveFilters : public TolvaneDspMendedFaults,
                      public ::testing::WithParamInterface<FilterCase> {};

TEST_P(ActiveFilters, ResponseFitsTheRate) {
  const FilterCase& fc = GetParam();
  TolvaneDsp dsp(2);
  dsp.OnReset(fc.rate);
  const double* lowPass = dsp.ActiveCoefficients().data();
  const double* highPass = lowPass + 5;
  auto gainDb = [&](const double* c, double hz) {
    const std::complex<double> z1 = std::polar(1.0, -6.283185307179586 * hz / fc.rate);
    const std::complex<double> h =
        (c[0] + z1 * (c[1] + z1 * c[2])) / (1.0 + z1 * (c[3] + z1 * c[4]));
    return 20 * std::log10(std::abs(h));
  };
  if (OnCoefficientTable(fc.rate)) {
    const BiquadCoefficients lp = DesignLowPass(kLowPassCutoff / fc.rate, fc.lowPassQ);
    const BiquadCoefficients hp = DesignHighPass(kHighPassCutoff / fc.rate, fc.highPassQ);
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(lp[i], lowPass[i], 1e-15) << "low-pass coefficient " << i;
      EXPECT_NEAR(hp[i], highPass[i], 1e-15) << "high-pass coefficient " << i;
    }
  }
  EXPECT_NEAR(gainDb(lowPass, fc.lowPassCutoff), 20 * std::log10(fc.lowPassQ), 0.01);
  EXPECT_NEAR(gainDb(highPass, 20), 20 * std::log10(fc.highPassQ), 0.01);
  EXPECT_NEAR(2 * gainDb(lowPass, 1000) + gainDb(highPass, 1000), 0, 0.01);
  if (fc.lowPassCutoff < kLowPassCutoff) {
    const double topTone = fc.rate / 2 * 15 / 16;  // 15 kHz at 32 kHz
    EXPECT_GT(2 * gainDb(lowPass, topTone), -1.5);
  }
  const double r = 1.5;
  if (r * fc.lowPassCutoff < fc.rate / 2) {
    const double q = fc.lowPassQ;
    const double analogDb = -10 * std::log10((1 - r * r) * (1 - r * r) + r * r / (q * q));
    EXPECT_LT(gainDb(lowPass, r * fc.lowPassCutoff), analogDb);
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, ActiveFilters,
                         ::testing::Values(FilterCase{22050, 10584, kFilterQ, kFilterQ},
                                           FilterCase{32000, 15360, kFilterQ, kFilterQ},
                                           FilterCase{44100, 20000, 0.7171, 0.7071},
                                           FilterCase{48000, 20000, 0.717, 0.717},
                                           FilterCase{88200, 20000, 0.717, 0.717},
                                           FilterCase{96000, 20000, 0.717, 0.717},
                                           FilterCase{176400, 20000, kFilterQ, kFilterQ},
                                           FilterCase{192000, 20000, 0.7071, 0.717},
                                           FilterCase{352800, 20000, kFilterQ, kFilterQ},
                                           FilterCase{384000, 20000, kFilterQ, kFilterQ},
                                           FilterCase{768000, 20000, kFilterQ, kFilterQ}),
                         [](const ::testing::TestParamInfo<FilterCase>& info) {
                           return RateName(info.param.rate);
                         });

// Absurd rates too get finite, stable filters (both poles inside the unit circle: |a2| < 1
// and |a1| < 1 + a2): every cutoff stays below the Nyquist frequency.
TEST_F(TolvaneDspMendedFaults, EveryRateGetsStableFilters) {
  for (double rate : {1e-300, 1.0, 30.0, 41.0, 8000.0, 41000.0, 44099.0, 2822400.0, 1e9}) {
    const RateFilters f = DesignRateFilters(rate);
    for (int section : {0, 5}) {
      for (int i = 0; i < 5; ++i) EXPECT_TRUE(std::isfinite(f[section + i])) << rate;
      EXPECT_LT(std::fabs(f[section + 4]), 1) << rate << " Hz, section " << section;
      EXPECT_LT(std::fabs(f[section + 3]), 1 + f[section + 4]) << rate << " Hz, " << section;
    }
  }
}

class InvalidRate : public TolvaneDspMendedFaults, public ::testing::WithParamInterface<double> {};

TEST_P(InvalidRate, KeepsPreviousRateAndCoefficients) {
  const double bad = GetParam();
  Pair pair(31);
  pair.OnReset(96000);
  const Signal in = MakeSignal(Material::kMix, 96000, 64 * 40);
  for (int b = 0; b < 10; ++b) ASSERT_TRUE(pair.Process(in, 64 * b, 64, DspParams{}, 96000));
  const double factor = pair.Real().RateFactor();

  pair.Real().OnReset(bad);
  EXPECT_EQ(pair.Real().Rate(), 96000);
  EXPECT_EQ(pair.Real().ActiveCoefficients(), ReferenceDsp::CoefficientsForRate(96000));

  // A block at the invalid rate runs as at the previous rate.
  for (int b = 10; b < 40; ++b) {
    pair.Run(in, 64 * b, 64, DspParams{}, bad, DspParams{}, 96000, 2);
    ASSERT_TRUE(pair.Compare(64 * b)) << "block " << b;
  }
  EXPECT_EQ(pair.Real().Rate(), 96000);
  EXPECT_EQ(pair.Real().RateFactor(), factor);
}

TEST_P(InvalidRate, FreshInstanceStaysFinite) {
  const double bad = GetParam();
  TolvaneDsp dsp(2);
  dsp.OnReset(bad);
  EXPECT_EQ(dsp.ActiveCoefficients(), ReferenceDsp::InitialCoefficients());
  const Signal out = Render(dsp, MakeSignal(Material::kMix, 44100, 2000), DspParams{}, bad);
  EXPECT_TRUE(AllFinite(out));
  EXPECT_GT(Peak(out), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Values, InvalidRate,
                         ::testing::Values(kNaN, kInf, -kInf, 0.0, -0.0, -44100.0, -1e300));

struct SwitchCase {
  const char* name;
  double react;         // given to the effect
  double bypass;        // given to the effect
  double literalReact;  // what the effect must treat it as
  double literalBypass;
};

void PrintTo(const SwitchCase& sc, std::ostream* os) { *os << sc.name; }

class OutOfRangeSwitch : public TolvaneDspMendedFaults,
                         public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(OutOfRangeSwitch, TruncatesLikeTheClampedValue) {
  // Switch values are clamped to the 32-bit range before truncation, NaN as 0.
  const SwitchCase& sc = GetParam();
  Pair pair(41);
  pair.OnReset(44100);
  const Signal in = MakeSignal(Material::kMix, 44100, 64 * 60);
  DspParams odd, literal;
  odd.react = sc.react;
  odd.bypass = sc.bypass;
  literal.react = sc.literalReact;
  literal.bypass = sc.literalBypass;
  for (int b = 0; b < 60; ++b) {
    const bool oddBlock = b >= 10 && b < 50;
    pair.Run(in, 64 * b, 64, oddBlock ? odd : DspParams{}, 44100, oddBlock ? literal : DspParams{},
             44100, 2);
    ASSERT_TRUE(pair.Compare(64 * b)) << "block " << b;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, OutOfRangeSwitch,
    ::testing::Values(
        SwitchCase{"ReactHuge", 1e300, 0, 0, 0}, SwitchCase{"ReactMinusHuge", -1e300, 0, 0, 0},
        SwitchCase{"ReactNaN", kNaN, 0, 0, 0}, SwitchCase{"ReactInf", kInf, 0, 0, 0},
        SwitchCase{"React2e9", 2e9, 0, 0, 0}, SwitchCase{"BypassHuge", 1, 1e300, 1, 1},
        SwitchCase{"BypassInf", 1, kInf, 1, 1}, SwitchCase{"BypassNaN", 1, kNaN, 1, 0},
        SwitchCase{"BypassMinusInf", 1, -kInf, 1, 0}, SwitchCase{"BothNaN", kNaN, kNaN, 0, 0}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return info.param.name; });

struct ContinuousCase {
  std::string name;
  double DspParams::*field;
  double value;
};

void PrintTo(const ContinuousCase& cc, std::ostream* os) { *os << cc.name; }

class OutOfRangeContinuous : public TolvaneDspMendedFaults,
                             public ::testing::WithParamInterface<ContinuousCase> {};

// The parameter model keeps values inside their ranges; fed to the signal
// processing directly, an infinite gain may give NaN samples while it lasts
// (infinity times a cleared, zero state), but never a sample outside -1..1, and
// the channel recovers once the value is sane again.
TEST_P(OutOfRangeContinuous, NoCrashBoundedOutputAndRecovery) {
  const ContinuousCase& cc = GetParam();
  TolvaneDsp dsp(2);
  dsp.Knee().UseSeed(51);
  dsp.OnReset(48000);
  Render(dsp, MakeSignal(Material::kMix, 48000, 1280), DspParams{}, 48000);
  DspParams p;
  p.*cc.field = cc.value;
  const Signal during = Render(dsp, MakeSignal(Material::kSineMid, 48000, 640), p, 48000);
  for (const auto& channel : during) {
    for (double v : channel) {
      ASSERT_TRUE(std::isnan(v) || (v >= -1.0 && v <= 1.0)) << "while " << cc.name << ": " << v;
    }
  }
  const Signal after = Render(dsp, MakeSignal(Material::kMix, 48000, 1280), DspParams{}, 48000);
  EXPECT_TRUE(AllFinite(after)) << "after " << cc.name;
}

std::vector<ContinuousCase> ContinuousCases() {
  const std::pair<const char*, double DspParams::*> fields[] = {
      {"InputGain", &DspParams::inputGain}, {"Wet", &DspParams::wet},
      {"Tame", &DspParams::tame},           {"OutputGain", &DspParams::outputGain},
      {"Bias", &DspParams::bias},
  };
  const std::pair<const char*, double> values[] = {
      {"Huge", 1e300}, {"MinusHuge", -1e300}, {"NaN", kNaN}, {"Inf", kInf}, {"MinusInf", -kInf}};
  std::vector<ContinuousCase> cases;
  for (const auto& f : fields) {
    for (const auto& v : values)
      cases.push_back({std::string(f.first) + v.first, f.second, v.second});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Values, OutOfRangeContinuous, ::testing::ValuesIn(ContinuousCases()),
                         [](const ::testing::TestParamInfo<ContinuousCase>& info) {
                           return info.param.name;
                         });

// ---------------------------------------------------------------------------
// Real-time safety.

TEST(TolvaneDspRealTime, ProcessBlockAllocatesNothing) {
  TolvaneDsp dsp(2);
  dsp.OnReset(48000);
  const Signal in = MakeSignal(Material::kMix, 48000, 4096);
  Signal out = {std::vector<double>(4096), std::vector<double>(4096)};
  DspParams walk[16];
  for (int i = 0; i < 16; ++i) walk[i] = WalkParams(i);
  const double* inputs[2] = {in[0].data(), in[1].data()};
  double* outputs[2] = {out[0].data(), out[1].data()};

  for (bool seeded : {true, false}) {
    if (seeded) {
      dsp.Knee().UseSeed(99);
    } else {
      dsp.Knee().UseRandomDevice();
    }
    long allocations = 0;
    {
      kantele::test::ScopedAllocTrap trap;
      for (int b = 0; b < 64; ++b) {
        dsp.ProcessBlock(inputs, outputs, 64, walk[b % 16], 48000, 2);
      }
      allocations = trap.Allocations();
    }
    EXPECT_EQ(allocations, 0) << (seeded ? "seeded knee" : "random-device knee");
    EXPECT_GE(dsp.KneeRandom(), 0.0);
    EXPECT_LE(dsp.KneeRandom(), 1.0);
  }
}

}  // namespace
}  // namespace tolvane::test
