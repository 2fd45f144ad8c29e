// Bytes from the X server and from other X clients: the resource database text that holds
// Xft.dpi, and clipboard text in both of its forms. Whatever they hold, the screen scale is a
// finite number within [1, 4], selection text comes out as valid UTF-8 no longer than three
// bytes per input byte and without NUL, and converting it to Latin-1 and back keeps it valid.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kantele/gfx/platform/linux/X11Conversions.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF, no NUL.
bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == 0) return false;
    size_t n = 0;
    uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 2;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 3;
      cp = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 4;
      cp = b & 0x07u;
    } else {
      return false;
    }
    if (i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly `size` bytes on the heap, so reading past them is caught.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto* copy = static_cast<char*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(copy, data, size);

  const float scale = kantele::gfx::ScreenScaleFromXResources(copy, size);
  Check(std::isfinite(scale) && scale >= 1.f && scale <= 4.f);

  const auto* raw = reinterpret_cast<const unsigned char*>(copy);
  for (const bool utf8 : {true, false}) {
    const std::string text = kantele::gfx::SelectionTextToUtf8(raw, size, utf8);
    Check(IsValidUtf8(text));
    Check(text.size() <= 3 * size);
    const std::string latin1 = kantele::gfx::Utf8ToLatin1(text);
    Check(latin1.size() <= text.size());
    Check(IsValidUtf8(kantele::gfx::SelectionTextToUtf8(
        reinterpret_cast<const unsigned char*>(latin1.data()), latin1.size(), false)));
  }
  std::free(copy);
  return 0;
}
