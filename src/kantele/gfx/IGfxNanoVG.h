#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "kantele/gfx/IGfx.h"

// NanoVG's handles, declared here so that users of the back end need no OpenGL header.
struct NVGcontext;
struct NVGLUframebuffer;

namespace kantele {
namespace gfx {

/// The drawing half of a graphics context on NanoVG's OpenGL 2 renderer.
///
/// Every frame is drawn into an off-screen framebuffer the size of the window in device
/// pixels (the main framebuffer), which keeps its pixels between frames, so a frame redraws
/// only the dirty areas; the end of the frame copies the whole framebuffer to the window's
/// own framebuffer. Bitmaps become NanoVG images held in this context's own cache (NanoVG
/// images belong to one NanoVG context); fonts are registered from a process-wide cache of
/// font bytes shared by every context. Off-screen layers are NanoVG framebuffers.
///
/// A platform derives from it: it makes the OpenGL context, makes it current around every
/// call that touches OpenGL (frames, view creation and destruction, resizes, loading), and
/// calls `ViewCreated` once the context exists and `ViewDestroyed` before it goes.
///
/// [main-thread] Drawing runs on the editor's thread. The bitmap cache has its own lock, the
/// deferred framebuffer deletions the back end's lock, and the font cache a process-wide lock;
/// no operation holds two of them at once.
class IGfxNanoVG : public IGfx {
 public:
  /// A NanoVG image: decoded artwork, or the colour image of an off-screen framebuffer.
  class Bitmap : public APIBitmap {
   public:
    /// Takes `image` (a NanoVG image of `vg`) with its size from NanoVG, draw scale 1 and the
    /// integer scale `scale`. Image 0 (a failed decode) gives a bitmap of size 0.
    static std::unique_ptr<Bitmap> FromImage(IGfxNanoVG& owner, NVGcontext* vg, int image,
                                             int scale);
    /// Takes an off-screen framebuffer of `vg` (null when it could not be made: image 0).
    static std::unique_ptr<Bitmap> FromFramebuffer(IGfxNanoVG& owner, NVGcontext* vg,
                                                   NVGLUframebuffer* fb, int width, int height,
                                                   int scale, float drawScale);
    /// Deletes the framebuffer through the owner (deferred during a frame), or the image.
    ~Bitmap() override;

    NVGLUframebuffer* GetFramebuffer() const { return mFramebuffer; }

   private:
    Bitmap(IGfxNanoVG& owner, NVGcontext* vg, NVGLUframebuffer* fb, int image, int width,
           int height, int scale, float drawScale);

    IGfxNanoVG* mOwner;
    NVGcontext* mVG;
    NVGLUframebuffer* mFramebuffer;
    bool mShared = false;
  };

  /// Takes a reference on the process-wide font cache.
  IGfxNanoVG(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  /// Releases the font cache reference (the last context empties it). The platform must have
  /// destroyed the view already; what NanoVG still holds then is left to the OpenGL context.
  ~IGfxNanoVG() override;

  // ---- Frame and view.
  void BeginFrame() override;
  /// Makes the NanoVG context (OpenGL 2, antialiased). On failure nothing is drawn.
  void ViewCreated(void* context) override;
  /// Empties the bitmap cache, deletes the main framebuffer and the NanoVG context.
  void ViewDestroyed() override;
  /// Copies the main framebuffer to the window and deletes deferred framebuffers.
  void EndFrame() override;

  void DrawBitmap(const IBitmapHandle& bitmap, const IRect& dest, int srcX, int srcY,
                  const IBlending* blend = nullptr) override;
  float DoMeasureText(const ITextStyle& style, const char* text, IRect& bounds) const override;
  const char* GetDrawingAPIStr() override { return "NanoVG | GL2"; }
  /// NanoVG cannot read one pixel back cheaply: always opaque black.
  IArgb GetPoint(int x, int y) override;
  /// png, jpg and jpeg in any case.
  bool BitmapExtSupported(const char* ext) override;
  void DrawFastDropShadow(const IRect& innerBounds, const IRect& outerBounds, float xyDrop = 5.f,
                          float roundness = 0.f, float blur = 10.f,
                          const IBlending* blend = nullptr) override;

  void PathClear() override;
  void PathClose() override;
  void UpdateLayer() override;
  void PathArc(float cx, float cy, float r, float a1, float a2, bool clockwise = true) override;
  void PathMoveTo(float x, float y) override;
  void PathLineTo(float x, float y) override;
  void PathSetWinding(bool clockwise) override;
  void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) override;
  /// The layer's pixels as RGBA rows, bottom row first (OpenGL's order).
  void GetLayerBitmapData(const APIBitmap& bitmap, std::vector<uint8_t>& data) override;
  void PathStroke(const IPaintSpec& pattern, float thickness,
                  const IStrokeSpec& options = IStrokeSpec(),
                  const IBlending* blend = nullptr) override;
  void PathFill(const IPaintSpec& pattern, const IFillSpec& options = IFillSpec(),
                const IBlending* blend = nullptr) override;
  void PathTransformSetMatrix(const ITransform& matrix) override;
  void PrepareRegion(const IRect& region) override;

