// The graphics context's life cycle, frame bookkeeping, transforms, layers and the drawing
// primitives built on the back end's path operations.

#include <algorithm>
#include <cmath>

#include "kantele/gfx/IGfx.h"
#include "kantele/gfx/IGfx_shared.h"

namespace kantele {
namespace gfx {

IGfx::IGfx(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : mDelegate(dlg),
      mWidth(w),
      mHeight(h),
      mFPS(fps),
      mDrawScale(scale),
      mMinScale(scale * 0.5f),
      mMaxScale(scale * 2.f) {
  SharedCaches& shared = SharedCaches::Get();
  std::lock_guard<std::mutex> bitmapLock(shared.mBitmaps.Mutex());
  std::lock_guard<std::mutex> svgLock(shared.mSVGs.Mutex());
  ++shared.mUsers;
}

IGfx::~IGfx() {
  // The platform part is gone by now: showing a cursor it hid was its own destructor's job,
  // and the platform's operations can no longer be called from here.
  mCursorHidden = false;
  RemoveAllControls();
  mLayers.clear();
  SharedCaches& shared = SharedCaches::Get();
  std::lock_guard<std::mutex> bitmapLock(shared.mBitmaps.Mutex());
  std::lock_guard<std::mutex> svgLock(shared.mSVGs.Mutex());
  if (--shared.mUsers == 0) {
    shared.mBitmaps.Clear();
    shared.mSVGs.Clear();
  }
}

int IGfx::SharedCacheUsers() {
  SharedCaches& shared = SharedCaches::Get();
  std::lock_guard<std::mutex> lock(shared.mBitmaps.Mutex());
  return shared.mUsers;
}

int IGfx::SharedBitmapCacheSize() {
  SharedCaches& shared = SharedCaches::Get();
  std::lock_guard<std::mutex> lock(shared.mBitmaps.Mutex());
  return shared.mBitmaps.Size();
}

int IGfx::SharedSVGCacheSize() {
  SharedCaches& shared = SharedCaches::Get();
  std::lock_guard<std::mutex> lock(shared.mSVGs.Mutex());
  return shared.mSVGs.Size();
}

// ---- Frame and view.

void IGfx::BeginFrame() {}
void IGfx::ViewCreated(void*) {}
void IGfx::ViewDestroyed() {}
void IGfx::EndFrame() {}

// ---- Images.

void IGfx::DrawSVG(const ISVG& svg, const IRect& bounds, const IBlending* blend) {
  (void)blend;
  if (!svg.IsValid() || !(svg.W() > 0.f) || !(svg.H() > 0.f)) return;
  const float scale = std::min(bounds.W() / svg.W(), bounds.H() / svg.H());
  PathTransformSave();
  PathTransformTranslate(bounds.L, bounds.T);
  PathTransformScale(scale, scale);
  // Documents carry no shapes until a parser is plugged in: the placement is all there is.
  PathTransformRestore();
}

void IGfx::DrawRotatedSVG(const ISVG& svg, float cx, float cy, float w, float h, float angle,
                          const IBlending* blend) {
  PathTransformSave();
  PathTransformTranslate(cx, cy);
  PathTransformRotate(angle);
  DrawSVG(svg, IRect(-w * 0.5f, -h * 0.5f, w * 0.5f, h * 0.5f), blend);
  PathTransformRestore();
}

void IGfx::DrawFittedBitmap(const IBitmapHandle& bitmap, const IRect& bounds,
                            const IBlending* blend) {
  if (!bitmap.IsValid() || bitmap.W() <= 0 || bitmap.H() <= 0) return;
  PathTransformSave();
  PathTransformTranslate(bounds.L, bounds.T);
  PathTransformScale(bounds.W() / static_cast<float>(bitmap.W()),
                     bounds.H() / static_cast<float>(bitmap.H()));
  DrawBitmap(bitmap,
             IRect(0.f, 0.f, static_cast<float>(bitmap.W()), static_cast<float>(bitmap.H())), 0, 0,
             blend);
  PathTransformRestore();
}

void IGfx::DrawRotatedBitmap(const IBitmapHandle& bitmap, float cx, float cy, double angle,
                             const IBlending* blend) {
  if (!bitmap.IsValid()) return;
  const float d =
      bitmap.GetAPIBitmap()->GetDrawScale() > 0.f ? bitmap.GetAPIBitmap()->GetDrawScale() : 1.f;
  const float w = static_cast<float>(bitmap.W()) / d;
  const float h = static_cast<float>(bitmap.H()) / d;
  PathTransformSave();
  PathTransformTranslate(cx, cy);
  PathTransformRotate(static_cast<float>(angle));
  DrawBitmap(bitmap, IRect(-w * 0.5f, -h * 0.5f, w * 0.5f, h * 0.5f), 0, 0, blend);
  PathTransformRestore();
}

// ---- Drawing primitives.

namespace {}  // namespace

void IGfx::DrawPoint(const IArgb& color, float x, float y, const IBlending* blend) {
  FillRect(color, IRect(x, y, x + 1.f, y + 1.f), blend);
}

void IGfx::DrawLine(const IArgb& color, float x1, float y1, float x2, float y2,
                    const IBlending* blend, float thickness) {
  PathClear();
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawDottedLine(const IArgb& color, float x1, float y1, float x2, float y2,
                          const IBlending* blend, float thickness, float dashLen) {
  const float dx = x2 - x1;
  const float dy = y2 - y1;
  const float length = std::sqrt(dx * dx + dy * dy);
  if (!(dashLen > 0.f) || !(length > 0.f)) return;
  const int nDashes = static_cast<int>(std::min(length / dashLen, 100000.f));
  PathClear();
  for (int i = 0; i < nDashes; i += 2) {
    const float a = static_cast<float>(i) * dashLen / length;
    const float b = std::min(static_cast<float>(i + 1) * dashLen / length, 1.f);
    PathMoveTo(x1 + dx * a, y1 + dy * a);
    PathLineTo(x1 + dx * b, y1 + dy * b);
  }
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                        float y3, const IBlending* blend, float thickness) {
  PathClear();
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  PathLineTo(x3, y3);
  PathClose();
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawRect(const IArgb& color, const IRect& bounds, const IBlending* blend,
                    float thickness) {
  PathClear();
  PathRect(bounds);
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawRoundRect(const IArgb& color, const IRect& bounds, float cornerRadius,
                         const IBlending* blend, float thickness) {
  DrawRoundRect(color, bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius, blend,
                thickness);
}

void IGfx::DrawRoundRect(const IArgb& color, const IRect& bounds, float cRTL, float cRTR,
                         float cRBR, float cRBL, const IBlending* blend, float thickness) {
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL);
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawConvexPolygon(const IArgb& color, const float* x, const float* y, int nPoints,
                             const IBlending* blend, float thickness) {
  if (!x || !y || nPoints < 2) return;
  PathClear();
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < nPoints; ++i) PathLineTo(x[i], y[i]);
  PathClose();
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                   const IBlending* blend, float thickness) {
  PathClear();
  PathArc(cx, cy, r, a1, a2);
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawCircle(const IArgb& color, float cx, float cy, float r, const IBlending* blend,
                      float thickness) {
  PathClear();
  PathArc(cx, cy, r, 0.f, 360.f);
  PathClose();
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawEllipse(const IArgb& color, const IRect& bounds, const IBlending* blend,
                       float thickness) {
  DrawEllipse(color, bounds.MW(), bounds.MH(), bounds.W() * 0.5f, bounds.H() * 0.5f, 0.f, blend,
              thickness);
}

void IGfx::DrawEllipse(const IArgb& color, float x, float y, float r1, float r2, float angle,
                       const IBlending* blend, float thickness) {
  PathClear();
  PathEllipse(x, y, r1, r2, angle);
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::DrawDottedRect(const IArgb& color, const IRect& bounds, const IBlending* blend,
                          float thickness, float dashLen) {
  DrawDottedLine(color, bounds.L, bounds.T, bounds.R, bounds.T, blend, thickness, dashLen);
  DrawDottedLine(color, bounds.R, bounds.T, bounds.R, bounds.B, blend, thickness, dashLen);
  DrawDottedLine(color, bounds.R, bounds.B, bounds.L, bounds.B, blend, thickness, dashLen);
  DrawDottedLine(color, bounds.L, bounds.B, bounds.L, bounds.T, blend, thickness, dashLen);
}

void IGfx::FillTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                        float y3, const IBlending* blend) {
  PathClear();
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  PathLineTo(x3, y3);
  PathClose();
  PathFill(color, IFillSpec(), blend);
}

void IGfx::FillRect(const IArgb& color, const IRect& bounds, const IBlending* blend) {
  PathClear();
  PathRect(bounds);
  PathFill(color, IFillSpec(), blend);
}

void IGfx::FillRoundRect(const IArgb& color, const IRect& bounds, float cornerRadius,
                         const IBlending* blend) {
  FillRoundRect(color, bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius, blend);
}

void IGfx::FillRoundRect(const IArgb& color, const IRect& bounds, float cRTL, float cRTR,
                         float cRBR, float cRBL, const IBlending* blend) {
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL);
  PathFill(color, IFillSpec(), blend);
}

void IGfx::FillCircle(const IArgb& color, float cx, float cy, float r, const IBlending* blend) {
  PathClear();
  PathArc(cx, cy, r, 0.f, 360.f);
  PathClose();
  PathFill(color, IFillSpec(), blend);
}

void IGfx::FillEllipse(const IArgb& color, const IRect& bounds, const IBlending* blend) {
  FillEllipse(color, bounds.MW(), bounds.MH(), bounds.W() * 0.5f, bounds.H() * 0.5f, 0.f, blend);
}

void IGfx::FillEllipse(const IArgb& color, float x, float y, float r1, float r2, float angle,
                       const IBlending* blend) {
  PathClear();
  PathEllipse(x, y, r1, r2, angle);
  PathFill(color, IFillSpec(), blend);
}

void IGfx::FillArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                   const IBlending* blend) {
  PathClear();
  PathMoveTo(cx, cy);
  PathArc(cx, cy, r, a1, a2);
  PathClose();
  PathFill(color, IFillSpec(), blend);
}

void IGfx::FillConvexPolygon(const IArgb& color, const float* x, const float* y, int nPoints,
                             const IBlending* blend) {
  if (!x || !y || nPoints < 3) return;
  PathClear();
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < nPoints; ++i) PathLineTo(x[i], y[i]);
  PathClose();
  PathFill(color, IFillSpec(), blend);
}

float IGfx::MeasureText(const ITextStyle& style, const char* text, IRect& bounds) const {
  if (!text || !*text) return 0.f;
  return DoMeasureText(style, text, bounds);
}

void IGfx::DrawFastDropShadow(const IRect&, const IRect&, float, float, float, const IBlending*) {}

void IGfx::DrawGrid(const IArgb& color, const IRect& bounds, float gridSizeH, float gridSizeV,
                    const IBlending* blend, float thickness) {
  // A step that is not positive, or far finer than a pixel, would never end the loop.
  if (gridSizeH > 0.f && bounds.W() / gridSizeH < 100000.f) {
    for (float x = bounds.L + gridSizeH; x < bounds.R; x += gridSizeH)
      DrawLine(color, x, bounds.T, x, bounds.B, blend, thickness);
  }
  if (gridSizeV > 0.f && bounds.H() / gridSizeV < 100000.f) {
    for (float y = bounds.T + gridSizeV; y < bounds.B; y += gridSizeV)
      DrawLine(color, bounds.L, y, bounds.R, y, blend, thickness);
  }
}

void IGfx::DrawData(const IArgb& color, const IRect& bounds, const float* normYPoints, int nPoints,
                    const float* normXPoints, const IBlending* blend, float thickness) {
  if (!normYPoints || nPoints < 2) return;
  PathClear();
  const float step = bounds.W() / static_cast<float>(nPoints - 1);
  for (int i = 0; i < nPoints; ++i) {
    const float x = normXPoints ? bounds.L + bounds.W() * normXPoints[i]
                                : bounds.L + step * static_cast<float>(i);
    const float y = bounds.B - bounds.H() * normYPoints[i];
    if (i == 0)
      PathMoveTo(x, y);
    else
      PathLineTo(x, y);
  }
  PathStroke(color, thickness, IStrokeSpec(), blend);
}

void IGfx::GetLayerBitmapData(const APIBitmap&, std::vector<uint8_t>& data) { data.clear(); }
void IGfx::ApplyShadowMask(const APIBitmap&, const std::vector<uint8_t>&) {}
void IGfx::CompleteRegion(const IRect&) {}

void IGfx::PathRect(const IRect& bounds) {
  PathMoveTo(bounds.L, bounds.T);
  PathLineTo(bounds.R, bounds.T);
  PathLineTo(bounds.R, bounds.B);
  PathLineTo(bounds.L, bounds.B);
  PathClose();
}

void IGfx::PathEllipse(float x, float y, float r1, float r2, float angle) {
  // The unit circle is mapped through the transform as it is added, and the transform is
  // restored before any stroke, so a line keeps its width.
  PathTransformSave();
  PathTransformTranslate(x, y);
  PathTransformRotate(angle);
  PathTransformScale(r1, r2);
  PathArc(0.f, 0.f, 1.f, 0.f, 360.f);
  PathClose();
  PathTransformRestore();
}

void IGfx::PathRoundRect(const IRect& bounds, float cRTL, float cRTR, float cRBR, float cRBL) {
  if (cRTL <= 0.f && cRTR <= 0.f && cRBR <= 0.f && cRBL <= 0.f) {
    PathRect(bounds);
    return;
  }
  // Each radius is capped at half the shorter side, so the corners never overlap.
  const float cap = std::min(bounds.W(), bounds.H()) * 0.5f;
  const auto fit = [cap](float r) { return std::clamp(r, 0.f, cap); };
  cRTL = fit(cRTL);
  cRTR = fit(cRTR);
  cRBR = fit(cRBR);
  cRBL = fit(cRBL);
  PathMoveTo(bounds.L, bounds.T + cRTL);
  PathArc(bounds.L + cRTL, bounds.T + cRTL, cRTL, 270.f, 360.f);
  PathArc(bounds.R - cRTR, bounds.T + cRTR, cRTR, 0.f, 90.f);
  PathArc(bounds.R - cRBR, bounds.B - cRBR, cRBR, 90.f, 180.f);
  PathArc(bounds.L + cRBL, bounds.B - cRBL, cRBL, 180.f, 270.f);
  PathClose();
}

void IGfx::ShowTooltip(const char*) {}

void IGfx::AttachGestureRecognizer(int32_t type) {
  if (std::find(mRegisteredGestures.begin(), mRegisteredGestures.end(), type) ==
      mRegisteredGestures.end())
    mRegisteredGestures.push_back(type);
}

// ---- Transforms.

void IGfx::PathTransformSave() { mTransformStates.push_back(mTransform); }

void IGfx::PathTransformRestore() {
  if (mTransformStates.empty()) return;
  mTransform = mTransformStates.back();
  mTransformStates.pop_back();
  PathTransformSetMatrix(mTransform);
}

void IGfx::PathTransformReset() {
  mTransformStates.clear();
  mTransform = ITransform();
  PathTransformSetMatrix(mTransform);
}

void IGfx::PathTransformTranslate(float x, float y) {
  mTransform.Translate(x, y);
  PathTransformSetMatrix(mTransform);
}

void IGfx::PathTransformScale(float x, float y) {
  mTransform.Scale(x, y);
  PathTransformSetMatrix(mTransform);
}

void IGfx::PathTransformRotate(float angle) {
  mTransform.Rotate(angle);
  PathTransformSetMatrix(mTransform);
}

// ---- Layers.

void IGfx::StartLayer(const IRect& r) {
  const float scale = GetTotalScale();
  const int w = static_cast<int>(std::ceil(r.W() * scale));
  const int h = static_cast<int>(std::ceil(r.H() * scale));
  const int pixelScale = std::clamp(static_cast<int>(std::ceil(mScreenScale)), 1, 3);
  Layer layer;
  layer.mBitmap = CreateAPIBitmap(std::max(w, 1), std::max(h, 1), pixelScale, mDrawScale);
  layer.mBounds = r;
  mLayers.push_back(std::move(layer));
  UpdateLayer();
  PathTransformReset();
  PathClear();
}

std::unique_ptr<APIBitmap> IGfx::EndLayer() {
  if (mLayers.empty()) return nullptr;
  std::unique_ptr<APIBitmap> bitmap = std::move(mLayers.back().mBitmap);
  mLayers.pop_back();
  UpdateLayer();
  PathTransformReset();
  PathClear();
  return bitmap;
}

const APIBitmap* IGfx::GetCurrentLayer() const {
  return mLayers.empty() ? nullptr : mLayers.back().mBitmap.get();
}

IRect IGfx::GetCurrentLayerBounds() const {
  return mLayers.empty() ? IRect() : mLayers.back().mBounds;
}

}  // namespace gfx
}  // namespace kantele
