// The LV2 run call. Everything here runs on the host's audio thread: no allocation, no lock,
// no system call per sample.

#include <cmath>
#include <cstdint>

#include "kantele/lv2/ILv2Adapter.h"

namespace kantele {

bool ILv2Adapter::PendingControl(size_t i, float& value) const {
  const float* port = mControlPorts[i];
  if (!port) return false;
  value = *port;
  // Only a change is applied, so a restored state holds until the host moves a control.
  // NaN never compares equal: it is skipped rather than taken as a change.
  return !std::isnan(value) && value != mSeenControl[i].load(std::memory_order_relaxed);
}

void ILv2Adapter::ReadControlPorts() {
  for (size_t i = 0; i < mControlPorts.size(); ++i) {
    float value;
    if (!PendingControl(i, value)) continue;
    mSeenControl[i].store(value, std::memory_order_relaxed);
    // Control ports hold for the whole run: the value takes effect at its first frame.
    SetParamFromHost(static_cast<int>(i), value, EHostValue::kReal, 0);
  }
}

void ILv2Adapter::Run(uint32_t nFrames) {
  // No editor shares this object (LV2's editor is an object of its own), so nothing arrives
  // through the editor's queues: the control ports are all there is to read.
  ReadControlPorts();
  if (nFrames == 0) {
    // Nothing to process: the values stay stored, and the next run starts with them.
    DiscardBlockParamChanges();
    return;
  }
  for (size_t c = 0; c < mInputPorts.size(); ++c) {
    mRunInputs[c] = const_cast<float*>(mInputPorts[c]);
    mRunOutputs[c] = mOutputPorts[c];
  }
  // The frame processes any length, in pieces no longer than the block size it was set up for.
  const int n = nFrames > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(nFrames);
  AttachFloatBuffers(kDirInput, mRunInputs.data(), n);
  AttachFloatBuffers(kDirOutput, mRunOutputs.data(), n);
  ProcessFloatBuffers(n);
}

}  // namespace kantele
