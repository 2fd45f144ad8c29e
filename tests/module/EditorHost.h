#pragma once

// The host side the editor window tests share: a host callback that records the editor's
// requests (automation, editing gestures, window sizes) for the cases to look at.

#include <vector>

#include "kantele/vst2/Vst2Interface.h"

namespace kantele::test {

/// Tolvane's parameters that the editor tests turn, and Input Gain's normalised default.
constexpr int kInputGain = 0;
constexpr int kReact = 3;
constexpr int kBypass = 4;
constexpr float kInputGainDefault = 32.f / 200.f;

/// One request the plug-in made of the host.
struct HostRequest {
  vst2::VstInt32 mOpcode;
  vst2::VstInt32 mIndex;
  vst2::VstIntPtr mValue;
};

/// Answers interface version 2400 and records every other request. Like a host that resizes
/// its window itself, it answers 0 to audioMasterSizeWindow (the editor resizes its own window
/// only) and 1 to the rest. [main-thread] The tests process no audio: one thread records.
vst2::VstIntPtr KANTELE_VST_CALL RecordingHost(vst2::AEffect* effect, vst2::VstInt32 opcode,
                                               vst2::VstInt32 index, vst2::VstIntPtr value,
                                               void* ptr, float opt);

/// The requests recorded since the last `ClearHostRequests`.
const std::vector<HostRequest>& HostRequests();
void ClearHostRequests();

/// The gesture and automation requests for parameter `paramIdx`, in order.
std::vector<vst2::VstInt32> EditOpcodes(int paramIdx);

/// Whether the editor asked the host for a `w` x `h` window.
bool SizeRequested(int w, int h);

}  // namespace kantele::test
