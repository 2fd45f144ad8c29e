#pragma once

#include <vector>

#include "kantele/gfx/IControl.h"
#include "kantele/gfx/controls/IBitmapControl.h"

namespace kantele {
namespace gfx {

/// A control that steps through a number of evenly spaced states on every click, wrapping
/// from the last back to the first, and sends each new value to the host.
///
/// [main-thread] Editor thread only, like every control.
class ISwitchControlBase : public IControl {
 public:
  /// The most states a switch takes from its parameter's range; a wider range is cut here so
  /// that a bad range never makes the per-state flags huge.
  static constexpr int kMaxStates = 65536;

  /// `numStates` below 1 counts as 1. Every state starts enabled.
  ISwitchControlBase(const IRect& bounds, int paramIdx = -1, IActionFunction action = nullptr,
                     int numStates = 2);

  /// Two states toggle between 0 and 1 (any value other than exactly 0 goes to 0); other
  /// counts add 1 / (states − 1) and wrap to 0 past 1. Sends the value to the host.
  void OnMouseDown(float x, float y, const IMouseState& mod) override;
  void OnMouseUp(float x, float y, const IMouseState& mod) override;
  /// Bound to a parameter: one state per whole unit of its range, trunc(max − min) + 1 (at
  /// most kMaxStates); the per-state flags follow, newly added states enabled.
  void OnInit() override;

  int GetNumStates() const { return mNumStates; }
  /// Whether `state` is marked disabled; false for a state out of range.
  bool GetStateDisabled(int state) const;
  /// Marks `state` disabled or enabled; a state out of range is ignored.
  void SetStateDisabled(int state, bool disable);
  /// True between this base's mouse-down and mouse-up.
  bool GetMouseDown() const { return mMouseDown; }

 protected:
  /// Sets the number of states (at least 1, at most kMaxStates) and sizes the flags to match.
  void SetNumStates(int numStates);

  int32_t mNumStates = 2;
  std::vector<bool> mDisabledState;
  bool mMouseDown = false;
};

/// A switch drawn as the frame of a film strip its value chooses. Each click moves one frame
/// on, 1 / (N − 1) for a strip of N frames, wrapping to 0 past the last; a double click
/// counts as another click. The control is exactly one frame large, centred in the rectangle
/// the layout gave.
///
/// [main-thread]
class IBSwitchControl : public ISwitchControlBase, public IBitmapBase {
 public:
  /// Both rectangles are `bounds.GetCentredInside(FW, FH)` of the bitmap's frame; 2 states.
  IBSwitchControl(const IRect& bounds, const IBitmapHandle& bitmap, int paramIdx = -1);

  /// Steps by the bitmap's frame count (by 1 for a single frame), wrapping to 0 above 1.001,
  /// and sends the value to the host. Leaves the mouse-down flag alone.
  void OnMouseDown(float x, float y, const IMouseState& mod) override;
  /// Reloads the artwork for the screen scale (rounded up).
  void OnRescale() override;
  /// The frame of value 0, centred in the draw rectangle.
  void Draw(IGfx& g) override;
};

}  // namespace gfx
}  // namespace kantele
