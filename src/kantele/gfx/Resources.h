#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kantele {
namespace gfx {

// Artwork and fonts live inside the plug-in's own module as resources. Code names them by file
// name ("ledOn.png", "Roboto-Regular.ttf"); the module stores each under its upper-cased file
// name wrapped in double quotes (`"LEDON.PNG"`) with the upper-cased extension as its type
// ("PNG"). Lookups ignore ASCII case; a name that is not in the module may still name a file on
// disk. `kantele_add_resources` (cmake/KanteleResources.cmake) embeds the files at build time.

/// Where a resource name was found.
enum EResourceLocation : int32_t { kNotFound = 0, kAbsolutePath = 1, kInModule = 2 };

/// The module whose resources are read: an HMODULE on Windows, a pointer to the module's
/// `EmbeddedResourceTable` on Linux. Null means a module without resources.
using ModuleHandle = const void*;

/// Longest name that can match a resource: its quoted form then fits in `kMaxResolvedLength`.
constexpr size_t kMaxResourceNameLength = 258;
/// Longest resolved name of a resource in the module, quotes included.
constexpr size_t kMaxResolvedLength = kMaxResourceNameLength + 2;
/// Files larger than this are refused by `LoadResource`.
constexpr long kMaxResourceFileSize = 256L * 1024 * 1024;
/// Resources of fewer bytes than this count as missing: no image or font is that short.
constexpr int kMinResourceSize = 8;

/// Records the module whose resources this copy of the library reads. Called once when the
/// module is loaded: by its DllMain on Windows, by its generated resource table's static
/// initializer on Linux. [any-thread] Lock-free.
void SetResourceModule(ModuleHandle module);

/// The recorded module. When none was recorded: the executable's own handle on Windows, null
/// (no resources) on Linux. On Linux the table is recorded during the module's static
/// initialization, so other static initializers may run before it. [any-thread] Lock-free.
ModuleHandle GetResourceModule();

/// Finds `name` (compared ignoring ASCII case) among the resources of type upper-case(`type`) in
/// `module`. In the module: `resolved` becomes the stored, quoted name (what
/// `ReadModuleResource` takes) and the answer is kInModule; the first match wins. Otherwise, if
/// `name` is the path of a regular file: `resolved` = `name`, answer kAbsolutePath. Otherwise
/// kNotFound and `resolved` is left as it was. A null or empty `name` is never found; a null or
/// empty `type`, a null `module` or a name longer than kMaxResourceNameLength skips the module
/// but may still name a file. [any-thread] Allocates.
EResourceLocation LocateResource(const char* name, const char* type, std::string& resolved,
                                 ModuleHandle module);

/// The bytes of the resource `resolvedName` (the quoted name `LocateResource` resolved,
/// compared ignoring ASCII case) of type upper-case(`type`) in `module`, and their count in
/// `size`. Not copied: valid while the module is loaded. A missing resource, or one shorter
/// than kMinResourceSize, gives null and `size` 0. [any-thread] Does not allocate.
const uint8_t* ReadModuleResource(const char* resolvedName, const char* type, int& size,
                                  ModuleHandle module);

/// A copy of the resource's bytes: from the module when `LocateResource` finds it there, else
/// the whole file it names. Empty when the resource is not found, is shorter than
/// kMinResourceSize in the module, or the file cannot be read completely or is larger than
/// kMaxResourceFileSize. [any-thread] Allocates.
std::vector<uint8_t> LoadResource(const char* name, const char* type, ModuleHandle module);

/// The name of the artwork drawn for `scale` (device pixels per UI unit): `name` itself for
/// scale 1, otherwise "@<scale>x" inserted before the extension: "ledOn@2x.png", and
/// "dir.v2/knob@2x" for "dir.v2/knob" (a "." followed by a path separator starts no extension).
/// A null `name` gives an empty text.
std::string ScaledResourceName(const char* name, int scale);

/// The scale to try after `source` when artwork for `target` is wanted: the exact scale first,
/// then the next larger (drawn smaller, staying sharp), then smaller ones. From target 1 the
/// order is 1, 3, 2; from 2 it is 2, 3, 1; from 3 it is 3, 2, 1, each followed by 0 (stop).
int NextSourceScale(int source, int target);

/// Finds the artwork for `name` at `targetScale` (clamped into 1..3), trying scales in the
/// order of `NextSourceScale` and locating each scaled name as `LocateResource` does. On
/// success `sourceScale` is the scale whose artwork was found and `resolved` its resolved
/// name; kNotFound leaves `resolved` as it was and sets `sourceScale` to 0.
/// [any-thread] Allocates.
EResourceLocation FindImage(const char* name, const char* type, std::string& resolved,
                            int targetScale, int& sourceScale, ModuleHandle module);

/// Whether `ext` names an image format the library decodes: its first 31 characters,
/// lower-cased, contain "png", "jpg" or "jpeg". Null or empty: false.
bool IsSupportedImageExtension(const char* ext);

/// The text after the last "." of `name`; empty when there is none, or when a path separator
/// ("/" or "\") follows it ("dir.v2/knob" has no extension). Null gives an empty text.
std::string FileExtension(const char* name);

}  // namespace gfx
}  // namespace kantele
