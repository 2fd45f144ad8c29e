#include "kantele/gfx/IGfx.h"

#include <algorithm>
#include <cmath>

#include "kantele/gfx/IGfxEditorDelegate.h"
#include "kantele/gfx/controls/IBitmapControl.h"

namespace kantele {
namespace gfx {

// ---- Control list.

IControl* IGfx::AttachControl(IControl* control, int ctrlTag, const char* group) {
  if (!control) return nullptr;
  std::unique_ptr<IControl> owned(control);
  control->SetDelegate(mDelegate);
  control->SetGraphics(this);
  control->OnInit();
  control->OnResize();
  control->OnRescale();
  control->SetGroup(group ? group : "");
  mControls.push_back(std::move(owned));
  if (ctrlTag > -1) mCtrlTags[ctrlTag] = control;
  control->OnAttached();
  return control;
}

IControl* IGfx::AttachBackground(const char* fileName) {
  const IBitmapHandle bitmap = LoadBitmap(fileName, 1, false);
  auto control = std::make_unique<IBitmapControl>(0.f, 0.f, bitmap, -1, kBlendDefault);
  control->SetDelegate(mDelegate);
  control->SetGraphics(this);
  control->OnInit();
  control->OnResize();
  control->OnRescale();
  IControl* raw = control.get();
  mControls.insert(mControls.begin(), std::move(control));
  // The mouse-over index counts list positions; everything moved up by one.
  if (mMouseOverIdx >= 0) ++mMouseOverIdx;
  return raw;
}

void IGfx::AttachTextEntryControl(ITextEntryControlBase* control) {
  if (!control) return;
  mTextEntry.reset(control);
  control->SetDelegate(mDelegate);
  control->SetGraphics(this);
  control->OnInit();
  control->OnResize();
  control->OnRescale();
}

void IGfx::AttachCornerResizer(IControl* control, bool layoutOnResize) {
  std::unique_ptr<IControl> owned(control);
  if (mCornerResizer || !control) return;  // one grip per editor; a second one is discarded
  mCornerResizer = std::move(owned);
  mGUISizeMode = kResizeScale;
  mLayoutOnResize = layoutOnResize;
  control->SetDelegate(mDelegate);
  control->SetGraphics(this);
  control->OnInit();
  control->OnResize();
  control->OnRescale();
}

void IGfx::EnableTooltips(bool enable) {
  mEnableTooltips = enable;
  if (enable) mEnableMouseOver = true;
}

IControl* IGfx::GetControl(int idx) const {
  if (idx < 0 || idx >= NControls()) return nullptr;
  return mControls[static_cast<size_t>(idx)].get();
}

IControl* IGfx::GetControlWithTag(int ctrlTag) const {
  const auto it = mCtrlTags.find(ctrlTag);
  return it == mCtrlTags.end() ? nullptr : it->second;
}

int IGfx::GetControlIdx(const IControl* control) const {
  for (int i = 0; i < NControls(); ++i)
    if (mControls[static_cast<size_t>(i)].get() == control) return i;
  return -1;
}

void IGfx::ForEachListedControl(const std::function<void(IControl&)>& f) {
  // Index-based: a callable may attach controls (a layout run from a resize).
  for (size_t i = 0; i < mControls.size(); ++i) f(*mControls[i]);
}

void IGfx::ForEachControl(const std::function<void(IControl&)>& f) {
  ForEachListedControl(f);
  if (mCornerResizer) f(*mCornerResizer);
  if (mTextEntry) f(*mTextEntry);
}

void IGfx::ForControlWithParam(int paramIdx, const std::function<void(IControl&)>& f) {
  if (paramIdx < 0) return;
  ForEachControl([&](IControl& c) {
    if (c.FirstValIdxForParam(paramIdx) >= 0) f(c);
  });
}

void IGfx::SetAllControlsDirty() {
  ForEachControl([](IControl& c) { c.SetDirty(false); });
}

void IGfx::SetAllControlsClean() {
  ForEachControl([](IControl& c) { c.SetClean(); });
}

void IGfx::RemoveAllControls() {
  ClearCapture();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
  mInTextEntry = nullptr;
  mInPopupMenu = nullptr;
  mCornerResizer.reset();
  mTextEntry.reset();
  mCtrlTags.clear();
  mControls.clear();
}

// ---- Redraw.

bool IGfx::IsDirty(IRectList& rects) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (mDisplayTickFunc) mDisplayTickFunc();
  ForEachControl([](IControl& c) {
    if (IAnimationFunction f = c.GetAnimationFunction()) f(&c);
  });
  bool dirty = false;
  ForEachControl([&](IControl& c) {
    if (c.IsDirty()) {
      rects.Add(c.GetDrawRect().GetPadded(0.75f));
      dirty = true;
    }
  });
  return dirty;
}

void IGfx::Draw(IRectList& rects) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (rects.Size() == 0) return;
  const float scale = GetTotalScale();
  BeginFrame();
  if (mStrict) {
    IRect area = rects.Get(0);
    for (int i = 1; i < rects.Size(); ++i) area = area.Union(rects.Get(i));
    area.PixelAlign(scale);
    ForEachControl([&](IControl& c) { DrawControl(c, area, scale); });
  } else {
    for (int i = 0; i < rects.Size(); ++i) rects.Get(i).PixelAlign(scale);
    rects.Optimize();
    for (int i = 0; i < rects.Size(); ++i) {
      const IRect area = rects.Get(i);
      ForEachControl([&](IControl& c) { DrawControl(c, area, scale); });
    }
  }
  EndFrame();
}

