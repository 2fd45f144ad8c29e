// The VST 3 adapter, with the effect on it, driven in-process through its interfaces as a host
// drives it: identity, parameters, buses, processing set-up, the process call (good and bad),
// state, the controller's traffic to the host, and the audio path under the allocation trap.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "kantele/vst3/IVst3Adapter.h"
#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/Vst3TestHost.h"
#include "support/AllocTrap.h"
#include "tolvane/Tolvane.h"

namespace kantele::test {
namespace {

using namespace vst3;

IPluginFactory* TolvaneFactory() {
  return Vst3Factory::Get(tolvane::Tolvane::MakeConfig(), &Vst3CreatePlugin<tolvane::Tolvane>);
}

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Vst3AdapterTest : public ::testing::Test {
 protected:
  /// The adapter behind the interfaces, for the editor's side of the traffic.
  IVst3Adapter& Adapter() { return *static_cast<IVst3Adapter*>(plug.Component()); }

  Vst3Instance plug{TolvaneFactory()};
};

TEST_F(Vst3AdapterTest, AnswersItsInterfacesWithOneIdentity) {
  ASSERT_TRUE(plug.Ok());
  struct Case {
    const Uid* iid;
    bool answered;
  };
  const Case cases[] = {
      {&IID_FUnknown, true},          {&IID_IPluginBase, true},
      {&IID_IComponent, true},        {&IID_IAudioProcessor, true},
      {&IID_IEditController, true},   {&IID_IProcessContextRequirements, true},
      {&IID_IVendorRequest, true},    {&IID_IPlugView, false},
      {&IID_IConnectionPoint, false}, {&IID_IEditController2, false},
      {&IID_IPluginFactory, false},   {&IID_IUnitInfo, false},
  };
  void* identity = nullptr;
  ASSERT_EQ(plug.Component()->queryInterface(IID_FUnknown.data(), &identity), kResultOk);
  for (const Case& c : cases) {
    void* obj = reinterpret_cast<void*>(1);
    const tresult result = plug.Component()->queryInterface(c.iid->data(), &obj);
    EXPECT_EQ(result == kResultOk, c.answered);
    if (!c.answered) {
      EXPECT_EQ(result, kNoInterface);
      EXPECT_EQ(obj, nullptr);
      continue;
    }
    // Asked again through the interface it answered, FUnknown is the same object.
    void* again = nullptr;
    ASSERT_EQ(static_cast<FUnknown*>(obj)->queryInterface(IID_FUnknown.data(), &again), kResultOk);
    EXPECT_EQ(again, identity);
    static_cast<FUnknown*>(again)->release();
    static_cast<FUnknown*>(obj)->release();
  }
  EXPECT_EQ(plug.Component()->queryInterface(IID_IComponent.data(), nullptr), kInvalidArgument);
  TUID cid = {};
  EXPECT_NE(plug.Component()->getControllerClassId(cid), kResultOk);
  // Every reference handed out was given back: one for the test host's component, one each for
  // its processor and controller, and the one just added.
  EXPECT_EQ(static_cast<FUnknown*>(identity)->addRef(), 5u);
  static_cast<FUnknown*>(identity)->release();
  static_cast<FUnknown*>(identity)->release();
}

TEST_F(Vst3AdapterTest, FactoryOffersOneClassUnderAStableId) {
  IPluginFactory* factory = TolvaneFactory();
  PFactoryInfo info = {};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_STREQ(info.vendor, "Quellmark");
  EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
  ASSERT_EQ(factory->countClasses(), 1);
  auto* factory3 = static_cast<IPluginFactory3*>(factory);
  PClassInfoW w = {};
  ASSERT_EQ(factory3->getClassInfoUnicode(0, &w), kResultOk);
  EXPECT_EQ(Vst3Instance::Text(w.name), "Tolvane");
  EXPECT_STREQ(w.category, "Audio Module Class");
  EXPECT_STREQ(w.subCategories, "Fx|Distortion");
  EXPECT_EQ(Vst3Instance::Text(w.version), "1.0.0");
  EXPECT_EQ(w.cardinality, kManyInstances);
  uint32_t words[4];
  UidWords(w.cid, words);
  EXPECT_EQ(words[0], 0x4B565354u);  // 'KVST'
  EXPECT_EQ(words[1], 0x514D4C4Bu);  // 'QMLK'
  EXPECT_EQ(words[2], 0x6F667A6Fu);  // 'ofzo'
  EXPECT_EQ(words[3], 0x636F6D70u);  // 'comp'
  // Bad requests are refused without touching anything.
  EXPECT_EQ(factory->getClassInfo(1, nullptr), kInvalidArgument);
  PClassInfo2 two = {};
  EXPECT_EQ(factory3->getClassInfo2(-1, &two), kInvalidArgument);
  void* obj = reinterpret_cast<void*>(1);
  const Uid other = MakeUid(1, 2, 3, 4);
  EXPECT_EQ(factory->createInstance(other.data(), IID_IComponent.data(), &obj), kInvalidArgument);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->createInstance(w.cid, IID_IPlugView.data(), &obj), kNoInterface);
  EXPECT_EQ(factory->createInstance(nullptr, IID_IComponent.data(), &obj), kInvalidArgument);
}

TEST_F(Vst3AdapterTest, DescribesTheEffectsParameters) {
  ASSERT_TRUE(plug.Ok());
  struct Expected {
    const char* title;
    const char* shortTitle;
    const char* units;
    int32 steps;
    double defaultNormalized;
    int32 flags;
  };
  const Expected expected[] = {
      {"Input Gain", "Input G", "%", 0, 0.16, kCanAutomate},
      {"Wet", "Wet", "%", 0, 0.87, kCanAutomate},
      {"Tame", "Tame", "", 0, 0.5, kCanAutomate},
      {"React", "React", "", 1, 1.0, kCanAutomate},
      {"Bypass", "Bypass", "", 1, 0.0, kCanAutomate | kIsBypass},
      {"Output Gain", "Output", "%", 0, 0.5, kCanAutomate},
      {"Bias", "Bias", "", 0, 0.5, kCanAutomate},
  };
  ASSERT_EQ(plug.Controller()->getParameterCount(), 7);
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    const ParameterInfo info = plug.Info(i);
    EXPECT_EQ(info.id, static_cast<ParamID>(i));
    EXPECT_EQ(Vst3Instance::Text(info.title), expected[i].title);
    EXPECT_EQ(Vst3Instance::Text(info.shortTitle), expected[i].shortTitle);
    EXPECT_EQ(Vst3Instance::Text(info.units), expected[i].units);
    EXPECT_EQ(info.stepCount, expected[i].steps);
    EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, expected[i].defaultNormalized);
    EXPECT_EQ(info.flags, expected[i].flags);
    EXPECT_EQ(info.unitId, kRootUnitId);
    EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(i), expected[i].defaultNormalized);
  }
  ParameterInfo info = {};
  EXPECT_EQ(plug.Controller()->getParameterInfo(7, info), kInvalidArgument);
  EXPECT_EQ(plug.Controller()->getParameterInfo(-1, info), kInvalidArgument);
}

