// Cost of the oversampler per host sample and channel: Up then Down of a two-channel block at
// each factor (Off copies), and each direction alone. The "ns/smp" counter is the time per
// host sample and channel, comparable with tolvane_dsp_bench's BM_ProcessBlock (the effect's
// own cost at the host rate: at 8x the chain should cost at most about one of those).

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "tolvane/Oversampler.h"

namespace {

constexpr int kChannels = 2;

enum Direction { kRoundTrip = 0, kUpOnly = 1, kDownOnly = 2 };

void BM_Oversampler(benchmark::State& state) {
  const int factorLog2 = static_cast<int>(state.range(0));
  const int block = static_cast<int>(state.range(1));
  const auto direction = static_cast<Direction>(state.range(2));

  tolvane::Oversampler os;
  os.Configure(factorLog2, kChannels, block);
  std::vector<double> in(static_cast<size_t>(block)), out(static_cast<size_t>(block));
  for (int i = 0; i < block; ++i) in[i] = 0.5 * std::sin(0.05 * i) + 0.1 * std::sin(1.3 * i);
  std::vector<double> high(static_cast<size_t>(block) << factorLog2);
  for (size_t i = 0; i < high.size(); ++i) high[i] = 0.5 * std::sin(0.01 * i);

  for (auto _ : state) {
    for (int c = 0; c < kChannels; ++c) {
      if (direction != kDownOnly) os.Up(in.data(), block, high.data(), c);
      if (direction != kUpOnly) os.Down(high.data(), block, out.data(), c);
    }
    benchmark::DoNotOptimize(high.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["ns/smp"] = benchmark::Counter(
      static_cast<double>(block) * kChannels,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_Oversampler)
    ->ArgNames({"log2factor", "block", "direction"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {64, 512}, {kRoundTrip, kUpOnly, kDownOnly}});

BENCHMARK_MAIN();