void IGfx::DrawControl(IControl& control, const IRect& bounds, float scale) {
  if (control.IsHidden() && &control != GetControl(0)) return;
  IRect controlBounds = control.GetDrawRect().GetPadded(0.75f);
  controlBounds.PixelAlign(scale);
  const IRect clip = bounds.Intersect(controlBounds);
  if (clip.W() <= 0.f || clip.H() <= 0.f) return;
  mTransform = ITransform();
  mTransformStates.clear();
  PathTransformSetMatrix(mTransform);
  PathClear();
  PrepareRegion(clip);
  mClipRECT = clip;
  control.Draw(*this);
  CompleteRegion(clip);
}

// ---- Input.

IControl* IGfx::FindControlAt(float x, float y, bool capture, bool mouseOver, uintptr_t touchID) {
  const auto captured = mCapturedMap.find(touchID);
  if (captured != mCapturedMap.end()) return captured->second;

  IControl* control = nullptr;
  int index = -1;
  if (mTextEntry && mTextEntry->IsEditing()) {
    control = mTextEntry.get();
  } else if (mCornerResizer && mCornerResizer->GetDrawRect().Contains(x, y)) {
    control = mCornerResizer.get();
  }

  if (!control) {
    if (mouseOver && !mEnableMouseOver) return nullptr;
    const int lowest = mouseOver ? 1 : 0;
    for (int i = NControls() - 1; i >= lowest; --i) {
      IControl* c = mControls[static_cast<size_t>(i)].get();
      if (c->IsHidden() || c->GetIgnoreMouse()) continue;
      const bool usable =
          !c->IsDisabled() || (mouseOver ? c->GetMOWhenGrayed() : c->GetMEWhenGrayed());
      if (usable && c->IsHit(x, y)) {
        control = c;
        index = i;
        break;
      }
    }
  }

  if (capture && control) {
    if (mEnableMultiTouch && !control->GetWantsMultiTouch()) {
      for (const auto& entry : mCapturedMap) {
        if (entry.second == control && entry.first != touchID) return nullptr;
      }
    }
    mCapturedMap[touchID] = control;
  }
  if (mouseOver) mMouseOverIdx = index;
  return control;
}

void IGfx::ClearCapture() {
  mCapturedMap.clear();
  if (mCursorHidden) {
    SetCursorHidden(false, true);
    mCursorHidden = false;
  }
}

bool IGfx::ControlIsCaptured(const IControl* control) const {
  for (const auto& entry : mCapturedMap)
    if (entry.second == control) return true;
  return false;
}

namespace {

// Calls `f(paramIdx)` for every value of `control` bound to a parameter.
template <class F>
void ForEachBoundParam(const IControl& control, F&& f) {
  for (int v = 0; v < control.ValueCount(); ++v) {
    const int paramIdx = control.GetParamIdx(v);
    if (paramIdx > -1) f(paramIdx);
  }
}

}  // namespace

