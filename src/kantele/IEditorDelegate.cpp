#include "kantele/IEditorDelegate.h"

#include <algorithm>

namespace kantele {

const char* ParamSourceName(EParamSource source) {
  static const char* const kNames[kNumParamSources] = {
      "Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown"};
  return (source >= 0 && source < kNumParamSources) ? kNames[source] : "Unknown";
}

IEditorDelegate::IEditorDelegate(int nParams) {
  const int n = std::max(0, nParams);
  mParams.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) mParams.push_back(std::make_unique<IParam>());
}

IEditorDelegate::~IEditorDelegate() {
  while (!mParams.empty()) mParams.pop_back();
}

void* IEditorDelegate::OpenWindow(void*) {
  OnEditorOpened();
  return nullptr;
}

void IEditorDelegate::CloseWindow() { OnEditorClosing(); }
void IEditorDelegate::OnParentResized(int, int) {}
void IEditorDelegate::OnEditorOpened() { SendAllParamValuesToEditor(); }
void IEditorDelegate::OnEditorClosing() {}
void IEditorDelegate::OnParamChange(int) {}

void IEditorDelegate::OnParamChange(int paramIdx, EParamSource, int) { OnParamChange(paramIdx); }

void IEditorDelegate::OnParamChangeInEditor(int, EParamSource) {}

void IEditorDelegate::NotifyAllParamsChanged(EParamSource source) {
  for (int i = 0; i < NParams(); ++i) {
    OnParamChange(i, source, -1);
    OnParamChangeInEditor(i, source);
  }
}

void IEditorDelegate::OnMidiInEditor(const MidiMsg&) {}
void IEditorDelegate::OnSysExInEditor(const SysExMsg&) {}
bool IEditorDelegate::OnEditorMessage(int, int, int, const void*) { return false; }
void IEditorDelegate::OnStateRestored() { SendAllParamValuesToEditor(); }
bool IEditorDelegate::OnKeyDown(const gfx::KeyPress&) { return false; }
bool IEditorDelegate::OnKeyUp(const gfx::KeyPress&) { return false; }
void IEditorDelegate::PushControlValueToEditor(int, double) {}

void IEditorDelegate::PushControlMsgToEditor(int ctrlTag, int msgTag, int dataSize,
                                             const void* data) {
  OnEditorMessage(msgTag, ctrlTag, dataSize, data);
}

void IEditorDelegate::PushMessageToEditor(int msgTag, int dataSize, const void* data) {
  OnEditorMessage(msgTag, -1, dataSize, data);
}

void IEditorDelegate::PushMidiToEditor(const MidiMsg& msg) { OnMidiInEditor(msg); }
void IEditorDelegate::PushSysExToEditor(const SysExMsg& msg) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  OnSysExInEditor(msg);
}

void IEditorDelegate::PushParamValueToEditor(int paramIdx, double, bool) {
  OnParamChangeInEditor(paramIdx, kSourceEditorDelegate);
}

void IEditorDelegate::SendAllParamsToHost() {}

void IEditorDelegate::ParamValueFromEditor(int paramIdx, double normalized) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetFromNormalized(normalized);
  OnParamChangeInEditor(paramIdx, kSourceUI);
}

bool IEditorDelegate::ResizeFromEditor(int, int, bool) { return false; }
void IEditorDelegate::MidiFromEditor(const MidiMsg&) {}
void IEditorDelegate::SysExFromEditor(const SysExMsg&) {}
void IEditorDelegate::MessageFromEditor(int, int, int, const void*) {}
void IEditorDelegate::QueueMidiForProcessor(const MidiMsg&) {}
void IEditorDelegate::QueueSysExForProcessor(const SysExMsg&) {}
bool IEditorDelegate::SerializeEditorState(ByteChunk&) const { return true; }
int IEditorDelegate::UnserializeEditorState(const ByteChunk&, int startPos) { return startPos; }
void IEditorDelegate::SetScreenScale(float) {}

void IEditorDelegate::SendAllParamValuesToEditor() {
  for (int i = 0; i < NParams(); ++i) {
    PushParamValueToEditor(i, mParams[static_cast<size_t>(i)]->GetValueNormalized(), true);
  }
}

IParam* IEditorDelegate::GetParam(int paramIdx) {
  return (paramIdx >= 0 && paramIdx < NParams()) ? mParams[static_cast<size_t>(paramIdx)].get()
                                                 : nullptr;
}

const IParam* IEditorDelegate::GetParam(int paramIdx) const {
  return (paramIdx >= 0 && paramIdx < NParams()) ? mParams[static_cast<size_t>(paramIdx)].get()
                                                 : nullptr;
}

void IEditorDelegate::SetSizeConstraints(int widthLo, int widthHi, int heightLo, int heightHi) {
  mMinWidth = std::min(widthLo, widthHi);
  mMaxWidth = std::max(widthLo, widthHi);
  mMinHeight = std::min(heightLo, heightHi);
  mMaxHeight = std::max(heightLo, heightHi);
}

}  // namespace kantele
