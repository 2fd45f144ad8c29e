#pragma once

#include <cstdint>
#include <vector>

#include "kantele/PluginAdapter.h"
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
/// processing; the framework does the rest. The same sources build on every format's adapter
/// (`kantele::IPluginAdapter`, chosen by the build target), and nothing here knows the format.
class Tolvane final : public kantele::IPluginAdapter {
 public:
  /// The configuration record the effect is built from.
  static kantele::Config MakeConfig();

  /// [main-thread] Allocates.
  explicit Tolvane(const kantele::InstanceInfo& info);
  ~Tolvane() override;

  /// [audio-thread] Processes the block with smoothing: the parameters' values at the block's
  /// start and the host's timed changes inside it (`GetBlockParamChanges`) reach the sound
  /// sample by sample (see TolvaneDsp). Never allocates or locks.
  void ProcessBlock(kantele::Sample** inputs, kantele::Sample** outputs, int nFrames) override;
  /// [main-thread] Takes the sample rate's filters; the next block takes the parameters
  /// as they are, without gliding.
  void OnReset() override;

  /// The seed request (`kSeedRequest`): a non-zero `opt` seeds the knee source with the low 32
  /// bits of `value`, zero returns it to the random device; answers 1. Every other tag is not
  /// Tolvane's and answers 0.
  int64_t OnVendorRequest(int32_t tag, int64_t value, void* data, double opt) override;

  /// The signal processing, for inspection.
  const TolvaneDsp& Dsp() const { return mDsp; }

 private:
  /// The channels the processing keeps state for: the connected outputs, at least 2.
  int DspChannelCount() const;

  TolvaneDsp mDsp;
  /// The block's timed changes in the signal processing's terms; sized once for the most a
  /// block carries.
  std::vector<DspChange> mDspChanges;
};

}  // namespace tolvane
