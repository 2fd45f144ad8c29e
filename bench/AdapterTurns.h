#pragma once

// What the format adapters' benchmarks share: the effect's ProcessBlock called directly, a
// host's blocks and those run over the source (BenchSource.h) once per iteration, and the two
// timed in turns, so that the adapter's own cost shows as a share of ProcessBlock's time.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "BenchSource.h"

namespace kantele::bench {

/// The channels the benchmarks process.
constexpr int kBenchChannels = 2;

/// `effect`'s ProcessBlock called directly on double buffers holding the samples a host's
/// blocks hand the adapter: the source as `T` samples, widened as the adapters widen them.
template <typename T, class Effect>
class DirectProcessBlock {
 public:
  DirectProcessBlock(Effect& effect, int block) : mEffect(effect), mBlock(block) {
    for (int c = 0; c < kBenchChannels; ++c) {
      const std::vector<T> s = MakeSource<T>(c);
      mSource[c].assign(s.begin(), s.end());
      mOut[c].resize(static_cast<size_t>(block));
      mOutputs[c] = mOut[c].data();
    }
  }

  void Run(int offset) {
    for (int c = 0; c < kBenchChannels; ++c) mInputs[c] = mSource[c].data() + offset;
    mEffect.ProcessBlock(mInputs, mOutputs, mBlock);
    benchmark::DoNotOptimize(mOut[0].data());
    benchmark::ClobberMemory();
  }

 private:
  Effect& mEffect;
  int mBlock;
  std::vector<double> mSource[kBenchChannels];
  std::vector<double> mOut[kBenchChannels];
  double* mInputs[kBenchChannels] = {};
  double* mOutputs[kBenchChannels] = {};
};

/// "ns/smp": the time per sample and channel.
inline void ReportPerSample(benchmark::State& state, int block, int channels) {
  state.counters["ns/smp"] = benchmark::Counter(
      static_cast<double>(block) * channels,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

/// Runs `blocks` (anything with `Run(offset)`) over the source, wrapping around, once per
/// iteration.
template <class Blocks>
void Loop(benchmark::State& state, Blocks& blocks, int block, int channels) {
  int offset = 0;
  for (auto _ : state) {
    if (offset + block > kSourceFrames) offset = 0;
    blocks.Run(offset);
    offset += block;
  }
  ReportPerSample(state, block, channels);
}

/// `direct` (ProcessBlock) and `host` (the adapter's call, named `hostName`) in turns on the
/// same frames, each call timed, so a change in the machine's load falls on both alike:
/// "adapter%" is the adapter's own cost as a share of ProcessBlock's time, next to the two
/// times per sample and channel.
template <class Direct, class Host>
void AdapterShare(benchmark::State& state, Direct& direct, Host& host, int block, int channels,
                  const char* hostName) {
  using Clock = std::chrono::steady_clock;
  Clock::duration directTime{}, hostTime{};
  int offset = 0;
  for (auto _ : state) {
    if (offset + block > kSourceFrames) offset = 0;
    const auto t0 = Clock::now();
    direct.Run(offset);
    const auto t1 = Clock::now();
    host.Run(offset);
    const auto t2 = Clock::now();
    directTime += t1 - t0;
    hostTime += t2 - t1;
    offset += block;
  }
  const double samples = static_cast<double>(state.iterations()) * block * channels;
  const double directNs = std::chrono::duration<double, std::nano>(directTime).count();
  const double hostNs = std::chrono::duration<double, std::nano>(hostTime).count();
  state.counters["ProcessBlock ns/smp"] = directNs / samples;
  state.counters[std::string(hostName) + " ns/smp"] = hostNs / samples;
  state.counters["adapter%"] = 100.0 * (hostNs / directNs - 1.0);
}

}  // namespace kantele::bench
