#pragma once

// Internal to the timer: the shared Timer implementation and the few hooks
// each platform file provides. Only Timer.cpp, platform/*/Timer_*.cpp and the
// timer's tests include this header.

#include <cstdint>
#include <mutex>
#include <vector>

#include "kantele/Timer.h"

namespace kantele {

/// The one Timer implementation. The platform supplies the tick source (see
/// the hooks below); the bookkeeping here is shared.
///
/// Every running timer is in the process-wide timer list, and the list and
/// every field below are touched only under the process-wide timer lock.
///
/// Guarantees, all relying on the lock being held for the whole tick:
/// - No tick starts after Cancel or the destructor returned. A Cancel on
///   another thread waits for a running tick to finish.
/// - A callable may cancel or destroy its own timer during its tick: the
///   callable is moved out of the timer for the duration of the call, so its
///   captures stay alive until it returns, and the timer is not touched after
///   the call if it was destroyed meanwhile. Destroying a timer during its own
///   tick therefore destroys the callable when the tick returns.
/// - A tick never re-enters its own callable: a tick of a timer whose callable
///   is still running (one that pumps messages, or services timers itself) is
///   dropped.
class Timer_impl final : public Timer {
 public:
  /// Not yet running: Launch starts it. [main-thread]
  Timer_impl(ITimerFunction func, uint32_t periodMs);

  /// Stops the timer as Cancel does. [main-thread] Takes the timer lock.
  ~Timer_impl() override;

  Timer_impl(const Timer_impl&) = delete;
  Timer_impl& operator=(const Timer_impl&) = delete;

  /// [main-thread] Takes the timer lock.
  void Cancel() override;

  /// Runs one tick of the first listed timer whose system id is `id`. An id
  /// that no listed timer has is ignored (a tick that was already on its way
  /// when its timer was cancelled). Answers whether a callable ran.
  /// [main-thread] Takes the timer lock for the whole tick.
  static bool Dispatch(uintptr_t id);

  /// The process-wide timer lock. Recursive: a callable may launch or cancel
  /// timers while its tick holds it. [any-thread]
  static std::recursive_mutex& Lock();

  /// The running timers, in launch order. Caller holds Lock().
  static std::vector<Timer_impl*>& List_NoLock();

  uintptr_t SystemId_NoLock() const { return mSystemId; }
  uint32_t PeriodMs() const { return mPeriodMs; }

  /// Used by platforms that schedule ticks themselves (no system timer
  /// service): the next due time in steady-clock nanoseconds, and the number
  /// of the service pass that last considered this timer. Caller holds Lock().
  int64_t mDueNs = 0;
  uint64_t mServicePass = 0;

 private:
  struct TickFrame;

  ITimerFunction mFunc;
  const uint32_t mPeriodMs;
  uintptr_t mSystemId = 0;     // 0 while not running
  TickFrame* mTick = nullptr;  // set while this timer's callable runs

  friend std::unique_ptr<Timer> Timer::Launch(ITimerFunction, uint32_t);
};

namespace timer_platform {

/// Starts the system timer for `timer` (its period is set). Answers the
/// system id, never 0 on success, or 0 if no timer could be created. Called
/// with the timer lock held, before the timer is listed.
uintptr_t Start_NoLock(Timer_impl& timer);

/// Stops the system timer `id` (non-zero). Called with the timer lock held.
void Stop_NoLock(uintptr_t id);

}  // namespace timer_platform

}  // namespace kantele
