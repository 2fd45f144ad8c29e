// The Linux editor's window layer: the child X11 window, its GLX context, the frame timer,
// painting, and the events, each kind to its handler. The input events' handlers are in
// IGfxLinux_input.cpp; the services (cursor, clipboard, the answers X11 has no native form
// for) in IGfxLinux_services.cpp.
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

#include "kantele/Timer.h"
#include "kantele/gfx/IGfxEditorDelegate.h"
#include "kantele/gfx/platform/linux/GraphicsLibraries.h"
#include "kantele/gfx/platform/linux/X11Conversions.h"

namespace kantele {
namespace gfx {

namespace {

// The editor's window hears of its size and takes the keys (they come up from the view, which
// does not select them: the keyboard focus is the editor's window); the view takes the pointer
// and the exposures.
constexpr long kWindowEventMask = KeyPressMask | KeyReleaseMask | StructureNotifyMask;
constexpr long kViewEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                                PointerMotionMask | EnterWindowMask | LeaveWindowMask |
                                StructureNotifyMask;

GLADapiproc LoadGL(const char* name) {
  return reinterpret_cast<GLADapiproc>(glXGetProcAddress(reinterpret_cast<const GLubyte*>(name)));
}

// A double-buffered, window-drawable true-colour configuration with 8-bit red, green and blue
// and an 8-bit stencil (NanoVG fills paths through the stencil), preferring a 24-bit visual:
// a 32-bit one would make the window translucent under a compositor. Null when there is none.
GLXFBConfig ChooseFBConfig(Display* display, int screen) {
  const int attribs[] = {GLX_X_RENDERABLE,
                         True,
                         GLX_DRAWABLE_TYPE,
                         GLX_WINDOW_BIT,
                         GLX_RENDER_TYPE,
                         GLX_RGBA_BIT,
                         GLX_X_VISUAL_TYPE,
                         GLX_TRUE_COLOR,
                         GLX_RED_SIZE,
                         8,
                         GLX_GREEN_SIZE,
                         8,
                         GLX_BLUE_SIZE,
                         8,
                         GLX_STENCIL_SIZE,
                         8,
                         GLX_DOUBLEBUFFER,
                         True,
                         None};
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

  // The screen's scale, from the server's resources: the window is made at the size it gives,
  // and the editor takes it once it draws.
  const char* resources = XResourceManagerString(display);
  const float screenScale =
      ScreenScaleFromXResources(resources, resources ? std::strlen(resources) : 0);

  // Whatever fails from here leaves nothing behind: CloseWindow undoes what was made.
  if (!CreateChildWindow(screenScale) || !StartDrawing(screenScale)) {
    CloseWindow();
    return nullptr;
  }

  const int fps = std::max(1, std::min(mFPS, 1000));
  mFrameTimer = Timer::Launch([this](Timer&) { OnFrameTick(); }, static_cast<uint32_t>(1000 / fps));
  mDelegate.OnEditorOpened();
  // The first frame at once: it is what a host that is slow to send idle requests shows.
  if (mWnd != 0) OnFrameTick();
  return GetNativeWindow();
}

bool IGfxLinux::CreateChildWindow(float screenScale) {
  Display* display = mDisplay;
  XWindowAttributes parentAttributes;
  if (!XGetWindowAttributes(display, mParentWnd, &parentAttributes)) return false;
  const int screen = XScreenNumberOfScreen(parentAttributes.screen);
  if (!gladLoaderLoadGLX(display, screen)) return false;
  GLXFBConfig config = ChooseFBConfig(display, screen);
  if (!config) return false;
  mFBConfig = config;
  XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
  if (!visual) return false;

  const int w = std::max(1, WindowWidthAt(screenScale));
  const int h = std::max(1, WindowHeightAt(screenScale));

  // Both windows have the OpenGL visual: what the server reads back of the editor's window
  // (a screenshot, a host's thumbnail) then holds the view's pixels too.
  mColormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
  XSetWindowAttributes attributes = {};
  attributes.colormap = mColormap;
  attributes.border_pixel = 0;
  attributes.background_pixel = 0;  // black, where a size from the host leaves room
  attributes.event_mask = kWindowEventMask;
  mWnd = XCreateWindow(display, mParentWnd, 0, 0, static_cast<unsigned>(w),
                       static_cast<unsigned>(h), 0, visual->depth, InputOutput, visual->visual,
                       CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &attributes);
  if (mWnd != 0) {
    attributes.background_pixmap = None;  // the frames cover the view: no flash of background
    attributes.event_mask = kViewEventMask;
    mViewWnd =
        XCreateWindow(display, mWnd, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                      visual->depth, InputOutput, visual->visual,
                      CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
  }
  XFree(visual);
  if (mWnd == 0 || mViewWnd == 0) return false;
  mWindowWidth = w;
  mWindowHeight = h;
  mHostSizePending = false;
  mFollowingHost = false;
  ListOpenEditor(true);
  XStoreName(display, mWnd, "Kantele");
  SetSizeHints();
  XMapWindow(display, mViewWnd);
  XMapWindow(display, mWnd);
  // Every request so far answered: an error now means a parent that went away meanwhile, a
  // visual the server refused ...
  XSync(display, False);
  return x11::ErrorTrap::Errors(display) == 0;
}

bool IGfxLinux::StartDrawing(float screenScale) {
  mGLContext = glXCreateNewContext(mDisplay, static_cast<GLXFBConfig>(mFBConfig), GLX_RGBA_TYPE,
                                   nullptr, True);
  if (!mGLContext) return false;
  MakeGLContextCurrent();
  if (glXGetCurrentContext() != static_cast<GLXContext>(mGLContext) || !gladLoadGL(LoadGL)) {
    RestoreGLContext();
    return false;
  }
  PinGraphicsLibraries();

  mFrames = 0;
  mExposed.Clear();
  mButtonsDown = 0;
  mLastPressWasDouble = true;
  ViewCreated(mGLContext);
  // The scale the window was made at, applied: the host hears the size, the controls rescale.
  SetScreenScale(screenScale);
  if (auto* graphicsDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate))
    graphicsDelegate->RunLayout(*this);
  SetAllControlsDirty();
  RestoreGLContext();
  return true;
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
  if (exists) XDestroyWindow(display, mWnd);  // the view with it
  mWnd = 0;
  mViewWnd = 0;
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
  glXSwapBuffers(mDisplay, mViewWnd);
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
  if (!mFollowingHost) {
    XResizeWindow(mDisplay, mWnd, static_cast<unsigned>(w), static_cast<unsigned>(h));
    mWindowWidth = w;
    mWindowHeight = h;
  }
  PlaceView();
  if (!mFollowingHost) SetSizeHints();
  // Hosts read the hints on connections of their own, while laying out after the request the
  // editor made: they are in place at the server before the editor returns to the host.
  XSync(mDisplay, False);
}

void IGfxLinux::PlaceView() {
  const int w = std::max(1, WindowWidth());
  const int h = std::max(1, WindowHeight());
  XMoveResizeWindow(mDisplay, mViewWnd, std::max(0, (mWindowWidth - w) / 2),
                    std::max(0, (mWindowHeight - h) / 2), static_cast<unsigned>(w),
                    static_cast<unsigned>(h));
}

void IGfxLinux::SetSizeHints() {
  // Embedding hosts take the base size as the size the window would like (GTK's natural size)
  // and keep the window within the maximum. No minimum: a host may pin an embedded window's
  // size request to it, and then the editor could never grow.
  XSizeHints hints = {};
  hints.flags = PMaxSize | PBaseSize;
  hints.base_width = std::max(1, WindowWidth());
  hints.base_height = std::max(1, WindowHeight());
  const float screen = GetScreenScaleValue();
  hints.max_width = std::max(hints.base_width, WindowWidthFor(GetMaxScale(), screen));
  hints.max_height = std::max(hints.base_height, WindowHeightFor(GetMaxScale(), screen));
  XSetWMNormalHints(mDisplay, mWnd, &hints);
}

void IGfxLinux::FollowHostSize() {
  mHostSizePending = false;
  if (!mDisplay || mWnd == 0 || mWindowGone) return;
  // The grip leads while it is dragged: the host's answers to the requests it makes on the
  // way arrive late. Whatever the host holds when the drag ends is followed then.
  if (GetResizingInProcess()) {
    mHostSizePending = true;
    return;
  }
  // The server's answer counts every resize sent before it, the editor's own included: a
  // ConfigureNotify of an older size never undoes a newer one.
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(mDisplay, mWnd, &attributes) || attributes.width < 1 ||
      attributes.height < 1)
    return;
  mWindowWidth = attributes.width;
  mWindowHeight = attributes.height;
  if (mWindowWidth != WindowWidth() || mWindowHeight != WindowHeight()) {
    if (auto* graphicsDelegate = dynamic_cast<IGfxEditorDelegate*>(&mDelegate)) {
      mFollowingHost = true;
      graphicsDelegate->ResizeEditorWindow(mWindowWidth, mWindowHeight);
      mFollowingHost = false;
    }
  }
  // The zoom may be unchanged (the host's size has room around the picture): the view moves.
  // The hints keep the size the editor last asked for: the host's size is no new request.
  if (mDisplay && mWnd != 0 && !mWindowGone) {
    PlaceView();
    XFlush(mDisplay);
  }
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
  if (mSavedContext != mGLContext || mSavedDrawable != mViewWnd)
    glXMakeCurrent(mDisplay, mViewWnd, static_cast<GLXContext>(mGLContext));
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

int IGfxLinux::GetEventDescriptor() const { return mDisplay ? ConnectionNumber(mDisplay) : -1; }

void IGfxLinux::ProcessEvents() {
  while (mDisplay && XPending(mDisplay) > 0) {
    XEvent event;
    XNextEvent(mDisplay, &event);
    HandleEvent(event);
  }
  if (mHostSizePending) FollowHostSize();
}

void IGfxLinux::HandleEvent(XEvent& event) {
  switch (event.type) {
    case Expose: HandleExpose(event); break;
    case DestroyNotify: HandleDestroy(event); break;
    case ConfigureNotify: HandleConfigure(event); break;
    case ButtonPress: HandleButtonPress(event); break;
    case ButtonRelease: HandleButtonRelease(event); break;
    case MotionNotify: HandleMotion(event); break;
    case EnterNotify: HandleEnter(event); break;
    case LeaveNotify: HandleLeave(event); break;
    case x11::kKeyPressEvent:
    case KeyRelease: HandleKey(event); break;
    case SelectionRequest: AnswerSelectionRequest(event); break;
    case SelectionClear: HandleSelectionClear(event); break;
    default: break;
  }
}

void IGfxLinux::HandleExpose(const XEvent& event) {
  const XExposeEvent& e = event.xexpose;
  if (e.window != mViewWnd) return;
  const float scale = GetTotalScale();
  mExposed.Add(IRect(static_cast<float>(e.x) / scale, static_cast<float>(e.y) / scale,
                     static_cast<float>(e.x + e.width) / scale,
                     static_cast<float>(e.y + e.height) / scale));
}

void IGfxLinux::HandleDestroy(const XEvent& event) {
  // The host destroyed its window with the editor's inside: what needs the window goes now;
  // the connection stays until the editor is closed.
  const Window destroyed = event.xdestroywindow.window;
  if ((destroyed != mWnd && destroyed != mViewWnd) || mWindowGone) return;
  mWindowGone = true;
  ListOpenEditor(false);  // its id may be given to another client's window now
  ReleaseWindowResources(false);
}

void IGfxLinux::HandleConfigure(const XEvent& event) {
  const XConfigureEvent& e = event.xconfigure;
  if (e.window != mWnd || mWindowGone) return;
  // A move or a restacking leaves the size: nothing to follow.
  if (e.width != mWindowWidth || e.height != mWindowHeight) mHostSizePending = true;
}

}  // namespace gfx
}  // namespace kantele
