// The dispatcher: every request a host makes through the effect record's dispatcher, routed by
// concern to the groups below. It runs on the thread the host calls it from (IVst2Adapter.h).

#include "kantele/vst2/IVst2Adapter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kantele/Text.h"
#include "kantele/Timer.h"
#include "kantele/gfx/GraphicsTypes.h"

namespace kantele {

using namespace vst2;

namespace {

/// Copies `src` into a host buffer of `size` bytes, cut at a character boundary and always
/// terminated.
void CopyToHost(void* dst, size_t size, const char* src) {
  Utf8CopyCut(static_cast<char*>(dst), size, src ? src : "");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Dispatcher

VstIntPtr IVst2Adapter::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt) {
  IVst2Adapter* self = FromAEffect(effect);
  if (!self) return 0;
  if (opcode == effClose) {
    // The host gives the record up: the object goes, and nothing may touch it afterwards.
    delete self;
    return 0;
  }
  return self->Dispatch(opcode, index, value, ptr, opt);
}

VstIntPtr IVst2Adapter::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
  switch (opcode) {
    case effOpen:
    case effSetSampleRate:
    case effSetBlockSize:
    case effMainsChanged:
    case effProcessEvents:
    case effGetTailSize:
    case effGetInputProperties:
    case effGetOutputProperties:
    case effSetSpeakerArrangement:
    case effGetSpeakerArrangement: return DispatchSetup(opcode, index, value, ptr, opt);

    case effSetProgram:
    case effGetProgram:
    case effSetProgramName:
    case effGetProgramName:
    case effGetProgramNameIndexed:
    case effGetChunk:
    case effSetChunk: return DispatchPrograms(opcode, index, value, ptr);

    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effCanBeAutomated:
    case effString2Parameter:
    case effGetParameterProperties: return DispatchParameters(opcode, index, ptr);

    case effEditGetRect:
    case effEditOpen:
    case effEditClose:
    case effEditIdle:
    case effEditKeyDown:
    case effEditKeyUp: return DispatchEditor(opcode, index, value, ptr, opt);

    case effIdentify:
    case effGetPlugCategory:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
    case effGetVendorVersion:
    case effGetVstVersion:
    case effGetMidiKeyName:
    case effCanDo:
    case effVendorSpecific: return DispatchHostQueries(opcode, index, value, ptr, opt);

    default:
      // Every other request, deprecated or above the interface's last opcode this adapter
      // serves, changes nothing.
      return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Lifecycle and processing setup

VstIntPtr IVst2Adapter::DispatchSetup(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                      float opt) {
  switch (opcode) {
    case effOpen: OnOpen(); return 0;

    case effSetSampleRate:
      // A rate that is not finite and positive cannot describe a stream: the previous one stays.
      if (std::isfinite(opt) && opt > 0.f) SetSampleRate(opt);
      OnReset();
      return 0;

    case effSetBlockSize:
      SetBlockSize(static_cast<int>(std::clamp<VstIntPtr>(value, -1, kMaxBlockSize)));
      OnReset();
      return 0;

    case effMainsChanged:
      if (value != 0) {
        OnActivate(true);
      } else {
        OnActivate(false);
        OnReset();
      }
      return 0;

    case effProcessEvents: return ProcessEvents(static_cast<const VstEvents*>(ptr));

    case effGetTailSize: return GetTailSize();

    case effGetInputProperties:
      return GetPinProperties(kDirInput, index, static_cast<VstPinProperties*>(ptr));

    case effGetOutputProperties:
      return GetPinProperties(kDirOutput, index, static_cast<VstPinProperties*>(ptr));

    case effSetSpeakerArrangement:
      return SetSpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value),
                                   static_cast<const VstSpeakerArrangement*>(ptr));

    case effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &mInputSpkrArr;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &mOutputSpkrArr;
      return 1;

    default: return 0;
  }
}

void IVst2Adapter::OnOpen() {
  if (GetHost() == kHostUninit) {
    // Hosts are asked for at most kVstMaxProductStrLen bytes; the larger zeroed buffer and the
    // forced terminator protect against a host that writes more.
    char product[256] = {};
    CallHost(audioMasterGetProductString, 0, 0, product);
    product[sizeof(product) - 1] = '\0';
    uint32_t version = 0;
    if (product[0] != '\0') {
      const VstIntPtr v = CallHost(audioMasterGetVendorVersion);
      if (v > 0 && v <= INT32_MAX) {
        const uint32_t d = static_cast<uint32_t>(v);
        version = (d / 10000) * 65536 + ((d % 10000) / 100) * 256 + (d % 100);
      }
    }
    SetHost(product, version);
    HostSpecificSetup();
    OnHostIdentified();
  }
  NotifyAllParamsChanged(kSourceReset);
}

VstIntPtr IVst2Adapter::ProcessEvents(const VstEvents* events) {
  if (!events) return 0;
  // The record declares two pointers; hosts allocate as many as numEvents says.
  VstEvent* const* list = &events->events[0];
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = list[i];
    if (!event) continue;
    if (event->type == kVstMidiType) {
      const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
      MidiMsg msg;
      msg.mOffset = midi->deltaFrames;
      msg.mStatus = static_cast<uint8_t>(midi->midiData[0]);
      msg.mData1 = static_cast<uint8_t>(midi->midiData[1]);
      msg.mData2 = static_cast<uint8_t>(midi->midiData[2]);
      ProcessMidiMsg(msg);
      mMidiMsgsFromProcessor.Push(msg);  // a full queue drops it
    } else if (event->type == kVstSysExType) {
      const VstMidiSysexEvent* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      SysExMsg msg;
      msg.mOffset = sysex->deltaFrames;
      // A message without bytes, or with a negative size, carries nothing to read.
      const bool hasBytes = sysex->sysexDump && sysex->dumpBytes > 0;
      msg.mSize = hasBytes ? sysex->dumpBytes : 0;
      msg.mData = hasBytes ? reinterpret_cast<const uint8_t*>(sysex->sysexDump) : nullptr;
      ProcessSysEx(msg);
    }
  }
  return 1;
}

