#pragma once

#include <string>

namespace kantele {
namespace gfx {

/// A bitmap as the drawing back end holds it: the back end's image handle and the image's
/// size in device pixels, with the integer scale (1, 2 or 3) it was made for and the scale
/// it is drawn at. Created by a back end and owned by its bitmap cache; controls refer to
/// it through `IBitmapHandle`. Back ends derive from it to keep their own data.
///
/// [main-thread] Immutable once created. Not copyable, so a derived bitmap is never sliced.
class APIBitmap {
 public:
  APIBitmap(int image, int width, int height, int scale, float drawScale);
  virtual ~APIBitmap();
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;

  /// The back end's image handle.
  int GetImage() const { return mImage; }
  /// Width in device pixels.
  int GetWidth() const { return mWidth; }
  /// Height in device pixels.
  int GetHeight() const { return mHeight; }
  /// The integer scale the image was made for: device pixels per UI unit.
  int GetScale() const { return mScale; }
  float GetDrawScale() const { return mDrawScale; }

 private:
  int mImage;
  int mWidth;
  int mHeight;
  int mScale;
  float mDrawScale;
};

/// What a control holds to draw a bitmap: a non-owning pointer to the back end's bitmap, its
/// size in UI units, and how it divides into equal frames (a strip of `N()` frames, side by
/// side when horizontal, stacked otherwise). A handle with no bitmap is the empty bitmap:
/// size 0 and not valid.
///
/// [main-thread] A copyable value; the resource name is owned text, so constructing and
/// copying allocate. The bitmap pointed to must outlive every handle to it.
class IBitmapHandle {
 public:
  /// The empty bitmap.
  IBitmapHandle() = default;

  /// The size in UI units is the pixel size divided by the bitmap's integer scale (integer
  /// division; a scale of 0 or less counts as 1). `nFrames` below 1 becomes 1. A null
  /// `name` is empty.
  IBitmapHandle(APIBitmap* bitmap, const char* name, int nFrames = 1,
                bool framesAreHorizontal = false);

  /// Width in UI units.
  int W() const { return mW; }
  /// Height in UI units.
  int H() const { return mH; }
  /// Number of frames, at least 1.
  int N() const { return mN; }
  /// Width of one frame in UI units (integer division for horizontal strips).
  int FW() const { return mFramesAreHorizontal ? mW / mN : mW; }
  /// Height of one frame in UI units (integer division for vertical strips).
  int FH() const { return mFramesAreHorizontal ? mH : mH / mN; }
  bool GetFramesAreHorizontal() const { return mFramesAreHorizontal; }

  APIBitmap* GetAPIBitmap() const { return mAPIBitmap; }
  const char* GetResourceName() const { return mResourceName.c_str(); }
  /// False for the empty bitmap.
  bool IsValid() const { return mAPIBitmap != nullptr; }

 private:
  APIBitmap* mAPIBitmap = nullptr;
  int mW = 0;
  int mH = 0;
  int mN = 1;
  bool mFramesAreHorizontal = false;
  std::string mResourceName;
};

}  // namespace gfx
}  // namespace kantele
