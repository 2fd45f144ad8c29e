#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace kantele {

/// A growable, zero-terminated 8-bit (UTF-8) text. Writers state the maximum
/// number of characters they produce; a longer result is cut after that many
/// bytes, so a text copied out later never exceeds the limit it was written with.
///
/// [any-thread] but not shared: one owner at a time. Writing may allocate.
class Text {
 public:
  Text() = default;
  explicit Text(const char* s) { Set(s); }

  /// Replaces the text with `s` (null counts as empty), cut after `maxLen` bytes
  /// when `maxLen` is not negative.
  void Set(const char* s, int maxLen = -1);

  /// Replaces the text with the printf-style result of `fmt`, cut after `maxLen` bytes.
  void SetFormatted(int maxLen, const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  void SetFormattedV(int maxLen, const char* fmt, va_list args);

  void Clear() { mText.clear(); }

  const char* Get() const { return mText.c_str(); }
  int GetLength() const { return static_cast<int>(mText.size()); }
  bool IsEmpty() const { return mText.empty(); }

  bool operator==(const char* s) const { return mText == (s ? s : ""); }

 private:
  std::string mText;
};

}  // namespace kantele
