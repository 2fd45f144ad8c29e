#include "kantele/lv2/Lv2Module.h"

#include <cstring>
#include <mutex>
#include <new>

#include "kantele/lv2/Lv2VendorRequest.h"

namespace kantele {

namespace {

/// The module of this process (there is one plug-in per module).
Lv2Module* sModule = nullptr;

std::string UriPart(const char* name) {
  std::string out;
  for (const char* p = name ? name : ""; *p; ++p) {
    const char c = *p;
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c - 'A' + 'a');
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
      out += c;
    } else {
      out += '-';
    }
  }
  return out;
}

ILv2Adapter* AsPlugin(LV2_Handle handle) { return static_cast<ILv2Adapter*>(handle); }

void ConnectPort(LV2_Handle h, uint32_t port, void* data) { AsPlugin(h)->ConnectPort(port, data); }
void Activate(LV2_Handle h) { AsPlugin(h)->Activate(); }
void Run(LV2_Handle h, uint32_t n) { AsPlugin(h)->Run(n); }
void Deactivate(LV2_Handle h) { AsPlugin(h)->Deactivate(); }
void Cleanup(LV2_Handle h) { delete AsPlugin(h); }

LV2_State_Status Save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
  return AsPlugin(h)->SaveState(store, handle);
}

LV2_State_Status Restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  return AsPlugin(h)->RestoreState(retrieve, handle);
}

int64_t VendorRequest(LV2_Handle h, int32_t tag, int64_t value, void* data, double opt) {
  return h ? AsPlugin(h)->OnVendorRequest(tag, value, data, opt) : 0;
}

const LV2_State_Interface kStateInterface = {&Save, &Restore};
const KanteleLv2VendorRequest kVendorRequest = {&VendorRequest};

void CleanupUi(LV2UI_Handle h) {
  ILv2Adapter* plug = AsPlugin(h);
  plug->CloseWindow();
  delete plug;
}

void PortEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  AsPlugin(h)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle h) { return AsPlugin(h)->Idle(); }

// As the editor's extension data, the resize interface's handle is the host's UI handle.
int HostResized(LV2UI_Feature_Handle h, int width, int height) {
  return h ? AsPlugin(h)->HostResized(width, height) : 1;
}

const LV2UI_Idle_Interface kIdleInterface = {&Idle};
const LV2UI_Resize kResizeInterface = {nullptr, &HostResized};

}  // namespace

std::string Lv2PluginUriOf(const Config& config) {
  return "urn:" + UriPart(config.mMfrName) + ":" + UriPart(config.mPluginName);
}

std::string Lv2UiUriOf(const Config& config) { return Lv2PluginUriOf(config) + ":ui"; }

std::vector<Lv2Variant> Lv2VariantsOf(const Config& config) {
  std::vector<ChannelConfig> layouts;
  int maxIn = 0, maxOut = 0, maxInBuses = 0, maxOutBuses = 0;
  IProcessor::ParseChannelIO(config.mChannelIOStr, layouts, maxIn, maxOut, maxInBuses, maxOutBuses);
  std::vector<int> counts;
  for (const ChannelConfig& layout : layouts) {
    const int n = layout.NChansOnBuses(kDirInput);
    if (n > 0 && n == layout.NChansOnBuses(kDirOutput)) counts.push_back(n);
  }
  std::vector<Lv2Variant> variants;
  for (int n = maxIn; n > 0; --n) {
    bool listed = false;
    for (int c : counts) listed = listed || c == n;
    if (!listed) continue;
    std::string uri = Lv2PluginUriOf(config);
    if (!variants.empty()) uri += n == 1 ? ":mono" : ":" + std::to_string(n) + "ch";
    variants.push_back({uri, n});
  }
  return variants;
}

Lv2Module* Lv2Module::Get(const Config& config, CreateFunc create) {
  static Lv2Module module(config, create);
  sModule = &module;
  return &module;
}

Lv2Module::Lv2Module(const Config& config, CreateFunc create)
    : mCreate(create),
      mHasUI(config.mPlugHasUI),
      mUiUri(Lv2UiUriOf(config)),
      mVariants(Lv2VariantsOf(config)) {
  for (const Lv2Variant& v : mVariants) {
    LV2_Descriptor d = {};
    d.URI = v.mUri.c_str();
    d.instantiate = &Lv2Module::Instantiate;
    d.connect_port = &ConnectPort;
    d.activate = &Activate;
    d.run = &Run;
    d.deactivate = &Deactivate;
    d.cleanup = &Cleanup;
    d.extension_data = &Lv2Module::ExtensionData;
    mDescriptors.push_back(d);
  }
  mUiDescriptor.URI = mUiUri.c_str();
  mUiDescriptor.instantiate = &Lv2Module::InstantiateUi;
  mUiDescriptor.cleanup = &CleanupUi;
  mUiDescriptor.port_event = &PortEvent;
  mUiDescriptor.extension_data = &Lv2Module::UiExtensionData;
}

const LV2_Descriptor* Lv2Module::Descriptor(uint32_t index) const {
  return index < mDescriptors.size() ? &mDescriptors[index] : nullptr;
}

const LV2UI_Descriptor* Lv2Module::UiDescriptor(uint32_t index) const {
  return index == 0 && mHasUI && !mVariants.empty() ? &mUiDescriptor : nullptr;
}

const Lv2Variant* Lv2Module::VariantOf(const char* uri) const {
  if (!uri) return nullptr;
  for (const Lv2Variant& v : mVariants) {
    if (v.mUri == uri) return &v;
  }
  return nullptr;
}

ILv2Adapter* Lv2Module::Create(const InstanceInfo& info) const {
  return NewPluginInstance<ILv2Adapter>([this, &info] { return mCreate(info); });
}

LV2_Handle Lv2Module::Instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                                  const LV2_Feature* const* features) {
  const Lv2Variant* variant = descriptor ? sModule->VariantOf(descriptor->URI) : nullptr;
  if (!variant) return nullptr;
  ILv2Adapter* plug = sModule->Create({InstanceInfo::kRoleProcessor, variant->mChannels});
  if (!plug) return nullptr;
  if (!plug->Instantiate(rate, features)) {
    delete plug;
    return nullptr;
  }
  return plug;
}

const void* Lv2Module::ExtensionData(const char* uri) {
  if (!uri) return nullptr;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
  if (std::strcmp(uri, KANTELE_LV2_VENDOR_REQUEST_URI) == 0) return &kVendorRequest;
  return nullptr;
}

LV2UI_Handle Lv2Module::InstantiateUi(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                                      LV2UI_Write_Function write, LV2UI_Controller controller,
                                      LV2UI_Widget* widget, const LV2_Feature* const* features) {
  const Lv2Variant* variant = sModule->VariantOf(pluginUri);
  if (!variant || !widget || !sModule->mHasUI) return nullptr;
  *widget = nullptr;
  ILv2Adapter* plug = sModule->Create({InstanceInfo::kRoleEditor, variant->mChannels});
  if (!plug) return nullptr;
  LV2UI_Widget window = plug->OpenEditor(write, controller, features);
  if (!window) {
    delete plug;
    return nullptr;
  }
  *widget = window;
  return plug;
}

const void* Lv2Module::UiExtensionData(const char* uri) {
  if (!uri) return nullptr;
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
  if (std::strcmp(uri, LV2_UI__resize) == 0) return &kResizeInterface;
  return nullptr;
}

}  // namespace kantele
