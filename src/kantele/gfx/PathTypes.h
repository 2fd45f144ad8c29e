#pragma once

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "kantele/gfx/GraphicsTypes.h"
#include "kantele/gfx/ITransform.h"

// The records the drawing primitives hand to a back end's path operations, and the other
// small types of the graphics context's interface. Plain values: [any-thread].

namespace kantele {
namespace gfx {

/// Kind of a paint pattern.
enum EPatternType : int32_t { kSolidPattern = 0, kLinearPattern = 1, kRadialPattern = 2 };

/// How a gradient continues beyond its ends (kept for the record; the drawing back end pads).
enum EPatternExtend : int32_t {
  kExtendNone = 0,
  kExtendPad = 1,
  kExtendReflect = 2,
  kExtendRepeat = 3
};

/// One colour stop of a gradient.
struct IColorStop {
  IArgb mColor;
  float mOffset = 0.f;
};

/// What a path is filled or stroked with: a solid colour (its first stop) or a gradient
/// whose transform maps drawing space into pattern space.
struct IPaintSpec {
  static constexpr int kMaxStops = 16;

  EPatternType mType = kSolidPattern;
  EPatternExtend mExtend = kExtendPad;
  IColorStop mStops[kMaxStops];
  int32_t mNStops = 0;
  ITransform mTransform;

  IPaintSpec() = default;
  /// A solid colour.
  IPaintSpec(const IArgb& color) : mNStops(1) {
    mStops[0].mColor = color;
  }  // NOLINT: implicit on purpose

  /// Appends a stop; stops beyond the sixteenth are dropped.
  void AddStop(const IArgb& color, float offset) {
    if (mNStops < kMaxStops) mStops[mNStops++] = IColorStop{color, offset};
  }
  /// The first stop's colour (opaque black without stops).
  IArgb GetStop0Color() const { return mNStops > 0 ? mStops[0].mColor : kColorBlack; }
};

enum ELineCap : int32_t { kCapButt = 0, kCapRound = 1, kCapSquare = 2 };
enum ELineJoin : int32_t { kJoinMiter = 0, kJoinRound = 1, kJoinBevel = 2 };
enum EFillRule : int32_t { kFillWinding = 0, kFillEvenOdd = 1 };

/// Stroke options: the path is forgotten after the stroke unless `mPreserve`.
struct IStrokeSpec {
  float mMiterLimit = 10.f;
  bool mPreserve = false;
  ELineCap mCapOption = kCapButt;
  ELineJoin mJoinOption = kJoinMiter;
};

/// Fill options: the path is forgotten after the fill unless `mPreserve`.
struct IFillSpec {
  EFillRule mFillRule = kFillWinding;
  bool mPreserve = false;
};

/// Whether a drag changes the zoom (Scale) or the editor's size in UI units (Size).
enum EResizeMode : int32_t { kResizeScale = 0, kResizeSize = 1 };

/// Mouse cursors the platform can show; `SetCursor` answers the previous one.
enum ECursor : int32_t {
  kArrowCursor = 0,
  kIBeamCursor = 1,
  kWaitCursor = 2,
  kCrossCursor = 3,
  kUpArrowCursor = 4,
  kSizeNWSECursor = 5,
  kSizeNESWCursor = 6,
  kSizeWECursor = 7,
  kSizeNSCursor = 8,
  kSizeAllCursor = 9,
  kInfoCursor = 10,
  kHandCursor = 11,
  kHelpCursor = 12,
};

/// Buttons of a message box, and the answer codes.
enum EMsgBoxType : int32_t { kMB_OK = 0, kMB_OKCANCEL = 1, kMB_YESNOCANCEL = 3, kMB_YESNO = 4 };
enum EMsgBoxResult : int32_t {
  kNoResult = 0,
  kOK = 1,
  kCANCEL = 2,
  kYES = 6,
  kNO = 7,
};

enum EFileAction : int32_t { kFileOpen = 0, kFileSave = 1 };

/// Font style for installed fonts.
enum ETextStyle : int32_t { kTextStyleNormal = 0, kTextStyleBold = 1, kTextStyleItalic = 2 };

/// A parsed SVG document. No parser is built in: documents are empty (no size, no shapes)
/// until one is plugged into the back end's `ParseSVG`.
struct SVGDocument {
  float mWidth = 0.f;
  float mHeight = 0.f;
  /// The document's source bytes, kept so a parser plugged in later can read them.
  std::vector<uint8_t> mSource;
};

/// What a control holds to draw an SVG document: a non-owning pointer into the process-wide
/// SVG cache. Null for "no document".
struct ISVG {
  SVGDocument* mDoc = nullptr;
  ISVG() = default;
  explicit ISVG(SVGDocument* doc) : mDoc(doc) {}
  float W() const { return mDoc ? mDoc->mWidth : 0.f; }
  float H() const { return mDoc ? mDoc->mHeight : 0.f; }
  bool IsValid() const { return mDoc != nullptr; }
};

/// A font's bytes as a platform found them, for registration with the drawing back end.
/// `mFaceIdx` -1 means not usable.
struct FontData {
  std::vector<uint8_t> mBytes;
  int32_t mFaceIdx = -1;
  bool IsValid() const { return !mBytes.empty() && mFaceIdx >= 0; }
};

/// A font the platform loaded (installed, from memory, or from a file or resource).
class PlatformFont {
 public:
  virtual ~PlatformFont() = default;
  /// The platform's font handle; null where there is none.
  virtual void* GetFontHandle() const { return nullptr; }
  /// The font's bytes; none (face -1) by default.
  virtual FontData GetFontData() const { return FontData{}; }
};

/// A font held as the bytes of its file (the first face), as read from a file or a module
/// resource. Empty bytes make an unusable font.
class MemoryFont : public PlatformFont {
 public:
  explicit MemoryFont(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}
  FontData GetFontData() const override {
    FontData data;
    data.mBytes = mBytes;
    data.mFaceIdx = mBytes.empty() ? -1 : 0;
    return data;
  }

 private:
  std::vector<uint8_t> mBytes;
};

}  // namespace gfx
}  // namespace kantele
