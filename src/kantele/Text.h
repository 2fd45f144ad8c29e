#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace kantele {

/// Length of `s` cut to at most `maxLen` bytes without splitting a UTF-8
/// sequence: a cut that would land inside a character moves back to its start.
/// Reads at most `maxLen` + 1 bytes of `s`, so `s` need not be terminated
/// within its buffer as long as that many bytes are readable.
size_t Utf8CutLength(const char* s, size_t maxLen);

/// Copies `src` (null counts as empty) into the fixed field `dst` of `dstSize`
/// bytes (at least 1), cut with `Utf8CutLength` so that the terminator fits, and
/// zero-terminated. `src` may overlap `dst`. Answers the length copied.
size_t Utf8CopyCut(char* dst, size_t dstSize, const char* src);

/// Appends the UTF-8 form of code point `cp` (at most U+10FFFF; the caller keeps surrogates
/// out) to `out`. [any-thread] Allocates.
void AppendUtf8(std::string& out, char32_t cp);

/// The code point of the UTF-8 sequence at `s` (`n` >= 1 bytes readable) with its length in
/// `len`; -1, with `len` 1, when the byte does not start a valid shortest-form sequence (an
/// overlong form, a surrogate, a value above U+10FFFF, a stray continuation byte or a sequence
/// cut by the end). [any-thread]
long DecodeUtf8(const unsigned char* s, size_t n, size_t& len);

/// What every undecodable unit or byte becomes.
constexpr char32_t kReplacementCharacter = 0xFFFD;

/// Whether a UTF-16 unit (or a code point) is the first or the second half of a surrogate pair.
constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

/// Appends the UTF-16 form of code point `cp` (at most U+10FFFF; the caller keeps surrogates
/// out) to `out`: one unit, or a surrogate pair beyond U+FFFF. [any-thread] Allocates.
void AppendUtf16(std::u16string& out, char32_t cp);

/// UTF-8 to UTF-16. Every byte that does not start a valid, shortest-form UTF-8 sequence of a
/// code point (stray continuation bytes, cut sequences, overlong forms, surrogates, values
/// above U+10FFFF) becomes one U+FFFD. Null is empty. [any-thread] Allocates.
std::u16string Utf8ToUtf16(const char* utf8);

/// UTF-16 to UTF-8 for `n` code units. A surrogate without its partner becomes U+FFFD; null is
/// empty. [any-thread] Allocates.
std::string Utf16ToUtf8(const char16_t* utf16, size_t n);
inline std::string Utf16ToUtf8(const std::u16string& utf16) {
  return Utf16ToUtf8(utf16.data(), utf16.size());
}

/// ASCII letters changed case; every other byte (UTF-8 sequences included) is kept. Unlike
/// the C library's conversions, the answer never depends on the process's locale, which a host
/// may have set. [any-thread]
constexpr char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

/// Whether the first `n` bytes of `a` and `b` are equal ignoring ASCII case. Both must hold
/// `n` readable bytes. [any-thread]
bool EqualIgnoringCaseAscii(const char* a, const char* b, size_t n);

/// Whether the zero-terminated `a` and `b` are equal ignoring ASCII case. [any-thread]
bool EqualIgnoringCaseAscii(const char* a, const char* b);

/// A growable, zero-terminated 8-bit (UTF-8) text. Writers state the maximum
/// number of bytes they produce; a longer result is cut to fit, never inside a
/// UTF-8 character, so a text copied out later never exceeds the limit it was
/// written with and stays valid UTF-8.
///
/// [any-thread] but not shared: one owner at a time. Writing may allocate.
class Text {
 public:
  Text() = default;
  explicit Text(const char* s) { Set(s); }

  /// Replaces the text with `s` (null counts as empty), cut to `maxLen` bytes
  /// when `maxLen` is not negative.
  void Set(const char* s, int maxLen = -1);

  /// Replaces the text with the printf-style result of `fmt`, cut to `maxLen`
  /// bytes when `maxLen` is positive (0 gives an empty text).
  void SetFormatted(int maxLen, const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  void SetFormattedV(int maxLen, const char* fmt, va_list args);

  /// Cuts the text to at most `maxLen` bytes.
  void Truncate(int maxLen);

  void Clear() { mText.clear(); }

  const char* Get() const { return mText.c_str(); }
  int GetLength() const { return static_cast<int>(mText.size()); }
  bool IsEmpty() const { return mText.empty(); }

  bool operator==(const char* s) const { return mText == (s ? s : ""); }

 private:
  std::string mText;
};

}  // namespace kantele
