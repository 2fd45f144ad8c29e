// The host path as an LV2 host drives it: control ports read at the start of each run by the
// processing instance, and port events to the editor's object, which is an object of its own.

#include <lv2/buf-size/buf-size.h>

#include "kantele/lv2/Lv2Entry.h"
#include "path/PathDriver.h"

namespace kantele::test {
namespace {

class Lv2PathDriver final : public PathDriver {
 public:
  explicit Lv2PathDriver(int block)
      : mProcessor({InstanceInfo::kRoleProcessor, 2}), mEditor({InstanceInfo::kRoleEditor, 2}) {
    mProcessor.Instantiate(48000.0, nullptr);
    mProcessor.SetBlockSize(block);
    for (int i = 0; i < mProcessor.NParams(); ++i) {
      mControls[i] = static_cast<float>(mProcessor.GetParam(i)->GetValue());
      mProcessor.ConnectPort(static_cast<uint32_t>(i), &mControls[i]);
    }
    mProcessor.Activate();
  }

  PathPlugin& Plugin() override { return mLastTarget ? *mLastTarget : mProcessor; }
  bool SendsNormalized() const override { return false; }
  ETiming InBlockTiming() const override { return ETiming::kBlockStart; }
  // Values outside a block go to the editor's object (it shares itself); in a block, to the
  // processing instance (whose editor, if any, is elsewhere).
  bool EditorShares() const override { return mLastTarget == &mEditor; }

  void SetOutsideBlock(int idx, double value) override {
    mLastTarget = &mEditor;
    const float v = static_cast<float>(value);
    mEditor.PortEvent(static_cast<uint32_t>(idx), sizeof(v), 0, &v);
  }
  void ProcessWith(const std::vector<Timed>& values, int frames) override {
    mLastTarget = &mProcessor;
    // A control port holds one value for the whole run; an index without a port has none.
    for (const Timed& t : values) {
      if (t.mIdx >= 0 && t.mIdx < 7) mControls[t.mIdx] = static_cast<float>(t.mValue);
    }
    std::vector<float> in(static_cast<size_t>(frames)), out(in);
    const int first = mProcessor.FirstInputPort();
    for (int c = 0; c < 2; ++c) {
      mProcessor.ConnectPort(static_cast<uint32_t>(first + c), in.data());
      mProcessor.ConnectPort(static_cast<uint32_t>(first + 2 + c), out.data());
    }
    mProcessor.Run(static_cast<uint32_t>(frames));
  }

 private:
  PathPlugin mProcessor;
  PathPlugin mEditor;
  PathPlugin* mLastTarget = nullptr;
  float mControls[7] = {};
};

}  // namespace

std::unique_ptr<PathDriver> PathDriver::Make(int block) {
  return std::make_unique<Lv2PathDriver>(block);
}

}  // namespace kantele::test
