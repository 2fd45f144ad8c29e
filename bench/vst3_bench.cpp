// Tolvane's processing through the VST 3 adapter, against the effect's ProcessBlock called
// directly, so the adapter's own cost shows: both on instances made by the module's factory,
// set up alike (rate, block, seed, active), fed the signal tolvane_vst2_bench feeds.
//
// - process: IAudioProcessor::process with real ProcessData (one stereo bus each way, a
//   transport context, an empty set of parameter changes), float or double samples;
// - ProcessBlock: the effect's ProcessBlock on double buffers holding the same samples (for
//   float, the float signal widened, as the adapter widens it);
// - process with changes: as process, with 64 change points on each of the 7 parameters every
//   block (the last point of each queue the value the parameter already has, so the signal
//   processing does the same work as without changes);
// - share: ProcessBlock and process in turns, each call timed, giving the adapter's own cost
//   as a share of ProcessBlock's time with little sensitivity to the machine's load.
//
// "ns/smp" is the time per sample and channel.

#include <benchmark/benchmark.h>

#include <chrono>
#include <type_traits>
#include <vector>

#include "BenchSource.h"
#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/hosting/HostObjects.h"
#include "tolvane/Tolvane.h"

namespace {

using namespace kantele::vst3;
using kantele::bench::kSourceFrames;
using kantele::bench::MakeSource;

constexpr int kChannels = 2;
constexpr int kPointsPerQueue = 64;

/// One instance, made, initialised, set up and activated as a host does it.
class Instance {
 public:
  Instance(double rate, int block, int32 sampleSize) {
    IPluginFactory* factory = kantele::Vst3Factory::Get(
        tolvane::Tolvane::MakeConfig(), &kantele::Vst3CreatePlugin<tolvane::Tolvane>);
    PClassInfo info = {};
    factory->getClassInfo(0, &info);
    void* obj = nullptr;
    factory->createInstance(info.cid, IID_IComponent.data(), &obj);
    mComponent = Ref<IComponent>(static_cast<IComponent*>(obj));
    auto* host = new HostApplication("bench");
    mComponent->initialize(host);
    host->release();
    mProcessor = Ref<IAudioProcessor>::Query(mComponent.Get(), IID_IAudioProcessor);
    auto request = Ref<IVendorRequest>::Query(mComponent.Get(), IID_IVendorRequest);
    request->vendorRequest(tolvane::kSeedRequest, 1, nullptr, 1.0);
    ProcessSetup setup = {kRealtime, sampleSize, block, rate};
    mProcessor->setupProcessing(setup);
    mComponent->setActive(1);
    mProcessor->setProcessing(1);
  }
  ~Instance() {
    mProcessor->setProcessing(0);
    mComponent->setActive(0);
    mComponent->terminate();
  }

  IAudioProcessor* Processor() const { return mProcessor.Get(); }
  /// The effect behind the interfaces.
  tolvane::Tolvane& Effect() const {
    return static_cast<tolvane::Tolvane&>(*static_cast<kantele::IVst3Adapter*>(mComponent.Get()));
  }

