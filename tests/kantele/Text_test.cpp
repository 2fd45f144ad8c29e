#include "kantele/Text.h"

#include <gtest/gtest.h>

#include <cstring>

#include <memory>
#include <string>

namespace kantele {
namespace {

TEST(Text, SetCutsAfterMaxLenBytes) {
  Text t;
  t.Set("Output Gain", 6);
  EXPECT_STREQ(t.Get(), "Output");
  EXPECT_EQ(t.GetLength(), 6);
  t.Set("Wet", 32);
  EXPECT_STREQ(t.Get(), "Wet");
  t.Set("Wet", 0);
  EXPECT_TRUE(t.IsEmpty());
  const std::string longText(300, 'x');
  t.Set(longText.c_str());
  EXPECT_EQ(t.GetLength(), 300) << "a negative limit means no limit";
}

TEST(Text, NullAndEmpty) {
  Text t("Tame");
  t.Set(nullptr);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_STREQ(t.Get(), "");
  EXPECT_TRUE(t == nullptr);
  EXPECT_TRUE(t == "");
  EXPECT_FALSE(Text("a") == nullptr);
  EXPECT_STREQ(Text(nullptr).Get(), "");

  t.Set("Bias");
  t.SetFormatted(32, nullptr);
  EXPECT_TRUE(t.IsEmpty()) << "a null format clears the text";
}

TEST(Text, SetFormattedWritesAndCuts) {
  Text t;
  t.SetFormatted(32, "%.*f", 2, 32.0);
  EXPECT_STREQ(t.Get(), "32.00");
  t.SetFormatted(4, "%d%s", 12345, "abc");
  EXPECT_STREQ(t.Get(), "1234");
  t.SetFormatted(0, "%d", 7);
  EXPECT_TRUE(t.IsEmpty());

  // Results longer than any small internal buffer are written whole when unlimited...
  t.SetFormatted(-1, "%0500d", 1);
  ASSERT_EQ(t.GetLength(), 500);
  EXPECT_EQ(t.Get()[499], '1');
  // ...and cut to exactly the limit otherwise.
  t.SetFormatted(256, "%0500d", 1);
  EXPECT_EQ(t.GetLength(), 256);
  EXPECT_EQ(std::string(t.Get()), std::string(256, '0'));
}

TEST(Text, CutsNeverSplitACharacter) {
  // "ab" then a three-byte euro sign: a 4-byte cut would split the euro.
  const char* euro = "ab\xE2\x82\xAC!";
  Text t;
  t.Set(euro, 4);
  EXPECT_STREQ(t.Get(), "ab");
  t.Set(euro, 5);
  EXPECT_STREQ(t.Get(), "ab\xE2\x82\xAC");
  t.SetFormatted(3, "%s", euro);
  EXPECT_STREQ(t.Get(), "ab");
  t.Set(euro);
  t.Truncate(6);
  EXPECT_STREQ(t.Get(), euro);
  t.Truncate(2);
  EXPECT_STREQ(t.Get(), "ab");
}

TEST(Text, FixedFieldCopiesReadNoFurtherThanTheyKeep) {
  // An unterminated source of exactly field size bytes, allocated to size so that the address
  // sanitizer sees any read past it.
  std::unique_ptr<char[]> raw(new char[8]);
  std::memcpy(raw.get(), "abcdef\xC3\xA4", 8);  // the last character straddles the cut
  char field[8];
  EXPECT_EQ(Utf8CopyCut(field, sizeof(field), raw.get()), 6u);
  EXPECT_STREQ(field, "abcdef");
  EXPECT_EQ(Utf8CopyCut(field, sizeof(field), nullptr), 0u);
  EXPECT_STREQ(field, "");

  // Copying a field onto itself, shifted, keeps the bytes (the copy may overlap).
  char overlap[16] = "0123456789";
  Utf8CopyCut(overlap, sizeof(overlap), overlap + 2);
  EXPECT_STREQ(overlap, "23456789");
}

TEST(Text, ShorterTextReplacesLongerOne) {
  Text t;
  t.SetFormatted(-1, "%s", "a much longer text");
  t.SetFormatted(32, "%s", "ab");
  EXPECT_STREQ(t.Get(), "ab");
  EXPECT_EQ(t.GetLength(), 2);
  EXPECT_TRUE(t == "ab");
}

TEST(Text, Utf8EncodesEveryLengthAndDecodesOnlyShortestValidForms) {
  const char32_t points[] = {0x24,   0x7F,   0x80,    0xE9,    0x7FF,   0x800,
                             0x20AC, 0xFFFD, 0x10000, 0x1F3B8, 0x10FFFF};
  const size_t lengths[] = {1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  for (size_t k = 0; k < sizeof(points) / sizeof(points[0]); ++k) {
    std::string s;
    AppendUtf8(s, points[k]);
    ASSERT_EQ(s.size(), lengths[k]) << std::hex << static_cast<unsigned long>(points[k]);
    size_t len = 0;
    EXPECT_EQ(DecodeUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size(), len),
              static_cast<long>(points[k]));
    EXPECT_EQ(len, lengths[k]);
    // Cut by the end of the readable bytes: no code point, one byte consumed.
    if (lengths[k] > 1) {
      EXPECT_EQ(DecodeUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size() - 1, len),
                -1);
      EXPECT_EQ(len, 1u);
    }
  }
  for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xF8\x88\x80\x80\x80", "\xC3\x28", "\xFF"}) {
    size_t len = 0;
    EXPECT_EQ(DecodeUtf8(reinterpret_cast<const unsigned char*>(bad), std::strlen(bad), len), -1)
        << bad;
    EXPECT_EQ(len, 1u);
  }
}

TEST(Text, Utf16ConversionsTurnBadInputIntoReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16(nullptr), u"");
  EXPECT_EQ(Utf8ToUtf16("\xFF"
                        "1\xC0\xAF"
                        "2\xE2\x82"),
            u"\uFFFD1\uFFFD\uFFFD2\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  const char16_t lone[] = {0xD800, u'a', 0xDC00};
  EXPECT_EQ(Utf16ToUtf8(lone, 3),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(nullptr, 4), "");
  const char* text = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
}

TEST(Text, CaseIsIgnoredForAsciiLettersOnly) {
  EXPECT_TRUE(EqualIgnoringCaseAscii("ROBOTO-Regular.TTF", "roboto-regular.ttf"));
  EXPECT_FALSE(EqualIgnoringCaseAscii("knob.png", "knob.pn"));
  EXPECT_FALSE(EqualIgnoringCaseAscii("knob", "knob.png"));
  EXPECT_TRUE(EqualIgnoringCaseAscii("LEDON.PNG-trailing", "ledon.png", 9));
  // Bytes of UTF-8 characters and punctuation never change: "\xC3\x84" (A with diaeresis)
  // does not match "\xC3\xA4" (its lower case), and '@' (0x40) is not '`' (0x60).
  EXPECT_FALSE(EqualIgnoringCaseAscii("\xC3\x84", "\xC3\xA4"));
  EXPECT_FALSE(EqualIgnoringCaseAscii("@", "`"));
  EXPECT_EQ(ToUpperAscii('z'), 'Z');
  EXPECT_EQ(ToLowerAscii('['), '[');
}

}  // namespace
}  // namespace kantele
