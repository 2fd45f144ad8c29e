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

#include <type_traits>
#include <vector>

#include "AdapterTurns.h"
#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/hosting/HostObjects.h"
#include "tolvane/Tolvane.h"

namespace {

using namespace kantele::vst3;
using kantele::bench::AdapterShare;
using kantele::bench::Loop;
using kantele::bench::MakeSource;

constexpr int kChannels = kantele::bench::kBenchChannels;
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

/// The effect's ProcessBlock called directly on an instance of its own (DirectProcessBlock).
template <typename T>
class DirectBlock {
 public:
  DirectBlock(double rate, int block)
      : mPlug(rate, block, HostBlock<T>::kSize), mBlocks(mPlug.Effect(), block) {}
  void Run(int offset) { mBlocks.Run(offset); }

 private:
  Instance mPlug;
  kantele::bench::DirectProcessBlock<T, tolvane::Tolvane> mBlocks;
};

template <typename T>
void BM_Process(benchmark::State& state) {
  const int block = static_cast<int>(state.range(1));
  HostBlock<T> host(static_cast<double>(state.range(0)), block, false);
  Loop(state, host, block, kChannels);
}

template <typename T>
void BM_ProcessWithChanges(benchmark::State& state) {
  const int block = static_cast<int>(state.range(1));
  HostBlock<T> host(static_cast<double>(state.range(0)), block, true);
  Loop(state, host, block, kChannels);
}

template <typename T>
void BM_ProcessBlock(benchmark::State& state) {
  const int block = static_cast<int>(state.range(1));
  DirectBlock<T> direct(static_cast<double>(state.range(0)), block);
  Loop(state, direct, block, kChannels);
}

/// ProcessBlock and process (argument "changes": without or with change points) in turns.
template <typename T>
void BM_AdapterShare(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int block = static_cast<int>(state.range(1));
  DirectBlock<T> direct(rate, block);
  HostBlock<T> host(rate, block, state.range(2) != 0);
  AdapterShare(state, direct, host, block, kChannels, "process");
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
