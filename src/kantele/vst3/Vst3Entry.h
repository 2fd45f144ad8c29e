#pragma once

// The VST 3 module's entry points. A plug-in defines them once, in one source file of its
// module, with
//
//   KANTELE_VST3_ENTRY(MyPlugin)
//
// where MyPlugin derives from IVst3Adapter, is constructible from an InstanceInfo and has a
// static `Config MakeConfig()`. This defines `GetPluginFactory`, which hosts look up, and the
// platform's module calls: `ModuleEntry`/`ModuleExit` on Linux, `InitDll`/`ExitDll` on Windows.

#include <mutex>
#include <new>

#include "kantele/vst3/IVst3Adapter.h"
#include "kantele/vst3/Vst3Factory.h"

namespace kantele {

/// The process-wide lock under which plug-in objects are constructed, so that no two instances
/// are ever constructed concurrently.
std::mutex& Vst3ConstructionLock();

/// Fills the default presets of a freshly constructed plug-in, as the VST2 entry does (every
/// preset its constructor left free becomes "Empty", holding the state at load).
/// [main-thread] Allocates.
void Vst3FinishInstance(IVst3Adapter& plug);

/// Builds one `Plugin` for a host: null when it could not be made. Nothing thrown while
/// constructing crosses into the host. [main-thread] Allocates.
template <class Plugin>
IVst3Adapter* Vst3CreatePlugin() {
  IVst3Adapter* plug = nullptr;
  try {
    std::lock_guard<std::mutex> lock(Vst3ConstructionLock());
    plug = new Plugin(InstanceInfo{});
  } catch (...) {
    return nullptr;
  }
  try {
    Vst3FinishInstance(*plug);
  } catch (...) {
    plug->release();
    return nullptr;
  }
  return plug;
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
