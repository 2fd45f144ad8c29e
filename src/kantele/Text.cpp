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
