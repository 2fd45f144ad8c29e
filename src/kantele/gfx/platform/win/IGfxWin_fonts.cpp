// The Windows editor's platform fonts: installed fonts by family name, fonts from memory, files
// and the module's resources, the font data handed to the drawing back end, and the two
// process-wide caches (fonts added to the system from memory, GDI fonts for the text entry box).
#include "kantele/gfx/platform/win/IGfxWin.h"

#include <climits>
#include <mutex>
#include <string>

#include "kantele/gfx/FontInfo.h"
#include "kantele/gfx/KeyedCache.h"
#include "kantele/gfx/Resources.h"
#include "kantele/gfx/platform/win/WideText_win.h"

namespace kantele {
namespace gfx {

namespace {

// ---- Process-wide font caches.

// A font added to the system from memory; removed again with its entry.
struct LoadedFont {
  HANDLE mHandle;
  explicit LoadedFont(HANDLE handle) : mHandle(handle) {}
  ~LoadedFont() { RemoveFontMemResourceEx(mHandle); }
  LoadedFont(const LoadedFont&) = delete;
  LoadedFont& operator=(const LoadedFont&) = delete;
};

// A GDI font owned by the font-handle cache.
struct CachedFontHandle {
  HFONT mFont;
  explicit CachedFontHandle(HFONT font) : mFont(font) {}
  ~CachedFontHandle() { DeleteObject(mFont); }
  CachedFontHandle(const CachedFontHandle&) = delete;
  CachedFontHandle& operator=(const CachedFontHandle&) = delete;
};

// A keyed cache with the number of living editors that use it, both guarded by the cache's
// own lock.
template <class T>
struct SharedFontCache {
  KeyedCache<T> mCache;
  int mUsers = 0;

  void Acquire() {
    std::lock_guard<std::mutex> lock(mCache.Mutex());
    ++mUsers;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mCache.Mutex());
    if (mUsers > 0 && --mUsers == 0) mCache.Clear();
  }
};

SharedFontCache<LoadedFont>& LoadedFonts() {
  static SharedFontCache<LoadedFont> cache;
  return cache;
}

SharedFontCache<CachedFontHandle>& FontHandles() {
  static SharedFontCache<CachedFontHandle> cache;
  return cache;
}

// ---- GDI fonts.

int CALLBACK NoteFamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one match is enough
}

// A GDI font for the family `family` (UTF-8). With `mustBeInstalled` the family must be among
// the installed ones; in every case the face the system actually picks must carry exactly that
// name, so the system's substitution of another face gives no font. A family name that does
// not fit the 31 units of a font description gives none either.
HFONT CreateGdiFont(const char* family, int weight, bool italic, bool underline,
                    bool mustBeInstalled) {
  LOGFONTW lf = {};
  lf.lfWeight = weight;
  lf.lfItalic = italic ? TRUE : FALSE;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::wstring name = Utf8ToWide(family);
  if (name.empty() || !CopyWideIfFits(name, lf.lfFaceName, LF_FACESIZE)) return nullptr;

  HDC dc = GetDC(nullptr);
  if (!dc) return nullptr;
  HFONT font = nullptr;
  bool found = true;
  if (mustBeInstalled) {
    found = false;
    EnumFontFamiliesExW(dc, &lf, &NoteFamilyFound, reinterpret_cast<LPARAM>(&found), 0);
  }
  if (found) font = CreateFontIndirectW(&lf);
  if (font) {
    const HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[64] = {};
    const int n = GetTextFaceW(dc, 64, face);
    SelectObject(dc, previous);
    if (n <= 0 || name != face) {
      DeleteObject(font);
      font = nullptr;
    }
  }
  ReleaseDC(nullptr, dc);
  return font;
}

}  // namespace

// ---- Font cache references.

void IGfxWin::AcquireFontCaches() {
  LoadedFonts().Acquire();
  FontHandles().Acquire();
}

void IGfxWin::ReleaseFontCaches() {
  LoadedFonts().Release();
  FontHandles().Release();
}

int IGfxWin::FontCacheUsers() {
  SharedFontCache<LoadedFont>& fonts = LoadedFonts();
  std::lock_guard<std::mutex> lock(fonts.mCache.Mutex());
  return fonts.mUsers;
}

int IGfxWin::LoadedFontCacheSize() {
  SharedFontCache<LoadedFont>& fonts = LoadedFonts();
  std::lock_guard<std::mutex> lock(fonts.mCache.Mutex());
  return fonts.mCache.Size();
}

int IGfxWin::FontHandleCacheSize() {
  SharedFontCache<CachedFontHandle>& handles = FontHandles();
  std::lock_guard<std::mutex> lock(handles.mCache.Mutex());
  return handles.mCache.Size();
}

HFONT IGfxWin::CreateTextEntryFont(const char* fontID, LONG height) {
  SharedFontCache<CachedFontHandle>& handles = FontHandles();
  std::lock_guard<std::mutex> lock(handles.mCache.Mutex());
  LOGFONTW lf;
  const CachedFontHandle* cached = handles.mCache.Find(fontID, 1.0);
  if (!cached || GetObjectW(cached->mFont, sizeof(lf), &lf) != sizeof(lf)) return nullptr;
  lf.lfHeight = height;
  return CreateFontIndirectW(&lf);
}

// ---- Platform fonts.

IGfxWin::Font::~Font() {
  if (mFont) DeleteObject(mFont);
}

