#include "kantele/gfx/support/X11Host.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace kantele::gfx::test {

_XDisplay* OpenTestDisplay(int timeoutMs) {
  Display* display = nullptr;
  Until([] {}, [&] { return (display = XOpenDisplay(nullptr)) != nullptr; }, timeoutMs);
  return display;
}

bool HasXTest(_XDisplay* display) {
  int unused = 0;
  return XTestQueryExtension(display, &unused, &unused, &unused, &unused) != 0;
}

// ---- Windows.

unsigned long MakeHostWindow(_XDisplay* display, int left, int top, int w, int h, long eventMask) {
  XSetWindowAttributes attributes = {};
  attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
  attributes.event_mask = eventMask;
  const Window wnd =
      XCreateWindow(display, DefaultRootWindow(display), left, top, static_cast<unsigned>(w),
                    static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWEventMask, &attributes);
  XStoreName(display, wnd, "Host");
  XMapWindow(display, wnd);
  XSync(display, False);
  const bool shown =
      Until([] {},
            [&] {
              XWindowAttributes a = {};
              return XGetWindowAttributes(display, wnd, &a) && a.map_state == IsViewable;
            },
            5000);
  if (shown) return wnd;
  DestroyHostWindow(display, wnd);
  return 0;
}

void DestroyHostWindow(_XDisplay* display, unsigned long wnd) {
  XDestroyWindow(display, wnd);
  XSync(display, False);
}

std::vector<unsigned long> ChildWindows(_XDisplay* display, unsigned long wnd) {
  std::vector<unsigned long> result;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int n = 0;
  if (wnd && XQueryTree(display, wnd, &root, &parent, &children, &n)) {
    result.assign(children, children + n);
    if (children) XFree(children);
  }
  return result;
}

unsigned long FocusedWindow(_XDisplay* display) {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  return focus;
}

// ---- A user's pointer and keys.

void MovePointerOnScreen(_XDisplay* display, int x, int y) {
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XSync(display, False);
}

void MovePointerTo(_XDisplay* display, unsigned long wnd, int x, int y) {
  int rootX = 0;
  int rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display, wnd, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
  MovePointerOnScreen(display, rootX, rootY);
}

void MovePointerBy(_XDisplay* display, int dx, int dy) {
  XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
  XSync(display, False);
}

void PressButton(_XDisplay* display, unsigned int button, bool down) {
  XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
  XSync(display, False);
}

void ClickButton(_XDisplay* display, unsigned int button) {
  PressButton(display, button, true);
  PressButton(display, button, false);
}

bool TypeKey(_XDisplay* display, unsigned long keysym) {
  const KeyCode code = XKeysymToKeycode(display, keysym);
  if (code == 0) return false;
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XSync(display, False);
  return true;
}

void ReleaseButtons(_XDisplay* display) {
  int x = 0;
  int y = 0;
  const unsigned int held = PointerOnScreen(display, x, y);
  for (unsigned int button = 1; button <= 3; ++button) {
    if (held & (Button1Mask << (button - 1))) PressButton(display, button, false);
  }
}

unsigned int PointerOnScreen(_XDisplay* display, int& x, int& y) {
  Window root = 0;
  Window child = 0;
  int wx = 0;
  int wy = 0;
  unsigned int mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask);
  return mask;
}

}  // namespace kantele::gfx::test