void IGfx::OnMouseDown(const std::vector<IMousePoint>& points) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (points.size() == 1) {
    mMouseDownX = points[0].x;
    mMouseDownY = points[0].y;
  }
  for (const IMousePoint& point : points) {
    IControl* control = FindControlAt(point.x, point.y, true, false, point.ms.touchID);
    if (!control) continue;
    const int valIdx = control->GetValIdxAt(point.x, point.y);
    const int paramIdx = control->GetParamIdx(std::max(valIdx, 0));
    if (point.ms.R && paramIdx >= 0) {
      ClearCapture();
      // Without a context menu the right button asks for the value (when the control's
      // prompts are on), as a press on the control itself would. A typed value is its own
      // gesture when it is committed; a menu of values ends one when it closes, so that one
      // begins here.
      if (!OpenContextMenu(control, paramIdx, point.x, point.y) && !control->IsPromptDisabled()) {
        const IParam* param = mDelegate.GetParam(paramIdx);
        if (param && PromptIsMenu(*param))
          ForEachBoundParam(*control, [this](int p) { mDelegate.BeginParamEditFromEditor(p); });
        control->AskForValue(std::max(valIdx, 0));
      }
      return;
    }
    ForEachBoundParam(*control, [this](int p) { mDelegate.BeginParamEditFromEditor(p); });
    control->OnMouseDown(point.x, point.y, point.ms);
  }
}

void IGfx::OnMouseUp(const std::vector<IMousePoint>& points) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  for (const IMousePoint& point : points) {
    const auto it = mCapturedMap.find(point.ms.touchID);
    if (it == mCapturedMap.end()) continue;
    IControl* control = it->second;
    control->OnMouseUp(point.x, point.y, point.ms);
    ForEachBoundParam(*control, [this](int p) { mDelegate.EndParamEditFromEditor(p); });
    // The control's mouse-up may itself have cleared the captures.
    mCapturedMap.erase(point.ms.touchID);
  }
  if (mResizingInProcess) {
    mResizingInProcess = false;
    if (mGUISizeMode == kResizeScale) {
      ForEachControl([](IControl& c) { c.OnRescale(); });
      SetAllControlsDirty();
    }
  }
  if (points.size() == 1 && points[0].ms.touchID == 0)
    OnMouseOver(points[0].x, points[0].y, points[0].ms);
}

void IGfx::OnMouseDrag(const std::vector<IMousePoint>& points) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (mResizingInProcess && points.size() == 1) {
    const IMousePoint& p = points[0];
    if (mGUISizeMode == kResizeSize) {
      Resize(static_cast<int>(p.x), static_cast<int>(p.y), mDrawScale);
    } else {
      // A press at the very edge (0) would give an infinite zoom: such a component is
      // left out, and with both out the zoom stays.
      const float sy = mMouseDownY > 0.f ? mDrawScale * p.y / mMouseDownY : INFINITY;
      const float sx = mMouseDownX > 0.f ? mDrawScale * p.x / mMouseDownX : INFINITY;
      const float scale = std::min(sy, sx);
      Resize(mWidth, mHeight, std::isfinite(scale) ? scale : mDrawScale);
    }
    return;
  }
  if (mCapturedMap.empty()) return;
  const bool inTextEntry = mInTextEntry != nullptr || (mTextEntry && mTextEntry->IsEditing());
  if (inTextEntry && !mTextEntry) return;
  for (const IMousePoint& point : points) {
    const auto it = mCapturedMap.find(point.ms.touchID);
    if (it == mCapturedMap.end()) continue;
    IControl* control = it->second;
    if (inTextEntry && control != mTextEntry.get()) continue;
    if (point.dX != 0.f || point.dY != 0.f)
      control->OnMouseDrag(point.x, point.y, point.dX, point.dY, point.ms);
  }
}

void IGfx::DragStep(IMousePoint p, float lastX, float lastY) {
  p.dX = p.x - lastX;
  p.dY = p.y - lastY;
  if (p.dX == 0.f && p.dY == 0.f) return;
  OnMouseDrag({p});
  if (!mCursorLocked) return;
  // Warping records the pointer's new place as the hidden place too; the place to return
  // to is the one recorded when the cursor was hidden.
  const float hiddenX = mHiddenCursorX;
  const float hiddenY = mHiddenCursorY;
  WarpCursor(hiddenX, hiddenY);
  mHiddenCursorX = hiddenX;
  mHiddenCursorY = hiddenY;
}

bool IGfx::OnMouseOver(float x, float y, const IMouseState& mod) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  IControl* control = FindControlAt(x, y, false, true);
  if (control != mMouseOver) {
    if (mMouseOver) mMouseOver->OnMouseOut();
    mMouseOver = control;
  }
  if (control) control->OnMouseOver(x, y, mod);
  return control != nullptr;
}

