#include "kantele/gfx/controls/ISwitchControls.h"

#include <algorithm>
#include <cmath>

#include "kantele/IParam.h"
#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

ISwitchControlBase::ISwitchControlBase(const IRect& bounds, int paramIdx, IActionFunction action,
                                       int numStates)
    : IControl(bounds, paramIdx, std::move(action)) {
  SetNumStates(numStates);
}

void ISwitchControlBase::OnMouseDown(float, float, const IMouseState&) {
  const double value = GetValue(0);
  if (mNumStates == 2) {
    SetValue(value == 0.0 ? 1.0 : 0.0, 0);
  } else {
    // One state gives 1 / 0 = infinity, which wraps to 0 at once; so does a NaN value.
    const double v = value + 1.0 / (mNumStates - 1);
    SetValue(!(v <= 1.0) ? 0.0 : v, 0);
  }
  mMouseDown = true;
  SetDirty(true);
}

void ISwitchControlBase::OnMouseUp(float, float, const IMouseState&) {
  mMouseDown = false;
  SetDirty(false);
}

void ISwitchControlBase::OnInit() {
  const IParam* param = GetParam();
  if (!param) return;
  const double range = std::trunc(param->GetMax() - param->GetMin());
  // Compared as a double, so that a huge or NaN range never reaches the int conversion.
  int states = 1;
  if (range >= static_cast<double>(kMaxStates))
    states = kMaxStates;
  else if (range >= 0.0)
    states = static_cast<int>(range) + 1;
  SetNumStates(states);
}

bool ISwitchControlBase::GetStateDisabled(int state) const {
  if (state < 0 || state >= static_cast<int>(mDisabledState.size())) return false;
  return mDisabledState[static_cast<size_t>(state)];
}

void ISwitchControlBase::SetStateDisabled(int state, bool disable) {
  if (state < 0 || state >= static_cast<int>(mDisabledState.size())) return;
  mDisabledState[static_cast<size_t>(state)] = disable;
  SetDirty(false);
}

void ISwitchControlBase::SetNumStates(int numStates) {
  mNumStates = std::clamp(numStates, 1, kMaxStates);
  mDisabledState.resize(static_cast<size_t>(mNumStates), false);
}

IBSwitchControl::IBSwitchControl(const IRect& bounds, const IBitmapHandle& bitmap, int paramIdx)
    : ISwitchControlBase(
          bounds.GetCentredInside(static_cast<float>(bitmap.FW()), static_cast<float>(bitmap.FH())),
          paramIdx, nullptr, 2),
      IBitmapBase(bitmap, this) {
  mDblAsSingleClick = true;
}

void IBSwitchControl::OnMouseDown(float, float, const IMouseState&) {
  const int n = mBitmap.N();
  const double v = n > 1 ? GetValue(0) + 1.0 / (n - 1) : GetValue(0) + 1.0;
  SetValue(v, 0);
  // A NaN value compares false everywhere: it wraps to 0 too.
  if (!(GetValue(0) <= 1.001)) SetValue(0.0, 0);
  SetDirty(true);
}

void IBSwitchControl::OnRescale() {
  if (mGraphics) ReloadBitmap(*mGraphics);
}

void IBSwitchControl::Draw(IGfx& g) { DrawFrame(g); }

}  // namespace gfx
}  // namespace kantele
