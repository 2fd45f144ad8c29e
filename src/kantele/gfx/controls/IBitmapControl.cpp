#include "kantele/gfx/controls/IBitmapControl.h"

#include <algorithm>
#include <cmath>

#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

int IBitmapBase::FrameForValue(double value, int nFrames) {
  if (nFrames < 2) return 1;
  // NaN has no frame of its own: it shows the first.
  const double v = value == value ? value : 0.0;
  const double frame = 1.0 + std::trunc(0.5 + v * static_cast<double>(nFrames - 1));
  return static_cast<int>(std::clamp(frame, 1.0, static_cast<double>(nFrames)));
}

void IBitmapBase::DrawFrame(IGfx& g) {
  if (!mBitmap.IsValid() || !mOwner) return;
  const int n = mBitmap.N();
  const int frame = FrameForValue(mOwner->GetValue(0), n);
  const IRect dest = mOwner->GetDrawRect().GetCentredInside(static_cast<float>(mBitmap.FW()),
                                                            static_cast<float>(mBitmap.FH()));
  int srcX = 0;
  int srcY = 0;
  if (frame > 1 && n >= 2) {
    if (mBitmap.GetFramesAreHorizontal())
      srcX = mBitmap.W() * (frame - 1) / n;
    else
      srcY = mBitmap.H() * (frame - 1) / n;
  }
  g.DrawBitmap(mBitmap, dest, srcX, srcY, &mOwner->GetBlend());
}

void IBitmapBase::ReloadBitmap(IGfx& g) {
  if (!*mBitmap.GetResourceName()) return;
  const int scale = static_cast<int>(std::ceil(g.GetScreenScale()));
  // A copy of the name: the handle that owns it is replaced.
  const std::string name = mBitmap.GetResourceName();
  mBitmap = g.LoadBitmap(name.c_str(), mBitmap.N(), mBitmap.GetFramesAreHorizontal(), scale);
}

IBitmapControl::IBitmapControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx,
                               EBlendMethod blend)
    : IControl(
          IRect(x, y, x + static_cast<float>(bitmap.FW()), y + static_cast<float>(bitmap.FH())),
          paramIdx),
      IBitmapBase(bitmap, this) {
  mBlend = IBlending(1.f, blend);
}

void IBitmapControl::OnRescale() {
  if (mGraphics) ReloadBitmap(*mGraphics);
}

void IBitmapControl::Draw(IGfx& g) { DrawFrame(g); }

}  // namespace gfx
}  // namespace kantele
