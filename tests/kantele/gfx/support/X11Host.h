#pragma once

// The test's own side of an X server, shared by the tests that open the Linux editor on a
// display (the window layer's and the plug-in module's): the connection, top-level host windows
// for the editor to open in, what the server says about windows, and a user's pointer and keys
// through the XTEST extension. Every call that changes something returns once the server has
// carried it out, so what a test looks at next already sees it.
//
// Xlib's types are declared, not included: its macros (KeyPress, None, Bool ...) would rename
// the graphics library's names in a file including this one before them. Windows and keysyms
// are Xlib's XIDs, unsigned long.

#include <chrono>
#include <thread>
#include <vector>

struct _XDisplay;

namespace kantele::gfx::test {

/// Runs `step`, then asks `done`, until it answers true or `timeoutMs` have passed; answers
/// `done()`. For outcomes that travel through the X server, which arrive when they arrive.
template <class Step, class Done>
bool Until(Step step, Done done, int timeoutMs = 2000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    step();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

/// A connection to the X server that DISPLAY names. A server that lost its last client resets
/// and turns connections away for a moment, so it is tried again for up to `timeoutMs`. Null
/// when none answers.
_XDisplay* OpenTestDisplay(int timeoutMs);

/// Whether the server has the XTEST extension that the input below goes through.
bool HasXTest(_XDisplay* display);

// ---- Windows.

/// A top-level window of `w` x `h` pixels at (`left`, `top`) on the default screen, black,
/// named "Host", selecting the events of `eventMask` (an Xlib event mask), mapped. Answers it
/// once the server shows it, or 0 (and no window) when it is not viewable within 5 s.
unsigned long MakeHostWindow(_XDisplay* display, int left, int top, int w, int h, long eventMask);

/// Destroys `wnd` and every window inside it (an editor's included).
void DestroyHostWindow(_XDisplay* display, unsigned long wnd);

/// The children of `wnd`, bottom first; none for window 0.
std::vector<unsigned long> ChildWindows(_XDisplay* display, unsigned long wnd);

/// The window holding the keyboard focus.
unsigned long FocusedWindow(_XDisplay* display);

// ---- A user's pointer and keys, through XTEST.

/// The pointer to (x, y) of the default screen's root window.
void MovePointerOnScreen(_XDisplay* display, int x, int y);
/// The pointer to (x, y) of window `wnd`.
void MovePointerTo(_XDisplay* display, unsigned long wnd, int x, int y);
void MovePointerBy(_XDisplay* display, int dx, int dy);
/// Presses (`down`) or releases mouse button `button` (4 and 5 are the wheel).
void PressButton(_XDisplay* display, unsigned int button, bool down);
void ClickButton(_XDisplay* display, unsigned int button);
/// Presses and releases the key that types `keysym`; false, with nothing sent, when the
/// server's keymap has no key for it.
bool TypeKey(_XDisplay* display, unsigned long keysym);
/// Releases the buttons 1 to 3 held, so that a case stopped in the middle of a drag leaves
/// none held for the next.
void ReleaseButtons(_XDisplay* display);

/// Where the pointer is on the root window; answers the buttons and modifiers held (Xlib's
/// state mask).
unsigned int PointerOnScreen(_XDisplay* display, int& x, int& y);

}  // namespace kantele::gfx::test
