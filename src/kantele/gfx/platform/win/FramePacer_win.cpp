#include "kantele/gfx/platform/win/FramePacer_win.h"

#include "kantele/gfx/platform/win/SystemExports_win.h"

namespace kantele {
namespace gfx {

namespace {

constexpr DWORD kVBlankRetryMs = 1000;
constexpr DWORD kVBlankFallbackMs = 16;
constexpr DWORD kVBlankJoinMs = 10000;

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
using D3DKMTWaitForVerticalBlankEventFunc =
    LONG(APIENTRY*)(const D3DKMTWaitForVerticalBlankEventArgs*);
using D3DKMTCloseAdapterFunc = LONG(APIENTRY*)(const D3DKMTCloseAdapterArgs*);

struct VBlankService {
  D3DKMTOpenAdapterFromHdcFunc mOpenAdapter;
  D3DKMTCloseAdapterFunc mCloseAdapter;
  D3DKMTWaitForVerticalBlankEventFunc mWaitForVBlank;

  static VBlankService Lookup(HMODULE gdi) {
    return {
        LookupExport<D3DKMTOpenAdapterFromHdcFunc>(gdi, "D3DKMTOpenAdapterFromHdc"),
        LookupExport<D3DKMTCloseAdapterFunc>(gdi, "D3DKMTCloseAdapter"),
        LookupExport<D3DKMTWaitForVerticalBlankEventFunc>(gdi, "D3DKMTWaitForVerticalBlankEvent")};
  }
  bool Available() const { return mOpenAdapter && mCloseAdapter && mWaitForVBlank; }
};

// The vertical-blank thread's adapter for the window's display. Opened from the window's DC
// when a wait needs it; after a refused open, tried again at most once a second, with 16 ms
// sleeps meanwhile; closed after a failed wait (then a 16 ms sleep) and when it goes.
class VBlankWaiter {
 public:
  VBlankWaiter(const VBlankService& service, HWND wnd) : mService(service), mWnd(wnd) {}
  ~VBlankWaiter() {
    if (mAdapterOpen) Close();
  }
  VBlankWaiter(const VBlankWaiter&) = delete;
  VBlankWaiter& operator=(const VBlankWaiter&) = delete;

  // Returns at the next vertical blank, or after a sleep when none could be waited for.
  void WaitForNext() {
    if (!mAdapterOpen) OpenOrSleep();
    if (!mAdapterOpen) return;
    const D3DKMTWaitForVerticalBlankEventArgs args = {mAdapter, 0, mSource};
    if (mService.mWaitForVBlank(&args) != 0) {
      Close();
      Sleep(kVBlankFallbackMs);
    }
  }

 private:
  void OpenOrSleep() {
    if (mFailed && GetTickCount() - mLastFailure < kVBlankRetryMs) {
      Sleep(kVBlankFallbackMs);
      return;
    }
    HDC dc = GetDC(mWnd);
    D3DKMTOpenAdapterFromHdcArgs args = {};
    args.hDc = dc;
    if (dc && mService.mOpenAdapter(&args) == 0) {
      mAdapter = args.hAdapter;
      mSource = args.VidPnSourceId;
      mAdapterOpen = true;
      mFailed = false;
    } else {
      mFailed = true;
      mLastFailure = GetTickCount();
      Sleep(kVBlankFallbackMs);
    }
    if (dc) ReleaseDC(mWnd, dc);
  }

  void Close() {
    const D3DKMTCloseAdapterArgs close = {mAdapter};
    mService.mCloseAdapter(&close);
    mAdapterOpen = false;
  }

  const VBlankService& mService;
  HWND mWnd;
  bool mAdapterOpen = false;
  D3DKMTHandle mAdapter = 0;
  UINT mSource = 0;
  bool mFailed = false;
  DWORD mLastFailure = 0;
};

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

}  // namespace

FramePacer::FramePacer() : mVBlankMode(IsWindows8OrLater()) {}

FramePacer::~FramePacer() { Stop(nullptr); }

UINT FramePacer::TimerIntervalMs(int fps) {
  if (fps <= 0) return 15;
  const UINT ms = static_cast<UINT>(1000 / fps);
  return ms < 20 ? 15 : ms;
}

void FramePacer::Start(HWND wnd, int fps) {
  if (mVBlankMode) {
    mWindow = wnd;
    mShutdown = false;
    HANDLE thread = CreateThread(nullptr, 0, VBlankThread, this, 0, nullptr);
    if (thread) {
      mThread = thread;
      return;
    }
    // No thread: this pacer uses the timer from now on.
    mWindow = nullptr;
    mVBlankMode = false;
  }
  SetTimer(wnd, kTimerID, TimerIntervalMs(fps), nullptr);
}

void FramePacer::Stop(HWND wnd) {
  if (mVBlankMode) {
    if (mThread != INVALID_HANDLE_VALUE) {
      mShutdown = true;
      WaitForSingleObject(mThread, kVBlankJoinMs);
      CloseHandle(mThread);
      mThread = INVALID_HANDLE_VALUE;
      mWindow = nullptr;
    }
  } else if (wnd) {
    KillTimer(wnd, kTimerID);
  }
}

bool FramePacer::IsDue(UINT count) {
  if (!mVBlankMode) return true;
  const UINT now = mCount;
  if (mSkipUntil != 0 && mSkipUntil > now) return false;
  mSkipUntil = 0;
  return count == now;  // otherwise a tick that waited in the queue behind a newer one
}

void FramePacer::FramePainted(UINT count) {
  if (mVBlankMode && mCount != count) mSkipUntil = mCount + 1;
}

void FramePacer::PostTick(HWND wnd) {
  const UINT count = ++mCount;
  PostMessageA(wnd, kVBlankMessage, count, 0);
}

DWORD WINAPI FramePacer::VBlankThread(LPVOID param) {
  auto* self = static_cast<FramePacer*>(param);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  HWND wnd = self->mWindow;
  HMODULE gdi = LoadLibraryW(L"gdi32.dll");
  const VBlankService service = VBlankService::Lookup(gdi);
  if (service.Available()) {
    VBlankWaiter waiter(service, wnd);
    while (!self->mShutdown) {
      waiter.WaitForNext();
      self->PostTick(wnd);
    }
  } else {
    while (!self->mShutdown) {
      Sleep(kVBlankFallbackMs);
      self->PostTick(wnd);
    }
  }
  if (gdi) FreeLibrary(gdi);
  return 0;
}

}  // namespace gfx
}  // namespace kantele
