// The VST 3 process call. Everything here runs on the host's audio thread: no allocation, no
// lock, no system call per sample.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kantele/vst3/IVst3Adapter.h"

namespace kantele {

using namespace vst3;

void IVst3Adapter::ApplyParameterChanges(IParameterChanges* changes) {
  if (!changes) return;
  const int32 count = changes->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    IParamValueQueue* queue = changes->getParameterData(i);
    if (!queue) continue;
    const ParamID id = queue->getParameterId();
    if (!IsValidParamId(id)) continue;
    // Every point at its own offset: the effect meets each where the host placed it, and the
    // parameter ends the block holding the last one.
    const int32 points = queue->getPointCount();
    for (int32 p = 0; p < points; ++p) {
      int32 offset = 0;
      ParamValue value = 0.0;
      if (queue->getPoint(p, offset, value) != kResultOk) continue;
      SetParamFromHost(static_cast<int>(id), value, EHostValue::kNormalized, std::max(offset, 0));
    }
  }
}

void IVst3Adapter::ApplyProcessContext(const ProcessContext* c) {
  if (!c) {
    SetTimeInfo(TimeInfo{});
    return;
  }
  const uint32 s = c->state;
  HostTransport t;
  t.mSamplePos = static_cast<double>(c->projectTimeSamples);
  t.mPPQPos = c->projectTimeMusic;
  t.mPPQPosValid = (s & kProjectTimeMusicValid) != 0;
  t.mTempo = c->tempo;
  t.mTempoValid = (s & kTempoValid) != 0;
  t.mLastBar = c->barPositionMusic;
  t.mLastBarValid = (s & kBarPositionValid) != 0;
  t.mCycleStart = c->cycleStartMusic;
  t.mCycleEnd = c->cycleEndMusic;
  t.mCycleValid = (s & kCycleValid) != 0;
  t.mNumerator = c->timeSigNumerator;
  t.mDenominator = c->timeSigDenominator;
  t.mTimeSigValid = (s & kTimeSigValid) != 0;
  t.mPlaying = (s & kPlaying) != 0;
  t.mCycleActive = (s & kCycleActive) != 0;
  SetTimeInfo(TimeInfoFromHost(t));
}

namespace {

/// Copies the first bus's channel pointers for the `connected` slots into `ptrs`; false when
/// the bus cannot feed them (no bus, no channel array, fewer channels, a null channel).
template <class T>
bool CollectChannels(const AudioBusBuffers* buses, int32 numBuses, T**(AudioBusBuffers::*field),
                     int connected, std::vector<T*>& ptrs) {
  if (connected == 0) return true;
  if (!buses || numBuses < 1) return false;
  T** channels = buses[0].*field;
  if (!channels || buses[0].numChannels < connected) return false;
  for (int i = 0; i < connected; ++i) {
    if (!channels[i]) return false;
    ptrs[static_cast<size_t>(i)] = channels[i];
  }
  return true;
}

}  // namespace

void IVst3Adapter::SilenceOutputs(const ProcessData& data) {
  if (!data.outputs || data.numSamples <= 0) return;
  for (int32 b = 0; b < data.numOutputs; ++b) {
    const AudioBusBuffers& bus = data.outputs[b];
    const size_t n = static_cast<size_t>(data.numSamples);
    for (int32 c = 0; c < bus.numChannels; ++c) {
      if (data.symbolicSampleSize == kSample64) {
        if (bus.channelBuffers64 && bus.channelBuffers64[c]) {
          std::memset(bus.channelBuffers64[c], 0, n * sizeof(Sample64));
        }
      } else if (bus.channelBuffers32 && bus.channelBuffers32[c]) {
        std::memset(bus.channelBuffers32[c], 0, n * sizeof(Sample32));
      }
    }
  }
}

bool IVst3Adapter::SendMidiMsg(const MidiMsg&) { return false; }

tresult IVst3Adapter::process(ProcessData& data) {
  ProcessData* volatile checked = &data;
  if (!checked) return kInvalidArgument;
  ApplyParameterChanges(data.inputParameterChanges);
  ApplyProcessContext(data.processContext);
  MidiMsg msg;
  while (mMidiMsgsFromEditor.Pop(msg)) ProcessMidiMsg(msg);

  // A call without samples only delivers parameter changes: their values are stored, and the
  // effect meets them at the next block's start.
  if (data.numSamples == 0) {
    DiscardBlockParamChanges();
    return kResultOk;
  }
  if (data.numSamples < 0) {
    DiscardBlockParamChanges();
    return kInvalidArgument;
  }
  // A block longer than announced is processed all the same, in pieces (the frame's rule).
  const bool is64 = data.symbolicSampleSize == kSample64;
  if (!is64 && data.symbolicSampleSize != kSample32) {
    DiscardBlockParamChanges();
    SilenceOutputs(data);
    return kInvalidArgument;
  }
  const int nIn = CountConnectedChannels(kDirInput);
  const int nOut = CountConnectedChannels(kDirOutput);
  const bool collected =
      is64 ? CollectChannels(data.inputs, data.numInputs, &AudioBusBuffers::channelBuffers64, nIn,
                             mInputs64) &&
                 CollectChannels(data.outputs, data.numOutputs, &AudioBusBuffers::channelBuffers64,
                                 nOut, mOutputs64)
           : CollectChannels(data.inputs, data.numInputs, &AudioBusBuffers::channelBuffers32, nIn,
                             mInputs32) &&
                 CollectChannels(data.outputs, data.numOutputs, &AudioBusBuffers::channelBuffers32,
                                 nOut, mOutputs32);
  if (!collected) {
    DiscardBlockParamChanges();
    SilenceOutputs(data);
    return kInvalidArgument;
  }
  const int n = data.numSamples;
  if (is64) {
    AttachDoubleBuffers(kDirInput, mInputs64.data(), n);
    AttachDoubleBuffers(kDirOutput, mOutputs64.data(), n);
    ProcessDoubleBuffers(n);
  } else {
    AttachFloatBuffers(kDirInput, mInputs32.data(), n);
    AttachFloatBuffers(kDirOutput, mOutputs32.data(), n);
    ProcessFloatBuffers(n);
  }
  if (data.outputs && data.numOutputs > 0) data.outputs[0].silenceFlags = 0;
  return kResultOk;
}

}  // namespace kantele
