// The adapter's set-up, state and editor. The audio path is in ILv2Adapter_run.cpp.

#include "kantele/lv2/ILv2Adapter.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include "kantele/Timer.h"
#include "kantele/gfx/IGfx.h"

namespace kantele {

namespace {

/// The data of the feature `uri` in a host's null-terminated list, or null.
const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  if (!features) return nullptr;
  for (int i = 0; features[i]; ++i) {
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

/// The channel count `info` asks for when the configuration has that "n-n" layout, else the
/// largest "n-n" layout's.
int ChannelsFor(const InstanceInfo& info, const IProcessor& frame) {
  const int maxIn = frame.MaxNChannels(kDirInput);
  if (info.mChannels > 0 && info.mChannels <= maxIn &&
      frame.LegalIO(info.mChannels, info.mChannels)) {
    return info.mChannels;
  }
  for (int n = maxIn; n > 0; --n) {
    if (frame.LegalIO(n, n)) return n;
  }
  return 0;
}

/// The block length the host's options give: the maximum when it gives one, else the
/// nominal one; 0 when neither is a usable integer.
int BlockLengthFromOptions(const LV2_Options_Option* options, LV2_URID_Map* map) {
  if (!options || !map) return 0;
  const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID nominalKey = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
  const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
  const LV2_URID longType = map->map(map->handle, LV2_ATOM__Long);
  int64_t maxLength = 0;
  int64_t nominal = 0;
  for (const LV2_Options_Option* o = options; o->key != 0 || o->value; ++o) {
    if (!o->value) continue;
    int64_t v = 0;
    if (o->type == intType && o->size == sizeof(int32_t)) {
      int32_t i32;
      std::memcpy(&i32, o->value, sizeof(i32));
      v = i32;
    } else if (o->type == longType && o->size == sizeof(int64_t)) {
      std::memcpy(&v, o->value, sizeof(v));
    } else {
      continue;
    }
    if (v < 1 || v > IProcessor::kMaxBlockSize) continue;
    if (o->key == maxKey) maxLength = v;
    if (o->key == nominalKey) nominal = v;
  }
  return static_cast<int>(maxLength > 0 ? maxLength : nominal);
}

}  // namespace

ILv2Adapter::ILv2Adapter(const InstanceInfo& info, const Config& config)
    : IAdapterBase(config), mRole(info.mRole) {
  mAPI = kApiCode;
  // The processing instance's editor, when a host shows one, is an object of its own.
  SetEditorSharesObject(mRole == InstanceInfo::kRoleEditor);
  mChannels = ChannelsFor(info, *this);
  for (EChannelDirection d : {kDirInput, kDirOutput}) {
    ConnectChannels(d, 0, mChannels, true);
    ConnectChannels(d, mChannels, MaxNChannels(d) - mChannels, false);
  }
  const auto nParams = static_cast<size_t>(NParams());
  const auto nChannels = static_cast<size_t>(mChannels);
  mControlPorts.assign(nParams, nullptr);
  mSeenControl = std::make_unique<std::atomic<float>[]>(nParams);
  for (size_t i = 0; i < nParams; ++i) mSeenControl[i] = std::numeric_limits<float>::quiet_NaN();
  mInputPorts.assign(nChannels, nullptr);
  mOutputPorts.assign(nChannels, nullptr);
  mRunInputs.assign(nChannels, nullptr);
  mRunOutputs.assign(nChannels, nullptr);
  SetBlockSize(kDefaultBlockSize);
  // Only the editor object has ticks to run: the processor has no editor to feed.
  if (mRole == InstanceInfo::kRoleEditor) CreateTimer();
}

ILv2Adapter::~ILv2Adapter() = default;

// ---------------------------------------------------------------------------------------------
// The processing instance

bool ILv2Adapter::Instantiate(double sampleRate, const LV2_Feature* const* features) {
  if (!std::isfinite(sampleRate) || !(sampleRate > 0.0)) return false;
  mMap = static_cast<LV2_URID_Map*>(const_cast<void*>(FindFeature(features, LV2_URID__map)));
  if (mMap && !mMap->map) mMap = nullptr;
  if (mMap) {
    mChunkType = mMap->map(mMap->handle, LV2_ATOM__Chunk);
    mStateKey = mMap->map(mMap->handle, kStateChunkUri);
  }
  const auto* options =
      static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));
  const int blockLength = BlockLengthFromOptions(options, mMap);
  SetBlockSize(blockLength > 0 ? blockLength : kDefaultBlockSize);
  SetHost("", 0);
  OnHostIdentified();
  SetSampleRate(sampleRate);
  OnReset();
  return true;
}

void ILv2Adapter::ConnectPort(uint32_t port, void* data) {
  if (port >= static_cast<uint32_t>(NPorts())) return;
  const int p = static_cast<int>(port);
  if (p < FirstInputPort()) {
    mControlPorts[static_cast<size_t>(p)] = static_cast<const float*>(data);
  } else if (p < FirstOutputPort()) {
    mInputPorts[static_cast<size_t>(p - FirstInputPort())] = static_cast<const float*>(data);
  } else {
    mOutputPorts[static_cast<size_t>(p - FirstOutputPort())] = static_cast<float*>(data);
  }
}

