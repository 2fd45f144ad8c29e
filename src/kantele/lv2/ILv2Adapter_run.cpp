// The LV2 run call. Everything here runs on the host's audio thread: no allocation, no lock,
// no system call per sample.

#include <cmath>

#include "kantele/lv2/ILv2Adapter.h"

namespace kantele {

void ILv2Adapter::ReadControlPorts() {
  for (size_t i = 0; i < mControlPorts.size(); ++i) {
    const float* port = mControlPorts[i];
    if (!port) continue;
    const float value = *port;
    // Only a change is applied, so a restored state holds until the host moves a control.
    // NaN never compares equal: it is skipped here rather than taken as a change.
    if (std::isnan(value) || value == mSeenControl[i]) continue;
    mSeenControl[i] = value;
    const int idx = static_cast<int>(i);
    // The parameter model quantises and clamps: an infinite or out-of-range value ends
    // within the parameter's range, as a host's value does in every format.
    GetParam(idx)->SetValue(value);
    OnParamChange(idx, kSourceHost, 0);
  }
}

void ILv2Adapter::Run(uint32_t nFrames) {
  // A save holding the flag applies the ports itself; this run leaves them to it.
  if (!mReadingPorts.test_and_set(std::memory_order_acquire)) {
    ReadControlPorts();
    mReadingPorts.clear(std::memory_order_release);
  }
  MidiMsg msg;
  while (mMidiMsgsFromEditor.Pop(msg)) ProcessMidiMsg(msg);
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
