#include "kantele/IApiBase.h"

#include <cstring>

namespace kantele {

namespace {

constexpr int kMaxIdentityTextLen = 128;

struct HostKey {
  const char* mKey;
  int mCode;
};

// Searched in this order: the first key found anywhere in the product text decides. Longer keys
// come before keys they contain ("wavelab elements" before "wavelab"), and the two very general
// keys come last.
constexpr HostKey kHostTable[] = {
    {"reaper", kHostReaper},
    {"protools", kHostProTools},
    {"cubase", kHostCubase},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"vegas", kHostVegas},
    {"fruity", kHostFL},
    {"samplitude", kHostSamplitude},
    {"live", kHostAbletonLive},
    {"tracktion", kHostTracktion},
    {"ntracks", kHostNTracks},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"bias", kHostBias},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"garageband", kHostGarageBand},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"ardour", kHostArdour},
    {"renoise", kHostRenoise},
    {"openmpt", kHostOpenMPT},
    {"wavelab elements", kHostWaveLabElements},
    {"wavelab", kHostWaveLab},
    {"twistedwave", kHostTwistedWave},
    {"bitwig studio", kHostBitwig},
    {"reason", kHostReason},
    {"gwvst", kHostGoldWave5x},
    {"waveform", kHostWaveform},
    {"audacity", kHostAudacity},
    {"acoustica", kHostAcoustica},
    {"plugindoctor", kHostPluginDoctor},
    {"izotope rx", kHostiZotopeRX},
    {"savihost", kHostSAVIHost},
    {"blue cat's vst host", kHostBlueCat},
    {"standalone", kHostStandalone},
    {"www", kHostWWW},
};

}  // namespace

IApiBase::IApiBase(const Config& config) : IStateBase(config) {
  mPluginName.Set(config.mPluginName, kMaxIdentityTextLen);
  mProductName.Set(config.mProductName, kMaxIdentityTextLen);
  mMfrName.Set(config.mMfrName, kMaxIdentityTextLen);
  mUniqueID = config.mUniqueID;
  mMfrID = config.mMfrID;
  mVersion = static_cast<uint32_t>(config.mVendorVersion);
  mHasUI = config.mPlugHasUI;
  mBundleID.Set(config.mBundleID);
  SetEditorSize(config.mPlugWidth, config.mPlugHeight);
  SetSizeConstraints(config.mPlugMinWidth, config.mPlugMaxWidth, config.mPlugMinHeight,
                     config.mPlugMaxHeight);
}

IApiBase::~IApiBase() {
  if (mTimer) mTimer->Cancel();
}

void IApiBase::OnHostIdentified() {}

bool IApiBase::GetMidiNoteName(int, Text& name) const {
  name.Clear();
  return false;
}

void IApiBase::OnIdleTick() {}

void IApiBase::QueueParamValueForEditor(int paramIdx, double value, bool isNormalized) {
  const IParam* param = GetParam(paramIdx);
  if (!param) return;  // the editor could do nothing with it
  if (isNormalized) value = param->ValueFromNormalized(value);
  ParamValueRecord record;
  record.mIdx = paramIdx;
  record.mValue = value;
  // The queue takes one producer at a time. A second producer arriving meanwhile (the host's
  // text-to-value request on its user-interface thread while its audio thread automates) must
  // not wait, so it leaves its record out and asks for a full resend instead; so does a push
  // that finds the queue full. Either way the editor ends up showing every current value.
  if (mParamQueueProducerBusy.exchange(true, std::memory_order_acquire)) {
    mParamResendPending.store(true, std::memory_order_release);
    return;
  }
  if (!mParamChangeFromProcessor.Push(record)) {
    mParamResendPending.store(true, std::memory_order_release);
  }
  mParamQueueProducerBusy.store(false, std::memory_order_release);
}

void IApiBase::HostSpecificSetup() {}
bool IApiBase::RequestHostEditorSize(int width, int height) {
  if (!HasUI() || (width == GetEditorWidth() && height == GetEditorHeight())) return false;
  SetEditorSize(width, height);
  return AskHostToResizeEditor(width, height);
}

bool IApiBase::AskHostToResizeEditor(int, int) { return false; }
bool IApiBase::NotifyHostBeginEdit(int) { return false; }
bool IApiBase::NotifyHostEndEdit(int) { return false; }
bool IApiBase::NotifyHostParamValue(int, double) { return false; }

void IApiBase::SendAllParamsToHost() {
  for (int i = 0; i < NParams(); ++i) NotifyHostParamValue(i, GetParam(i)->GetValueNormalized());
}

