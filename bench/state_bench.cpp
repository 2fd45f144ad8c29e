// Costs on the paths between the audio side, the host and the editor:
// - a parameter value queued for the editor from the audio thread (the push the host's
//   parameter callback makes) and drained by the timer's tick;
// - the program chunk a host asks for on every project save, and its restore.

#include <benchmark/benchmark.h>

#include "kantele/ByteChunk.h"
#include "kantele/IApiBase.h"

namespace {

kantele::Config SevenParams() {
  kantele::Config c;
  c.mNParams = 7;
  c.mNPresets = 1;
  c.mPlugHasUI = true;
  return c;
}

class Plugin : public kantele::IApiBase {
 public:
  Plugin() : IApiBase(SevenParams()) {
    for (int i = 0; i < NParams(); ++i) GetParam(i)->ConfigureDouble("P", 0.5, 0., 200., 0.01);
  }
  void PushParamValueToEditor(int idx, double value, bool) override {
    benchmark::DoNotOptimize(idx);
    benchmark::DoNotOptimize(value);
  }
};

// One queued value: push from the audio side, then a tick delivers it. Batches of 256 keep the
// queue from filling.
void BM_ParamValueToEditor(benchmark::State& state) {
  Plugin p;
  std::unique_ptr<kantele::Timer> timer = kantele::Timer::Launch([](kantele::Timer&) {}, 1 << 30);
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i) p.QueueParamValueForEditor(i % 7, 0.25, true);
    p.OnTimerTick(*timer);
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_ParamValueToEditor);

void BM_ProgramChunkSave(benchmark::State& state) {
  Plugin p;
  kantele::ByteChunk chunk(4096);
  for (auto _ : state) {
    chunk.InitWithVersionHeader();
    p.SerializeState(chunk);
    benchmark::DoNotOptimize(chunk.GetData());
  }
}
BENCHMARK(BM_ProgramChunkSave);

void BM_ProgramChunkRestore(benchmark::State& state) {
  Plugin p;
  kantele::ByteChunk chunk;
  chunk.InitWithVersionHeader();
  p.SerializeState(chunk);
  for (auto _ : state) benchmark::DoNotOptimize(p.UnserializeState(chunk, 8));
}
BENCHMARK(BM_ProgramChunkRestore);

}  // namespace

BENCHMARK_MAIN();
