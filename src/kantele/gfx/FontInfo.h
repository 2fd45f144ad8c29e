#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kantele {
namespace gfx {

/// What the font information reader finds in a TrueType/OpenType file or collection: where the
/// face's table directory is, the offsets of the tables it reads, the family and style names
/// and a few metrics. All numbers in font files are big-endian. Positions are offsets into the
/// data, never pointers, so a record stays valid for a copy of the same bytes.
struct FontInfo {
  /// Byte offset of the face's table directory within the data; -1 when the data is not a
  /// font, or the face does not exist.
  int64_t mDirectory = -1;
  /// Offsets of the 'head', 'name', 'hhea' and 'fdsc' tables; 0 when absent, when the table
  /// does not lie wholly inside the data, or when it is shorter than its fixed part ('head'
  /// 54 bytes, 'hhea' 36, 'name' 6).
  uint32_t mHead = 0;
  uint32_t mName = 0;
  uint32_t mHhea = 0;
  uint32_t mFdsc = 0;
  /// Name id 1 and 2 as valid UTF-8, ending before the first zero character; empty when the
  /// face has no usable name of that id.
  std::string mFamily;
  std::string mStyle;
  uint16_t mMacStyle = 0;    ///< 'head' byte 44: bit 0 bold, 1 italic, 2 underline
  uint16_t mUnitsPerEm = 0;  ///< 'head' byte 18
  int16_t mAscender = 0;     ///< 'hhea' byte 4
  int16_t mDescender = 0;    ///< 'hhea' byte 6
  int16_t mLineGap = 0;      ///< 'hhea' byte 8

  bool IsFont() const { return mDirectory >= 0; }
};

/// Reads face `faceIdx` of `size` bytes of font data.
///
/// A single font (first four bytes 0x31 0 0 0, 'typ1', 'OTTO' or 0 1 0 0) has face 0 only; a
/// collection ('ttcf', version 1 or 2) has the faces below its font count. The face is a font
/// when its whole table directory (12 bytes and 16 per table) lies inside the data. Names and
/// metrics are read only when 'head', 'name' and 'hhea' are all present; otherwise they stay
/// 0 and empty. A name is the first record for Windows Unicode (3, 1, 1033), converted from
/// UTF-16 big-endian (an unpaired surrogate becomes U+FFFD), or when that is missing or empty
/// the first for Macintosh Roman (1, 0, 0), converted from Mac OS Roman. Name records and
/// strings are used only when they lie inside the 'name' table; a record that does not is
/// treated as an empty name.
///
/// Every offset, count and length the data holds is checked against `size` in 64-bit
/// arithmetic: malformed data gives "not a font" (or a face without the parts that do not
/// fit), never a read outside the data. [any-thread] Allocates the names; never locks.
FontInfo ReadFontInfo(const uint8_t* data, size_t size, int faceIdx);

}  // namespace gfx
}  // namespace kantele
