// The three audio callbacks and their shared block preparation. Everything here runs on the
// host's audio thread: no allocation, no lock, no system call per sample.

#include "kantele/vst2/IVst2Adapter.h"

namespace kantele {

using namespace vst2;

namespace {

/// The host's transport as the frame's time record, each field checked for validity; a field
/// the host marks invalid or gives out of range keeps its default.
TimeInfo TimeInfoFrom(const VstTimeInfo* t) {
  TimeInfo info;
  if (!t) return info;
  const VstInt32 flags = t->flags;
  info.mSamplePos = t->samplePos;
  if ((flags & kVstPpqPosValid) && t->ppqPos >= 0.0) info.mPPQPos = t->ppqPos;
  if ((flags & kVstTempoValid) && t->tempo > 0.0) info.mTempo = t->tempo;
  if ((flags & kVstBarsValid) && t->barStartPos >= 0.0) info.mLastBar = t->barStartPos;
  if ((flags & kVstCyclePosValid) && t->cycleStartPos >= 0.0 && t->cycleEndPos >= 0.0) {
    info.mCycleStart = t->cycleStartPos;
    info.mCycleEnd = t->cycleEndPos;
  }
  if ((flags & kVstTimeSigValid) && t->timeSigNumerator > 0 && t->timeSigDenominator > 0) {
    info.mNumerator = t->timeSigNumerator;
    info.mDenominator = t->timeSigDenominator;
  }
  info.mTransportIsRunning = (flags & kVstTransportPlaying) != 0;
  info.mTransportLoopEnabled = (flags & kVstTransportCycleActive) != 0;
  return info;
}

}  // namespace

void IVst2Adapter::PrepareBlock() {
  if (DoesMidiIn()) CallHost(audioMasterWantMidi);
  constexpr VstIntPtr kWanted =
      kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  const VstIntPtr time = CallHost(audioMasterGetTime, 0, kWanted);
  const TimeInfo info = TimeInfoFrom(reinterpret_cast<const VstTimeInfo*>(time));
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
