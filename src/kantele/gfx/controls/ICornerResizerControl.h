#pragma once

#include "kantele/gfx/IControl.h"
#include "kantele/gfx/PathTypes.h"

namespace kantele {
namespace gfx {

/// The grip in the editor's bottom-right corner: dragging it zooms the editor (or resizes it,
/// in the context's Size mode), and a double click returns to the size the editor had when
/// the grip was made, at draw scale 1.
///
/// The grip keeps the same size on screen at every zoom: `size` device-independent pixels
/// square. It draws the lower-right half of its square in one of three colours (dragging,
/// pointer over, otherwise) and shows the diagonal resize cursor while the pointer is over
/// it, giving back the cursor it found when the pointer leaves.
///
/// The context keeps it outside the control list (`IGfx::AttachCornerResizer`); the drag
/// itself is the context's: the grip's mouse-down only starts it.
///
/// [main-thread] Editor thread only, like every control.
class ICornerResizerControl : public IControl {
 public:
  /// `graphicsBounds` is the context's (0, 0, width, height); both rectangles start as the
  /// `size` square in its bottom-right corner shrunk by 1 on every side, until OnRescale.
  ICornerResizerControl(const IRect& graphicsBounds, float size,
                        const IArgb& color = IArgb(10, 0, 0, 0),
                        const IArgb& mouseOverColor = IArgb(255, 0, 0, 0),
                        const IArgb& dragColor = IArgb(255, 0, 0, 0));

  /// Starts the context's resize drag.
  void OnMouseDown(float x, float y, const IMouseState& mod) override;
  /// Resizes the editor to its size at construction, at draw scale 1 (still clamped to the
  /// allowed zoom).
  void OnMouseDoubleClick(float x, float y, const IMouseState& mod) override;
  /// Shows the diagonal resize cursor, remembering the one shown before.
  void OnMouseOver(float x, float y, const IMouseState& mod) override;
  /// Gives back the cursor shown before the pointer came over.
  void OnMouseOut() override;
  /// Both rectangles become the bottom-right square of size / draw scale UI units; the
  /// pointer counts as gone (the cursor stays until OnMouseOut).
  void OnRescale() override;
  /// FillTriangle over the lower-right half of the draw rectangle, without blending.
  void Draw(IGfx& g) override;

  float GetSize() const { return mSize; }
  const IRect& GetInitialGraphicsBounds() const { return mInitialGraphicsBounds; }
  /// True from OnMouseOver to OnMouseOut, a rescale notwithstanding.
  bool GetShowsResizeCursor() const { return mMouseOver; }

 private:
  float mSize;
  bool mMouseOver = false;
  ECursor mPrevCursorType = kArrowCursor;
  IRect mInitialGraphicsBounds;
  IArgb mColor;
  IArgb mMouseOverColor;
  IArgb mDragColor;
};

}  // namespace gfx
}  // namespace kantele
