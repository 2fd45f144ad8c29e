#include "kantele/gfx/IControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

IControl::IControl(const IRect& bounds, int paramIdx, IActionFunction action)
    : mDrawRect(bounds), mTargetRect(bounds), mActionFunc(std::move(action)) {
  mVals.push_back(IValueSlot{paramIdx, 0.0});
}

IControl::~IControl() = default;

double IControl::NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void IControl::OnMouseDown(float x, float y, const IMouseState& mod) {
  if (mod.R) AskForValue(GetValIdxAt(x, y));
}

void IControl::OnMouseUp(float, float, const IMouseState&) {}
void IControl::OnMouseDrag(float, float, float, float, const IMouseState&) {}

void IControl::OnMouseDoubleClick(float x, float y, const IMouseState&) {
  SetValueToDefault(GetValIdxAt(x, y));
}

void IControl::OnMouseWheel(float, float, const IMouseState&, float) {}
bool IControl::OnKeyDown(float, float, const KeyPress&) { return false; }
bool IControl::OnKeyUp(float, float, const KeyPress&) { return false; }

void IControl::OnMouseOver(float, float, const IMouseState&) {
  const bool was = mMouseIsOver;
  mMouseIsOver = true;
  if (!was) SetDirty(false);
}

void IControl::OnMouseOut() {
  const bool was = mMouseIsOver;
  mMouseIsOver = false;
  if (was) SetDirty(false);
}

void IControl::OnDrop(const char*) {}
void IControl::OnRescale() {}
void IControl::OnResize() {}
void IControl::OnInit() {}
void IControl::OnAttached() {}
void IControl::OnDelegateMessage(int, int, const void*) {}
void IControl::OnMidi(const MidiMsg&) {}

bool IControl::OnTouchGesture(const IGestureInfo& info) {
  const auto it = mGestureFuncs.find(info.type);
  if (it == mGestureFuncs.end() || !it->second) return false;
  mLastGesture = info.type;
  it->second(this, info);
  return true;
}

void IControl::FillContextMenu(IPopupMenu&) {}

void IControl::OnMenuSelection(IPopupMenu* menu, int valIdx) {
  if (!menu || valIdx < 0 || valIdx >= ValueCount() || mDisablePrompt) return;
  const IParam* param = GetParam();
  if (GetParamIdx(valIdx) < 0 || !param) return;
  SetValueFromUser(param->NormalizedFromValue(static_cast<double>(menu->GetChosenItemIdx())),
                   valIdx);
}

void IControl::OnTextEntryDone(const char*, int) {}
void IControl::OnContextChoice(int) {}

void IControl::DrawAutomationHighlight(IGfx& g) {
  if (mPTisHighlighted) g.FillCircle(mPTHighlightColor, mDrawRect.R - 5.f, mDrawRect.T + 5.f, 2.f);
}

void IControl::BindParam(int paramIdx, int valIdx) {
  if (valIdx < 0 || valIdx >= ValueCount()) return;
  mVals[static_cast<size_t>(valIdx)].mParamIdx = paramIdx;
  SetDirty(false);
}

int IControl::GetValIdxAt(float, float) const { return ValueCount() > 1 ? -1 : 0; }

void IControl::SetValueFromHost(double value, int valIdx) {
  // A drag in progress wins over the host: the user's gesture decides until mouse-up.
  if (mGraphics && mGraphics->ControlIsCaptured(this)) return;
  if (valIdx < 0 || valIdx >= ValueCount()) return;
  if (value != GetValue(valIdx)) {
    SetValue(value, valIdx);
    SetDirty(false);
  }
}

