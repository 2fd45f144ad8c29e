// The adapter's identity, reference counting, component, controller and state. The audio path
// is in IVst3Adapter_process.cpp, the editor's view in Vst3View.cpp.

#include "kantele/vst3/IVst3Adapter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "kantele/Text.h"
#include "kantele/vst3/Vst3Text.h"
#include "kantele/vst3/Vst3View.h"

namespace kantele {

using namespace vst3;

namespace {

/// Hands out `iface` with a reference added through `self`.
template <class I>
tresult Hand(IVst3Adapter* self, I* iface, void** obj) {
  self->addRef();
  *obj = iface;
  return kResultOk;
}

/// The speaker arrangement of `n` channels, or kEmpty when VST 3 has no plain one for it.
SpeakerArrangement ArrangementOf(int n) {
  return n == 1 ? SpeakerArr::kMono : n == 2 ? SpeakerArr::kStereo : SpeakerArr::kEmpty;
}

/// The channel count of an arrangement the adapter accepts (mono or stereo), or -1.
int AcceptedChannels(SpeakerArrangement arr) {
  if (arr == SpeakerArr::kMono) return 1;
  if (arr == SpeakerArr::kStereo) return 2;
  return -1;
}

/// Whether a reference parameter arrived as a null pointer (the interface passes references as
/// pointers, and a host can pass null). The volatile copy keeps the compiler from assuming a
/// reference is never null.
template <class T>
bool IsNull(T& ref) {
  T* volatile p = &ref;
  return p == nullptr;
}

/// A normalised value from the host, clamped to 0..1; NaN becomes 0.
double ClampNormalized(double v) { return v >= 0.0 ? std::min(v, 1.0) : 0.0; }

constexpr uint32_t Word(char a, char b, char c, char d) {
  return static_cast<uint32_t>(MakeFourCC(a, b, c, d));
}

}  // namespace

IVst3Adapter::IVst3Adapter(const InstanceInfo&, const Config& config) : IAdapterBase(config) {
  mAPI = kApiCode;
  mBypassParamIdx =
      config.mBypassParam >= 0 && config.mBypassParam < NParams() ? config.mBypassParam : -1;
  ConnectChannels(kDirInput, 0, MaxNChannels(kDirInput), true);
  ConnectChannels(kDirOutput, 0, MaxNChannels(kDirOutput), true);
  const auto nIn = static_cast<size_t>(MaxNChannels(kDirInput));
  const auto nOut = static_cast<size_t>(MaxNChannels(kDirOutput));
  mInputs32.assign(nIn, nullptr);
  mOutputs32.assign(nOut, nullptr);
  mInputs64.assign(nIn, nullptr);
  mOutputs64.assign(nOut, nullptr);
  SetBlockSize(512);
  CreateTimer();
}

// A view holds a reference to the adapter, so none exists when the adapter goes.
IVst3Adapter::~IVst3Adapter() { terminate(); }

Uid IVst3Adapter::ClassIdOf(const Config& config) {
  return MakeUid(Word('K', 'V', 'S', 'T'), static_cast<uint32_t>(config.mMfrID),
                 static_cast<uint32_t>(config.mUniqueID), Word('c', 'o', 'm', 'p'));
}

// ---------------------------------------------------------------------------------------------
// FUnknown and IPluginBase

tresult IVst3Adapter::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!iid) return kNoInterface;
  if (IID_FUnknown.Matches(iid) || IID_IPluginBase.Matches(iid) || IID_IComponent.Matches(iid)) {
    return Hand(this, static_cast<IComponent*>(this), obj);
  }
  if (IID_IAudioProcessor.Matches(iid)) return Hand(this, static_cast<IAudioProcessor*>(this), obj);
  if (IID_IProcessContextRequirements.Matches(iid)) {
    return Hand(this, static_cast<IProcessContextRequirements*>(this), obj);
  }
  if (IID_IEditController.Matches(iid)) return Hand(this, static_cast<IEditController*>(this), obj);
  if (IID_IVendorRequest.Matches(iid)) return Hand(this, static_cast<IVendorRequest*>(this), obj);
  return kNoInterface;
}

uint32 IVst3Adapter::addRef() { return mRefs.Add(); }

uint32 IVst3Adapter::release() {
  const uint32 left = mRefs.Drop();
  if (left == 0) delete this;
  return left;
}

