#pragma once

#include <functional>

namespace kantele::test {

/// Delivers timer ticks on the calling thread, as a host's user-interface thread does (its
/// message loop on Windows, `Timer::ServiceDueTimers` elsewhere), until `done` answers true or
/// `timeoutMs` milliseconds passed. Answers `done()`.
bool PumpTimersUntil(const std::function<bool()>& done, int timeoutMs);

/// Delivers ticks for `ms` milliseconds.
void PumpTimersFor(int ms);

}  // namespace kantele::test
