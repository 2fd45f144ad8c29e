#pragma once

// Functions the system offers only on some versions, looked up by name at run time so the
// module loads everywhere. Only Windows platform code includes this header.

#include <windows.h>

namespace kantele {
namespace gfx {

/// The export `name` of `module` as the function pointer type `F` it is declared with; null
/// when the module is null or has no such export. [any-thread]
template <class F>
F LookupExport(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace gfx
}  // namespace kantele
