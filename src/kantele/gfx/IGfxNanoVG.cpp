// The NanoVG drawing back end. glad's header comes first: it must precede every other
// OpenGL header.
#include <glad/gl.h>

#include "kantele/gfx/IGfxNanoVG.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "nanovg.h"
#define NANOVG_GL2_FORCED
#include "nanovg_gl.h"
extern "C" {
#include "nanovg_gl_utils.h"
}

namespace kantele {
namespace gfx {

namespace {

constexpr float kPi = 3.14159265f;

/// Font bytes shared by every NanoVG context of the process: NanoVG keeps pointers into
/// them (fonts are registered without copying), so they live until the last context goes.
struct SharedFonts {
  KeyedCache<FontData> mFonts;
  int mUsers = 0;  // guarded by mFonts.Mutex()

  // Static storage that is never destroyed, like the graphics core's shared caches.
  static SharedFonts& Get() {
    alignas(SharedFonts) static unsigned char sStorage[sizeof(SharedFonts)];
    static SharedFonts* sFonts = new (sStorage) SharedFonts();
    return *sFonts;
  }
};

NVGcolor ToNVG(const IArgb& c, float weight) {
  return nvgRGBAf(static_cast<float>(c.R) / 255.f, static_cast<float>(c.G) / 255.f,
                  static_cast<float>(c.B) / 255.f, static_cast<float>(c.A) * weight / 255.f);
}

// The inverse of an affine transform; the identity for a singular one.
ITransform Inverse(const ITransform& t) {
  const double det = t.xx * t.yy - t.xy * t.yx;
  if (det == 0.0 || !std::isfinite(det)) return ITransform();
  const double inv = 1.0 / det;
  const double xx = t.yy * inv;
  const double xy = -t.xy * inv;
  const double yx = -t.yx * inv;
  const double yy = t.xx * inv;
  const double tx = -(xx * t.tx + xy * t.ty);
  const double ty = -(yx * t.tx + yy * t.ty);
  return ITransform(xx, yx, xy, yy, tx, ty);
}

}  // namespace

// ---- Bitmap.

IGfxNanoVG::Bitmap::Bitmap(IGfxNanoVG& owner, NVGcontext* vg, NVGLUframebuffer* fb, int image,
                           int width, int height, int scale, float drawScale)
    : APIBitmap(image, width, height, scale, drawScale),
      mOwner(&owner),
      mVG(vg),
      mFramebuffer(fb) {}

std::unique_ptr<IGfxNanoVG::Bitmap> IGfxNanoVG::Bitmap::FromImage(IGfxNanoVG& owner, NVGcontext* vg,
                                                                  int image, int scale) {
  int w = 0;
  int h = 0;
  if (vg && image > 0) nvgImageSize(vg, image, &w, &h);
  return std::unique_ptr<Bitmap>(new Bitmap(owner, vg, nullptr, image, w, h, scale, 1.f));
}

std::unique_ptr<IGfxNanoVG::Bitmap> IGfxNanoVG::Bitmap::FromFramebuffer(
    IGfxNanoVG& owner, NVGcontext* vg, NVGLUframebuffer* fb, int width, int height, int scale,
    float drawScale) {
  const int image = fb ? fb->image : 0;
  return std::unique_ptr<Bitmap>(new Bitmap(owner, vg, fb, image, width, height, scale, drawScale));
}

IGfxNanoVG::Bitmap::~Bitmap() {
  // Images die with their NanoVG context: once the owner's view is gone there is nothing
  // left to delete (and no context to delete it with).
  if (mShared || !mVG || mOwner->mVG != mVG) return;
  if (mFramebuffer) {
    mOwner->DeleteFramebuffer(mFramebuffer);
  } else if (GetImage() > 0) {
    nvgDeleteImage(mVG, GetImage());
  }
}

// ---- Construction.

IGfxNanoVG::IGfxNanoVG(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGfx(dlg, w, h, fps, scale) {
  SharedFonts& fonts = SharedFonts::Get();
  std::lock_guard<std::mutex> lock(fonts.mFonts.Mutex());
  ++fonts.mUsers;
}

IGfxNanoVG::~IGfxNanoVG() {
  // Layers still open hold bitmaps that would call back into this part once it is gone.
  mLayers.clear();
  {
    std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
    mBitmapCache.Clear();
  }
  SharedFonts& fonts = SharedFonts::Get();
  std::lock_guard<std::mutex> lock(fonts.mFonts.Mutex());
  if (--fonts.mUsers == 0) fonts.mFonts.Clear();
}

int IGfxNanoVG::SharedFontCacheSize() {
  SharedFonts& fonts = SharedFonts::Get();
  std::lock_guard<std::mutex> lock(fonts.mFonts.Mutex());
  return fonts.mFonts.Size();
}

int IGfxNanoVG::BitmapCacheSize() const {
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  return mBitmapCache.Size();
}

int IGfxNanoVG::DeferredFramebufferCount() const {
  std::lock_guard<std::mutex> lock(mFBOMutex);
  return static_cast<int>(mFBOStack.size());
}

KeyedCache<APIBitmap>& IGfxNanoVG::BitmapCache() { return mBitmapCache; }

// ---- Sizes.

int IGfxNanoVG::WindowPixelWidth() const { return static_cast<int>(mWidth * mDrawScale); }
int IGfxNanoVG::WindowPixelHeight() const { return static_cast<int>(mHeight * mDrawScale); }
int IGfxNanoVG::DevicePixelWidth() const {
  return static_cast<int>(static_cast<float>(WindowPixelWidth()) * mScreenScale);
}
int IGfxNanoVG::DevicePixelHeight() const {
  return static_cast<int>(static_cast<float>(WindowPixelHeight()) * mScreenScale);
}

// ---- Frame and view.

void IGfxNanoVG::BindMainFramebuffer() { nvgluBindFramebuffer(mMainFramebuffer); }

void IGfxNanoVG::BeginFrame() {
  IGfx::BeginFrame();
  mInFrame = true;
  if (!mVG) return;
  // The window's own framebuffer is cleared; the main framebuffer keeps last frame's pixels,
  // so only the dirty areas are drawn again.
  glViewport(0, 0, DevicePixelWidth(), DevicePixelHeight());
  glClearColor(0.f, 0.f, 0.f, 0.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  BindMainFramebuffer();
  nvgBeginFrame(mVG, static_cast<float>(WindowPixelWidth()),
                static_cast<float>(WindowPixelHeight()), mScreenScale);
}

void IGfxNanoVG::EndFrame() {
  if (mVG) {
    const float w = static_cast<float>(WindowPixelWidth());
    const float h = static_cast<float>(WindowPixelHeight());
    nvgEndFrame(mVG);
    if (mMainFramebuffer) {
      nvgluBindFramebuffer(nullptr);
      glViewport(0, 0, DevicePixelWidth(), DevicePixelHeight());
      nvgBeginFrame(mVG, w, h, mScreenScale);
      nvgSave(mVG);
      nvgResetTransform(mVG);
      nvgBeginPath(mVG);
      nvgRect(mVG, 0.f, 0.f, w, h);
      nvgFillPaint(mVG, nvgImagePattern(mVG, 0.f, 0.f, w, h, 0.f, mMainFramebuffer->image, 1.f));
      nvgFill(mVG);
      nvgRestore(mVG);
      nvgEndFrame(mVG);
    }
  }
  mInFrame = false;
  ClearFramebufferStack();
}

void IGfxNanoVG::ViewCreated(void* context) {
  IGfx::ViewCreated(context);
  if (!mVG) mVG = nvgCreateGL2(NVG_ANTIALIAS);
}

void IGfxNanoVG::ViewDestroyed() {
  {
    std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
    mBitmapCache.Clear();
  }
  mLayers.clear();
  ClearFramebufferStack();
  if (mMainFramebuffer) {
    nvgluDeleteFramebuffer(mMainFramebuffer);
    mMainFramebuffer = nullptr;
  }
  if (mVG) {
    nvgDeleteGL2(mVG);
    mVG = nullptr;
  }
  IGfx::ViewDestroyed();
}

void IGfxNanoVG::DrawResize() {
  if (mMainFramebuffer) {
    nvgluDeleteFramebuffer(mMainFramebuffer);
    mMainFramebuffer = nullptr;
  }
  if (mVG) {
    mMainFramebuffer = nvgluCreateFramebuffer(mVG, std::max(DevicePixelWidth(), 1),
                                              std::max(DevicePixelHeight(), 1), 0);
  }
}

void IGfxNanoVG::DeleteFramebuffer(NVGLUframebuffer* fb) {
  if (!fb) return;
  if (mInFrame) {
    std::lock_guard<std::mutex> lock(mFBOMutex);
    mFBOStack.push_back(fb);
  } else {
    nvgluDeleteFramebuffer(fb);
  }
}

void IGfxNanoVG::ClearFramebufferStack() {
  std::lock_guard<std::mutex> lock(mFBOMutex);
  while (!mFBOStack.empty()) {
    nvgluDeleteFramebuffer(mFBOStack.back());
    mFBOStack.pop_back();
  }
}

// ---- Blending.

void IGfxNanoVG::ApplyBlend(const IBlending* blend) {
  const int method = blend ? static_cast<int>(blend->mMethod) : 0;
  switch (method) {
    case 0: nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER); break;
    case 1: nvgGlobalCompositeOperation(mVG, NVG_SOURCE_IN); break;
    case 2: nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OUT); break;
    case 3: nvgGlobalCompositeOperation(mVG, NVG_ATOP); break;
    case 4: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_OVER); break;
    case 5: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_IN); break;
    case 6: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_OUT); break;
    case 7: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_ATOP); break;
    case 8:  // add
      nvgGlobalCompositeBlendFuncSeparate(mVG, NVG_SRC_ALPHA, NVG_DST_ALPHA, NVG_SRC_ALPHA,
                                          NVG_DST_ALPHA);
      break;
    case 9: nvgGlobalCompositeOperation(mVG, NVG_XOR); break;
    default: break;  // unknown methods leave the composite as it is
  }
}

