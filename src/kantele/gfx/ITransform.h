#pragma once

namespace kantele {
namespace gfx {

/// A 2-D affine transform: a point (x, y) maps to (xx·x + xy·y + tx, yx·x + yy·y + ty).
/// Translate, Scale and Rotate each post-multiply, so the operation applied last acts on
/// points first, as in a drawing context where every call changes the current space:
/// after Translate(10, 0) then Rotate(90), the point (1, 0) is rotated to (0, 1) and then
/// moved to (10, 1).
///
/// A plain value: [any-thread], never allocates or locks.
struct ITransform {
  double xx = 1.0;
  double yx = 0.0;
  double xy = 0.0;
  double yy = 1.0;
  double tx = 0.0;
  double ty = 0.0;

  /// The identity.
  constexpr ITransform() = default;
  constexpr ITransform(double xx_, double yx_, double xy_, double yy_, double tx_, double ty_)
      : xx(xx_), yx(yx_), xy(xy_), yy(yy_), tx(tx_), ty(ty_) {}

  /// Moves the origin by (x, y) measured in the current space.
  ITransform& Translate(double x, double y);

  /// Scales the current space: x by `sx`, y by `sy`.
  ITransform& Scale(double sx, double sy);

  /// Rotates the current space by `degrees`, clockwise on screen since y grows downwards.
  /// The angle is converted to radians with pi taken as the single-precision value
  /// 3.1415927 widened to double, so a quarter turn leaves residues of about 4e-8.
  ITransform& Rotate(double degrees);

  /// Applies the transform to (x, y) in place.
  void TransformPoint(double& x, double& y) const;
};

static_assert(sizeof(ITransform) == 48, "ITransform is six doubles: xx, yx, xy, yy, tx, ty");

}  // namespace gfx
}  // namespace kantele
