// The LV2 run call. Everything here runs on the host's audio thread: no allocation, no lock,
// no system call per sample.

#include <cmath>

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
    const int idx = static_cast<int>(i);
    // The parameter model quantises and clamps: an infinite or out-of-range value ends
    // within the parameter's range, as a host's value does in every format.
    GetParam(idx)->SetValue(value);
    OnParamChange(idx, kSourceHost, 0);
  }
}

void ILv2Adapter::Run(uint32_t nFrames) {
  // No editor shares this object (LV2's editor is an object of its own), so nothing arrives
  // through the editor's queues: the control ports are all there is to read.
  ReadControlPorts();
  // Pieces no longer than the block size the frame was set up for; the effect reads its
  // parameters once per piece, and they cannot change within the run.
  const uint32_t block = static_cast<uint32_t>(GetBlockSize());
  for (uint32_t done = 0; done < nFrames && block > 0;) {
    const uint32_t n = nFrames - done < block ? nFrames - done : block;
    for (size_t c = 0; c < mInputPorts.size(); ++c) {
      mPieceInputs[c] = mInputPorts[c] ? const_cast<float*>(mInputPorts[c]) + done : nullptr;
      mPieceOutputs[c] = mOutputPorts[c] ? mOutputPorts[c] + done : nullptr;
    }
    AttachFloatBuffers(kDirInput, mPieceInputs.data(), static_cast<int>(n));
    AttachFloatBuffers(kDirOutput, mPieceOutputs.data(), static_cast<int>(n));
    ProcessFloatBuffers(static_cast<int>(n));
    done += n;
  }
}

}  // namespace kantele
