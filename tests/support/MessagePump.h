#pragma once

#include <functional>

namespace kantele::test {

/// Windows only: runs the calling thread's message loop as a host's user-interface thread
/// does (each message translated, then dispatched), one message at a time, until `done`
/// answers true or `timeoutMs` milliseconds passed; while no message waits it sleeps until
/// one comes (5 ms at most). Answers `done`'s last answer. Timer ticks, frame ticks, painting
/// and the test's own windows' messages are all handled here.
bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs = 5000);

/// Handles this thread's messages for `ms` milliseconds.
void PumpMessagesFor(int ms);

}  // namespace kantele::test
