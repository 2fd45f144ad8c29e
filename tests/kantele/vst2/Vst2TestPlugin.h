#pragma once

// A configurable plug-in on the VST2 adapter for the adapter tests. The options (MIDI, MPE,
// chunks, type, presets, editor, channel layouts, latency, names) are read by the constructor
// from `Vst2TestPlugin::NextOptions()`, because the entry point constructs plug-ins from the
// host callback alone. Every operation the adapter calls on the plug-in is recorded; the ones
// the audio callbacks reach record into storage reserved at construction, so they allocate
// nothing under the allocation trap.
//
// Parameters:
//   0 "Gain"    double 0..200, default 50, step 0.01, "%"
//   1 "Mode"    enumeration 0..3, default 1, "mode", texts Off / Low / Mid / High
//   2 "Switch"  boolean 0..1, default 0
//   3 "Steps"   integer -5..5, default 0, "st", not automatable
//   4 "Toggle"  integer 0..1, default 0
//   5 "Amount"  double 0..1, default 0.25, step 0.001

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kantele/gfx/GraphicsTypes.h"
#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/IVst2Adapter.h"
#include "kantele/vst2/Vst2Entry.h"

namespace kantele::vst2test {

enum TestParams { kGain = 0, kMode, kSwitch, kSteps, kToggle, kAmount, kNumTestParams };

struct PlugOptions {
  bool mMidiIn = false;
  bool mMidiOut = false;
  bool mMpe = false;
  bool mChunks = false;
  int mPlugType = 0;
  int mPresets = 2;
  int32_t mVersion = 0x010203;
  bool mEditor = true;
  const char* mIO = "1-1 2-2";
  int mLatency = 0;
  const char* mPluginName = "Testplug";
  const char* mProductName = "Testplug Pro";
  const char* mMfrName = "Kantele Labs";
  /// Replaces the name of parameter 0 when set.
  const char* mGainName = nullptr;
  /// Replaces the unit label of parameter 5 when set.
  const char* mAmountLabel = nullptr;
  /// ProcessMidiMsg sends every message on to the host (the frame's default) as well.
  bool mMidiThru = false;
};

/// A fresh parameter of a chosen kind, to be configured next.
inline std::unique_ptr<IParam> KindParam(EParamKind kind) {
  auto param = std::make_unique<IParam>();
  param->SetKind(kind);
  return param;
}

struct KeyRecord {
  bool mDown = false;
  gfx::KeyPress mKey;
};

struct ParamChangeRecord {
  int mIdx = 0;
  int mSource = 0;
  double mValue = 0.0;
  bool operator==(const ParamChangeRecord& o) const {
    return mIdx == o.mIdx && mSource == o.mSource && mValue == o.mValue;
  }
};

struct SeqRecord {
  int mSeq = 0;
  int mKind = 0;  ///< what happened (see Vst2TestPlugin::EEvent)
  double mArg = 0.0;
};

struct BlockRecord {
  static constexpr int kMaxPtrs = 8;
  int mSeq = 0;
  int mFrames = 0;
  Sample* mIn[kMaxPtrs] = {};
  Sample* mOut[kMaxPtrs] = {};
  double mFirstIn[kMaxPtrs] = {};  ///< inputs[c][0] when nFrames > 0
  TimeInfo mTime;
  bool mOffline = false;
};

struct SysExRecordCopy {
  int mSeq = 0;
  int32_t mOffset = 0;
  int32_t mSize = 0;
  const uint8_t* mData = nullptr;
  uint8_t mHead[16] = {};
};

class Vst2TestPlugin : public IVst2Adapter {
 public:
  enum EEvent { kActivate, kDeactivate, kReset, kMidi, kBlock, kSendSysEx };

  static PlugOptions& NextOptions() {
    static PlugOptions sOptions;
    return sOptions;
  }
  static int& Destroyed() {
    static int sCount = 0;
    return sCount;
  }

