#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace kantele {

/// A periodic timer whose ticks run on a user-interface thread, never on the
/// audio thread. The plug-in base uses one 20 ms timer to carry values from the
/// audio side to the editor.
///
/// Where the ticks come from is the platform's business and stays behind this
/// interface:
/// - Windows: a thread timer without a window. Ticks arrive through the message
///   loop of the thread that launched the timer (the host's user-interface
///   thread for a plug-in created there).
/// - Linux: there is no thread-timer service. Ticks run inside
///   `ServiceDueTimers`, which the host's user-interface thread calls (the VST2
///   adapter calls it from the host's editor-idle request, the Linux editor from
///   its event handling). A host that never calls it never sees a tick.
///
/// Every tick runs under one process-wide timer lock, held for the whole tick,
/// callable included. The lock is recursive, so a callable may launch or cancel
/// timers (its own included) without deadlocking.
class Timer {
 public:
  /// The callable run on each tick; it receives the timer that ticked.
  using ITimerFunction = std::function<void(Timer&)>;

  /// Starts a timer that calls `func` every `periodMs` milliseconds until it is
  /// cancelled or destroyed. Never returns null: a timer whose system timer
  /// could not be created exists but never ticks.
  /// [main-thread] Takes the timer lock. Allocates.
  static std::unique_ptr<Timer> Launch(ITimerFunction func, uint32_t periodMs);

  /// Runs, on the calling thread, one tick of every timer whose period has
  /// elapsed since its last tick (a late timer ticks once, it does not catch
  /// up). Answers the number of ticks run. On Windows the message loop delivers
  /// ticks and this answers 0 without doing anything.
  /// [main-thread] Takes the timer lock.
  static int ServiceDueTimers();

  /// Stops the timer (as `Cancel`) and destroys its callable.
  /// [main-thread] Takes the timer lock.
  virtual ~Timer() = default;

  /// Stops the timer: no tick starts after this returns. Cancelling a stopped
  /// timer does nothing. [main-thread] Takes the timer lock.
  virtual void Cancel() = 0;
};

}  // namespace kantele
