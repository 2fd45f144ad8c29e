// The effect record and its construction, the adapter's requests to the host and the parameter
// callbacks. The dispatcher is in IVst2Adapter_dispatch.cpp, the audio callbacks in
// IVst2Adapter_process.cpp.

#include "kantele/vst2/IVst2Adapter.h"

#include <algorithm>
#include <cstring>

namespace kantele {

using namespace vst2;

namespace {

VstInt32 ArrangementType(int nChannels) {
  switch (nChannels) {
    case 0: return kSpeakerArrEmpty;
    case 1: return kSpeakerArrMono;
    case 2: return kSpeakerArrStereo;
    default: return kSpeakerArrUserDefined;
  }
}

int16_t ClampToInt16(int v) { return static_cast<int16_t>(std::clamp(v, 0, INT16_MAX)); }

}  // namespace

IVst2Adapter::IVst2Adapter(const InstanceInfo& info, const Config& config) : IAdapterBase(config) {
  mState.Clear();
  mBankState.Clear();
  mHostCallback = info.mVSTHostCallback;
  mHasVSTExtensions = 0;

  std::memset(&mAEffect, 0, sizeof(mAEffect));
  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.numPrograms = config.mNPresets;
  mAEffect.numParams = config.mNParams;
  mAEffect.numInputs = MaxNChannels(kDirInput);
  mAEffect.numOutputs = MaxNChannels(kDirOutput);
  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (config.mPlugDoesChunks) mAEffect.flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) mAEffect.flags |= effFlagsCanMono;
  if (config.mPlugType == 1) mAEffect.flags |= effFlagsIsSynth;
  mAEffect.initialDelay = config.mLatency;
  mAEffect.ioRatio = 1.f;
  mAEffect.object = this;
  mAEffect.uniqueID = config.mUniqueID;
  mAEffect.version = PackedVersionToDecimal(static_cast<uint32_t>(config.mVendorVersion));
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;

  std::memset(&mEditRect, 0, sizeof(mEditRect));
  std::memset(&mInputSpkrArr, 0, sizeof(mInputSpkrArr));
  std::memset(&mOutputSpkrArr, 0, sizeof(mOutputSpkrArr));
  FillArrangements();

  ConnectChannels(kDirInput, 0, MaxNChannels(kDirInput), true);
  ConnectChannels(kDirOutput, 0, MaxNChannels(kDirOutput), true);
  SetBlockSize(512);

  if (config.mPlugHasUI) {
    mAEffect.flags |= effFlagsHasEditor;
    SetEditRect(GetEditorWidth(), GetEditorHeight());
  }

  CreateTimer();
}

// The record is part of this object: after effClose the host must not use it (the interface
// says so), and nothing here could make a later call through it safe.
IVst2Adapter::~IVst2Adapter() = default;

void IVst2Adapter::FillArrangements() {
  const int nIn = MaxNChannels(kDirInput);
  const int nOut = MaxNChannels(kDirOutput);
  mInputSpkrArr.type = ArrangementType(nIn);
  mInputSpkrArr.numChannels = nIn;
  mOutputSpkrArr.type = ArrangementType(nOut);
  mOutputSpkrArr.numChannels = nOut;
}

void IVst2Adapter::SetEditRect(int width, int height) {
  mEditRect.top = 0;
  mEditRect.left = 0;
  mEditRect.bottom = ClampToInt16(height);
  mEditRect.right = ClampToInt16(width);
}

int32_t IVst2Adapter::PackedVersionToDecimal(uint32_t v) {
  const int32_t major = static_cast<int32_t>(v >> 16);
  const int32_t minor = static_cast<int32_t>((v >> 8) & 0xFF);
  const int32_t patch = static_cast<int32_t>(v & 0xFF);
  return major * 10000 + minor * 100 + patch;
}

VstIntPtr IVst2Adapter::CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
  return mHostCallback ? mHostCallback(&mAEffect, opcode, index, value, ptr, opt) : 0;
}

// ---------------------------------------------------------------------------------------------
// Requests to the host

bool IVst2Adapter::NotifyHostParamValue(int paramIdx, double normalized) {
  return CallHost(audioMasterAutomate, paramIdx, 0, nullptr, static_cast<float>(normalized)) != 0;
}

bool IVst2Adapter::NotifyHostBeginEdit(int paramIdx) {
  return CallHost(audioMasterBeginEdit, paramIdx) != 0;
}

bool IVst2Adapter::NotifyHostEndEdit(int paramIdx) {
  return CallHost(audioMasterEndEdit, paramIdx) != 0;
}

void IVst2Adapter::NotifyHostDisplayChanged() { CallHost(audioMasterUpdateDisplay); }

bool IVst2Adapter::AskHostToResizeEditor(int width, int height) {
  SetEditRect(width, height);
  return CallHost(audioMasterSizeWindow, width, height) != 0;
}

void IVst2Adapter::SetLatency(int samples) {
  mAEffect.initialDelay = samples;
  IProcessor::SetLatency(samples);
  CallHost(audioMasterIOChanged);
}

bool IVst2Adapter::SendMidiMsg(const MidiMsg& msg) {
  VstMidiEvent event;
  std::memset(&event, 0, sizeof(event));
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = msg.mOffset;
  event.midiData[0] = static_cast<char>(msg.mStatus);
  event.midiData[1] = static_cast<char>(msg.mData1);
  event.midiData[2] = static_cast<char>(msg.mData2);
  VstEvents events;
  std::memset(&events, 0, sizeof(events));
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IVst2Adapter::SendSysEx(const SysExMsg& msg) {
  VstMidiSysexEvent event;
  std::memset(&event, 0, sizeof(event));
  event.type = kVstSysExType;
  event.byteSize = sizeof(VstMidiSysexEvent);
  event.deltaFrames = msg.mOffset;
  event.dumpBytes = msg.mSize;
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(msg.mData));
  VstEvents events;
  std::memset(&events, 0, sizeof(events));
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

void IVst2Adapter::HostSpecificSetup() {
  const int host = GetHost();
  if (host == kHostForte || host == kHostAudition || host == kHostOrion || host == kHostSAWStudio) {
    const int nIn = MaxNChannels(kDirInput);
    if (nIn > 2) ConnectChannels(kDirInput, 2, nIn - 2, false);
  }
  mAEffect.numInputs = mInputSpkrArr.numChannels = MaxNChannels(kDirInput);
  mAEffect.numOutputs = mOutputSpkrArr.numChannels = MaxNChannels(kDirOutput);
}

// ---------------------------------------------------------------------------------------------
// Parameter callbacks

float IVst2Adapter::VSTGetParameter(AEffect* effect, VstInt32 index) {
  IVst2Adapter* self = FromAEffect(effect);
  if (!self || !self->IsValidParamIdx(index)) return 0.f;
  return static_cast<float>(self->GetParam(index)->GetValueNormalized());
}

void IVst2Adapter::VSTSetParameter(AEffect* effect, VstInt32 index, float value) {
  IVst2Adapter* self = FromAEffect(effect);
  // Between blocks, as far as the plug-in can tell: the value holds from the next block on.
  if (self) self->SetParamFromHost(index, value, EHostValue::kNormalized, -1);
}

}  // namespace kantele
