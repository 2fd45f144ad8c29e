// The Linux editor's window layer: the child X11 window, its GLX context, the frame timer,
// painting and the events. The services (cursor, clipboard, the answers X11 has no native
// form for) are in IGfxLinux_services.cpp.
//
// glad's OpenGL header comes first (it must precede every other OpenGL header), then this
// library's headers, then Xlib through glad's GLX header: Xlib's macros would otherwise
// rename the library's own names (KeyPress above all).
#include <glad/gl.h>

#include "kantele/gfx/platform/linux/IGfxLinux.h"

#include <glad/glx.h>

#include "kantele/gfx/platform/linux/IGfxLinux_x11.h"

#include <algorithm>
#include <cstring>

#include "kantele/Text.h"
#include "kantele/Timer.h"
#include "kantele/gfx/IGfxEditorDelegate.h"
#include "kantele/gfx/platform/linux/GraphicsLibraries.h"
#include "kantele/gfx/platform/linux/X11Conversions.h"

namespace kantele {
namespace gfx {

namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | KeyPressMask | KeyReleaseMask |
                            EnterWindowMask | LeaveWindowMask | StructureNotifyMask;

GLADapiproc LoadGL(const char* name) {
  return reinterpret_cast<GLADapiproc>(
      glXGetProcAddress(reinterpret_cast<const GLubyte*>(name)));
}

// A double-buffered, window-drawable true-colour configuration with 8-bit red, green and blue
// and an 8-bit stencil (NanoVG fills paths through the stencil), preferring a 24-bit visual:
// a 32-bit one would make the window translucent under a compositor. Null when there is none.
GLXFBConfig ChooseFBConfig(Display* display, int screen) {
  const int attribs[] = {GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                         GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_X_VISUAL_TYPE, GLX_TRUE_COLOR,
                         GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                         GLX_STENCIL_SIZE, 8, GLX_DOUBLEBUFFER, True, None};
  int n = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, attribs, &n);
  if (!configs) return nullptr;
  GLXFBConfig chosen = nullptr;
  for (int i = 0; i < n && !chosen; ++i) {
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
    if (visual && visual->depth == 24) chosen = configs[i];
    if (visual) XFree(visual);
  }
  if (!chosen && n > 0) chosen = configs[0];
  XFree(configs);
  return chosen;
}

}  // namespace

// ---- Construction.

