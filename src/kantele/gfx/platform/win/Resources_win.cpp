#include <windows.h>

#include <atomic>

#include "kantele/gfx/Resources.h"
#include "kantele/gfx/platform/ModuleResources.h"

// On Windows a module's resources are its own resource section, read through the system, and
// its ModuleHandle is its HMODULE. Resource names compare ignoring case in the system's
// lookup; the build stores them upper-cased.

namespace kantele {
namespace gfx {

namespace {

// Constant-initialized: DllMain may record the module before any other initializer runs.
std::atomic<ModuleHandle> sResourceModule{nullptr};

HMODULE Module(ModuleHandle module) { return static_cast<HMODULE>(const_cast<void*>(module)); }

struct NameWalk {
  platform::ResourceNameVisitor visit;
  void* context;
};

BOOL CALLBACK VisitName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  // Resources known by a number carry it in place of a name pointer.
  if (IS_INTRESOURCE(name)) return TRUE;
  const auto* walk = reinterpret_cast<const NameWalk*>(param);
  return walk->visit(walk->context, name) ? TRUE : FALSE;
}

}  // namespace

void SetResourceModule(ModuleHandle module) {
  sResourceModule.store(module, std::memory_order_release);
}

ModuleHandle GetResourceModule() {
  const ModuleHandle module = sResourceModule.load(std::memory_order_acquire);
  // Without a DllMain (an executable) the resources are the executable's.
  return module ? module : static_cast<ModuleHandle>(GetModuleHandleA(nullptr));
}

namespace platform {

void ForEachModuleResourceName(ModuleHandle module, const char* type, ResourceNameVisitor visit,
                               void* context) {
  if (!module || !type || !visit) return;
  NameWalk walk{visit, context};
  // Answers FALSE both when the walk was stopped and when the type is absent: neither matters.
  EnumResourceNamesA(Module(module), type, &VisitName, reinterpret_cast<LONG_PTR>(&walk));
}

const uint8_t* FindModuleResource(ModuleHandle module, const char* name, const char* type,
                                  size_t& size) {
  size = 0;
  // "#<digits>" would be read as a resource number; no stored name starts with '#'.
  if (!module || !name || !type || name[0] == '#') return nullptr;
  const HMODULE handle = Module(module);
  const HRSRC info = FindResourceA(handle, name, type);
  if (!info) return nullptr;
  const DWORD bytes = SizeofResource(handle, info);
  const HGLOBAL loaded = ::LoadResource(handle, info);
  if (bytes == 0 || !loaded) return nullptr;
  const void* data = LockResource(loaded);
  if (!data) return nullptr;
  size = bytes;
  return static_cast<const uint8_t*>(data);
}

}  // namespace platform
}  // namespace gfx
}  // namespace kantele
