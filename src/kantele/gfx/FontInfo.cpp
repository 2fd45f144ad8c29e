#include "kantele/gfx/FontInfo.h"

#include "kantele/Text.h"

namespace kantele {
namespace gfx {
namespace {

constexpr uint32_t Tag(const char (&t)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(t[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(t[3]));
}

// Fixed parts of the tables read here; a shorter table is treated as absent.
constexpr uint64_t kHeadSize = 54;
constexpr uint64_t kHheaSize = 36;
constexpr uint64_t kNameHeaderSize = 6;
constexpr uint64_t kNameRecordSize = 12;
constexpr uint64_t kDirectoryHeaderSize = 12;
constexpr uint64_t kTableRecordSize = 16;

constexpr uint16_t kPlatformMac = 1;
constexpr uint16_t kPlatformWindows = 3;
constexpr uint16_t kEncodingWindowsUnicode = 1;
constexpr uint16_t kLanguageEnglishUs = 1033;

// Mac OS Roman bytes 0x80 to 0xFF as Unicode code points.
constexpr uint16_t kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// The font bytes with reads that are checked against their size. Offsets are 64-bit, so sums
// of 32-bit offsets, lengths and counts from the data can never wrap.
class FontBytes {
 public:
  FontBytes(const uint8_t* data, size_t size) : mData(data), mSize(data ? size : 0) {}

  /// Whether `length` bytes from `offset` lie inside the data.
  bool Fits(uint64_t offset, uint64_t length) const {
    return offset <= mSize && length <= mSize - offset;
  }
  /// The big-endian numbers at `offset`; 0 when they do not lie inside the data.
  uint16_t U16(uint64_t offset) const {
    if (!Fits(offset, 2)) return 0;
    return static_cast<uint16_t>((mData[offset] << 8) | mData[offset + 1]);
  }
  uint32_t U32(uint64_t offset) const {
    if (!Fits(offset, 4)) return 0;
    return (static_cast<uint32_t>(U16(offset)) << 16) | U16(offset + 2);
  }
  uint8_t U8(uint64_t offset) const { return Fits(offset, 1) ? mData[offset] : 0; }

 private:
  const uint8_t* mData;
  uint64_t mSize;
};

// A table that lies inside the data: [mOffset, mOffset + mLength).
struct Table {
  uint64_t mOffset = 0;
  uint64_t mLength = 0;
  bool Present() const { return mOffset != 0; }
};

// UTF-16 big-endian to UTF-8, up to the first zero unit; a trailing odd byte is ignored and
// an unpaired surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string FromUtf16Be(const FontBytes& f, uint64_t at, uint64_t length) {
  std::u16string units;
  for (uint64_t i = 0; i < length / 2; ++i) {
    const char16_t unit = f.U16(at + 2 * i);
    if (unit == 0) break;
    units += unit;
  }
  return Utf16ToUtf8(units);
}

// Mac OS Roman to UTF-8, up to the first zero byte.
std::string FromMacRoman(const FontBytes& f, uint64_t at, uint64_t length) {
  std::string out;
  for (uint64_t i = 0; i < length; ++i) {
    const uint8_t b = f.U8(at + i);
    if (b == 0) break;
    AppendUtf8(out, b < 0x80 ? b : kMacRoman[b - 0x80]);
  }
  return out;
}

// The string of the first name record matching all four values, decoded; empty when there is
// none or its string does not lie inside the table.
std::string FindName(const FontBytes& f, const Table& name, uint16_t platform, uint16_t encoding,
                     uint16_t language, uint16_t nameId) {
  const uint64_t count = f.U16(name.mOffset + 2);
  const uint64_t storage = name.mOffset + f.U16(name.mOffset + 4);
  const uint64_t tableEnd = name.mOffset + name.mLength;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t record = name.mOffset + kNameHeaderSize + kNameRecordSize * i;
    if (record + kNameRecordSize > tableEnd) break;  // neither this record nor the later ones
    if (f.U16(record) != platform || f.U16(record + 2) != encoding ||
        f.U16(record + 4) != language || f.U16(record + 6) != nameId) {
      continue;
    }
    const uint64_t length = f.U16(record + 8);
    const uint64_t at = storage + f.U16(record + 10);
    if (at > tableEnd || length > tableEnd - at) return std::string();
    return platform == kPlatformWindows ? FromUtf16Be(f, at, length) : FromMacRoman(f, at, length);
  }
  return std::string();
}

std::string ReadName(const FontBytes& f, const Table& name, uint16_t nameId) {
  std::string s =
      FindName(f, name, kPlatformWindows, kEncodingWindowsUnicode, kLanguageEnglishUs, nameId);
  if (s.empty()) s = FindName(f, name, kPlatformMac, 0, 0, nameId);
  return s;
}

// The offset of the face's table directory, or -1 when the data is not a font or has no such
// face.
int64_t FindDirectory(const FontBytes& f, int faceIdx) {
  if (faceIdx < 0 || !f.Fits(0, 4)) return -1;
  const uint32_t tag = f.U32(0);
  if (tag == 0x31000000u || tag == Tag("typ1") || tag == Tag("OTTO") || tag == 0x00010000u) {
    return faceIdx == 0 ? 0 : -1;
  }
  if (tag != Tag("ttcf") || !f.Fits(0, 12)) return -1;
  const uint32_t version = f.U32(4);
  if (version != 0x00010000u && version != 0x00020000u) return -1;
  if (static_cast<uint64_t>(faceIdx) >= f.U32(8)) return -1;
  const uint64_t entry = 12 + 4 * static_cast<uint64_t>(faceIdx);
  if (!f.Fits(entry, 4)) return -1;
  return f.U32(entry);
}

// The first table with `tag` in the directory at `dir` (whose records all lie inside the
// data), or an absent table when there is none, it does not lie inside the data or it is
// shorter than `minLength`. Offset 0 is the file's own header, never a table.
Table FindTable(const FontBytes& f, uint64_t dir, uint64_t count, uint32_t tag,
                uint64_t minLength) {
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t record = dir + kDirectoryHeaderSize + kTableRecordSize * i;
    if (f.U32(record) != tag) continue;
    Table t;
    const uint64_t offset = f.U32(record + 8);
    const uint64_t length = f.U32(record + 12);
    if (offset != 0 && length >= minLength && f.Fits(offset, length)) {
      t.mOffset = offset;
      t.mLength = length;
    }
    return t;
  }
  return Table();
}

}  // namespace

