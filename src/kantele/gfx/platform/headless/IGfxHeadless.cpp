// The windowless NanoVG context: EGL on Mesa's surfaceless platform with a pbuffer surface as
// the stand-in window. glad's headers come first: they must precede every other GL header.
#include <glad/egl.h>
#include <glad/gl.h>

#include "kantele/gfx/platform/headless/IGfxHeadless.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "kantele/gfx/IGfxEditorDelegate.h"
#include "kantele/gfx/platform/linux/GraphicsLibraries.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include "stb_image_write.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace kantele {
namespace gfx {

namespace {

// The process's EGL display, initialised once and kept for the life of the process: Mesa's
// driver stays loaded, so contexts come and go cheaply.
struct HeadlessDisplay {
  std::mutex mMutex;
  bool mTried = false;
  EGLDisplay mDisplay = EGL_NO_DISPLAY;

  // Static storage, never destroyed and never on the heap: a plug-in module unloaded after
  // an editor was open leaves nothing allocated behind.
  static HeadlessDisplay& Get() {
    alignas(HeadlessDisplay) static unsigned char sStorage[sizeof(HeadlessDisplay)];
    static HeadlessDisplay* sDisplay = new (sStorage) HeadlessDisplay();
    return *sDisplay;
  }

  EGLDisplay Open() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mTried) return mDisplay;
    mTried = true;
    if (!gladLoaderLoadEGL(EGL_NO_DISPLAY)) return EGL_NO_DISPLAY;
    // Before a display is initialised the loader only knows EGL 1.4 and the client
    // extensions: the platform display comes from EGL_EXT_platform_base.
    EGLDisplay display = EGL_NO_DISPLAY;
    if (eglGetPlatformDisplay) {
      display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    } else if (eglGetPlatformDisplayEXT) {
      display =
          eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    if (display == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor)) return EGL_NO_DISPLAY;
    // The entry points of the initialised display's version and extensions.
    if (!gladLoaderLoadEGL(display) || !eglBindAPI(EGL_OPENGL_API)) return EGL_NO_DISPLAY;
    mDisplay = display;
    return mDisplay;
  }
};

// The first configuration with pbuffers, desktop OpenGL, 8-bit RGBA and an 8-bit stencil
// (Mesa's surfaceless display does not filter on the renderable type, so the list is
// walked here). Null when there is none.
EGLConfig ChooseConfig(EGLDisplay display) {
  EGLint n = 0;
  if (!eglGetConfigs(display, nullptr, 0, &n) || n <= 0) return nullptr;
  std::vector<EGLConfig> configs(static_cast<size_t>(n));
  if (!eglGetConfigs(display, configs.data(), n, &n)) return nullptr;
  for (EGLint i = 0; i < n; ++i) {
    auto attrib = [&](EGLint name) {
      EGLint value = 0;
      eglGetConfigAttrib(display, configs[static_cast<size_t>(i)], name, &value);
      return value;
    };
    if ((attrib(EGL_SURFACE_TYPE) & EGL_PBUFFER_BIT) &&
        (attrib(EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) && attrib(EGL_RED_SIZE) == 8 &&
        attrib(EGL_GREEN_SIZE) == 8 && attrib(EGL_BLUE_SIZE) == 8 && attrib(EGL_ALPHA_SIZE) == 8 &&
        attrib(EGL_STENCIL_SIZE) >= 8) {
      return configs[static_cast<size_t>(i)];
    }
  }
  return nullptr;
}

GLADapiproc LoadGL(const char* name) {
  return reinterpret_cast<GLADapiproc>(eglGetProcAddress(name));
}

}  // namespace

IGfxHeadless::IGfxHeadless(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGfxNanoVG(dlg, w, h, fps, scale) {}

IGfxHeadless::~IGfxHeadless() { CloseWindow(); }

bool IGfxHeadless::Available() {
  EGLDisplay display = HeadlessDisplay::Get().Open();
  return display != EGL_NO_DISPLAY && ChooseConfig(display) != nullptr;
}

// ---- Window.

void* IGfxHeadless::OpenWindow(void*) {
  if (mOpen) return this;
  HeadlessDisplay& shared = HeadlessDisplay::Get();
  EGLDisplay display = shared.Open();
  if (display == EGL_NO_DISPLAY) return nullptr;
  EGLConfig config = ChooseConfig(display);
  if (!config) return nullptr;
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  if (context == EGL_NO_CONTEXT) return nullptr;
  mDisplay = display;
  mConfig = config;
  mContext = context;
  if (!CreateSurface()) {
    eglDestroyContext(display, context);
    mContext = nullptr;
    return nullptr;
  }
  MakeGLContextCurrent();
  if (!gladLoadGL(LoadGL)) {
    RestoreGLContext();
    DestroySurface();
    eglDestroyContext(display, context);
    mContext = nullptr;
    return nullptr;
  }
  PinGraphicsLibraries();
  mOpen = true;
  mFrames = 0;
  ViewCreated(mContext);
  // As a windowed platform does once its window exists: the host learns the window's size in
  // device pixels, the controls their scale, and the main framebuffer is made.
  SetScreenScale(mScreenScale);
  if (auto* graphicsDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate))
    graphicsDelegate->RunLayout(*this);
  SetAllControlsDirty();
  RestoreGLContext();
  mDelegate.OnEditorOpened();
  return this;
}

