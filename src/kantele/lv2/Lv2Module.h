#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include "kantele/Config.h"
#include "kantele/lv2/ILv2Adapter.h"

namespace kantele {

/// One plug-in an LV2 module offers: its URI and its channel count (each direction).
struct Lv2Variant {
  std::string mUri;
  int mChannels = 0;
};

/// The plug-in URI of a configuration: "urn:<maker>:<plug-in>", both names in lower case with
/// every character but letters, digits and '-' written as '-' ("urn:quellmark:tolvane"). It
/// never changes, since hosts store it in their sessions.
std::string Lv2PluginUriOf(const Config& config);
/// The editor's URI: the plug-in URI and ":ui". One editor serves every variant.
std::string Lv2UiUriOf(const Config& config);
/// The plug-ins offered for the configuration's "n-n" layouts, largest first: the largest under
/// the plug-in URI, the others under it with ":mono" (one channel) or ":<n>ch". LV2 fixes a
/// plug-in's ports in its description, so each channel count is a plug-in of its own.
std::vector<Lv2Variant> Lv2VariantsOf(const Config& config);

/// The module's LV2 descriptors (one per variant) and its editor's descriptor, with the calls
/// that reach the plug-in objects. One per process, made by the first descriptor request.
class Lv2Module {
 public:
  /// Makes one plug-in object for `info`, or null. [main-thread] Allocates.
  using CreateFunc = ILv2Adapter* (*)(const InstanceInfo& info);

  /// The module, made from `config` and `create` on the first call. [main-thread]
  static Lv2Module* Get(const Config& config, CreateFunc create);

  /// The plug-in descriptor at `index`, or null past the last.
  const LV2_Descriptor* Descriptor(uint32_t index) const;
  /// The editor's descriptor at index 0 (when the configuration has an editor), else null.
  const LV2UI_Descriptor* UiDescriptor(uint32_t index) const;

  const std::vector<Lv2Variant>& Variants() const { return mVariants; }

 private:
  Lv2Module(const Config& config, CreateFunc create);

  static LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                                const LV2_Feature* const* features);
  static const void* ExtensionData(const char* uri);
  static LV2UI_Handle InstantiateUi(const LV2UI_Descriptor* descriptor, const char* pluginUri,
                                    const char* bundle, LV2UI_Write_Function write,
                                    LV2UI_Controller controller, LV2UI_Widget* widget,
                                    const LV2_Feature* const* features);
  static const void* UiExtensionData(const char* uri);
  /// The variant of `uri`, or null.
  const Lv2Variant* VariantOf(const char* uri) const;
  /// A new object, or null when construction failed. Nothing thrown crosses into the host.
  ILv2Adapter* Create(const InstanceInfo& info) const;

  CreateFunc mCreate;
  bool mHasUI = false;
  std::string mUiUri;
  std::vector<Lv2Variant> mVariants;
  std::vector<LV2_Descriptor> mDescriptors;
  LV2UI_Descriptor mUiDescriptor = {};
};

}  // namespace kantele
