// Tolvane's processing through the LV2 adapter, against the effect's ProcessBlock called
// directly, so the adapter's own cost shows: both on stereo instances made through the module's
// descriptor by the tests' LV2 host, set up alike (rate, block length option, seed, active),
// fed the signal the other formats' benchmarks feed.
//
// - run: the descriptor's run on float ports (control ports read, the frames converted to the
//   framework's samples and back);
// - ProcessBlock: the effect's ProcessBlock on double buffers holding the same samples widened,
//   as the adapter widens them;
// - share: ProcessBlock and run in turns, each call timed, giving the adapter's own cost as a
//   share of ProcessBlock's time with little sensitivity to the machine's load.
//
// "ns/smp" is the time per sample and channel.

#include <benchmark/benchmark.h>

#include <vector>

#include <lv2/buf-size/buf-size.h>

#include "AdapterTurns.h"
#include "kantele/lv2/Lv2Entry.h"
#include "kantele/lv2/Lv2TestHost.h"
#include "tolvane/Tolvane.h"

KANTELE_LV2_ENTRY(tolvane::Tolvane)

namespace {

using kantele::bench::AdapterShare;
using kantele::bench::Loop;
using kantele::bench::MakeSource;
using kantele::test::IntOption;
using kantele::test::Lv2Features;
using kantele::test::Lv2Instance;

constexpr int kChannels = kantele::bench::kBenchChannels;
constexpr double kRate = 44100.0;

/// One stereo instance with the block length option, seeded and activated.
struct Instance {
  explicit Instance(int block)
      : features(true, {IntOption(LV2_BUF_SIZE__maxBlockLength, block)}),
        plug(lv2_descriptor(0), kRate, features.List()) {
    plug.VendorRequest(tolvane::kSeedRequest, 1, 1.0);
  }
  Lv2Features features;
  Lv2Instance plug;
};

/// A host's side of the run call: the source read in blocks through the audio ports.
class HostBlock {
 public:
  explicit HostBlock(int block) : mPlug(block), mBlock(block) {
    for (int c = 0; c < kChannels; ++c) {
      mSource[c] = MakeSource<float>(c);
      mOut[c].resize(static_cast<size_t>(block));
      mPlug.plug.Connect(static_cast<uint32_t>(mPlug.plug.Adapter().FirstOutputPort() + c),
                         mOut[c].data());
    }
  }

  void Run(int offset) {
    const auto firstInput = static_cast<uint32_t>(mPlug.plug.Adapter().FirstInputPort());
    for (uint32_t c = 0; c < kChannels; ++c) {
      mPlug.plug.Connect(firstInput + c, mSource[c].data() + offset);
    }
    mPlug.plug.Run(static_cast<uint32_t>(mBlock));
    benchmark::DoNotOptimize(mOut[0].data());
    benchmark::ClobberMemory();
  }

 private:
  Instance mPlug;
  int mBlock;
  std::vector<float> mSource[kChannels];
  std::vector<float> mOut[kChannels];
};

/// The effect's ProcessBlock called directly on an instance of its own (DirectProcessBlock).
class DirectBlock {
 public:
  explicit DirectBlock(int block)
      : mPlug(block), mBlocks(static_cast<tolvane::Tolvane&>(mPlug.plug.Adapter()), block) {}
  void Run(int offset) { mBlocks.Run(offset); }

 private:
  Instance mPlug;
  kantele::bench::DirectProcessBlock<float, tolvane::Tolvane> mBlocks;
};

template <class Blocks>
void BM_Blocks(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  Blocks blocks(block);
  Loop(state, blocks, block, kChannels);
}

void BM_AdapterShare(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  DirectBlock direct(block);
  HostBlock host(block);
  AdapterShare(state, direct, host, block, kChannels, "run");
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Blocks, DirectBlock)
    ->Name("ProcessBlock<float>")
    ->ArgName("block")
    ->Arg(32)
    ->Arg(512);
BENCHMARK_TEMPLATE(BM_Blocks, HostBlock)->Name("run<float>")->ArgName("block")->Arg(32)->Arg(512);
BENCHMARK(BM_AdapterShare)->Name("share<float>")->ArgName("block")->Arg(32)->Arg(512);

BENCHMARK_MAIN();
