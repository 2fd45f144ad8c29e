#pragma once

// The format adapter a plug-in's sources build on, chosen per build target: a plug-in class
// derives from `kantele::IPluginAdapter` and its module's entry file says
// `KANTELE_PLUGIN_ENTRY(MyPlugin)`; the target that builds the sources for a format defines
// that format's macro (KANTELE_API_VST3 for VST 3, KANTELE_API_LV2 for LV2; none for VST 2.4).
// Only the adapters know their format.

#if defined(KANTELE_API_LV2)
#include "kantele/lv2/ILv2Adapter.h"
namespace kantele {
using IPluginAdapter = ILv2Adapter;
}
#define KANTELE_PLUGIN_ENTRY_HEADER "kantele/lv2/Lv2Entry.h"
#define KANTELE_PLUGIN_ENTRY(Plugin) KANTELE_LV2_ENTRY(Plugin)
#elif defined(KANTELE_API_VST3)
#include "kantele/vst3/IVst3Adapter.h"
namespace kantele {
using IPluginAdapter = IVst3Adapter;
}
#define KANTELE_PLUGIN_ENTRY_HEADER "kantele/vst3/Vst3Entry.h"
#define KANTELE_PLUGIN_ENTRY(Plugin) KANTELE_VST3_ENTRY(Plugin)
#else
#include "kantele/vst2/IVst2Adapter.h"
namespace kantele {
using IPluginAdapter = IVst2Adapter;
}
#define KANTELE_PLUGIN_ENTRY_HEADER "kantele/vst2/Vst2Entry.h"
#define KANTELE_PLUGIN_ENTRY(Plugin) KANTELE_VST2_ENTRY(Plugin)
#endif