  static Config MakeConfig(const PlugOptions& o) {
    Config c;
    c.mNParams = kNumTestParams;
    c.mNPresets = o.mPresets;
    c.mChannelIOStr = o.mIO;
    c.mPluginName = o.mPluginName;
    c.mProductName = o.mProductName;
    c.mMfrName = o.mMfrName;
    c.mVendorVersion = o.mVersion;
    c.mUniqueID = vst2::FourCC('T', 's', 't', 'P');
    c.mMfrID = vst2::FourCC('K', 'n', 't', 'L');
    c.mLatency = o.mLatency;
    c.mPlugDoesMidiIn = o.mMidiIn;
    c.mPlugDoesMidiOut = o.mMidiOut;
    c.mPlugDoesMPE = o.mMpe;
    c.mPlugDoesChunks = o.mChunks;
    c.mPlugType = o.mPlugType;
    c.mPlugHasUI = o.mEditor;
    c.mPlugWidth = 640;
    c.mPlugHeight = 480;
    c.mPlugMinWidth = 320;
    c.mPlugMaxWidth = 1280;
    c.mPlugMinHeight = 240;
    c.mPlugMaxHeight = 960;
    return c;
  }

  explicit Vst2TestPlugin(const InstanceInfo& info)
      : IVst2Adapter(info, MakeConfig(NextOptions())), mOptions(NextOptions()) {
    mParams[kMode] = KindParam(kKindEnum);
    mParams[kSwitch] = KindParam(kKindBool);
    mParams[kSteps] = KindParam(kKindInt);
    mParams[kToggle] = KindParam(kKindInt);
    GetParam(kGain)->ConfigureDouble(mOptions.mGainName ? mOptions.mGainName : "Gain", 50., 0.,
                                     200., 0.01, "%");
    GetParam(kMode)->ConfigureDouble("Mode", 1., 0., 3., 1., "mode");
    GetParam(kMode)->SetFlags(kFlagQuantized);
    GetParam(kMode)->AddDisplayText(0., "Off");
    GetParam(kMode)->AddDisplayText(1., "Low");
    GetParam(kMode)->AddDisplayText(2., "Mid");
    GetParam(kMode)->AddDisplayText(3., "High");
    GetParam(kSwitch)->ConfigureDouble("Switch", 0., 0., 1., 1.);
    GetParam(kSteps)->ConfigureDouble("Steps", 0., -5., 5., 1., "st");
    GetParam(kSteps)->SetFlags(kFlagNoAutomation | kFlagQuantized);
    GetParam(kToggle)->ConfigureDouble("Toggle", 0., 0., 1., 1.);
    GetParam(kAmount)->ConfigureDouble("Amount", 0.25, 0., 1., 0.001,
                                       mOptions.mAmountLabel ? mOptions.mAmountLabel : "");
    mMidi.reserve(256);
    mSysEx.reserve(64);
    mSeqLog.reserve(4096);
    mParamChanges.reserve(4096);
    mSentMidi.reserve(256);
  }

  ~Vst2TestPlugin() override { ++Destroyed(); }

  // ---- audio side (allocation-free while the reserved storage lasts)

  void ProcessBlock(Sample** inputs, Sample** outputs, int nFrames) override {
    BlockRecord& b = mLastBlock;
    b = BlockRecord{};
    b.mSeq = Log(kBlock, nFrames);
    b.mFrames = nFrames;
    const int nIn = std::min(MaxNChannels(kDirInput), BlockRecord::kMaxPtrs);
    const int nOut = std::min(MaxNChannels(kDirOutput), BlockRecord::kMaxPtrs);
    for (int c = 0; c < nIn; ++c) {
      b.mIn[c] = inputs[c];
      if (nFrames > 0) b.mFirstIn[c] = inputs[c][0];
    }
    for (int c = 0; c < nOut; ++c) b.mOut[c] = outputs[c];
    b.mTime = GetTimeInfo();
    b.mOffline = GetRenderingOffline();
    ++mBlocks;
    // Output c = input c times the gain, plus c times the offset; outputs without an input
    // carry only the offset.
    for (int c = 0; c < MaxNChannels(kDirOutput); ++c) {
      for (int i = 0; i < nFrames; ++i) {
        const double in = c < MaxNChannels(kDirInput) ? inputs[c][i] : 0.0;
        outputs[c][i] = in * mGain + c * mOffset;
      }
    }
  }

