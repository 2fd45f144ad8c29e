#pragma once

// A plug-in base configured like the effect (seven parameters, one preset, an editor), with
// every notification that leaves the base recorded, for the state and API tests.

#include <string>
#include <vector>

#include "kantele/IApiBase.h"

namespace kantele::test {

/// The effect's configuration record.
inline Config EffectLikeConfig() {
  Config c;
  c.mNParams = 7;
  c.mNPresets = 1;
  c.mChannelIOStr = "1-1 2-2";
  c.mPluginName = "Tolvane";
  c.mProductName = "Tolvane";
  c.mMfrName = "Quellmark";
  c.mVendorVersion = 0x00010000;
  c.mUniqueID = 0x6F667A6F;
  c.mMfrID = 0x514D4C4B;
  c.mPlugHasUI = true;
  c.mPlugWidth = 1630;
  c.mPlugHeight = 1010;
  c.mPlugMinWidth = 815;
  c.mPlugMaxWidth = 3260;
  c.mPlugMinHeight = 505;
  c.mPlugMaxHeight = 2020;
  c.mPlugHostResize = true;
  return c;
}

/// The seven parameters in the order the effect configures them.
inline void ConfigureEffectParams(IEditorDelegate& d) {
  d.GetParam(5)->ConfigureDouble("Output Gain", 100., 0., 200., 0.01, "%");
  d.GetParam(0)->ConfigureDouble("Input Gain", 32., 0., 200., 0.01, "%");
  d.GetParam(1)->ConfigureDouble("Wet", 87., 0., 100., 0.01, "%");
  d.GetParam(3)->ConfigureDouble("React", 1., 0., 1., 1.);
  d.GetParam(2)->ConfigureDouble("Tame", 0.5, 0., 1., 0.001);
  d.GetParam(6)->ConfigureDouble("Bias", 0.5, 0., 1., 0.001);
  d.GetParam(4)->ConfigureDouble("Bypass", 0., 0., 1., 1.);
}

/// One recorded call: its name and arguments.
struct Call {
  std::string mWhat;
  int mIdx = 0;
  int mSource = -1;
  double mValue = 0.0;
  bool operator==(const Call& o) const {
    return mWhat == o.mWhat && mIdx == o.mIdx && mSource == o.mSource && mValue == o.mValue;
  }
};

class TestPlugin : public IApiBase {
 public:
  explicit TestPlugin(const Config& config = EffectLikeConfig()) : IApiBase(config) {
    if (config.mNParams == 7) ConfigureEffectParams(*this);
  }

  using IEditorDelegate::OnParamChange;
  void OnParamChange(int idx) override { Record("OnParamChange1", idx); }
  void OnParamChange(int idx, EParamSource source, int offset) override {
    Record("OnParamChange", idx, source, GetParam(idx) ? GetParam(idx)->GetValue() : 0.0);
    IApiBase::OnParamChange(idx, source, offset);
  }
  void OnParamChangeInEditor(int idx, EParamSource source) override {
    Record("OnParamChangeInEditor", idx, source);
  }
  void PushParamValueToEditor(int idx, double value, bool isNormalized) override {
    Record(isNormalized ? "PushNormalized" : "PushReal", idx, -1, value);
  }
  void PushMidiToEditor(const MidiMsg& msg) override { mMidiToEditor.push_back(msg); }
  void PushSysExToEditor(const SysExMsg& msg) override {
    mSysExToEditor.emplace_back(msg.mData, msg.mData + msg.mSize);
  }
  void OnPresetsModified() override { Record("OnPresetsModified"); }
  void OnStateRestored() override {
    Record("OnStateRestored");
    IApiBase::OnStateRestored();
  }
  void OnIdleTick() override { Record("OnIdleTick"); }
  bool NotifyHostBeginEdit(int idx) override { return Record("BeginEdit", idx), true; }
  bool NotifyHostEndEdit(int idx) override { return Record("EndEdit", idx), true; }
  bool NotifyHostParamValue(int idx, double normalized) override {
    return Record("Automate", idx, -1, normalized), true;
  }
  bool AskHostToResizeEditor(int w, int h) override {
    Record("SizeWindow", w, -1, h);
    return mHostAcceptsSize;
  }

  /// Calls recorded under `what`, in order.
  std::vector<Call> CallsNamed(const std::string& what) const {
    std::vector<Call> out;
    for (const Call& c : mCalls) {
      if (c.mWhat == what) out.push_back(c);
    }
    return out;
  }

  std::vector<double> Values() const {
    std::vector<double> v;
    for (int i = 0; i < NParams(); ++i) v.push_back(GetParam(i)->GetValue());
    return v;
  }

  // The queue ends the host adapter and the audio callbacks use.
  SpscQueue<ParamValueRecord>& ParamQueue() { return mParamChangeFromProcessor; }
  SpscQueue<MidiMsg>& MidiFromEditorQueue() { return mMidiMsgsFromEditor; }
  SpscQueue<MidiMsg>& MidiToEditorQueue() { return mMidiMsgsFromProcessor; }
  SpscQueue<SysExRecord>& SysExFromEditorQueue() { return mSysExDataFromEditor; }
  SpscQueue<SysExRecord>& SysExToEditorQueue() { return mSysExDataFromProcessor; }

  std::vector<Call> mCalls;
  std::vector<MidiMsg> mMidiToEditor;
  std::vector<std::vector<uint8_t>> mSysExToEditor;
  bool mHostAcceptsSize = true;

 private:
  void Record(const char* what, int idx = 0, int source = -1, double value = 0.0) {
    mCalls.push_back(Call{what, idx, source, value});
  }
};

}  // namespace kantele::test
