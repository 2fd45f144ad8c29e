// The effect as a host sees it: built by the entry point, driven through the effect record
// only. Its output is compared bit for bit with TolvaneDsp fed the same input, parameters and
// knee seed directly, so any fault in how the effect reaches its processing (buffers, channel
// counts, parameter values, rate, seed) shows as a differing sample.

#include "tolvane/Tolvane.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2Entry.h"
#include "support/AllocTrap.h"
#include "tolvane/TolvaneDsp.h"

namespace tolvane::test {
namespace {

using namespace kantele::vst2;
using kantele::vst2test::HostStub;

constexpr uint32_t kSeed = 0xC0FFEE11u;

VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

Tolvane& TolvaneOf(AEffect* e) {
  return *static_cast<Tolvane*>(kantele::IVst2Adapter::FromAEffect(e));
}

/// Opens the effect as a host does before playback, with the knee seeded.
void Prepare(AEffect* e, float rate, uint32_t seed) {
  Dispatch(e, effOpen);
  Dispatch(e, effSetSampleRate, 0, 0, nullptr, rate);
  Dispatch(e, effSetBlockSize, 0, 512);
  ASSERT_EQ(Dispatch(e, effVendorSpecific, kSeedRequest, seed, nullptr, 1.f), 1);
  Dispatch(e, effMainsChanged, 0, 1);
}

/// A parameter change before a block: index, normalised value as the host sends it, and the
/// real value it stands for.
struct Change {
  int mParam;
  float mNormalized;
  double mReal;
};

struct BlockPlan {
  int mFrames;
  std::vector<Change> mChanges;
};

/// Blocks of every length from 0 to the block size, with changes reaching every stage: drive,
/// blend, slope tracking on and off, bias both ways, output level, bypass, a low wet share.
const std::vector<BlockPlan>& Plan() {
  static const std::vector<BlockPlan> kPlan = {
      {256, {}},
      {100, {{kInputGain, 0.75f, 150.0}, {kWet, 0.5f, 50.0}}},
      {0, {}},
      {1, {}},
      {512, {{kTame, 0.875f, 0.875}, {kBias, 0.25f, 0.25}, {kOutputGain, 0.625f, 125.0}}},
      {300, {{kReact, 0.f, 0.0}, {kBias, 0.75f, 0.75}}},
      {64, {{kBypass, 1.f, 1.0}}},
      {200, {{kBypass, 0.f, 0.0}, {kWet, 0.25f, 25.0}, {kReact, 1.f, 1.0}}},
  };
  return kPlan;
}

int PlanFrames() {
  int n = 0;
  for (const BlockPlan& b : Plan()) n += b.mFrames;
  return n;
}

/// Two channels of material without exact zeros (silence goes through a process-wide
/// generator that would tie the two renders to their order), reaching beyond full scale.
std::vector<std::vector<double>> Material(int frames) {
  std::vector<std::vector<double>> s(2, std::vector<double>(static_cast<size_t>(frames)));
  uint32_t state = 12345;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < frames; ++i) {
      state = state * 1664525u + 1013904223u;
      const double noise = (state >> 8) / 16777216.0 - 0.5;
      double x = 0.9 * std::sin(0.031 * i * (c + 1) + 0.4) + 0.5 * noise;
      if (std::fabs(x) < 1e-6) x = 1e-3;
      s[c][static_cast<size_t>(i)] = x;
    }
  }
  return s;
}

std::vector<std::vector<double>> AsFloats(std::vector<std::vector<double>> s) {
  for (auto& c : s) {
    for (double& x : c) x = static_cast<float>(x);
  }
  return s;
}

/// The effect's output through processReplacing (float) or processDoubleReplacing, `channels`
/// connected channels each way. Processing runs under the allocation trap.
template <typename T>
std::vector<std::vector<T>> RenderEffect(AEffect* e, const std::vector<std::vector<double>>& in,
                                         int channels = 2, double react = -1.0) {
  std::vector<std::vector<T>> out(static_cast<size_t>(channels),
                                  std::vector<T>(in[0].size(), T(7)));
  std::vector<std::vector<T>> input(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) input[c].assign(in[c].begin(), in[c].end());
  int offset = 0;
  long allocations = 0;
  if (react >= 0) e->setParameter(e, kReact, float(react));
  for (const BlockPlan& b : Plan()) {
    for (const Change& ch : b.mChanges) {
      e->setParameter(e, ch.mParam,
                      ch.mParam == kReact && react >= 0 ? float(react) : ch.mNormalized);
    }
    std::vector<T*> ins, outs;  // exactly as many pointers as connected channels
    for (int c = 0; c < channels; ++c) {
      ins.push_back(input[c].data() + offset);
      outs.push_back(out[c].data() + offset);
    }
    kantele::test::ScopedAllocTrap trap;
    if constexpr (std::is_same_v<T, float>) {
      e->processReplacing(e, ins.data(), outs.data(), b.mFrames);
    } else {
      e->processDoubleReplacing(e, ins.data(), outs.data(), b.mFrames);
    }
    allocations += trap.Allocations();
    offset += b.mFrames;
  }
  EXPECT_EQ(allocations, 0);
  return out;
}

