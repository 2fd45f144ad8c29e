#include "EditorHost.h"

namespace kantele::test {

using namespace vst2;

namespace {

std::vector<HostRequest> sRequests;

}  // namespace

VstIntPtr KANTELE_VST_CALL RecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                         void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  sRequests.push_back(HostRequest{opcode, index, value});
  return opcode == audioMasterSizeWindow ? 0 : 1;
}

const std::vector<HostRequest>& HostRequests() { return sRequests; }

void ClearHostRequests() { sRequests.clear(); }

std::vector<VstInt32> EditOpcodes(int paramIdx) {
  std::vector<VstInt32> ops;
  for (const HostRequest& r : sRequests) {
    const bool edit = r.mOpcode == audioMasterBeginEdit || r.mOpcode == audioMasterAutomate ||
                      r.mOpcode == audioMasterEndEdit;
    if (edit && r.mIndex == paramIdx) ops.push_back(r.mOpcode);
  }
  return ops;
}

bool SizeRequested(int w, int h) {
  for (const HostRequest& r : sRequests) {
    if (r.mOpcode == audioMasterSizeWindow && r.mIndex == w && r.mValue == h) return true;
  }
  return false;
}

}  // namespace kantele::test
