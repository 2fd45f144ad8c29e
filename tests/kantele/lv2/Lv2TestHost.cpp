#include "kantele/lv2/Lv2TestHost.h"

#include <algorithm>
#include <cstring>

#include <lv2/atom/atom.h>

#include "kantele/lv2/Lv2VendorRequest.h"

namespace kantele::test {

LV2_URID Lv2Features::Map(const char* uri) {
  const auto found = std::find(mUris.begin(), mUris.end(), uri);
  if (found != mUris.end()) return static_cast<LV2_URID>(found - mUris.begin() + 1);
  mUris.emplace_back(uri);
  return static_cast<LV2_URID>(mUris.size());
}

Lv2Option IntOption(const char* key, int32_t value, const char* type) {
  Lv2Option o{key, type ? type : LV2_ATOM__Int, std::vector<uint8_t>(sizeof(value))};
  std::memcpy(o.mValue.data(), &value, sizeof(value));
  return o;
}

Lv2Option LongOption(const char* key, int64_t value) {
  Lv2Option o{key, LV2_ATOM__Long, std::vector<uint8_t>(sizeof(value))};
  std::memcpy(o.mValue.data(), &value, sizeof(value));
  return o;
}

Lv2Features::Lv2Features(bool withMap, std::vector<Lv2Option> options)
    : mOptionValues(std::move(options)) {
  mMap.handle = this;
  mMap.map = [](LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<Lv2Features*>(handle)->Map(uri);
  };
  mMapFeature = {LV2_URID__map, &mMap};
  for (const Lv2Option& o : mOptionValues) {
    mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, Map(o.mKey),
                        static_cast<uint32_t>(o.mValue.size()), Map(o.mType), o.mValue.data()});
  }
  mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
  mOptionsFeature = {LV2_OPTIONS__options, mOptions.data()};
  if (withMap) mList.push_back(&mMapFeature);
  if (!mOptionValues.empty()) mList.push_back(&mOptionsFeature);
  mList.push_back(nullptr);
}

LV2_State_Status Lv2StateStore::Store(LV2_State_Handle handle, uint32_t key, const void* value,
                                      size_t size, uint32_t type, uint32_t flags) {
  const auto* bytes = static_cast<const uint8_t*>(value);
  static_cast<Lv2StateStore*>(handle)->mProperties[key] = {
      {bytes, bytes + size}, type, flags, size};
  return LV2_STATE_SUCCESS;
}

const void* Lv2StateStore::Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size,
                                    uint32_t* type, uint32_t* flags) {
  auto& properties = static_cast<Lv2StateStore*>(handle)->mProperties;
  const auto found = properties.find(key);
  if (found == properties.end()) return nullptr;
  *size = found->second.mReportedSize;
  *type = found->second.mType;
  *flags = found->second.mFlags;
  // A property of no bytes is still there: its value is not null.
  static const uint8_t kNoBytes = 0;
  return found->second.mBytes.empty() ? &kNoBytes : found->second.mBytes.data();
}

Lv2Instance::Lv2Instance(const LV2_Descriptor* descriptor, double rate,
                         const LV2_Feature* const* features)
    : mDescriptor(descriptor) {
  mHandle = descriptor->instantiate(descriptor, rate, "/nowhere/", features);
  if (!mHandle) return;
  mControls.resize(static_cast<size_t>(Adapter().NParams()));
  for (int i = 0; i < Adapter().NParams(); ++i) {
    Control(i) = static_cast<float>(Adapter().GetParam(i)->GetDefaultValue());
    Connect(static_cast<uint32_t>(i), &Control(i));
  }
  descriptor->activate(mHandle);
}

Lv2Instance::~Lv2Instance() {
  if (!mHandle) return;
  mDescriptor->deactivate(mHandle);
  mDescriptor->cleanup(mHandle);
}

void Lv2Instance::Run(Planar<float>& in, Planar<float>& out, int offset, int frames) {
  const auto channels = static_cast<uint32_t>(in.channel.size());
  for (uint32_t c = 0; c < channels; ++c) {
    Connect(static_cast<uint32_t>(Adapter().FirstInputPort()) + c, in.channel[c].data() + offset);
    Connect(static_cast<uint32_t>(Adapter().FirstOutputPort()) + c, out.channel[c].data() + offset);
  }
  Run(static_cast<uint32_t>(frames));
}

Planar<float> Lv2Instance::Render(Planar<float>& in, const std::vector<int>& runs, bool inPlace) {
  Planar<float> out =
      inPlace ? in : Planar<float>(static_cast<int>(in.channel.size()), in.Frames());
  size_t next = 0;
  for (int offset = 0; offset < in.Frames(); next = (next + 1) % runs.size()) {
    const int n = std::min(runs[next], in.Frames() - offset);
    Run(inPlace ? out : in, out, offset, n);
    offset += n;
  }
  return out;
}

namespace {

const LV2_State_Interface* StateInterface(const LV2_Descriptor* descriptor) {
  return static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
}

}  // namespace

LV2_State_Status Lv2Instance::Save(Lv2StateStore& store) const {
  return StateInterface(mDescriptor)
      ->save(mHandle, &Lv2StateStore::Store, &store, LV2_STATE_IS_POD, nullptr);
}

LV2_State_Status Lv2Instance::Restore(Lv2StateStore& store) const {
  return StateInterface(mDescriptor)
      ->restore(mHandle, &Lv2StateStore::Retrieve, &store, LV2_STATE_IS_POD, nullptr);
}

int64_t Lv2Instance::VendorRequest(int32_t tag, int64_t value, double opt) const {
  const auto* request = static_cast<const KanteleLv2VendorRequest*>(
      mDescriptor->extension_data(KANTELE_LV2_VENDOR_REQUEST_URI));
  return request ? request->request(mHandle, tag, value, nullptr, opt) : -1;
}

Lv2UiHost::Lv2UiHost() {
  mTouch.handle = this;
  mTouch.touch = [](LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
    static_cast<Lv2UiHost*>(handle)->mTouches.emplace_back(port, grabbed);
  };
  mResize.handle = this;
  mResize.ui_resize = [](LV2UI_Feature_Handle handle, int width, int height) {
    auto* host = static_cast<Lv2UiHost*>(handle);
    host->mResizes.emplace_back(width, height);
    return host->mResizeAnswer;
  };
}

LV2UI_Handle Lv2UiHost::Instantiate(const LV2UI_Descriptor* descriptor, const char* pluginUri,
                                    unsigned long parent, LV2UI_Widget* widget) {
  const LV2_Feature parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parent)};
  const LV2_Feature touch = {LV2_UI__touch, &mTouch};
  const LV2_Feature resize = {LV2_UI__resize, &mResize};
  const LV2_Feature* features[] = {&touch, &resize, parent ? &parentFeature : nullptr, nullptr};
  const LV2UI_Write_Function write = [](LV2UI_Controller controller, uint32_t port, uint32_t size,
                                        uint32_t format, const void* buffer) {
    float value = 0.f;
    if (size == sizeof(float)) std::memcpy(&value, buffer, sizeof(float));
    static_cast<Lv2UiHost*>(const_cast<void*>(controller))
        ->mWrites.emplace_back(port, size, format, value);
  };
  return descriptor->instantiate(descriptor, pluginUri, "/nowhere/", write, this, widget, features);
}

}  // namespace kantele::test
