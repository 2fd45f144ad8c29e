#include "kantele/gfx/platform/win/InputRules_win.h"

#include <cstring>

namespace kantele {
namespace gfx {
namespace {

constexpr size_t kFilterMaxBytes = 255;
constexpr size_t kDefaultExtensionMaxBytes = 15;
constexpr int kWheelDeltaPerNotch = 120;

}  // namespace

bool NativeTextEntryAccepts(EParamKind kind, uint32_t ch) {
  switch (ch) {
    case 0x08:  // backspace
    case 0x01:  // Ctrl+A
    case 0x03:  // Ctrl+C
    case 0x16:  // Ctrl+V
    case 0x18:  // Ctrl+X
    case 0x1A:  // Ctrl+Z
      return true;
    case '\r':
    case '\n':
    case 0x1B:  // escape
      return false;
    default: break;
  }
  const bool sign = ch == '+' || ch == '-';
  const bool digit = ch >= '0' && ch <= '9';
  switch (kind) {
    case kKindBool:
    case kKindInt:
    case kKindEnum: return digit || sign;
    case kKindDouble: return digit || sign || ch == '.';
    default: return true;
  }
}

NativeFileFilter MakeNativeFileFilter(const char* extensions) {
  NativeFileFilter filter;
  const char* p = extensions ? extensions : "";
  bool first = true;
  while (*p) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    const char* end = std::strchr(p, ' ');
    const size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
    if (first && length <= kDefaultExtensionMaxBytes) filter.mDefaultExtension.assign(p, length);
    first = false;
    // The separator, "*." and the extension.
    const size_t grown = (filter.mPatterns.empty() ? 0 : 1) + 2 + length;
    if (grown <= kFilterMaxBytes - filter.mPatterns.size()) {
      if (!filter.mPatterns.empty()) filter.mPatterns += ';';
      filter.mPatterns += "*.";
      filter.mPatterns.append(p, length);
    }
    p += length;
  }
  return filter;
}

int WheelNotches(int delta) { return delta / kWheelDeltaPerNotch; }

}  // namespace gfx
}  // namespace kantele
