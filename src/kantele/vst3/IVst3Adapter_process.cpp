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
    const int32 points = queue->getPointCount();
    if (!IsValidParamId(id) || points <= 0) continue;
    // The effect reads each parameter once per block: the last point holds for the block,
    // whatever the order of the offsets before it.
    int32 offset = 0;
    ParamValue value = 0.0;
    if (queue->getPoint(points - 1, offset, value) != kResultOk || std::isnan(value)) continue;
    const int idx = static_cast<int>(id);
    const double normalized = std::clamp(value, 0.0, 1.0);
    GetParam(idx)->SetFromNormalized(normalized);
    QueueParamValueForEditor(idx, normalized, true);
    OnParamChange(idx, kSourceHost, std::max(offset, 0));
  }
}

void IVst3Adapter::ApplyProcessContext(const ProcessContext* c) {
  TimeInfo info;
  if (c) {
    const uint32 s = c->state;
    info.mSamplePos = static_cast<double>(c->projectTimeSamples);
    if ((s & kProjectTimeMusicValid) && c->projectTimeMusic >= 0.0) {
      info.mPPQPos = c->projectTimeMusic;
    }
    if ((s & kTempoValid) && c->tempo > 0.0) info.mTempo = c->tempo;
    if ((s & kBarPositionValid) && c->barPositionMusic >= 0.0) info.mLastBar = c->barPositionMusic;
    if ((s & kCycleValid) && c->cycleStartMusic >= 0.0 && c->cycleEndMusic >= 0.0) {
      info.mCycleStart = c->cycleStartMusic;
      info.mCycleEnd = c->cycleEndMusic;
    }
    if ((s & kTimeSigValid) && c->timeSigNumerator > 0 && c->timeSigDenominator > 0) {
      info.mNumerator = c->timeSigNumerator;
      info.mDenominator = c->timeSigDenominator;
    }
    info.mTransportIsRunning = (s & kPlaying) != 0;
    info.mTransportLoopEnabled = (s & kCycleActive) != 0;
  }
  SetTimeInfo(info);
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

  if (data.numSamples == 0) return kResultOk;
  if (data.numSamples < 0) return kInvalidArgument;
  const bool is64 = data.symbolicSampleSize == kSample64;
  if ((!is64 && data.symbolicSampleSize != kSample32) || data.numSamples > GetBlockSize()) {
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