VstIntPtr IVst2Adapter::GetPinProperties(EChannelDirection dir, int index,
                                         VstPinProperties* props) {
  const int count = MaxNChannels(dir);
  if (!props || index < 0 || index >= count) return 0;
  props->flags = kVstPinIsActive;
  if (index % 2 == 0 && index < count - 1) props->flags |= kVstPinIsStereo;
  const char* label = GetChannelLabel(dir, index);
  Text text;
  if (label[0] != '\0') {
    text.SetFormatted(kVstMaxLabelLen - 1, "%s", label);
  } else {
    text.SetFormatted(kVstMaxLabelLen - 1, dir == kDirInput ? "Input %d" : "Output %d", index + 1);
  }
  CopyToHost(props->label, sizeof(props->label), text.Get());
  return 1;
}

VstIntPtr IVst2Adapter::SetSpeakerArrangement(const VstSpeakerArrangement* in,
                                              const VstSpeakerArrangement* out) {
  // A channel count below zero describes no arrangement and is refused like one that is too
  // large; inputs may already have changed when the output side is refused.
  auto apply = [this](EChannelDirection dir, const VstSpeakerArrangement* arr, int declared) {
    const int n = arr->numChannels;
    if (n < 0 || n > declared) return false;
    const int count = MaxNChannels(dir);
    const int connected = std::min(n, count);
    ConnectChannels(dir, 0, connected, true);
    ConnectChannels(dir, connected, count - connected, false);
    return true;
  };
  if (in && !apply(kDirInput, in, mAEffect.numInputs)) return 0;
  if (!out) return 1;
  return apply(kDirOutput, out, mAEffect.numOutputs) ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Programs and chunks

VstIntPtr IVst2Adapter::DispatchPrograms(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                         void* ptr) {
  switch (opcode) {
    case effSetProgram:
      if (!DoesStateChunks()) ModifyCurrentPreset();
      // Only an index that fits the preset index type can name a preset.
      if (value >= 0 && value <= INT32_MAX) RestorePreset(static_cast<int>(value));
      return 0;

    case effGetProgram: return GetCurrentPresetIndex();

    case effSetProgramName:
      if (ptr) {
        ModifyCurrentPreset(static_cast<const char*>(ptr));
        OnPresetsModified();
      }
      return 0;

    case effGetProgramName:
      if (ptr) {
        const int cur = GetCurrentPresetIndex();
        CopyToHost(ptr, kVstMaxProgNameLen, cur >= 0 && cur < NPresets() ? GetPresetName(cur) : "");
      }
      return 0;

    case effGetProgramNameIndexed: {
      if (!ptr) return 0;
      const char* name = index >= 0 && index < NPresets() ? GetPresetName(index) : "";
      CopyToHost(ptr, kVstMaxProgNameLen, name);
      return static_cast<const char*>(ptr)[0] != '\0' ? 1 : 0;
    }

    case effGetChunk: return GetChunk(index, ptr);

    case effSetChunk: return SetChunk(index, value, ptr);

    default: return 0;
  }
}

VstIntPtr IVst2Adapter::GetChunk(VstInt32 index, void* ptr) {
  if (!ptr) return 0;
  ByteChunk& chunk = index != 0 ? mState : mBankState;
  chunk.InitWithVersionHeader();
  bool ok;
  if (index != 0) {
    ok = SerializeState(chunk);
  } else {
    ModifyCurrentPreset();
    ok = SerializePresets(chunk);
  }
  if (!ok || chunk.Size() == 0) return 0;
  *static_cast<void**>(ptr) = chunk.GetData();
  return chunk.Size();
}

VstIntPtr IVst2Adapter::SetChunk(VstInt32 index, VstIntPtr size, const void* data) {
  if (!data) return 0;
  // A size the host cannot mean (negative, or beyond any state this framework writes) is
  // refused before anything is touched.
  if (size < 0 || size > kMaxChunkSize) return 0;
  ByteChunk& chunk = index != 0 ? mState : mBankState;
  const int n = static_cast<int>(size);
  chunk.Resize(n);
  if (chunk.Size() != n) return 0;
  // memmove: a host may hand back the very buffer an earlier effGetChunk answered, which is
  // this chunk's own storage.
  if (n > 0) std::memmove(chunk.GetData(), data, static_cast<size_t>(n));
  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(chunk, &version);
  int pos;
  if (index == 0 && version >= ByteChunk::kCurrentVersion) {
    pos = UnserializePresets(chunk, start);
  } else {
    pos = UnserializeState(chunk, start);
    ModifyCurrentPreset();
  }
  if (pos < 0) return 0;
  OnStateRestored();
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Parameters: texts and properties

VstIntPtr IVst2Adapter::DispatchParameters(VstInt32 opcode, VstInt32 index, void* ptr) {
  switch (opcode) {
    case effGetParamLabel:
      if (ptr && IsValidParamIdx(index)) {
        CopyToHost(ptr, kVstMaxParamStrLen, GetParam(index)->GetUnitLabel());
      }
      return 0;

    case effGetParamDisplay:
      if (ptr && IsValidParamIdx(index)) {
        const IParam* param = GetParam(index);
        param->FormatValue(param->GetValue(), false, mParamDisplayStr, true);
        CopyToHost(ptr, kVstMaxParamStrLen, mParamDisplayStr.Get());
      }
      return 0;

    case effGetParamName:
      if (ptr && IsValidParamIdx(index)) {
        CopyToHost(ptr, kVstMaxParamStrLen, GetParam(index)->GetParamName());
      }
      return 0;

    case effCanBeAutomated:
      return IsValidParamIdx(index) && GetParam(index)->IsAutomatable() ? 1 : 0;

    case effString2Parameter: {
      if (!IsValidParamIdx(index)) return 0;
      if (!ptr) return 1;
      SetParamFromHost(index, GetParam(index)->ParseValue(static_cast<const char*>(ptr)),
                       EHostValue::kReal, -1);
      return 1;
    }

    case effGetParameterProperties:
      return GetParameterProperties(index, static_cast<VstParameterProperties*>(ptr));

    default: return 0;
  }
}

VstIntPtr IVst2Adapter::GetParameterProperties(int index, VstParameterProperties* props) {
  if (!props || !IsValidParamIdx(index)) return 0;
  const IParam* param = GetParam(index);
  switch (param->IsSwitch() ? kKindBool : param->GetKind()) {
    // A switch shows as a toggle, not a slider.
    case kKindBool: props->flags = kVstParameterIsSwitch; break;
    case kKindInt:
    case kKindEnum: {
      auto toInt = [](double v) {
        if (!(v == v)) return 0;  // NaN
        return static_cast<VstInt32>(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
      };
      props->flags = kVstParameterUsesIntegerMinMax | kVstParameterUsesIntStep;
      props->minInteger = toInt(param->GetMin());
      props->maxInteger = toInt(param->GetMax());
      props->stepInteger = 1;
      props->largeStepInteger = 1;
      break;
    }
    default:
      props->flags = kVstParameterUsesFloatStep;
      props->stepFloat = props->smallStepFloat = props->largeStepFloat =
          static_cast<float>(param->GetStep());
      break;
  }
  // Hosts that read these fields name the parameter by them (the unit is effGetParamLabel's):
  // the whole name where 63 bytes allow it, and the name cut to 7 bytes as the short form.
  CopyToHost(props->label, sizeof(props->label), param->GetParamName());
  CopyToHost(props->shortLabel, sizeof(props->shortLabel), param->GetParamName());
  return 1;
}

// ---------------------------------------------------------------------------------------------
// The editor

VstIntPtr IVst2Adapter::DispatchEditor(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                       float opt) {
  switch (opcode) {
    case effEditGetRect:
      if (!ptr || !HasUI()) return 0;
      SetEditRect(GetEditorWidth(), GetEditorHeight());
      *static_cast<ERect**>(ptr) = &mEditRect;
      return 1;

    case effEditOpen: return OpenWindow(ptr) ? 1 : 0;

    case effEditClose:
      if (!HasUI()) return 0;
      if (mClosingEditor) return 1;
      mClosingEditor = true;
      CloseWindow();
      mClosingEditor = false;
      return 1;

    case effEditIdle:
      // Linux has no thread timer: the host's idle calls on its user-interface thread are
      // what drives the editor's timer there. On Windows the timer ticks by itself and this
      // does nothing.
      Timer::ServiceDueTimers();
      return 0;

    case effEditKeyDown:
    case effEditKeyUp: return KeyEvent(opcode == effEditKeyDown, index, value, opt);

    default: return 0;
  }
}

VstIntPtr IVst2Adapter::KeyEvent(bool down, VstInt32 character, VstIntPtr vstKey, float modifiers) {
  const int mods = std::isfinite(modifiers) && std::fabs(modifiers) < 2147483520.f
                       ? static_cast<int>(modifiers)
                       : 0;
  const char text[2] = {static_cast<char>(character), '\0'};
  const int vk =
      VirtualKeyOf(static_cast<int>(std::clamp<VstIntPtr>(vstKey, -1, INT32_MAX)), text[0]);
  const gfx::KeyPress key(text, vk, (mods & MODIFIER_SHIFT) != 0, (mods & MODIFIER_CONTROL) != 0,
                          (mods & MODIFIER_ALTERNATE) != 0);
  const bool handled = down ? OnKeyDown(key) : OnKeyUp(key);
  return handled ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Identity, capabilities and vendor-specific requests

VstIntPtr IVst2Adapter::DispatchHostQueries(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt) {
  switch (opcode) {
    case effIdentify: return kIdentify;

    case effGetPlugCategory: return GetPlugType() == 1 ? kPlugCategSynth : kPlugCategEffect;

    case effGetEffectName:
      if (!ptr) return 0;
      CopyToHost(ptr, kVstMaxEffectNameLen, GetPluginName());
      return 1;

    case effGetVendorString:
      if (!ptr) return 0;
      CopyToHost(ptr, kVstMaxVendorStrLen, GetMfrName());
      return 1;

    case effGetProductString:
      if (!ptr) return 0;
      CopyToHost(ptr, kVstMaxProductStrLen, GetProductName());
      return 1;

    case effGetVendorVersion: return PackedVersionToDecimal(GetPluginVersion());

    case effGetVstVersion: return 2400;

    case effGetMidiKeyName: {
      MidiKeyName* key = static_cast<MidiKeyName*>(ptr);
      if (!key) return 0;
      key->keyName[0] = '\0';
      Text name;
      const bool named = GetMidiNoteName(key->thisKeyNumber, name);
      if (named) CopyToHost(key->keyName, sizeof(key->keyName), name.Get());
      return named ? 1 : 0;
    }

    case effCanDo:
      if (!ptr) return 0;
      return CanDo(static_cast<const char*>(ptr));

    case effVendorSpecific: return VendorSpecific(index, value, ptr, opt);

    default: return 0;
  }
}

VstIntPtr IVst2Adapter::CanDo(const char* text) {
  if (std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
  if (DoesMidiIn() && (std::strcmp(text, "receiveVstEvents") == 0 ||
                       std::strcmp(text, "receiveVstMidiEvent") == 0)) {
    return 1;
  }
  if (DoesMidiOut() &&
      (std::strcmp(text, "sendVstEvents") == 0 || std::strcmp(text, "sendVstMidiEvent") == 0)) {
    return 1;
  }
  if (std::strcmp(text, "hasCockosExtensions") == 0) {
    mHasVSTExtensions |= kExtensionsAsked;
    return kExtensionCanDoAnswer;
  }
  if (std::strcmp(text, "hasCockosViewAsConfig") == 0) {
    mHasVSTExtensions |= kViewAsConfigAsked;
    return kExtensionCanDoAnswer;
  }
  if (std::strcmp(text, "wantsChannelCountNotifications") == 0) return 1;
  if (std::strcmp(text, "MPE") == 0) return DoesMPE() ? 1 : 0;
  return HandleCanDo(text);
}

VstIntPtr IVst2Adapter::HandleCanDo(const char*) { return 0; }

VstIntPtr IVst2Adapter::VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  // The extensions name no buffer size; the texts written here are at most a display text or
  // a 21-character number, and the hosts that send these requests pass larger buffers.
  constexpr size_t kExtensionTextSize = 64;
  switch (index) {
    case 7:  // a normalised value as display text
      if (!ptr) break;
      if (IsValidParamIdx(value)) {
        GetParam(static_cast<int>(value))->FormatValue(opt, true, mParamDisplayStr, true);
        CopyToHost(ptr, kExtensionTextSize, mParamDisplayStr.Get());
      }
      return kExtensionAnswer;
    case 8: {  // whether a parameter is two-valued
      if (!IsValidParamIdx(value)) break;
      const IParam* param = GetParam(static_cast<int>(value));
      const EParamKind kind = param->GetKind();
      if (kind == kKindBool || ((kind == kKindInt || kind == kKindEnum) &&
                                std::fabs(param->GetMax() - param->GetMin()) < 1.5)) {
        return kExtensionAnswer;
      }
      break;
    }
    case 27: {  // a display text to a normalised value, written back as text
      if (!ptr || !IsValidParamIdx(value)) break;
      char* text = static_cast<char*>(ptr);
      if (text[0] == '\0') return kExtensionAnswer;
      const IParam* param = GetParam(static_cast<int>(value));
      const double normalized = param->NormalizedFromValue(param->ParseValue(text));
      char number[kExtensionTextSize];
      std::snprintf(number, sizeof(number), "%.17f", normalized);
      CopyToHost(text, kExtensionTextSize, number);
      return kExtensionAnswer;
    }
    default: break;
  }
  return HandleVendorSpecific(index, value, ptr, opt);
}

VstIntPtr IVst2Adapter::HandleVendorSpecific(VstInt32 index, VstIntPtr value, void* ptr,
                                             float opt) {
  return static_cast<VstIntPtr>(OnVendorRequest(index, value, ptr, opt));
}

}  // namespace kantele
