#include "kantele/gfx/IBitmap.h"

namespace kantele {
namespace gfx {

APIBitmap::APIBitmap(int image, int width, int height, int scale, float drawScale)
    : mImage(image), mWidth(width), mHeight(height), mScale(scale), mDrawScale(drawScale) {}

APIBitmap::~APIBitmap() = default;

IBitmapHandle::IBitmapHandle(APIBitmap* bitmap, const char* name, int nFrames,
                             bool framesAreHorizontal)
    : mAPIBitmap(bitmap),
      mN(nFrames < 1 ? 1 : nFrames),
      mFramesAreHorizontal(framesAreHorizontal),
      mResourceName(name ? name : "") {
  if (mAPIBitmap) {
    const int scale = mAPIBitmap->GetScale() > 0 ? mAPIBitmap->GetScale() : 1;
    mW = mAPIBitmap->GetWidth() / scale;
    mH = mAPIBitmap->GetHeight() / scale;
  }
}

}  // namespace gfx
}  // namespace kantele
