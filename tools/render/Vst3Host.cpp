#include "render/Vst3Host.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "kantele/vst3/VendorRequest.h"
#include "kantele/vst3/Vst3Text.h"
#include "render/RenderError.h"

namespace tolvane {
namespace render {

namespace v = kantele::vst3;

namespace {

using ModuleEntryProc = bool (*)(void*);
using ModuleExitProc = bool (*)();
using GetPluginFactoryProc = v::IPluginFactory* (*)();

constexpr const char* kSuffix = ".vst3";

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsDirectory(const std::string& path) {
  struct stat st = {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st = {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The speaker arrangement of `channels` channels when a plug-in cannot say which it has.
v::SpeakerArrangement ArrangementOf(int channels) {
  if (channels == 1) return v::SpeakerArr::kMono;
  if (channels <= 0) return v::SpeakerArr::kEmpty;
  return channels >= 64 ? ~v::SpeakerArrangement{0} : (v::SpeakerArrangement{1} << channels) - 1;
}

// The host's identity, one for the process and never released: a module may keep the
// references it was given past terminate and unloading (zam-plugins' modules keep two).
v::HostApplication* HostIdentity() {
  static v::HostApplication* const sIdentity = new v::HostApplication("tolvane-render");
  return sIdentity;
}

}  // namespace

// ---- Paths

bool Vst3Host::IsVst3Path(const std::string& path) {
  const std::string p = WithoutTrailingSlashes(path);
  if (EndsWith(p, kSuffix)) return true;
  // A module inside a bundle: some folder on the way is <Name>.vst3.
  return p.find(std::string(kSuffix) + "/") != std::string::npos;
}

std::string Vst3Host::ModulePath(const std::string& path) {
  const std::string p = WithoutTrailingSlashes(path);
  if (!IsDirectory(p)) return path;
  const size_t slash = p.rfind('/');
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  if (EndsWith(name, kSuffix)) name.resize(name.size() - std::strlen(kSuffix));
  struct utsname machine = {};
  const std::string arch = uname(&machine) == 0 ? machine.machine : "x86_64";
  const std::string module = p + "/Contents/" + arch + "-linux/" + name + ".so";
  if (!IsFile(module)) {
    throw RenderError(kExitPlugin, "VST3 bundle '" + path + "' holds no module for " + arch +
                                       "-linux: '" + module + "' does not exist");
  }
  return module;
}

// ---- Loading and unloading

Vst3Host::Vst3Host(const std::string& path) : mPath(path), mHandler(new v::ComponentHandler()) {
  try {
    Load();
  } catch (...) {
    Teardown();
    throw;
  }
}

Vst3Host::~Vst3Host() { Teardown(); }

void Vst3Host::Fail(const std::string& why) const {
  throw RenderError(kExitPlugin, "VST3 plug-in '" + mPath + "' " + why);
}

void Vst3Host::Load() {
  mModulePath = ModulePath(mPath);
  mLibrary = OpenLibrary(mModulePath, mPath);
  if (auto entry = reinterpret_cast<ModuleEntryProc>(dlsym(mLibrary, "ModuleEntry"))) {
    if (!entry(mLibrary)) Fail("refused to load: its ModuleEntry answered false");
    mEntered = true;
  }
  auto getFactory = reinterpret_cast<GetPluginFactoryProc>(dlsym(mLibrary, "GetPluginFactory"));
  if (!getFactory) {
    throw RenderError(kExitPlugin,
                      "'" + mPath + "' is not a VST3 plug-in: it exports no GetPluginFactory");
  }
  mFactory = v::Ref<v::IPluginFactory>(getFactory());
  if (!mFactory) Fail("returned no factory from GetPluginFactory");
  if (auto factory3 = v::Ref<v::IPluginFactory3>::Query(mFactory.Get(), v::IID_IPluginFactory3)) {
    factory3->setHostContext(HostIdentity());
  }
  v::AudioModuleClass audioModule;
  if (!v::FindAudioModuleClass(mFactory.Get(), audioModule)) {
    Fail("holds no class of category \"" + std::string(v::kAudioModuleClass) + "\"");
  }
  mClassId = audioModule.cid;
  mName = audioModule.name;
  mVendor = audioModule.vendor;

  void* object = nullptr;
  if (mFactory->createInstance(mClassId.data(), v::IID_IComponent.data(), &object) !=
          v::kResultOk ||
      !object) {
    Fail("did not create its audio module '" + mName + "'");
  }
  mComponent = v::Ref<v::IComponent>(static_cast<v::IComponent*>(object));
  if (mComponent->initialize(HostIdentity()) != v::kResultOk) {
    Fail("refused to initialise its audio module");
  }
  mComponentInitialized = true;
  mProcessor = v::Ref<v::IAudioProcessor>::Query(mComponent.Get(), v::IID_IAudioProcessor);
  if (!mProcessor) Fail("has no audio processor (IAudioProcessor)");
  CreateController();
  ReadBuses();
}

void Vst3Host::CreateController() {
  mController = v::Ref<v::IEditController>::Query(mComponent.Get(), v::IID_IEditController);
  mControllerIsComponent = static_cast<bool>(mController);
  if (!mController) {
    v::TUID cid = {};
    void* object = nullptr;
    if (mComponent->getControllerClassId(cid) == v::kResultOk &&
        mFactory->createInstance(cid, v::IID_IEditController.data(), &object) == v::kResultOk &&
        object) {
      mController = v::Ref<v::IEditController>(static_cast<v::IEditController*>(object));
      if (mController->initialize(HostIdentity()) != v::kResultOk) {
        Fail("refused to initialise its edit controller");
      }
      mControllerInitialized = true;
    }
  }
  if (!mController) return;  // it renders, without parameters
  mController->setComponentHandler(mHandler.Get());
  if (!mControllerIsComponent) {
    mComponentPoint = v::Ref<v::IConnectionPoint>::Query(mComponent.Get(), v::IID_IConnectionPoint);
    mControllerPoint =
        v::Ref<v::IConnectionPoint>::Query(mController.Get(), v::IID_IConnectionPoint);
    if (mComponentPoint && mControllerPoint) {
      mComponentPoint->connect(mControllerPoint.Get());
      mControllerPoint->connect(mComponentPoint.Get());
      mConnected = true;
    }
    // The controller learns the processor's values from the bytes of its state.
    v::Ref<v::MemoryStream> state(new v::MemoryStream());
    if (mComponent->getState(state.Get()) == v::kResultOk) {
      state->Rewind();
      mController->setComponentState(state.Get());
    }
  }
  const int32_t count = std::max(0, mController->getParameterCount());
  for (int32_t i = 0; i < count; ++i) {
    v::ParameterInfo info{};
    if (mController->getParameterInfo(i, info) != v::kResultOk) continue;
    if (!(info.flags & v::kIsHidden)) mParams.push_back(info);
  }
}

void Vst3Host::Teardown() {
  Suspend();
  if (mConnected) {
    mComponentPoint->disconnect(mControllerPoint.Get());
    mControllerPoint->disconnect(mComponentPoint.Get());
    mConnected = false;
  }
  mComponentPoint.Reset();
  mControllerPoint.Reset();
  if (mControllerInitialized) mController->terminate();
  mControllerInitialized = false;
  if (mComponentInitialized) mComponent->terminate();
  mComponentInitialized = false;
  mController.Reset();
  mProcessor.Reset();
  mComponent.Reset();
  mFactory.Reset();
  if (mLibrary) {
    if (mEntered) {
      if (auto exit = reinterpret_cast<ModuleExitProc>(dlsym(mLibrary, "ModuleExit"))) exit();
    }
    mEntered = false;
    dlclose(mLibrary);
    mLibrary = nullptr;
  }
}

// ---- Buses

void Vst3Host::ReadBuses(v::BusDirection direction, Buses& buses) {
  const int32_t count = std::max(0, mComponent->getBusCount(v::kAudio, direction));
  buses.channels.assign(static_cast<size_t>(count), 0);
  buses.first.assign(static_cast<size_t>(count), 0);
  buses.total = 0;
  for (int32_t b = 0; b < count; ++b) {
    v::SpeakerArrangement arrangement = 0;
    v::BusInfo info{};
    int channels = 0;
    if (mProcessor->getBusArrangement(direction, b, arrangement) == v::kResultOk) {
      channels = v::ChannelCount(arrangement);
    } else if (mComponent->getBusInfo(v::kAudio, direction, b, info) == v::kResultOk) {
      channels = std::max(0, info.channelCount);
    }
    buses.channels[static_cast<size_t>(b)] = channels;
    buses.first[static_cast<size_t>(b)] = buses.total;
    buses.total += channels;
  }
}

void Vst3Host::ReadBuses() {
  ReadBuses(v::kInput, mInputs);
  ReadBuses(v::kOutput, mOutputs);
}

bool Vst3Host::OfferArrangement(v::SpeakerArrangement main) {
  auto current = [&](v::BusDirection direction, const Buses& buses) {
    std::vector<v::SpeakerArrangement> list;
    for (size_t b = 0; b < buses.channels.size(); ++b) {
      v::SpeakerArrangement arrangement = 0;
      if (mProcessor->getBusArrangement(direction, static_cast<int32_t>(b), arrangement) !=
          v::kResultOk) {
        arrangement = ArrangementOf(buses.channels[b]);
      }
      list.push_back(b == 0 ? main : arrangement);
    }
    return list;
  };
  std::vector<v::SpeakerArrangement> ins = current(v::kInput, mInputs);
  std::vector<v::SpeakerArrangement> outs = current(v::kOutput, mOutputs);
  const v::tresult result = mProcessor->setBusArrangements(
      ins.data(), static_cast<int32_t>(ins.size()), outs.data(), static_cast<int32_t>(outs.size()));
  ReadBuses();
  return result == v::kResultTrue;
}

void Vst3Host::Open(const HostSettings& settings) {
  mSettings = settings;
  OfferArrangement(v::SpeakerArr::kStereo);
}

bool Vst3Host::OfferMonoArrangement() {
  const int want = v::ChannelCount(v::SpeakerArr::kMono);
  const bool accepted = OfferArrangement(v::SpeakerArr::kMono) &&
                        (mInputs.channels.empty() || mInputs.channels[0] == want) &&
                        (mOutputs.channels.empty() || mOutputs.channels[0] == want);
  // A refusal may leave the plug-in on an arrangement of its choice: back to the default.
  if (!accepted) OfferArrangement(v::SpeakerArr::kStereo);
  return accepted;
}

bool Vst3Host::CanProcessDouble() const {
  return mProcessor->canProcessSampleSize(v::kSample64) == v::kResultTrue;
}

// ---- Processing

void Vst3Host::Resume() {
  v::ProcessSetup setup{};
  setup.processMode = mSettings.offline ? v::kOffline : v::kRealtime;
  setup.symbolicSampleSize = mDouble ? v::kSample64 : v::kSample32;
  setup.maxSamplesPerBlock = mSettings.blockSize;
  setup.sampleRate = mSettings.sampleRate;
  if (mProcessor->setupProcessing(setup) != v::kResultOk) {
    Fail(std::string("refused to process ") + (mDouble ? "64" : "32") + "-bit samples at " +
         std::to_string(static_cast<long long>(mSettings.sampleRate)) + " Hz in blocks of " +
         std::to_string(mSettings.blockSize) + " (setupProcessing)");
  }
  for (v::BusDirection direction : {v::kInput, v::kOutput}) {
    const int32_t count = mComponent->getBusCount(v::kAudio, direction);
    for (int32_t b = 0; b < count; ++b) mComponent->activateBus(v::kAudio, direction, b, 1);
  }
  ReadBuses();
  for (Buses* buses : {&mInputs, &mOutputs}) {
    buses->buffers.assign(buses->channels.size(), v::AudioBusBuffers{});
    for (size_t b = 0; b < buses->channels.size(); ++b) {
      buses->buffers[b].numChannels = buses->channels[b];
    }
  }
  // Storage for every queued value and automated parameter, and for every parameter the
  // processor may report.
  mInChanges = std::make_unique<v::ParameterChanges>(
      std::max(1, static_cast<int>(mQueued.size() + mCurves.size())));
  for (const auto& queued : mQueued) mInChanges->Add(queued.first, 0, queued.second);
  mQueued.clear();
  mOutChanges = std::make_unique<v::ParameterChanges>(
      std::max(1, mController ? mController->getParameterCount() : 0));

  if (mComponent->setActive(1) != v::kResultOk) Fail("refused to be activated (setActive)");
  mActive = true;
  // Some processors answer kNotImplemented and process all the same.
  mProcessor->setProcessing(1);
  mProcessing = true;

  mPosition = 0;
  mData = v::ProcessData{};
  mData.processMode = setup.processMode;
  mData.symbolicSampleSize = setup.symbolicSampleSize;
  mData.numInputs = static_cast<int32_t>(mInputs.buffers.size());
  mData.numOutputs = static_cast<int32_t>(mOutputs.buffers.size());
  mData.inputs = mInputs.buffers.empty() ? nullptr : mInputs.buffers.data();
  mData.outputs = mOutputs.buffers.empty() ? nullptr : mOutputs.buffers.data();
  mData.inputParameterChanges = mInChanges.get();
  mData.outputParameterChanges = mOutChanges.get();
  mData.processContext = &mContext;
}

void Vst3Host::Suspend() {
  if (mProcessing) mProcessor->setProcessing(0);
  mProcessing = false;
  if (mActive) mComponent->setActive(0);
  mActive = false;
}

template <typename T>
void Vst3Host::Process(T** inputs, T** outputs, int frames) {
  // The pointers are set every block: a plug-in may have changed the host's records.
  auto point = [](Buses& buses, T** channels) {
    for (size_t b = 0; b < buses.buffers.size(); ++b) {
      v::AudioBusBuffers& bus = buses.buffers[b];
      bus.numChannels = buses.channels[b];
      bus.silenceFlags = 0;
      if constexpr (std::is_same<T, double>::value) {
        bus.channelBuffers64 = channels + buses.first[b];
      } else {
        bus.channelBuffers32 = channels + buses.first[b];
      }
    }
  };
  point(mInputs, inputs);
  point(mOutputs, outputs);

  const TransportPosition at = TransportPosition::At(mPosition, mSettings);
  mContext = v::ProcessContext{};
  mContext.state = v::kPlaying | v::kProjectTimeMusicValid | v::kTempoValid | v::kBarPositionValid |
                   v::kTimeSigValid | v::kContTimeValid;
  mContext.sampleRate = mSettings.sampleRate;
  mContext.projectTimeSamples = mPosition;
  mContext.continousTimeSamples = mPosition;
  mContext.projectTimeMusic = at.quarterNotes;
  mContext.barPositionMusic = at.barStart;
  mContext.tempo = mSettings.tempo;
  mContext.timeSigNumerator = 4;
  mContext.timeSigDenominator = 4;

  QueueAutomation(frames);
  mData.numSamples = frames;
  mProcessor->process(mData);
  // The queued values went with the first block.
  mInChanges->Clear();
  mOutChanges->Clear();
  mPosition += frames;
}

void Vst3Host::QueueAutomation(int frames) {
  for (size_t i = 0; i < mCurves.size(); ++i) {
    const v::ParamID id = mCurveIds[i];
    // SetAutomation made sure every point finds room.
    mCurves[i].ForEachBlockPoint(mPosition, frames, [&](int32_t offset, double value) {
      mInChanges->Add(id, offset, value);
    });
  }
}

void Vst3Host::ProcessFloat(float** inputs, float** outputs, int frames) {
  Process(inputs, outputs, frames);
}

void Vst3Host::ProcessDouble(double** inputs, double** outputs, int frames) {
  Process(inputs, outputs, frames);
}

// ---- Parameters

const v::ParameterInfo& Vst3Host::Param(int index) const {
  return mParams.at(static_cast<size_t>(index));
}

v::ParamID Vst3Host::ParamId(int index) const { return Param(index).id; }

std::string Vst3Host::ParamName(int index) { return v::String16ToUtf8(Param(index).title, 128); }

std::string Vst3Host::ParamLabel(int index) { return v::String16ToUtf8(Param(index).units, 128); }

std::string Vst3Host::ParamDisplay(int index) { return ParamDisplayAt(index, GetParameter(index)); }

std::string Vst3Host::ParamDisplayAt(int index, double normalized) {
  v::String128 text = {};
  if (mController->getParamStringByValue(Param(index).id, normalized, text) != v::kResultOk) {
    return {};
  }
  text[127] = 0;
  return v::String16ToUtf8(text, 128);
}

double Vst3Host::GetParameter(int index) {
  return mController->getParamNormalized(Param(index).id);
}

void Vst3Host::SetParameter(int index, double normalized) {
  const v::ParameterInfo& info = Param(index);
  if (info.flags & v::kIsReadOnly) {
    throw RenderError(kExitUsage, "parameter '" + ParamName(index) + "' (" + std::to_string(index) +
                                      ") is read-only");
  }
  mController->setParamNormalized(info.id, normalized);
  const auto same = [&](const std::pair<v::ParamID, double>& q) { return q.first == info.id; };
  const auto it = std::find_if(mQueued.begin(), mQueued.end(), same);
  if (it != mQueued.end()) {
    it->second = normalized;
  } else {
    mQueued.emplace_back(info.id, normalized);
  }
}

bool Vst3Host::SetParameterFromText(int index, const std::string& text) {
  double value = 0.0;
  if (!NormalizedFromText(index, text, value)) return false;
  SetParameter(index, value);
  return true;
}

bool Vst3Host::NormalizedFromText(int index, const std::string& text, double& normalized) {
  v::String128 text16 = {};
  v::CopyToString16(text.c_str(), text16, 128);
  v::ParamValue value = 0.0;
  if (mController->getParamValueByString(Param(index).id, text16, value) != v::kResultOk ||
      !std::isfinite(value)) {
    return false;
  }
  normalized = std::min(1.0, std::max(0.0, value));
  return true;
}

void Vst3Host::SetAutomation(std::vector<AutomationCurve> curves) {
  // The first block holds the value at sample 0 before its points.
  const int room = v::ParamValueQueue::kMaxPoints - 1;
  for (const AutomationCurve& curve : curves) {
    if (curve.MaxBlockPoints(mSettings.blockSize) > room) {
      throw RenderError(kExitUsage, "--automate: parameter '" + ParamName(curve.Param()) +
                                        "' has more points within " +
                                        std::to_string(mSettings.blockSize) +
                                        " samples than a VST3 block carries (" +
                                        std::to_string(room) + "); use a smaller --block");
    }
  }
  mCurves = std::move(curves);
  mCurveIds.clear();
  for (const AutomationCurve& curve : mCurves) {
    SetParameter(curve.Param(), curve.ValueAt(0));
    mCurveIds.push_back(Param(curve.Param()).id);
  }
}

int64_t Vst3Host::VendorRequest(int32_t tag, int64_t value, void* ptr, double opt) {
  auto vendor = v::Ref<v::IVendorRequest>::Query(mComponent.Get(), v::IID_IVendorRequest);
  return vendor ? vendor->vendorRequest(tag, value, ptr, opt) : 0;
}

}  // namespace render
}  // namespace tolvane
