#pragma once

#include "kantele/gfx/IControl.h"
#include "kantele/gfx/controls/IBitmapControl.h"

namespace kantele {
namespace gfx {

/// A knob turned by dragging the mouse: vertically by default, up raising the value.
///
/// A drag runs from mouse-down to mouse-up (the graphics context holds the capture and opens
/// and closes the parameter gesture around it). The value follows an accumulator, the drag
/// value, which is kept in [0, 1] but never snapped: pushing past an end builds up no
/// overshoot, and on a quantised parameter small movements add up until they cross a step. Dragging
/// over the whole of GetDragBounds() changes the value by 1 / gearing, ten times less with
/// shift or control held. The wheel moves the value by 0.01 a notch (0.001 with shift or
/// control), or by one step of a quantised parameter. A double click sets the default.
///
/// [main-thread] Editor thread only, like every control.
class IKnobControlBase : public IControl {
 public:
  /// The cursor is hidden during a drag; `gearing` is the number of drag-bound heights (or
  /// widths) a drag from 0 to 1 takes.
  IKnobControlBase(const IRect& bounds, int paramIdx = -1, IActionFunction action = nullptr,
                   EDirection direction = kVertical, double gearing = 4.0);

  /// Starts a drag from the current value, hiding and locking the cursor when the knob
  /// does so; the right button then asks for a value (the `IControl` behaviour).
  void OnMouseDown(float x, float y, const IMouseState& mod) override;
  /// Ends the drag, showing the cursor again when the knob hid it.
  void OnMouseUp(float x, float y, const IMouseState& mod) override;
  /// Moves the value by (dY or dX) / the drag bounds' extent / gearing and sends it to the
  /// host. A movement that gives no finite change (drag bounds without extent) is ignored.
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseState& mod) override;
  /// Moves the value by `d` notches and sends it to the host; a NaN `d` is ignored.
  void OnMouseWheel(float x, float y, const IMouseState& mod, float d) override;

  /// The area whose height (or width) one gearing's worth of drag covers: the target
  /// rectangle.
  virtual IRect GetDragBounds() const;

  double GetGearing() const { return mGearing; }
  void SetGearing(double gearing) { mGearing = gearing; }
  EDirection GetDirection() const { return mDirection; }
  void SetDirection(EDirection direction) { mDirection = direction; }
  bool GetHideCursorOnDrag() const { return mHideCursorOnDrag; }
  void SetHideCursorOnDrag(bool hide) { mHideCursorOnDrag = hide; }
  /// True between mouse-down and mouse-up.
  bool GetMouseDown() const { return mMouseDown; }
  /// The drag's accumulator, in [0, 1].
  double GetDragValue() const { return mDragValue; }

 protected:
  /// `v` snapped to the step of value 0's parameter when that is quantised with a step
  /// above 0; otherwise `v` itself.
  double SnapToParamStep(double v) const;

  double mGearing;
  EDirection mDirection;
  bool mHideCursorOnDrag = true;
  bool mMouseDown = false;
  double mDragValue = 0.0;
};

/// A knob drawn as the frame of a film strip its value chooses. The control is exactly one
/// frame large, centred in the rectangle the layout gave.
///
/// [main-thread]
class IBKnobControl : public IKnobControlBase, public IBitmapBase {
 public:
  /// Both rectangles are `bounds.GetCentredInside(FW, FH)` of the bitmap's frame; vertical
  /// drags, the cursor hidden while dragging.
  IBKnobControl(const IRect& bounds, const IBitmapHandle& bitmap, int paramIdx,
                double gearing = 4.0);

  /// Reloads the artwork for the screen scale (rounded up).
  void OnRescale() override;
  /// The frame of value 0, centred in the draw rectangle.
  void Draw(IGfx& g) override;
};

/// A knob drawn as one image rotated by its value: -130 degrees at 0 to +130 at 1, about the
/// centre of the draw rectangle. Gearing 4.
///
/// [main-thread]
class IBKnobRotaterControl : public IBKnobControl {
 public:
  IBKnobRotaterControl(const IRect& bounds, const IBitmapHandle& bitmap, int paramIdx);

  /// The whole image, rotated by value × 260 − 130 degrees (a NaN value draws as 0).
  void Draw(IGfx& g) override;
};

}  // namespace gfx
}  // namespace kantele
