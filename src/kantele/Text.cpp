#include "kantele/Text.h"

#include <cstdio>
#include <cstring>

namespace kantele {

void Text::Set(const char* s, int maxLen) {
  if (!s) {
    mText.clear();
    return;
  }
  size_t n = std::strlen(s);
  if (maxLen >= 0 && n > static_cast<size_t>(maxLen)) n = static_cast<size_t>(maxLen);
  mText.assign(s, n);
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
  // vsnprintf with a buffer of maxLen + 1 cuts the result after maxLen bytes
  // and always terminates it; an unlimited text measures first.
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
  if (maxLen > 0 && mText.size() > static_cast<size_t>(maxLen)) mText.resize(static_cast<size_t>(maxLen));
}

}  // namespace kantele
