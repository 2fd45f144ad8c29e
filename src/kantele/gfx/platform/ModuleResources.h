#pragma once

#include <cstddef>
#include <cstdint>

#include "kantele/gfx/Resources.h"

// The two primitives each platform gives the resource lookup (gfx/Resources.cpp): walk the
// names of one type, and find one resource's bytes. Windows reads the module's own resource
// section; Linux reads the table a generated source embedded into the module. Names and types
// arrive as the common code passes them (types already upper-case); a null module has none.

namespace kantele {
namespace gfx {
namespace platform {

/// Called with each resource name; answers false to stop the walk. Must not throw: on Windows
/// it is called back from the system.
using ResourceNameVisitor = bool (*)(void* context, const char* name);

/// Calls `visit(context, name)` for every resource of type `type` in `module` that has a name
/// (resources known by a number are skipped), in the module's order, until `visit` answers
/// false. [any-thread] Does not allocate.
void ForEachModuleResourceName(ModuleHandle module, const char* type, ResourceNameVisitor visit,
                               void* context);

/// The bytes of the resource named `name` (ASCII case ignored) of type `type` in `module` and
/// their count in `size`, or null (and `size` 0) when there is none. The bytes stay valid while
/// the module is loaded. [any-thread] Does not allocate.
const uint8_t* FindModuleResource(ModuleHandle module, const char* name, const char* type,
                                  size_t& size);

}  // namespace platform
}  // namespace gfx
}  // namespace kantele