  void ProcessMidiMsg(const MidiMsg& msg) override {
    Log(kMidi, msg.mStatus);
    if (mMidi.size() < mMidi.capacity()) mMidi.push_back(msg);
    if (mOptions.mMidiThru) IVst2Adapter::ProcessMidiMsg(msg);
  }

  void ProcessSysEx(const SysExMsg& msg) override {
    SysExRecordCopy r;
    r.mSeq = NextSeq();
    r.mOffset = msg.mOffset;
    r.mSize = msg.mSize;
    r.mData = msg.mData;
    const int n = std::min(msg.mSize, 16);
    if (msg.mData && n > 0) std::memcpy(r.mHead, msg.mData, static_cast<size_t>(n));
    if (mSysEx.size() < mSysEx.capacity()) mSysEx.push_back(r);
  }

  bool SendMidiMsg(const MidiMsg& msg) override {
    const bool taken = IVst2Adapter::SendMidiMsg(msg);
    if (mSentMidi.size() < mSentMidi.capacity()) mSentMidi.push_back(taken);
    return taken;
  }

  bool SendSysEx(const SysExMsg& msg) override {
    Log(kSendSysEx, msg.mSize);
    mLastSysExSent = IVst2Adapter::SendSysEx(msg);
    return mLastSysExSent;
  }

  // ---- dispatcher side

  void OnActivate(bool active) override { Log(active ? kActivate : kDeactivate, 0); }
  void OnReset() override { Log(kReset, GetSampleRate()); }

  using IVst2Adapter::OnParamChange;
  void OnParamChange(int idx, EParamSource source, int offset) override {
    if (mParamChanges.size() < mParamChanges.capacity()) {
      mParamChanges.push_back({idx, source, GetParam(idx) ? GetParam(idx)->GetValue() : 0.0});
    }
    IVst2Adapter::OnParamChange(idx, source, offset);
  }

  void PushParamValueToEditor(int idx, double value, bool isNormalized) override {
    mEditorValues.push_back({idx, isNormalized ? 1 : 0, value});
  }
  void PushMidiToEditor(const MidiMsg& msg) override { mEditorMidi.push_back(msg); }

  vst2::VstIntPtr HandleCanDo(const char* text) override {
    mCanDoTexts.emplace_back(text);
    return mCanDoAnswer;
  }

  vst2::VstIntPtr HandleVendorSpecific(vst2::VstInt32 index, vst2::VstIntPtr value, void* ptr,
                                       float opt) override {
    mVendorCalls.push_back({index, value, ptr, opt});
    return mVendorAnswer;
  }

  bool GetMidiNoteName(int note, Text& name) const override {
    if (note == 60) {
      name.Set("Middle C");
      return true;
    }
    if (note == 61) {
      name.Set(LongKeyName().c_str());
      return true;
    }
    name.Clear();
    return false;
  }
  /// 1 + 33 * 3 = 100 bytes: "k" then 33 euro signs; cut to 63 bytes it keeps 20 of them.
  static std::string LongKeyName() {
    std::string s = "k";
    for (int i = 0; i < 33; ++i) s += "\xE2\x82\xAC";
    return s;
  }

  bool OnKeyDown(const gfx::KeyPress& key) override {
    mKeys.push_back({true, key});
    return mKeyHandled;
  }
  bool OnKeyUp(const gfx::KeyPress& key) override {
    mKeys.push_back({false, key});
    return mKeyHandled;
  }

  void OnHostIdentified() override { ++mHostIdentified; }
  void OnPresetsModified() override { ++mPresetsModified; }
  void OnStateRestored() override {
    ++mStateRestored;
    IVst2Adapter::OnStateRestored();
  }

  void* OpenWindow(void* parent) override {
    mOpenParents.push_back(parent);
    IVst2Adapter::OpenWindow(parent);
    return mWindow;
  }
  void CloseWindow() override {
    ++mCloseWindows;
    if (mReenterClose) {
      mReenterAnswer =
          GetAEffect().dispatcher(&GetAEffect(), vst2::effEditClose, 0, 0, nullptr, 0.f);
    }
    IVst2Adapter::CloseWindow();
  }

  /// One timer tick on the calling thread, as the plug-in's own timer delivers it.
  void Tick() { OnTimerTick(*GetTimer()); }

