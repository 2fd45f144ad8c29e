// The VST 3 audio path as a careless host drives it. The fuzzer's bytes are read as a sequence
// of calls on one Tolvane instance: setupProcessing with any rate, block size, sample size and
// mode; setBusArrangements with mono, stereo and arrangements it cannot take; setActive and
// setProcessing in any order; and process calls with float or double samples, any sample count
// (none, negative, beyond the block, which is processed in pieces), bus and channel arrays that are
// missing, short or hold null channels, in-place buffers, a process context with any fields, and
// parameter changes with ids in and out of range, up to 128 points a queue in any order and values
// that are NaN, infinite or outside 0..1.
//
// Every buffer is a heap block of exactly the size the call declares, so AddressSanitizer
// reports any access outside it. Properties checked after every call: nothing crashes; a
// process call is accepted exactly when it is well formed for the current set-up; an accepted
// call with samples leaves every output sample finite; a refused one leaves every output
// channel it was given silent; inputs that are not also outputs are never written; every
// normalised parameter value stays within 0..1. A last, well-formed block must still work.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "Vst3FuzzInstance.h"

namespace {

using namespace kantele::vst3;
using kantele::fuzz::Check;
using kantele::fuzz::Reader;
using kantele::fuzz::Vst3FuzzInstance;

constexpr int kMaxOps = 48;
/// The most frames a process call hands over (the block may be set up larger).
constexpr int32 kMaxFrames = 1025;
constexpr int kMaxBlockSize = 1 << 20;

/// What the host believes it set up, to know which calls are well formed.
struct HostView {
  int32 block = 512;
  int32 sampleSize = kSample32;
};

/// IParameterChanges that claims `extra` queues more than it holds (asked for them, it answers
/// null), around the host objects' changes.
class OverstatedChanges final : public IParameterChanges {
 public:
  OverstatedChanges(ParameterChanges& inner, int32 extra) : mInner(inner), mExtra(extra) {}
  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    return mInner.queryInterface(iid, obj);
  }
  uint32 KANTELE_VST3_CALL addRef() override { return 1; }
  uint32 KANTELE_VST3_CALL release() override { return 1; }
  int32 KANTELE_VST3_CALL getParameterCount() override {
    return mInner.getParameterCount() + mExtra;
  }
  IParamValueQueue* KANTELE_VST3_CALL getParameterData(int32 index) override {
    return mInner.getParameterData(index);
  }
  IParamValueQueue* KANTELE_VST3_CALL addParameterData(const ParamID& id, int32& index) override {
    return mInner.addParameterData(id, index);
  }

 private:
  ParameterChanges& mInner;
  int32 mExtra;
};

double PickRate(Reader& in) {
  const double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0, 8000.0, 1e-300, 1e300, 0.5};
  const uint8_t pick = in.Get<uint8_t>();
  return pick < 8 ? kRates[pick] : pick < 128 ? kRates[pick % 4] : in.Get<double>();
}

int32 PickBlock(Reader& in) {
  // Absurd sizes, and the largest the adapter takes (whose buffers are costly to make), each
  // stand for one pick value; ordinary sizes take the rest.
  const int32 kOrdinary[] = {32, 64, 512, 1, 1024, 0, -1};
  const int32 kAbsurd[] = {kMaxBlockSize, kMaxBlockSize + 1, std::numeric_limits<int32>::max(),
                           std::numeric_limits<int32>::min()};
  const uint8_t pick = in.Get<uint8_t>();
  if (pick < 200) return kOrdinary[pick % 7];
  if (pick < 204) return kAbsurd[pick - 200];
  return in.Get<int16_t>();
}

void SetupProcessing(Reader& in, const Vst3FuzzInstance& plug, HostView& host) {
  const uint8_t how = in.Get<uint8_t>();
  ProcessSetup setup = {};
  setup.processMode = (how & 3) == 3 ? 77 : how & 3;
  switch ((how >> 2) & 3) {
    case 0: setup.symbolicSampleSize = kSample32; break;
    case 1: setup.symbolicSampleSize = kSample64; break;
    case 2: setup.symbolicSampleSize = in.Get<int32>(); break;
    default: setup.symbolicSampleSize = -1; break;
  }
  setup.maxSamplesPerBlock = PickBlock(in);
  setup.sampleRate = PickRate(in);
  const bool valid =
      std::isfinite(setup.sampleRate) && setup.sampleRate > 0.0 && setup.maxSamplesPerBlock >= 1 &&
      setup.maxSamplesPerBlock <= kMaxBlockSize &&
      (setup.symbolicSampleSize == kSample32 || setup.symbolicSampleSize == kSample64);
  const tresult r = plug.Processor()->setupProcessing(setup);
  Check((r == kResultOk) == valid);
  if (r == kResultOk) {
    host.block = setup.maxSamplesPerBlock;
    host.sampleSize = setup.symbolicSampleSize;
  }
}

