#include "kantele/gfx/ITransform.h"

#include <cmath>

namespace kantele {
namespace gfx {

ITransform& ITransform::Translate(double x, double y) {
  tx += x * xx + y * xy;
  ty += x * yx + y * yy;
  return *this;
}

ITransform& ITransform::Scale(double sx, double sy) {
  xx *= sx;
  yx *= sx;
  xy *= sy;
  yy *= sy;
  return *this;
}

ITransform& ITransform::Rotate(double degrees) {
  const double radians = degrees * (static_cast<double>(3.1415927f) / 180.0);
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  const double nxx = xx * c + xy * s;
  const double nyx = yx * c + yy * s;
  const double nxy = -xx * s + xy * c;
  const double nyy = -yx * s + yy * c;
  xx = nxx;
  yx = nyx;
  xy = nxy;
  yy = nyy;
  return *this;
}

void ITransform::TransformPoint(double& x, double& y) const {
  const double px = x;
  const double py = y;
  x = xx * px + xy * py + tx;
  y = yx * px + yy * py + ty;
}

}  // namespace gfx
}  // namespace kantele
