// Font bytes come from files and plug-in resources. Whatever they hold, reading any face stays
// inside the data and answers table offsets inside it and names that are valid UTF-8 without
// zero bytes; data that is not a font answers nothing at all.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kantele/gfx/FontInfo.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t cp;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 1, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3, cp = b & 0x07;
    } else {
      return false;
    }
    if (s.size() - i - 1 < n) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}

// A present table lies inside the data with at least its fixed part ('fdsc' may be empty, even
// at the very end of the data).
void CheckTable(uint32_t offset, uint64_t fixedSize, size_t size) {
  Check(offset == 0 || static_cast<uint64_t>(offset) + fixedSize <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read one byte past the data is caught.
  const std::vector<uint8_t> bytes(data, data + size);
  for (int face = 0; face < 4; ++face) {
    const kantele::gfx::FontInfo info = kantele::gfx::ReadFontInfo(bytes.data(), size, face);
    if (!info.IsFont()) {
      Check(info.mDirectory == -1 && info.mHead == 0 && info.mName == 0 && info.mHhea == 0 &&
            info.mFdsc == 0 && info.mFamily.empty() && info.mStyle.empty() &&
            info.mUnitsPerEm == 0 && info.mMacStyle == 0 && info.mAscender == 0);
      continue;
    }
    Check(static_cast<uint64_t>(info.mDirectory) + 12 <= size);
    CheckTable(info.mHead, 54, size);
    CheckTable(info.mName, 6, size);
    CheckTable(info.mHhea, 36, size);
    CheckTable(info.mFdsc, 0, size);
    // Names and metrics are read only with all three tables.
    if (info.mHead == 0 || info.mName == 0 || info.mHhea == 0) {
      Check(info.mFamily.empty() && info.mStyle.empty() && info.mUnitsPerEm == 0);
    }
    for (const std::string* name : {&info.mFamily, &info.mStyle}) {
      Check(IsValidUtf8(*name));
      Check(std::memchr(name->data(), 0, name->size()) == nullptr);
    }
  }
  return 0;
}