void IGfx::OnMouseOut() {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  ForEachControl([](IControl& c) { c.OnMouseOut(); });
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
}

void IGfx::OnMouseDoubleClick(float x, float y, const IMouseState& mod) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  IControl* control = FindControlAt(x, y, true, false, mod.touchID);
  if (!control) return;
  if (control->GetDblAsSingleClick()) {
    IMousePoint point;
    point.x = x;
    point.y = y;
    point.ms = mod;
    OnMouseDown({point});
  } else {
    control->OnMouseDoubleClick(x, y, mod);
    ClearCapture();
  }
}

void IGfx::OnMouseWheel(float x, float y, const IMouseState& mod, float delta) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (IControl* control = FindControlAt(x, y, false, false))
    control->OnMouseWheel(x, y, mod, delta);
}

void IGfx::OnDrop(const char* path, float x, float y) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (IControl* control = FindControlAt(x, y, false, false)) control->OnDrop(path ? path : "");
}

bool IGfx::OnKeyDown(float x, float y, const KeyPress& key) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  IControl* control = FindControlAt(x, y, false, false);
  if (control && control != GetControl(0) && control->OnKeyDown(x, y, key)) return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, false) : false;
}

bool IGfx::OnKeyUp(float x, float y, const KeyPress& key) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  IControl* control = FindControlAt(x, y, false, false);
  if (control && control != GetControl(0) && control->OnKeyUp(x, y, key)) return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, true) : false;
}

// ---- Prompts.

bool IGfx::PromptIsMenu(const IParam& param) {
  return param.GetKind() == kKindEnum ||
         (param.GetKind() == kKindBool && param.GetNumDisplayTexts() > 0);
}

void IGfx::PromptForValue(IControl* control, const IRect& bounds, int valIdx) {
  if (!control) return;
  const int paramIdx = control->GetParamIdx(valIdx);
  const IParam* param = paramIdx >= 0 ? mDelegate.GetParam(paramIdx) : nullptr;
  if (!param) return;

  const int nTexts = param->GetNumDisplayTexts();
  if (PromptIsMenu(*param)) {
    Text current;
    param->FormatValue(param->GetValue(), false, current);
    mPromptPopupMenu.Clear();
    for (int i = 0; i < nTexts; ++i) {
      const char* text = param->GetDisplayTextForValue(static_cast<double>(i));
      const bool checked = current == text;
      mPromptPopupMenu.AddItem(text, checked ? IPopupMenuItem::kChecked : IPopupMenuItem::kNoFlags,
                               -1);
    }
    mPromptPopupMenu.SetRootTitle(param->GetParamName());
    OpenPopupMenu(*control, mPromptPopupMenu, bounds, valIdx, false);
  } else {
    Text text;
    param->FormatValue(param->GetValue(), false, text, false);
    std::string str = text.Get();
    if (control->GetPromptShowsParamLabel()) {
      str += " ";
      str += param->GetLabel();
    }
    OpenTextEntry(*control, control->GetText(), bounds, str.c_str(), valIdx);
  }
}

void IGfx::OpenTextEntry(IControl& control, const ITextStyle& text, const IRect& bounds,
                         const char* str, int valIdx) {
  mInTextEntry = &control;
  mTextEntryValIdx = valIdx;
  if (mTextEntry) {
    mTextEntry->SetText(text);
    mTextEntry->SetAreas(bounds);
    mTextEntry->OpenForEditing(str ? str : "");
  } else {
    const int paramIdx = valIdx >= 0 ? control.GetParamIdx(valIdx) : -1;
    CreateNativeTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str ? str : "");
  }
  control.SetDirty(false);
}

void IGfx::CommitTextEntry(const char* str) {
  IControl* control = mInTextEntry;
  const int valIdx = mTextEntryValIdx;
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  if (!control) return;
  const int paramIdx = valIdx >= 0 ? control->GetParamIdx(valIdx) : -1;
  const IParam* param = paramIdx >= 0 ? mDelegate.GetParam(paramIdx) : nullptr;
  if (param) {
    // A typed value is one gesture for the host; text that names no value changes nothing.
    double value = 0.0;
    if (!param->TryParseValue(str, value)) return;
    mDelegate.BeginParamEditFromEditor(paramIdx);
    control->SetValueFromUser(param->NormalizedFromValue(value), valIdx);
    mDelegate.EndParamEditFromEditor(paramIdx);
  } else {
    control->OnTextEntryDone(str ? str : "", valIdx);
  }
}