  /// Every parameter's real value.
  std::vector<double> Values() const {
    std::vector<double> v;
    for (int i = 0; i < NParams(); ++i) v.push_back(GetParam(i)->GetValue());
    return v;
  }

  /// The sequence numbers of the logged events of `kind`.
  std::vector<int> SeqOf(int kind) const {
    std::vector<int> out;
    for (const SeqRecord& r : mSeqLog) {
      if (r.mKind == kind) out.push_back(r.mSeq);
    }
    return out;
  }

  const PlugOptions mOptions;

  // Behaviour.
  double mGain = 1.0;
  double mOffset = 0.0;
  bool mKeyHandled = true;
  vst2::VstIntPtr mCanDoAnswer = 0;
  vst2::VstIntPtr mVendorAnswer = 0;
  void* mWindow = nullptr;
  bool mReenterClose = false;

  // Records.
  struct VendorCall {
    vst2::VstInt32 mIndex;
    vst2::VstIntPtr mValue;
    void* mPtr;
    float mOpt;
  };
  BlockRecord mLastBlock;
  int mBlocks = 0;
  std::vector<MidiMsg> mMidi;
  std::vector<SysExRecordCopy> mSysEx;
  std::vector<bool> mSentMidi;
  bool mLastSysExSent = false;
  std::vector<SeqRecord> mSeqLog;
  std::vector<ParamChangeRecord> mParamChanges;
  std::vector<ParamChangeRecord> mEditorValues;  ///< mSource: 1 normalised, 0 real
  std::vector<MidiMsg> mEditorMidi;
  std::vector<std::string> mCanDoTexts;
  std::vector<VendorCall> mVendorCalls;
  std::vector<KeyRecord> mKeys;
  std::vector<void*> mOpenParents;
  int mCloseWindows = 0;
  vst2::VstIntPtr mReenterAnswer = -1;
  int mHostIdentified = 0;
  int mPresetsModified = 0;
  int mStateRestored = 0;

 private:
  int Log(int kind, double arg) {
    const int seq = NextSeq();
    if (mSeqLog.size() < mSeqLog.capacity()) mSeqLog.push_back({seq, kind, arg});
    return seq;
  }
};

/// Builds a test plug-in through the entry point with `options`, hosted by `host`.
inline AEffect* LoadTestPlugin(HostStub& host, const PlugOptions& options = PlugOptions()) {
  Vst2TestPlugin::NextOptions() = options;
  return host.Adopt(Vst2PluginMain<Vst2TestPlugin>(HostStub::Callback));
}

inline Vst2TestPlugin& PlugOf(AEffect* effect) {
  return *static_cast<Vst2TestPlugin*>(IVst2Adapter::FromAEffect(effect));
}

inline VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

inline std::string Text(const char* buffer) { return buffer; }

/// The name effGetProgramNameIndexed writes for `index`; its answer goes to `answer`.
inline std::string ProgramName(AEffect* e, int index, VstIntPtr* answer = nullptr) {
  char name[vst2::kVstMaxProgNameLen] = "garbage";
  const VstIntPtr a = Dispatch(e, vst2::effGetProgramNameIndexed, index, 0, name);
  if (answer) *answer = a;
  return name;
}

/// A host stub and the plug-ins loaded into it; every plug-in still open at the end is closed
/// through its dispatcher, as a host does.
class Vst2Fixture : public ::testing::Test {
 protected:
  AEffect* Load(const PlugOptions& options = PlugOptions()) {
    AEffect* e = LoadTestPlugin(mHost, options);
    if (e) mLoaded.push_back(e);
    return e;
  }
  /// Closes `e` now (it must have come from Load).
  void Close(AEffect* e) {
    mLoaded.erase(std::remove(mLoaded.begin(), mLoaded.end(), e), mLoaded.end());
    Dispatch(e, vst2::effClose);
  }
  void TearDown() override {
    for (AEffect* e : mLoaded) Dispatch(e, vst2::effClose);
    mLoaded.clear();
    EXPECT_FALSE(mHost.Overflowed()) << "the host stub lost calls";
  }

  HostStub mHost;
  std::vector<AEffect*> mLoaded;
};

}  // namespace kantele::vst2test