void IGfxHeadless::CloseWindow() {
  if (!mOpen) return;
  MakeGLContextCurrent();
  ViewDestroyed();
  RestoreGLContext();
  mOpen = false;
  DestroySurface();
  if (mContext) {
    EGLDisplay display = static_cast<EGLDisplay>(mDisplay);
    if (eglGetCurrentContext() == static_cast<EGLContext>(mContext))
      eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, static_cast<EGLContext>(mContext));
    mContext = nullptr;
  }
}

bool IGfxHeadless::CreateSurface() {
  const int w = std::max(DevicePixelWidth(), 1);
  const int h = std::max(DevicePixelHeight(), 1);
  const EGLint attribs[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
  EGLSurface surface = eglCreatePbufferSurface(static_cast<EGLDisplay>(mDisplay),
                                               static_cast<EGLConfig>(mConfig), attribs);
  if (surface == EGL_NO_SURFACE) return false;
  mSurface = surface;
  mSurfaceWidth = w;
  mSurfaceHeight = h;
  return true;
}

void IGfxHeadless::DestroySurface() {
  if (!mSurface) return;
  EGLDisplay display = static_cast<EGLDisplay>(mDisplay);
  if (eglGetCurrentSurface(EGL_DRAW) == static_cast<EGLSurface>(mSurface)) {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE,
                   mContext ? static_cast<EGLContext>(mContext) : EGL_NO_CONTEXT);
  }
  eglDestroySurface(display, static_cast<EGLSurface>(mSurface));
  mSurface = nullptr;
  mSurfaceWidth = mSurfaceHeight = 0;
}

void IGfxHeadless::PlatformResize(bool) {
  if (!mOpen) return;
  const int w = std::max(DevicePixelWidth(), 1);
  const int h = std::max(DevicePixelHeight(), 1);
  if (w == mSurfaceWidth && h == mSurfaceHeight) return;
  // A new surface of the new size; the old one goes once it is no longer current.
  void* old = mSurface;
  mSurface = nullptr;
  if (!CreateSurface()) {
    mSurface = old;  // keeps drawing at the old size rather than into nothing
    return;
  }
  EGLDisplay display = static_cast<EGLDisplay>(mDisplay);
  if (eglGetCurrentContext() == static_cast<EGLContext>(mContext)) {
    eglMakeCurrent(display, static_cast<EGLSurface>(mSurface), static_cast<EGLSurface>(mSurface),
                   static_cast<EGLContext>(mContext));
  }
  for (Saved& saved : mSavedContexts) {  // a nested caller restores to the new surface
    if (saved.mDraw == old) saved.mDraw = mSurface;
    if (saved.mRead == old) saved.mRead = mSurface;
  }
  eglDestroySurface(display, static_cast<EGLSurface>(old));
}

void IGfxHeadless::DrawResize() {
  MakeGLContextCurrent();
  IGfxNanoVG::DrawResize();
  RestoreGLContext();
}

void IGfxHeadless::MakeGLContextCurrent() {
  Saved saved{eglGetCurrentDisplay(), eglGetCurrentContext(), eglGetCurrentSurface(EGL_DRAW),
              eglGetCurrentSurface(EGL_READ)};
  mSavedContexts.push_back(saved);
  if (!mContext || !mSurface) return;
  if (saved.mContext != mContext || saved.mDraw != mSurface) {
    eglMakeCurrent(static_cast<EGLDisplay>(mDisplay), static_cast<EGLSurface>(mSurface),
                   static_cast<EGLSurface>(mSurface), static_cast<EGLContext>(mContext));
  }
}

void IGfxHeadless::RestoreGLContext() {
  if (mSavedContexts.empty()) return;
  const Saved saved = mSavedContexts.back();
  mSavedContexts.pop_back();
  if (saved.mContext == eglGetCurrentContext() && saved.mDraw == eglGetCurrentSurface(EGL_DRAW))
    return;
  if (saved.mContext == EGL_NO_CONTEXT || saved.mDisplay == EGL_NO_DISPLAY) {
    if (mDisplay)
      eglMakeCurrent(static_cast<EGLDisplay>(mDisplay), EGL_NO_SURFACE, EGL_NO_SURFACE,
                     EGL_NO_CONTEXT);
    return;
  }
  eglMakeCurrent(static_cast<EGLDisplay>(saved.mDisplay), static_cast<EGLSurface>(saved.mDraw),
                 static_cast<EGLSurface>(saved.mRead), static_cast<EGLContext>(saved.mContext));
}

