#include "kantele/Text.h"

#include <cstdio>
#include <cstring>

namespace kantele {

bool EqualIgnoringCaseAscii(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

bool EqualIgnoringCaseAscii(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (ToLowerAscii(*a) != ToLowerAscii(*b)) return false;
    if (*a == '\0') return true;
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

long DecodeUtf8(const unsigned char* s, size_t n, size_t& len) {
  len = 1;
  const unsigned char b0 = s[0];
  if (b0 < 0x80) return b0;
  size_t need = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    need = 1;
    c = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 2;
    c = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 3;
    c = b0 & 0x07;
    min = 0x10000;
  } else {
    return -1;
  }
  if (need >= n) return -1;
  for (size_t i = 1; i <= need; ++i) {
    if ((s[i] & 0xC0) != 0x80) return -1;
    c = (c << 6) | (s[i] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  len = need + 1;
  return static_cast<long>(c);
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

std::u16string Utf8ToUtf16(const char* utf8) {
  std::u16string out;
  if (!utf8) return out;
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  size_t n = std::strlen(utf8);
  while (n > 0) {
    size_t len = 0;
    const long c = DecodeUtf8(s, n, len);
    AppendUtf16(out, c < 0 ? kReplacementCharacter : static_cast<char32_t>(c));
    s += len;
    n -= len;
  }
  return out;
}

std::string Utf16ToUtf8(const char16_t* utf16, size_t n) {
  std::string out;
  if (!utf16) return out;
  for (size_t i = 0; i < n; ++i) {
    char32_t c = utf16[i];
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(utf16[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacementCharacter;
    }
    AppendUtf8(out, c);
  }
  return out;
}

size_t Utf8CutLength(const char* s, size_t maxLen) {
  size_t n = 0;
  while (n < maxLen && s[n] != '\0') ++n;
  if (n < maxLen || s[n] == '\0') return n;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

size_t Utf8CopyCut(char* dst, size_t dstSize, const char* src) {
  const size_t n = src ? Utf8CutLength(src, dstSize - 1) : 0;
  if (n > 0) std::memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

void Text::Set(const char* s, int maxLen) {
  if (!s) {
    mText.clear();
    return;
  }
  mText.assign(s, maxLen >= 0 ? Utf8CutLength(s, static_cast<size_t>(maxLen)) : std::strlen(s));
}

void Text::Truncate(int maxLen) {
  if (maxLen < 0) return;
  mText.resize(Utf8CutLength(mText.c_str(), static_cast<size_t>(maxLen)));
}

void Text::SetFormatted(int maxLen, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  SetFormattedV(maxLen, fmt, args);
  va_end(args);
}

void Text::SetFormattedV(int maxLen, const char* fmt, va_list args) {
  if (!fmt || maxLen == 0) {
    mText.clear();
    return;
  }
  // Measure, write the whole result, then cut it at a character boundary.
  va_list measure;
  va_copy(measure, args);
  int needed = std::vsnprintf(nullptr, 0, fmt, measure);
  va_end(measure);
  if (needed < 0) {
    mText.clear();
    return;
  }
  // The string's own terminator cell receives vsnprintf's '\0'.
  mText.resize(static_cast<size_t>(needed));
  std::vsnprintf(&mText[0], mText.size() + 1, fmt, args);
  if (maxLen > 0) Truncate(maxLen);
}

}  // namespace kantele