TEST_F(Vst3AdapterTest, ValueTextsParseBackToTheirValues) {
  ASSERT_TRUE(plug.Ok());
  IEditController* c = plug.Controller();
  for (ParamID id = 0; id < 7; ++id) {
    for (double v : {0.0, 0.125, 0.5, 0.87, 1.0}) {
      SCOPED_TRACE(testing::Message() << "id " << id << " value " << v);
      const std::string text = plug.ValueText(id, v);
      String128 text16 = {};
      CopyToString16(text.c_str(), text16, 128);
      ParamValue parsed = -1.0;
      ASSERT_EQ(c->getParamValueByString(id, text16, parsed), kResultOk);
      EXPECT_EQ(plug.ValueText(id, parsed), text);
    }
  }
  EXPECT_EQ(plug.ValueText(0, 0.5), "100.00");
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(0, 0.5), 100.0);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(0, 50.0), 0.25);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(0, 7.0), 200.0);  // clamped
  // Refusals: texts naming no value, unknown ids, missing buffers.
  String128 junk = {};
  CopyToString16("loud", junk, 128);
  ParamValue out = 0.25;
  EXPECT_EQ(c->getParamValueByString(0, junk, out), kResultFalse);
  EXPECT_EQ(out, 0.25);
  EXPECT_EQ(c->getParamValueByString(7, junk, out), kInvalidArgument);
  EXPECT_EQ(c->getParamValueByString(0, nullptr, out), kInvalidArgument);
  EXPECT_EQ(plug.ValueText(kNoParamId, 0.5), "<failed>");
  EXPECT_EQ(c->getParamStringByValue(0, 0.5, nullptr), kInvalidArgument);
  EXPECT_EQ(c->normalizedParamToPlain(99, 0.5), 0.0);
  EXPECT_EQ(c->setParamNormalized(99, 0.5), kInvalidArgument);
  EXPECT_EQ(c->setParamNormalized(0, kNaN), kInvalidArgument);
}

