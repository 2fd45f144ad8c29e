#include "support/MessagePump.h"

#include <windows.h>

namespace kantele::test {

bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs) {
  const DWORD start = GetTickCount();
  const DWORD limit = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
  for (;;) {
    MSG msg;
    const bool handled = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
    if (handled) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start > limit) return done();
    if (!handled) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void PumpMessagesFor(int ms) {
  PumpMessagesUntil([] { return false; }, ms);
}

}  // namespace kantele::test