FontData IGfxWin::Font::GetFontData() const {
  FontData data;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return data;
  const HGDIOBJ previous = SelectObject(dc, mFont);

  constexpr DWORD kCollectionTag = 0x66637474;  // 'ttcf' as the system reads table tags
  const DWORD whole = ::GetFontData(dc, 0, 0, nullptr, 0);
  if (whole != GDI_ERROR && whole > 0) {
    // The collection holding the face when there is one, else the face's own file. Each read
    // asks for exactly the size the system reported for it.
    DWORD tag = kCollectionTag;
    DWORD size = ::GetFontData(dc, tag, 0, nullptr, 0);
    if (size == GDI_ERROR || size == 0) {
      tag = 0;
      size = whole;
    }
    data.mBytes.resize(size);
    if (::GetFontData(dc, tag, 0, data.mBytes.data(), size) != size) {
      data.mBytes.clear();
    }
  }

  if (!data.mBytes.empty()) {
    if (mStyleName.empty()) {
      data.mFaceIdx = 0;
    } else {
      for (int face = 0; face < INT_MAX; ++face) {
        const FontInfo info = ReadFontInfo(data.mBytes.data(), data.mBytes.size(), face);
        if (!info.IsFont()) break;
        if (!info.mStyle.empty() && info.mStyle == mStyleName) {
          data.mFaceIdx = face;
          break;
        }
      }
    }
  }

  SelectObject(dc, previous);
  DeleteDC(dc);
  return data;
}

std::unique_ptr<PlatformFont> IGfxWin::LoadInstalledFont(const char*, const char* fontName,
                                                         ETextStyle style) {
  if (!fontName) return nullptr;
  std::lock_guard<std::mutex> lock(LoadedFonts().mCache.Mutex());
  HFONT font = CreateGdiFont(fontName, style == kTextStyleBold ? FW_BOLD : FW_NORMAL,
                             style == kTextStyleItalic, false, true);
  if (!font) return nullptr;
  const char* styleName = style == kTextStyleBold     ? "Bold"
                          : style == kTextStyleItalic ? "Italic"
                                                      : "Regular";
  return std::make_unique<Font>(font, true, styleName);
}

std::unique_ptr<PlatformFont> IGfxWin::LoadFontFromMemory(const char* fontID, const void* data,
                                                          int dataSize) {
  if (!data || dataSize <= 0) return nullptr;
  SharedFontCache<LoadedFont>& fonts = LoadedFonts();
  std::lock_guard<std::mutex> lock(fonts.mCache.Mutex());

  DWORD added = 0;
  HANDLE handle =
      AddFontMemResourceEx(const_cast<void*>(data), static_cast<DWORD>(dataSize), nullptr, &added);
  if (!handle) return nullptr;

  const FontInfo info =
      ReadFontInfo(static_cast<const uint8_t*>(data), static_cast<size_t>(dataSize), 0);
  HFONT font = nullptr;
  if (info.IsFont()) {
    font = CreateGdiFont(info.mFamily.c_str(), (info.mMacStyle & 1) ? FW_BOLD : FW_NORMAL,
                         (info.mMacStyle & 2) != 0, (info.mMacStyle & 4) != 0, false);
  }
  if (!font) {
    RemoveFontMemResourceEx(handle);
    return nullptr;
  }
  // One added copy per identifier: loading it again (every time an editor opens) makes its
  // font from the copy already added instead of adding the same bytes once more.
  if (fonts.mCache.Find(fontID, 1.0)) {
    RemoveFontMemResourceEx(handle);
  } else {
    fonts.mCache.Add(std::make_unique<LoadedFont>(handle), fontID, 1.0);
  }
  return std::make_unique<Font>(font, false, std::string());
}

std::unique_ptr<PlatformFont> IGfxWin::LoadFontFromNameOrFile(const char* fontID,
                                                              const char* fileNameOrResID) {
  std::string resolved;
  const ModuleHandle module = GetModuleHandle();
  switch (LocateResource(fileNameOrResID, "ttf", resolved, module)) {
    case kAbsolutePath: {
      HANDLE file = CreateFileA(resolved.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return nullptr;
      std::unique_ptr<PlatformFont> font;
      LARGE_INTEGER size = {};
      // Files of more bytes than the system's font loader takes (an int's worth) are refused.
      if (GetFileSizeEx(file, &size) && size.QuadPart >= kMinResourceSize &&
          size.QuadPart <= kMaxResourceFileSize) {
        if (HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
          if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
            font = LoadFontFromMemory(fontID, view, static_cast<int>(size.QuadPart));
            UnmapViewOfFile(view);
          }
          CloseHandle(mapping);
        }
      }
      CloseHandle(file);
      return font;
    }
    case kInModule: {
      // Resources shorter than 8 bytes count as none.
      int size = 0;
      const uint8_t* bytes = ReadModuleResource(resolved.c_str(), "ttf", size, module);
      return LoadFontFromMemory(fontID, bytes, size);
    }
    default: return nullptr;
  }
}

void IGfxWin::CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) {
  if (!fontID || !font) return;
  SharedFontCache<CachedFontHandle>& handles = FontHandles();
  std::lock_guard<std::mutex> lock(handles.mCache.Mutex());
  if (handles.mCache.Find(fontID, 1.0)) return;
  LOGFONTW lf;
  const auto source = static_cast<HFONT>(font->GetFontHandle());
  if (!source || GetObjectW(source, sizeof(lf), &lf) != sizeof(lf)) return;
  if (HFONT copy = CreateFontIndirectW(&lf)) {
    handles.mCache.Add(std::make_unique<CachedFontHandle>(copy), fontID, 1.0);
  }
}

}  // namespace gfx
}  // namespace kantele