/// TolvaneDsp fed directly, with smoothing as the effect runs it: the same plan, rate and seed,
/// `connected` output channels (the second input silent when only one is connected).
std::vector<std::vector<double>> RenderDsp(const std::vector<std::vector<double>>& in, double rate,
                                           uint32_t seed, int connected = 2, double react = -1.0) {
  TolvaneDsp dsp(2);
  dsp.UseSmoothing(true);
  dsp.OnReset(rate);
  dsp.Knee().UseSeed(seed);
  DspParams params;
  if (react >= 0) params.react = react;
  const size_t n = in[0].size();
  std::vector<std::vector<double>> out(2, std::vector<double>(n));
  const std::vector<double> silence(n, 0.0);
  std::vector<double> discarded(n);
  int offset = 0;
  for (const BlockPlan& b : Plan()) {
    for (const Change& ch : b.mChanges) {
      const double v = ch.mParam == kReact && react >= 0 ? react : ch.mReal;
      switch (ch.mParam) {
        case kInputGain: params.inputGain = v; break;
        case kWet: params.wet = v; break;
        case kTame: params.tame = v; break;
        case kReact: params.react = v; break;
        case kBypass: params.bypass = v; break;
        case kOutputGain: params.outputGain = v; break;
        case kBias: params.bias = v; break;
      }
    }
    const double* ins[2] = {in[0].data() + offset,
                            (connected > 1 ? in[1].data() : silence.data()) + offset};
    double* outs[2] = {out[0].data() + offset,
                       (connected > 1 ? out[1].data() : discarded.data()) + offset};
    dsp.ProcessBlock(ins, outs, b.mFrames, params, rate, connected);
    offset += b.mFrames;
  }
  return out;
}

/// The first sample where `a` and `b` differ in their bits, or -1.
template <typename T>
long FirstDifference(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) return static_cast<long>(i);
  }
  return -1;
}

std::vector<float> ToFloats(const std::vector<double>& v) {
  return std::vector<float>(v.begin(), v.end());
}

class TolvaneTest : public ::testing::Test {
 protected:
  AEffect* Load() {
    AEffect* e = mHost.Adopt(kantele::Vst2PluginMain<Tolvane>(HostStub::Callback));
    if (e) mLoaded.push_back(e);
    return e;
  }
  void TearDown() override {
    for (AEffect* e : mLoaded) Dispatch(e, effClose);
  }
  HostStub mHost;
  std::vector<AEffect*> mLoaded;
};

// ---------------------------------------------------------------------------------------------

TEST_F(TolvaneTest, AFreshInstanceIdentifiesItselfAndHoldsTheDefaults) {
  AEffect* e = Load();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->numParams, 7);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->uniqueID, 0x6F667A6F);
  EXPECT_EQ(e->version, 10000);
  EXPECT_EQ(Dispatch(e, effGetVendorVersion), 10000);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, 0x1019);
  char text[64];
  EXPECT_EQ(Dispatch(e, effGetProgramNameIndexed, 0, 0, text), 1);
  EXPECT_STREQ(text, "Empty");
  Dispatch(e, effGetEffectName, 0, 0, text);
  EXPECT_STREQ(text, "Tolvane");
  Dispatch(e, effGetVendorString, 0, 0, text);
  EXPECT_STREQ(text, "Quellmark");

  const char* names[kNumParams] = {"Input G", "Wet", "Tame", "React", "Bypass", "Output ", "Bias"};
  const char* labels[kNumParams] = {"%", "%", "", "", "", "%", ""};
  const double real[kNumParams] = {32, 87, 0.5, 1, 0, 100, 0.5};
  const float normalized[kNumParams] = {float(0.16), float(0.87), 0.5f, 1.f, 0.f, 0.5f, 0.5f};
  for (int i = 0; i < kNumParams; ++i) {
    Dispatch(e, effGetParamName, i, 0, text);
    EXPECT_STREQ(text, names[i]);
    Dispatch(e, effGetParamLabel, i, 0, text);
    EXPECT_STREQ(text, labels[i]);
    EXPECT_EQ(TolvaneOf(e).GetParam(i)->GetValue(), real[i]) << i;
    EXPECT_EQ(e->getParameter(e, i), normalized[i]) << i;
  }
  EXPECT_EQ(Dispatch(e, effVendorSpecific, kSeedRequest + 1, 1, nullptr, 1.f), 0);
}