 private:
  Ref<IComponent> mComponent;
  Ref<IAudioProcessor> mProcessor;
};

void ReportPerSample(benchmark::State& state, int block) {
  state.counters["ns/smp"] = benchmark::Counter(
      static_cast<double>(block) * kChannels,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

/// 64 points on each parameter, spread over the block, ending on the value it has.
void FillChanges(ParameterChanges& changes, IAudioProcessor* processor, int block) {
  auto controller = Ref<IEditController>::Query(processor, IID_IEditController);
  for (ParamID id = 0; id < static_cast<ParamID>(tolvane::kNumParams); ++id) {
    const double value = controller->getParamNormalized(id);
    for (int p = 0; p < kPointsPerQueue; ++p) {
      const double wobble = p + 1 == kPointsPerQueue ? 0.0 : 0.001 * (p % 3);
      changes.Add(id, p * block / kPointsPerQueue, value > 0.5 ? value - wobble : value + wobble);
    }
  }
}

/// A host's side of the process call: the source read in blocks, one stereo bus each way, a
/// running transport and the block's parameter changes (none, or 64 points a parameter).
template <typename T>
class HostBlock {
 public:
  static constexpr int32 kSize = std::is_same_v<T, float> ? kSample32 : kSample64;

  HostBlock(double rate, int block, bool withChanges)
      : mPlug(rate, block, kSize), mSource{MakeSource<T>(0), MakeSource<T>(1)} {
    if (withChanges) FillChanges(mChanges, mPlug.Processor(), block);
    for (auto& o : mOut) o.resize(static_cast<size_t>(block));
    for (int c = 0; c < kChannels; ++c) mOutputs[c] = mOut[c].data();
    mInBus.numChannels = mOutBus.numChannels = kChannels;
    if constexpr (std::is_same_v<T, float>) {
      mInBus.channelBuffers32 = mInputs;
      mOutBus.channelBuffers32 = mOutputs;
    } else {
      mInBus.channelBuffers64 = mInputs;
      mOutBus.channelBuffers64 = mOutputs;
    }
    mContext.state = kPlaying | kTempoValid;
    mContext.sampleRate = rate;
    mContext.tempo = 120.0;
    mData.processMode = kRealtime;
    mData.symbolicSampleSize = kSize;
    mData.numSamples = block;
    mData.numInputs = mData.numOutputs = 1;
    mData.inputs = &mInBus;
    mData.outputs = &mOutBus;
    mData.inputParameterChanges = &mChanges;
    mData.processContext = &mContext;
  }

  /// One process call on the frames from `offset`.
  void Run(int offset) {
    for (int c = 0; c < kChannels; ++c) mInputs[c] = mSource[c].data() + offset;
    mPlug.Processor()->process(mData);
    benchmark::DoNotOptimize(mOut[0].data());
    benchmark::ClobberMemory();
    mContext.projectTimeSamples += mData.numSamples;
  }

 private:
  Instance mPlug;
  ParameterChanges mChanges{tolvane::kNumParams};
  std::vector<T> mSource[kChannels];
  std::vector<T> mOut[kChannels];
  T* mInputs[kChannels] = {};
  T* mOutputs[kChannels] = {};
  AudioBusBuffers mInBus = {}, mOutBus = {};
  ProcessContext mContext = {};
  ProcessData mData = {};
};

/// The effect's ProcessBlock called directly, on double buffers holding the samples a
/// HostBlock<T> hands the adapter (for float, the float signal widened, as the adapter widens
/// it).
template <typename T>
class DirectBlock {
 public:
  DirectBlock(double rate, int block) : mPlug(rate, block, HostBlock<T>::kSize), mBlock(block) {
    for (int c = 0; c < kChannels; ++c) {
      const std::vector<T> s = MakeSource<T>(c);
      mSource[c].assign(s.begin(), s.end());
      mOut[c].resize(static_cast<size_t>(block));
      mOutputs[c] = mOut[c].data();
    }
  }

  void Run(int offset) {
    for (int c = 0; c < kChannels; ++c) mInputs[c] = mSource[c].data() + offset;
    mPlug.Effect().ProcessBlock(mInputs, mOutputs, mBlock);
    benchmark::DoNotOptimize(mOut[0].data());
    benchmark::ClobberMemory();
  }

 private:
  Instance mPlug;
  int mBlock;
  std::vector<double> mSource[kChannels];
  std::vector<double> mOut[kChannels];
  double* mInputs[kChannels] = {};
  double* mOutputs[kChannels] = {};
};

/// Runs `blocks` over the source, wrapping around, once per iteration.
template <class Blocks>
void Loop(benchmark::State& state, Blocks& blocks, int block) {
  int offset = 0;
  for (auto _ : state) {
    if (offset + block > kSourceFrames) offset = 0;
    blocks.Run(offset);
    offset += block;
  }
  ReportPerSample(state, block);
}

template <typename T>
void BM_Process(benchmark::State& state) {
  const int block = static_cast<int>(state.range(1));
  HostBlock<T> host(static_cast<double>(state.range(0)), block, false);
  Loop(state, host, block);
}

template <typename T>
void BM_ProcessWithChanges(benchmark::State& state) {
  const int block = static_cast<int>(state.range(1));
  HostBlock<T> host(static_cast<double>(state.range(0)), block, true);
  Loop(state, host, block);
}

template <typename T>
void BM_ProcessBlock(benchmark::State& state) {
  const int block = static_cast<int>(state.range(1));
  DirectBlock<T> direct(static_cast<double>(state.range(0)), block);
  Loop(state, direct, block);
}

/// ProcessBlock and process (argument "changes": without or with change points) in turns on
/// the same frames, each call timed, so a change in the machine's load falls on both alike:
/// "adapter%" is the adapter's own cost as a share of ProcessBlock's time, next to the two
/// times per sample and channel.
template <typename T>
void BM_AdapterShare(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const double rate = static_cast<double>(state.range(0));
  const int block = static_cast<int>(state.range(1));
  DirectBlock<T> direct(rate, block);
  HostBlock<T> host(rate, block, state.range(2) != 0);
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
  const double samples = static_cast<double>(state.iterations()) * block * kChannels;
  const double directNs = std::chrono::duration<double, std::nano>(directTime).count();
  const double hostNs = std::chrono::duration<double, std::nano>(hostTime).count();
  state.counters["ProcessBlock ns/smp"] = directNs / samples;
  state.counters["process ns/smp"] = hostNs / samples;
  state.counters["adapter%"] = 100.0 * (hostNs / directNs - 1.0);
}

}  // namespace

#define TOLVANE_VST3_BENCH(func, type, name) \
  BENCHMARK_TEMPLATE(func, type)             \
      ->Name(name)                           \
      ->ArgNames({"rate", "block"})          \
      ->ArgsProduct({{44100, 96000}, {32, 512}})

TOLVANE_VST3_BENCH(BM_ProcessBlock, float, "ProcessBlock<float>");
TOLVANE_VST3_BENCH(BM_Process, float, "process<float>");
TOLVANE_VST3_BENCH(BM_ProcessWithChanges, float, "process+changes<float>");
TOLVANE_VST3_BENCH(BM_ProcessBlock, double, "ProcessBlock<double>");
TOLVANE_VST3_BENCH(BM_Process, double, "process<double>");
TOLVANE_VST3_BENCH(BM_ProcessWithChanges, double, "process+changes<double>");
BENCHMARK_TEMPLATE(BM_AdapterShare, float)
    ->Name("share<float>")
    ->ArgNames({"rate", "block", "changes"})
    ->ArgsProduct({{44100}, {32, 512}, {0, 1}});
BENCHMARK_TEMPLATE(BM_AdapterShare, double)
    ->Name("share<double>")
    ->ArgNames({"rate", "block", "changes"})
    ->ArgsProduct({{44100}, {32, 512}, {0, 1}});

BENCHMARK_MAIN();
