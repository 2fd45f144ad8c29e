// The Windows editor's window layer: the child window, its WGL context, frame pacing,
// painting and the translation of window messages. The native services are in
// IGfxWin_services.cpp.
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
#include <string>
#include <vector>

#include "kantele/gfx/IGfxEditorDelegate.h"
#include "kantele/gfx/platform/win/InputRules_win.h"
#include "kantele/gfx/platform/win/SystemExports_win.h"
#include "kantele/gfx/platform/win/WideText_win.h"

namespace kantele {
namespace gfx {

namespace {

constexpr char kWndClassName[] = "KanteleWndClass";
constexpr UINT_PTR kFrameTimerID = 2;
constexpr UINT kVBlankMessage = WM_USER + 1;
constexpr DWORD kPenSignatureMask = 0xFFFFFF00;
constexpr DWORD kPenSignature = 0xFF515700;
constexpr int kDigitizerReady = 0x40;
constexpr DWORD kVBlankRetryMs = 1000;
constexpr DWORD kVBlankFallbackMs = 16;
constexpr DWORD kVBlankJoinMs = 10000;

// The window class is shared by every editor of the process; the UI thread alone counts its
// users. The class is registered for the module it was first registered with, so it is
// unregistered with that one too.
int sWndClassUsers = 0;
HINSTANCE sWndClassModule = nullptr;

// The display driver's vertical-blank service (d3dkmthk.h), looked up by name in gdi32.
using D3DKMTHandle = UINT;
struct D3DKMTOpenAdapterFromHdcArgs {
  HDC hDc;
  D3DKMTHandle hAdapter;
  LUID AdapterLuid;
  UINT VidPnSourceId;
};
struct D3DKMTWaitForVerticalBlankEventArgs {
  D3DKMTHandle hAdapter;
  D3DKMTHandle hDevice;
  UINT VidPnSourceId;
};
struct D3DKMTCloseAdapterArgs {
  D3DKMTHandle hAdapter;
};
using D3DKMTOpenAdapterFromHdcFunc = LONG(APIENTRY*)(D3DKMTOpenAdapterFromHdcArgs*);
using D3DKMTWaitForVerticalBlankEventFunc = LONG(APIENTRY*)(
    const D3DKMTWaitForVerticalBlankEventArgs*);
using D3DKMTCloseAdapterFunc = LONG(APIENTRY*)(const D3DKMTCloseAdapterArgs*);
using GetDpiForWindowFunc = UINT(WINAPI*)(HWND);
using WglGetProcAddressFunc = PROC(WINAPI*)(LPCSTR);

bool IsWindows8OrLater() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 2;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            mask) != FALSE;
}

// The module this code lives in: the window class's owner when no module handle was given.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&sWndClassUsers), &module);
  return module;
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

bool KeyDown(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

// One character of the ANSI code page as UTF-8 (empty when it has no UTF-16 form).
std::string AnsiCharToUtf8(char c) {
  wchar_t wide[2] = {};
  if (MultiByteToWideChar(CP_ACP, 0, &c, 1, wide, 2) != 1) return std::string();
  return WideToUtf8(wide, 1);
}

}  // namespace

// ---- Construction.

IGfxWin::IGfxWin(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGfxNanoVG(dlg, w, h, fps, scale) {
  mPID = GetCurrentProcessId();
  mVBlankMode = IsWindows8OrLater();
  AcquireFontCaches();
}

IGfxWin::~IGfxWin() {
  CloseWindow();
  ReleaseFontCaches();
}

// ---- Process-wide values.

UINT IGfxWin::TimerIntervalMs(int fps) {
  if (fps <= 0) return 15;
  const UINT ms = static_cast<UINT>(1000 / fps);
  return ms < 20 ? 15 : ms;
}

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

  int x = 0;
  int y = 0;
  int w = screenScale * static_cast<int>(mWidth * mDrawScale);
  int h = screenScale * static_cast<int>(mHeight * mDrawScale);
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

  HINSTANCE module = static_cast<HINSTANCE>(const_cast<void*>(mModule));
  if (!module) module = ThisModule();
  if (sWndClassUsers++ == 0) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kWndClassName;
    RegisterClassA(&wc);
    sWndClassModule = module;
  }