FontInfo ReadFontInfo(const uint8_t* data, size_t size, int faceIdx) {
  FontInfo info;
  const FontBytes f(data, size);
  const int64_t dir = FindDirectory(f, faceIdx);
  if (dir < 0) return info;
  const uint64_t directory = static_cast<uint64_t>(dir);
  if (!f.Fits(directory, kDirectoryHeaderSize)) return info;
  const uint64_t count = f.U16(directory + 4);
  if (!f.Fits(directory + kDirectoryHeaderSize, kTableRecordSize * count)) return info;
  info.mDirectory = dir;

  const Table head = FindTable(f, directory, count, Tag("head"), kHeadSize);
  const Table name = FindTable(f, directory, count, Tag("name"), kNameHeaderSize);
  const Table hhea = FindTable(f, directory, count, Tag("hhea"), kHheaSize);
  const Table fdsc = FindTable(f, directory, count, Tag("fdsc"), 0);
  // Table offsets come from 32-bit fields, so they fit the record's.
  info.mHead = static_cast<uint32_t>(head.mOffset);
  info.mName = static_cast<uint32_t>(name.mOffset);
  info.mHhea = static_cast<uint32_t>(hhea.mOffset);
  info.mFdsc = static_cast<uint32_t>(fdsc.mOffset);
  if (!head.Present() || !name.Present() || !hhea.Present()) return info;

  info.mUnitsPerEm = f.U16(head.mOffset + 18);
  info.mMacStyle = f.U16(head.mOffset + 44);
  info.mFamily = ReadName(f, name, 1);
  info.mStyle = ReadName(f, name, 2);
  info.mAscender = static_cast<int16_t>(f.U16(hhea.mOffset + 4));
  info.mDescender = static_cast<int16_t>(f.U16(hhea.mOffset + 6));
  info.mLineGap = static_cast<int16_t>(f.U16(hhea.mOffset + 8));
  return info;
}

}  // namespace gfx
}  // namespace kantele
