// The Linux editor's display-free conversions: the Xft.dpi resource, keysyms to key codes,
// cursor shapes, selection text in both directions and the double-click rule.

#include "kantele/gfx/platform/linux/X11Conversions.h"

#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <string>

namespace kantele {
namespace gfx {
namespace {

float Scale(const std::string& resources) {
  return ScreenScaleFromXResources(resources.data(), resources.size());
}

TEST(XResources, TheScreenScaleIsXftDpiOver96WithinOneToFour) {
  EXPECT_FLOAT_EQ(Scale("Xft.dpi:\t192\n"), 2.f);
  EXPECT_FLOAT_EQ(Scale("Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 1.5f);
  EXPECT_FLOAT_EQ(Scale("  Xft.dpi :  120.0  \r\n"), 1.25f);
  EXPECT_FLOAT_EQ(Scale("Xft.dpi:\t192"), 2.f);  // no line end
  // The first entry counts; other names that begin alike are not it.
  EXPECT_FLOAT_EQ(Scale("Xft.dpix:\t300\nXft.dpi:\t96\nXft.dpi:\t192\n"), 1.f);
  // Below 96 the editor keeps its design size; above 384 it stops at 4.
  EXPECT_FLOAT_EQ(Scale("Xft.dpi:\t72\n"), 1.f);
  EXPECT_FLOAT_EQ(Scale("Xft.dpi:\t100000\n"), 4.f);
}

TEST(XResources, AnythingButAPlainPositiveNumberGivesOne) {
  for (const char* text :
       {"", "Xft.dpi:\n", "Xft.dpi:\tabc\n", "Xft.dpi:\t-192\n", "Xft.dpi:\t1e3\n",
        "Xft.dpi:\t19 2\n", "Xft.dpi:\t1.2.3\n", "Xft.dpi:\t0\n", "Xft.dpi:\t.\n", "Xft.dpi\t192\n",
        "Xft.dpi:\tnan\n", "Xft.dpi:\tinf\n",
        "Xft.dpi:\t0000000000000000000000000000000000192\n"}) {
    EXPECT_FLOAT_EQ(Scale(text), 1.f) << text;
  }
  EXPECT_FLOAT_EQ(ScreenScaleFromXResources(nullptr, 100), 1.f);
}

TEST(XResources, TheTextIsReadWithinItsLengthOrUpToATerminator) {
  const std::string text = "Xft.dpi:\t192\n";
  // Cut inside the number: "19" over 96 is below 1.
  EXPECT_FLOAT_EQ(ScreenScaleFromXResources(text.data(), 11), 1.f);
  EXPECT_FLOAT_EQ(ScreenScaleFromXResources(text.data(), 12), 2.f);
  const std::string terminated = std::string("Xft.dpi:\t1", 10) + '\0' + "92\n";
  EXPECT_FLOAT_EQ(ScreenScaleFromXResources(terminated.data(), terminated.size()), 1.f);
}

TEST(KeySyms, KeysGetTheirKeyCodes) {
  EXPECT_EQ(VirtualKeyFromKeySym(XK_a), 'A');
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Z), 'Z');
  EXPECT_EQ(VirtualKeyFromKeySym(XK_7), '7');
  EXPECT_EQ(VirtualKeyFromKeySym(XK_ampersand), '7');  // shift+7 on the US layout
  EXPECT_EQ(VirtualKeyFromKeySym(XK_F1), 0x70);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_F24), 0x87);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_KP_0), 0x60);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_KP_9), 0x69);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_KP_Decimal), 0x6E);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Return), 0x0D);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_KP_Enter), 0x0D);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Escape), 0x1B);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_BackSpace), 0x08);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Delete), 0x2E);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Left), 0x25);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Down), 0x28);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Home), 0x24);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_Shift_R), 0x10);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_minus), 0xBD);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_period), 0xBE);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_space), 0x20);
  // Keys without a code: accented letters, dead keys, nothing.
  EXPECT_EQ(VirtualKeyFromKeySym(XK_adiaeresis), 0);
  EXPECT_EQ(VirtualKeyFromKeySym(XK_dead_acute), 0);
  EXPECT_EQ(VirtualKeyFromKeySym(0), 0);
}

