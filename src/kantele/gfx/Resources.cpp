#include "kantele/gfx/Resources.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "kantele/Text.h"
#include "kantele/gfx/platform/ModuleResources.h"

namespace kantele {
namespace gfx {

namespace {

// Longest resource type handled; longer types are never in a module.
constexpr size_t kMaxTypeLength = 31;
// The characters of an extension that `IsSupportedImageExtension` looks at.
constexpr size_t kMaxExtensionChecked = 31;

// Copies upper-case(`type`) into `out`; false for a null, empty or overlong type.
bool UpperType(const char* type, char (&out)[kMaxTypeLength + 1]) {
  if (!type || type[0] == '\0') return false;
  const size_t n = strnlen(type, kMaxTypeLength + 1);
  if (n > kMaxTypeLength) return false;
  for (size_t i = 0; i < n; ++i) out[i] = ToUpperAscii(type[i]);
  out[n] = '\0';
  return true;
}

// The search state of `LocateResource`'s walk over the module's names.
struct NameMatch {
  const char* wanted;
  size_t wantedLength;
  char found[kMaxResolvedLength + 1];
  bool matched;
};

// Matches a stored name `"<wanted>"`: quoted, the inner text equal ignoring case. Names the
// build did not quote are not ours and never match. Allocates nothing and cannot throw, as
// the Windows enumeration calls it from the system.
bool MatchName(void* context, const char* stored) {
  auto& m = *static_cast<NameMatch*>(context);
  const size_t n = strnlen(stored, kMaxResolvedLength + 1);
  if (n != m.wantedLength + 2 || stored[0] != '"' || stored[n - 1] != '"') return true;
  if (!EqualIgnoringCaseAscii(stored + 1, m.wanted, m.wantedLength)) return true;
  std::memcpy(m.found, stored, n);
  m.found[n] = '\0';
  m.matched = true;
  return false;
}

bool IsRegularFile(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::vector<uint8_t> ReadWholeFile(const char* path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) return {};
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return {};
  const long size = std::ftell(file.get());
  if (size < 0 || size > kMaxResourceFileSize) return {};
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0 && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return {};
  }
  return bytes;
}

// Where the extension of `name` starts (at its "."), or npos: the last "." counts unless a
// path separator follows it.
size_t ExtensionDot(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return dot;
  if (name.find_first_of("/\\", dot) != std::string::npos) return std::string::npos;
  return dot;
}

}  // namespace

EResourceLocation LocateResource(const char* name, const char* type, std::string& resolved,
                                 ModuleHandle module) {
  if (!name || name[0] == '\0') return kNotFound;

  char upperType[kMaxTypeLength + 1];
  const size_t nameLength = strnlen(name, kMaxResourceNameLength + 1);
  if (module && nameLength <= kMaxResourceNameLength && UpperType(type, upperType)) {
    NameMatch match;
    match.wanted = name;
    match.wantedLength = nameLength;
    match.found[0] = '\0';
    match.matched = false;
    platform::ForEachModuleResourceName(module, upperType, &MatchName, &match);
    if (match.matched) {
      resolved = match.found;
      return kInModule;
    }
  }

  if (IsRegularFile(name)) {
    resolved = name;
    return kAbsolutePath;
  }
  return kNotFound;
}

const uint8_t* ReadModuleResource(const char* resolvedName, const char* type, int& size,
                                  ModuleHandle module) {
  size = 0;
  char upperType[kMaxTypeLength + 1];
  if (!module || !resolvedName || resolvedName[0] == '\0' || !UpperType(type, upperType)) {
    return nullptr;
  }
  if (strnlen(resolvedName, kMaxResolvedLength + 1) > kMaxResolvedLength) return nullptr;

  size_t found = 0;
  const uint8_t* data = platform::FindModuleResource(module, resolvedName, upperType, found);
  if (!data || found < static_cast<size_t>(kMinResourceSize) ||
      found > static_cast<size_t>(INT32_MAX)) {
    return nullptr;
  }
  size = static_cast<int>(found);
  return data;
}

std::vector<uint8_t> LoadResource(const char* name, const char* type, ModuleHandle module) {
  std::string resolved;
  switch (LocateResource(name, type, resolved, module)) {
    case kInModule: {
      int size = 0;
      const uint8_t* data = ReadModuleResource(resolved.c_str(), type, size, module);
      if (!data) return {};
      return std::vector<uint8_t>(data, data + size);
    }
    case kAbsolutePath: return ReadWholeFile(resolved.c_str());
    case kNotFound: break;
  }
  return {};
}

std::string ScaledResourceName(const char* name, int scale) {
  if (!name) return {};
  std::string text(name);
  if (scale == 1) return text;
  const size_t dot = ExtensionDot(text);
  const std::string suffix = "@" + std::to_string(scale) + "x";
  if (dot == std::string::npos) return text + suffix;
  return text.substr(0, dot) + suffix + text.substr(dot);
}

int NextSourceScale(int source, int target) {
  if (source == target && target != 3) return 3;
  if (source == target + 1) return target - 1;
  return source - 1;
}

EResourceLocation FindImage(const char* name, const char* type, std::string& resolved,
                            int targetScale, int& sourceScale, ModuleHandle module) {
  sourceScale = 0;
  if (!name || name[0] == '\0') return kNotFound;
  const int target = std::clamp(targetScale, 1, 3);
  for (int source = target; source > 0; source = NextSourceScale(source, target)) {
    const std::string scaled = ScaledResourceName(name, source);
    const EResourceLocation location = LocateResource(scaled.c_str(), type, resolved, module);
    if (location != kNotFound) {
      sourceScale = source;
      return location;
    }
  }
  return kNotFound;
}

bool IsSupportedImageExtension(const char* ext) {
  if (!ext) return false;
  std::string lower(ext, strnlen(ext, kMaxExtensionChecked));
  for (char& c : lower) c = ToLowerAscii(c);
  return lower.find("png") != std::string::npos || lower.find("jpg") != std::string::npos ||
         lower.find("jpeg") != std::string::npos;
}

std::string FileExtension(const char* name) {
  if (!name) return {};
  const std::string text(name);
  const size_t dot = ExtensionDot(text);
  return dot == std::string::npos ? std::string() : text.substr(dot + 1);
}

}  // namespace gfx
}  // namespace kantele
