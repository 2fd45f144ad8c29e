#include "support/TimerPump.h"

#include <chrono>
#include <thread>

#include "kantele/Timer.h"

#ifdef _WIN32
#include "support/MessagePump.h"
#endif

namespace kantele::test {

bool PumpTimersUntil(const std::function<bool()>& done, int timeoutMs) {
#ifdef _WIN32
  // The system's timers tick through the thread's message loop.
  return PumpMessagesUntil(done, timeoutMs);
#else
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    Timer::ServiceDueTimers();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
#endif
}

void PumpTimersFor(int ms) {
  PumpTimersUntil([] { return false; }, ms);
}

}  // namespace kantele::test
