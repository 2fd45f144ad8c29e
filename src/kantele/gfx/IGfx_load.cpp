// Loading bitmaps, SVG documents, fonts and raw resources for a graphics context.

#include <algorithm>
#include <cmath>

#include "kantele/gfx/IGfx.h"
#include "kantele/gfx/IGfx_shared.h"

namespace kantele {
namespace gfx {

int IGfx::ResolveTargetScale(int targetScale) const {
  if (targetScale == 0) {
    const float screen = std::isfinite(mScreenScale) ? mScreenScale : 1.f;
    targetScale = static_cast<int>(std::ceil(std::clamp(screen, 1.f, 3.f)));
  }
  return std::clamp(targetScale, 1, 3);
}

APIBitmap* IGfx::FindCachedBitmap(const KeyedCache<APIBitmap>& cache, const char* name,
                                  int targetScale, int& sourceScale) {
  for (int source = targetScale; source > 0; source = NextSourceScale(source, targetScale)) {
    if (APIBitmap* bitmap = cache.Find(name, static_cast<double>(source))) {
      sourceScale = source;
      return bitmap;
    }
  }
  return nullptr;
}

IBitmapHandle IGfx::LoadBitmapWithCache(KeyedCache<APIBitmap>& cache, const char* name, int nStates,
                                        bool framesAreHorizontal, int targetScale) {
  if (!name || !*name) return IBitmapHandle();
  targetScale = ResolveTargetScale(targetScale);
  std::lock_guard<std::mutex> lock(cache.Mutex());
  APIBitmap* bitmap = cache.Find(name, static_cast<double>(targetScale));
  if (!bitmap) {
    const std::string ext = FileExtension(name);
    std::string resolved;
    int sourceScale = targetScale;
    const EResourceLocation location =
        FindImage(name, ext.c_str(), resolved, targetScale, sourceScale, GetModuleHandle());
    if (location == kNotFound || !IsSupportedImageExtension(ext.c_str())) return IBitmapHandle();
    // Cached under the scale it was found at. A later request for a scale without artwork of
    // its own finds the same file again and reuses that bitmap instead of decoding it twice.
    bitmap = cache.Find(name, static_cast<double>(sourceScale));
    if (!bitmap) {
      std::unique_ptr<APIBitmap> made =
          LoadAPIBitmap(resolved.c_str(), sourceScale, location, ext.c_str());
      if (!made) return IBitmapHandle();
      bitmap = cache.Add(std::move(made), name, static_cast<double>(sourceScale));
    }
  }
  return IBitmapHandle(bitmap, name, nStates, framesAreHorizontal);
}

IBitmapHandle IGfx::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal,
                               int targetScale) {
  if (!name || !*name) return IBitmapHandle();
  targetScale = ResolveTargetScale(targetScale);
  KeyedCache<APIBitmap>& cache = BitmapCache();
  IBitmapHandle found;
  int sourceScale = targetScale;
  {
    std::lock_guard<std::mutex> lock(cache.Mutex());
    if (APIBitmap* hit = cache.Find(name, static_cast<double>(targetScale)))
      return IBitmapHandle(hit, name, nStates, framesAreHorizontal);

    const std::string ext = FileExtension(name);
    std::string resolved;
    const EResourceLocation location =
        FindImage(name, ext.c_str(), resolved, targetScale, sourceScale, GetModuleHandle());
    if (location == kNotFound || !IsSupportedImageExtension(ext.c_str())) return IBitmapHandle();

    APIBitmap* bitmap = cache.Find(name, static_cast<double>(sourceScale));
    if (!bitmap) {
      std::unique_ptr<APIBitmap> made =
          LoadAPIBitmap(resolved.c_str(), sourceScale, location, ext.c_str());
      if (!made) return IBitmapHandle();
      bitmap = cache.Add(std::move(made), name, static_cast<double>(sourceScale));
    }
    found = IBitmapHandle(bitmap, name, nStates, framesAreHorizontal);
  }
  if (sourceScale == targetScale) return found;
  // Drawn again at the wanted scale (outside the lock: the rescale caches its result).
  return RescaleBitmap(found, name, targetScale);
}

IBitmapHandle IGfx::LoadBitmap(const char* name, const void* data, int dataSize, int nStates,
                               bool framesAreHorizontal, int targetScale) {
  if (!name || !data || dataSize <= 0) return IBitmapHandle();
  targetScale = ResolveTargetScale(targetScale);
  KeyedCache<APIBitmap>& cache = BitmapCache();
  std::lock_guard<std::mutex> lock(cache.Mutex());
  APIBitmap* bitmap = cache.Find(name, static_cast<double>(targetScale));
  if (!bitmap) {
    std::unique_ptr<APIBitmap> made = LoadAPIBitmap(name, data, dataSize, targetScale);
    if (!made) return IBitmapHandle();
    bitmap = cache.Add(std::move(made), name, static_cast<double>(targetScale));
  }
  return IBitmapHandle(bitmap, name, nStates, framesAreHorizontal);
}

IBitmapHandle IGfx::RescaleBitmap(const IBitmapHandle& inBitmap, const char* name, int scale) {
  if (!inBitmap.IsValid() || !name) return IBitmapHandle();
  const float savedScreenScale = mScreenScale;
  const float savedDrawScale = mDrawScale;
  const float sourceDrawScale =
      inBitmap.GetAPIBitmap()->GetDrawScale() > 0.f ? inBitmap.GetAPIBitmap()->GetDrawScale() : 1.f;
  mScreenScale = static_cast<float>(std::clamp(scale, 1, 3));
  mDrawScale = sourceDrawScale;
  const float w = static_cast<float>(inBitmap.W()) / sourceDrawScale;
  const float h = static_cast<float>(inBitmap.H()) / sourceDrawScale;
  StartLayer(IRect(0.f, 0.f, w, h));
  DrawBitmap(inBitmap, IRect(0.f, 0.f, w, h), 0, 0, nullptr);
  std::unique_ptr<APIBitmap> made = EndLayer();
  mScreenScale = savedScreenScale;
  mDrawScale = savedDrawScale;
  if (!made) return IBitmapHandle();

  KeyedCache<APIBitmap>& cache = BitmapCache();
  std::lock_guard<std::mutex> lock(cache.Mutex());
  const double madeScale = static_cast<double>(made->GetScale());
  APIBitmap* bitmap = cache.Add(std::move(made), name, madeScale);
  return IBitmapHandle(bitmap, name, inBitmap.N(), inBitmap.GetFramesAreHorizontal());
}

IBitmapHandle IGfx::RetainBitmap(std::unique_ptr<APIBitmap> bitmap, const char* cacheName) {
  if (!bitmap || !cacheName) return IBitmapHandle();
  KeyedCache<APIBitmap>& cache = BitmapCache();
  std::lock_guard<std::mutex> lock(cache.Mutex());
  const double scale = static_cast<double>(bitmap->GetScale());
  return IBitmapHandle(cache.Add(std::move(bitmap), cacheName, scale), cacheName);
}

void IGfx::ReleaseBitmap(const IBitmapHandle& bitmap) {
  if (!bitmap.IsValid()) return;
  KeyedCache<APIBitmap>& cache = BitmapCache();
  std::lock_guard<std::mutex> lock(cache.Mutex());
  cache.Remove(bitmap.GetAPIBitmap());
}

KeyedCache<APIBitmap>& IGfx::BitmapCache() { return SharedCaches::Get().mBitmaps; }

std::unique_ptr<SVGDocument> IGfx::ParseSVG(const void* data, int dataSize) {
  auto doc = std::make_unique<SVGDocument>();
  if (data && dataSize > 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    doc->mSource.assign(bytes, bytes + dataSize);
  }
  return doc;
}

ISVG IGfx::LoadSVG(const char* name, const void* data, int dataSize) {
  if (!name || !data || dataSize <= 0) return ISVG();
  KeyedCache<SVGDocument>& cache = SharedCaches::Get().mSVGs;
  std::lock_guard<std::mutex> lock(cache.Mutex());
  if (SVGDocument* doc = cache.Find(name, 1.0)) return ISVG(doc);
  std::unique_ptr<SVGDocument> parsed = ParseSVG(data, dataSize);
  if (!parsed) return ISVG();
  return ISVG(cache.Add(std::move(parsed), name, 1.0));
}

ISVG IGfx::LoadSVG(const char* name) {
  if (!name || !*name) return ISVG();
  KeyedCache<SVGDocument>& cache = SharedCaches::Get().mSVGs;
  std::lock_guard<std::mutex> lock(cache.Mutex());
  if (SVGDocument* doc = cache.Find(name, 1.0)) return ISVG(doc);
  const std::vector<uint8_t> bytes = LoadResource(name, "svg");
  if (bytes.empty()) return ISVG();
  std::unique_ptr<SVGDocument> parsed = ParseSVG(bytes.data(), static_cast<int>(bytes.size()));
  if (!parsed) return ISVG();
  return ISVG(cache.Add(std::move(parsed), name, 1.0));
}

std::vector<uint8_t> IGfx::LoadResource(const char* name, const char* type) {
  return gfx::LoadResource(name, type, GetModuleHandle());
}

bool IGfx::LoadFont(const char* fontID, const char* fontName, ETextStyle style) {
  if (!fontID || !*fontID || !fontName) return false;
  std::unique_ptr<PlatformFont> font = LoadInstalledFont(fontID, fontName, style);
  if (!font || !LoadAPIFont(fontID, *font)) return false;
  CachePlatformFont(fontID, std::move(font));
  return true;
}

bool IGfx::LoadFont(const char* fontID, const char* fileNameOrResID) {
  if (!fontID || !*fontID || !fileNameOrResID) return false;
  std::unique_ptr<PlatformFont> font = LoadFontFromNameOrFile(fontID, fileNameOrResID);
  if (!font || !LoadAPIFont(fontID, *font)) return false;
  CachePlatformFont(fontID, std::move(font));
  return true;
}

}  // namespace gfx
}  // namespace kantele
