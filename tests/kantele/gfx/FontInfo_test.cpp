#include "kantele/gfx/FontInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kantele {
namespace gfx {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, size_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> 8 * i));
}
void Set32(Bytes& b, size_t at, size_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
uint32_t Tag(const char* t) {
  return static_cast<uint32_t>(t[0] << 24 | t[1] << 16 | t[2] << 8 | t[3]);
}
std::string Utf16Be(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) out += {static_cast<char>(u >> 8), static_cast<char>(u)};
  return out;
}

struct Name {
  uint16_t platform, encoding, language, id;
  std::string text;
};
std::vector<Name> Names(const std::u16string& family, const std::u16string& style) {
  return {{3, 1, 1033, 1, Utf16Be(family)}, {3, 1, 1033, 2, Utf16Be(style)}};
}

// Appends a face ('head': 1000 units per em, macStyle 3; 'hhea': 800, -200, 90; 'name':
// `names`) with table offsets counted from the start of `out`; answers its directory.
size_t AppendFace(Bytes& out, const std::vector<Name>& names,
                  const std::vector<std::string>& tags = {"head", "hhea", "name"},
                  uint32_t version = 0x00010000) {
  const size_t dir = out.size();
  Put(out, version, 4);
  Put(out, tags.size(), 2);
  out.resize(dir + 12 + 16 * tags.size());
  for (size_t i = 0; i < tags.size(); ++i) {
    Bytes t(tags[i] == "head" ? 54 : tags[i] == "hhea" ? 36 : 0);
    if (tags[i] == "head") t[18] = 0x03, t[19] = 0xE8, t[45] = 3;
    if (tags[i] == "hhea") t[4] = 0x03, t[5] = 0x20, t[6] = 0xFF, t[7] = 0x38, t[9] = 90;
    if (tags[i] == "name") {
      std::string storage;
      for (size_t v : {size_t{0}, names.size(), 6 + 12 * names.size()}) Put(t, v, 2);
      for (const Name& n : names) {
        for (size_t v : {size_t{n.platform}, size_t{n.encoding}, size_t{n.language}, size_t{n.id},
                         n.text.size(), storage.size()}) {
          Put(t, v, 2);
        }
        storage += n.text;
      }
      t.insert(t.end(), storage.begin(), storage.end());
    }
    Set32(out, dir + 12 + 16 * i, Tag(tags[i].c_str()));
    Set32(out, dir + 20 + 16 * i, out.size());
    Set32(out, dir + 24 + 16 * i, t.size());
    out.insert(out.end(), t.begin(), t.end());
  }
  return dir;
}

Bytes Face(const std::vector<Name>& names, uint32_t version = 0x00010000) {
  Bytes out;
  AppendFace(out, names, {"head", "hhea", "name"}, version);
  return out;
}

// Two faces, "Alpha Bold" and "Beta Italic", under a collection header claiming `count`.
Bytes Collection(uint32_t version, uint32_t count = 2) {
  Bytes out;
  for (size_t v : {size_t{Tag("ttcf")}, size_t{version}, size_t{count}}) Put(out, v, 4);
  out.resize(20);
  Set32(out, 12, AppendFace(out, Names(u"Alpha", u"Bold")));
  Set32(out, 16, AppendFace(out, Names(u"Beta", u"Italic")));
  return out;
}

FontInfo Read(const Bytes& b, int face = 0, size_t size = SIZE_MAX) {
  return ReadFontInfo(b.data(), std::min(size, b.size()), face);
}