IGfxLinux::IGfxLinux(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGfxNanoVG(dlg, w, h, fps, scale) {}

IGfxLinux::~IGfxLinux() { CloseWindow(); }

// ---- Opening and closing.

void* IGfxLinux::OpenWindow(void* parent) {
  if (mDisplay) CloseWindow();
  const auto parentWnd = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  if (parentWnd == 0) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  mDisplay = display;
  x11::ErrorTrap::Add(display);
  mParentWnd = parentWnd;
  mWindowGone = false;

  // Whatever fails from here leaves nothing behind: CloseWindow undoes what was made, and the
  // screen scale is what it was before.
  const float previousScreenScale = mScreenScale;
  auto fail = [this, previousScreenScale]() -> void* {
    mScreenScale = previousScreenScale;
    CloseWindow();
    return nullptr;
  };

  XWindowAttributes parentAttributes;
  if (!XGetWindowAttributes(display, parentWnd, &parentAttributes)) return fail();
  const int screen = XScreenNumberOfScreen(parentAttributes.screen);
  if (!gladLoaderLoadGLX(display, screen)) return fail();
  GLXFBConfig config = ChooseFBConfig(display, screen);
  if (!config) return fail();
  mFBConfig = config;
  XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
  if (!visual) return fail();

  // The screen's scale, read now: the window is made at the size it gives, and the editor
  // takes it once it draws.
  const char* resources = XResourceManagerString(display);
  mScreenScale = ScreenScaleFromXResources(resources, resources ? std::strlen(resources) : 0);
  const int w = std::max(1, WindowWidth());
  const int h = std::max(1, WindowHeight());

  mColormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
  XSetWindowAttributes attributes = {};
  attributes.colormap = mColormap;
  attributes.border_pixel = 0;
  attributes.background_pixmap = None;  // the frames cover the window: no flash of background
  attributes.event_mask = kEventMask;
  mWnd = XCreateWindow(display, parentWnd, 0, 0, static_cast<unsigned>(w),
                       static_cast<unsigned>(h), 0, visual->depth, InputOutput, visual->visual,
                       CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
  XFree(visual);
  if (mWnd == 0) return fail();
  ListOpenEditor(true);
  XStoreName(display, mWnd, "Kantele");
  XMapWindow(display, mWnd);
  // Every request so far answered: an error now means a parent that went away meanwhile, a
  // visual the server refused ...
  XSync(display, False);
  if (x11::ErrorTrap::Errors(display) > 0) return fail();

  mGLContext = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
  if (!mGLContext) return fail();
  MakeGLContextCurrent();
  if (glXGetCurrentContext() != static_cast<GLXContext>(mGLContext) || !gladLoadGL(LoadGL)) {
    RestoreGLContext();
    return fail();
  }
  PinGraphicsLibraries();

  mFrames = 0;
  mExposed.Clear();
  mButtonsDown = 0;
  mLastPressWasDouble = true;
  ViewCreated(mGLContext);
  // The scale the window was made at, applied: the host hears the size, the controls rescale.
  SetScreenScale(mScreenScale);
  if (auto* graphicsDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate))
    graphicsDelegate->RunLayout(*this);
  SetAllControlsDirty();
  RestoreGLContext();

  const int fps = std::max(1, std::min(mFPS, 1000));
  mFrameTimer = Timer::Launch([this](Timer&) { OnFrameTick(); },
                              static_cast<uint32_t>(1000 / fps));
  mDelegate.OnEditorOpened();
  // The first frame at once: it is what a host that is slow to send idle requests shows.
  if (mWnd != 0) OnFrameTick();
  return mWnd != 0 ? reinterpret_cast<void*>(static_cast<uintptr_t>(mWnd)) : nullptr;
}

void IGfxLinux::CloseWindow() {
  if (!mDisplay) return;
  Display* display = mDisplay;
  // A window the host destroyed with its own is not touched again. Its DestroyNotify may
  // still wait in the queue, so the server is asked.
  bool exists = mWnd != 0 && !mWindowGone;
  if (exists) {
    XWindowAttributes attributes;
    exists = XGetWindowAttributes(display, mWnd, &attributes) != 0;
  }
  ReleaseWindowResources(exists);
  if (exists) XDestroyWindow(display, mWnd);
  mWnd = 0;
  mParentWnd = 0;
  mWindowGone = false;
  if (mColormap) XFreeColormap(display, mColormap);
  mColormap = 0;
  mFBConfig = nullptr;
  for (unsigned long& cursor : mCursors) {
    if (cursor) XFreeCursor(display, cursor);
    cursor = 0;
  }
  if (mBlankCursor) XFreeCursor(display, mBlankCursor);
  mBlankCursor = 0;
  ListOpenEditor(false);
  SetClipboardText(std::string());
  XSync(display, False);
  mClosedErrorCount = x11::ErrorTrap::Errors(display);
  x11::ErrorTrap::Remove(display);
  mDisplay = nullptr;
  XCloseDisplay(display);
}

void IGfxLinux::ReleaseWindowResources(bool windowExists) {
  // Safe inside the timer's own tick: the tick holds its callable until it returns.
  mFrameTimer.reset();
  if (mCursorHidden) {
    if (windowExists) {
      SetCursorHidden(false);  // the host gets its pointer back where it was
    } else {
      mCursorHidden = false;
      mCursorLocked = false;
    }
  }
  mButtonsDown = 0;
  if (mGLContext) {
    const auto context = static_cast<GLXContext>(mGLContext);
    if (windowExists) {
      MakeGLContextCurrent();
      ViewDestroyed();
      RestoreGLContext();
    } else {
      // No drawable to make the context current with: NanoVG lets go of its memory with no
      // context current (its OpenGL calls do nothing then; destroying the context frees the
      // objects). The thread's own context is put back afterwards, so nothing of the host's
      // is deleted in its place.
      Display* savedDisplay = glXGetCurrentDisplay();
      const GLXDrawable savedDraw = glXGetCurrentDrawable();
      const GLXDrawable savedRead = glXGetCurrentReadDrawable();
      const GLXContext savedContext = glXGetCurrentContext();
      glXMakeCurrent(mDisplay, None, nullptr);
      ViewDestroyed();
      if (savedContext && savedContext != context && savedDisplay)
        glXMakeContextCurrent(savedDisplay, savedDraw, savedRead, savedContext);
    }
    if (glXGetCurrentContext() == context) glXMakeCurrent(mDisplay, None, nullptr);
    glXDestroyContext(mDisplay, context);
    mGLContext = nullptr;
  }
  mGLContextDepth = 0;
  mSavedContextTaken = false;
  mExposed.Clear();
}

void* IGfxLinux::GetNativeWindow() {
  return mWnd != 0 ? reinterpret_cast<void*>(static_cast<uintptr_t>(mWnd)) : nullptr;
}

int IGfxLinux::XErrorCount() const {
  return mDisplay ? x11::ErrorTrap::Errors(mDisplay) : mClosedErrorCount;
}

// ---- Frames.

void IGfxLinux::OnFrameTick() {
  if (!mDisplay || !mGLContext) return;
  ProcessEvents();
  if (!mDisplay || !mGLContext) return;  // an event closed the window or took it away
  IRectList rects;
  if (IsDirty(rects)) SetAllControlsClean();
  for (int i = 0; i < mExposed.Size(); ++i) rects.Add(mExposed.Get(i));
  mExposed.Clear();
  if (rects.Size() > 0) DrawFrame(rects);
}

void IGfxLinux::DrawFrame(const IRectList& rects) {
  IRectList toDraw = rects;
  MakeGLContextCurrent();
  Draw(toDraw);
  glXSwapBuffers(mDisplay, mWnd);
  RestoreGLContext();
  XFlush(mDisplay);
  ++mFrames;
}

// ---- Size.

void IGfxLinux::PlatformResize(bool) {
  if (!mDisplay || mWnd == 0 || mWindowGone) return;
  const int w = WindowWidth();
  const int h = WindowHeight();
  if (w < 1 || h < 1) return;
  XResizeWindow(mDisplay, mWnd, static_cast<unsigned>(w), static_cast<unsigned>(h));
  XFlush(mDisplay);
}

void IGfxLinux::DrawResize() {
  MakeGLContextCurrent();
  IGfxNanoVG::DrawResize();
  RestoreGLContext();
  // The new main framebuffer holds nothing yet: the next frame covers the whole window.
  if (mWnd != 0) mExposed.Add(GetBounds());
}

// ---- OpenGL context.

void IGfxLinux::MakeGLContextCurrent() {
  // Only the outermost call saves and restores: loading and resizing inside a frame or the
  // setup find the context current already. Without a context (closed), nothing is touched.
  if (mGLContextDepth++ > 0 || !mGLContext || !mDisplay) return;
  mSavedDisplay = glXGetCurrentDisplay();
  mSavedDrawable = glXGetCurrentDrawable();
  mSavedReadable = glXGetCurrentReadDrawable();
  mSavedContext = glXGetCurrentContext();
  mSavedContextTaken = true;
  if (mSavedContext != mGLContext || mSavedDrawable != mWnd)
    glXMakeCurrent(mDisplay, mWnd, static_cast<GLXContext>(mGLContext));
}

void IGfxLinux::RestoreGLContext() {
  if (mGLContextDepth == 0) return;
  if (--mGLContextDepth > 0 || !mSavedContextTaken) return;
  mSavedContextTaken = false;
  const auto saved = static_cast<GLXContext>(mSavedContext);
  if (glXGetCurrentContext() != saved || glXGetCurrentDrawable() != mSavedDrawable) {
    if (saved && mSavedDisplay) {
      glXMakeContextCurrent(mSavedDisplay, mSavedDrawable, mSavedReadable, saved);
    } else if (mDisplay) {
      glXMakeCurrent(mDisplay, None, nullptr);
    }
  }
  mSavedDisplay = nullptr;
  mSavedDrawable = mSavedReadable = 0;
  mSavedContext = nullptr;
}

// ---- Events.

void IGfxLinux::ProcessEvents() {
  while (mDisplay && XPending(mDisplay) > 0) {
    XEvent event;
    XNextEvent(mDisplay, &event);
    HandleEvent(event);
  }
}

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

void IGfxLinux::HandleEvent(XEvent& event) {
  switch (event.type) {
    case Expose: {
      if (event.xexpose.window != mWnd) break;
      const float scale = GetTotalScale();
      const XExposeEvent& e = event.xexpose;
      mExposed.Add(IRect(static_cast<float>(e.x) / scale, static_cast<float>(e.y) / scale,
                         static_cast<float>(e.x + e.width) / scale,
                         static_cast<float>(e.y + e.height) / scale));
      break;
    }

    case ButtonPress: {
      const XButtonEvent& b = event.xbutton;
      if (b.window != mWnd) break;
      if (b.button == Button4 || b.button == Button5) {
        const IMousePoint p = MousePoint(b.x, b.y, b.state, 0, false);
        OnMouseWheel(p.x, p.y, p.ms, b.button == Button4 ? 1.f : -1.f);
        break;
      }
      if (b.button < Button1 || b.button > Button3) break;  // horizontal wheel, extra buttons
      // The editor takes the keys from the press on (the host's window gets back what the
      // editor does not take). Refused while the window is not viewable: that error is
      // counted, not fatal.
      XSetInputFocus(mDisplay, mWnd, RevertToParent, b.time);
      mButtonsDown |= 1u << (b.button - 1);
      const IMousePoint p = MousePoint(b.x, b.y, b.state, b.button, true);
      if (b.button == Button1) {
        const bool isDouble = !mLastPressWasDouble &&
                              IsDoubleClick(mLastPressTime, mLastPressX, mLastPressY, b.time,
                                            b.x, b.y);
        mLastPressTime = b.time;
        mLastPressX = b.x;
        mLastPressY = b.y;
        mLastPressWasDouble = isDouble;
        if (isDouble) {
          OnMouseDoubleClick(p.x, p.y, p.ms);
          break;
        }
      }
      OnMouseDown({p});
      break;
    }

    case ButtonRelease: {
      const XButtonEvent& b = event.xbutton;
      if (b.window != mWnd || b.button < Button1 || b.button > Button3) break;
      mButtonsDown &= ~(1u << (b.button - 1));
      OnMouseUp({MousePoint(b.x, b.y, b.state, b.button, false)});
      break;
    }

    case MotionNotify: {
      if (event.xmotion.window != mWnd) break;
      // Only the newest of the motions waiting back to back counts.
      while (XPending(mDisplay) > 0) {
        XEvent next;
        XPeekEvent(mDisplay, &next);
        if (next.type != MotionNotify || next.xmotion.window != mWnd) break;
        XNextEvent(mDisplay, &event);
      }
      const XMotionEvent& m = event.xmotion;
      // With the left or right button held a motion is a drag, if the press was this
      // window's; otherwise (the middle button included, as on Windows) a mouse-over.
      if ((m.state & (Button1Mask | Button3Mask)) == 0) {
        const IMousePoint p = MousePoint(m.x, m.y, m.state, 0, false);
        OnMouseOver(p.x, p.y, p.ms);
        break;
      }
      if ((mButtonsDown & ((1u << 0) | (1u << 2))) == 0) break;
      const float lastX = mLastMouseX;
      const float lastY = mLastMouseY;
      DragStep(MousePoint(m.x, m.y, m.state, 0, false), lastX, lastY);
      break;
    }

    case EnterNotify: {
      const XCrossingEvent& c = event.xcrossing;
      if (c.window != mWnd || mButtonsDown != 0) break;
      const IMousePoint p = MousePoint(c.x, c.y, c.state, 0, false);
      OnMouseOver(p.x, p.y, p.ms);
      break;
    }

    case LeaveNotify: {
      const XCrossingEvent& c = event.xcrossing;
      // While a button is held the drag goes on outside the window.
      if (c.window != mWnd || c.mode != NotifyNormal || mButtonsDown != 0) break;
      OnMouseOut();
      break;
    }

    case x11::kKeyPressEvent:
    case KeyRelease: {
      XKeyEvent& k = event.xkey;
      if (k.window != mWnd) break;
      char text[8] = {};
      KeySym keysym = NoSymbol;
      const int n = XLookupString(&k, text, sizeof(text), &keysym, nullptr);
      int vk = VirtualKeyFromKeySym(keysym);
      if (vk == 0) vk = VirtualKeyFromKeySym(XLookupKeysym(&k, 0));
      // XLookupString's text is Latin-1; a key typing one character carries it as UTF-8.
      std::string utf8;
      if (n == 1 && text[0] != 0) AppendUtf8(utf8, static_cast<unsigned char>(text[0]));
      const KeyPress key(utf8.c_str(), vk, (k.state & ShiftMask) != 0,
                         (k.state & ControlMask) != 0, (k.state & Mod1Mask) != 0);
      const bool down = event.type == x11::kKeyPressEvent;
      const bool handled = down ? OnKeyDown(mLastMouseX, mLastMouseY, key)
                                : OnKeyUp(mLastMouseX, mLastMouseY, key);
      if (!handled && mDisplay && mParentWnd != 0) {
        // The host's window sees what the editor did not take (its shortcuts, say).
        XEvent forwarded = event;
        forwarded.xkey.window = mParentWnd;
        forwarded.xkey.subwindow = None;
        XSendEvent(mDisplay, mParentWnd, True, down ? KeyPressMask : KeyReleaseMask,
                   &forwarded);
        XFlush(mDisplay);
      }
      break;
    }

    case DestroyNotify:
      // The host destroyed its window with the editor's inside: what needs the window goes
      // now; the connection stays until the editor is closed.
      if (event.xdestroywindow.window == mWnd && !mWindowGone) {
        mWindowGone = true;
        ListOpenEditor(false);  // its id may be given to another client's window now
        ReleaseWindowResources(false);
      }
      break;

    case SelectionRequest:
      AnswerSelectionRequest(event);
      break;

    case SelectionClear:
      if (event.xselectionclear.window == mWnd) SetClipboardText(std::string());
      break;

    default:
      break;
  }
}

}  // namespace gfx
}  // namespace kantele
