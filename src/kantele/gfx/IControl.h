#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "kantele/IEditorDelegate.h"
#include "kantele/gfx/GraphicsTypes.h"
#include "kantele/gfx/IPopupMenu.h"
#include "kantele/gfx/IRect.h"

namespace kantele {
namespace gfx {

class IGfx;
class IControl;

/// Called with the control whose value the user changed, or whose animation runs or ends.
using IActionFunction = std::function<void(IControl*)>;
using IAnimationFunction = std::function<void(IControl*)>;

/// A touch gesture as the platform reports it. No platform of this system produces one; the
/// record carries its type so registered handlers can be told apart.
struct IGestureInfo {
  int32_t type = 0;
  float x = 0.f;
  float y = 0.f;
  float scale = 1.f;
  float velocity = 0.f;
  float angle = 0.f;
};
using IGestureFunc = std::function<void(IControl*, const IGestureInfo&)>;

/// Direction of a drag or a snap.
enum EDirection : int32_t { kVertical = 0, kHorizontal = 1 };

/// The base of everything drawn in the editor.
///
/// A control has a draw rectangle (where it draws: its dirty area) and a target rectangle
/// (where it is hit), one normalised value per `IValueSlot`, each optionally bound to a
/// parameter, a dirty flag the graphics context polls every tick, optional action and
/// animation functions, and hooks for mouse, keys, menus and text entry. Values are always
/// normalised to [0, 1]; the parameter converts to real values.
///
/// Owned by the graphics context from attachment on; attachment sets the delegate and the
/// context and runs OnInit, OnResize, OnRescale and OnAttached.
///
/// [main-thread] Editor thread only.
class IControl {
 public:
  /// `paramIdx` binds the single value (-1 for none); both rectangles are `bounds`.
  explicit IControl(const IRect& bounds, int paramIdx = -1, IActionFunction action = nullptr);
  virtual ~IControl();
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  /// With the right button: AskForValue at the value under the pointer.
  virtual void OnMouseDown(float x, float y, const IMouseState& mod);
  virtual void OnMouseUp(float x, float y, const IMouseState& mod);
  virtual void OnMouseDrag(float x, float y, float dX, float dY, const IMouseState& mod);
  /// Sets the value under the pointer to its parameter's default and sends it to the host.
  virtual void OnMouseDoubleClick(float x, float y, const IMouseState& mod);
  /// `d` is in notches.
  virtual void OnMouseWheel(float x, float y, const IMouseState& mod, float d);
  /// Key events reach the control under the pointer; answer whether handled (false here).
  virtual bool OnKeyDown(float x, float y, const KeyPress& key);
  virtual bool OnKeyUp(float x, float y, const KeyPress& key);
  /// Marks the pointer as over the control, redrawing it when that changed.
  virtual void OnMouseOver(float x, float y, const IMouseState& mod);
  /// Marks the pointer as gone, redrawing the control when that changed.
  virtual void OnMouseOut();
  /// A file was dropped on the control.
  virtual void OnDrop(const char* path);
  /// The screen or draw scale changed: bitmap controls reload their artwork.
  virtual void OnRescale();
  /// The control's rectangles changed.
  virtual void OnResize();
  /// Attachment, before OnResize and OnRescale.
  virtual void OnInit();
  /// Attachment, once the control is in the list.
  virtual void OnAttached();
  /// A message addressed to this control's tag.
  virtual void OnDelegateMessage(int msgTag, int dataSize, const void* data);
  /// MIDI for controls that want it.
  virtual void OnMidi(const MidiMsg& msg);
  /// Runs the function registered for the gesture's type: true when there is one.
  virtual bool OnTouchGesture(const IGestureInfo& info);
  /// Fills the context menu the right button opens; an empty menu opens nothing.
  virtual void FillContextMenu(IPopupMenu& menu);
  /// A parameter menu closed; `menu` is null when nothing was chosen.
  virtual void OnMenuSelection(IPopupMenu* menu, int valIdx);
  /// Text entry ended for a value that is not bound to a parameter.
  virtual void OnTextEntryDone(const char* text, int valIdx);
  /// A context menu closed with item `index` chosen (-1 for none).
  virtual void OnContextChoice(int index);
  /// Draws the control. The context has set the clip and reset the transform.
  virtual void Draw(IGfx& g) = 0;
  /// A small dot in the top-right corner while the automation highlight is on.
  virtual void DrawAutomationHighlight(IGfx& g);
  /// Binds value `valIdx` to parameter `paramIdx` and marks the control dirty.
  virtual void BindParam(int paramIdx, int valIdx = 0);
  /// The value under (x, y): 0 for a control with one value, -1 (all) otherwise.
  virtual int GetValIdxAt(float x, float y) const;
  /// A value from the host or another control. Ignored while this control holds a capture,
  /// so a drag in progress wins; a different value is stored and the control marked dirty
  /// without its action function running.
  virtual void SetValueFromHost(double value, int valIdx = 0);
  /// A value from the user: a different value is stored, sent to the delegate and the
  /// action function runs.
  virtual void SetValueFromUser(double value, int valIdx = 0);
  /// Value `valIdx` (every value for -1) to its parameter's default, sent to the host.
  virtual void SetValueToDefault(int valIdx = -1);
  /// Stores the value as is: no clamping, nothing marked.
  virtual void SetValue(double value, int valIdx = 0);
  virtual void SetText(const ITextStyle& style);
  /// Moves the control so its draw rectangle's top-left is (x, y) (negatives become 0); the
  /// target rectangle moves with it.
  virtual void SetPosition(float x, float y);
  /// Resizes both rectangles from the draw rectangle's top-left (negatives become 0).
  virtual void SetSize(float w, float h);
  virtual void Hide(bool hide);
  /// A disabled control draws at a quarter weight.
  virtual void SetDisabled(bool disable);
  /// The target rectangle's hit test.
  virtual bool IsHit(float x, float y) const;
  /// Clamps the value(s) to [0, 1] and marks the control dirty. With `triggerAction` the
  /// value(s) go to the delegate, to the other controls bound to the same parameter, and the
  /// action function runs. `valIdx` -1 means every value.
  virtual void SetDirty(bool triggerAction, int valIdx = -1);
  virtual void SetClean();
  /// True while an animation runs, otherwise the dirty flag.
  virtual bool IsDirty();
  /// Sets the value from a position inside `bounds` (0 at the left or bottom, 1 at the right
  /// or top), rounded to thousandths and clamped to [lo, hi], and sends it to the host.
  virtual void SnapToPosition(float x, float y, EDirection direction, const IRect& bounds,
                              int valIdx = -1, double lo = 0.0, double hi = 1.0);
  /// Ends the animation: clears its function, marks the control dirty and runs the
  /// animation-end function.
  virtual void OnAnimationEnd();

