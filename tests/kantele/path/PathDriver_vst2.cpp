// The host path as a VST 2.4 host drives it: setParameter between blocks, and the
// replacing callback.

#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2Entry.h"
#include "path/PathDriver.h"

namespace kantele::test {
namespace {

using namespace vst2;

class Vst2PathDriver final : public PathDriver {
 public:
  explicit Vst2PathDriver(int block) {
    mEffect = mHost.Adopt(Vst2PluginMain<PathPlugin>(vst2test::HostStub::Callback));
    mEffect->dispatcher(mEffect, effOpen, 0, 0, nullptr, 0.f);
    mEffect->dispatcher(mEffect, effSetSampleRate, 0, 0, nullptr, 48000.f);
    mEffect->dispatcher(mEffect, effSetBlockSize, 0, block, nullptr, 0.f);
    mEffect->dispatcher(mEffect, effMainsChanged, 0, 1, nullptr, 0.f);
  }
  ~Vst2PathDriver() override { mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.f); }

  PathPlugin& Plugin() override {
    return static_cast<PathPlugin&>(*IVst2Adapter::FromAEffect(mEffect));
  }
  bool SendsNormalized() const override { return true; }
  ETiming InBlockTiming() const override { return ETiming::kBetweenBlocks; }
  bool EditorShares() const override { return true; }

  void SetOutsideBlock(int idx, double value) override {
    mEffect->setParameter(mEffect, idx, static_cast<float>(value));
  }
  void ProcessWith(const std::vector<Timed>& values, int frames) override {
    // A VST2 host has nothing finer than the block: its values come before it.
    for (const Timed& t : values) SetOutsideBlock(t.mIdx, t.mValue);
    std::vector<float> in(static_cast<size_t>(frames)), out(in);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {out.data(), out.data()};
    mEffect->processReplacing(mEffect, ins, outs, frames);
  }

 private:
  vst2test::HostStub mHost;
  AEffect* mEffect = nullptr;
};

}  // namespace

std::unique_ptr<PathDriver> PathDriver::Make(int block) {
  return std::make_unique<Vst2PathDriver>(block);
}

}  // namespace kantele::test