void ILv2Adapter::Activate() { OnActivate(true); }

void ILv2Adapter::Deactivate() {
  OnActivate(false);
  OnReset();
}

void ILv2Adapter::MarkControlPortsSeen() {
  for (size_t i = 0; i < mControlPorts.size(); ++i) {
    if (mControlPorts[i]) mSeenControl[i].store(*mControlPorts[i], std::memory_order_relaxed);
  }
}

bool ILv2Adapter::SendMidiMsg(const MidiMsg&) { return false; }

// ---------------------------------------------------------------------------------------------
// State

LV2_State_Status ILv2Adapter::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!mMap) return LV2_STATE_ERR_NO_FEATURE;
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  // A run overlapping the save sets the same values: both are atomic stores of one value.
  for (size_t i = 0; i < mControlPorts.size(); ++i) {
    float value;
    if (PendingControl(i, value)) GetParam(static_cast<int>(i))->SetValue(value);
  }
  if (!GetProgramChunk(mState)) return LV2_STATE_ERR_UNKNOWN;
  return store(handle, mStateKey, mState.GetData(), static_cast<size_t>(mState.Size()), mChunkType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status ILv2Adapter::RestoreState(LV2_State_Retrieve_Function retrieve,
                                           LV2_State_Handle handle) {
  if (!mMap) return LV2_STATE_ERR_NO_FEATURE;
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* data = retrieve(handle, mStateKey, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mChunkType) return LV2_STATE_ERR_BAD_TYPE;
  if (size > static_cast<size_t>(kMaxStateSize)) return LV2_STATE_ERR_UNKNOWN;
  mState.Clear();
  mState.PutBytes(data, static_cast<int>(size));
  if (!SetProgramChunk(mState)) return LV2_STATE_ERR_UNKNOWN;
  // The host's control ports still hold the values from before: the restored state holds until
  // the host changes one (hosts that keep their own control values set them after a restore).
  MarkControlPortsSeen();
  return LV2_STATE_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// The editor object

LV2UI_Widget ILv2Adapter::OpenEditor(LV2UI_Write_Function write, LV2UI_Controller controller,
                                     const LV2_Feature* const* features) {
  if (mRole != InstanceInfo::kRoleEditor || GetUI() || !HasUI()) return nullptr;
  void* parent = const_cast<void*>(FindFeature(features, LV2_UI__parent));
  if (!parent) return nullptr;
  mWrite = write;
  mController = controller;
  mTouch = static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch));
  if (mTouch && !mTouch->touch) mTouch = nullptr;
  mHostResize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
  if (mHostResize && !mHostResize->ui_resize) mHostResize = nullptr;
  SetHost("", 0);
  OnHostIdentified();
  void* window = OpenWindow(parent);
  if (!window) return nullptr;
  // The host sizes its container from here (the resize feature is how LV2 tells it).
  if (mHostResize) {
    mHostResize->ui_resize(mHostResize->handle, GetEditorWidth(), GetEditorHeight());
  }
  return window;
}

void ILv2Adapter::PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format,
                            const void* buffer) {
  if (format != 0 || bufferSize != sizeof(float) || !buffer) return;
  if (port >= static_cast<uint32_t>(NParams())) return;
  float value;
  std::memcpy(&value, buffer, sizeof(value));
  SetParamFromHost(static_cast<int>(port), value, EHostValue::kReal, -1);
}

int ILv2Adapter::Idle() {
  Timer::ServiceDueTimers();
  if (gfx::IGfx* ui = GetUI()) ui->ProcessPendingEvents();
  return 0;
}

int ILv2Adapter::HostResized(int width, int height) {
  if (!GetUI() || width <= 0 || height <= 0) return 1;
  if (width != GetEditorWidth() || height != GetEditorHeight()) ResizeEditorWindow(width, height);
  return 0;
}

bool ILv2Adapter::NotifyHostParamValue(int paramIdx, double normalized) {
  const IParam* param = GetParam(paramIdx);
  if (!mWrite || !param) return false;
  const auto value = static_cast<float>(param->ValueFromNormalized(normalized));
  mWrite(mController, static_cast<uint32_t>(paramIdx), sizeof(float), 0, &value);
  return true;
}

bool ILv2Adapter::NotifyHostBeginEdit(int paramIdx) {
  if (!mTouch || !GetParam(paramIdx)) return false;
  mTouch->touch(mTouch->handle, static_cast<uint32_t>(paramIdx), true);
  return true;
}

bool ILv2Adapter::NotifyHostEndEdit(int paramIdx) {
  if (!mTouch || !GetParam(paramIdx)) return false;
  mTouch->touch(mTouch->handle, static_cast<uint32_t>(paramIdx), false);
  return true;
}

bool ILv2Adapter::AskHostToResizeEditor(int width, int height) {
  // Only the editor object has a window for the host to size.
  return GetUI() && mHostResize && mHostResize->ui_resize(mHostResize->handle, width, height) == 0;
}

}  // namespace kantele
