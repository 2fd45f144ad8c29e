#include "kantele/gfx/platform/linux/GraphicsLibraries.h"

#include <dlfcn.h>
#include <link.h>

#include <mutex>
#include <string>
#include <vector>

namespace kantele {
namespace gfx {

void PinGraphicsLibraries() {
  // A flag and a lock of static storage only: an unloaded module leaves nothing on the heap.
  static std::mutex sMutex;
  static bool sPinned = false;
  std::lock_guard<std::mutex> lock(sMutex);
  if (sPinned) return;
  sPinned = true;
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name && *info->dlpi_name)
          static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
        return 0;
      },
      &names);
  static const char* const kGraphicsStack[] = {
      "libEGL", "libGL",   "_dri.so",   "libglapi",   "libLLVM",    "libgbm",   "libdrm", "libxcb",
      "libX11", "libXext", "libXfixes", "libXxf86vm", "libwayland", "libexpat", "libz."};
  for (const std::string& name : names) {
    const std::string file = name.substr(name.find_last_of('/') + 1);
    for (const char* part : kGraphicsStack) {
      if (file.find(part) != std::string::npos) {
        dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        break;
      }
    }
  }
}

}  // namespace gfx
}  // namespace kantele
