#pragma once

#include <cstddef>
#include <cstdint>

namespace kantele {
namespace gfx {

// The resources `kantele_add_resources` embeds into a Linux module. The build generates one
// source per module holding the bytes (assembled in with .incbin) and a table of these
// entries, and records the table with `SetResourceModule` from a static initializer, so the
// module's `ModuleHandle` is the table's address. Windows modules use the system's resource
// section instead and never see these types.

/// One embedded file.
struct EmbeddedResource {
  /// Upper-cased file name in double quotes, e.g. "\"LEDON.PNG\"".
  const char* mName;
  /// Upper-cased extension, e.g. "PNG".
  const char* mType;
  /// The file's bytes, in the module's read-only data.
  const uint8_t* mData;
  /// The number of bytes.
  size_t mSize;
};

/// Every embedded file of one module, in the order the build listed them.
struct EmbeddedResourceTable {
  const EmbeddedResource* mEntries;
  size_t mCount;
};

}  // namespace gfx
}  // namespace kantele
