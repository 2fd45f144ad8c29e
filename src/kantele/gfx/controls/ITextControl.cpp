#include "kantele/gfx/controls/ITextControl.h"

#include <cmath>
#include <cstdarg>

#include "kantele/Text.h"
#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

ITextControl::ITextControl(const IRect& bounds, const char* text, const ITextStyle& style,
                           const IArgb& bgColor)
    : IControl(bounds, -1), mStr(text ? text : ""), mBGColor(bgColor) {
  mIgnoreMouse = true;
  mText = style;
}

void ITextControl::OnInit() {
  if (mSetBoundsBasedOnStr) SetBoundsFromText();
}

void ITextControl::Draw(IGfx& g) {
  g.FillRect(mBGColor, mDrawRect, &mBlend);
  if (mStr.empty() || g.GetTextEntryEditingControl() == this) return;
  g.DrawText(mText, mStr.c_str(), mDrawRect, &mBlend);
}

void ITextControl::SetLabel(const char* text) {
  const char* str = text ? text : "";
  if (mStr == str) return;
  mStr = str;
  if (mSetBoundsBasedOnStr) SetBoundsFromText();
  SetDirty(false);
}

void ITextControl::SetLabelFormatted(int maxLength, const char* fmt, ...) {
  Text formatted;
  if (maxLength > 0 && fmt) {
    va_list args;
    va_start(args, fmt);
    formatted.SetFormattedV(maxLength, fmt, args);
    va_end(args);
  }
  mStr = formatted.Get();
  // A formatted label changes size like any other: without refitting, a longer text would be
  // clipped to the old rectangle.
  if (mSetBoundsBasedOnStr) SetBoundsFromText();
  SetDirty(false);
}

void ITextControl::ClearLabel() { SetLabel(""); }

void ITextControl::SetBoundsFromText() {
  if (!mGraphics) return;
  IRect measured;
  mGraphics->MeasureText(mText, mStr.c_str(), measured);
  float w = measured.W();
  float h = measured.H();
  // A back end that answers nonsense must not turn the rectangles into NaN.
  if (!std::isfinite(w) || w < 0.f) w = 0.f;
  if (!std::isfinite(h) || h < 0.f) h = 0.f;
  const float cx = mDrawRect.MW();
  const float cy = mDrawRect.MH();
  SetAreas(IRect(cx - w / 2.f, cy - h / 2.f, cx + w / 2.f, cy + h / 2.f));
}

}  // namespace gfx
}  // namespace kantele
