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

void UidWords(const char* bytes, uint32_t words[4], UidLayout layout) {
  auto byte = [bytes](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])); };
  for (int w = 0; w < 4; ++w) {
    words[w] = byte(4 * w) << 24 | byte(4 * w + 1) << 16 | byte(4 * w + 2) << 8 | byte(4 * w + 3);
  }
  if (layout == UidLayout::kCom) {
    words[0] = byte(3) << 24 | byte(2) << 16 | byte(1) << 8 | byte(0);
    words[1] = byte(5) << 24 | byte(4) << 16 | byte(7) << 8 | byte(6);
  }
}

}  // namespace vst3
}  // namespace kantele