tresult IVst3Adapter::initialize(FUnknown* context) {
  if (mInitialized) return kResultOk;
  mInitialized = true;
  if (context) {
    context->addRef();
    mHostContext = context;
    void* app = nullptr;
    if (context->queryInterface(IID_IHostApplication.data(), &app) == kResultOk && app) {
      auto* host = static_cast<IHostApplication*>(app);
      String128 name = {};
      if (host->getName(name) == kResultOk) {
        name[127] = 0;
        SetHost(String16ToUtf8(name, 128).c_str(), 0);
      }
      host->release();
    }
  }
  if (GetHost() == kHostUninit) SetHost("", 0);
  OnHostIdentified();
  NotifyAllParamsChanged(kSourceReset);
  return kResultOk;
}

tresult IVst3Adapter::terminate() {
  if (mComponentHandler) mComponentHandler->release();
  mComponentHandler = nullptr;
  if (mHostContext) mHostContext->release();
  mHostContext = nullptr;
  mInitialized = false;
  return kResultOk;
}

// ---------------------------------------------------------------------------------------------
// IComponent

tresult IVst3Adapter::getControllerClassId(TUID) {
  // One object is both: no separate controller class exists.
  return kNotImplemented;
}

tresult IVst3Adapter::setIoMode(IoMode) { return kNotImplemented; }

int32 IVst3Adapter::getBusCount(MediaType type, BusDirection dir) {
  if (type != kAudio || (dir != kInput && dir != kOutput)) return 0;
  return MaxNChannels(dir == kInput ? kDirInput : kDirOutput) > 0 ? 1 : 0;
}

tresult IVst3Adapter::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
  if (IsNull(bus) || index < 0 || index >= getBusCount(type, dir)) return kInvalidArgument;
  std::memset(&bus, 0, sizeof(bus));
  bus.mediaType = type;
  bus.direction = dir;
  bus.channelCount = CountConnectedChannels(dir == kInput ? kDirInput : kDirOutput);
  CopyToString16(dir == kInput ? "Input" : "Output", bus.name, 128);
  bus.busType = kMain;
  bus.flags = kDefaultActive;
  return kResultOk;
}

tresult IVst3Adapter::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult IVst3Adapter::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
  return index >= 0 && index < getBusCount(type, dir) ? kResultOk : kInvalidArgument;
}

tresult IVst3Adapter::setActive(TBool state) {
  OnActivate(state != 0);
  if (state == 0) OnReset();
  return kResultOk;
}

// ---------------------------------------------------------------------------------------------
// IAudioProcessor: everything but process

tresult IVst3Adapter::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                         SpeakerArrangement* outputs, int32 numOuts) {
  if (numIns != 1 || numOuts != 1 || !inputs || !outputs) return kResultFalse;
  const int n = AcceptedChannels(inputs[0]);
  if (n < 0 || inputs[0] != outputs[0] || !LegalIO(n, n) || n > MaxNChannels(kDirInput) ||
      n > MaxNChannels(kDirOutput)) {
    return kResultFalse;
  }
  for (EChannelDirection d : {kDirInput, kDirOutput}) {
    ConnectChannels(d, 0, n, true);
    ConnectChannels(d, n, MaxNChannels(d) - n, false);
  }
  return kResultTrue;
}

tresult IVst3Adapter::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
  if (IsNull(arr) || index != 0 || (dir != kInput && dir != kOutput)) return kInvalidArgument;
  if (getBusCount(kAudio, dir) == 0) return kInvalidArgument;
  arr = ArrangementOf(CountConnectedChannels(dir == kInput ? kDirInput : kDirOutput));
  return kResultOk;
}

tresult IVst3Adapter::canProcessSampleSize(int32 size) {
  return size == kSample32 || size == kSample64 ? kResultTrue : kResultFalse;
}

uint32 IVst3Adapter::getLatencySamples() { return static_cast<uint32>(std::max(GetLatency(), 0)); }

tresult IVst3Adapter::setupProcessing(ProcessSetup& setup) {
  if (IsNull(setup)) return kInvalidArgument;
  if (!std::isfinite(setup.sampleRate) || !(setup.sampleRate > 0.0)) return kInvalidArgument;
  if (setup.maxSamplesPerBlock < 1 || setup.maxSamplesPerBlock > kMaxBlockSize) {
    return kInvalidArgument;
  }
  if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64) {
    return kInvalidArgument;
  }
  SetSampleRate(setup.sampleRate);
  SetBlockSize(setup.maxSamplesPerBlock);
  SetRenderingOffline(setup.processMode == kOffline);
  OnReset();
  return kResultOk;
}

