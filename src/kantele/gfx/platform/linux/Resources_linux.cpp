#include <atomic>
#include <cstring>

#include "kantele/Text.h"
#include "kantele/gfx/EmbeddedResources.h"
#include "kantele/gfx/Resources.h"
#include "kantele/gfx/platform/ModuleResources.h"

// On Linux a module's resources are the table its generated source embedded (see
// EmbeddedResources.h), and its ModuleHandle is that table's address.

namespace kantele {
namespace gfx {

namespace {

// Constant-initialized, so a table registered from any static initializer is kept whatever
// the order the module's initializers run in.
std::atomic<ModuleHandle> sResourceModule{nullptr};

const EmbeddedResourceTable* Table(ModuleHandle module) {
  return static_cast<const EmbeddedResourceTable*>(module);
}

}  // namespace

void SetResourceModule(ModuleHandle module) {
  sResourceModule.store(module, std::memory_order_release);
}

ModuleHandle GetResourceModule() { return sResourceModule.load(std::memory_order_acquire); }

namespace platform {

void ForEachModuleResourceName(ModuleHandle module, const char* type, ResourceNameVisitor visit,
                               void* context) {
  const EmbeddedResourceTable* table = Table(module);
  if (!table || !type || !visit) return;
  for (size_t i = 0; i < table->mCount; ++i) {
    const EmbeddedResource& entry = table->mEntries[i];
    if (!EqualIgnoringCaseAscii(entry.mType, type)) continue;
    if (!visit(context, entry.mName)) return;
  }
}

const uint8_t* FindModuleResource(ModuleHandle module, const char* name, const char* type,
                                  size_t& size) {
  size = 0;
  const EmbeddedResourceTable* table = Table(module);
  if (!table || !name || !type) return nullptr;
  for (size_t i = 0; i < table->mCount; ++i) {
    const EmbeddedResource& entry = table->mEntries[i];
    if (EqualIgnoringCaseAscii(entry.mType, type) && EqualIgnoringCaseAscii(entry.mName, name)) {
      size = entry.mSize;
      return entry.mData;
    }
  }
  return nullptr;
}

}  // namespace platform
}  // namespace gfx
}  // namespace kantele