TEST_F(Vst3AdapterTest, TakesStereoAndMonoArrangementsOnly) {
  ASSERT_TRUE(plug.Ok());
  struct Case {
    SpeakerArrangement in;
    int32 numIns;
    SpeakerArrangement out;
    int32 numOuts;
    tresult result;
    int32 channels;  // the buses' channel count afterwards
  };
  const SpeakerArrangement k51 = 0x3F;
  const Case cases[] = {
      {SpeakerArr::kMono, 1, SpeakerArr::kMono, 1, kResultTrue, 1},
      {SpeakerArr::kStereo, 1, SpeakerArr::kStereo, 1, kResultTrue, 2},
      {SpeakerArr::kMono, 1, SpeakerArr::kStereo, 1, kResultFalse, 2},
      {k51, 1, k51, 1, kResultFalse, 2},
      {SpeakerArr::kEmpty, 1, SpeakerArr::kEmpty, 1, kResultFalse, 2},
      {SpeakerArr::kStereo, 2, SpeakerArr::kStereo, 1, kResultFalse, 2},
      {SpeakerArr::kStereo, 0, SpeakerArr::kStereo, 1, kResultFalse, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.in << " x" << c.numIns << " -> " << c.out);
    SpeakerArrangement ins[2] = {c.in, c.in};
    SpeakerArrangement outs[2] = {c.out, c.out};
    EXPECT_EQ(plug.Processor()->setBusArrangements(ins, c.numIns, outs, c.numOuts), c.result);
    for (BusDirection dir : {kInput, kOutput}) {
      BusInfo bus = {};
      ASSERT_EQ(plug.Component()->getBusInfo(kAudio, dir, 0, bus), kResultOk);
      EXPECT_EQ(bus.channelCount, c.channels);
      SpeakerArrangement arr = 0;
      ASSERT_EQ(plug.Processor()->getBusArrangement(dir, 0, arr), kResultOk);
      EXPECT_EQ(arr, c.channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo);
    }
    // Each case starts from stereo.
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    plug.Processor()->setBusArrangements(&stereo, 1, &stereo, 1);
  }
  EXPECT_EQ(plug.Processor()->setBusArrangements(nullptr, 1, nullptr, 1), kResultFalse);
  EXPECT_EQ(plug.Component()->getBusCount(kAudio, kInput), 1);
  EXPECT_EQ(plug.Component()->getBusCount(kEvent, kInput), 0);
  BusInfo bus = {};
  EXPECT_EQ(plug.Component()->getBusInfo(kAudio, kInput, 1, bus), kInvalidArgument);
  EXPECT_EQ(plug.Component()->getBusInfo(kEvent, kOutput, 0, bus), kInvalidArgument);
  EXPECT_EQ(plug.Component()->activateBus(kAudio, kOutput, 3, 1), kInvalidArgument);
}

