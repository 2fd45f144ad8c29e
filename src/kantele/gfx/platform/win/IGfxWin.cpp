// The Windows editor's window layer: the child window, its class and its own messages, its WGL
// context, the frame ticks (from the frame pacer), painting and size. Input is in
// IGfxWin_input.cpp, the native services in IGfxWin_services.cpp, the platform fonts in
// IGfxWin_fonts.cpp.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// glad's headers come first: they must precede every other OpenGL header.
#include <glad/gl.h>
#include <glad/wgl.h>

#include "kantele/gfx/platform/win/IGfxWin.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>

#include "kantele/gfx/IGfxEditorDelegate.h"
#include "kantele/gfx/platform/win/SystemExports_win.h"

namespace kantele {
namespace gfx {

namespace {

constexpr char kWndClassName[] = "KanteleWndClass";
constexpr int kDigitizerReady = 0x40;

// The window class is shared by every editor of the process; the UI thread alone counts its
// users. The class is registered for the module it was first registered with, so it is
// unregistered with that one too.
int sWndClassUsers = 0;
HINSTANCE sWndClassModule = nullptr;

using GetDpiForWindowFunc = UINT(WINAPI*)(HWND);
using WglGetProcAddressFunc = PROC(WINAPI*)(LPCSTR);

// The module this code lives in: the window class's owner when no module handle was given.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&sWndClassUsers), &module);
  return module;
}

// Takes a reference on the window class, registering it for `module` for the first user.
void AcquireWindowClass(HINSTANCE module, WNDPROC proc) {
  if (sWndClassUsers++ > 0) return;
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS | CS_OWNDC;
  wc.lpfnWndProc = proc;
  wc.hInstance = module;
  wc.lpszClassName = kWndClassName;
  RegisterClassA(&wc);
  sWndClassModule = module;
}

// Drops a reference on the window class; the last one unregisters it. True when it did.
bool ReleaseWindowClass() {
  if (sWndClassUsers <= 0 || --sWndClassUsers > 0) return false;
  UnregisterClassA(kWndClassName, sWndClassModule);
  sWndClassModule = nullptr;
  return true;
}

// OpenGL entry points: wglGetProcAddress knows the extensions and everything above 1.1; the
// 1.1 functions are exports of opengl32.dll itself (for those wglGetProcAddress answers null,
// or one of the small values some drivers return).
struct GLLoader {
  HMODULE mLibrary;
  WglGetProcAddressFunc mGetProcAddress;
};

GLADapiproc LoadGLFunction(void* userptr, const char* name) {
  const auto* loader = static_cast<const GLLoader*>(userptr);
  PROC proc = loader->mGetProcAddress ? loader->mGetProcAddress(name) : nullptr;
  const intptr_t value = reinterpret_cast<intptr_t>(proc);
  if (value >= -1 && value <= 3) proc = GetProcAddress(loader->mLibrary, name);
  return reinterpret_cast<GLADapiproc>(reinterpret_cast<void*>(proc));
}

bool LoadGL() {
  HMODULE library = LoadLibraryW(L"opengl32.dll");
  if (!library) return false;
  GLLoader loader{library, LookupExport<WglGetProcAddressFunc>(library, "wglGetProcAddress")};
  const bool loaded = loader.mGetProcAddress && gladLoadGLUserPtr(LoadGLFunction, &loader) != 0;
  FreeLibrary(library);  // the module stays loaded: this library imports it
  return loaded;
}

RECT ToDeviceRect(const IRect& r, float scale) {
  RECT d;
  d.left = static_cast<LONG>(std::floor(r.L * scale));
  d.top = static_cast<LONG>(std::floor(r.T * scale));
  d.right = static_cast<LONG>(std::ceil(r.R * scale));
  d.bottom = static_cast<LONG>(std::ceil(r.B * scale));
  return d;
}

IRect ToEditorRect(const RECT& r, float scale) {
  return IRect(std::floor(static_cast<float>(r.left) / scale),
               std::floor(static_cast<float>(r.top) / scale),
               std::ceil(static_cast<float>(r.right) / scale),
               std::ceil(static_cast<float>(r.bottom) / scale));
}

// The update region's rectangles in editor units at `scale`: each of a complex region (when
// they fit a fixed buffer), else the region's bounding box.
void ListUpdateRects(HRGN region, int type, float scale, IRectList& rects) {
  if (type == COMPLEXREGION) {
    alignas(RGNDATA) unsigned char buffer[1024];
    auto* data = reinterpret_cast<RGNDATA*>(buffer);
    const DWORD capacity = (sizeof(buffer) - sizeof(RGNDATAHEADER)) / sizeof(RECT);
    if (GetRegionData(region, sizeof(buffer), data) != 0 && data->rdh.nCount <= capacity) {
      const auto* r = reinterpret_cast<const RECT*>(data->Buffer);
      for (DWORD i = 0; i < data->rdh.nCount; ++i) rects.Add(ToEditorRect(r[i], scale));
      return;
    }
  }
  RECT box = {};
  GetRgnBox(region, &box);
  rects.Add(ToEditorRect(box, scale));
}

}  // namespace

// ---- Construction.

IGfxWin::IGfxWin(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGfxNanoVG(dlg, w, h, fps, scale) {
  mPID = GetCurrentProcessId();
  AcquireFontCaches();
}

IGfxWin::~IGfxWin() {
  CloseWindow();
  ReleaseFontCaches();
}

// ---- Process-wide values.

float IGfxWin::DpiScale(HWND wnd) {
  // Looked up once: the function exists from Windows 10 (1607) on.
  static const GetDpiForWindowFunc sGetDpiForWindow =
      LookupExport<GetDpiForWindowFunc>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (!sGetDpiForWindow || !wnd) return 1.f;
  const UINT dpi = sGetDpiForWindow(wnd);
  if (dpi == 0 || dpi == USER_DEFAULT_SCREEN_DPI) return 1.f;  // 0: not a window
  return static_cast<float>(dpi) / static_cast<float>(USER_DEFAULT_SCREEN_DPI);
}

int IGfxWin::WindowClassUsers() { return sWndClassUsers; }

bool IGfxWin::SupportsTouch() const {
  return (GetSystemMetrics(SM_DIGITIZER) & kDigitizerReady) != 0;
}

// ---- Opening and closing.

void* IGfxWin::OpenWindow(void* parent) {
  HWND parentWnd = static_cast<HWND>(parent);
  mParentWnd = parentWnd;
  // A 150 % display opens at the plain size; the first frame tick follows the exact scale.
  const int screenScale = std::max(1, static_cast<int>(DpiScale(parentWnd)));

  // The size at the scale the window opens with (the context takes that scale once the view
  // exists). A whole-number scale times a size far below 2^24 is exact in float.
  int x = 0;
  int y = 0;
  int w = WindowWidthAt(static_cast<float>(screenScale));
  int h = WindowHeightAt(static_cast<float>(screenScale));
  if (mWnd) {
    // Reopened in place: the new window takes the old one's place and size (unless the old
    // window went with the host's).
    RECT parentRect = {};
    RECT wndRect = {};
    const bool placed = GetWindowRect(parentWnd, &parentRect) && GetWindowRect(mWnd, &wndRect) &&
                        wndRect.right > wndRect.left && wndRect.bottom > wndRect.top;
    CloseWindow();
    if (placed) {
      x = wndRect.left - parentRect.left;
      y = wndRect.top - parentRect.top;
      w = wndRect.right - wndRect.left;
      h = wndRect.bottom - wndRect.top;
    }
  }

  mWnd = CreateChildWindow(parentWnd, x, y, w, h);
  if (!mWnd) return nullptr;
  if (!CreateGLContext()) {
    // Without OpenGL nothing can be drawn: the editor does not open.
    CloseWindow();
    return nullptr;
  }
  // The context is current (the thread's previous one saved) until the setup is done.
  SetUpOpenedView(static_cast<float>(screenScale));
  RestoreGLContext();

  mDelegate.OnEditorOpened();
  return mWnd;
}

HWND IGfxWin::CreateChildWindow(HWND parent, int x, int y, int w, int h) {
  HINSTANCE module = static_cast<HINSTANCE>(const_cast<void*>(mModule));
  if (!module) module = ThisModule();
  AcquireWindowClass(module, WindowProc);
  HWND wnd = CreateWindowExA(0, kWndClassName, "Kantele",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y, w, h,
                             parent, nullptr, sWndClassModule, this);
  if (!wnd) {
    // WM_CREATE may have started the frame source before the creation failed (a timer went
    // with the window).
    mFramePacer.Stop(nullptr);
    if (!ReleaseWindowClass()) SetAllControlsDirty();
  }
  return wnd;
}

void IGfxWin::SetUpOpenedView(float screenScale) {
  ReleaseDC(mWnd, mDC);  // the class's own DC: it stays valid
  ViewCreated(mGLContext);
  SetScreenScale(screenScale);
  if (auto* graphicsDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate))
    graphicsDelegate->RunLayout(*this);
  if (mEnableMultiTouch && SupportsTouch()) RegisterTouchWindow(mWnd, 0);
  SetAllControlsDirty();
  if (mEnableTooltips) CreateTooltips();
}

bool IGfxWin::CreateGLContext() {
  mDC = GetDC(mWnd);
  if (!mDC) return false;
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof(pfd);
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cDepthBits = 24;
  pfd.cStencilBits = 8;
  const int format = ChoosePixelFormat(mDC, &pfd);
  if (format == 0 || !SetPixelFormat(mDC, format, &pfd)) return false;
  mGLContext = wglCreateContext(mDC);
  if (!mGLContext) return false;
  MakeGLContextCurrent();
  if (wglGetCurrentContext() != mGLContext || !LoadGL()) {
    RestoreGLContext();
    return false;
  }
  return true;
}

void IGfxWin::CloseWindow() {
  if (!mWnd) return;
  ReleaseWindowResources();

  // Messages sent while the window goes find no object and take the default handling.
  HWND wnd = mWnd;
  mWnd = nullptr;
  SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
  DestroyWindow(wnd);
  ReleaseWindowClass();
}

void IGfxWin::ReleaseWindowResources() {
  mFramePacer.Stop(mWnd);
  DestroyTextEntry();
  if (GetCapture() == mWnd) ReleaseCapture();
  if (mCursorHidden) SetCursorHidden(false);  // the host gets its cursor back

  if (mGLContext) {
    MakeGLContextCurrent();
    ViewDestroyed();
    RestoreGLContext();
    if (wglGetCurrentContext() == mGLContext) wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(mGLContext);
    mGLContext = nullptr;
  }
  mDC = nullptr;

  if (mTooltipWnd) {
    DestroyWindow(mTooltipWnd);
    mTooltipWnd = nullptr;
  }
  mShowingTooltip = false;
  mTooltipIdx = -1;
  mDeltaTouches.clear();
}

LRESULT CALLBACK IGfxWin::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* self = create ? static_cast<IGfxWin*>(create->lpCreateParams) : nullptr;
    if (!self) return DefWindowProcA(wnd, msg, wParam, lParam);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->mFramePacer.Start(wnd, self->mFPS);
    SetFocus(wnd);
    DragAcceptFiles(wnd, TRUE);
    return 0;
  }
  auto* self = reinterpret_cast<IGfxWin*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!self || self->mWnd != wnd) return DefWindowProcA(wnd, msg, wParam, lParam);
  return self->HandleMessage(wnd, msg, wParam, lParam);
}

