#pragma once

// Text between the graphics library and the system: the library speaks UTF-8, the system's
// wide functions UTF-16. Every conversion of the Windows layer goes through here, with the
// UTF-8 code page and explicit lengths; malformed input becomes U+FFFD, never an error.

#include <windows.h>

#include <cstddef>
#include <string>

namespace kantele {
namespace gfx {

/// The UTF-16 form of `length` bytes of UTF-8 (malformed sequences become U+FFFD). Null text,
/// no bytes, or more bytes than an int can count give an empty text. [any-thread] Allocates.
std::wstring Utf8ToWide(const char* text, size_t length);
/// The same for terminated text; null is empty. [any-thread] Allocates.
std::wstring Utf8ToWide(const char* text);

/// The UTF-8 form of `length` UTF-16 units (unpaired surrogates become U+FFFD). Null text, no
/// units, or more units than an int can count give an empty text. [any-thread] Allocates.
std::string WideToUtf8(const wchar_t* text, size_t length);
/// The same for terminated text; null is empty. [any-thread] Allocates.
std::string WideToUtf8(const wchar_t* text);

/// Copies `text` with its terminator into `out` of `capacity` units when it fits; otherwise
/// `out` becomes empty and the answer is false. Nothing is ever cut, so a fixed-size system
/// field never holds part of a name or path. [any-thread]
bool CopyWideIfFits(const std::wstring& text, wchar_t* out, size_t capacity);

}  // namespace gfx
}  // namespace kantele
