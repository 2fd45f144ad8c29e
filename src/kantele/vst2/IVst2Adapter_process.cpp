// The three audio callbacks and their shared block preparation. Everything here runs on the
// host's audio thread: no allocation, no lock, no system call per sample.

#include "kantele/vst2/IVst2Adapter.h"

namespace kantele {

using namespace vst2;

namespace {

/// The host's transport in the framework's terms.
HostTransport TransportOf(const VstTimeInfo& t) {
  HostTransport h;
  const VstInt32 flags = t.flags;
  h.mSamplePos = t.samplePos;
  h.mPPQPos = t.ppqPos;
  h.mPPQPosValid = (flags & kVstPpqPosValid) != 0;
  h.mTempo = t.tempo;
  h.mTempoValid = (flags & kVstTempoValid) != 0;
  h.mLastBar = t.barStartPos;
  h.mLastBarValid = (flags & kVstBarsValid) != 0;
  h.mCycleStart = t.cycleStartPos;
  h.mCycleEnd = t.cycleEndPos;
  h.mCycleValid = (flags & kVstCyclePosValid) != 0;
  h.mNumerator = t.timeSigNumerator;
  h.mDenominator = t.timeSigDenominator;
  h.mTimeSigValid = (flags & kVstTimeSigValid) != 0;
  h.mPlaying = (flags & kVstTransportPlaying) != 0;
  h.mCycleActive = (flags & kVstTransportCycleActive) != 0;
  return h;
}

}  // namespace

void IVst2Adapter::PrepareBlock() {
  if (DoesMidiIn()) CallHost(audioMasterWantMidi);
  constexpr VstIntPtr kWanted =
      kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  const VstIntPtr time = CallHost(audioMasterGetTime, 0, kWanted);
  const auto* hostTime = reinterpret_cast<const VstTimeInfo*>(time);
  const TimeInfo info = hostTime ? TimeInfoFromHost(TransportOf(*hostTime)) : TimeInfo{};
  SetRenderingOffline(CallHost(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline);
  SetTimeInfo(info);
  MidiMsg msg;
  while (mMidiMsgsFromEditor.Pop(msg)) ProcessMidiMsg(msg);
}

void IVst2Adapter::SendQueuedSysEx() {
  while (mSysExDataFromEditor.Pop(mSysexBuf)) {
    SysExMsg msg;
    msg.mOffset = mSysexBuf.mOffset;
    msg.mSize = mSysexBuf.mSize;
    msg.mData = mSysexBuf.mData;
    SendSysEx(msg);
  }
}

void IVst2Adapter::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                       VstInt32 nFrames) {
  IVst2Adapter* self = FromAEffect(effect);
  if (!self) return;
  self->AttachFloatBuffers(kDirInput, inputs, nFrames);
  self->AttachFloatBuffers(kDirOutput, outputs, nFrames);
  self->PrepareBlock();
  self->ProcessFloatBuffers(nFrames);
  self->SendQueuedSysEx();
}

void IVst2Adapter::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                             VstInt32 nFrames) {
  IVst2Adapter* self = FromAEffect(effect);
  if (!self) return;
  self->AttachDoubleBuffers(kDirInput, inputs, nFrames);
  self->AttachDoubleBuffers(kDirOutput, outputs, nFrames);
  self->PrepareBlock();
  self->ProcessDoubleBuffers(nFrames);
  self->SendQueuedSysEx();
}

void IVst2Adapter::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames) {
  IVst2Adapter* self = FromAEffect(effect);
  if (!self) return;
  self->AttachFloatBuffers(kDirInput, inputs, nFrames);
  self->AttachFloatBuffers(kDirOutput, outputs, nFrames);
  self->PrepareBlock();
  self->ProcessFloatBuffersAccumulating(nFrames);
  self->SendQueuedSysEx();
}

}  // namespace kantele
