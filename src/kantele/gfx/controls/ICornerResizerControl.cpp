#include "kantele/gfx/controls/ICornerResizerControl.h"

#include <cmath>

#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

ICornerResizerControl::ICornerResizerControl(const IRect& graphicsBounds, float size,
                                             const IArgb& color, const IArgb& mouseOverColor,
                                             const IArgb& dragColor)
    : IControl(IRect(graphicsBounds.R - size + 1.f, graphicsBounds.B - size + 1.f,
                     graphicsBounds.R - 1.f, graphicsBounds.B - 1.f)),
      mSize(size),
      mInitialGraphicsBounds(graphicsBounds),
      mColor(color),
      mMouseOverColor(mouseOverColor),
      mDragColor(dragColor) {}

void ICornerResizerControl::OnMouseDown(float, float, const IMouseState&) {
  if (mGraphics) mGraphics->StartResizeGesture();
}

void ICornerResizerControl::OnMouseDoubleClick(float, float, const IMouseState&) {
  if (!mGraphics) return;
  mGraphics->Resize(static_cast<int>(std::trunc(mInitialGraphicsBounds.W())),
                    static_cast<int>(std::trunc(mInitialGraphicsBounds.H())), 1.f);
}

void ICornerResizerControl::OnMouseOver(float x, float y, const IMouseState& mod) {
  if (!mMouseOver && mGraphics) mPrevCursorType = mGraphics->SetCursor(kSizeNWSECursor);
  mMouseOver = true;
  IControl::OnMouseOver(x, y, mod);
}

void ICornerResizerControl::OnMouseOut() {
  if (mMouseOver && mGraphics) mGraphics->SetCursor(mPrevCursorType);
  mMouseOver = false;
  IControl::OnMouseOut();
}

void ICornerResizerControl::OnRescale() {
  if (!mGraphics) return;
  const float drawScale = mGraphics->GetDrawScale();
  if (!(drawScale > 0.f)) return;
  const float z = mSize / drawScale;
  const float w = static_cast<float>(mGraphics->Width());
  const float h = static_cast<float>(mGraphics->Height());
  // Both rectangles, the pointer counted as gone, then OnResize.
  SetAreas(IRect(w - z, h - z, w, h));
}

void ICornerResizerControl::Draw(IGfx& g) {
  const IArgb& color = g.GetResizingInProcess() ? mDragColor
                       : mMouseIsOver           ? mMouseOverColor
                                                : mColor;
  g.FillTriangle(color, mDrawRect.L, mDrawRect.B, mDrawRect.R, mDrawRect.T, mDrawRect.R,
                 mDrawRect.B);
}

void IGfx::AttachCornerResizer(float size, bool layoutOnResize, const IArgb& color,
                               const IArgb& mouseOverColor, const IArgb& dragColor) {
  if (mCornerResizer) return;
  AttachCornerResizer(
      new ICornerResizerControl(GetBounds(), size, color, mouseOverColor, dragColor),
      layoutOnResize);
}

}  // namespace gfx
}  // namespace kantele