void IGfx::OpenPopupMenu(IControl& control, IPopupMenu& menu, const IRect& bounds, int valIdx,
                         bool isContext) {
  ClearCapture();
  mInPopupMenu = &control;
  mPopupMenuValIdx = valIdx;
  mIsContextMenu = isContext;
  bool isAsync = false;
  IPopupMenu* chosen = CreateNativePopupMenu(menu, bounds, isAsync);
  if (!isAsync) CommitPopupMenu(chosen);
}

void IGfx::CommitPopupMenu(IPopupMenu* menu) {
  IControl* control = mInPopupMenu;
  if (!control) return;
  const int valIdx = mPopupMenuValIdx;
  const bool isContext = mIsContextMenu;
  mInPopupMenu = nullptr;
  mPopupMenuValIdx = -1;
  mIsContextMenu = false;
  if (isContext) {
    // A context menu opens without a gesture (the right button begins none), so it ends none:
    // the host never sees an end without its begin.
    control->OnContextChoice(menu ? menu->GetChosenItemIdx() : -1);
    return;
  }
  control->OnMenuSelection(menu && menu->GetChosenItemIdx() != -1 ? menu : nullptr, valIdx);
  // The gesture the press began ends with the choice (the menu released the capture, so no
  // mouse-up will end it).
  ForEachBoundParam(*control, [this](int p) { mDelegate.EndParamEditFromEditor(p); });
}

bool IGfx::OpenContextMenu(IControl* control, int paramIdx, float x, float y) {
  (void)paramIdx;  // the control decides what its menu offers
  if (!control) return false;
  mPromptPopupMenu.Clear();
  control->FillContextMenu(mPromptPopupMenu);
  if (mPromptPopupMenu.NItems() == 0) return false;
  OpenPopupMenu(*control, mPromptPopupMenu, IRect(x, y, x, y), -1, true);
  return true;
}

// ---- Size and scale.

int IGfx::WindowWidthFor(float drawScale, float screenScale) const {
  return static_cast<int>(screenScale * static_cast<float>(static_cast<int>(mWidth * drawScale)));
}

int IGfx::WindowHeightFor(float drawScale, float screenScale) const {
  return static_cast<int>(screenScale * static_cast<float>(static_cast<int>(mHeight * drawScale)));
}

void IGfx::Resize(int w, int h, float scale, bool hostResized) {
  if (w < mDelegate.GetMinWidth() || w > mDelegate.GetMaxWidth() || h < mDelegate.GetMinHeight() ||
      h > mDelegate.GetMaxHeight()) {
    w = std::clamp(w, mDelegate.GetMinWidth(), mDelegate.GetMaxWidth());
    h = std::clamp(h, mDelegate.GetMinHeight(), mDelegate.GetMaxHeight());
  }
  // NaN compares false everywhere: keep the current zoom rather than store it.
  if (!(scale == scale)) scale = mDrawScale;
  scale = std::min(mMaxScale, std::max(mMinScale, scale));
  if (w == mWidth && h == mHeight && scale == mDrawScale) return;

  ClearCapture();
  mDrawScale = scale;
  mWidth = w;
  mHeight = h;
  if (mCornerResizer) mCornerResizer->OnRescale();
  PlatformResize(mDelegate.ResizeFromEditor(WindowWidth(), WindowHeight(), !hostResized));
  OnResizeOrRescale();
  ForEachControl([](IControl& c) { c.OnResize(); });
  SetAllControlsDirty();
  DrawResize();
  if (mLayoutOnResize) {
    if (auto* gfxDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate))
      gfxDelegate->RunLayout(*this);
  }
}

void IGfx::SetScreenScale(float scale) {
  if (!(scale > 0.f) || !std::isfinite(scale)) return;  // a density must be a real number
  mScreenScale = scale;
  PlatformResize(mDelegate.ResizeFromEditor(WindowWidth(), WindowHeight(), true));
  OnResizeOrRescale();
  ForEachControl([](IControl& c) { c.OnRescale(); });
  SetAllControlsDirty();
  DrawResize();
}

}  // namespace gfx
}  // namespace kantele