void IGfxNanoVG::ResetBlend() { nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER); }

// ---- Bitmaps.

void IGfxNanoVG::DrawBitmap(const IBitmapHandle& bitmap, const IRect& dest, int srcX, int srcY,
                            const IBlending* blend) {
  const APIBitmap* api = bitmap.GetAPIBitmap();
  if (!mVG || !api) return;
  const float scale = static_cast<float>(std::max(api->GetScale(), 1));
  const float drawScale = api->GetDrawScale() > 0.f ? api->GetDrawScale() : 1.f;
  const float k = 1.f / (scale * drawScale);
  NVGpaint paint;
  std::memset(&paint, 0, sizeof(paint));
  nvgTransformScale(paint.xform, k, k);
  paint.xform[4] = dest.L - static_cast<float>(srcX);
  paint.xform[5] = dest.T - static_cast<float>(srcY);
  paint.extent[0] = static_cast<float>(bitmap.W()) * scale;
  paint.extent[1] = static_cast<float>(bitmap.H()) * scale;
  paint.radius = 0.f;
  paint.feather = 0.f;
  paint.innerColor = paint.outerColor = nvgRGBAf(1.f, 1.f, 1.f, BlendWeight(blend));
  paint.image = api->GetImage();

  // NanoVG clips in the fragment shader, so a large image under a small dirty area would be
  // shaded in full. While a control is drawn into the window with a transform that keeps axes
  // (no rotation), the rectangle shrinks to the clip (plus a device pixel, which the clip
  // removes again): the pixels are the same, the work is that of the dirty area.
  IRect area = dest;
  const ITransform& t = GetTransform();
  if (mInFrame && mLayers.empty() && t.xy == 0.0 && t.yx == 0.0 && t.xx > 0.0 && t.yy > 0.0 &&
      GetClipRect().W() > 0.f && GetClipRect().H() > 0.f) {
    const IRect clip = GetClipRect().GetPadded(1.f / GetTotalScale());
    const IRect local(
        static_cast<float>((clip.L - t.tx) / t.xx), static_cast<float>((clip.T - t.ty) / t.yy),
        static_cast<float>((clip.R - t.tx) / t.xx), static_cast<float>((clip.B - t.ty) / t.yy));
    area = dest.Intersect(local);
    if (!(area.W() > 0.f) || !(area.H() > 0.f)) return;
  }

  nvgBeginPath(mVG);
  nvgRect(mVG, area.L, area.T, area.W(), area.H());
  nvgFillPaint(mVG, paint);
  ApplyBlend(blend);
  nvgFill(mVG);
  ResetBlend();
  nvgBeginPath(mVG);
}

