// Windows: a thread timer without a window. SetTimer(NULL, ...) ties the timer
// to the calling thread; its message loop turns each WM_TIMER into a call of
// TimerProc, which runs the shared dispatch. KillTimer must run on the same
// thread, which is why Cancel and destruction are [main-thread] operations.

#include <windows.h>

#include <cstdint>

#include "kantele/Timer_impl.h"

namespace kantele {

namespace {

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  Timer_impl::Dispatch(static_cast<uintptr_t>(id));
}

}  // namespace

namespace timer_platform {

uintptr_t Start_NoLock(Timer_impl& timer) {
  return static_cast<uintptr_t>(SetTimer(nullptr, 0, timer.PeriodMs(), TimerProc));
}

void Stop_NoLock(uintptr_t id) { KillTimer(nullptr, static_cast<UINT_PTR>(id)); }

}  // namespace timer_platform

int Timer::ServiceDueTimers() { return 0; }

}  // namespace kantele