tresult IVst3Adapter::setProcessing(TBool) { return kResultOk; }

uint32 IVst3Adapter::getTailSamples() { return static_cast<uint32>(std::max(GetTailSize(), 0)); }

uint32 IVst3Adapter::getProcessContextRequirements() { return kContextRequirements; }

// ---------------------------------------------------------------------------------------------
// State

bool IVst3Adapter::ReadStream(IBStream* stream, ByteChunk& chunk) {
  chunk.Clear();
  if (!stream) return false;
  constexpr int32 kPiece = 4096;
  for (;;) {
    const int size = chunk.Size();
    if (size > kMaxStateSize - kPiece) return false;
    chunk.Resize(size + kPiece);
    int32 got = 0;
    if (stream->read(chunk.GetData() + size, kPiece, &got) != kResultOk) return false;
    // A stream that claims more than it was asked for is not believed.
    if (got < 0 || got > kPiece) return false;
    chunk.Resize(size + got);
    if (got == 0) return true;
  }
}

bool IVst3Adapter::WriteStream(IBStream* stream, const ByteChunk& chunk) {
  if (!stream) return false;
  int done = 0;
  while (done < chunk.Size()) {
    int32 wrote = 0;
    const int32 want = chunk.Size() - done;
    auto* bytes = const_cast<uint8_t*>(chunk.GetData() + done);
    if (stream->write(bytes, want, &wrote) != kResultOk || wrote <= 0 || wrote > want) return false;
    done += wrote;
  }
  return true;
}

tresult IVst3Adapter::SetComponentState(IBStream* state) {
  if (!state) return kInvalidArgument;
  if (!ReadStream(state, mState)) return kResultFalse;
  return SetProgramChunk(mState) ? kResultOk : kResultFalse;
}

tresult IVst3Adapter::GetComponentState(IBStream* state) {
  if (!state) return kInvalidArgument;
  if (!GetProgramChunk(mState)) return kInternalError;
  return WriteStream(state, mState) ? kResultOk : kResultFalse;
}

tresult IVst3Adapter::setComponentState(IBStream* state) { return SetComponentState(state); }

tresult IVst3Adapter::SetControllerState(IBStream* state) {
  if (!state) return kInvalidArgument;
  ByteChunk chunk;
  if (!ReadStream(state, chunk)) return kResultFalse;
  // An empty controller state is what a host stores for a plug-in that wrote none.
  if (chunk.Size() == 0) return kResultOk;
  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(chunk, &version);
  if (start <= 0) return kResultFalse;
  ByteChunk before;
  SerializeEditorState(before);
  if (UnserializeEditorState(chunk, start) < 0) {
    UnserializeEditorState(before, 0);
    return kResultFalse;
  }
  return kResultOk;
}

tresult IVst3Adapter::GetControllerState(IBStream* state) {
  if (!state) return kInvalidArgument;
  ByteChunk chunk;
  chunk.InitWithVersionHeader();
  if (!SerializeEditorState(chunk)) return kInternalError;
  return WriteStream(state, chunk) ? kResultOk : kResultFalse;
}

// ---------------------------------------------------------------------------------------------
// IEditController: parameters

int IVst3Adapter::StepCountOf(int paramIdx) const {
  const IParam* param = GetParam(paramIdx);
  const double span = param->GetMax() - param->GetMin();
  if (param->IsSwitch()) return 1;
  switch (param->GetKind()) {
    case kKindInt:
    case kKindEnum:
      return std::isfinite(span) && span >= 0.0 && span < INT32_MAX ? static_cast<int>(span) : 0;
    default: return 0;
  }
}

int32 IVst3Adapter::getParameterCount() { return NParams(); }

