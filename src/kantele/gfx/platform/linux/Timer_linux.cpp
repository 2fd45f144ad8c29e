// Linux has no thread-timer service: the timer list is the schedule. Each
// listed timer carries its next due time, and ServiceDueTimers, called by the
// host's user-interface thread, runs the ticks that are due.

#include <chrono>
#include <cstdint>
#include <mutex>

#include "kantele/Timer_impl.h"

namespace kantele {

namespace {

// Both guarded by the timer lock.
uintptr_t sLastId = 0;      // system ids are process-unique and never 0
uint64_t sServicePass = 0;  // number of the current (or last) service pass

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t PeriodNs(const Timer_impl& timer) {
  return static_cast<int64_t>(timer.PeriodMs()) * 1000000;
}

}  // namespace

namespace timer_platform {

uintptr_t Start_NoLock(Timer_impl& timer) {
  timer.mDueNs = NowNs() + PeriodNs(timer);
  // A timer launched by a callable during a service pass waits for the next pass.
  timer.mServicePass = sServicePass;
  if (++sLastId == 0) ++sLastId;
  return sLastId;
}

void Stop_NoLock(uintptr_t) {}

}  // namespace timer_platform

int Timer::ServiceDueTimers() {
  std::lock_guard<std::recursive_mutex> lock(Timer_impl::Lock());
  const uint64_t pass = ++sServicePass;
  const int64_t now = NowNs();
  const auto& list = Timer_impl::List_NoLock();
  int ticks = 0;
  // A callable may launch, cancel or destroy timers (itself included), so the
  // list may change under every tick: rescan from the start after each one.
  // Each timer is considered once per pass (the stamp), which bounds the loop
  // even for a zero period; the list holds a handful of timers.
  for (;;) {
    Timer_impl* due = nullptr;
    for (Timer_impl* t : list) {
      if (t->mServicePass == pass) continue;
      t->mServicePass = pass;
      if (t->mDueNs <= now) {
        due = t;
        break;
      }
    }
    if (!due) break;
    // Rescheduled from now, not from the missed due time: a late timer ticks
    // once and does not catch up. Set before the tick, which may destroy it.
    due->mDueNs = now + PeriodNs(*due);
    if (Timer_impl::Dispatch(due->SystemId_NoLock())) ++ticks;
  }
  return ticks;
}

}  // namespace kantele
