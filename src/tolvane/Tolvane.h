#pragma once

#include <cstdint>

#include "kantele/vst2/IVst2Adapter.h"
#include "tolvane/SeedRequest.h"
#include "tolvane/TolvaneDsp.h"

namespace tolvane {

/// The parameters, by index.
enum EParams : int32_t {
  kInputGain = 0,
  kWet,
  kTame,
  kReact,
  kBypass,
  kOutputGain,
  kBias,
  kNumParams
};

/// Tolvane: the effect. It configures its identity and seven parameters and owns the signal
/// processing; the framework does the rest.
class Tolvane final : public kantele::IVst2Adapter {
 public:
  /// The configuration record the effect is built from.
  static kantele::Config MakeConfig();

  /// [main-thread] Allocates.
  explicit Tolvane(const kantele::InstanceInfo& info);
  ~Tolvane() override;

  /// [audio-thread] Reads the parameters once and processes the block. Never allocates or locks.
  void ProcessBlock(kantele::Sample** inputs, kantele::Sample** outputs, int nFrames) override;
  /// [main-thread] Takes the sample rate's coefficient set.
  void OnReset() override;

  /// The seed request; every other request is not Tolvane's.
  kantele::vst2::VstIntPtr HandleVendorSpecific(kantele::vst2::VstInt32 index,
                                                kantele::vst2::VstIntPtr value, void* ptr,
                                                float opt) override;

  /// The signal processing, for inspection.
  const TolvaneDsp& Dsp() const { return mDsp; }

 private:
  /// The channels the processing keeps state for: the connected outputs, at least 2.
  int DspChannelCount() const;

  TolvaneDsp mDsp;
};

}  // namespace tolvane