tresult IVst3Adapter::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
  if (IsNull(info) || paramIndex < 0 || paramIndex >= NParams()) return kInvalidArgument;
  const IParam* param = GetParam(paramIndex);
  std::memset(&info, 0, sizeof(info));
  info.id = static_cast<ParamID>(paramIndex);
  CopyToString16(param->GetParamName(), info.title, 128);
  // The short title is the name as a VST2 host's eight-byte field holds it.
  char shortName[8];
  Utf8CopyCut(shortName, sizeof(shortName), param->GetParamName());
  std::string trimmed(shortName);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  CopyToString16(trimmed.c_str(), info.shortTitle, 128);
  CopyToString16(param->GetUnitLabel(), info.units, 128);
  info.stepCount = StepCountOf(paramIndex);
  info.defaultNormalizedValue = param->GetDefaultValue(true);
  info.unitId = kRootUnitId;
  if (param->IsAutomatable()) info.flags |= kCanAutomate;
  if (paramIndex == mBypassParamIdx) info.flags |= kIsBypass;
  if (param->GetKind() == kKindEnum) info.flags |= kIsList;
  return kResultOk;
}

tresult IVst3Adapter::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                            String128 string) {
  if (!string || !IsValidParamId(id)) return kInvalidArgument;
  GetParam(static_cast<int>(id))
      ->FormatValue(ClampNormalized(valueNormalized), true, mParamDisplayStr, true);
  CopyToString16(mParamDisplayStr.Get(), string, 128);
  return kResultOk;
}

tresult IVst3Adapter::getParamValueByString(ParamID id, TChar* string,
                                            ParamValue& valueNormalized) {
  if (!string || IsNull(valueNormalized) || !IsValidParamId(id)) return kInvalidArgument;
  const IParam* param = GetParam(static_cast<int>(id));
  double value = 0.0;
  if (!param->TryParseValue(String16ToUtf8(string, 128).c_str(), value)) return kResultFalse;
  valueNormalized = param->NormalizedFromValue(value);
  return kResultOk;
}

ParamValue IVst3Adapter::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
  if (!IsValidParamId(id)) return 0.0;
  return GetParam(static_cast<int>(id))->ValueFromNormalized(ClampNormalized(valueNormalized));
}

ParamValue IVst3Adapter::plainParamToNormalized(ParamID id, ParamValue plainValue) {
  if (!IsValidParamId(id) || std::isnan(plainValue)) return 0.0;
  return GetParam(static_cast<int>(id))->NormalizedFromValue(plainValue);
}

ParamValue IVst3Adapter::getParamNormalized(ParamID id) {
  return IsValidParamId(id) ? GetParam(static_cast<int>(id))->GetValueNormalized() : 0.0;
}

tresult IVst3Adapter::setParamNormalized(ParamID id, ParamValue value) {
  if (!IsValidParamId(id)) return kInvalidArgument;
  return SetParamFromHost(static_cast<int>(id), value, EHostValue::kNormalized, -1)
             ? kResultOk
             : kInvalidArgument;
}

tresult IVst3Adapter::setComponentHandler(IComponentHandler* handler) {
  if (handler == mComponentHandler) return kResultOk;
  if (handler) handler->addRef();
  if (mComponentHandler) mComponentHandler->release();
  mComponentHandler = handler;
  return kResultOk;
}

IPlugView* IVst3Adapter::createView(FIDString name) {
  if (!HasUI() || !name || std::strcmp(name, kEditorViewType) != 0) return nullptr;
  return new Vst3View(*this);
}

int64 IVst3Adapter::vendorRequest(int32 tag, int64 value, void* data, double opt) {
  return OnVendorRequest(tag, value, data, opt);
}

// ---------------------------------------------------------------------------------------------
// Requests to the host

bool IVst3Adapter::NotifyHostParamValue(int paramIdx, double normalized) {
  return mComponentHandler &&
         mComponentHandler->performEdit(static_cast<ParamID>(paramIdx), normalized) == kResultOk;
}

bool IVst3Adapter::NotifyHostBeginEdit(int paramIdx) {
  return mComponentHandler &&
         mComponentHandler->beginEdit(static_cast<ParamID>(paramIdx)) == kResultOk;
}

bool IVst3Adapter::NotifyHostEndEdit(int paramIdx) {
  return mComponentHandler &&
         mComponentHandler->endEdit(static_cast<ParamID>(paramIdx)) == kResultOk;
}

void IVst3Adapter::NotifyHostDisplayChanged() {
  if (mComponentHandler) mComponentHandler->restartComponent(kParamValuesChanged);
}

bool IVst3Adapter::AskHostToResizeEditor(int width, int height) {
  return mView && mView->RequestFrameResize(width, height);
}

void IVst3Adapter::SetLatency(int samples) {
  IProcessor::SetLatency(samples);
  if (mComponentHandler) mComponentHandler->restartComponent(kLatencyChanged);
}

}  // namespace kantele
