#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kantele/Text.h"

// The small value types shared by the drawing context, the controls and the platform
// windows. Every one is a plain copyable value with no virtual operations: [any-thread],
// never allocates or locks. Coordinates are UI units (unscaled editor pixels).

namespace kantele {
namespace gfx {

/// A colour: alpha, red, green, blue, each 0..255 (alpha 255 is opaque).
struct IArgb {
  int32_t A = 255;
  int32_t R = 0;
  int32_t G = 0;
  int32_t B = 0;

  /// Opaque black.
  constexpr IArgb() = default;
  /// Each component is clamped to 0..255.
  constexpr IArgb(int32_t a, int32_t r, int32_t g, int32_t b)
      : A(Clamp(a)), R(Clamp(r)), G(Clamp(g)), B(Clamp(b)) {}

  constexpr bool operator==(const IArgb& c) const {
    return A == c.A && R == c.R && G == c.G && B == c.B;
  }
  constexpr bool operator!=(const IArgb& c) const { return !(*this == c); }

 private:
  static constexpr int32_t Clamp(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
};
static_assert(sizeof(IArgb) == 16, "IArgb is four 32-bit integers: A, R, G, B");

inline constexpr IArgb kColorBlack{255, 0, 0, 0};
inline constexpr IArgb kColorWhite{255, 255, 255, 255};
inline constexpr IArgb kColorRed{255, 255, 0, 0};
inline constexpr IArgb kColorTransparent{0, 0, 0, 0};

/// How drawn pixels combine with what is already there.
enum EBlendMethod : int32_t {
  /// Ordinary source-over blending.
  kBlendDefault = 0,
};

/// Blend method and opacity factor for one drawing call. Drawing calls take an optional
/// pointer; null means `kBlendDefault` at weight 1.
struct IBlending {
  EBlendMethod mMethod = kBlendDefault;
  /// Opacity factor, 0 (invisible) to 1 (as drawn).
  float mWeight = 1.f;

  constexpr IBlending() = default;
  constexpr explicit IBlending(float weight, EBlendMethod method = kBlendDefault)
      : mMethod(method), mWeight(weight) {}
};
static_assert(sizeof(IBlending) == 8, "IBlending is a 32-bit method and a 32-bit weight");

/// The opacity factor of an optional blending: 1 for null.
inline float BlendWeight(const IBlending* blend) { return blend ? blend->mWeight : 1.f; }

/// Horizontal text alignment.
enum ETextAlign : int32_t { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };

/// Vertical text alignment.
enum ETextVAlign : int32_t { kVAlignTop = 0, kVAlignMiddle = 1, kVAlignBottom = 2 };

/// Room for a font identifier: 63 bytes and a terminator.
constexpr int kFontIDSize = 64;

/// The font every text style uses unless told otherwise.
constexpr const char* kDefaultFontID = "Roboto-Regular";

/// How a text is drawn, and how the text-entry field that edits it looks.
struct ITextStyle {
  /// Zero-terminated font identifier, at most 63 bytes.
  char mFont[kFontIDSize] = {};
  float mSize = 14.f;
  IArgb mFGColor = kColorBlack;
  /// Background of the text-entry field.
  IArgb mTextEntryBGColor = kColorWhite;
  /// Text colour of the text-entry field.
  IArgb mTextEntryFGColor = kColorBlack;
  /// Rotation in degrees.
  float mAngle = 0.f;
  ETextAlign mAlign = kAlignCenter;
  ETextVAlign mVAlign = kVAlignMiddle;

  /// Every value at its default: 14-unit black "Roboto-Regular", centred both ways.
  ITextStyle() { SetFont(kDefaultFontID); }

  /// `font` is cut to 63 bytes without splitting a UTF-8 character; null means the default
  /// font.
  ITextStyle(float size, const IArgb& color, const char* font, ETextAlign align = kAlignCenter,
             ETextVAlign valign = kVAlignMiddle, float angle = 0.f)
      : mSize(size), mFGColor(color), mAngle(angle), mAlign(align), mVAlign(valign) {
    SetFont(font);
  }

  /// Replaces the font identifier, cut as the constructor does; null means the default.
  void SetFont(const char* font) {
    Utf8CopyCut(mFont, sizeof(mFont), font ? font : kDefaultFontID);
  }
};

/// Mouse buttons and modifier keys during a pointer event, and the touch that caused it.
struct IMouseState {
  bool L = false;  ///< left button
  bool R = false;  ///< right button
  bool S = false;  ///< shift
  bool C = false;  ///< control
  bool A = false;  ///< alt
  /// Identifies the touch; 0 for the mouse.
  uintptr_t touchID = 0;
  /// Radius of the touch in UI units; 0 for the mouse.
  float touchRadius = 0.f;
};

/// A pointer position with its movement since the previous event.
struct IMousePoint {
  float x = 0.f;
  float y = 0.f;
  float dX = 0.f;
  float dY = 0.f;
  IMouseState ms;
};

/// A key event: the platform's virtual-key code, the character typed (UTF-8) and the
/// modifier keys held.
struct KeyPress {
  int32_t VK = 0;
  /// One character as UTF-8, zero-terminated; empty for keys that type nothing.
  char utf8[5] = {};
  bool S = false;  ///< shift
  bool C = false;  ///< control
  bool A = false;  ///< alt

  KeyPress() = default;
  /// Copies at most 4 bytes of `text`, never splitting a UTF-8 character; null is empty.
  KeyPress(const char* text, int vk, bool s, bool c, bool a) : VK(vk), S(s), C(c), A(a) {
    Utf8CopyCut(utf8, sizeof(utf8), text);
  }
};
static_assert(offsetof(KeyPress, VK) == 0, "KeyPress starts with the 32-bit virtual-key code");
static_assert(offsetof(KeyPress, utf8) == 4, "KeyPress's character follows the key code");
static_assert(sizeof(KeyPress) == 12, "KeyPress is a key code, 5 bytes of text and 3 flags");

/// What a control is bound to: a parameter (`mParamIdx`, -1 when bound to none) and the
/// normalised value, 0 to 1, it shows.
struct IValueSlot {
  int32_t mParamIdx = -1;
  double mValue = 0.0;
};

}  // namespace gfx
}  // namespace kantele
