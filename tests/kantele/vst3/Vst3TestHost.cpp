#include "kantele/vst3/Vst3TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "kantele/vst3/VendorRequest.h"
#include "kantele/vst3/Vst3Text.h"

namespace kantele::test {

using namespace vst3;

Vst3Instance::Vst3Instance(IPluginFactory* factory) {
  if (!factory) {
    ADD_FAILURE() << "no factory";
    return;
  }
  AudioModuleClass audioModule;
  if (!FindAudioModuleClass(factory, audioModule)) {
    ADD_FAILURE() << "no audio module class";
    return;
  }
  void* obj = nullptr;
  if (factory->createInstance(audioModule.cid.data(), IID_IComponent.data(), &obj) != kResultOk ||
      !obj) {
    ADD_FAILURE() << "createInstance failed";
    return;
  }
  mComponent = Ref<IComponent>(static_cast<IComponent*>(obj));
  mHostApp = new HostApplication(kVst3HostName);
  if (mComponent->initialize(mHostApp) != kResultOk) {
    ADD_FAILURE() << "initialize failed";
    mComponent.Reset();
    return;
  }
  mProcessor = Ref<IAudioProcessor>::Query(mComponent.Get(), IID_IAudioProcessor);
  mController = Ref<IEditController>::Query(mComponent.Get(), IID_IEditController);
  if (!mProcessor || !mController) {
    ADD_FAILURE() << "the component answers no audio processor or no controller";
    return;
  }
  mHandler = new ComponentHandler();
  mController->setComponentHandler(mHandler);
}

Vst3Instance::~Vst3Instance() {
  Stop();
  if (mController) mController->setComponentHandler(nullptr);
  if (mComponent) mComponent->terminate();
  mController.Reset();
  mProcessor.Reset();
  mComponent.Reset();
  if (mHandler) mHandler->release();
  if (mHostApp) mHostApp->release();
}

tresult Vst3Instance::Start(double sampleRate, int maxBlock, int sampleSize) {
  ProcessSetup setup = {kRealtime, sampleSize, maxBlock, sampleRate};
  const tresult result = mProcessor->setupProcessing(setup);
  if (result != kResultOk) return result;
  mComponent->setActive(1);
  mProcessor->setProcessing(1);
  mStarted = true;
  return result;
}

void Vst3Instance::Stop() {
  if (!mStarted) return;
  mProcessor->setProcessing(0);
  mComponent->setActive(0);
  mStarted = false;
}

namespace {

/// The largest channel count the test host passes.
constexpr size_t kMaxChannels = 8;

template <typename T>
void SetBuffers(AudioBusBuffers& bus, Planar<T>& audio, T* (&ptrs)[kMaxChannels]) {
  const size_t n = std::min(audio.channel.size(), kMaxChannels);
  for (size_t c = 0; c < n; ++c) ptrs[c] = audio.channel[c].data();
  bus.numChannels = static_cast<int32>(n);
  if constexpr (std::is_same_v<T, float>) {
    bus.channelBuffers32 = ptrs;
  } else {
    bus.channelBuffers64 = ptrs;
  }
}

}  // namespace

template <typename T>
tresult Vst3Instance::Process(Planar<T>& in, Planar<T>& out, IParameterChanges* changes,
                              int64_t position) {
  // Nothing here allocates: tests process under the allocation trap.
  T* inPtrs[kMaxChannels] = {};
  T* outPtrs[kMaxChannels] = {};
  AudioBusBuffers inBus = {}, outBus = {};
  SetBuffers(inBus, in, inPtrs);
  SetBuffers(outBus, out, outPtrs);
  ProcessContext context = {};
  context.state = kPlaying | kTempoValid | kTimeSigValid | kProjectTimeMusicValid;
  context.sampleRate = 48000.0;
  context.projectTimeSamples = position;
  context.tempo = 120.0;
  context.timeSigNumerator = 4;
  context.timeSigDenominator = 4;
  context.projectTimeMusic = static_cast<double>(position) / 24000.0;
  ProcessData data = {};
  data.processMode = kRealtime;
  data.symbolicSampleSize = std::is_same_v<T, float> ? kSample32 : kSample64;
  data.numSamples = in.Frames();
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = changes;
  data.processContext = &context;
  return mProcessor->process(data);
}

template <typename T>
Planar<T> Vst3Instance::Render(Planar<T>& in, int block) {
  const int channels = static_cast<int>(in.channel.size());
  Planar<T> out(channels, in.Frames());
  for (int start = 0; start < in.Frames(); start += block) {
    const int n = std::min(block, in.Frames() - start);
    Planar<T> bin(channels, n), bout(channels, n);
    for (int c = 0; c < channels; ++c) {
      std::copy_n(in.channel[static_cast<size_t>(c)].begin() + start, n,
                  bin.channel[static_cast<size_t>(c)].begin());
    }
    EXPECT_EQ(Process(bin, bout, nullptr, start), kResultOk);
    for (int c = 0; c < channels; ++c) {
      std::copy_n(bout.channel[static_cast<size_t>(c)].begin(), n,
                  out.channel[static_cast<size_t>(c)].begin() + start);
    }
  }
  return out;
}

template tresult Vst3Instance::Process<float>(Planar<float>&, Planar<float>&, IParameterChanges*,
                                              int64_t);
template tresult Vst3Instance::Process<double>(Planar<double>&, Planar<double>&, IParameterChanges*,
                                               int64_t);
template Planar<float> Vst3Instance::Render<float>(Planar<float>&, int);
template Planar<double> Vst3Instance::Render<double>(Planar<double>&, int);

namespace {

std::vector<uint8_t> ReadState(tresult (*get)(void*, IBStream*), void* target) {
  auto* stream = new MemoryStream();
  std::vector<uint8_t> bytes;
  if (get(target, stream) == kResultOk) bytes = stream->Bytes();
  stream->release();
  return bytes;
}

}  // namespace

std::vector<uint8_t> Vst3Instance::ComponentState() {
  return ReadState([](void* c, IBStream* s) { return static_cast<IComponent*>(c)->getState(s); },
                   mComponent.Get());
}

tresult Vst3Instance::SetComponentState(const std::vector<uint8_t>& bytes) {
  auto* stream = new MemoryStream(bytes);
  const tresult result = mComponent->setState(stream);
  stream->release();
  return result;
}

std::vector<uint8_t> Vst3Instance::ControllerState() {
  return ReadState(
      [](void* c, IBStream* s) { return static_cast<IEditController*>(c)->getState(s); },
      mController.Get());
}

tresult Vst3Instance::SetControllerState(const std::vector<uint8_t>& bytes) {
  auto* stream = new MemoryStream(bytes);
  const tresult result = mController->setState(stream);
  stream->release();
  return result;
}

ParameterInfo Vst3Instance::Info(int index) {
  ParameterInfo info = {};
  if (mController->getParameterInfo(index, info) != kResultOk) std::memset(&info, 0, sizeof(info));
  return info;
}

std::string Vst3Instance::Text(const char16* text) { return String16ToUtf8(text, 128); }

std::string Vst3Instance::ValueText(ParamID id, double normalized) {
  String128 text = {};
  if (mController->getParamStringByValue(id, normalized, text) != kResultOk) return "<failed>";
  return Text(text);
}

int64_t Vst3Instance::VendorRequest(int32_t tag, int64_t value, double opt) {
  auto request = Ref<IVendorRequest>::Query(mComponent.Get(), IID_IVendorRequest);
  return request ? request->vendorRequest(tag, value, nullptr, opt) : -1;
}

}  // namespace kantele::test