void SetBusArrangements(Reader& in, const Vst3FuzzInstance& plug) {
  const uint8_t how = in.Get<uint8_t>();
  const SpeakerArrangement k51 = 0x3F;
  SpeakerArrangement ins[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
  SpeakerArrangement outs[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
  switch (how % 6) {
    case 0: ins[0] = outs[0] = SpeakerArr::kMono; break;
    case 1: break;
    case 2: ins[0] = SpeakerArr::kMono; break;
    case 3: ins[0] = outs[0] = k51; break;
    case 4: ins[0] = outs[0] = SpeakerArr::kEmpty; break;
    default: ins[0] = outs[0] = in.Get<SpeakerArrangement>(); break;
  }
  const int32 kCounts[] = {1, 1, 0, 2, -1, 1};
  const int32 numIns = kCounts[(how >> 3) % 6];
  const int32 numOuts = (how & 0x40) ? kCounts[(how >> 3) % 6] : 1;
  const bool nulls = (how & 0x80) != 0 && (how & 1) != 0;
  plug.Processor()->setBusArrangements(nulls ? nullptr : ins, numIns, nulls ? nullptr : outs,
                                       numOuts);
  SpeakerArrangement in0 = 0, out0 = 0;
  Check(plug.Processor()->getBusArrangement(kInput, 0, in0) == kResultOk);
  Check(plug.Processor()->getBusArrangement(kOutput, 0, out0) == kResultOk);
  Check(in0 == out0 && (in0 == SpeakerArr::kMono || in0 == SpeakerArr::kStereo));
}

/// One direction's buses as the host lays them out, every array exactly as long as declared.
template <typename T>
struct Side {
  int32 numBuses = 0;
  bool nullArray = false;
  std::unique_ptr<AudioBusBuffers[]> buses;
  std::vector<std::unique_ptr<T*[]>> channelArrays;
  std::vector<std::unique_ptr<T[]>> samples;  ///< this side's own buffers
  std::vector<T*> reachable;  ///< every channel the plug-in is shown (not null, arrays passed)

  AudioBusBuffers* Buses() const { return nullArray ? nullptr : buses.get(); }
};

/// Reads one side's layout: bus count, per bus the channel count and which channel arrays or
/// channels are null. `shared` (the inputs) lends its buffers for in-place outputs.
template <typename T>
void Layout(Reader& in, Side<T>& side, int32 frames, const Side<T>* shared, double amplitude) {
  const uint8_t how = in.Get<uint8_t>();
  const int32 kBusCounts[] = {1, 1, 1, 1, 1, 0, 2, -1};
  side.numBuses = kBusCounts[how & 7];
  side.nullArray = (how & 0x38) == 0x38;
  const int32 allocated = side.numBuses > 0 ? side.numBuses : 0;
  side.buses.reset(new AudioBusBuffers[static_cast<size_t>(allocated)]);
  const bool inPlace = shared && (how & 0x40);
  const size_t n = static_cast<size_t>(frames > 0 ? frames : 0);
  for (int32 b = 0; b < allocated; ++b) {
    const uint8_t bus = in.Get<uint8_t>();
    const int32 kChannelCounts[] = {2, 2, 2, 1, 0, 3, 2, 1};
    const int32 channels = kChannelCounts[bus & 7];
    AudioBusBuffers& buffers = side.buses[static_cast<size_t>(b)];
    buffers.numChannels = channels;
    buffers.silenceFlags = in.Get<uint8_t>();
    side.channelArrays.emplace_back(new T*[static_cast<size_t>(channels)]);
    T** array = side.channelArrays.back().get();
    buffers.channelBuffers32 = nullptr;
    if constexpr (sizeof(T) == sizeof(float)) {
      buffers.channelBuffers32 = (bus & 0x38) == 0x38 ? nullptr : array;
    } else {
      buffers.channelBuffers64 = (bus & 0x38) == 0x38 ? nullptr : array;
    }
    const int32 nullChannel = (bus & 0xC0) == 0xC0 ? (bus >> 3) % (channels + 1) : -1;
    for (int32 c = 0; c < channels; ++c) {
      T* shareable = nullptr;
      if (inPlace && b < shared->numBuses &&
          c < shared->buses[static_cast<size_t>(b)].numChannels) {
        shareable = shared->channelArrays[static_cast<size_t>(b)][static_cast<size_t>(c)];
      }
      if (!shareable) {
        side.samples.emplace_back(new T[n]);
        shareable = side.samples.back().get();
        for (size_t i = 0; i < n; ++i) {
          shareable[i] = static_cast<T>(
              amplitude * std::sin(0.01 * static_cast<double>(i) + static_cast<double>(b * 4 + c)));
        }
      }
      array[c] = c == nullChannel ? nullptr : shareable;
      if (array[c] && (bus & 0x38) != 0x38 && !side.nullArray) side.reachable.push_back(array[c]);
    }
  }
}

/// The block's parameter changes: queues for ids in and out of range, points in any order.
IParameterChanges* FillChanges(Reader& in, ParameterChanges& changes,
                               std::unique_ptr<OverstatedChanges>& overstated) {
  changes.Clear();
  const uint8_t how = in.Get<uint8_t>();
  if (how & 0x80) return nullptr;
  const int queues = how % 9;
  for (int q = 0; q < queues; ++q) {
    const uint8_t idPick = in.Get<uint8_t>();
    ParamID id = idPick % 12;
    if (idPick >= 240) id = kNoParamId;
    if (idPick >= 248) id = in.Get<uint32>();
    int32 index = 0;
    IParamValueQueue* queue = changes.addParameterData(id, index);
    if (!queue) continue;
    const int points = in.Get<uint8_t>() % (ParamValueQueue::kMaxPoints + 1);
    for (int p = 0; p < points; ++p) {
      const int32 offset = in.Get<int16_t>();
      const uint8_t valuePick = in.Get<uint8_t>();
      double value = 0.0;
      switch (valuePick & 7) {
        case 4: value = std::numeric_limits<double>::quiet_NaN(); break;
        case 5: value = std::numeric_limits<double>::infinity(); break;
        case 6: value = -std::numeric_limits<double>::infinity(); break;
        case 7: value = in.Get<double>(); break;
        default: value = valuePick / 200.0 - 0.1; break;  // -0.1 .. 1.175
      }
      int32 pointIndex = 0;
      queue->addPoint(offset, value, pointIndex);
    }
  }
  if ((how & 0x40) == 0) return &changes;
  overstated = std::make_unique<OverstatedChanges>(changes, 1 + ((how >> 4) & 3));
  return overstated.get();
}

ProcessContext* FillContext(Reader& in, ProcessContext& context) {
  const uint8_t how = in.Get<uint8_t>();
  std::memset(&context, 0, sizeof(context));
  switch (how % 3) {
    case 0: return nullptr;
    case 1:
      context.state = kPlaying | kTempoValid | kTimeSigValid | kProjectTimeMusicValid;
      context.sampleRate = 48000.0;
      context.projectTimeSamples = in.Get<int32>();
      context.tempo = 120.0;
      context.timeSigNumerator = 4;
      context.timeSigDenominator = 4;
      return &context;
    default:
      for (size_t i = 0; i < sizeof(context) && in.Left() > 0; ++i) {
        reinterpret_cast<uint8_t*>(&context)[i] = in.Get<uint8_t>();
      }
      return &context;
  }
}

int32 PickFrames(Reader& in, const HostView& host) {
  const uint8_t pick = in.Get<uint8_t>();
  int32 frames = 0;
  switch (pick & 7) {
    case 0: frames = 0; break;
    case 1: frames = (pick & 8) ? std::numeric_limits<int32>::min() : -1 - (pick >> 4); break;
    case 2: frames = host.block; break;
    case 3: frames = host.block < kMaxFrames ? host.block + 1 : kMaxFrames; break;
    case 7: frames = in.Get<uint16_t>() % (kMaxFrames + 1); break;
    default: frames = 1 + in.Get<uint8_t>() % (host.block < 256 ? host.block : 256); break;
  }
  return frames < kMaxFrames ? frames : kMaxFrames;
}

/// The channels the instance has connected (its arrangement's count).
int32 ConnectedChannels(const Vst3FuzzInstance& plug, BusDirection dir) {
  SpeakerArrangement arr = 0;
  Check(plug.Processor()->getBusArrangement(dir, 0, arr) == kResultOk);
  return arr == SpeakerArr::kMono ? 1 : 2;
}

/// Whether a side can feed `connected` channels from its first bus.
template <typename T>
bool Feeds(const Side<T>& side, int32 connected) {
  if (!side.Buses() || side.numBuses < 1) return false;
  const AudioBusBuffers& bus = side.buses[0];
  T** array = sizeof(T) == sizeof(float) ? reinterpret_cast<T**>(bus.channelBuffers32)
                                         : reinterpret_cast<T**>(bus.channelBuffers64);
  if (!array || bus.numChannels < connected) return false;
  for (int32 c = 0; c < connected; ++c) {
    if (!array[c]) return false;
  }
  return true;
}

template <typename T>
void Process(Reader& in, const Vst3FuzzInstance& plug, const HostView& host, int32 sampleSize,
             ParameterChanges& changes) {
  const int32 frames = PickFrames(in, host);
  const double kAmplitudes[] = {0.5, 1.0, 4.0, 1e-310};
  const double amplitude = kAmplitudes[in.Get<uint8_t>() & 3];
  Side<T> inputs, outputs;
  Layout<T>(in, inputs, frames, nullptr, amplitude);
  Layout(in, outputs, frames, &inputs, amplitude);
  std::unique_ptr<OverstatedChanges> overstated;
  ProcessContext context;

  ProcessData data = {};
  data.processMode = in.Get<uint8_t>() % 4;
  data.symbolicSampleSize = sampleSize;
  data.numSamples = frames;
  data.numInputs = inputs.numBuses;
  data.numOutputs = outputs.numBuses;
  data.inputs = inputs.Buses();
  data.outputs = outputs.Buses();
  data.inputParameterChanges = FillChanges(in, changes, overstated);
  data.processContext = FillContext(in, context);

  // Inputs that are not also outputs must come back unchanged.
  const size_t n = static_cast<size_t>(frames > 0 ? frames : 0);
  std::vector<std::vector<T>> inputCopies;
  for (const auto& buffer : inputs.samples)
    inputCopies.emplace_back(buffer.get(), buffer.get() + n);

  // A block beyond the announced size is well formed: it is processed in pieces.
  const bool wellFormed =
      frames == 0 || (frames > 0 && (sampleSize == kSample32 || sampleSize == kSample64) &&
                      Feeds(inputs, ConnectedChannels(plug, kInput)) &&
                      Feeds(outputs, ConnectedChannels(plug, kOutput)));
  const tresult r = plug.Processor()->process(data);
  Check((r == kResultOk) == wellFormed);
  Check(plug.ParamsInRange());

  if (frames > 0) {
    for (T* channel : outputs.reachable) {
      for (size_t i = 0; i < n; ++i) {
        Check(r == kResultOk ? std::isfinite(channel[i]) : channel[i] == T(0));
      }
    }
  }
  for (size_t k = 0; k < inputs.samples.size(); ++k) {
    const T* buffer = inputs.samples[k].get();
    bool shared = false;
    for (T* channel : outputs.reachable) shared = shared || channel == buffer;
    if (!shared) Check(std::equal(buffer, buffer + n, inputCopies[k].begin()));
  }
}

void ProcessOp(Reader& in, const Vst3FuzzInstance& plug, const HostView& host,
               ParameterChanges& changes) {
  const uint8_t pick = in.Get<uint8_t>();
  int32 size = host.sampleSize;
  if ((pick & 7) == 5) size = host.sampleSize == kSample32 ? kSample64 : kSample32;
  if ((pick & 7) == 6) size = in.Get<int32>();
  if ((pick & 7) == 7) size = 2;
  if (size == kSample64) {
    Process<double>(in, plug, host, size, changes);
  } else {
    Process<float>(in, plug, host, size, changes);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  Vst3FuzzInstance plug;
  HostView host;
  ParameterChanges changes(8);

  for (int op = 0; op < kMaxOps && in.Left() > 0; ++op) {
    const uint8_t code = in.Get<uint8_t>();
    switch (code % 8) {
      case 0: SetupProcessing(in, plug, host); break;
      case 1: SetBusArrangements(in, plug); break;
      case 2: Check(plug.Component()->setActive((code >> 3) & 1) == kResultOk); break;
      case 3: plug.Processor()->setProcessing((code >> 3) & 1); break;
      default: ProcessOp(in, plug, host, changes); break;
    }
    Check(plug.ParamsInRange());
  }

  // Whatever came before, a well-formed set-up and block still give finite output.
  ProcessSetup setup = {kRealtime, kSample32, 64, 48000.0};
  Check(plug.Processor()->setupProcessing(setup) == kResultOk);
  Check(plug.Component()->setActive(1) == kResultOk);
  std::unique_ptr<float[]> left(new float[64]), right(new float[64]);
  for (int i = 0; i < 64; ++i) left[i] = right[i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
  float* channels[2] = {left.get(), right.get()};
  AudioBusBuffers bus = {ConnectedChannels(plug, kOutput), 0, {channels}};
  ProcessData block = {};
  block.symbolicSampleSize = kSample32;
  block.numSamples = 64;
  block.numInputs = block.numOutputs = 1;
  block.inputs = block.outputs = &bus;
  Check(plug.Processor()->process(block) == kResultOk);
  for (int i = 0; i < 64; ++i) Check(std::isfinite(left[i]) && std::isfinite(right[i]));
  plug.Component()->setActive(0);
  return 0;
}