bool IGfxNanoVG::BitmapExtSupported(const char* ext) {
  if (!ext) return false;
  char lower[32] = {};
  for (size_t i = 0; i < sizeof(lower) - 1 && ext[i]; ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(ext[i])));
  return std::strstr(lower, "png") || std::strstr(lower, "jpg") || std::strstr(lower, "jpeg");
}

IBitmapHandle IGfxNanoVG::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal,
                                     int targetScale) {
  return LoadBitmapWithCache(mBitmapCache, name, nStates, framesAreHorizontal, targetScale);
}

std::unique_ptr<APIBitmap> IGfxNanoVG::LoadAPIBitmap(const char* name, const void* data,
                                                     int dataSize, int scale) {
  (void)name;
  if (!mVG || !data || dataSize <= 0) return nullptr;
  MakeGLContextCurrent();
  const int image = nvgCreateImageMem(mVG, 0, static_cast<const unsigned char*>(data), dataSize);
  RestoreGLContext();
  // A failed decode is no bitmap: an empty image would be cached as if it were artwork.
  if (image <= 0) return nullptr;
  return Bitmap::FromImage(*this, mVG, image, scale);
}

std::unique_ptr<APIBitmap> IGfxNanoVG::LoadAPIBitmap(const char* resolvedName, int scale,
                                                     EResourceLocation location, const char* ext) {
  if (!mVG || !resolvedName) return nullptr;
  int image = 0;
  if (location == kInModule) {
    int size = 0;
    const uint8_t* bytes = ReadModuleResource(resolvedName, ext, size, GetModuleHandle());
    if (bytes && size > 0) {
      MakeGLContextCurrent();
      image = nvgCreateImageMem(mVG, 0, bytes, size);
      RestoreGLContext();
    }
  } else if (location == kAbsolutePath) {
    MakeGLContextCurrent();
    image = nvgCreateImage(mVG, resolvedName, 0);
    RestoreGLContext();
  }
  if (image <= 0) return nullptr;
  return Bitmap::FromImage(*this, mVG, image, scale);
}

