// The host path as a VST 3 host drives it: setParamNormalized outside processing, and
// parameter queues with points at their offsets in the process call.

#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/hosting/HostObjects.h"
#include "path/PathDriver.h"

namespace kantele::test {
namespace {

using namespace vst3;

class Vst3PathDriver final : public PathDriver {
 public:
  explicit Vst3PathDriver(int block) : mPlug(Vst3CreatePlugin<PathPlugin>()) {
    mPlug->initialize(nullptr);
    ProcessSetup setup = {kRealtime, kSample32, block, 48000.0};
    mPlug->setupProcessing(setup);
    mPlug->setActive(1);
    mPlug->setProcessing(1);
  }
  ~Vst3PathDriver() override {
    mPlug->setProcessing(0);
    mPlug->setActive(0);
    mPlug->terminate();
    mPlug->release();
  }

  PathPlugin& Plugin() override { return static_cast<PathPlugin&>(*mPlug); }
  bool SendsNormalized() const override { return true; }
  ETiming InBlockTiming() const override { return ETiming::kAtOffset; }
  bool EditorShares() const override { return true; }

  void SetOutsideBlock(int idx, double value) override {
    mPlug->setParamNormalized(static_cast<ParamID>(idx), value);
  }
  void ProcessWith(const std::vector<Timed>& values, int frames) override {
    ParameterChanges changes;
    for (const Timed& t : values) changes.Add(static_cast<ParamID>(t.mIdx), t.mOffset, t.mValue);
    std::vector<float> in(static_cast<size_t>(frames)), out(in);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {out.data(), out.data()};
    AudioBusBuffers inBus = {2, 0, {ins}};
    AudioBusBuffers outBus = {2, 0, {outs}};
    ProcessData data = {};
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = &changes;
    mPlug->process(data);
  }

 private:
  IVst3Adapter* mPlug;
};

}  // namespace

std::unique_ptr<PathDriver> PathDriver::Make(int block) {
  return std::make_unique<Vst3PathDriver>(block);
}

}  // namespace kantele::test
