#include "kantele/gfx/controls/IKnobControls.h"

#include <algorithm>
#include <cmath>

#include "kantele/IParam.h"
#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

IKnobControlBase::IKnobControlBase(const IRect& bounds, int paramIdx, IActionFunction action,
                                   EDirection direction, double gearing)
    : IControl(bounds, paramIdx, std::move(action)), mGearing(gearing), mDirection(direction) {}

void IKnobControlBase::OnMouseDown(float x, float y, const IMouseState& mod) {
  mMouseDown = true;
  const double value = GetValue(0);
  // A NaN would stay NaN through every later step: the drag starts from 0 instead.
  mDragValue = std::isnan(value) ? 0.0 : value;
  if (mHideCursorOnDrag && mGraphics) mGraphics->SetCursorHidden(true, true);
  IControl::OnMouseDown(x, y, mod);
}

void IKnobControlBase::OnMouseUp(float, float, const IMouseState&) {
  if (mHideCursorOnDrag && mGraphics) mGraphics->SetCursorHidden(false, true);
  mMouseDown = false;
  SetDirty(false);
}

void IKnobControlBase::OnMouseDrag(float, float, float dX, float dY, const IMouseState& mod) {
  double gearing = mGearing;
  if (mod.S || mod.C) gearing *= 10.0;
  const IRect b = GetDragBounds();
  // Moving the mouse down lowers the value: the top minus the bottom is negative.
  const double delta = mDirection == kVertical ? static_cast<double>(dY) / (b.T - b.B)
                                               : static_cast<double>(dX) / (b.R - b.L);
  const double step = delta / gearing;
  if (!std::isfinite(step)) return;
  const double accumulated = mDragValue + step;
  if (std::isnan(accumulated)) return;
  mDragValue = std::clamp(accumulated, 0.0, 1.0);
  SetValue(SnapToParamStep(mDragValue), 0);
  SetDirty(true);
}

void IKnobControlBase::OnMouseWheel(float, float, const IMouseState& mod, float d) {
  if (std::isnan(d)) return;
  const double gearing = (mod.S || mod.C) ? 0.001 : 0.01;
  const double value = GetValue(0);
  double v = value;
  const IParam* param = GetParam();
  if (param && (param->GetFlags() & kFlagQuantized) && param->GetStep() > 0.0) {
    const double real = param->ValueFromNormalized(value);
    if (d > 0.f)
      v = param->NormalizedFromValue(real + param->GetStep());
    else if (d < 0.f)
      v = param->NormalizedFromValue(real - param->GetStep());
  } else {
    v = value + gearing * d;
  }
  // SetDirty clamps the result to [0, 1].
  SetValue(v, 0);
  SetDirty(true);
}

IRect IKnobControlBase::GetDragBounds() const { return mTargetRect; }

double IKnobControlBase::SnapToParamStep(double v) const {
  const IParam* param = GetParam();
  if (!param || !(param->GetFlags() & kFlagQuantized) || !(param->GetStep() > 0.0)) return v;
  return param->NormalizedFromValue(param->ValueFromNormalized(v));
}

IBKnobControl::IBKnobControl(const IRect& bounds, const IBitmapHandle& bitmap, int paramIdx,
                             double gearing)
    : IKnobControlBase(
          bounds.GetCentredInside(static_cast<float>(bitmap.FW()), static_cast<float>(bitmap.FH())),
          paramIdx, nullptr, kVertical, gearing),
      IBitmapBase(bitmap, this) {}

void IBKnobControl::OnRescale() {
  if (mGraphics) ReloadBitmap(*mGraphics);
}

void IBKnobControl::Draw(IGfx& g) { DrawFrame(g); }

IBKnobRotaterControl::IBKnobRotaterControl(const IRect& bounds, const IBitmapHandle& bitmap,
                                           int paramIdx)
    : IBKnobControl(bounds, bitmap, paramIdx, 4.0) {}

void IBKnobRotaterControl::Draw(IGfx& g) {
  const double value = GetValue(0);
  const double v = std::isnan(value) ? 0.0 : value;
  g.DrawRotatedBitmap(mBitmap, mDrawRect.MW(), mDrawRect.MH(), v * 260.0 - 130.0, &mBlend);
}

}  // namespace gfx
}  // namespace kantele
