#pragma once

// Texts across the VST 3 interface: UTF-16 arrays of fixed size (String128 and the class
// information's fields) and UTF-8 inside this project.

#include <cstddef>
#include <string>

#include "kantele/vst3/Vst3Interface.h"

namespace kantele {
namespace vst3 {

/// Writes `utf8` (null counts as empty) into `dst`, an array of `capacity` UTF-16 units, cut
/// so that it and its terminator fit and no surrogate pair is split; the units after the
/// terminator are zeroed. Nothing is written when `dst` is null or `capacity` < 1. [any-thread]
void CopyToString16(const char* utf8, char16* dst, size_t capacity);

/// The zero-terminated UTF-16 text at `text` (at most `maxUnits` units read) as UTF-8; empty for
/// null. A lone surrogate becomes U+FFFD. [any-thread] Allocates.
std::string String16ToUtf8(const char16* text, size_t maxUnits);

/// Writes `text` into an 8-bit field of `capacity` bytes, cut at a UTF-8 character boundary,
/// zero-terminated, the rest zeroed. [any-thread]
void CopyToString8(const char* text, char* dst, size_t capacity);

}  // namespace vst3
}  // namespace kantele