std::unique_ptr<APIBitmap> IGfxNanoVG::CreateAPIBitmap(int width, int height, int scale,
                                                       double drawScale) {
  if (!mVG || width <= 0 || height <= 0) return nullptr;
  const bool inFrame = mInFrame;
  if (inFrame) nvgEndFrame(mVG);
  NVGLUframebuffer* fb = nvgluCreateFramebuffer(mVG, width, height, 0);
  if (fb) {
    nvgluBindFramebuffer(fb);
    glViewport(0, 0, width, height);
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    nvgBeginFrame(mVG, static_cast<float>(width), static_cast<float>(height), 1.f);
    nvgEndFrame(mVG);
  }
  // Back to where drawing was going, with the viewport of that target.
  BindMainFramebuffer();
  glViewport(0, 0, DevicePixelWidth(), DevicePixelHeight());
  if (inFrame) {
    nvgBeginFrame(mVG, static_cast<float>(WindowPixelWidth()),
                  static_cast<float>(WindowPixelHeight()), mScreenScale);
  }
  if (!fb) return nullptr;
  return Bitmap::FromFramebuffer(*this, mVG, fb, width, height, scale,
                                 static_cast<float>(drawScale));
}

void IGfxNanoVG::UpdateLayer() {
  if (!mVG) return;
  nvgEndFrame(mVG);
  const auto* layer =
      mLayers.empty() ? nullptr : static_cast<const Bitmap*>(mLayers.back().mBitmap.get());
  if (layer && layer->GetFramebuffer()) {
    const IRect& r = mLayers.back().mBounds;
    const float total = GetTotalScale();
    glViewport(0, 0, static_cast<int>(r.W() * total), static_cast<int>(r.H() * total));
    nvgluBindFramebuffer(layer->GetFramebuffer());
    nvgBeginFrame(mVG, r.W() * mDrawScale, r.H() * mDrawScale, mScreenScale);
  } else {
    glViewport(0, 0, DevicePixelWidth(), DevicePixelHeight());
    BindMainFramebuffer();
    // Outside a frame (a bitmap rescaled while loading) there is no window frame to resume.
    if (mInFrame) {
      nvgBeginFrame(mVG, static_cast<float>(WindowPixelWidth()),
                    static_cast<float>(WindowPixelHeight()), mScreenScale);
    }
  }
}

