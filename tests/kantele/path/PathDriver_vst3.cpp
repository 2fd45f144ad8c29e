// The host path as a VST 3 host drives it: setParamNormalized outside processing, and
// parameter queues with points at their offsets in the process call (the tests' VST 3 host).

#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/Vst3TestHost.h"
#include "path/PathDriver.h"

namespace kantele::test {
namespace {

using namespace vst3;

class Vst3PathDriver final : public PathDriver {
 public:
  explicit Vst3PathDriver(int block)
      : mHost(Vst3Factory::Get(PathPlugin::MakeConfig(), &Vst3CreatePlugin<PathPlugin>)) {
    mHost.Start(48000.0, block);
  }

  PathPlugin& Plugin() override {
    return static_cast<PathPlugin&>(*static_cast<IVst3Adapter*>(mHost.Component()));
  }
  bool SendsNormalized() const override { return true; }
  ETiming InBlockTiming() const override { return ETiming::kAtOffset; }
  bool EditorShares() const override { return true; }

  void SetOutsideBlock(int idx, double value) override {
    mHost.Controller()->setParamNormalized(static_cast<ParamID>(idx), value);
  }
  void ProcessWith(const std::vector<Timed>& values, int frames) override {
    ParameterChanges changes;
    for (const Timed& t : values) changes.Add(static_cast<ParamID>(t.mIdx), t.mOffset, t.mValue);
    Planar<float> in(2, frames), out(2, frames);
    mHost.Process(in, out, &changes);
  }

 private:
  Vst3Instance mHost;
};

}  // namespace

std::unique_ptr<PathDriver> PathDriver::Make(int block) {
  return std::make_unique<Vst3PathDriver>(block);
}

}  // namespace kantele::test
