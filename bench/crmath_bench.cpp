// Cost of the correctly rounded functions (src/tolvane/crmath) against the C library's, on
// the arguments the effect gives them. The "ns/value" counter is the time per value.
//
// Throughput: independent values over an array. Latency: each result feeds the next
// argument (y = f(in + y)), as in a saturator: one chain, and two chains side by side (the
// left and right channels), where Tanh2 takes both channels' step in one call.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "tolvane/crmath/CrMath.h"

namespace {

constexpr int kValues = 4096;

// kValues arguments uniform in [lo, hi] (a fixed linear congruential sequence).
std::vector<double> Inputs(double lo, double hi, uint32_t seed) {
  std::vector<double> v(kValues);
  uint32_t s = seed;
  for (double& x : v) {
    s = s * 1664525u + 1013904223u;
    x = lo + (hi - lo) * (static_cast<double>(s) / 4294967296.0);
  }
  return v;
}

void CountValues(benchmark::State& state, int perIteration) {
  state.counters["ns/value"] = benchmark::Counter(
      perIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The functions compared, as function objects: each benchmark's instance calls its own
// function directly (inlined where the compiler can), not through a pointer.
struct StdTanh {
  double operator()(double x) const { return std::tanh(x); }
};
struct Tanh {
  double operator()(double x) const { return tolvane::crmath::Tanh(x); }
};
struct StdPow4 {
  double operator()(double x) const { return std::pow(x, 4.0); }
};
struct Pow4 {
  double operator()(double x) const { return tolvane::crmath::PowInt(x, 4); }
};
struct StdPow11 {
  double operator()(double x) const { return std::pow(x, 11.0); }
};
struct Pow11 {
  double operator()(double x) const { return tolvane::crmath::PowInt(x, 11); }
};
struct StdPow3 {
  double operator()(double g) const { return std::pow(3.0, g); }
};
struct Pow3 {
  double operator()(double g) const { return tolvane::crmath::Pow3(g); }
};

// The variants built for the fused multiply-add (the same results).
struct TanhFused {
  double operator()(double x) const { return tolvane::crmath::detail::TanhFused(x); }
};
struct Pow4Fused {
  double operator()(double x) const { return tolvane::crmath::detail::PowIntFused(x, 4); }
};
struct Tanh2Fused {
  void operator()(double x0, double x1, double& y0, double& y1) const {
    tolvane::crmath::detail::Tanh2Fused(x0, x1, y0, y1);
  }
};
template <class F>
constexpr bool kNeedsFma =
    std::is_same_v<F, TanhFused> || std::is_same_v<F, Pow4Fused> || std::is_same_v<F, Tanh2Fused>;

// Skips a fused variant's benchmark on a processor without the instruction.
template <class F>
bool Runnable(benchmark::State& state) {
  if (kNeedsFma<F> && !tolvane::crmath::HasFusedMultiplyAdd()) {
    state.SkipWithError("no fused multiply-add on this processor");
    return false;
  }
  return true;
}

// Two values at once: each through a scalar function, or both through Tanh2.
template <class F>
struct Each {
  void operator()(double x0, double x1, double& y0, double& y1) const {
    y0 = F()(x0);
    y1 = F()(x1);
  }
};
struct Tanh2 {
  void operator()(double x0, double x1, double& y0, double& y1) const {
    tolvane::crmath::Tanh2(x0, x1, y0, y1);
  }
};

template <class F>
void BM_Throughput(benchmark::State& state, F f, double lo, double hi) {
  if (!Runnable<F>(state)) return;
  const std::vector<double> in = Inputs(lo, hi, 1);
  std::vector<double> out(kValues);
  for (auto _ : state) {
    for (int i = 0; i < kValues; ++i) out[i] = f(in[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  CountValues(state, kValues);
}

template <class F2>
void BM_ThroughputPairs(benchmark::State& state, F2 f2, double lo, double hi) {
  if (!Runnable<F2>(state)) return;
  const std::vector<double> in = Inputs(lo, hi, 1);
  std::vector<double> out(kValues);
  for (auto _ : state) {
    for (int i = 0; i < kValues; i += 2) f2(in[i], in[i + 1], out[i], out[i + 1]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  CountValues(state, kValues);
}

// Arguments in [-reach, reach]: the input's part within reach - 1, the result's within 1.
template <class F>
void BM_Chain(benchmark::State& state, F f, double reach) {
  if (!Runnable<F>(state)) return;
  const std::vector<double> in = Inputs(1 - reach, reach - 1, 2);
  double y = 0;
  for (auto _ : state) {
    for (int i = 0; i < kValues; ++i) y = f(in[i] + y);
    benchmark::DoNotOptimize(y);
  }
  CountValues(state, kValues);
}

template <class F2>
void BM_StereoChain(benchmark::State& state, F2 f2, double reach) {
  if (!Runnable<F2>(state)) return;
  const std::vector<double> left = Inputs(1 - reach, reach - 1, 2);
  const std::vector<double> right = Inputs(1 - reach, reach - 1, 3);
  double y0 = 0, y1 = 0;
  for (auto _ : state) {
    for (int i = 0; i < kValues; ++i) f2(left[i] + y0, right[i] + y1, y0, y1);
    benchmark::DoNotOptimize(y0);
    benchmark::DoNotOptimize(y1);
  }
  CountValues(state, 2 * kValues);
}

// tanh on the saturators' range [-3, 3] and on [-20, 20], past where it rounds to 1.
BENCHMARK_CAPTURE(BM_Throughput, std_tanh_3, StdTanh(), -3.0, 3.0);
BENCHMARK_CAPTURE(BM_Throughput, Tanh_3, Tanh(), -3.0, 3.0);
BENCHMARK_CAPTURE(BM_ThroughputPairs, Tanh2_3, Tanh2(), -3.0, 3.0);
BENCHMARK_CAPTURE(BM_Throughput, TanhFused_3, TanhFused(), -3.0, 3.0);
BENCHMARK_CAPTURE(BM_ThroughputPairs, Tanh2Fused_3, Tanh2Fused(), -3.0, 3.0);
BENCHMARK_CAPTURE(BM_Throughput, std_tanh_20, StdTanh(), -20.0, 20.0);
BENCHMARK_CAPTURE(BM_Throughput, Tanh_20, Tanh(), -20.0, 20.0);
BENCHMARK_CAPTURE(BM_ThroughputPairs, Tanh2_20, Tanh2(), -20.0, 20.0);

BENCHMARK_CAPTURE(BM_Chain, std_tanh_3, StdTanh(), 3.0);
BENCHMARK_CAPTURE(BM_Chain, Tanh_3, Tanh(), 3.0);
BENCHMARK_CAPTURE(BM_Chain, TanhFused_3, TanhFused(), 3.0);
BENCHMARK_CAPTURE(BM_Chain, std_tanh_20, StdTanh(), 20.0);
BENCHMARK_CAPTURE(BM_Chain, Tanh_20, Tanh(), 20.0);
BENCHMARK_CAPTURE(BM_StereoChain, std_tanh_3, Each<StdTanh>(), 3.0);
BENCHMARK_CAPTURE(BM_StereoChain, Tanh_3, Each<Tanh>(), 3.0);
BENCHMARK_CAPTURE(BM_StereoChain, Tanh2_3, Tanh2(), 3.0);
BENCHMARK_CAPTURE(BM_StereoChain, Tanh2Fused_3, Tanh2Fused(), 3.0);
BENCHMARK_CAPTURE(BM_StereoChain, std_tanh_20, Each<StdTanh>(), 20.0);
BENCHMARK_CAPTURE(BM_StereoChain, Tanh_20, Each<Tanh>(), 20.0);
BENCHMARK_CAPTURE(BM_StereoChain, Tanh2_20, Tanh2(), 20.0);

// x^4 on [0, 1], (1.5 t)^11 for t in [0, 1], 3^g on [0, 2]: the effect's arguments.
BENCHMARK_CAPTURE(BM_Throughput, std_pow_x4, StdPow4(), 0.0, 1.0);
BENCHMARK_CAPTURE(BM_Throughput, PowInt_x4, Pow4(), 0.0, 1.0);
BENCHMARK_CAPTURE(BM_Throughput, PowIntFused_x4, Pow4Fused(), 0.0, 1.0);
BENCHMARK_CAPTURE(BM_Throughput, std_pow_x11, StdPow11(), 0.0, 1.5);
BENCHMARK_CAPTURE(BM_Throughput, PowInt_x11, Pow11(), 0.0, 1.5);
BENCHMARK_CAPTURE(BM_Throughput, std_pow_3g, StdPow3(), 0.0, 2.0);
BENCHMARK_CAPTURE(BM_Throughput, Pow3_g, Pow3(), 0.0, 2.0);

}  // namespace

BENCHMARK_MAIN();
