#include "kantele/ByteChunk.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace kantele {
namespace {

std::vector<uint8_t> Bytes(const ByteChunk& c) {
  return std::vector<uint8_t>(c.GetData(), c.GetData() + c.Size());
}

ByteChunk FromBytes(const std::vector<uint8_t>& bytes) {
  ByteChunk c;
  c.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
  return c;
}

TEST(ByteChunkTest, ValuesAreLittleEndianWithTheirNaturalWidths) {
  ByteChunk c;
  EXPECT_EQ(c.Put(int32_t{0x01020304}), 4);
  EXPECT_EQ(c.Put(1.0), 12);
  EXPECT_EQ(c.PutBool(true), 13);
  EXPECT_EQ(c.PutBool(false), 14);
  const std::vector<uint8_t> expected = {0x04, 0x03, 0x02, 0x01, 0,    0, 0,
                                         0,    0,    0,    0xF0, 0x3F, 1, 0};
  EXPECT_EQ(Bytes(c), expected);

  int32_t i = 0;
  double d = 0;
  bool b1 = false, b2 = true;
  int pos = c.Get(&i, 0);
  pos = c.Get(&d, pos);
  pos = c.GetBool(&b1, pos);
  pos = c.GetBool(&b2, pos);
  EXPECT_EQ(pos, 14);
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(d, 1.0);
  EXPECT_TRUE(b1);
  EXPECT_FALSE(b2);
}

TEST(ByteChunkTest, ReadsThatDoNotFitFailWithoutTouchingTheTarget) {
  ByteChunk c = FromBytes({1, 2, 3, 4, 5, 6, 7});
  double d = 42.0;
  EXPECT_EQ(c.Get(&d, 0), -1);  // 7 bytes cannot hold a double
  EXPECT_EQ(d, 42.0);
  int32_t i = 7;
  EXPECT_EQ(c.Get(&i, 3), 7);  // exactly fits
  EXPECT_EQ(c.Get(&i, 4), -1);
  EXPECT_EQ(c.Get(&i, -1), -1);
  EXPECT_EQ(c.Get(&i, INT_MAX), -1);
  EXPECT_EQ(c.Get(&i, INT_MIN), -1);
  bool b = true;
  EXPECT_EQ(c.GetBool(&b, 7), -1);
  EXPECT_TRUE(b);
  // Any non-zero byte reads as true.
  ByteChunk flag = FromBytes({0x80});
  b = false;
  EXPECT_EQ(flag.GetBool(&b, 0), 1);
  EXPECT_TRUE(b);
}

TEST(ByteChunkTest, TextsRoundTripWithLengthPrefixAndNoTerminator) {
  ByteChunk c;
  c.PutStr("Empty");
  c.PutStr("");
  c.PutStr(nullptr);
  const std::vector<uint8_t> expected = {5, 0, 0, 0, 'E', 'm', 'p', 't', 'y',
                                         0, 0, 0, 0, 0,   0,   0,   0};
  EXPECT_EQ(Bytes(c), expected);
  std::string s = "x";
  int pos = c.GetStr(s, 0);
  EXPECT_EQ(pos, 9);
  EXPECT_EQ(s, "Empty");
  pos = c.GetStr(s, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(s, "");
}

TEST(ByteChunkTest, DamagedTextLengthsNeverReadOutside) {
  std::string s = "before";
  // Length unreadable.
  EXPECT_EQ(FromBytes({5, 0, 0}).GetStr(s, 0), -1);
  EXPECT_EQ(s, "before");
  // Length runs past the end: text untouched, position beyond the end, where reads fail.
  ByteChunk past = FromBytes({10, 0, 0, 0, 'a', 'b'});
  const int pos = past.GetStr(s, 0);
  EXPECT_EQ(pos, 14);
  EXPECT_EQ(s, "before");
  bool b = false;
  EXPECT_EQ(past.GetBool(&b, pos), -1);
  // Lengths near INT_MAX must not overflow the position arithmetic.
  EXPECT_EQ(FromBytes({0xFF, 0xFF, 0xFF, 0x7F, 'a'}).GetStr(s, 0), -1);
  // A negative length is not a text.
  EXPECT_EQ(FromBytes({0xFC, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd'}).GetStr(s, 0), -1);
  EXPECT_EQ(s, "");
  // Zero bytes inside a text are kept.
  ByteChunk zeros = FromBytes({3, 0, 0, 0, 'a', 0, 'b'});
  EXPECT_EQ(zeros.GetStr(s, 0), 7);
  EXPECT_EQ(s, std::string("a\0b", 3));
}

TEST(ByteChunkTest, ResizeZeroesNewBytesAndAppendsAreRaw) {
  ByteChunk a = FromBytes({1, 2});
  EXPECT_EQ(a.Resize(4), 4);
  EXPECT_EQ(Bytes(a), (std::vector<uint8_t>{1, 2, 0, 0}));
  EXPECT_EQ(a.Resize(-3), 0);
  ByteChunk b = FromBytes({9});
  ByteChunk c = FromBytes({7, 8});
  b.PutChunk(c);
  EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{9, 7, 8}));
  b.PutChunk(b);  // appending itself doubles it
  EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{9, 7, 8, 9, 7, 8}));
  EXPECT_EQ(b.PutBytes(nullptr, 4), 6);
  EXPECT_EQ(b.PutBytes("x", -1), 6);
  // Growth granularity does not change the contents.
  ByteChunk g(4096);
  for (int i = 0; i < 5000; ++i) g.Put(int32_t{i});
  int32_t v = 0;
  EXPECT_EQ(g.Get(&v, 4 * 4999), 20000);
  EXPECT_EQ(v, 4999);
}

TEST(ByteChunkTest, VersionHeaderIsFoundOnlyWhenComplete) {
  ByteChunk c;
  c.InitWithVersionHeader();
  EXPECT_EQ(Bytes(c), (std::vector<uint8_t>{0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00}));
  int32_t version = -5;
  EXPECT_EQ(ByteChunk::ReadVersionHeader(c, &version), 8);
  EXPECT_EQ(version, 0x10000);

  // 4 to 7 bytes with the magic word: nothing can be read.
  for (int n = 4; n < 8; ++n) {
    ByteChunk partial = c;
    partial.Resize(n);
    EXPECT_EQ(ByteChunk::ReadVersionHeader(partial, &version), -1) << n;
    EXPECT_EQ(version, 0);
  }
  // No magic word, or fewer than 4 bytes: headerless, read from 0.
  EXPECT_EQ(ByteChunk::ReadVersionHeader(FromBytes({0x74, 0x66, 0x66}), &version), 0);
  EXPECT_EQ(ByteChunk::ReadVersionHeader(FromBytes({0, 0, 0, 0, 0, 0, 1, 0}), &version), 0);
  EXPECT_EQ(ByteChunk::ReadVersionHeader(ByteChunk(), &version), 0);
  EXPECT_EQ(version, 0);

  // Starting again empties what was there.
  c.Put(1.5);
  c.InitWithVersionHeader();
  EXPECT_EQ(c.Size(), 8);
}

}  // namespace
}  // namespace kantele