TEST(Cursors, EachCursorTypeHasItsShapeAndOthersTheArrow) {
  EXPECT_EQ(CursorFontShape(0), static_cast<unsigned>(XC_left_ptr));
  EXPECT_EQ(CursorFontShape(1), static_cast<unsigned>(XC_xterm));
  EXPECT_EQ(CursorFontShape(5), static_cast<unsigned>(XC_bottom_right_corner));
  EXPECT_EQ(CursorFontShape(7), static_cast<unsigned>(XC_sb_h_double_arrow));
  EXPECT_EQ(CursorFontShape(11), static_cast<unsigned>(XC_hand2));
  EXPECT_EQ(CursorFontShape(12), static_cast<unsigned>(XC_question_arrow));
  EXPECT_EQ(CursorFontShape(13), static_cast<unsigned>(XC_left_ptr));
  EXPECT_EQ(CursorFontShape(-1), static_cast<unsigned>(XC_left_ptr));
}

std::string FromSelection(const std::string& bytes, bool utf8) {
  return SelectionTextToUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                             utf8);
}

TEST(SelectionText, ValidUtf8PassesAndEverythingElseBecomesValid) {
  EXPECT_EQ(FromSelection("Gain \xE2\x82\xAC 3", true), "Gain \xE2\x82\xAC 3");
  EXPECT_EQ(FromSelection("\xF0\x9F\x8E\xB8", true), "\xF0\x9F\x8E\xB8");
  // A stray continuation byte, a cut sequence, an overlong slash, a surrogate, beyond U+10FFFF.
  EXPECT_EQ(FromSelection("a\x80z", true), "a\xEF\xBF\xBDz");
  EXPECT_EQ(FromSelection("a\xE2\x82", true), "a\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(FromSelection("\xC0\xAF", true), "\xEF\xBF\xBD\xEF\xBF\xBD");
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_EQ(FromSelection("\xED\xA0\x80", true), r + r + r);
  EXPECT_EQ(FromSelection("\xF4\x90\x80\x80", true), r + r + r + r);
  // Latin-1 (the STRING target) widens every byte.
  EXPECT_EQ(FromSelection("caf\xE9 \xB5s", false), "caf\xC3\xA9 \xC2\xB5s");
  // Read up to the first NUL or the length, whichever comes first; no data, no text.
  EXPECT_EQ(FromSelection(std::string("12\0"
                                      "34",
                                      5),
                          true),
            "12");
  EXPECT_EQ(SelectionTextToUtf8(reinterpret_cast<const unsigned char*>("1234"), 2, true), "12");
  EXPECT_EQ(SelectionTextToUtf8(nullptr, 10, true), "");
}

TEST(SelectionText, Latin1ForClientsThatAskForIt) {
  EXPECT_EQ(Utf8ToLatin1("caf\xC3\xA9 \xC2\xB5s"), "caf\xE9 \xB5s");
  EXPECT_EQ(Utf8ToLatin1("\xE2\x82\xAC 5"), "? 5");  // beyond Latin-1
  EXPECT_EQ(Utf8ToLatin1("\xF0\x9F\x8E\xB8!"), "?!");
  EXPECT_EQ(Utf8ToLatin1("a\xC3"), "a?");  // cut sequence
  // Round trip of every Latin-1 character.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToLatin1(FromSelection(all, false)), all);
}

TEST(DoubleClick, WithinFourHundredMillisecondsAndFourPixels) {
  EXPECT_TRUE(IsDoubleClick(1000, 10, 10, 1400, 14, 6));
  EXPECT_FALSE(IsDoubleClick(1000, 10, 10, 1401, 10, 10));
  EXPECT_FALSE(IsDoubleClick(1000, 10, 10, 1100, 15, 10));
  EXPECT_FALSE(IsDoubleClick(1000, 10, 10, 1100, 10, 5));
  // Server time wraps after 2^32 ms; a clock that went back is no double click.
  EXPECT_TRUE(IsDoubleClick(0xFFFFFF00ul, 0, 0, 0x40ul, 0, 0));
  EXPECT_FALSE(IsDoubleClick(1000, 0, 0, 999, 0, 0));
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
