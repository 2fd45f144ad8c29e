#include "kantele/IStateBase.h"

#include <cstring>
#include <string>

#include "kantele/Text.h"

namespace kantele {

void PresetSlot::SetName(const char* name) { Utf8CopyCut(mName, sizeof(mName), name); }

IStateBase::IStateBase(const Config& config)
    : gfx::IGfxEditorDelegate(config.mNParams), mStateChunks(config.mPlugDoesChunks) {
  for (int i = 0; i < config.mNPresets; ++i) {
    mPresets.push_back(std::make_unique<PresetSlot>());
    mPresets.back()->SetName("empty");
  }
}

IStateBase::~IStateBase() = default;

bool IStateBase::SerializeState(ByteChunk& chunk) const { return SerializeParams(chunk); }

int IStateBase::UnserializeState(const ByteChunk& chunk, int startPos) {
  return UnserializeParams(chunk, startPos);
}

void IStateBase::NotifyHostDisplayChanged() {}
void IStateBase::OnPresetsModified() {}

bool IStateBase::SerializeParams(ByteChunk& chunk) const {
  for (int i = 0; i < NParams(); ++i) {
    const IParam* param = GetParam(i);
    const double v = param->GetValue();
    const int before = chunk.Size();
    if (chunk.Put(v) == before) return false;
  }
  return true;
}

int IStateBase::UnserializeParams(const ByteChunk& chunk, int startPos) {
  int pos = startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    IParam* param = GetParam(i);
    double v = 0.0;
    pos = chunk.Get(&v, pos);
    param->SetValue(v);
  }
  NotifyAllParamsChanged(kSourcePreset);
  return pos;
}

bool IStateBase::SerializePresets(ByteChunk& chunk) const {
  for (int i = 0; i < NPresets(); ++i) {
    const PresetSlot& preset = *mPresets[static_cast<size_t>(i)];
    const int before = chunk.Size();
    bool ok = chunk.PutStr(preset.mName) > before;
    const int beforeFlag = chunk.Size();
    ok = ok && chunk.PutBool(preset.mInitialized) > beforeFlag;
    if (ok && preset.mInitialized) {
      const int beforeState = chunk.Size();
      ok = chunk.PutChunk(preset.mChunk) == beforeState + preset.mChunk.Size();
    }
    if (!ok) return false;
  }
  return true;
}

int IStateBase::UnserializePresets(const ByteChunk& chunk, int startPos) {
  std::string name;
  int pos = startPos;
  for (int i = 0; i < NPresets() && pos >= 0; ++i) {
    PresetSlot& preset = *mPresets[static_cast<size_t>(i)];
    pos = chunk.GetStr(name, pos);
    preset.SetName(name.c_str());
    pos = chunk.GetBool(&preset.mInitialized, pos);
    if (preset.mInitialized) {
      pos = UnserializeState(chunk, pos);
      if (pos > 0) {
        // Store what the parameters took, quantised and clamped, not the raw bytes.
        preset.mChunk.Clear();
        SerializeState(preset.mChunk);
      }
    }
  }
  RestorePreset(mCurrentPresetIdx);
  return pos;
}

bool IStateBase::GetProgramChunk(ByteChunk& chunk) const {
  chunk.InitWithVersionHeader();
  return SerializeState(chunk);
}

bool IStateBase::SetProgramChunk(const ByteChunk& chunk) {
  ByteChunk before;
  SerializeState(before);
  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(chunk, &version);
  if (start < 0 || UnserializeState(chunk, start) < 0) {
    UnserializeState(before, 0);
    return false;
  }
  ModifyCurrentPreset();
  OnStateRestored();
  return true;
}

bool IStateBase::RestorePreset(int idx) {
  if (idx < 0 || idx >= NPresets()) return false;
  PresetSlot& preset = *mPresets[static_cast<size_t>(idx)];
  bool ok;
  if (preset.mInitialized) {
    ok = UnserializeState(preset.mChunk, 0) > 0;
  } else {
    preset.mInitialized = true;
    int n = 1;
    for (const auto& p : mPresets) {
      if (std::strstr(p->mName, "user preset")) ++n;
    }
    Text name;
    name.SetFormatted(kMaxPresetNameLen, "%s %d", "user preset", n);
    preset.SetName(name.Get());
    // A preset freed by a bank keeps its old bytes; the fresh state must replace them, not
    // follow them, or the next restore would read the old state back.
    preset.mChunk.Clear();
    ok = SerializeState(preset.mChunk);
  }
  if (ok) {
    mCurrentPresetIdx = idx;
    OnPresetsModified();
    OnStateRestored();
  }
  return ok;
}

void IStateBase::ModifyCurrentPreset(const char* name) {
  if (mCurrentPresetIdx < 0 || mCurrentPresetIdx >= NPresets()) return;
  PresetSlot& preset = *mPresets[static_cast<size_t>(mCurrentPresetIdx)];
  preset.mChunk.Clear();
  SerializeState(preset.mChunk);
  if (name && name[0] != '\0') preset.SetName(name);
}

void IStateBase::InitFirstFreePreset(const char* name) {
  for (auto& preset : mPresets) {
    if (preset->mInitialized) continue;
    preset->mInitialized = true;
    preset->SetName(name);
    preset->mChunk.Clear();
    SerializeState(preset->mChunk);
    return;
  }
}

const char* IStateBase::GetPresetName(int idx) const {
  const PresetSlot* preset = GetPreset(idx);
  return preset ? preset->mName : "";
}

const PresetSlot* IStateBase::GetPreset(int idx) const {
  return (idx >= 0 && idx < NPresets()) ? mPresets[static_cast<size_t>(idx)].get() : nullptr;
}

}  // namespace kantele