LRESULT IGfxWin::HandleWindowMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ERASEBKGND: return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_CLOSE: CloseWindow(); return 0;
    // The host destroyed its window with the editor inside. What needs the window goes now,
    // while it is still there (its DC for the OpenGL teardown, the frame source posting to
    // it); the window class is released when the editor is closed.
    case WM_DESTROY: ReleaseWindowResources(); return 0;
    case WM_TIMER:
      if (wParam == FramePacer::kTimerID) OnFrameTick(0);
      return 0;
    case FramePacer::kVBlankMessage: OnFrameTick(static_cast<UINT>(wParam)); return 0;
    case WM_CTLCOLOREDIT: return TextEntryColors(reinterpret_cast<HDC>(wParam));
    default: return DefWindowProcA(wnd, msg, wParam, lParam);
  }
}

// ---- Frame ticks and painting.

void IGfxWin::OnFrameTick(UINT count) {
  if (!mWnd || !mFramePacer.IsDue(count)) return;
  if (RunTextEntryTick()) return;

  if (GetCapture() != mWnd) {
    const float dpiScale = DpiScale(mWnd);
    if (dpiScale != mScreenScale) SetScreenScale(dpiScale);
  }
  PaintDirtyAreas(count);
}

void IGfxWin::PaintDirtyAreas(UINT count) {
  IRectList rects;
  if (!IsDirty(rects)) return;
  SetAllControlsClean();
  const float scale = GetTotalScale();
  for (int i = 0; i < rects.Size(); ++i) {
    const RECT r = ToDeviceRect(rects.Get(i), scale);
    InvalidateRect(mWnd, &r, FALSE);
  }
  if (mTextEntryWnd) {
    // OpenGL ignores the child's clipping: the box's area is left alone.
    const RECT box = ToDeviceRect(mTextEntryBounds, scale);
    ValidateRect(mWnd, &box);
    UpdateWindow(mWnd);
    mTextEntryState = kEntryDrawn;
  } else {
    UpdateWindow(mWnd);
    // A paint that outlasted a vertical blank skips the next one, so the queue catches up.
    mFramePacer.FramePainted(count);
  }
}