// ---- Drawing and reading back.

bool IGfxHeadless::Tick(IRectList* drawn) {
  if (!mOpen) return false;
  IRectList rects;
  if (!IsDirty(rects)) return false;
  SetAllControlsClean();
  if (drawn) *drawn = rects;
  MakeGLContextCurrent();
  Draw(rects);
  glFinish();
  RestoreGLContext();
  ++mFrames;
  return true;
}

void IGfxHeadless::DrawAll() {
  SetAllControlsDirty();
  Tick();
}

bool IGfxHeadless::ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) {
  if (!mOpen) return false;
  width = mSurfaceWidth;
  height = mSurfaceHeight;
  const size_t row = static_cast<size_t>(width) * 4u;
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height));
  MakeGLContextCurrent();
  GLint previous = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
  RestoreGLContext();
  rgba.resize(bottomUp.size());
  for (int y = 0; y < height; ++y) {
    std::memcpy(rgba.data() + static_cast<size_t>(y) * row,
                bottomUp.data() + static_cast<size_t>(height - 1 - y) * row, row);
  }
  return true;
}

bool IGfxHeadless::WritePNG(const char* path, std::string& error) {
  std::vector<uint8_t> rgba;
  int w = 0;
  int h = 0;
  if (!path || !*path) {
    error = "no output file given";
    return false;
  }
  if (!ReadPixels(rgba, w, h)) {
    error = "the editor is not open";
    return false;
  }
  if (!stbi_write_png(path, w, h, 4, rgba.data(), w * 4)) {
    error = std::string("cannot write ") + path;
    return false;
  }
  return true;
}

std::vector<uint8_t> IGfxHeadless::EncodePNG(const uint8_t* rgba, int width, int height) {
  if (!rgba || width <= 0 || height <= 0) return {};
  int size = 0;
  unsigned char* png = stbi_write_png_to_mem(rgba, width * 4, width, height, 4, &size);
  if (!png) return {};
  std::vector<uint8_t> bytes(png, png + size);
  STBIW_FREE(png);
  return bytes;
}

// ---- Platform services of a platform without a window.

bool IGfxHeadless::GetCursorPosition(float& x, float& y) const {
  if (!mCursorKnown) return false;
  x = mCursorX;
  y = mCursorY;
  return true;
}

void IGfxHeadless::SetCursorPosition(float x, float y) {
  mCursorKnown = true;
  mCursorX = x;
  mCursorY = y;
}

void IGfxHeadless::SetCursorHidden(bool hide, bool lock) {
  mHiddenCalls.emplace_back(hide, lock);
  mCursorHidden = hide;
  mCursorLocked = hide && lock;
}

void IGfxHeadless::WarpCursor(float x, float y) { SetCursorPosition(x, y); }

ECursor IGfxHeadless::SetCursor(ECursor cursorType) {
  const ECursor previous = mCursor;
  mCursor = cursorType;
  return previous;
}

void IGfxHeadless::CancelTextEntry() { DismissOwnTextEntry(); }

bool IGfxHeadless::ReadClipboardText(std::string& str) {
  str = mClipboard;
  return !mClipboard.empty();
}

bool IGfxHeadless::WriteClipboardText(const char* str) {
  mClipboard = str ? str : "";
  return true;
}

EMsgBoxResult IGfxHeadless::ShowMessageBox(const char*, const char*, EMsgBoxType,
                                           IMsgBoxCompletionHandlerFunc completionHandler) {
  if (completionHandler) completionHandler(kNoResult);
  return kNoResult;
}

void IGfxHeadless::ChooseFile(std::string& fileName, std::string& path, EFileAction, const char*) {
  fileName.clear();
  path.clear();
}

void IGfxHeadless::ChooseFolder(std::string& dir) { dir.clear(); }

bool IGfxHeadless::ChooseColor(IArgb&, const char*, IColorPickerHandlerFunc) { return false; }

bool IGfxHeadless::OpenUrl(const char*, const char*, const char*, const char*) { return false; }

bool IGfxHeadless::RevealInExplorer(const std::string&, bool) { return false; }

std::unique_ptr<PlatformFont> IGfxHeadless::LoadInstalledFont(const char*, const char*,
                                                              ETextStyle) {
  return nullptr;
}

void IGfxHeadless::CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds,
                                         int length, const char* str) {
  mTextEntries.push_back(TextEntryRequest{paramIdx, bounds, length, str ? str : ""});
  OpenOwnTextEntry(text, bounds, str);
}

IPopupMenu* IGfxHeadless::CreateNativePopupMenu(IPopupMenu&, const IRect&, bool& isAsync) {
  isAsync = false;
  return nullptr;
}

}  // namespace gfx
}  // namespace kantele
