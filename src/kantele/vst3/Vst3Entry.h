#pragma once

// The VST 3 module's entry points. A plug-in defines them once, in one source file of its
// module, with
//
//   KANTELE_VST3_ENTRY(MyPlugin)
//
// where MyPlugin derives from IVst3Adapter, is constructible from an InstanceInfo and has a
// static `Config MakeConfig()`. This defines `GetPluginFactory`, which hosts look up, and the
// platform's module calls: `ModuleEntry`/`ModuleExit` on Linux, `InitDll`/`ExitDll` on Windows.

#include <new>

#include "kantele/vst3/IVst3Adapter.h"
#include "kantele/vst3/Vst3Factory.h"

namespace kantele {

/// Builds one `Plugin` for a host (`NewPluginInstance`): null when it could not be made.
/// [main-thread] Allocates.
template <class Plugin>
IVst3Adapter* Vst3CreatePlugin() {
  return NewPluginInstance<IVst3Adapter>(
      []() -> IVst3Adapter* { return new Plugin(InstanceInfo{}); });
}

}  // namespace kantele

#if defined(_WIN32)
#define KANTELE_VST3_EXPORT extern "C" __declspec(dllexport)
#define KANTELE_VST3_MODULE_CALLS                     \
  KANTELE_VST3_EXPORT bool InitDll() { return true; } \
  KANTELE_VST3_EXPORT bool ExitDll() { return true; }
#else
#define KANTELE_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#define KANTELE_VST3_MODULE_CALLS                                                  \
  KANTELE_VST3_EXPORT bool ModuleEntry(void* handle) { return handle != nullptr; } \
  KANTELE_VST3_EXPORT bool ModuleExit() { return true; }
#endif

#define KANTELE_VST3_ENTRY(Plugin)                                                              \
  KANTELE_VST3_EXPORT kantele::vst3::IPluginFactory* KANTELE_VST3_CALL GetPluginFactory() {     \
    return kantele::Vst3Factory::Get(Plugin::MakeConfig(), &kantele::Vst3CreatePlugin<Plugin>); \
  }                                                                                             \
  KANTELE_VST3_MODULE_CALLS