void IGfxNanoVG::GetLayerBitmapData(const APIBitmap& bitmap, std::vector<uint8_t>& data) {
  const auto& b = static_cast<const Bitmap&>(bitmap);
  data.clear();
  if (!mVG || !b.GetFramebuffer()) return;
  const int w = b.GetWidth();
  const int h = b.GetHeight();
  data.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4u);
  GLint previous = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  nvgluBindFramebuffer(b.GetFramebuffer());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
}

IArgb IGfxNanoVG::GetPoint(int, int) { return IArgb(255, 0, 0, 0); }

// ---- Paths.

void IGfxNanoVG::PathClear() {
  if (mVG) nvgBeginPath(mVG);
}

void IGfxNanoVG::PathClose() {
  if (mVG) nvgClosePath(mVG);
}

void IGfxNanoVG::PathArc(float cx, float cy, float r, float a1, float a2, bool clockwise) {
  if (!mVG) return;
  nvgArc(mVG, cx, cy, r, (a1 - 90.f) / 180.f * kPi, (a2 - 90.f) / 180.f * kPi,
         clockwise ? NVG_CW : NVG_CCW);
}

void IGfxNanoVG::PathMoveTo(float x, float y) {
  if (mVG) nvgMoveTo(mVG, x, y);
}

void IGfxNanoVG::PathLineTo(float x, float y) {
  if (mVG) nvgLineTo(mVG, x, y);
}

void IGfxNanoVG::PathSetWinding(bool clockwise) {
  if (mVG) nvgPathWinding(mVG, clockwise ? NVG_CW : NVG_CCW);
}

void IGfxNanoVG::PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) {
  if (mVG) nvgBezierTo(mVG, c1x, c1y, c2x, c2y, x2, y2);
}

void IGfxNanoVG::PathQuadraticBezierTo(float cx, float cy, float x2, float y2) {
  if (mVG) nvgQuadTo(mVG, cx, cy, x2, y2);
}

void IGfxNanoVG::SetGradientPaint(const IPaintSpec& pattern, float weight, bool stroke) {
  const int n = std::clamp(pattern.mNStops, 1, IPaintSpec::kMaxStops);
  const NVGcolor inner = ToNVG(pattern.mStops[0].mColor, weight);
  const NVGcolor outer = ToNVG(pattern.mStops[n - 1].mColor, weight);
  const ITransform inv = Inverse(pattern.mTransform);
  double sx = 0.0;
  double sy = 0.0;
  inv.TransformPoint(sx, sy);
  NVGpaint paint;
  if (pattern.mType == kRadialPattern) {
    paint = nvgRadialGradient(mVG, static_cast<float>(sx), static_cast<float>(sy),
                              static_cast<float>(inv.xx * pattern.mStops[0].mOffset),
                              static_cast<float>(inv.xx), inner, outer);
  } else {
    double ex = 0.0;
    double ey = 1.0;
    inv.TransformPoint(ex, ey);
    paint = nvgLinearGradient(mVG, static_cast<float>(sx), static_cast<float>(sy),
                              static_cast<float>(ex), static_cast<float>(ey), inner, outer);
  }
  if (stroke)
    nvgStrokePaint(mVG, paint);
  else
    nvgFillPaint(mVG, paint);
}