TEST(FontInfo, ReadsTheBundledFont) {
  std::ifstream file(KANTELE_TEST_FONT, std::ios::binary);
  ASSERT_TRUE(file) << KANTELE_TEST_FONT;
  const Bytes font((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const FontInfo info = Read(font);
  EXPECT_EQ(info.mFamily + "/" + info.mStyle, "Roboto/Regular");
  EXPECT_EQ(info.mUnitsPerEm, 2048);
  EXPECT_EQ(info.mAscender, 1900);
  EXPECT_EQ(info.mDescender, -500);
  EXPECT_EQ(info.mLineGap, 0);
  EXPECT_EQ(info.mHead + info.mHhea + info.mName + info.mFdsc, 220u + 276u + 225236u);
  EXPECT_FALSE(Read(font, 1).IsFont()) << "a single font has face 0 only";

  // Cut: the directory (13 tables, 220 bytes) must fit; a table that does not is absent.
  EXPECT_FALSE(Read(font, 0, 219).IsFont());
  EXPECT_EQ(Read(font, 0, 220 + 54).mHead, 220u);
  EXPECT_EQ(Read(font, 0, 220 + 54).mHhea, 0u);
  const FontInfo cut = Read(font, 0, 225236 + 721);
  EXPECT_EQ(cut.mName, 0u);
  EXPECT_EQ(cut.mFamily, "");
  EXPECT_EQ(cut.mUnitsPerEm, 0) << "nothing is read without all of 'head', 'hhea', 'name'";
}

TEST(FontInfo, HeadersAndCollections) {
  for (uint32_t version : {0x00010000u, 0x31000000u, Tag("OTTO"), Tag("typ1")}) {
    const FontInfo info = Read(Face(Names(u"Alpha", u"Bold"), version));
    EXPECT_EQ(info.mFamily + "/" + info.mStyle, "Alpha/Bold") << version;
    EXPECT_EQ(info.mUnitsPerEm + info.mMacStyle + info.mAscender + info.mDescender, 1603)
        << "1000 + 3 + 800 - 200";
    EXPECT_EQ(info.mLineGap, 90);
    EXPECT_FALSE(Read(Face(Names(u"Alpha", u"Bold"), version), 1).IsFont());
  }
  EXPECT_FALSE(Read(Face(Names(u"Alpha", u"Bold"), Tag("true"))).IsFont());
  EXPECT_FALSE(ReadFontInfo(nullptr, 100, 0).IsFont());

  for (uint32_t version : {0x00010000u, 0x00020000u}) {
    const Bytes ttc = Collection(version);
    EXPECT_EQ(Read(ttc, 0).mFamily, "Alpha");
    EXPECT_EQ(Read(ttc, 1).mFamily + "/" + Read(ttc, 1).mStyle, "Beta/Italic");
    EXPECT_FALSE(Read(ttc, 2).IsFont());
    EXPECT_FALSE(Read(ttc, -1).IsFont());
  }
  EXPECT_FALSE(Read(Collection(0x00030000)).IsFont());
  EXPECT_FALSE(Read(Collection(0x00010000), 0, 15).IsFont()) << "offset entry cut";
  // A huge font count: a face exists only when its offset entry lies inside the data. Face 2^30
  // would wrap to face 0's entry in 32-bit arithmetic.
  Bytes huge = Collection(0x00010000, 0xFFFFFFFF);
  EXPECT_FALSE(Read(huge, 2).IsFont());
  EXPECT_FALSE(Read(huge, 0x40000000).IsFont());
  Set32(huge, 16, 0xFFFFFFF0);
  EXPECT_FALSE(Read(huge, 1).IsFont()) << "directory far outside";
}

TEST(FontInfo, NameRecords) {
  const FontInfo mac =
      Read(Face({{1, 0, 0, 1, "Caf\x8E \xA5"}, {3, 1, 1033, 2, ""}, {1, 0, 0, 2, "Fett"}}));
  EXPECT_EQ(mac.mFamily, "Caf\xC3\xA9 \xE2\x80\xA2") << "Mac OS Roman as UTF-8";
  EXPECT_EQ(mac.mStyle, "Fett") << "an empty Windows name falls back";

  const FontInfo win = Read(Face({{3, 1, 1031, 1, Utf16Be(u"German")},
                                  {3, 0, 1033, 1, Utf16Be(u"Symbol")},
                                  {1, 0, 0, 1, "Mac"},
                                  {3, 1, 1033, 1, Utf16Be(u"\U0001F600x\xD800y")},
                                  {3, 1, 1033, 1, Utf16Be(u"Second")},
                                  {3, 1, 1033, 2, Utf16Be(std::u16string(u"A\0B", 3)) + "\1"}}));
  EXPECT_EQ(win.mFamily, "\xF0\x9F\x98\x80x\xEF\xBF\xBDy") << "first full match, lone surrogate";
  EXPECT_EQ(win.mStyle, "A") << "ends at a zero unit";
}

TEST(FontInfo, MalformedTables) {
  Bytes partial;
  AppendFace(partial, Names(u"Alpha", u"Bold"), {"head", "name", "fdsc"});
  const FontInfo noHhea = Read(partial);
  EXPECT_TRUE(noHhea.mHead && noHhea.mName && noHhea.mFdsc && !noHhea.mHhea);
  EXPECT_EQ(noHhea.mFamily, "");

  const Bytes good = Face(Names(u"Alpha", u"Bold"));
  const size_t name = Read(good).mName;
  auto corrupt = [&](size_t at, size_t value) {
    Bytes b = good;
    Set32(b, at, value);
    return Read(b);
  };
  EXPECT_FALSE(corrupt(4, 0xFFFF0000).IsFont()) << "65535 tables do not fit";
  EXPECT_FALSE(Read(good, 0, 12 + 16 * 3 - 1).IsFont());
  // Table records: 'head' at 12, 'hhea' at 28 (offset at +8, length at +12).
  EXPECT_EQ(corrupt(12 + 8, 0xFFFFFFF0).mHead, 0u) << "offset outside";
  EXPECT_EQ(corrupt(12 + 12, 0xFFFFFFF0).mHead, 0u) << "offset + length past the end";
  EXPECT_EQ(corrupt(12 + 12, 53).mHead, 0u) << "shorter than its fixed part";
  EXPECT_EQ(corrupt(28 + 8, 0).mHhea, 0u) << "offset 0 is the header";
  EXPECT_EQ(corrupt(12 + 12, 53).mFamily, "");

  EXPECT_EQ(corrupt(name, 0xFFFF).mStyle, "Bold") << "65535 records, only 2 in the table";
  EXPECT_EQ(corrupt(name + 4, 0xFFFF0003).mStyle, "") << "storage outside the table";
  EXPECT_EQ(corrupt(name + 6 + 8, 0xFFFF0000).mFamily, "") << "string outside the table";
  EXPECT_EQ(corrupt(name + 6 + 8, 0x00060000).mFamily, "Alp");
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
