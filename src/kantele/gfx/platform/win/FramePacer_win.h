#pragma once

// Frame pacing of the Windows editor: the ticks that make it draw. Only Windows platform code
// includes this header.

#include <windows.h>

#include <atomic>

namespace kantele {
namespace gfx {

/// The source of an editor window's frame ticks.
///
/// From Windows 8 on, ticks follow the display's vertical blank: a thread waits for it with
/// the display driver's service (D3DKMT, looked up by name in gdi32) and posts
/// `kVBlankMessage` to the window with the tick's count. When the driver refuses the adapter
/// the thread sleeps 16 ms per tick and tries again at most once a second; when a wait fails it
/// closes the adapter and sleeps 16 ms; without the service at all it only sleeps 16 ms per
/// tick. Before Windows 8, or when the thread cannot start, a window timer sends WM_TIMER with
/// `kTimerID` every `TimerIntervalMs(fps)` instead; from then on this pacer stays with the
/// timer.
///
/// Vertical-blank ticks are counted: only the newest one runs a frame (older ones waiting in
/// the queue are dropped), and a paint that outlasted a vertical blank skips the next one so
/// the queue catches up.
///
/// [main-thread] Every member runs on the window's thread (the host's user-interface thread),
/// except the vertical-blank thread, which only reads the stop flag and the window handle (set
/// before it starts), counts ticks and posts messages.
class FramePacer {
 public:
  /// The message the vertical-blank thread posts; wParam carries the tick's count.
  static constexpr UINT kVBlankMessage = WM_USER + 1;
  /// The window timer's id (WM_TIMER's wParam) when frames follow the timer.
  static constexpr UINT_PTR kTimerID = 2;

  /// Chooses the vertical blank on Windows 8 and later, the timer before.
  FramePacer();
  /// Stops a running vertical-blank thread (a window timer goes with its window).
  ~FramePacer();
  FramePacer(const FramePacer&) = delete;
  FramePacer& operator=(const FramePacer&) = delete;

  /// The timer's interval for `fps` frames per second: floor(1000 / fps) ms, or 15 ms when
  /// that is below 20 (so 60 frames per second gives 15 ms). [any-thread]
  static UINT TimerIntervalMs(int fps);

  /// Starts ticks for `wnd`: the vertical-blank thread, or the window timer without vertical-
  /// blank pacing (or when the thread cannot start).
  void Start(HWND wnd, int fps);
  /// Stops the vertical-blank thread (waiting at most 10 s for it), or the timer of `wnd`
  /// (none when `wnd` is null).
  void Stop(HWND wnd);

  /// Whether a tick that arrived with `count` runs a frame. With the timer, always; with the
  /// vertical blank, only the newest tick, and none before a skip is over (which ends it).
  bool IsDue(UINT count);
  /// After the frame of tick `count` was painted: when newer ticks came meanwhile, the next
  /// one is skipped.
  void FramePainted(UINT count);

  /// The newest vertical-blank tick's count (0 before the first and with the timer).
  /// [any-thread]
  UINT NewestTick() const { return mCount.load(); }
  /// Forgets a pending skip: the newest tick is due again.
  void CancelSkip() { mSkipUntil = 0; }

 private:
  static DWORD WINAPI VBlankThread(LPVOID param);
  /// [vblank-thread] Counts one tick and posts it to `wnd`.
  void PostTick(HWND wnd);

  HWND mWindow = nullptr;  // read by the thread; written only while no thread runs
  std::atomic<bool> mShutdown{false};
  HANDLE mThread = INVALID_HANDLE_VALUE;
  std::atomic<UINT> mCount{0};
  UINT mSkipUntil = 0;
  bool mVBlankMode;
};

}  // namespace gfx
}  // namespace kantele
