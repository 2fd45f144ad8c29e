#pragma once

// The LV2 module's entry points. A plug-in defines them once, in one source file of its
// module, with
//
//   KANTELE_LV2_ENTRY(MyPlugin)
//
// where MyPlugin derives from ILv2Adapter, is constructible from an InstanceInfo and has a
// static `Config MakeConfig()`. This defines `lv2_descriptor` and `lv2ui_descriptor`, which
// hosts look up; the editor lives in the same binary as the plug-in.

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include "kantele/lv2/ILv2Adapter.h"
#include "kantele/lv2/Lv2Module.h"

namespace kantele {

/// One `Plugin` for `info`. [main-thread] Allocates; may throw (the module catches).
template <class Plugin>
ILv2Adapter* Lv2CreatePlugin(const InstanceInfo& info) {
  return new Plugin(info);
}

}  // namespace kantele

#define KANTELE_LV2_ENTRY(Plugin)                                                           \
  LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {                  \
    return kantele::Lv2Module::Get(Plugin::MakeConfig(), &kantele::Lv2CreatePlugin<Plugin>) \
        ->Descriptor(index);                                                                \
  }                                                                                         \
  LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {              \
    return kantele::Lv2Module::Get(Plugin::MakeConfig(), &kantele::Lv2CreatePlugin<Plugin>) \
        ->UiDescriptor(index);                                                              \
  }