TEST_F(Vst3AdapterTest, RefusesProcessingSetUpsThatDescribeNoStream) {
  ASSERT_TRUE(plug.Ok());
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double rate;
    int32 block;
    int32 sampleSize;
    tresult result;
  };
  const Case cases[] = {
      {44100.0, 512, kSample32, kResultOk},
      {96000.0, 1, kSample64, kResultOk},
      {0.0, 512, kSample32, kInvalidArgument},
      {-48000.0, 512, kSample32, kInvalidArgument},
      {kNaN, 512, kSample32, kInvalidArgument},
      {inf, 512, kSample32, kInvalidArgument},
      {48000.0, 0, kSample32, kInvalidArgument},
      {48000.0, -64, kSample32, kInvalidArgument},
      {48000.0, (1 << 20) + 1, kSample32, kInvalidArgument},
      {48000.0, 512, 7, kInvalidArgument},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.rate << " Hz, " << c.block << " frames, size " << c.sampleSize);
    ProcessSetup setup = {kRealtime, c.sampleSize, c.block, c.rate};
    EXPECT_EQ(plug.Processor()->setupProcessing(setup), c.result);
  }
  EXPECT_EQ(plug.Processor()->canProcessSampleSize(kSample64), kResultTrue);
  EXPECT_EQ(plug.Processor()->canProcessSampleSize(2), kResultFalse);
}

// A process call the adapter cannot serve answers kInvalidArgument and leaves silence wherever
// it could write.
TEST_F(Vst3AdapterTest, RefusesProcessCallsItCannotServe) {
  ASSERT_TRUE(plug.Ok());
  ASSERT_EQ(plug.Start(kRate, kBlock), kResultOk);
  enum Fault { kNullInputs, kNullChannelArray, kNullChannel, kOneChannel, kBadSize };
  for (Fault fault : {kNullInputs, kNullChannelArray, kNullChannel, kOneChannel, kBadSize}) {
    SCOPED_TRACE(fault);
    const int frames = 64;
    Planar<float> in = TestSignal<float>(2, frames, kRate);
    Planar<float> out(2, frames);
    for (auto& c : out.channel) std::fill(c.begin(), c.end(), 7.f);
    float* inPtrs[2] = {in.channel[0].data(), in.channel[1].data()};
    float* outPtrs[2] = {out.channel[0].data(), out.channel[1].data()};
    AudioBusBuffers inBus = {2, 0, {inPtrs}};
    AudioBusBuffers outBus = {2, 0, {outPtrs}};
    ProcessData data = {};
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    switch (fault) {
      case kNullInputs: data.inputs = nullptr; break;
      case kNullChannelArray: inBus.channelBuffers32 = nullptr; break;
      case kNullChannel: inPtrs[1] = nullptr; break;
      case kOneChannel: inBus.numChannels = 1; break;
      case kBadSize: data.symbolicSampleSize = 9; break;
    }
    EXPECT_EQ(plug.Processor()->process(data), kInvalidArgument);
    for (auto& c : out.channel) {
      EXPECT_EQ(std::count(c.begin(), c.end(), 0.f), frames);
    }
  }
  ProcessData negative = {};
  negative.numSamples = -1;
  EXPECT_EQ(plug.Processor()->process(negative), kInvalidArgument);
}

// Changes arrive as queues of points (each reaching the effect through the host path): the
// parameter ends holding the queue's last point, and a call without samples applies the
// changes alone, without echoing them to the host.
TEST_F(Vst3AdapterTest, AppliesTheLastPointOfEachQueue) {
  ASSERT_TRUE(plug.Ok());
  ASSERT_EQ(plug.Start(kRate, kBlock), kResultOk);
  ParameterChanges changes;
  changes.Add(0, 200, 0.9);
  changes.Add(0, 10, 0.3);  // out of order: still the last point
  changes.Add(5, 0, 0.25);
  Planar<float> none(2, 0);
  Planar<float> noneOut(2, 0);
  EXPECT_EQ(plug.Process(none, noneOut, &changes), kResultOk);
  IEditController* c = plug.Controller();
  EXPECT_DOUBLE_EQ(c->getParamNormalized(0), 0.3);
  EXPECT_DOUBLE_EQ(c->getParamNormalized(5), 0.25);
  EXPECT_TRUE(plug.Handler().Calls().empty());  // never echoed to the host
}

