#pragma once

#include "kantele/gfx/IBitmap.h"
#include "kantele/gfx/IControl.h"

namespace kantele {
namespace gfx {

/// The bitmap a control draws, and the control it belongs to. Controls that draw one frame of
/// a film strip chosen by their value derive from it alongside `IControl`.
///
/// [main-thread]
class IBitmapBase {
 public:
  IBitmapBase(const IBitmapHandle& bitmap, IControl* owner) : mBitmap(bitmap), mOwner(owner) {}
  virtual ~IBitmapBase() = default;

  const IBitmapHandle& GetBitmap() const { return mBitmap; }

  /// The frame of `value` (normalised) in a strip of N frames: frame 1 for N < 2, otherwise
  /// 1 + trunc(0.5 + value × (N − 1)) clamped to [1, N].
  static int FrameForValue(double value, int nFrames);

  /// Draws the frame chosen by the owner's value 0, centred in its draw rectangle, with the
  /// owner's blend.
  void DrawFrame(IGfx& g);

  /// Loads the bitmap again by its name for the context's screen scale (rounded up).
  void ReloadBitmap(IGfx& g);

 protected:
  IBitmapHandle mBitmap;
  IControl* mOwner;
};

/// A bitmap shown at its natural size, one frame chosen by the value; the editor's background
/// is one.
///
/// [main-thread]
class IBitmapControl : public IControl, public IBitmapBase {
 public:
  /// Both rectangles are (x, y, x + FW, y + FH) of the bitmap's frame.
  IBitmapControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx = -1,
                 EBlendMethod blend = kBlendDefault);

  void OnRescale() override;
  void Draw(IGfx& g) override;
};

}  // namespace gfx
}  // namespace kantele
