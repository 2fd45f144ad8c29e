// The editor's drawing cost, on the windowless NanoVG context (Mesa's software renderer, so
// the figures are CPU time and an upper bound for any GPU):
//   - a full frame (every control) at draw scales 0.5 (the opening size), 1 and 2;
//   - one knob turned: the frame that follows, and the share of the window it repaints;
//   - an idle tick (nothing dirty), which must draw nothing.
// Each frame ends with glFinish, so the time includes the renderer's work.

#include <benchmark/benchmark.h>

#include <memory>

#include "kantele/gfx/Resources.h"
#include "kantele/gfx/platform/headless/IGfxHeadless.h"
#include "kantele/vst2/IVst2Adapter.h"
#include "kantele/vst2/Vst2Entry.h"
#include "tolvane/Tolvane.h"
#include "tolvane/TolvaneEditor.h"

namespace {

using namespace kantele::gfx;
using kantele::vst2::AEffect;

kantele::vst2::VstIntPtr Host(AEffect*, kantele::vst2::VstInt32, kantele::vst2::VstInt32,
                              kantele::vst2::VstIntPtr, void*, float) {
  return 0;
}

/// An effect and its editor drawn at `scale`, laid out by the effect's own layout.
struct Editor {
  explicit Editor(float scale) {
    effect = kantele::Vst2PluginMain<tolvane::Tolvane>(Host);
    plug = static_cast<tolvane::Tolvane*>(kantele::IVst2Adapter::FromAEffect(effect));
    g = std::make_unique<IGfxHeadless>(*plug, tolvane::kEditorWidth, tolvane::kEditorHeight,
                                       tolvane::kEditorFPS, scale);
    g->SetModuleHandle(GetResourceModule());
    opened = g->OpenWindow(nullptr) != nullptr && g->NControls() == 18;
    if (opened) g->DrawAll();
  }
  ~Editor() {
    g.reset();
    effect->dispatcher(effect, kantele::vst2::effClose, 0, 0, nullptr, 0.f);
  }
  AEffect* effect = nullptr;
  tolvane::Tolvane* plug = nullptr;
  std::unique_ptr<IGfxHeadless> g;
  bool opened = false;
};

void BM_FullFrame(benchmark::State& state) {
  const float scale = static_cast<float>(state.range(0)) / 100.f;
  Editor editor(scale);
  if (!editor.opened) {
    state.SkipWithError("no off-screen OpenGL context");
    return;
  }
  for (auto _ : state) editor.g->DrawAll();
  state.counters["pixels"] = editor.g->WindowWidth() * editor.g->WindowHeight();
}
BENCHMARK(BM_FullFrame)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

// The Input Gain face turned a little each frame: only its stack is drawn again.
void BM_OneKnobTurned(benchmark::State& state) {
  Editor editor(0.5f);
  if (!editor.opened) {
    state.SkipWithError("no off-screen OpenGL context");
    return;
  }
  IControl* face = editor.g->GetControl(10);
  double value = 0.0;
  double area = 0.0;
  for (auto _ : state) {
    value = value < 0.99 ? value + 0.01 : 0.0;
    face->SetValueFromUser(value);  // the shadow and the overlay follow through the parameter
    IRectList drawn;
    editor.g->Tick(&drawn);
    state.PauseTiming();
    // The repainted share: the pixel-aligned, merged areas the frame drew.
    const float s = editor.g->GetTotalScale();
    for (int i = 0; i < drawn.Size(); ++i) drawn.Get(i).PixelAlign(s);
    drawn.Optimize();
    area = 0.0;
    for (int i = 0; i < drawn.Size(); ++i) area += drawn.Get(i).W() * drawn.Get(i).H();
    state.ResumeTiming();
  }
  state.counters["repaint_fraction"] =
      area / (static_cast<double>(tolvane::kEditorWidth) * tolvane::kEditorHeight);
}
BENCHMARK(BM_OneKnobTurned)->Unit(benchmark::kMillisecond);

void BM_IdleTick(benchmark::State& state) {
  Editor editor(0.5f);
  if (!editor.opened) {
    state.SkipWithError("no off-screen OpenGL context");
    return;
  }
  const int before = editor.g->FrameCount();
  for (auto _ : state) benchmark::DoNotOptimize(editor.g->Tick());
  state.counters["frames_drawn"] = editor.g->FrameCount() - before;
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