TEST_F(Vst3AdapterTest, BypassPassesTheInputThroughInBothPrecisions) {
  ASSERT_TRUE(plug.Ok());
  for (int size : {kSample32, kSample64}) {
    ASSERT_EQ(plug.Start(kRate, kBlock, size), kResultOk);
    ParameterChanges changes;
    changes.Add(tolvane::kBypass, 0, 1.0);
    if (size == kSample32) {
      Planar<float> in = TestSignal<float>(2, kBlock, kRate), out(2, kBlock);
      ASSERT_EQ(plug.Process(in, out, &changes), kResultOk);
      EXPECT_EQ(out, in);
    } else {
      Planar<double> in = TestSignal<double>(2, kBlock, kRate), out(2, kBlock);
      ASSERT_EQ(plug.Process(in, out, &changes), kResultOk);
      EXPECT_EQ(out, in);
    }
    plug.Stop();
  }
}

TEST_F(Vst3AdapterTest, StateIsTheProgramChunkAndRoundTrips) {
  ASSERT_TRUE(plug.Ok());
  plug.Controller()->setParamNormalized(0, 0.75);
  plug.Controller()->setParamNormalized(4, 1.0);
  const std::vector<uint8_t> saved = plug.ComponentState();
  // The versioned header, then one double per parameter.
  ASSERT_EQ(saved.size(), 8u + 7u * 8u);
  EXPECT_EQ(std::memcmp(saved.data(), "tffp", 4), 0);
  double inputGain = 0.0;
  std::memcpy(&inputGain, saved.data() + 8, 8);
  EXPECT_EQ(inputGain, 150.0);

  plug.Controller()->setParamNormalized(0, 0.1);
  plug.Controller()->setParamNormalized(4, 0.0);
  ASSERT_EQ(plug.SetComponentState(saved), kResultOk);
  EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(0), 0.75);
  EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(4), 1.0);
  auto* stream = new MemoryStream(saved);
  EXPECT_EQ(plug.Controller()->setComponentState(stream), kResultOk);
  stream->release();
  EXPECT_EQ(plug.ComponentState(), saved);
}

// Bytes that do not parse, and streams that fail, leave every parameter as it was.
TEST_F(Vst3AdapterTest, StateThatDoesNotParseChangesNothing) {
  ASSERT_TRUE(plug.Ok());
  plug.Controller()->setParamNormalized(0, 0.75);
  const std::vector<uint8_t> good = plug.ComponentState();
  std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 8);
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 30);
  std::vector<uint8_t> magicOnly(good.begin(), good.begin() + 5);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool failing;
  };
  const Case cases[] = {{"empty", {}, false},
                        {"header only", headerOnly, false},
                        {"truncated", truncated, false},
                        {"cut inside the header", magicOnly, false},
                        {"failing stream", good, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plug.Controller()->setParamNormalized(1, 0.25);
    auto* stream = new MemoryStream(c.bytes);
    stream->SetFailing(c.failing);
    EXPECT_EQ(plug.Component()->setState(stream), kResultFalse);
    stream->release();
    EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(0), 0.75);
    EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(1), 0.25);
  }
  // A stream that hands out three bytes per read still delivers the whole state.
  plug.Controller()->setParamNormalized(0, 0.2);
  auto* slow = new MemoryStream(good);
  slow->SetReadLimit(3);
  EXPECT_EQ(plug.Component()->setState(slow), kResultOk);
  slow->release();
  EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(0), 0.75);
  EXPECT_EQ(plug.Component()->setState(nullptr), kInvalidArgument);
  EXPECT_EQ(plug.Component()->getState(nullptr), kInvalidArgument);
  auto* failing = new MemoryStream();
  failing->SetFailing(true);
  EXPECT_EQ(plug.Component()->getState(failing), kResultFalse);
  failing->release();
}