void IGfxNanoVG::PathStroke(const IPaintSpec& pattern, float thickness, const IStrokeSpec& options,
                            const IBlending* blend) {
  if (!mVG) return;
  switch (options.mCapOption) {
    case kCapRound: nvgLineCap(mVG, NVG_ROUND); break;
    case kCapSquare: nvgLineCap(mVG, NVG_SQUARE); break;
    default: nvgLineCap(mVG, NVG_BUTT); break;
  }
  switch (options.mJoinOption) {
    case kJoinRound: nvgLineJoin(mVG, NVG_ROUND); break;
    case kJoinBevel: nvgLineJoin(mVG, NVG_BEVEL); break;
    default: nvgLineJoin(mVG, NVG_MITER); break;
  }
  nvgMiterLimit(mVG, options.mMiterLimit);
  nvgStrokeWidth(mVG, thickness);
  const float weight = BlendWeight(blend);
  if (pattern.mType == kSolidPattern)
    nvgStrokeColor(mVG, ToNVG(pattern.GetStop0Color(), weight));
  else
    SetGradientPaint(pattern, weight, true);
  nvgPathWinding(mVG, NVG_CCW);
  ApplyBlend(blend);
  nvgStroke(mVG);
  ResetBlend();
  if (!options.mPreserve) nvgBeginPath(mVG);
}

void IGfxNanoVG::PathFill(const IPaintSpec& pattern, const IFillSpec& options,
                          const IBlending* blend) {
  if (!mVG) return;
  nvgPathWinding(mVG, options.mFillRule == kFillEvenOdd ? NVG_CW : NVG_CCW);
  const float weight = BlendWeight(blend);
  if (pattern.mType == kSolidPattern)
    nvgFillColor(mVG, ToNVG(pattern.GetStop0Color(), weight));
  else
    SetGradientPaint(pattern, weight, false);
  ApplyBlend(blend);
  nvgFill(mVG);
  ResetBlend();
  if (!options.mPreserve) nvgBeginPath(mVG);
}

void IGfxNanoVG::PathTransformSetMatrix(const ITransform& m) {
  if (!mVG) return;
  nvgResetTransform(mVG);
  nvgScale(mVG, mDrawScale, mDrawScale);
  if (!mLayers.empty()) {
    const IRect& r = mLayers.back().mBounds;
    nvgTranslate(mVG, -r.L, -r.T);
  }
  nvgTransform(mVG, static_cast<float>(m.xx), static_cast<float>(m.yx), static_cast<float>(m.xy),
               static_cast<float>(m.yy), static_cast<float>(m.tx), static_cast<float>(m.ty));
}

void IGfxNanoVG::PrepareRegion(const IRect& r) {
  if (mVG) nvgScissor(mVG, r.L, r.T, r.W(), r.H());
}

// ---- Shadows.

void IGfxNanoVG::DrawFastDropShadow(const IRect& innerBounds, const IRect& outerBounds,
                                    float xyDrop, float roundness, float blur,
                                    const IBlending* blend) {
  if (!mVG) return;
  // Half-transparent black fading out: a shadow that darkens without hiding what is under it.
  const IArgb shadow(128, 0, 0, 0);
  const float weight = BlendWeight(blend);
  const NVGpaint paint = nvgBoxGradient(
      mVG, innerBounds.L + xyDrop, innerBounds.T + xyDrop, innerBounds.W(), innerBounds.H(),
      roundness, std::max(1.f, blur), ToNVG(shadow, weight), ToNVG(IArgb(0, 0, 0, 0), weight));
  nvgBeginPath(mVG);
  nvgRect(mVG, outerBounds.L, outerBounds.T, outerBounds.W(), outerBounds.H());
  nvgFillPaint(mVG, paint);
  ApplyBlend(blend);
  nvgFill(mVG);
  ResetBlend();
  nvgBeginPath(mVG);
}

// ---- Text.

void IGfxNanoVG::PrepareAndMeasureText(const ITextStyle& style, const char* text, const IRect& r,
                                       float& x, float& y, IRect& out) const {
  nvgFontBlur(mVG, 0.f);
  nvgFontSize(mVG, style.mSize);
  nvgFontFace(mVG, style.mFont);
  int align = 0;
  switch (style.mAlign) {
    case kAlignNear:
      x = r.L;
      align = NVG_ALIGN_LEFT;
      break;
    case kAlignFar:
      x = r.R;
      align = NVG_ALIGN_RIGHT;
      break;
    default:
      x = r.MW();
      align = NVG_ALIGN_CENTER;
      break;
  }
  switch (style.mVAlign) {
    case kVAlignTop:
      y = r.T;
      align |= NVG_ALIGN_TOP;
      break;
    case kVAlignBottom:
      y = r.B;
      align |= NVG_ALIGN_BOTTOM;
      break;
    default:
      y = r.MH();
      align |= NVG_ALIGN_MIDDLE;
      break;
  }
  nvgTextAlign(mVG, align);
  float b[4] = {};
  nvgTextBounds(mVG, x, y, text, nullptr, b);
  out = IRect(b[0], b[1], b[2], b[3]);
}

