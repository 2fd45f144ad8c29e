// A loadable module carrying resources of its own (probe.png), for ResourceModule_test.cpp:
// it answers what this module's copy of the library finds.

#include <string>
#include <vector>

#include "kantele/gfx/Resources.h"

/// Locates `name` of `type` among this module's resources and answers the location; `size`
/// receives the bytes LoadResource gives, `module` the module GetResourceModule answers here.
extern "C" int KanteleResourceProbe(const char* name, const char* type, int* size,
                                    const void** module) {
  using namespace kantele::gfx;
  const ModuleHandle own = GetResourceModule();
  if (module) *module = own;
  std::string resolved;
  const EResourceLocation location = LocateResource(name, type, resolved, own);
  if (size) *size = static_cast<int>(LoadResource(name, type, own).size());
  return location;
}