void IControl::SetValueFromUser(double value, int valIdx) {
  if (valIdx < 0 || valIdx >= ValueCount()) return;
  if (value != GetValue(valIdx)) {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

void IControl::SetValueToDefault(int valIdx) {
  if (ValueCount() == 1) valIdx = 0;
  ForValIdx(valIdx, [this](int i) {
    const int paramIdx = GetParamIdx(i);
    const IParam* param = (mDelegate && paramIdx >= 0) ? mDelegate->GetParam(paramIdx) : nullptr;
    if (param) SetValue(param->NormalizedFromValue(param->GetDefaultValue()), i);
  });
  SetDirty(true, valIdx);
}

void IControl::SetValue(double value, int valIdx) {
  if (valIdx < 0 || valIdx >= ValueCount()) return;
  mVals[static_cast<size_t>(valIdx)].mValue = value;
}

void IControl::SetText(const ITextStyle& style) { mText = style; }

void IControl::SetPosition(float x, float y) {
  x = std::max(x, 0.f);
  y = std::max(y, 0.f);
  const float dx = x - mDrawRect.L;
  const float dy = y - mDrawRect.T;
  mDrawRect = IRect(x, y, x + mDrawRect.W(), y + mDrawRect.H());
  mMouseIsOver = false;
  OnResize();
  mTargetRect =
      IRect(mTargetRect.L + dx, mTargetRect.T + dy, mTargetRect.R + dx, mTargetRect.B + dy);
}

void IControl::SetSize(float w, float h) {
  w = std::max(w, 0.f);
  h = std::max(h, 0.f);
  mDrawRect = IRect(mDrawRect.L, mDrawRect.T, mDrawRect.L + w, mDrawRect.T + h);
  mTargetRect = mDrawRect;
  mMouseIsOver = false;
  OnResize();
}

void IControl::Hide(bool hide) {
  mHide = hide;
  SetDirty(false);
}

void IControl::SetDisabled(bool disable) {
  mDisabled = disable;
  mBlend.mWeight = disable ? 0.25f : 1.f;
  SetDirty(false);
}

bool IControl::IsHit(float x, float y) const { return mTargetRect.Contains(x, y); }

void IControl::SetDirty(bool triggerAction, int valIdx) {
  if (ValueCount() == 1) valIdx = 0;
  ForValIdx(valIdx, [this](int i) { SetValue(std::clamp(GetValue(i), 0.0, 1.0), i); });
  mDirty = true;
  if (!triggerAction) return;

  ForValIdx(valIdx, [this](int i) {
    const int paramIdx = GetParamIdx(i);
    if (paramIdx < 0) return;
    const double value = GetValue(i);
    if (mDelegate) mDelegate->ParamValueFromEditor(paramIdx, value);
    if (mGraphics) {
      mGraphics->ForControlWithParam(paramIdx, [this, paramIdx, value](IControl& other) {
        if (&other == this) return;
        other.SetValueFromHost(value, other.FirstValIdxForParam(paramIdx));
      });
    }
  });
  if (mActionFunc) mActionFunc(this);
}

void IControl::SetClean() { mDirty = false; }

bool IControl::IsDirty() { return mAnimationFunc ? true : mDirty; }

void IControl::SnapToPosition(float x, float y, EDirection direction, const IRect& bounds,
                              int valIdx, double lo, double hi) {
  x = std::clamp(x, bounds.L, bounds.R);
  y = std::clamp(y, bounds.T, bounds.B);
  double v =
      direction == kHorizontal ? (x - bounds.L) / bounds.W() : 1.0 - (y - bounds.T) / bounds.H();
  if (!std::isfinite(v)) v = lo;  // a bounds rectangle without extent
  v = std::round(v / 0.001) * 0.001;
  v = std::clamp(v, lo, hi);
  ForValIdx(valIdx, [this, v](int i) { SetValue(v, i); });
  SetDirty(true, valIdx);
}

void IControl::OnAnimationEnd() {
  mAnimationFunc = nullptr;
  SetDirty(false);
  if (mAnimationEndActionFunc) mAnimationEndActionFunc(this);
}

double IControl::GetValue(int valIdx) const {
  if (valIdx < 0 || valIdx >= ValueCount()) return 0.0;
  return mVals[static_cast<size_t>(valIdx)].mValue;
}

int IControl::GetParamIdx(int valIdx) const {
  if (valIdx < 0 || valIdx >= ValueCount()) return -1;
  return mVals[static_cast<size_t>(valIdx)].mParamIdx;
}

const IParam* IControl::GetParam() const {
  const int paramIdx = GetParamIdx(0);
  return (mDelegate && paramIdx >= 0) ? mDelegate->GetParam(paramIdx) : nullptr;
}

int IControl::FirstValIdxForParam(int paramIdx) const {
  for (int i = 0; i < ValueCount(); ++i)
    if (mVals[static_cast<size_t>(i)].mParamIdx == paramIdx) return i;
  return -1;
}

void IControl::SetAreas(const IRect& r) {
  mDrawRect = r;
  mTargetRect = r;
  mMouseIsOver = false;
  OnResize();
}

void IControl::StartAnimation(IAnimationFunction func, int durationMs) {
  mAnimationFunc = std::move(func);
  mAnimationStartTime = NowMs();
  mAnimationDuration = durationMs;
}

double IControl::AnimationFraction() const {
  if (!mAnimationFunc) return 0.0;
  if (mAnimationDuration <= 0) return 1.0;  // a zero duration is over at once
  return (NowMs() - mAnimationStartTime) / mAnimationDuration;
}

void IControl::AttachGestureRecognizer(int32_t type, IGestureFunc func) {
  mGestureFuncs[type] = std::move(func);
  if (mGraphics) mGraphics->AttachGestureRecognizer(type);
}

void IControl::AskForValue(int valIdx) {
  if (valIdx < 0 || valIdx >= ValueCount() || mDisablePrompt) return;
  if (GetParamIdx(valIdx) < 0 || !mGraphics || !mDelegate) return;
  const IParam* param = mDelegate->GetParam(GetParamIdx(valIdx));
  if (!param) return;
  IRect bounds = mDrawRect;
  if (param->GetNumDisplayTexts() == 0) {
    bounds = IRect(mDrawRect.MW() - mPromptWidth / 2.f, mDrawRect.MH() - mPromptHeight / 2.f,
                   mDrawRect.MW() + mPromptWidth / 2.f, mDrawRect.MH() + mPromptHeight / 2.f);
  }
  mGraphics->PromptForValue(this, bounds, valIdx);
  SetDirty(false);
}

}  // namespace gfx
}  // namespace kantele