TEST_F(TolvaneTest, OutputEqualsTheSignalProcessingBitForBit) {
  const std::vector<std::vector<double>> input = Material(PlanFrames());
  for (float rate : {44100.f, 96000.f}) {
    AEffect* f = Load();
    Prepare(f, rate, kSeed);
    const auto floats = RenderEffect<float>(f, input);
    const auto expectedF = RenderDsp(AsFloats(input), rate, kSeed);
    AEffect* d = Load();
    Prepare(d, rate, kSeed);
    const auto doubles = RenderEffect<double>(d, input);
    const auto expectedD = RenderDsp(input, rate, kSeed);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(FirstDifference(floats[c], ToFloats(expectedF[c])), -1) << rate << " ch " << c;
      EXPECT_EQ(FirstDifference(doubles[c], expectedD[c]), -1) << rate << " ch " << c;
    }
    EXPECT_EQ(TolvaneOf(f).Dsp().Rate(), double(rate));
  }
}

TEST_F(TolvaneTest, TheSeedRequestMakesRendersRepeatable) {
  const std::vector<std::vector<double>> input = Material(PlanFrames());
  auto render = [&](uint32_t seed, float opt) {
    AEffect* e = Load();
    Prepare(e, 48000.f, seed);
    // opt 0 returns to the random device.
    if (opt != 1.f) {
      EXPECT_EQ(Dispatch(e, effVendorSpecific, kSeedRequest, seed, nullptr, opt), 1);
    }
    return RenderEffect<float>(e, input);
  };
  const auto a = render(kSeed, 1.f);
  const auto b = render(kSeed, -0.25f);  // any non-zero opt seeds
  const auto other = render(kSeed + 1, 1.f);
  const auto random1 = render(kSeed, 0.f);
  const auto random2 = render(kSeed, 0.f);
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(FirstDifference(a[c], b[c]), -1);
    EXPECT_NE(FirstDifference(a[c], other[c]), -1);
    EXPECT_NE(FirstDifference(random1[c], random2[c]), -1);
    EXPECT_NE(FirstDifference(a[c], random1[c]), -1);
  }
  // Only the low 32 bits of the value name the seed.
  AEffect* e = Load();
  Prepare(e, 48000.f, 0);
  ASSERT_EQ(
      Dispatch(e, effVendorSpecific, kSeedRequest, (VstIntPtr{5} << 32) | kSeed, nullptr, 1.f), 1);
  const auto high = RenderEffect<float>(e, input);
  EXPECT_EQ(FirstDifference(high[0], a[0]), -1);
}

TEST_F(TolvaneTest, OneConnectedChannelKeepsTwoChannelsOfState) {
  const std::vector<std::vector<double>> input = Material(PlanFrames());
  VstSpeakerArrangement mono{};
  mono.numChannels = 1;
  for (bool useFloat : {true, false}) {
    AEffect* e = Load();
    Prepare(e, 44100.f, kSeed);
    ASSERT_EQ(Dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &mono),
              1);
    EXPECT_EQ(TolvaneOf(e).Dsp().NumChannels(), 2);
    if (useFloat) {
      const auto out = RenderEffect<float>(e, input, 1);
      const auto expected = RenderDsp(AsFloats(input), 44100.0, kSeed, 1);
      EXPECT_EQ(FirstDifference(out[0], ToFloats(expected[0])), -1);
    } else {
      const auto out = RenderEffect<double>(e, input, 1);
      EXPECT_EQ(FirstDifference(out[0], RenderDsp(input, 44100.0, kSeed, 1)[0]), -1);
    }
    EXPECT_EQ(TolvaneOf(e).Dsp().NumChannels(), 2);
  }
}

TEST_F(TolvaneTest, ReactHalfwaySetByAHostCountsAsOff) {
  const std::vector<std::vector<double>> input = Material(PlanFrames());
  AEffect* e = Load();
  Prepare(e, 44100.f, kSeed);
  const auto out = RenderEffect<double>(e, input, 2, 0.5);
  EXPECT_EQ(TolvaneOf(e).GetParam(kReact)->GetValue(), 0.5);
  EXPECT_EQ(FirstDifference(out[0], RenderDsp(input, 44100.0, kSeed, 2, 0.0)[0]), -1);
  EXPECT_NE(FirstDifference(out[0], RenderDsp(input, 44100.0, kSeed, 2, 1.0)[0]), -1);

  char half[] = "0.5";
  Dispatch(e, effString2Parameter, kReact, 0, half);
  EXPECT_EQ(TolvaneOf(e).GetParam(kReact)->GetValue(), 0.5);
}

