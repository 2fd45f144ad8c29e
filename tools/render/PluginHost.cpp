#include "render/PluginHost.h"

#include <dlfcn.h>

#include <cmath>

#include "render/RenderError.h"

namespace tolvane {
namespace render {

TransportPosition TransportPosition::At(int64_t samples, const HostSettings& settings) {
  TransportPosition p;
  p.quarterNotes = static_cast<double>(samples) / settings.sampleRate * settings.tempo / 60.0;
  // 4/4: a bar is four quarter notes.
  p.barStart = std::floor(p.quarterNotes / 4.0) * 4.0;
  return p;
}

void* PluginHost::OpenLibrary(const std::string& file, const std::string& shown) {
  const std::string name = file.find('/') == std::string::npos ? "./" + file : file;
  dlerror();
  void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    throw RenderError(kExitPlugin, "cannot load plug-in '" + shown +
                                       "': " + (why ? why : "unknown dlopen error"));
  }
  return library;
}

}  // namespace render
}  // namespace tolvane
