#include "kantele/gfx/platform/linux/X11Conversions.h"

// Only macros and numbers: no connection to a display is involved.
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kantele/Text.h"

namespace kantele {
namespace gfx {

namespace {

constexpr float kMinScreenScale = 1.f;
constexpr float kMaxScreenScale = 4.f;
constexpr float kBaseDpi = 96.f;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The value of the first line "Xft.dpi:" in [begin, end), as a positive finite number; 0 when
// the line is missing or its value is not a plain decimal number.
double XftDpi(const char* begin, const char* end) {
  static const char kName[] = "Xft.dpi";
  const size_t nameLength = sizeof(kName) - 1;
  const char* line = begin;
  while (line < end) {
    const char* lineEnd =
        static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
    if (!lineEnd) lineEnd = end;
    const char* p = line;
    while (p < lineEnd && IsBlank(*p)) ++p;
    if (static_cast<size_t>(lineEnd - p) > nameLength && std::memcmp(p, kName, nameLength) == 0) {
      p += nameLength;
      while (p < lineEnd && IsBlank(*p)) ++p;
      if (p < lineEnd && *p == ':') {
        ++p;
        while (p < lineEnd && IsBlank(*p)) ++p;
        // Digits with at most one decimal point, then only blanks: copied out, since the
        // text need not be terminated.
        char number[32] = {};
        size_t n = 0;
        bool point = false;
        bool digit = false;
        for (; p < lineEnd && !IsBlank(*p) && *p != '\r'; ++p) {
          const char c = *p;
          if (c >= '0' && c <= '9') {
            digit = true;
          } else if (c == '.' && !point) {
            point = true;
          } else {
            return 0.;
          }
          if (n + 1 >= sizeof(number)) return 0.;
          number[n++] = c;
        }
        while (p < lineEnd && (IsBlank(*p) || *p == '\r')) ++p;
        if (!digit || p != lineEnd) return 0.;
        const double dpi = std::strtod(number, nullptr);
        return std::isfinite(dpi) && dpi > 0. ? dpi : 0.;
      }
    }
    line = lineEnd + 1;
  }
  return 0.;
}

}  // namespace

float ScreenScaleFromXResources(const char* resources, size_t length) {
  if (!resources) return kMinScreenScale;
  const void* nul = std::memchr(resources, '\0', length);
  const char* end = nul ? static_cast<const char*>(nul) : resources + length;
  const double dpi = XftDpi(resources, end);
  if (!(dpi > 0.)) return kMinScreenScale;
  const float scale = static_cast<float>(dpi / kBaseDpi);
  if (!(scale >= kMinScreenScale)) return kMinScreenScale;
  return scale > kMaxScreenScale ? kMaxScreenScale : scale;
}

int VirtualKeyFromKeySym(unsigned long keysym) {
  // Letters of either case and digits: their upper-case ASCII codes.
  if (keysym >= XK_a && keysym <= XK_z) return static_cast<int>(keysym - XK_a) + 'A';
  if (keysym >= XK_A && keysym <= XK_Z) return static_cast<int>(keysym);
  if (keysym >= XK_0 && keysym <= XK_9) return static_cast<int>(keysym);
  if (keysym >= XK_F1 && keysym <= XK_F24) return 0x70 + static_cast<int>(keysym - XK_F1);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return 0x60 + static_cast<int>(keysym - XK_KP_0);

  struct Entry {
    unsigned long mKeySym;
    int mVK;
  };
  // Four pairs a row, as written.
  // clang-format off
  static const Entry kTable[] = {
      {XK_BackSpace, 0x08}, {XK_Tab, 0x09}, {XK_ISO_Left_Tab, 0x09}, {XK_Clear, 0x0C},
      {XK_Return, 0x0D}, {XK_KP_Enter, 0x0D}, {XK_Shift_L, 0x10}, {XK_Shift_R, 0x10},
      {XK_Control_L, 0x11}, {XK_Control_R, 0x11}, {XK_Alt_L, 0x12}, {XK_Alt_R, 0x12},
      {XK_Meta_L, 0x12}, {XK_Meta_R, 0x12}, {XK_Pause, 0x13}, {XK_Caps_Lock, 0x14},
      {XK_Escape, 0x1B}, {XK_space, 0x20}, {XK_Prior, 0x21}, {XK_KP_Prior, 0x21},
      {XK_Next, 0x22}, {XK_KP_Next, 0x22}, {XK_End, 0x23}, {XK_KP_End, 0x23},
      {XK_Home, 0x24}, {XK_KP_Home, 0x24}, {XK_Left, 0x25}, {XK_KP_Left, 0x25},
      {XK_Up, 0x26}, {XK_KP_Up, 0x26}, {XK_Right, 0x27}, {XK_KP_Right, 0x27},
      {XK_Down, 0x28}, {XK_KP_Down, 0x28}, {XK_Print, 0x2C}, {XK_Insert, 0x2D},
      {XK_KP_Insert, 0x2D}, {XK_Delete, 0x2E}, {XK_KP_Delete, 0x2E}, {XK_Help, 0x2F},
      {XK_Super_L, 0x5B}, {XK_Super_R, 0x5C}, {XK_Menu, 0x5D}, {XK_KP_Multiply, 0x6A},
      {XK_KP_Add, 0x6B}, {XK_KP_Separator, 0x6C}, {XK_KP_Subtract, 0x6D},
      {XK_KP_Decimal, 0x6E}, {XK_KP_Divide, 0x6F}, {XK_Num_Lock, 0x90},
      {XK_Scroll_Lock, 0x91},
      // The US layout's punctuation keys, with the symbols their shifted state types.
      {XK_semicolon, 0xBA}, {XK_colon, 0xBA}, {XK_equal, 0xBB}, {XK_plus, 0xBB},
      {XK_comma, 0xBC}, {XK_less, 0xBC}, {XK_minus, 0xBD}, {XK_underscore, 0xBD},
      {XK_period, 0xBE}, {XK_greater, 0xBE}, {XK_slash, 0xBF}, {XK_question, 0xBF},
      {XK_grave, 0xC0}, {XK_asciitilde, 0xC0}, {XK_bracketleft, 0xDB}, {XK_braceleft, 0xDB},
      {XK_backslash, 0xDC}, {XK_bar, 0xDC}, {XK_bracketright, 0xDD}, {XK_braceright, 0xDD},
      {XK_apostrophe, 0xDE}, {XK_quotedbl, 0xDE},
      // Shifted digits: the digit's key.
      {XK_exclam, '1'}, {XK_at, '2'}, {XK_numbersign, '3'}, {XK_dollar, '4'},
      {XK_percent, '5'}, {XK_asciicircum, '6'}, {XK_ampersand, '7'}, {XK_asterisk, '8'},
      {XK_parenleft, '9'}, {XK_parenright, '0'},
  };
  // clang-format on
  for (const Entry& e : kTable) {
    if (e.mKeySym == keysym) return e.mVK;
  }
  return 0;
}

unsigned int CursorFontShape(int cursorType) {
  // By ECursor: arrow, I-beam, wait, cross, up arrow, the four sizing arrows, move, info
  // (an arrow with a question mark is the nearest), hand and help.
  static const unsigned int kShapes[] = {XC_left_ptr,
                                         XC_xterm,
                                         XC_watch,
                                         XC_crosshair,
                                         XC_sb_up_arrow,
                                         XC_bottom_right_corner,
                                         XC_bottom_left_corner,
                                         XC_sb_h_double_arrow,
                                         XC_sb_v_double_arrow,
                                         XC_fleur,
                                         XC_question_arrow,
                                         XC_hand2,
                                         XC_question_arrow};
  const int count = static_cast<int>(sizeof(kShapes) / sizeof(kShapes[0]));
  return cursorType >= 0 && cursorType < count ? kShapes[cursorType] : kShapes[0];
}

std::string SelectionTextToUtf8(const unsigned char* data, size_t length, bool utf8) {
  std::string out;
  if (!data) return out;
  const void* nul = std::memchr(data, 0, length);
  if (nul) length = static_cast<size_t>(static_cast<const unsigned char*>(nul) - data);
  out.reserve(length);
  size_t i = 0;
  while (i < length) {
    if (!utf8) {
      AppendUtf8(out, data[i]);
      ++i;
      continue;
    }
    size_t n = 1;
    if (DecodeUtf8(data + i, length - i, n) < 0) {
      AppendUtf8(out, 0xFFFD);
    } else {
      out.append(reinterpret_cast<const char*>(data + i), n);
    }
    i += n;
  }
  return out;
}

std::string Utf8ToLatin1(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t i = 0;
  while (i < utf8.size()) {
    size_t n = 1;
    const long cp = DecodeUtf8(s + i, utf8.size() - i, n);
    out += cp >= 0 && cp <= 0xFF ? static_cast<char>(cp) : '?';
    i += n;
  }
  return out;
}

bool IsDoubleClick(unsigned long firstTime, int firstX, int firstY, unsigned long secondTime,
                   int secondX, int secondY) {
  // X server time is 32 bits of milliseconds: the difference is taken modulo 2^32.
  const uint32_t elapsed = static_cast<uint32_t>(secondTime) - static_cast<uint32_t>(firstTime);
  return elapsed <= 400u && std::abs(secondX - firstX) <= 4 && std::abs(secondY - firstY) <= 4;
}

}  // namespace gfx
}  // namespace kantele