  mWnd = CreateWindowExA(0, kWndClassName, "Kantele",
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y, w, h,
                         parentWnd, nullptr, sWndClassModule, this);
  if (!mWnd) {
    // WM_CREATE may have started the frame source before the creation failed.
    StopFrameSource();
    if (--sWndClassUsers == 0) {
      UnregisterClassA(kWndClassName, sWndClassModule);
      sWndClassModule = nullptr;
    } else {
      SetAllControlsDirty();
    }
    return nullptr;
  }

  if (!CreateGLContext()) {
    // Without OpenGL nothing can be drawn: the editor does not open.
    CloseWindow();
    return nullptr;
  }

  // The context is current (the thread's previous one saved) until the setup is done.
  ReleaseDC(mWnd, mDC);  // the class's own DC: it stays valid
  ViewCreated(mGLContext);
  SetScreenScale(static_cast<float>(screenScale));
  if (auto* graphicsDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate))
    graphicsDelegate->RunLayout(*this);
  if (mEnableMultiTouch && SupportsTouch()) RegisterTouchWindow(mWnd, 0);
  SetAllControlsDirty();
  if (mEnableTooltips) CreateTooltips();
  RestoreGLContext();

  mDelegate.OnEditorOpened();
  return mWnd;
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
  if (sWndClassUsers > 0 && --sWndClassUsers == 0) {
    UnregisterClassA(kWndClassName, sWndClassModule);
    sWndClassModule = nullptr;
  }
}