TEST_F(Vst3AdapterTest, ControllerStateCarriesTheEditorSize) {
  ASSERT_TRUE(plug.Ok());
  const std::vector<uint8_t> saved = plug.ControllerState();
  ASSERT_EQ(saved.size(), 8u + 12u);
  int32_t width = 0;
  std::memcpy(&width, saved.data() + 8, 4);
  EXPECT_EQ(width, 1630);
  // Another editor size travels with it: the size the host is told follows.
  std::vector<uint8_t> bigger = saved;
  const float scale = 1.f;
  std::memcpy(bigger.data() + 16, &scale, 4);
  ASSERT_EQ(plug.SetControllerState(bigger), kResultOk);
  EXPECT_EQ(Adapter().GetEditorWidth(), 1630);
  EXPECT_EQ(Adapter().GetEditorHeight(), 1010);
  EXPECT_EQ(plug.ControllerState(), bigger);
  // Cut or foreign bytes change nothing; an empty state is a host's "none stored".
  EXPECT_EQ(plug.SetControllerState({saved.begin(), saved.begin() + 14}), kResultFalse);
  EXPECT_EQ(plug.SetControllerState({1, 2, 3, 4, 5, 6, 7, 8, 9}), kResultFalse);
  EXPECT_EQ(plug.SetControllerState({}), kResultOk);
  EXPECT_EQ(plug.ControllerState(), bigger);
}

TEST_F(Vst3AdapterTest, EditorGesturesReachTheComponentHandler) {
  ASSERT_TRUE(plug.Ok());
  Adapter().BeginParamEditFromEditor(2);
  Adapter().ParamValueFromEditor(2, 0.8);
  Adapter().EndParamEditFromEditor(2);
  using K = ComponentHandler::Kind;
  const auto& calls = plug.Handler().Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].kind, K::kBegin);
  EXPECT_EQ(calls[1].kind, K::kPerform);
  EXPECT_EQ(calls[1].value, 0.8);
  EXPECT_EQ(calls[2].kind, K::kEnd);
  for (const auto& call : calls) EXPECT_EQ(call.id, 2u);
  EXPECT_DOUBLE_EQ(plug.Controller()->getParamNormalized(2), 0.8);
}

TEST_F(Vst3AdapterTest, SeedRequestMakesRendersRepeatable) {
  ASSERT_TRUE(plug.Ok());
  Vst3Instance other{TolvaneFactory()};
  ASSERT_TRUE(other.Ok());
  for (Vst3Instance* p : {&plug, &other}) {
    EXPECT_EQ(p->VendorRequest(tolvane::kSeedRequest, 0x1234, 1.0), 1);
    ASSERT_EQ(p->Start(kRate, kBlock), kResultOk);
  }
  Planar<float> in = TestSignal<float>(2, 4096, kRate);
  EXPECT_EQ(plug.Render(in, kBlock), other.Render(in, kBlock));
  EXPECT_EQ(plug.VendorRequest(0x12345678, 1, 1.0), 0);
}

// 64 change points on every parameter, in both precisions, and nothing allocates.
TEST_F(Vst3AdapterTest, ProcessAllocatesNothing) {
  ASSERT_TRUE(plug.Ok());
  ParameterChanges changes(8);
  for (ParamID id = 0; id < 7; ++id) {
    for (int p = 0; p < 64; ++p) changes.Add(id, p * 4, (p % 11) / 10.0);
  }
  for (int size : {kSample32, kSample64}) {
    ASSERT_EQ(plug.Start(kRate, kBlock, size), kResultOk);
    Planar<float> inF = TestSignal<float>(2, kBlock, kRate), outF(2, kBlock);
    Planar<double> inD = TestSignal<double>(2, kBlock, kRate), outD(2, kBlock);
    ScopedAllocTrap trap;
    for (int i = 0; i < 8; ++i) {
      const tresult r = size == kSample32 ? plug.Process(inF, outF, &changes, i * kBlock)
                                          : plug.Process(inD, outD, &changes, i * kBlock);
      EXPECT_EQ(r, kResultOk);
    }
    EXPECT_EQ(trap.Allocations(), 0);
    plug.Stop();
  }
}

}  // namespace
}  // namespace kantele::test