  // Non-virtual accessors and helpers.

  /// Value `valIdx`; 0 for an index without a value.
  double GetValue(int valIdx = 0) const;
  int ValueCount() const { return static_cast<int>(mVals.size()); }
  /// The parameter bound to value `valIdx`, -1 when unbound or without such a value.
  int GetParamIdx(int valIdx = 0) const;
  /// The delegate's parameter bound to value 0, or null.
  const IParam* GetParam() const;
  /// The first value bound to `paramIdx`, or -1.
  int FirstValIdxForParam(int paramIdx) const;

  const IRect& GetDrawRect() const { return mDrawRect; }
  const IRect& GetTargetRect() const { return mTargetRect; }
  /// Both rectangles become `r`; the pointer counts as gone; OnResize.
  void SetAreas(const IRect& r);
  void SetTargetRect(const IRect& r) { mTargetRect = r; }

  const char* GetGroup() const { return mGroup.c_str(); }
  void SetGroup(const char* group) { mGroup = group ? group : ""; }
  const ITextStyle& GetText() const { return mText; }
  const IBlending& GetBlend() const { return mBlend; }
  void SetBlend(const IBlending& blend) { mBlend = blend; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int length) { mTextEntryLength = length; }

  bool IsHidden() const { return mHide; }
  bool IsDisabled() const { return mDisabled; }
  bool GetPromptShowsParamLabel() const { return mShowParamLabel; }
  void SetPromptShowsParamLabel(bool show) { mShowParamLabel = show; }
  bool IsPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  /// The size of the text prompt AskForValue centres on the control (40 x 16 units unless
  /// set): an editor whose artwork is large sets one its text fits.
  void SetPromptSize(float width, float height) {
    mPromptWidth = width;
    mPromptHeight = height;
  }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool single) { mDblAsSingleClick = single; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  void SetMOWhenGrayed(bool allow) { mMOWhenGrayed = allow; }
  bool GetMEWhenGrayed() const { return mMEWhenGrayed; }
  void SetMEWhenGrayed(bool allow) { mMEWhenGrayed = allow; }
  bool GetIgnoreMouse() const { return mIgnoreMouse; }
  void SetIgnoreMouse(bool ignore) { mIgnoreMouse = ignore; }
  bool GetWantsMidi() const { return mWantsMidi; }
  void SetWantsMidi(bool wants) { mWantsMidi = wants; }
  bool GetWantsMultiTouch() const { return mWantsMultiTouch; }
  void SetWantsMultiTouch(bool wants) { mWantsMultiTouch = wants; }
  bool GetMouseIsOver() const { return mMouseIsOver; }
  /// The dirty flag alone, without the animation rule of IsDirty.
  bool GetDirtyFlag() const { return mDirty; }

  const char* GetTooltip() const { return mTooltip.c_str(); }
  void SetTooltip(const char* text) { mTooltip = text ? text : ""; }
  void SetHighlightColor(const IArgb& color) { mPTHighlightColor = color; }
  void SetAutomationHighlight(bool on) { mPTisHighlighted = on; }

  IEditorDelegate* GetDelegate() const { return mDelegate; }
  void SetDelegate(IEditorDelegate& delegate) { mDelegate = &delegate; }
  IGfx* GetGraphics() const { return mGraphics; }
  void SetGraphics(IGfx* graphics) { mGraphics = graphics; }

  void SetClickAction(IActionFunction f) { mActionFunc = std::move(f); }
  const IActionFunction& GetActionFunction() const { return mActionFunc; }
  void SetAnimationDoneHook(IAnimationFunction f) { mAnimationEndActionFunc = std::move(f); }
  IAnimationFunction GetAnimationFunction() const { return mAnimationFunc; }

  /// Starts an animation: `func` runs every tick until the control ends it.
  void StartAnimation(IAnimationFunction func, int durationMs);
  /// 0 without an animation; otherwise the elapsed share of the duration (not capped at 1).
  double AnimationFraction() const;
  int GetAnimationDuration() const { return mAnimationDuration; }

  /// Registers a gesture handler for `type`.
  void AttachGestureRecognizer(int32_t type, IGestureFunc func);
  int32_t GetLastGesture() const { return mLastGesture; }

  /// Opens the value prompt for `valIdx` when the value is bound and prompts are enabled.
  void AskForValue(int valIdx);

  /// Milliseconds of the steady clock, the animation's time base.
  static double NowMs();

 protected:
  IRect mDrawRect;
  IRect mTargetRect;
  std::string mGroup;
  ITextStyle mText;
  IBlending mBlend;
  int32_t mTextEntryLength = 7;
  bool mDirty = true;
  bool mHide = false;
  bool mDisabled = false;
  bool mDisablePrompt = true;
  float mPromptWidth = 40.f;
  float mPromptHeight = 16.f;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;
  bool mMEWhenGrayed = false;
  bool mIgnoreMouse = false;
  bool mWantsMidi = false;
  bool mWantsMultiTouch = false;
  bool mShowParamLabel = false;
  bool mMouseIsOver = false;
  std::string mTooltip;
  IArgb mPTHighlightColor{255, 255, 0, 0};
  bool mPTisHighlighted = false;
  IEditorDelegate* mDelegate = nullptr;
  IGfx* mGraphics = nullptr;
  IActionFunction mActionFunc;
  IAnimationFunction mAnimationEndActionFunc;
  IAnimationFunction mAnimationFunc;
  double mAnimationStartTime = 0.0;
  int32_t mAnimationDuration = 0;
  std::vector<IValueSlot> mVals;
  std::unordered_map<int32_t, IGestureFunc> mGestureFuncs;
  int32_t mLastGesture = 0;

 private:
  // Applies `f(i)` to value `valIdx`, or to every value when `valIdx` < 0. An index beyond the
  // values is ignored.
  template <class F>
  void ForValIdx(int valIdx, F&& f) {
    if (valIdx >= 0) {
      if (valIdx < ValueCount()) f(valIdx);
    } else {
      for (int i = 0; i < ValueCount(); ++i) f(i);
    }
  }
};

/// A control that edits text in place over another control (the graphics context's text
/// entry slot). The context opens it with the text to edit; it answers whether it is editing,
/// and ends an edit through the context's CommitTextEntry.
class ITextEntryControlBase : public IControl {
 public:
  using IControl::IControl;
  /// Starts editing `text` in the control's current rectangle and text style.
  virtual void OpenForEditing(const char* text) = 0;
  /// True between OpenForEditing and the end of the edit.
  virtual bool IsEditing() const = 0;
};

}  // namespace gfx
}  // namespace kantele