  void DrawResize() override;

  /// Loads into this context's own cache (NanoVG images belong to one context).
  IBitmapHandle LoadBitmap(const char* name, int nStates = 1, bool framesAreHorizontal = false,
                           int targetScale = 0) override;
  using IGfx::LoadBitmap;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* name, const void* data, int dataSize,
                                           int scale) override;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* resolvedName, int scale,
                                           EResourceLocation location, const char* ext) override;
  std::unique_ptr<APIBitmap> CreateAPIBitmap(int width, int height, int scale,
                                             double drawScale) override;
  bool LoadAPIFont(const char* fontID, const PlatformFont& font) override;
  /// Fonts as NanoVG reads them: the bytes of a TrueType or OpenType file, from memory, or from
  /// a module resource or file (type "ttf"). Null for empty data or a name that finds nothing.
  /// Platforms with a font service of their own override these.
  std::unique_ptr<PlatformFont> LoadFontFromMemory(const char* fontID, const void* data,
                                                   int dataSize) override;
  std::unique_ptr<PlatformFont> LoadFontFromNameOrFile(const char* fontID,
                                                       const char* fileNameOrResID) override;
  /// Keeps the font for the life of this context (NanoVG reads its bytes while drawing).
  void CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) override;
  void DrawText(const ITextStyle& style, const char* str, const IRect& bounds,
                const IBlending* blend = nullptr) override;

  // ---- Back-end specifics.
  /// The NanoVG context; null before the view exists and after it is gone.
  NVGcontext* GetNVGContext() const { return mVG; }
  /// True between BeginFrame and EndFrame.
  bool InFrame() const { return mInFrame; }
  /// Bitmaps in this context's cache.
  int BitmapCacheSize() const;
  /// Framebuffers waiting for the end of the frame.
  int DeferredFramebufferCount() const;
  /// Entries in the process-wide font cache. [any-thread] Locks the font lock.
  static int SharedFontCacheSize();

 protected:
  /// This context's own cache: bitmap loading, rescaling, retaining and releasing use it.
  KeyedCache<APIBitmap>& BitmapCache() override;
  /// Deletes `fb` now, or at the end of the frame when a frame is being drawn.
  void DeleteFramebuffer(NVGLUframebuffer* fb);
  /// Deletes every deferred framebuffer, last pushed first.
  void ClearFramebufferStack();
  /// Window size (UI size x draw scale, truncated) and device size (window x screen scale).
  int WindowPixelWidth() const;
  int WindowPixelHeight() const;
  int DevicePixelWidth() const;
  int DevicePixelHeight() const;

 private:
  // Sets the NanoVG composite for `blend` (reset to source-over after each draw).
  void ApplyBlend(const IBlending* blend);
  void ResetBlend();
  // Font, size and alignment for `style`; the anchor in `x`, `y` and the bounds in `out`.
  void PrepareAndMeasureText(const ITextStyle& style, const char* text, const IRect& r, float& x,
                             float& y, IRect& out) const;
  // A paint for a non-solid pattern, with alpha scaled by `weight`.
  void SetGradientPaint(const IPaintSpec& pattern, float weight, bool stroke);
  void BindMainFramebuffer();

  NVGcontext* mVG = nullptr;
  std::vector<std::unique_ptr<PlatformFont>> mPlatformFonts;
  NVGLUframebuffer* mMainFramebuffer = nullptr;
  bool mInFrame = false;
  KeyedCache<APIBitmap> mBitmapCache;
  mutable std::mutex mFBOMutex;
  std::vector<NVGLUframebuffer*> mFBOStack;
};

}  // namespace gfx
}  // namespace kantele