void IGfxWin::OnPaint() {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int type = region ? GetUpdateRgn(mWnd, region, FALSE) : ERROR;
  // Nothing can be drawn before the view exists or after it is gone.
  const bool drawable = GetNVGContext() != nullptr && mGLContext != nullptr;
  if (drawable && (type == SIMPLEREGION || type == COMPLEXREGION)) {
    float scale = GetTotalScale();
    if (!(scale > 0.f)) scale = 1.f;
    IRectList rects;
    ListUpdateRects(region, type, scale, rects);

    PAINTSTRUCT ps;
    BeginPaint(mWnd, &ps);
    MakeGLContextCurrent();
    Draw(rects);
    SwapBuffers(mDC);
    RestoreGLContext();
    EndPaint(mWnd, &ps);
  }
  ValidateRect(mWnd, nullptr);
  if (region) DeleteObject(region);
}

// ---- Size.

void IGfxWin::PlatformResize(bool parentHasResized) {
  if (!mWnd) return;
  RECT wndRect = {};
  GetWindowRect(mWnd, &wndRect);
  // The change is truncated, not the size: a window that shrinks to a size with a fraction
  // keeps the pixel that fraction reaches into, where WindowWidth() and WindowHeight() (which
  // truncate the size) would drop it. So the difference is computed here.
  const int dw =
      static_cast<int>(static_cast<float>(static_cast<int>(mWidth * mDrawScale)) * mScreenScale -
                       static_cast<float>(wndRect.right - wndRect.left));
  const int dh =
      static_cast<int>(static_cast<float>(static_cast<int>(mHeight * mDrawScale)) * mScreenScale -
                       static_cast<float>(wndRect.bottom - wndRect.top));
  if (dw == 0 && dh == 0) return;

  // A window nested in the host's (not an MDI child) grows its parent, and the parent's own
  // parent when that is nested too.
  auto nestedParent = [](HWND wnd, RECT& rect) -> HWND {
    const LONG style = GetWindowLongA(wnd, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(wnd, GWL_EXSTYLE);
    if (!(style & WS_CHILD) || (exStyle & WS_EX_MDICHILD)) return nullptr;
    HWND parent = GetParent(wnd);
    if (parent && !GetWindowRect(parent, &rect)) return nullptr;
    return parent;
  };
  RECT parentRect = {};
  RECT grandparentRect = {};
  HWND parent = nestedParent(mWnd, parentRect);
  HWND grandparent = parent ? nestedParent(parent, grandparentRect) : nullptr;

  constexpr UINT kFlags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE;
  auto grow = [&](HWND wnd, const RECT& r) {
    SetWindowPos(wnd, nullptr, 0, 0, r.right - r.left + dw, r.bottom - r.top + dh, kFlags);
  };
  grow(mWnd, wndRect);
  if (!parentHasResized) {
    if (parent) grow(parent, parentRect);
    if (grandparent) grow(grandparent, grandparentRect);
  }
}

void IGfxWin::DrawResize() {
  MakeGLContextCurrent();
  IGfxNanoVG::DrawResize();
  RestoreGLContext();
  // The new main framebuffer holds nothing yet: the next paint, whoever asks for it (the
  // system after the resize, say), covers the whole window.
  if (mWnd) InvalidateRect(mWnd, nullptr, FALSE);
}

// ---- OpenGL context.

void IGfxWin::MakeGLContextCurrent() {
  // Only the outermost call saves and restores: loading and resizing inside a paint or the
  // setup find the context current already.
  if (mGLContextDepth++ > 0) return;
  mSavedDC = wglGetCurrentDC();
  mSavedGLContext = wglGetCurrentContext();
  if (mGLContext && mDC && mSavedGLContext != mGLContext) wglMakeCurrent(mDC, mGLContext);
}

void IGfxWin::RestoreGLContext() {
  if (mGLContextDepth == 0) return;
  if (--mGLContextDepth > 0) return;
  if (mWnd && mDC) ReleaseDC(mWnd, mDC);
  if (wglGetCurrentContext() != mSavedGLContext || wglGetCurrentDC() != mSavedDC)
    wglMakeCurrent(mSavedDC, mSavedGLContext);
  mSavedDC = nullptr;
  mSavedGLContext = nullptr;
}

// ---- Tooltips.

void IGfxWin::CreateTooltips() {
  if (!mWnd) return;
  INITCOMMONCONTROLSEX icc = {};
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_TAB_CLASSES;
  bool ok = InitCommonControlsEx(&icc) != FALSE;
  if (ok) {
    mTooltipWnd = CreateWindowExA(
        0, TOOLTIPS_CLASSA, nullptr,
        WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mWnd, nullptr, sWndClassModule, nullptr);
    ok = mTooltipWnd != nullptr;
  }
  if (ok) {
    SetWindowPos(mTooltipWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;  // understood by every version of the common controls
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = mWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(mWnd);
    ti.lpszText = nullptr;
    ok = SendMessageA(mTooltipWnd, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
  }
  if (ok) {
    SendMessageA(mTooltipWnd, TTM_SETMAXTIPWIDTH, 0, 250);
    return;
  }
  if (mTooltipWnd) {
    DestroyWindow(mTooltipWnd);
    mTooltipWnd = nullptr;
  }
  mEnableTooltips = false;
}

}  // namespace gfx
}  // namespace kantele
