#pragma once

// The plug-in library's entry point. A plug-in defines it once, in one source file of its
// module, with
//
//   KANTELE_VST2_ENTRY(MyPlugin)
//
// where MyPlugin derives from IVst2Adapter and is constructible from an InstanceInfo. This
// defines `VSTPluginMain`, which hosts look up, and exports it a second time as `main` for the
// hosts that only look for that name (on Windows through the module definition file, since a
// function cannot be called main there either).

#include <new>

#include "kantele/vst2/IVst2Adapter.h"

namespace kantele {

/// The effect record of a new plug-in object, its preset count raised to at least 1 (hosts
/// show no programs otherwise). [main-thread]
vst2::AEffect* Vst2EffectOf(IVst2Adapter& plug);

/// Builds one `Plugin` for a host (`NewPluginInstance`) and answers its effect record, or null
/// when it could not be made. [main-thread] Allocates.
template <class Plugin>
vst2::AEffect* Vst2PluginMain(vst2::audioMasterCallback hostCallback) {
  IVst2Adapter* plug = NewPluginInstance<IVst2Adapter>([hostCallback]() -> IVst2Adapter* {
    InstanceInfo info;
    info.mVSTHostCallback = hostCallback;
    return new Plugin(info);
  });
  return plug ? Vst2EffectOf(*plug) : nullptr;
}

}  // namespace kantele

#if defined(_WIN32)
#define KANTELE_VST2_EXPORT extern "C" __declspec(dllexport)
// `main` is exported by the module definition file as an alias of VSTPluginMain.
#define KANTELE_VST2_MAIN_ALIAS
#else
#define KANTELE_VST2_EXPORT extern "C" __attribute__((visibility("default")))
// A second symbol named main, bound to the same code. It is declared under another C++ name
// because `main` is reserved for programs.
#define KANTELE_VST2_MAIN_ALIAS                                     \
  KANTELE_VST2_EXPORT kantele::vst2::AEffect* KanteleVst2MainAlias( \
      kantele::vst2::audioMasterCallback) __asm__("main") __attribute__((alias("VSTPluginMain")));
#endif

#define KANTELE_VST2_ENTRY(Plugin)                                            \
  KANTELE_VST2_EXPORT kantele::vst2::AEffect* KANTELE_VST_CALL VSTPluginMain( \
      kantele::vst2::audioMasterCallback hostCallback) {                      \
    return kantele::Vst2PluginMain<Plugin>(hostCallback);                     \
  }                                                                           \
  KANTELE_VST2_MAIN_ALIAS
