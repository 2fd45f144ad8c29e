#include "render/Vst2Host.h"

#include <dlfcn.h>

#include <cstring>

#include "render/RenderError.h"

#ifndef TOLVANE_RENDER_VENDOR_VERSION
#define TOLVANE_RENDER_VENDOR_VERSION 1000
#endif

namespace tolvane {
namespace render {

namespace v = kantele::vst2;

namespace {

// The host whose entry point call is in progress: plug-ins may call back before
// they have returned their effect record, or with a record that does not yet
// carry the host's pointer.
Vst2Host* sLoading = nullptr;

// Text buffers handed to the plug-in: larger than any limit of the interface, so
// a plug-in that ignores a limit still writes into memory the host owns.
constexpr size_t kTextBuffer = 256;

// kVstProcessPrecision32 / 64 of effSetProcessPrecision.
constexpr intptr_t kPrecision32 = 0;
constexpr intptr_t kPrecision64 = 1;

void CopyText(void* ptr, const char* text, size_t capacity) {
  if (!ptr) return;
  std::strncpy(static_cast<char*>(ptr), text, capacity - 1);
  static_cast<char*>(ptr)[capacity - 1] = '\0';
}

// What the host says about itself; 0 for any other request.
v::VstIntPtr IdentityAnswer(int32_t opcode, void* ptr) {
  switch (opcode) {
    case v::audioMasterVersion: return 2400;
    case v::audioMasterGetVendorString:
      CopyText(ptr, "Quellmark", v::kVstMaxVendorStrLen);
      return 1;
    case v::audioMasterGetProductString:
      CopyText(ptr, "tolvane-render", v::kVstMaxProductStrLen);
      return 1;
    case v::audioMasterGetVendorVersion: return TOLVANE_RENDER_VENDOR_VERSION;
    default: return 0;
  }
}

}  // namespace

Vst2Host::Vst2Host(const std::string& path) : mPath(path) {
  mLibrary = OpenLibrary(path, path);
  void* symbol = dlsym(mLibrary, "VSTPluginMain");
  mEntryPoint = "VSTPluginMain";
  if (!symbol) {
    symbol = dlsym(mLibrary, "main");
    mEntryPoint = "main";
  }
  if (!symbol) {
    dlclose(mLibrary);
    throw RenderError(kExitPlugin, "'" + path +
                                       "' is not a VST2 plug-in: it exports neither "
                                       "VSTPluginMain nor main");
  }
  auto entry = reinterpret_cast<v::VstPluginMainProc>(symbol);
  sLoading = this;
  AEffect* effect = entry(&Vst2Host::HostCallback);
  sLoading = nullptr;
  if (!effect) {
    dlclose(mLibrary);
    throw RenderError(kExitPlugin, "plug-in '" + path + "' returned no effect from " + mEntryPoint);
  }
  if (effect->magic != v::kEffectMagic) {
    // Not an effect record: nothing in it may be called, not even effClose.
    dlclose(mLibrary);
    throw RenderError(kExitPlugin, "plug-in '" + path +
                                       "' returned a record without the VST "
                                       "magic number ('VstP') from " +
                                       mEntryPoint);
  }
  if (!effect->dispatcher) {
    dlclose(mLibrary);
    throw RenderError(kExitPlugin, "plug-in '" + path + "' has no dispatcher");
  }
  mEffect = effect;
  mEffect->resvd1 = reinterpret_cast<v::VstIntPtr>(this);
}

Vst2Host::~Vst2Host() {
  if (mEffect) {
    if (mResumed) Suspend();
    // effClose releases the effect even when it was never opened.
    Dispatch(v::effClose);
    mEffect = nullptr;
  }
  if (mLibrary) dlclose(mLibrary);
}

void Vst2Host::Open(const HostSettings& settings) {
  mSettings = settings;
  if (!mEffect->processReplacing && !mEffect->process) {
    throw RenderError(kExitPlugin, "plug-in '" + mPath + "' has no process function");
  }
  Dispatch(v::effOpen);
  mOpen = true;
  Dispatch(v::effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings.sampleRate));
  Dispatch(v::effSetBlockSize, 0, settings.blockSize);
  UpdateTime();
}

bool Vst2Host::OfferMonoArrangement() {
  v::VstSpeakerArrangement in{};
  v::VstSpeakerArrangement out{};
  in.type = out.type = v::kSpeakerArrMono;
  in.numChannels = out.numChannels = 1;
  // speakers[0].type stays 0, the mono speaker.
  return Dispatch(v::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out) != 0;
}

void Vst2Host::SetProcessPrecision(bool doublePrecision) {
  Dispatch(v::effSetProcessPrecision, 0, doublePrecision ? kPrecision64 : kPrecision32);
}

void Vst2Host::Resume() {
  mPosition = 0;
  mFirstBlock = true;
  UpdateTime();
  Dispatch(v::effMainsChanged, 0, 1);
  Dispatch(v::effStartProcess);
  mResumed = true;
}

void Vst2Host::Suspend() {
  if (!mResumed) return;
  Dispatch(v::effStopProcess);
  Dispatch(v::effMainsChanged, 0, 0);
  mResumed = false;
}

void Vst2Host::ProcessFloat(float** inputs, float** outputs, int frames) {
  UpdateTime();
  DeliverAutomation();
  if ((mEffect->flags & v::effFlagsCanReplacing) && mEffect->processReplacing) {
    mEffect->processReplacing(mEffect, inputs, outputs, frames);
  } else {
    // The accumulating call adds into its outputs.
    for (int c = 0; c < mEffect->numOutputs; ++c) {
      std::memset(outputs[c], 0, sizeof(float) * static_cast<size_t>(frames));
    }
    mEffect->process(mEffect, inputs, outputs, frames);
  }
  mPosition += frames;
  mFirstBlock = false;
}

void Vst2Host::ProcessDouble(double** inputs, double** outputs, int frames) {
  UpdateTime();
  DeliverAutomation();
  mEffect->processDoubleReplacing(mEffect, inputs, outputs, frames);
  mPosition += frames;
  mFirstBlock = false;
}

bool Vst2Host::CanProcessDouble() const {
  return (mEffect->flags & v::effFlagsCanDoubleReplacing) && mEffect->processDoubleReplacing;
}

bool Vst2Host::HasProgramChunks() const { return (mEffect->flags & v::effFlagsProgramChunks) != 0; }

std::string Vst2Host::EffectName() { return ReadText(v::effGetEffectName, 0); }
std::string Vst2Host::VendorString() { return ReadText(v::effGetVendorString, 0); }
std::string Vst2Host::ParamName(int index) { return ReadText(v::effGetParamName, index); }
std::string Vst2Host::ParamLabel(int index) { return ReadText(v::effGetParamLabel, index); }
std::string Vst2Host::ParamDisplay(int index) { return ReadText(v::effGetParamDisplay, index); }
std::string Vst2Host::ParamDisplayAt(int index, double normalized) {
  constexpr intptr_t kFormatAnswer = 0xBEEF;
  char buffer[kTextBuffer] = {};
  if (Dispatch(v::effVendorSpecific, 7, index, buffer, static_cast<float>(normalized)) !=
      kFormatAnswer) {
    return {};
  }
  buffer[kTextBuffer - 1] = '\0';
  return buffer;
}

std::string Vst2Host::ProgramName() { return ReadText(v::effGetProgramName, 0); }

double Vst2Host::GetParameter(int index) {
  return mEffect->getParameter ? mEffect->getParameter(mEffect, index) : 0.0;
}

void Vst2Host::SetParameter(int index, double value) {
  if (mEffect->setParameter) mEffect->setParameter(mEffect, index, static_cast<float>(value));
}

bool Vst2Host::SetParameterFromText(int index, const std::string& text) {
  char buffer[kTextBuffer] = {};
  CopyText(buffer, text.c_str(), sizeof buffer);
  return Dispatch(v::effString2Parameter, index, 0, buffer) != 0;
}

bool Vst2Host::NormalizedFromText(int index, const std::string& text, double& normalized) {
  const double before = GetParameter(index);
  const bool accepted = SetParameterFromText(index, text);
  if (accepted) normalized = GetParameter(index);
  SetParameter(index, before);
  return accepted;
}

void Vst2Host::SetAutomation(std::vector<AutomationCurve> curves) {
  mCurves = std::move(curves);
  mSent.clear();
  for (const AutomationCurve& curve : mCurves) {
    mSent.push_back(static_cast<float>(curve.ValueAt(0)));
    SetParameter(curve.Param(), mSent.back());
  }
}

void Vst2Host::DeliverAutomation() {
  for (size_t i = 0; i < mCurves.size(); ++i) {
    const float value = static_cast<float>(mCurves[i].ValueAt(mPosition));
    if (value == mSent[i]) continue;
    SetParameter(mCurves[i].Param(), value);
    mSent[i] = value;
  }
}

int Vst2Host::GetProgram() { return static_cast<int>(Dispatch(v::effGetProgram)); }

void Vst2Host::SetProgram(int index) { Dispatch(v::effSetProgram, 0, index); }

void Vst2Host::SetProgramName(const std::string& name) {
  char buffer[kTextBuffer] = {};
  CopyText(buffer, name.c_str(), v::kVstMaxProgNameLen);
  Dispatch(v::effSetProgramName, 0, 0, buffer);
}

std::vector<uint8_t> Vst2Host::GetChunk(bool isProgram) {
  void* data = nullptr;
  const intptr_t size = Dispatch(v::effGetChunk, isProgram ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

bool Vst2Host::SetChunk(bool isProgram, const std::vector<uint8_t>& chunk) {
  // The plug-in reads the chunk; it gets its own copy in case it writes into it.
  std::vector<uint8_t> copy(chunk);
  return Dispatch(v::effSetChunk, isProgram ? 1 : 0, static_cast<intptr_t>(copy.size()),
                  copy.empty() ? nullptr : copy.data()) != 0;
}

int64_t Vst2Host::VendorRequest(int32_t tag, int64_t value, void* ptr, double opt) {
  return Dispatch(v::effVendorSpecific, tag, static_cast<intptr_t>(value), ptr,
                  static_cast<float>(opt));
}

intptr_t Vst2Host::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string Vst2Host::ReadText(int32_t opcode, int32_t index) {
  char buffer[kTextBuffer] = {};
  Dispatch(opcode, index, 0, buffer);
  buffer[kTextBuffer - 1] = '\0';
  return buffer;
}

void Vst2Host::UpdateTime() {
  const TransportPosition at = TransportPosition::At(mPosition, mSettings);
  mTime.samplePos = static_cast<double>(mPosition);
  mTime.sampleRate = mSettings.sampleRate;
  mTime.nanoSeconds = 0.0;
  mTime.ppqPos = at.quarterNotes;
  mTime.tempo = mSettings.tempo;
  mTime.barStartPos = at.barStart;
  mTime.cycleStartPos = 0.0;
  mTime.cycleEndPos = 0.0;
  mTime.timeSigNumerator = 4;
  mTime.timeSigDenominator = 4;
  mTime.smpteOffset = 0;
  mTime.smpteFrameRate = 0;
  mTime.samplesToNextClock = 0;
  mTime.flags = v::kVstTransportPlaying | v::kVstPpqPosValid | v::kVstTempoValid |
                v::kVstTimeSigValid | v::kVstBarsValid |
                (mFirstBlock ? v::kVstTransportChanged : 0);
}

v::VstIntPtr KANTELE_VST_CALL Vst2Host::HostCallback(AEffect* effect, int32_t opcode, int32_t index,
                                                     v::VstIntPtr value, void* ptr, float opt) {
  Vst2Host* host = sLoading;
  if (!host && effect && effect->magic == v::kEffectMagic && effect->resvd1) {
    host = reinterpret_cast<Vst2Host*>(effect->resvd1);
  }
  if (host) return host->OnHostCall(opcode, index, value, ptr, opt);

  // No host known (a call with a foreign record): answer what needs no state.
  return IdentityAnswer(opcode, ptr);
}

v::VstIntPtr Vst2Host::OnHostCall(int32_t opcode, int32_t index, v::VstIntPtr value, void* ptr,
                                  float opt) {
  (void)index;
  (void)value;
  (void)opt;
  switch (opcode) {
    case v::audioMasterCurrentId: return mEffect ? mEffect->uniqueID : 0;
    case v::audioMasterIdle: return 0;
    case v::audioMasterWantMidi: return 0;
    case v::audioMasterGetTime:
      // The plug-in may ask at any point; the record always holds the current block.
      return reinterpret_cast<v::VstIntPtr>(&mTime);
    case v::audioMasterAutomate:
    case v::audioMasterBeginEdit:
    case v::audioMasterEndEdit:
    case v::audioMasterUpdateDisplay:
    case v::audioMasterIOChanged: return 1;
    case v::audioMasterGetSampleRate: return static_cast<v::VstIntPtr>(mSettings.sampleRate);
    case v::audioMasterGetBlockSize: return mSettings.blockSize;
    case v::audioMasterGetCurrentProcessLevel:
      return mSettings.offline ? v::kVstProcessLevelOffline : v::kVstProcessLevelRealtime;
    case v::audioMasterCanDo: {
      // Only what this host really does: it supplies the transport and calls
      // effStartProcess/effStopProcess. No events, no editor, no offline interface.
      const char* what = static_cast<const char*>(ptr);
      if (!what) return 0;
      return (std::strcmp(what, "sendVstTimeInfo") == 0 ||
              std::strcmp(what, "startStopProcess") == 0)
                 ? 1
                 : 0;
    }
    case v::audioMasterGetDirectory: return 0;
    default: return IdentityAnswer(opcode, ptr);
  }
}

}  // namespace render
}  // namespace tolvane