float IGfxNanoVG::DoMeasureText(const ITextStyle& style, const char* text, IRect& bounds) const {
  if (!mVG || !text) return 0.f;
  float x = 0.f;
  float y = 0.f;
  IRect measured;
  PrepareAndMeasureText(style, text, bounds, x, y, measured);
  if (style.mAngle != 0.f) {
    // The bounding box of the rectangle turned about the text's anchor.
    ITransform t;
    t.Translate(x, y).Rotate(style.mAngle).Translate(-x, -y);
    double px[4] = {measured.L, measured.R, measured.R, measured.L};
    double py[4] = {measured.T, measured.T, measured.B, measured.B};
    for (int i = 0; i < 4; ++i) t.TransformPoint(px[i], py[i]);
    measured = IRect(static_cast<float>(*std::min_element(px, px + 4)),
                     static_cast<float>(*std::min_element(py, py + 4)),
                     static_cast<float>(*std::max_element(px, px + 4)),
                     static_cast<float>(*std::max_element(py, py + 4)));
  }
  bounds = measured;
  return bounds.W();
}

void IGfxNanoVG::DrawText(const ITextStyle& style, const char* str, const IRect& bounds,
                          const IBlending* blend) {
  if (!mVG || !str || !*str) return;
  float x = 0.f;
  float y = 0.f;
  IRect measured;
  PrepareAndMeasureText(style, str, bounds, x, y, measured);
  PathTransformSave();
  if (style.mAngle != 0.f) {
    PathTransformTranslate(x, y);
    PathTransformRotate(style.mAngle);
    PathTransformTranslate(-x, -y);
  }
  nvgFillColor(mVG, ToNVG(style.mFGColor, BlendWeight(blend)));
  ApplyBlend(blend);
  nvgText(mVG, x, y, str, nullptr);
  ResetBlend();
  PathTransformRestore();
}

bool IGfxNanoVG::LoadAPIFont(const char* fontID, const PlatformFont& font) {
  if (!mVG || !fontID || !*fontID) return false;
  SharedFonts& fonts = SharedFonts::Get();
  std::lock_guard<std::mutex> lock(fonts.mFonts.Mutex());
  // Registered in this NanoVG context already: a second registration would add a duplicate.
  if (nvgFindFont(mVG, fontID) != -1) return true;
  if (FontData* cached = fonts.mFonts.Find(fontID, 1.0)) {
    nvgCreateFontMemAtIndex(mVG, fontID, cached->mBytes.data(),
                            static_cast<int>(cached->mBytes.size()), 0, cached->mFaceIdx);
    return true;
  }
  auto data = std::make_unique<FontData>(font.GetFontData());
  if (!data->IsValid()) return false;
  const int id = nvgCreateFontMemAtIndex(mVG, fontID, data->mBytes.data(),
                                         static_cast<int>(data->mBytes.size()), 0, data->mFaceIdx);
  if (id == -1) return false;
  fonts.mFonts.Add(std::move(data), fontID, 1.0);
  return true;
}

std::unique_ptr<PlatformFont> IGfxNanoVG::LoadFontFromMemory(const char*, const void* data,
                                                             int dataSize) {
  if (!data || dataSize <= 0) return nullptr;
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::make_unique<MemoryFont>(std::vector<uint8_t>(bytes, bytes + dataSize));
}

std::unique_ptr<PlatformFont> IGfxNanoVG::LoadFontFromNameOrFile(const char*,
                                                                 const char* fileNameOrResID) {
  std::vector<uint8_t> bytes = LoadResource(fileNameOrResID, "ttf");
  if (bytes.empty()) return nullptr;
  return std::make_unique<MemoryFont>(std::move(bytes));
}

void IGfxNanoVG::CachePlatformFont(const char*, std::unique_ptr<PlatformFont> font) {
  if (font) mPlatformFonts.push_back(std::move(font));
}

}  // namespace gfx
}  // namespace kantele
