// Cost of Tolvane's signal processing per sample and channel, against a floor:
// the C library's transcendental work per sample and channel alone (tanh and one pow), so
// ProcessBlock / floor shows how close the code is to its limit. The "ns/smp" counter is the time
// per sample and channel.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tolvane/TolvaneDsp.h"

namespace {

constexpr int kChannels = 2;
constexpr int kSourceFrames = 1 << 16;

// Musical test material: a chord of decaying partials with noise, about -10 dBFS.
std::vector<double> MakeSource(int channel) {
  std::vector<double> s(kSourceFrames);
  uint32_t noise = 12345u + static_cast<uint32_t>(channel);
  for (int i = 0; i < kSourceFrames; ++i) {
    const double t = i / 44100.0;
    const double env = std::exp(-3.0 * std::fmod(t, 0.5));
    noise = noise * 1664525u + 1013904223u;
    const double n = (static_cast<double>(noise) / 4294967296.0 - 0.5) * 0.02;
    s[i] = env * (0.2 * std::sin(2 * M_PI * 110.0 * t + channel) +
                  0.12 * std::sin(2 * M_PI * 164.8 * t) +
                  0.08 * std::sin(2 * M_PI * 220.0 * t * (1 + 0.001 * channel))) +
           n;
  }
  return s;
}

const std::vector<double>& Source(int channel) {
  static const std::vector<double> sources[kChannels] = {MakeSource(0), MakeSource(1)};
  return sources[channel];
}

// kSplit: the defaults with the correctly rounded functions' exact products split rather than
// fused (what a processor without the fused multiply-add runs). kGliding: smoothing on (as the
// effect runs) and Input Gain, Wet and Output Gain moved a little every block, so that all
// three glide through every block. kStepping: the same moves without smoothing, each block at
// its values (the per-block cost of the moves, 3^g among it, without the glides).
enum Variant { kDefault = 0, kReactOff = 1, kBypass = 2, kSplit = 3, kGliding = 4, kStepping = 5 };

void BM_ProcessBlock(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int block = static_cast<int>(state.range(1));
  const auto variant = static_cast<Variant>(state.range(2));

  tolvane::TolvaneDsp dsp(kChannels);
  dsp.Knee().UseSeed(1);
  dsp.OnReset(rate);
  tolvane::DspParams params;
  if (variant == kReactOff) params.react = 0;
  if (variant == kBypass) params.bypass = 1;
  if (variant == kSplit) dsp.UseFusedMultiplyAdd(false);
  if (variant == kGliding) dsp.UseSmoothing(true);
  const bool moving = variant == kGliding || variant == kStepping;

  std::vector<double> out[kChannels];
  for (auto& o : out) o.resize(static_cast<size_t>(block));
  double* outputs[kChannels] = {out[0].data(), out[1].data()};
  const double* inputs[kChannels];

  int offset = 0;
  int blocks = 0;
  for (auto _ : state) {
    if (offset + block > kSourceFrames) offset = 0;
    for (int c = 0; c < kChannels; ++c) inputs[c] = Source(c).data() + offset;
    if (moving) {
      const double move = ++blocks % 2 ? 0.5 : -0.5;
      params.inputGain = 32 + move;
      params.wet = 87 + move;
      params.outputGain = 100 + move;
    }
    dsp.ProcessBlock(inputs, outputs, block, params, rate, kChannels);
    benchmark::DoNotOptimize(out[0].data());
    benchmark::DoNotOptimize(out[1].data());
    benchmark::ClobberMemory();
    offset += block;
  }
  state.counters["ns/smp"] = benchmark::Counter(
      static_cast<double>(block) * kChannels,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// `tanh` chained tanh calls (each feeds the next, as in the saturators) and one
// pow(x, 4) per sample and channel, on arguments in the ranges the algorithm
// sees. Eleven is what the algorithm states; seven is what it needs, since four
// of the output saturator's tanh results are never used and are skipped.
void BM_TranscendentalFloor(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  const int tanhCalls = static_cast<int>(state.range(1));
  int offset = 0;
  double sink = 0.0;
  for (auto _ : state) {
    if (offset + block > kSourceFrames) offset = 0;
    for (int c = 0; c < kChannels; ++c) {
      const double* in = Source(c).data() + offset;
      for (int j = 0; j < block; ++j) {
        const double x = in[j] * 1.4;
        double v = x;
        for (int k = 0; k < tanhCalls; ++k) v = std::tanh(x - v * 0.5);
        v += std::pow(1 - 0.3 * std::fabs(x), 4.0);
        sink += v;
      }
    }
    benchmark::DoNotOptimize(sink);
    offset += block;
  }
  state.counters["ns/smp"] = benchmark::Counter(
      static_cast<double>(block) * kChannels,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ProcessBlock)
    ->ArgNames({"rate", "block", "variant"})
    ->ArgsProduct({{44100, 96000, 192000},
                   {32, 64, 512},
                   {kDefault, kReactOff, kBypass, kSplit, kGliding, kStepping}});
BENCHMARK(BM_TranscendentalFloor)->ArgNames({"block", "tanh"})->ArgsProduct({{32, 512}, {11, 7}});

BENCHMARK_MAIN();
