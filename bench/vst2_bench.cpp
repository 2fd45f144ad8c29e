// Tolvane's processing as a host runs it: the effect built through the entry point and driven
// only through the effect record's audio callbacks (float and double), so the figures include
// the host's time request, the buffer conversions and the frame's routing on top of the
// signal processing. Compare with tolvane_dsp_bench's ProcessBlock; "ns/smp" is the time per
// sample and channel.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "BenchSource.h"
#include "kantele/vst2/Vst2Entry.h"
#include "tolvane/Tolvane.h"

namespace {

using namespace kantele::vst2;

using kantele::bench::kSourceFrames;
using kantele::bench::MakeSource;

constexpr int kChannels = 2;

VstTimeInfo sTime;

VstIntPtr KANTELE_VST_CALL Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&sTime);
    case audioMasterGetCurrentProcessLevel: return kVstProcessLevelRealtime;
    case audioMasterGetProductString: std::strcpy(static_cast<char*>(ptr), "bench"); return 1;
    default: return 0;
  }
}

template <typename T>
void BM_Callback(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int block = static_cast<int>(state.range(1));
  AEffect* e = kantele::Vst2PluginMain<tolvane::Tolvane>(Host);
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  e->dispatcher(e, effSetBlockSize, 0, block, nullptr, 0.f);
  e->dispatcher(e, effVendorSpecific, tolvane::kSeedRequest, 1, nullptr, 1.f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.f);
  std::memset(&sTime, 0, sizeof(sTime));
  sTime.sampleRate = rate;
  sTime.tempo = 120.0;
  sTime.flags = kVstTempoValid | kVstTransportPlaying;

  const std::vector<T> source[kChannels] = {MakeSource<T>(0), MakeSource<T>(1)};
  std::vector<T> out[kChannels];
  for (auto& o : out) o.resize(static_cast<size_t>(block));
  T* outputs[kChannels] = {out[0].data(), out[1].data()};
  T* inputs[kChannels];
  int offset = 0;
  for (auto _ : state) {
    if (offset + block > kSourceFrames) offset = 0;
    for (int c = 0; c < kChannels; ++c) inputs[c] = const_cast<T*>(source[c].data()) + offset;
    if constexpr (std::is_same_v<T, float>) {
      e->processReplacing(e, inputs, outputs, block);
    } else {
      e->processDoubleReplacing(e, inputs, outputs, block);
    }
    benchmark::DoNotOptimize(out[0].data());
    benchmark::ClobberMemory();
    offset += block;
    sTime.samplePos += block;
  }
  state.counters["ns/smp"] = benchmark::Counter(
      static_cast<double>(block) * kChannels,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Callback, float)
    ->Name("processReplacing")
    ->ArgNames({"rate", "block"})
    ->ArgsProduct({{44100, 96000}, {32, 512}});
BENCHMARK_TEMPLATE(BM_Callback, double)
    ->Name("processDoubleReplacing")
    ->ArgNames({"rate", "block"})
    ->ArgsProduct({{44100, 96000}, {32, 512}});

BENCHMARK_MAIN();
