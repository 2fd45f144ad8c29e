#include "kantele/vst3/Vst3Text.h"

#include <cstring>

#include "kantele/Text.h"

namespace kantele {
namespace vst3 {

void CopyToString16(const char* utf8, char16* dst, size_t capacity) {
  if (!dst || capacity < 1) return;
  const std::u16string text = Utf8ToUtf16(utf8 ? utf8 : "");
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  // A high surrogate whose partner does not fit goes with it.
  if (n > 0 && n < text.size() && IsHighSurrogate(text[n - 1])) --n;
  std::memcpy(dst, text.data(), n * sizeof(char16));
  for (size_t i = n; i < capacity; ++i) dst[i] = 0;
}

std::string String16ToUtf8(const char16* text, size_t maxUnits) {
  if (!text) return std::string();
  size_t n = 0;
  while (n < maxUnits && text[n] != 0) ++n;
  return Utf16ToUtf8(text, n);
}

void CopyToString8(const char* text, char* dst, size_t capacity) {
  if (!dst || capacity < 1) return;
  std::memset(dst, 0, capacity);
  Utf8CopyCut(dst, capacity, text ? text : "");
}

}  // namespace vst3
}  // namespace kantele