TEST_F(TolvaneTest, AProgramChunkRestoresAnotherInstanceExactly) {
  AEffect* a = Load();
  Dispatch(a, effOpen);
  a->setParameter(a, kWet, 0.3f);
  a->setParameter(a, kTame, 0.123f);
  a->setParameter(a, kBias, 0.9f);
  char gain[] = "12.345";
  Dispatch(a, effString2Parameter, kInputGain, 0, gain);
  void* data = nullptr;
  const VstIntPtr size = Dispatch(a, effGetChunk, 1, 0, &data);
  ASSERT_EQ(size, 8 + 7 * 8);
  const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

  AEffect* b = Load();
  Dispatch(b, effOpen);
  std::vector<uint8_t> copy = chunk;
  ASSERT_EQ(Dispatch(b, effSetChunk, 1, size, copy.data()), 1);
  for (int i = 0; i < kNumParams; ++i) {
    const double va = TolvaneOf(a).GetParam(i)->GetValue();
    const double vb = TolvaneOf(b).GetParam(i)->GetValue();
    EXPECT_EQ(std::memcmp(&va, &vb, sizeof va), 0) << i;
  }
  EXPECT_EQ(TolvaneOf(b).GetParam(kInputGain)->GetValue(), 12.345);
  void* dataB = nullptr;
  ASSERT_EQ(Dispatch(b, effGetChunk, 1, 0, &dataB), size);
  EXPECT_EQ(std::memcmp(dataB, chunk.data(), chunk.size()), 0);

  const std::vector<std::vector<double>> input = Material(2000);
  Prepare(a, 44100.f, kSeed);
  Prepare(b, 44100.f, kSeed);
  std::vector<double> outA(2000), outB(2000), scratchA(2000), scratchB(2000);
  const double* in[2] = {input[0].data(), input[1].data()};
  double* oa[2] = {outA.data(), scratchA.data()};
  double* ob[2] = {outB.data(), scratchB.data()};
  for (int offset = 0; offset < 2000; offset += 500) {
    const double* i2[2] = {in[0] + offset, in[1] + offset};
    double* a2[2] = {oa[0] + offset, oa[1] + offset};
    double* b2[2] = {ob[0] + offset, ob[1] + offset};
    a->processDoubleReplacing(a, const_cast<double**>(i2), a2, 500);
    b->processDoubleReplacing(b, const_cast<double**>(i2), b2, 500);
  }
  EXPECT_EQ(FirstDifference(outA, outB), -1);
}

TEST_F(TolvaneTest, BadRequestsLeaveTheEffectProcessingCorrectly) {
  AEffect* swept = Load();
  const float kNaNf = std::numeric_limits<float>::quiet_NaN();
  const float kInff = std::numeric_limits<float>::infinity();
  for (VstInt32 op = -2; op <= 100; ++op) {
    if (op == effClose) continue;
    const bool valueIsPointer = op == effSetSpeakerArrangement || op == effGetSpeakerArrangement;
    for (VstInt32 index : {-1, 0, 1, INT_MAX}) {
      for (VstIntPtr value : {VstIntPtr{0}, VstIntPtr{-1}, VstIntPtr{1} << 40}) {
        if (valueIsPointer && value != 0) continue;
        for (float opt : {0.f, kNaNf, kInff}) Dispatch(swept, op, index, value, nullptr, opt);
      }
    }
  }
  // The same parameters as a fresh instance, then both must render the same.
  AEffect* fresh = Load();
  void* data = nullptr;
  const VstIntPtr size = Dispatch(fresh, effGetChunk, 1, 0, &data);
  std::vector<uint8_t> state(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  ASSERT_EQ(Dispatch(swept, effSetChunk, 1, size, state.data()), 1);
  const std::vector<std::vector<double>> input = Material(PlanFrames());
  Prepare(swept, 44100.f, kSeed);
  Prepare(fresh, 44100.f, kSeed);
  const auto a = RenderEffect<float>(swept, input);
  const auto b = RenderEffect<float>(fresh, input);
  EXPECT_EQ(FirstDifference(a[0], b[0]), -1);
  EXPECT_EQ(FirstDifference(a[1], b[1]), -1);
}

}  // namespace
}  // namespace tolvane::test
