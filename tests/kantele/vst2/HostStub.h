#pragma once

// An in-process VST 2.4 host for the adapter tests: a host callback that records every call the
// plug-in makes, with its arguments, and answers with values the test configures. The host finds
// itself through the effect record's `user` field, as real hosts do, so any number of plug-ins
// can share one host or have their own.
//
// Recording never allocates while the reserved capacity lasts (a test that records more calls
// than that loses the extra ones and sees `Overflowed()`), so calls made from the process
// callbacks can be recorded under the allocation trap.

#include <cstdint>
#include <string>
#include <vector>

#include "kantele/vst2/Vst2Interface.h"

namespace kantele::vst2test {

using vst2::AEffect;
using vst2::VstInt32;
using vst2::VstIntPtr;

/// A process-wide counter shared by the host stub and the test plug-ins, so a test can put
/// host calls and plug-in calls in one order.
int NextSeq();

/// The first event of an audioMasterProcessEvents call, copied while the call lasts.
struct EventCopy {
  static constexpr int kHeadBytes = 32;
  int32_t mNumEvents = 0;
  int32_t mType = 0;
  int32_t mByteSize = 0;
  int32_t mDeltaFrames = 0;
  uint8_t mMidi[4] = {};
  int32_t mDumpBytes = 0;
  const char* mSysExDump = nullptr;
  uint8_t mSysExHead[kHeadBytes] = {};  ///< the first bytes of the dump
};

/// One call to the host.
struct HostCall {
  int mSeq = 0;
  AEffect* mEffect = nullptr;
  VstInt32 mOpcode = 0;
  VstInt32 mIndex = 0;
  VstIntPtr mValue = 0;
  void* mPtr = nullptr;
  float mOpt = 0.f;
  EventCopy mEvent;  ///< for audioMasterProcessEvents
};

class HostStub {
 public:
  HostStub();
  HostStub(const HostStub&) = delete;
  HostStub& operator=(const HostStub&) = delete;

  /// The callback handed to the entry point.
  static VstIntPtr KANTELE_VST_CALL Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                             VstIntPtr value, void* ptr, float opt);

  /// Makes this stub the host of `effect` (through its `user` field); answers `effect`.
  AEffect* Adopt(AEffect* effect);

  // Answers. [test thread]
  std::string mProduct;                ///< audioMasterGetProductString ("" writes nothing)
  VstIntPtr mVendorVersion = 0;        ///< audioMasterGetVendorVersion
  vst2::VstTimeInfo* mTime = nullptr;  ///< audioMasterGetTime (null answers 0)
  VstIntPtr mProcessLevel = vst2::kVstProcessLevelRealtime;
  VstIntPtr mProcessEventsAnswer = 1;  ///< audioMasterProcessEvents
  VstIntPtr mSizeWindowAnswer = 1;     ///< audioMasterSizeWindow
  VstIntPtr mEditAnswer = 1;           ///< automate, begin and end edit

  /// Whether every product-string buffer the plug-in handed over was zeroed (64 bytes).
  bool mProductBufferZeroed = true;

  const std::vector<HostCall>& Calls() const { return mCalls; }
  /// The calls with `opcode`, in order.
  std::vector<HostCall> Named(VstInt32 opcode) const;
  int Count(VstInt32 opcode) const;
  /// The opcodes called, in order.
  std::vector<VstInt32> Opcodes() const;
  void Clear() { mCalls.clear(); }
  bool Overflowed() const { return mOverflow > 0; }

 private:
  VstIntPtr Answer(HostCall& call);

  std::vector<HostCall> mCalls;
  long mOverflow = 0;
};

}  // namespace kantele::vst2test