void IGfxWin::ReleaseWindowResources() {
  StopFrameSource();
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

// ---- Frame pacing.

void IGfxWin::StartFrameSource(HWND wnd) {
  if (mVBlankMode) {
    mVBlankWindow = wnd;
    mVBlankShutdown = false;
    HANDLE thread = CreateThread(nullptr, 0, VBlankThread, this, 0, nullptr);
    if (thread) {
      mVBlankThread = thread;
      return;
    }
    // No thread: this editor paces its frames with the timer from now on.
    mVBlankWindow = nullptr;
    mVBlankMode = false;
  }
  SetTimer(wnd, kFrameTimerID, TimerIntervalMs(mFPS), nullptr);
}

void IGfxWin::StopFrameSource() {
  if (mVBlankMode) {
    if (mVBlankThread != INVALID_HANDLE_VALUE) {
      mVBlankShutdown = true;
      WaitForSingleObject(mVBlankThread, kVBlankJoinMs);
      CloseHandle(mVBlankThread);
      mVBlankThread = INVALID_HANDLE_VALUE;
      mVBlankWindow = nullptr;
    }
  } else if (mWnd) {
    KillTimer(mWnd, kFrameTimerID);
  }
}

DWORD WINAPI IGfxWin::VBlankThread(LPVOID param) {
  auto* self = static_cast<IGfxWin*>(param);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  HWND wnd = self->mVBlankWindow;
  HMODULE gdi = LoadLibraryW(L"gdi32.dll");
  const auto openAdapter =
      LookupExport<D3DKMTOpenAdapterFromHdcFunc>(gdi, "D3DKMTOpenAdapterFromHdc");
  const auto closeAdapter = LookupExport<D3DKMTCloseAdapterFunc>(gdi, "D3DKMTCloseAdapter");
  const auto waitForVBlank =
      LookupExport<D3DKMTWaitForVerticalBlankEventFunc>(gdi, "D3DKMTWaitForVerticalBlankEvent");

  auto tick = [&] {
    const UINT count = ++self->mVBlankCount;
    PostMessageA(wnd, kVBlankMessage, count, 0);
  };

  if (openAdapter && closeAdapter && waitForVBlank) {
    bool adapterOpen = false;
    D3DKMTHandle adapter = 0;
    UINT source = 0;
    bool failed = false;
    DWORD lastFailure = 0;
    while (!self->mVBlankShutdown) {
      if (!adapterOpen) {
        if (failed && GetTickCount() - lastFailure < kVBlankRetryMs) {
          Sleep(kVBlankFallbackMs);
        } else {
          HDC dc = GetDC(wnd);
          D3DKMTOpenAdapterFromHdcArgs args = {};
          args.hDc = dc;
          if (dc && openAdapter(&args) == 0) {
            adapter = args.hAdapter;
            source = args.VidPnSourceId;
            adapterOpen = true;
            failed = false;
          } else {
            failed = true;
            lastFailure = GetTickCount();
            Sleep(kVBlankFallbackMs);
          }
          if (dc) ReleaseDC(wnd, dc);
        }
      }
      if (adapterOpen) {
        const D3DKMTWaitForVerticalBlankEventArgs args = {adapter, 0, source};
        if (waitForVBlank(&args) != 0) {
          const D3DKMTCloseAdapterArgs close = {adapter};
          closeAdapter(&close);
          adapterOpen = false;
          Sleep(kVBlankFallbackMs);
        }
      }
      tick();
    }
    if (adapterOpen) {
      const D3DKMTCloseAdapterArgs close = {adapter};
      closeAdapter(&close);
    }
  } else {
    while (!self->mVBlankShutdown) {
      Sleep(kVBlankFallbackMs);
      tick();
    }
  }
  if (gdi) FreeLibrary(gdi);
  return 0;
}

void IGfxWin::OnFrameTick(UINT count) {
  if (!mWnd) return;
  if (mVBlankMode) {
    const UINT now = mVBlankCount;
    if (mVBlankSkipUntil != 0 && mVBlankSkipUntil > now) return;
    mVBlankSkipUntil = 0;
    if (count != now) return;  // a tick that waited in the queue behind a newer one
  }

  if (mTextEntryWnd && mTextEntryState != kEntryIdle) {
    if (mTextEntryState == kEntryCancel) {
      DestroyTextEntry();
      ClearInTextEntryControl();
    } else if (mTextEntryState == kEntryCommit) {
      wchar_t text[256] = {};
      SendMessageW(mTextEntryWnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
      text[255] = L'\0';
      const std::string utf8 = WideToUtf8(text);
      CommitTextEntry(utf8.c_str());
      DestroyTextEntry();
    }
    mTextEntryState = kEntryIdle;
    return;
  }

  if (GetCapture() != mWnd) {
    const float dpiScale = DpiScale(mWnd);
    if (dpiScale != mScreenScale) SetScreenScale(dpiScale);
  }

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
    if (mVBlankMode && mVBlankCount != count) mVBlankSkipUntil = mVBlankCount + 1;
  }
}

// ---- Painting.

void IGfxWin::OnPaint() {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int type = region ? GetUpdateRgn(mWnd, region, FALSE) : ERROR;
  // Nothing can be drawn before the view exists or after it is gone.
  const bool drawable = GetNVGContext() != nullptr && mGLContext != nullptr;
  if (drawable && (type == SIMPLEREGION || type == COMPLEXREGION)) {
    float scale = GetTotalScale();
    if (!(scale > 0.f)) scale = 1.f;
    IRectList rects;
    bool listed = false;
    if (type == COMPLEXREGION) {
      alignas(RGNDATA) unsigned char buffer[1024];
      auto* data = reinterpret_cast<RGNDATA*>(buffer);
      const DWORD capacity = (sizeof(buffer) - sizeof(RGNDATAHEADER)) / sizeof(RECT);
      if (GetRegionData(region, sizeof(buffer), data) != 0 && data->rdh.nCount <= capacity) {
        const auto* r = reinterpret_cast<const RECT*>(data->Buffer);
        for (DWORD i = 0; i < data->rdh.nCount; ++i) rects.Add(ToEditorRect(r[i], scale));
        listed = true;
      }
    }
    if (!listed) {
      RECT box = {};
      GetRgnBox(region, &box);
      rects.Add(ToEditorRect(box, scale));
    }

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
  const int dw = static_cast<int>(static_cast<float>(static_cast<int>(mWidth * mDrawScale)) *
                                      mScreenScale -
                                  static_cast<float>(wndRect.right - wndRect.left));
  const int dh = static_cast<int>(static_cast<float>(static_cast<int>(mHeight * mDrawScale)) *
                                      mScreenScale -
                                  static_cast<float>(wndRect.bottom - wndRect.top));

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

  if (dw == 0 && dh == 0) return;
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

// ---- Cursor.

bool IGfxWin::GetCursorPosition(float& x, float& y) const {
  POINT p;
  if (!mWnd || !GetCursorPos(&p) || !ScreenToClient(mWnd, &p)) return false;
  const float scale = GetTotalScale();
  x = static_cast<float>(p.x) / scale;
  y = static_cast<float>(p.y) / scale;
  return true;
}

void IGfxWin::SetCursorHidden(bool hide, bool lock) {
  if (hide == mCursorHidden) return;
  if (hide) {
    mHiddenCursorX = mLastMouseX;
    mHiddenCursorY = mLastMouseY;
    ShowCursor(FALSE);
    mCursorHidden = true;
    mCursorLocked = lock && !mPenInput;
  } else {
    if (mCursorLocked) WarpCursor(mHiddenCursorX, mHiddenCursorY);
    ShowCursor(TRUE);
    mCursorHidden = false;
    mCursorLocked = false;
  }
}

void IGfxWin::WarpCursor(float x, float y) {
  if (mPenInput || !mWnd) return;
  const float scale = GetTotalScale();
  POINT p = {static_cast<LONG>(std::lround(x * scale)), static_cast<LONG>(std::lround(y * scale))};
  ClientToScreen(mWnd, &p);
  if (!SetCursorPos(p.x, p.y)) return;
  POINT now;
  if (!GetCursorPos(&now) || !ScreenToClient(mWnd, &now)) return;
  mLastMouseX = mHiddenCursorX = static_cast<float>(now.x) / scale;
  mLastMouseY = mHiddenCursorY = static_cast<float>(now.y) / scale;
}

ECursor IGfxWin::SetCursor(ECursor cursorType) {
  // System cursors by type code; any other code shows the arrow.
  static const WORD kSystemCursors[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                        32644, 32645, 32646, 32648, 32649, 32650, 32651};
  const int type = static_cast<int>(cursorType);
  const int count = static_cast<int>(sizeof(kSystemCursors) / sizeof(kSystemCursors[0]));
  const WORD id = type >= 0 && type < count ? kSystemCursors[type] : kSystemCursors[0];
  const ECursor previous = mCursorType;
  mCursorType = cursorType;
  // A closed editor leaves the host's cursor alone.
  if (mWnd) ::SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(id)));
  return previous;
}

// ---- Text entry.

void IGfxWin::CancelTextEntry() { mTextEntryState = kEntryCancel; }

void IGfxWin::DestroyTextEntry() {
  if (mTextEntryWnd) {
    // The box's own procedure back first, so destroying it calls nothing of this editor.
    if (mDefEditProc) {
      const LONG_PTR proc = reinterpret_cast<LONG_PTR>(mDefEditProc);
      if (IsWindowUnicode(mTextEntryWnd))
        SetWindowLongPtrW(mTextEntryWnd, GWLP_WNDPROC, proc);
      else
        SetWindowLongPtrA(mTextEntryWnd, GWLP_WNDPROC, proc);
    }
    DestroyWindow(mTextEntryWnd);
    mTextEntryWnd = nullptr;
  }
  mDefEditProc = nullptr;
  if (mEditFont) {
    DeleteObject(mEditFont);
    mEditFont = nullptr;
  }
  mTextEntryParam = nullptr;
}

// ---- Tooltips.

void IGfxWin::CreateTooltips() {
  if (!mWnd) return;
  INITCOMMONCONTROLSEX icc = {};
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_TAB_CLASSES;
  bool ok = InitCommonControlsEx(&icc) != FALSE;
  if (ok) {
    mTooltipWnd = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr,
                                  WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TTS_NOPREFIX |
                                      TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  mWnd, nullptr, sWndClassModule, nullptr);
    ok = mTooltipWnd != nullptr;
  }
  if (ok) {
    SetWindowPos(mTooltipWnd, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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

void IGfxWin::ShowTooltipText(const char* text) {
  if (!mTooltipWnd || !mWnd) return;
  TOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = mWnd;
  ti.uId = reinterpret_cast<UINT_PTR>(mWnd);
  ti.lpszText = const_cast<char*>(text);
  SendMessageA(mTooltipWnd, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

void IGfxWin::HideTooltipText() {
  ShowTooltipText(nullptr);
  mShowingTooltip = false;
}

// ---- Input.

IMousePoint IGfxWin::MousePoint(LPARAM lParam, WPARAM wParam) {
  const float scale = GetTotalScale();
  IMousePoint p;
  p.x = static_cast<float>(static_cast<short>(LOWORD(lParam))) / scale;
  p.y = static_cast<float>(static_cast<short>(HIWORD(lParam))) / scale;
  p.ms.L = (wParam & MK_LBUTTON) != 0;
  p.ms.R = (wParam & MK_RBUTTON) != 0;
  p.ms.S = (wParam & MK_SHIFT) != 0;
  p.ms.C = (wParam & MK_CONTROL) != 0;
  p.ms.A = KeyDown(VK_MENU);
  mLastMouseX = p.x;
  mLastMouseY = p.y;
  return p;
}

void IGfxWin::HandleTouch(WPARAM wParam, LPARAM lParam) {
  HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
  const UINT n = LOWORD(wParam);
  std::vector<TOUCHINPUT> inputs(n);
  if (n == 0 || !GetTouchInputInfo(handle, n, inputs.data(), sizeof(TOUCHINPUT))) {
    CloseTouchInputHandle(handle);
    return;
  }
  const float scale = GetTotalScale();
  std::vector<IMousePoint> downs;
  std::vector<IMousePoint> ups;
  std::vector<IMousePoint> moves;
  for (const TOUCHINPUT& input : inputs) {
    POINT pt = {input.x / 100, input.y / 100};
    ScreenToClient(mWnd, &pt);
    IMousePoint p;
    p.x = static_cast<float>(pt.x) / scale;
    p.y = static_cast<float>(pt.y) / scale;
    p.ms.touchID = static_cast<uintptr_t>(input.dwID);
    p.ms.touchRadius =
        (input.dwMask & TOUCHINPUTMASKF_CONTACTAREA) ? static_cast<float>(input.cxContact) : 0.f;
    if (input.dwFlags & TOUCHEVENTF_DOWN) {
      downs.push_back(p);
      mDeltaTouches[p.ms.touchID] = p;
    } else if (input.dwFlags & TOUCHEVENTF_UP) {
      mDeltaTouches.erase(p.ms.touchID);
      ups.push_back(p);
    } else if (input.dwFlags & TOUCHEVENTF_MOVE) {
      // A move of a touch whose press this editor never saw has no movement.
      const auto it = mDeltaTouches.find(p.ms.touchID);
      if (it != mDeltaTouches.end()) {
        p.dX = p.x - it->second.x;
        p.dY = p.y - it->second.y;
      }
      moves.push_back(p);
      mDeltaTouches[p.ms.touchID] = p;
    }
  }
  if (!downs.empty()) OnMouseDown(downs);
  if (!ups.empty()) OnMouseUp(ups);
  if (!moves.empty()) OnMouseDrag(moves);
  CloseTouchInputHandle(handle);
}

// ---- Messages.

LRESULT CALLBACK IGfxWin::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* self = create ? static_cast<IGfxWin*>(create->lpCreateParams) : nullptr;
    if (!self) return DefWindowProcA(wnd, msg, wParam, lParam);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->StartFrameSource(wnd);
    SetFocus(wnd);
    DragAcceptFiles(wnd, TRUE);
    return 0;
  }
  auto* self = reinterpret_cast<IGfxWin*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!self || self->mWnd != wnd) return DefWindowProcA(wnd, msg, wParam, lParam);
  return self->HandleMessage(wnd, msg, wParam, lParam);
}

LRESULT IGfxWin::HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The text entry box just took the focus: a press in the editor cancels it, and the editor
  // takes no other input until the next frame tick (ticks, painting and the box's colours go
  // on).
  if (mTextEntryWnd && mTextEntryState == kEntryFocused) {
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) {
      mTextEntryState = kEntryCancel;
      return 0;
    }
    const bool passes = msg == WM_TIMER || msg == kVBlankMessage || msg == WM_PAINT ||
                        msg == WM_ERASEBKGND || msg == WM_CTLCOLOREDIT || msg == WM_CLOSE;
    if (!passes) return DefWindowProcA(wnd, msg, wParam, lParam);
  }

  if ((msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) || msg == WM_MOUSEHOVER ||
      msg == WM_MOUSELEAVE) {
    mPenInput = (static_cast<DWORD>(GetMessageExtraInfo()) & kPenSignatureMask) == kPenSignature;
    if (mPenInput) mCursorLocked = false;
  }

  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ERASEBKGND:
      return 0;

    case WM_PAINT:
      OnPaint();
      return 0;

    case WM_CLOSE:
      CloseWindow();
      return 0;

    // The host destroyed its window with the editor inside. What needs the window goes now,
    // while it is still there (its DC for the OpenGL teardown, the frame source posting to
    // it); the window class is released when the editor is closed.
    case WM_DESTROY:
      ReleaseWindowResources();
      return 0;

    case WM_SETCURSOR:
      SetCursor(mCursorType);
      return 0;

    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;

    case WM_KEYDOWN:
    case WM_KEYUP: {
      POINT p = {};
      GetCursorPos(&p);
      ScreenToClient(wnd, &p);
      BYTE keyboard[256] = {};
      GetKeyboardState(keyboard);
      WORD chars[2] = {};
      const UINT scanCode = static_cast<UINT>((lParam >> 16) & 0xFF);
      const int n = ToAscii(static_cast<UINT>(wParam), scanCode, keyboard, chars, 0);
      if (n == 0 || n == 1) {
        const std::string text =
            n == 1 ? AnsiCharToUtf8(static_cast<char>(chars[0] & 0xFF)) : std::string();
        const KeyPress key(text.c_str(), static_cast<int>(wParam), KeyDown(VK_SHIFT),
                           KeyDown(VK_CONTROL), KeyDown(VK_MENU));
        const float scale = GetTotalScale();
        const float x = static_cast<float>(p.x) / scale;
        const float y = static_cast<float>(p.y) / scale;
        const bool handled = msg == WM_KEYDOWN ? OnKeyDown(x, y, key) : OnKeyUp(x, y, key);
        if (handled) return 0;
      }
      // The host's window sees what the editor did not take (its shortcuts, say).
      HWND root = GetAncestor(wnd, GA_ROOT);
      if (root && root != wnd) SendMessageA(root, msg, wParam, lParam);
      return DefWindowProcA(wnd, msg, wParam, lParam);
    }

    case WM_TIMER:
      if (wParam == kFrameTimerID) OnFrameTick(0);
      return 0;

    case kVBlankMessage:
      OnFrameTick(static_cast<UINT>(wParam));
      return 0;

    case WM_CTLCOLOREDIT: {
      if (!mTextEntryWnd) return 0;
      HDC dc = reinterpret_cast<HDC>(wParam);
      const IArgb& bg = mTextEntryStyle.mTextEntryBGColor;
      const IArgb& fg = mTextEntryStyle.mTextEntryFGColor;
      SetBkColor(dc, RGB(bg.R, bg.G, bg.B));
      SetDCBrushColor(dc, RGB(bg.R, bg.G, bg.B));
      SetTextColor(dc, RGB(fg.R, fg.G, fg.B));
      SetBkMode(dc, OPAQUE);
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }

    case WM_MOUSEMOVE: {
      if (mPenInput) return 0;
      if (!(wParam & (MK_LBUTTON | MK_RBUTTON))) {
        const IMousePoint p = MousePoint(lParam, wParam);
        if (OnMouseOver(p.x, p.y, p.ms)) {
          TRACKMOUSEEVENT track = {};
          track.cbSize = sizeof(track);
          track.dwFlags = TME_LEAVE;
          track.hwndTrack = wnd;
          track.dwHoverTime = HOVER_DEFAULT;
          if (mEnableTooltips && GetMouseOverIdx() != mTooltipIdx) {
            if (GetMouseOverIdx() >= 0) track.dwFlags |= TME_HOVER;
            mTooltipIdx = GetMouseOverIdx();
            HideTooltipText();
          }
          TrackMouseEvent(&track);
        }
        return 0;
      }
      // A native text box being edited holds the pointer's drags back.
      const bool nativeTextEntry = mInTextEntry != nullptr && !mTextEntry;
      if (GetCapture() != wnd || nativeTextEntry) return 0;
      const float lastX = mLastMouseX;
      const float lastY = mLastMouseY;
      DragStep(MousePoint(lParam, wParam), lastX, lastY);
      return 0;
    }

    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      if (mPenInput) return 0;
      HideTooltipText();
      if (mTextEntryWnd) {
        // A click elsewhere in the editor leaves the value as it was; Return commits.
        mTextEntryState = kEntryCancel;
        return 0;
      }
      SetFocus(wnd);
      SetCapture(wnd);
      OnMouseDown({MousePoint(lParam, wParam)});
      return 0;
    }

    // The middle button's press captured the pointer like the others: its release ends the
    // capture too.
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      ReleaseCapture();
      OnMouseUp({MousePoint(lParam, wParam)});
      return 0;
    }

    case WM_LBUTTONDBLCLK: {
      if (mPenInput) return 0;
      const IMousePoint p = MousePoint(lParam, wParam);
      OnMouseDoubleClick(p.x, p.y, p.ms);
      SetCapture(wnd);
      return 0;
    }

    case WM_MOUSEWHEEL: {
      if (mTextEntryWnd) {
        mTextEntryState = kEntryCancel;
        return 0;
      }
      // The wheel's position is on the screen.
      IMousePoint p = MousePoint(lParam, wParam);
      POINT origin = {0, 0};
      ClientToScreen(wnd, &origin);
      const float scale = GetTotalScale();
      p.x -= static_cast<float>(origin.x) / scale;
      p.y -= static_cast<float>(origin.y) / scale;
      mLastMouseX = p.x;
      mLastMouseY = p.y;
      const int delta = static_cast<short>(HIWORD(wParam));
      OnMouseWheel(p.x, p.y, p.ms, static_cast<float>(WheelNotches(delta)));
      return 0;
    }

    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wParam);
      char path[1024] = {};
      POINT point = {};
      if (DragQueryFileA(drop, 0, path, sizeof(path)) > 0 && DragQueryPoint(drop, &point)) {
        const float scale = GetTotalScale();
        OnDrop(path, static_cast<float>(point.x) / scale, static_cast<float>(point.y) / scale);
      }
      DragFinish(drop);
      return 0;
    }

    case WM_TOUCH:
      HandleTouch(wParam, lParam);
      return 0;

    case WM_MOUSEHOVER: {
      if (mTooltipIdx >= 0) {
        if (IControl* control = GetControl(mTooltipIdx)) {
          ShowTooltipText(control->GetTooltip());
          mShowingTooltip = true;
        }
      }
      return 0;
    }

    case WM_MOUSELEAVE: {
      HideTooltipText();
      mCursorType = SetCursor(kArrowCursor);
      OnMouseOut();
      return 0;
    }

    default:
      return DefWindowProcA(wnd, msg, wParam, lParam);
  }
}

}  // namespace gfx
}  // namespace kantele
