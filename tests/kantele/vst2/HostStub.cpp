#include "kantele/vst2/HostStub.h"

#include <algorithm>
#include <cstring>

namespace kantele::vst2test {

using namespace vst2;

namespace {

constexpr size_t kCallCapacity = 1 << 14;
int sSeq = 0;

void CopyFirstEvent(const VstEvents* events, EventCopy& copy) {
  if (!events) return;
  copy.mNumEvents = events->numEvents;
  if (events->numEvents < 1 || !events->events[0]) return;
  const VstEvent* e = events->events[0];
  copy.mType = e->type;
  copy.mByteSize = e->byteSize;
  copy.mDeltaFrames = e->deltaFrames;
  if (e->type == kVstMidiType) {
    std::memcpy(copy.mMidi, reinterpret_cast<const VstMidiEvent*>(e)->midiData, 4);
  } else if (e->type == kVstSysExType) {
    const VstMidiSysexEvent* s = reinterpret_cast<const VstMidiSysexEvent*>(e);
    copy.mDumpBytes = s->dumpBytes;
    copy.mSysExDump = s->sysexDump;
    const int n = std::clamp(s->dumpBytes, 0, EventCopy::kHeadBytes);
    if (s->sysexDump && n > 0) std::memcpy(copy.mSysExHead, s->sysexDump, static_cast<size_t>(n));
  }
}

}  // namespace

int NextSeq() { return ++sSeq; }

HostStub::HostStub() { mCalls.reserve(kCallCapacity); }

AEffect* HostStub::Adopt(AEffect* effect) {
  if (effect) effect->user = this;
  return effect;
}

VstIntPtr HostStub::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt) {
  HostStub* self = effect ? static_cast<HostStub*>(effect->user) : nullptr;
  if (!self) return 0;
  HostCall call;
  call.mSeq = NextSeq();
  call.mEffect = effect;
  call.mOpcode = opcode;
  call.mIndex = index;
  call.mValue = value;
  call.mPtr = ptr;
  call.mOpt = opt;
  if (opcode == audioMasterProcessEvents) CopyFirstEvent(static_cast<VstEvents*>(ptr), call.mEvent);
  const VstIntPtr answer = self->Answer(call);
  if (self->mCalls.size() < self->mCalls.capacity()) {
    self->mCalls.push_back(call);
  } else {
    ++self->mOverflow;
  }
  return answer;
}

VstIntPtr HostStub::Answer(HostCall& call) {
  switch (call.mOpcode) {
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit: return mEditAnswer;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(mTime);
    case audioMasterGetCurrentProcessLevel: return mProcessLevel;
    case audioMasterProcessEvents: return mProcessEventsAnswer;
    case audioMasterSizeWindow: return mSizeWindowAnswer;
    case audioMasterGetVendorVersion: return mVendorVersion;
    case audioMasterGetProductString: {
      char* buffer = static_cast<char*>(call.mPtr);
      if (!buffer) return 0;
      for (int i = 0; i < kVstMaxProductStrLen; ++i) {
        if (buffer[i] != 0) mProductBufferZeroed = false;
      }
      if (mProduct.empty()) return 0;
      const size_t n = std::min(mProduct.size(), size_t{kVstMaxProductStrLen - 1});
      std::memcpy(buffer, mProduct.data(), n);
      buffer[n] = '\0';
      return 1;
    }
    default: return 0;
  }
}

std::vector<HostCall> HostStub::Named(VstInt32 opcode) const {
  std::vector<HostCall> out;
  for (const HostCall& c : mCalls) {
    if (c.mOpcode == opcode) out.push_back(c);
  }
  return out;
}

int HostStub::Count(VstInt32 opcode) const {
  return static_cast<int>(std::count_if(
      mCalls.begin(), mCalls.end(), [opcode](const HostCall& c) { return c.mOpcode == opcode; }));
}

std::vector<VstInt32> HostStub::Opcodes() const {
  std::vector<VstInt32> out;
  for (const HostCall& c : mCalls) out.push_back(c.mOpcode);
  return out;
}

}  // namespace kantele::vst2test
