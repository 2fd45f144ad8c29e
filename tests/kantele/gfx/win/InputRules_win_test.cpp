#include "kantele/gfx/platform/win/InputRules_win.h"

#include <gtest/gtest.h>

#include <string>

namespace kantele {
namespace gfx {
namespace {

std::string Accepted(EParamKind kind, const std::string& typed) {
  std::string out;
  for (char c : typed) {
    if (NativeTextEntryAccepts(kind, static_cast<unsigned char>(c))) out += c;
  }
  return out;
}

TEST(InputRules, TextEntryCharacters) {
  const std::string typed = "-12.5e+3,x 9\x02";
  EXPECT_EQ(Accepted(kKindDouble, typed), "-12.5+39");
  for (EParamKind kind : {kKindBool, kKindInt, kKindEnum})
    EXPECT_EQ(Accepted(kind, typed), "-125+39");
  EXPECT_EQ(Accepted(kKindNone, typed), typed);
  EXPECT_EQ(Accepted(static_cast<EParamKind>(9), typed), typed);
  EXPECT_FALSE(NativeTextEntryAccepts(kKindDouble, 0xFF10)) << "fullwidth digit";
  // Backspace and the editing commands always pass; line breaks and escape never do.
  const std::string controls = "\x08\x01\x03\x16\x18\x1A\r\n\x1B";
  for (EParamKind kind : {kKindNone, kKindInt, kKindDouble}) {
    EXPECT_EQ(Accepted(kind, controls), "\x08\x01\x03\x16\x18\x1A") << kind;
  }
}

TEST(InputRules, FileFilter) {
  NativeFileFilter f = MakeNativeFileFilter("wav aif");
  EXPECT_EQ(f.mPatterns + "|" + f.mDefaultExtension, "*.wav;*.aif|wav");
  f = MakeNativeFileFilter("  wav   aif ");
  EXPECT_EQ(f.mPatterns + "|" + f.mDefaultExtension, "*.wav;*.aif|wav");
  f = MakeNativeFileFilter(nullptr);
  EXPECT_EQ(f.mPatterns + "|" + f.mDefaultExtension, "|");

  const std::string e15(15, 'e');
  EXPECT_EQ(MakeNativeFileFilter(e15.c_str()).mDefaultExtension, e15);
  f = MakeNativeFileFilter((e15 + "e wav").c_str());
  EXPECT_EQ(f.mPatterns + "|" + f.mDefaultExtension, "*." + e15 + "e;*.wav|")
      << "16 bytes give no default, not a later one";

  // 42 patterns "*.abc" with their separators make 251 bytes; a 43rd would make 257.
  std::string list;
  for (int i = 0; i < 43; ++i) list += "abc ";
  f = MakeNativeFileFilter((list + "x " + std::string(300, 'y') + " z").c_str());
  EXPECT_EQ(f.mPatterns.size(), 255u) << "the 43rd, the 300-byte one and z left out; x fits";
  EXPECT_EQ(f.mPatterns.substr(f.mPatterns.size() - 10), ";*.abc;*.x");
}

TEST(InputRules, WheelNotches) {
  EXPECT_EQ(WheelNotches(120) + WheelNotches(359), 3);
  EXPECT_EQ(WheelNotches(60) + WheelNotches(-119), 0);
  EXPECT_EQ(WheelNotches(-240), -2);
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
