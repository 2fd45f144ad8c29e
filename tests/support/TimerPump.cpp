#include "support/TimerPump.h"

#include <chrono>
#include <thread>

#include "kantele/Timer.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kantele::test {

bool PumpTimersUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
#ifdef _WIN32
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
#else
    Timer::ServiceDueTimers();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
#endif
  }
  return true;
}

void PumpTimersFor(int ms) {
  PumpTimersUntil([] { return false; }, ms);
}

}  // namespace kantele::test