void IApiBase::BeginParamEditFromEditor(int paramIdx) { NotifyHostBeginEdit(paramIdx); }

void IApiBase::ParamValueFromEditor(int paramIdx, double normalized) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetFromNormalized(normalized);
  NotifyHostParamValue(paramIdx, normalized);
  OnParamChange(paramIdx, kSourceUI, -1);
  // Set again: the effect's reaction may have moved the value, and the editor must show the
  // value the user chose.
  param->SetFromNormalized(normalized);
  OnParamChangeInEditor(paramIdx, kSourceUI);
}

void IApiBase::EndParamEditFromEditor(int paramIdx) { NotifyHostEndEdit(paramIdx); }

bool IApiBase::ResizeFromEditor(int width, int height, bool needsHostResize) {
  if (needsHostResize) return RequestHostEditorSize(width, height);
  SetEditorSize(width, height);
  return true;
}

void IApiBase::MidiFromEditor(const MidiMsg& msg) { QueueMidiForProcessor(msg); }
void IApiBase::SysExFromEditor(const SysExMsg& msg) { QueueSysExForProcessor(msg); }

void IApiBase::QueueMidiForProcessor(const MidiMsg& msg) { mMidiMsgsFromEditor.Push(msg); }

void IApiBase::QueueSysExForProcessor(const SysExMsg& msg) {
  if (msg.mSize < 0 || msg.mSize > kMaxSysExRecordBytes) return;
  SysExRecord record;  // zero-initialised data
  record.mOffset = msg.mOffset;
  record.mSize = msg.mSize;
  if (msg.mData && msg.mSize > 0) {
    std::memcpy(record.mData, msg.mData, static_cast<size_t>(msg.mSize));
  }
  mSysExDataFromEditor.Push(record);
}

void IApiBase::OnTimerTick(Timer&) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (mHasUI) {
    ParamValueRecord p;
    while (mParamChangeFromProcessor.Pop(p)) PushParamValueToEditor(p.mIdx, p.mValue, false);
    // Values left out of the queue: the parameters themselves hold the latest ones.
    if (mParamResendPending.exchange(false, std::memory_order_acq_rel)) {
      for (int i = 0; i < NParams(); ++i) {
        PushParamValueToEditor(i, GetParam(i)->GetValue(), false);
      }
    }
    MidiMsg m;
    while (mMidiMsgsFromProcessor.Pop(m)) PushMidiToEditor(m);
    SysExRecord s;
    while (mSysExDataFromProcessor.Pop(s)) {
      SysExMsg msg;
      msg.mOffset = s.mOffset;
      msg.mSize = s.mSize;
      msg.mData = s.mData;
      PushSysExToEditor(msg);
    }
  }
  OnIdleTick();
}

void IApiBase::CreateTimer() {
  if (mTimer) mTimer->Cancel();
  mTimer = Timer::Launch([this](Timer& t) { OnTimerTick(t); }, kTimerPeriodMs);
}

int IApiBase::LookUpHost(const char* productText) {
  if (!productText) return kHostUnknown;
  char lower[256];
  size_t n = 0;
  for (; n < sizeof(lower) - 1 && productText[n] != '\0'; ++n) {
    lower[n] = ToLowerAscii(productText[n]);
  }
  lower[n] = '\0';
  for (const HostKey& entry : kHostTable) {
    if (std::strstr(lower, entry.mKey)) return entry.mCode;
  }
  return kHostUnknown;
}

int64_t IApiBase::OnVendorRequest(int32_t, int64_t, void*, double) { return 0; }

void IApiBase::SetHost(const char* productText, uint32_t version) {
  mHost = LookUpHost(productText);
  mHostVersion = version;
}

void IApiBase::FormatVersion(uint32_t version, Text& out) {
  out.SetFormatted(64, "v%d.%d.%d", static_cast<int>(version >> 16),
                   static_cast<int>((version >> 8) & 0xFF), static_cast<int>(version & 0xFF));
}

const char* IApiBase::GetAPIName(int apiCode) {
  static const char* const kNames[] = {"VST2", "VST3", "AU",  "AUv3", "AAX",
                                       "APP",  "WAM",  "WEB", "LV2"};
  constexpr int kCount = static_cast<int>(sizeof(kNames) / sizeof(kNames[0]));
  return (apiCode >= 0 && apiCode < kCount) ? kNames[apiCode] : "";
}

}  // namespace kantele
