// Smoothing: parameter changes reach the sound sample by sample. Measured on rendered sound
// (the steps at a bypass toggle and the hand-over to the bypass copy; a gain ramp's sideband is
// measured on the plug-in's renders, tests/render/RenderAutomation_test.cpp) and checked bit for
// bit where the result is exact: glides end on the static values, a timed change acts at its offset
// and not before, a restart takes the parameters as they are. That static parameters with smoothing
// on keep the literal algorithm's bits is checked in TolvaneDsp_test.cpp against the reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "support/AllocTrap.h"
#include "tolvane/TolvaneDsp.h"
#include "tolvane/crmath/CrMath.h"

namespace tolvane::test {
namespace {

constexpr double kRate = 48000;
constexpr double kTwoPi = 6.283185307179586;
constexpr uint32_t kKneeSeed = 4242;

using Signal = std::array<std::vector<double>, 2>;

// Two channels of `f(channel, time)`.
template <class F>
Signal MakeSignal(int frames, F f) {
  Signal s;
  for (int c = 0; c < 2; ++c) {
    s[c].resize(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) s[c][i] = f(c, i / kRate);
  }
  return s;
}

// A tone in both channels (the right one a little later in phase), phased so that no sample is
// zero (which would draw on the process-wide denormal sequence).
Signal Tone(double frequency, double amplitude, int frames) {
  return MakeSignal(frames, [&](int c, double t) {
    return amplitude * std::sin(kTwoPi * frequency * t + 0.1 + 0.3 * c);
  });
}

// Two partials over an offset: never near zero, so the process-wide denormal sequence is never
// drawn and two instances rendered in turn see the same values.
Signal Material(int frames) {
  return MakeSignal(frames, [](int c, double t) {
    return 0.45 + 0.3 * std::sin(kTwoPi * (220 + 30 * c) * t) +
           0.2 * std::sin(kTwoPi * 3100 * t + c);
  });
}

// Sets block `b` (starting at stream frame `offset`) up: its parameters, which persist from
// block to block, and its timed changes, which start empty.
using Plan =
    std::function<void(int b, int offset, DspParams& params, std::vector<DspChange>& changes)>;

Signal Render(TolvaneDsp& dsp, const Signal& in, int block, const Plan& plan = {},
              DspParams params = {}) {
  const int frames = static_cast<int>(in[0].size());
  Signal out = {std::vector<double>(in[0].size()), std::vector<double>(in[1].size())};
  std::vector<DspChange> changes;
  for (int b = 0, offset = 0; offset < frames; ++b, offset += block) {
    const int n = std::min(block, frames - offset);
    changes.clear();
    if (plan) plan(b, offset, params, changes);
    const double* inputs[2] = {in[0].data() + offset, in[1].data() + offset};
    double* outputs[2] = {out[0].data() + offset, out[1].data() + offset};
    dsp.ProcessBlock(inputs, outputs, n, params, kRate, 2, changes.data(),
                     static_cast<int>(changes.size()));
  }
  return out;
}

TolvaneDsp& Prepared(TolvaneDsp& dsp, bool smoothing) {
  dsp.Knee().UseSeed(kKneeSeed);
  dsp.OnReset(kRate);
  dsp.UseSmoothing(smoothing);
  return dsp;
}

// The first frame where two channels differ in their bits, or -1.
long FirstDifference(const std::vector<double>& a, const std::vector<double>& b, size_t from = 0) {
  for (size_t i = from; i < a.size() && i < b.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return static_cast<long>(i);
  }
  return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

// The largest step from one sample to the next within [from, to).
double LargestStep(const std::vector<double>& v, size_t from, size_t to) {
  double largest = 0;
  for (size_t i = std::max<size_t>(from, 1); i < to; ++i) {
    largest = std::max(largest, std::fabs(v[i] - v[i - 1]));
  }
  return largest;
}

// ---------------------------------------------------------------------------------------------
// Measured on the sound.

// Bypass switched on and off again on a steady tone: through each 20 ms crossfade every step
// from one sample to the next stays within the largest the tone itself takes, dry or
// processed, where the switch at one sample leaves a click. Once faded the input is copied.
// (Processing that resumes after a bypass restarts the output filters from where they stood, so
// the 20 Hz high-pass leaves a small decaying offset beyond the fade, as without smoothing.)
TEST(TolvaneDspSmoothing, ABypassToggleMakesNoStepLargerThanTheToneTakes) {
  constexpr int kBlock = 256;
  constexpr int kOn = 40 * kBlock, kOff = 80 * kBlock, kFrames = 120 * kBlock;
  constexpr int kFade = 960;  // kBypassFadeSeconds at 48 kHz
  const Signal in = Tone(1000, std::pow(10.0, -12.0 / 20), kFrames);
  const Plan toggle = [](int, int offset, DspParams& p, std::vector<DspChange>&) {
    p.bypass = offset >= kOn && offset < kOff ? 1 : 0;
  };
  TolvaneDsp steady(2);
  const Signal processed = Render(Prepared(steady, true), in, kBlock);
  constexpr int kSettled = 4800;  // the processing's start behind
  for (int c = 0; c < 2; ++c) {
    const double tone = std::max(LargestStep(in[c], kSettled, kFrames),
                                 LargestStep(processed[c], kSettled, kFrames));
    double jump[2];
    for (bool smoothing : {false, true}) {
      TolvaneDsp dsp(2);
      const Signal out = Render(Prepared(dsp, smoothing), in, kBlock, toggle);
      jump[smoothing] = std::max(LargestStep(out[c], kOn, kOn + kFade + 1),
                                 LargestStep(out[c], kOff, kOff + kFade + 1));
      if (!smoothing) continue;
      EXPECT_EQ(FirstDifference(out[c], processed[c]), kOn) << "the fade starts with Bypass";
      const auto copied = [&](int from, int to) {
        return std::equal(out[c].begin() + from, out[c].begin() + to, in[c].begin() + from);
      };
      EXPECT_TRUE(copied(kOn + kFade - 1, kOff)) << "after the fade the input is copied";
      EXPECT_FALSE(copied(kOn + kFade - 2, kOn + kFade - 1)) << "not sooner";
    }
    std::printf("channel %d: tone's largest step %.7f; at the toggles %.7f at once, %.7f faded\n",
                c, tone, jump[0], jump[1]);
    EXPECT_GT(jump[false], 1.5 * tone) << "the switch at one sample must show";
    EXPECT_LE(jump[true], tone);
  }
}

// ---------------------------------------------------------------------------------------------
// Exact where the result is exact.

struct ParamCase {
  const char* name;
  DspParam param;
  double from, to;
};

// The targets are values where the glide's step times its length, added to its start, misses
// the target by a rounding: only a glide that sets its end exactly ends on the static value.
const ParamCase kParamCases[] = {
    {"InputGain", DspParam::kInputGain, 32, 130},
    {"Wet", DspParam::kWet, 87, 33},
    {"Tame", DspParam::kTame, 0.5, 0.3},
    {"Bias", DspParam::kBias, 0.3, 0.8},
    {"OutputGain", DspParam::kOutputGain, 100, 33},
    {"Bypass", DspParam::kBypass, 1, 0},
};

void PrintTo(const ParamCase& c, std::ostream* os) { *os << c.name; }

class EveryGlidedParam : public ::testing::TestWithParam<ParamCase> {};

// One instance glides from `from` to `to`, the other holds `to` throughout. Once the glide
// has ended, a non-finite input clears both channels' state alike, and from then on both must
// give the same bits, also while a second parameter glides (so the blocks take the per-sample
// path, where the first parameter's glide end is what the samples read).
TEST_P(EveryGlidedParam, AGlideEndsExactlyOnTheStaticValue) {
  const ParamCase& pc = GetParam();
  constexpr int kBlock = 500;
  constexpr int kChange = 4, kClear = 12, kOther = 14, kBlocks = 20;
  const DspParam other = pc.param == DspParam::kOutputGain ? DspParam::kWet : DspParam::kOutputGain;
  Signal in = Material(kBlocks * kBlock);
  for (int c = 0; c < 2; ++c) in[c][kClear * kBlock + 7] = std::numeric_limits<double>::quiet_NaN();
  const auto plan = [&](bool glides) -> Plan {
    return [&, glides](int b, int, DspParams& p, std::vector<DspChange>&) {
      p.*kDspParamFields[static_cast<int>(pc.param)] = glides && b < kChange ? pc.from : pc.to;
      if (b >= kOther) p.*kDspParamFields[static_cast<int>(other)] = 60 - b;
    };
  };
  TolvaneDsp gliding(2), holding(2);
  const Signal a = Render(Prepared(gliding, true), in, kBlock, plan(true));
  const Signal b = Render(Prepared(holding, true), in, kBlock, plan(false));
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(FirstDifference(a[c], b[c], (kClear + 1) * kBlock), -1) << "channel " << c;
  }
}

// A timed change acts at its offset: the samples before it are those of a block without it
// (the parameter keeps its value until then although `params` holds the change's value), and
// the change shows at once (Bias only where the signal's slope meets its side, within a few
// samples).
TEST_P(EveryGlidedParam, ATimedChangeActsAtItsOffset) {
  const ParamCase& pc = GetParam();
  constexpr int kBlock = 512, kAt = 5 * kBlock + 300;
  const Signal in = Material(8 * kBlock);
  const Plan start = [&](int, int, DspParams& p, std::vector<DspChange>&) {
    p.*kDspParamFields[static_cast<int>(pc.param)] = pc.from;
  };
  const Plan change = [&](int b, int offset, DspParams& p, std::vector<DspChange>& changes) {
    start(b, offset, p, changes);
    if (b < kAt / kBlock) return;
    p.*kDspParamFields[static_cast<int>(pc.param)] = pc.to;
    if (b == kAt / kBlock) changes.push_back({kAt - offset, pc.param, pc.to});
  };
  TolvaneDsp without(2), with(2);
  const Signal a = Render(Prepared(without, true), in, kBlock, start);
  const Signal b = Render(Prepared(with, true), in, kBlock, change);
  for (int c = 0; c < 2; ++c) {
    const long first = FirstDifference(a[c], b[c]);
    EXPECT_GE(first, kAt) << "channel " << c;
    EXPECT_LT(first, kAt + (pc.param == DspParam::kBias ? 16 : 1)) << "channel " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(Params, EveryGlidedParam, ::testing::ValuesIn(kParamCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Timed changes that must sound the same, bit for bit: a change at offset 0 and a value
// changed between blocks; a change replaced by a later one at the same offset and the later
// one alone; a change past the block's end and the same change at the next block's start; a
// long list of React changes (which count per block) and none. Block 2 takes the changes and
// Output Gain, block 3 on holds Output Gain at 40.
TEST(TolvaneDspSmoothing, EquivalentWaysToDeliverAChangeSoundTheSame) {
  using Changes = std::vector<DspChange>;
  const DspChange to40 = {64, DspParam::kOutputGain, 40};
  const struct {
    const char* name;
    Changes a, b;
    double gainA, gainB;
  } cases[] = {
      {"AtZeroAndBetweenBlocks", {{0, DspParam::kOutputGain, 40}}, {}, 40, 40},
      {"ReplacedAtTheSameOffset", {{64, DspParam::kOutputGain, 150}, to40}, {to40}, 40, 40},
      {"PastTheEnd", {{600, DspParam::kOutputGain, 40}}, {}, 40, 100},
      {"ReactPerBlock", Changes(300, {5, DspParam::kReact, 0}), {}, 100, 100},
  };
  constexpr int kBlock = 512;
  const Signal in = Material(6 * kBlock);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const auto plan = [&](bool first) -> Plan {
      return [&, first](int b, int, DspParams& p, Changes& changes) {
        if (b == 2) changes = first ? k.a : k.b;
        if (b == 2) p.outputGain = first ? k.gainA : k.gainB;
        if (b == 3) p.outputGain = 40;
      };
    };
    TolvaneDsp a(2), b(2), unchanged(2);
    const Signal outA = Render(Prepared(a, true), in, kBlock, plan(true));
    const Signal outB = Render(Prepared(b, true), in, kBlock, plan(false));
    for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(outA[c], outB[c]), -1);
    EXPECT_NE(FirstDifference(outA[0], Render(Prepared(unchanged, true), in, kBlock)[0]), -1);
  }
}

// A glide ends at the parameter's next change when that comes sooner than the glide time: a
// second change to the same value then finds it there and the value stays, exactly.
TEST(TolvaneDspSmoothing, AGlideEndsAtTheParametersNextChange) {
  const Signal in = Material(600);
  TolvaneDsp dsp(2);
  Prepared(dsp, true);
  Render(dsp, in, 300, [](int b, int, DspParams& p, std::vector<DspChange>& changes) {
    if (b == 0) return;  // the first block takes the values as they are
    changes = {{0, DspParam::kInputGain, 150},
               {10, DspParam::kOutputGain, 50},
               {100, DspParam::kInputGain, 150},
               {200, DspParam::kOutputGain, 50}};
    p.inputGain = 150;
    p.outputGain = 50;
  });
  EXPECT_EQ(dsp.Glided().gain, 1.5);
  EXPECT_EQ(dsp.Glided().drive, crmath::Pow3(1.5));
  EXPECT_EQ(dsp.Glided().outputLevel, 0.5);
}

// Processing restarts after construction, OnReset and switching smoothing on: nothing to be
// continuous with, so the first block takes the parameters as they are, as without smoothing.
// Without a restart the same change glides.
TEST(TolvaneDspSmoothing, ARestartTakesTheParametersAsTheyAre) {
  constexpr int kBlock = 256, kChange = 6;
  const Signal in = Material(12 * kBlock);
  DspParams gains, bypass;
  gains.inputGain = 120;
  gains.wet = 50;
  gains.tame = 0.8;
  gains.bias = 0.7;
  gains.outputGain = 60;
  bypass.bypass = 1;
  enum Restart { kNone, kReset, kSwitchOn };
  const auto render = [&](const DspParams& changed, bool smoothing, Restart restart) {
    TolvaneDsp dsp(2);
    Prepared(dsp, smoothing && restart != kSwitchOn);
    return Render(dsp, in, kBlock, [&](int b, int, DspParams& p, std::vector<DspChange>&) {
      if (b != kChange) return;
      p = changed;
      if (restart == kReset) dsp.OnReset(kRate);
      if (restart == kSwitchOn) dsp.UseSmoothing(true);
    });
  };
  for (const DspParams* changed : {&gains, &bypass}) {
    const Signal literal = render(*changed, false, kNone);
    for (Restart restart : {kReset, kSwitchOn}) {
      const Signal out = render(*changed, true, restart);
      for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(out[c], literal[c]), -1) << restart;
    }
    EXPECT_EQ(FirstDifference(render(*changed, true, kNone)[0], literal[0]), kChange * kBlock);
  }
  // The first block after construction, with timed changes: the parameter starts at its first
  // change's value, not at the block's (its last change's), and glides from the second on.
  TolvaneDsp a(2), b(2);
  const Signal first =
      Render(Prepared(a, true), in, kBlock,
             [](int blk, int, DspParams& p, std::vector<DspChange>& changes) {
               p.outputGain = 50;
               if (blk == 0) {
                 changes = {{0, DspParam::kOutputGain, 70}, {100, DspParam::kOutputGain, 50}};
               }
             });
  DspParams seventy;
  seventy.outputGain = 70;
  const Signal plain = Render(Prepared(b, false), in, kBlock, {}, seventy);
  EXPECT_EQ(FirstDifference(first[1], plain[1]), 100);
}

// Every channel pair of a block runs the same glides: four channels, the second pair fed as
// the first, give the first pair's output while every gain glides and Bypass fades.
TEST(TolvaneDspSmoothing, EveryChannelPairGlidesAlike) {
  constexpr int kBlock = 128;
  const Signal in = Material(40 * kBlock);
  TolvaneDsp dsp(4);
  Prepared(dsp, true);
  std::array<std::vector<double>, 4> out;
  for (auto& o : out) o.resize(in[0].size());
  for (int b = 0; b < 40; ++b) {
    DspParams p;
    p.inputGain = 32 + 3 * b;
    p.wet = 87 - b;
    p.tame = 0.5 + 0.01 * b;
    p.bias = 0.5 - 0.01 * b;
    p.outputGain = 100 - b;
    p.bypass = b >= 20 && b < 24 ? 1 : 0;
    const DspChange changes[] = {{17, DspParam::kWet, 60.0 - b}, {90, DspParam::kWet, p.wet}};
    const size_t at = static_cast<size_t>(b) * kBlock;
    const double* inputs[4] = {&in[0][at], &in[1][at], &in[0][at], &in[1][at]};
    double* outputs[4] = {&out[0][at], &out[1][at], &out[2][at], &out[3][at]};
    dsp.ProcessBlock(inputs, outputs, kBlock, p, kRate, 4, changes, 2);
  }
  EXPECT_EQ(FirstDifference(out[0], out[2]), -1);
  EXPECT_EQ(FirstDifference(out[1], out[3]), -1);
}

// Gliding, fading and timed changes (a full list of them, too) allocate nothing.
TEST(TolvaneDspSmoothing, GlidingAllocatesNothing) {
  constexpr int kBlock = 256;
  const Signal in = Material(kBlock);
  Signal out = {std::vector<double>(kBlock), std::vector<double>(kBlock)};
  std::vector<DspChange> many;
  for (int i = 0; i < 1024; ++i) {
    many.push_back({i / 4, static_cast<DspParam>(i % kNumDspParams), double(i % 90)});
  }
  TolvaneDsp dsp(2);
  Prepared(dsp, true);
  const double* inputs[2] = {in[0].data(), in[1].data()};
  double* outputs[2] = {out[0].data(), out[1].data()};
  long allocations = 0;
  {
    kantele::test::ScopedAllocTrap trap;
    for (int b = 0; b < 40; ++b) {
      DspParams p;
      p.inputGain = 10 + 4 * b;
      p.wet = 100 - b;
      p.outputGain = 50 + b;
      p.bypass = b % 10 == 9 ? 1 : 0;
      const bool timed = b % 3 == 0;
      dsp.ProcessBlock(inputs, outputs, kBlock, p, kRate, 2, timed ? many.data() : nullptr,
                       timed ? static_cast<int>(many.size()) : 0);
    }
    allocations = trap.Allocations();
  }
  EXPECT_EQ(allocations, 0);
  for (int c = 0; c < 2; ++c) {
    for (double v : out[c]) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1);
  }
}

}  // namespace
}  // namespace tolvane::test
