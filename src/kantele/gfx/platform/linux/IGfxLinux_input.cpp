// The Linux editor's input: the pointer's buttons, wheel, motion and crossings as the X server
// delivers them to the view (positions in the picture), and the keys as it delivers them to the
// editor's window, turned into the graphics library's mouse and key calls. The events reach
// these handlers through IGfxLinux::HandleEvent.
#include "kantele/gfx/platform/linux/IGfxLinux.h"

#include <string>

#include "kantele/Text.h"
#include "kantele/gfx/platform/linux/X11Conversions.h"

// Xlib last: its macros would rename the library's names in the headers above.
#include "kantele/gfx/platform/linux/IGfxLinux_x11.h"

namespace kantele {
namespace gfx {

namespace {

constexpr unsigned int kDragButtons = (1u << 0) | (1u << 2);  // of mButtonsDown: left, right

bool IsWheel(unsigned int button) { return button == Button4 || button == Button5; }

// Buttons 1 to 3: the horizontal wheel and extra buttons are not taken.
bool IsMouseButton(unsigned int button) { return button >= Button1 && button <= Button3; }

}  // namespace

IMousePoint IGfxLinux::MousePoint(int x, int y, unsigned int state, unsigned int button,
                                  bool pressed) {
  const float scale = GetTotalScale();
  IMousePoint p;
  p.x = static_cast<float>(x) / scale;
  p.y = static_cast<float>(y) / scale;
  // The state is the one before the event: a press adds its button, a release takes it away.
  bool left = (state & Button1Mask) != 0;
  bool right = (state & Button3Mask) != 0;
  if (button == Button1) left = pressed;
  if (button == Button3) right = pressed;
  p.ms.L = left;
  p.ms.R = right;
  p.ms.S = (state & ShiftMask) != 0;
  p.ms.C = (state & ControlMask) != 0;
  p.ms.A = (state & Mod1Mask) != 0;
  mLastMouseX = p.x;
  mLastMouseY = p.y;
  return p;
}

// ---- Buttons and the wheel.

void IGfxLinux::HandleButtonPress(const XEvent& event) {
  const XButtonEvent& b = event.xbutton;
  if (b.window != mViewWnd) return;
  if (IsWheel(b.button)) {
    const IMousePoint p = MousePoint(b.x, b.y, b.state, 0, false);
    OnMouseWheel(p.x, p.y, p.ms, b.button == Button4 ? 1.f : -1.f);
    return;
  }
  if (!IsMouseButton(b.button)) return;
  // The editor takes the keys from the press on (the host's window gets back what the editor
  // does not take): the editor's window gets the focus, and the keys typed over the view come
  // up to it. Refused while the window is not viewable: that error is counted, not fatal.
  XSetInputFocus(mDisplay, mWnd, RevertToParent, b.time);
  mButtonsDown |= 1u << (b.button - 1);
  const IMousePoint p = MousePoint(b.x, b.y, b.state, b.button, true);
  if (b.button == Button1 && RecordLeftPress(b.time, b.x, b.y)) {
    OnMouseDoubleClick(p.x, p.y, p.ms);
    return;
  }
  OnMouseDown({p});
}

bool IGfxLinux::RecordLeftPress(unsigned long time, int x, int y) {
  // A press that completed a double click pairs with no later one.
  const bool isDouble =
      !mLastPressWasDouble && IsDoubleClick(mLastPressTime, mLastPressX, mLastPressY, time, x, y);
  mLastPressTime = time;
  mLastPressX = x;
  mLastPressY = y;
  mLastPressWasDouble = isDouble;
  return isDouble;
}

void IGfxLinux::HandleButtonRelease(const XEvent& event) {
  const XButtonEvent& b = event.xbutton;
  if (b.window != mViewWnd || !IsMouseButton(b.button)) return;
  mButtonsDown &= ~(1u << (b.button - 1));
  OnMouseUp({MousePoint(b.x, b.y, b.state, b.button, false)});
}

// ---- Motion and crossings.

void IGfxLinux::HandleMotion(XEvent& event) {
  if (event.xmotion.window != mViewWnd) return;
  // Only the newest of the motions waiting back to back counts.
  while (XPending(mDisplay) > 0) {
    XEvent next;
    XPeekEvent(mDisplay, &next);
    if (next.type != MotionNotify || next.xmotion.window != mViewWnd) break;
    XNextEvent(mDisplay, &event);
  }
  const XMotionEvent& m = event.xmotion;
  // With the left or right button held a motion is a drag, if the press was this window's;
  // otherwise (the middle button included, as on Windows) a mouse-over.
  if ((m.state & (Button1Mask | Button3Mask)) == 0) {
    const IMousePoint p = MousePoint(m.x, m.y, m.state, 0, false);
    OnMouseOver(p.x, p.y, p.ms);
    return;
  }
  if ((mButtonsDown & kDragButtons) == 0) return;
  const float lastX = mLastMouseX;
  const float lastY = mLastMouseY;
  DragStep(MousePoint(m.x, m.y, m.state, 0, false), lastX, lastY);
}

void IGfxLinux::HandleEnter(const XEvent& event) {
  const XCrossingEvent& c = event.xcrossing;
  if (c.window != mViewWnd || mButtonsDown != 0) return;
  const IMousePoint p = MousePoint(c.x, c.y, c.state, 0, false);
  OnMouseOver(p.x, p.y, p.ms);
}

void IGfxLinux::HandleLeave(const XEvent& event) {
  const XCrossingEvent& c = event.xcrossing;
  // While a button is held the drag goes on outside the window.
  if (c.window != mViewWnd || c.mode != NotifyNormal || mButtonsDown != 0) return;
  OnMouseOut();
}

// ---- Keys.

void IGfxLinux::HandleKey(XEvent& event) {
  XKeyEvent& k = event.xkey;
  if (k.window != mWnd) return;
  char text[8] = {};
  KeySym keysym = NoSymbol;
  const int n = XLookupString(&k, text, sizeof(text), &keysym, nullptr);
  int vk = VirtualKeyFromKeySym(keysym);
  if (vk == 0) vk = VirtualKeyFromKeySym(XLookupKeysym(&k, 0));
  // XLookupString's text is Latin-1; a key typing one character carries it as UTF-8.
  std::string utf8;
  if (n == 1 && text[0] != 0) AppendUtf8(utf8, static_cast<unsigned char>(text[0]));
  const KeyPress key(utf8.c_str(), vk, (k.state & ShiftMask) != 0, (k.state & ControlMask) != 0,
                     (k.state & Mod1Mask) != 0);
  const bool down = event.type == x11::kKeyPressEvent;
  const bool handled =
      down ? OnKeyDown(mLastMouseX, mLastMouseY, key) : OnKeyUp(mLastMouseX, mLastMouseY, key);
  if (!handled) ForwardKeyToHost(event);
}

void IGfxLinux::ForwardKeyToHost(const XEvent& event) {
  if (!mDisplay || mParentWnd == 0) return;
  XEvent forwarded = event;
  forwarded.xkey.window = mParentWnd;
  forwarded.xkey.subwindow = None;
  const bool down = event.type == x11::kKeyPressEvent;
  XSendEvent(mDisplay, mParentWnd, True, down ? KeyPressMask : KeyReleaseMask, &forwarded);
  XFlush(mDisplay);
}

}  // namespace gfx
}  // namespace kantele
