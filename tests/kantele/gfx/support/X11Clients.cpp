// glad's header first: it must precede every other OpenGL header.
#include <glad/gl.h>

#include "kantele/gfx/support/X11Clients.h"

#include "kantele/gfx/support/X11Host.h"

#include <glad/glx.h>
#include <poll.h>

#include <utility>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace kantele::gfx::test {

namespace {

// Waits up to `ms` for the connection to have something to read.
void WaitForInput(Display* display, int ms) {
  pollfd fd = {ConnectionNumber(display), POLLIN, 0};
  poll(&fd, 1, ms);
}

std::string AtomName(Display* display, Atom atom) {
  char* name = atom != None ? XGetAtomName(display, atom) : nullptr;
  std::string out = name ? name : "";
  if (name) XFree(name);
  return out;
}

// A 1 x 1 window that takes no input and is never mapped: a place for selections to go.
Window MakeSelectionWindow(Display* display) {
  return XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, CopyFromParent,
                       InputOnly, CopyFromParent, 0, nullptr);
}

}  // namespace

// ---- HostGLContext.

HostGLContext::HostGLContext(Display* display) : mDisplay(display) {
  const int screen = DefaultScreen(display);
  if (!gladLoaderLoadGLX(display, screen)) return;
  const int attribs[] = {GLX_DRAWABLE_TYPE,
                         GLX_WINDOW_BIT,
                         GLX_RENDER_TYPE,
                         GLX_RGBA_BIT,
                         GLX_DOUBLEBUFFER,
                         True,
                         None};
  int n = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, attribs, &n);
  if (!configs) return;
  XVisualInfo* visual = n > 0 ? glXGetVisualFromFBConfig(display, configs[0]) : nullptr;
  if (visual) {
    mColormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    XSetWindowAttributes a = {};
    a.colormap = mColormap;
    mWnd =
        XCreateWindow(display, RootWindow(display, screen), 1000, 700, 100, 100, 0, visual->depth,
                      InputOutput, visual->visual, CWColormap | CWBorderPixel, &a);
    XMapWindow(display, mWnd);
    GLXContext context = glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    if (context) glXMakeContextCurrent(display, mWnd, mWnd, context);
    mContext = context;
    XFree(visual);
  }
  XFree(configs);
}

HostGLContext::~HostGLContext() {
  if (mContext) {
    glXMakeContextCurrent(mDisplay, None, None, nullptr);
    glXDestroyContext(mDisplay, static_cast<GLXContext>(mContext));
  }
  if (mWnd) XDestroyWindow(mDisplay, mWnd);
  if (mColormap) XFreeColormap(mDisplay, mColormap);
  XSync(mDisplay, False);
}

bool HostGLContext::IsCurrent() const {
  return mContext && glXGetCurrentContext() == static_cast<GLXContext>(mContext) &&
         glXGetCurrentDrawable() == mWnd && glXGetCurrentDisplay() == mDisplay;
}

// ---- ClipboardOwner.

ClipboardOwner::ClipboardOwner(std::vector<Answer> answers, bool serve)
    : mAnswers(std::move(answers)) {
  // Owner before the constructor returns: the server has it when the test asks.
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay) return;
  mWnd = MakeSelectionWindow(mDisplay);
  XSetSelectionOwner(mDisplay, XInternAtom(mDisplay, "CLIPBOARD", False), mWnd, CurrentTime);
  XSync(mDisplay, False);
  if (serve) mThread = std::thread([this] { Serve(); });
}

ClipboardOwner::~ClipboardOwner() {
  Stop();
  if (!mDisplay) return;
  XDestroyWindow(mDisplay, mWnd);
  XCloseDisplay(mDisplay);
}

std::vector<std::string> ClipboardOwner::Stop() {
  mStop = true;
  if (mThread.joinable()) mThread.join();
  return mRequested;
}

void ClipboardOwner::Serve() {
  while (!mStop) {
    while (XPending(mDisplay) > 0) {
      XEvent e;
      XNextEvent(mDisplay, &e);
      if (e.type != SelectionRequest) continue;
      const XSelectionRequestEvent& r = e.xselectionrequest;
      mRequested.push_back(AtomName(mDisplay, r.target));
      XEvent reply = {};
      reply.xselection.type = SelectionNotify;
      reply.xselection.requestor = r.requestor;
      reply.xselection.selection = r.selection;
      reply.xselection.target = r.target;
      reply.xselection.time = r.time;
      reply.xselection.property = None;  // refused, unless listed
      for (const Answer& a : mAnswers) {
        if (a.mTarget != mRequested.back()) continue;
        XChangeProperty(mDisplay, r.requestor, r.property,
                        XInternAtom(mDisplay, a.mType.c_str(), False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(a.mBytes.data()),
                        static_cast<int>(a.mBytes.size()));
        reply.xselection.property = r.property;
      }
      XSendEvent(mDisplay, r.requestor, False, NoEventMask, &reply);
      XFlush(mDisplay);
    }
    WaitForInput(mDisplay, 10);
  }
}

// ---- RequestClipboard.

std::vector<Converted> RequestClipboard(const std::vector<std::string>& targets,
                                        const std::function<void()>& pump) {
  std::vector<Converted> got(targets.size());
  Display* d = XOpenDisplay(nullptr);
  if (!d) return got;
  const Window wnd = MakeSelectionWindow(d);
  XSync(d, False);
  std::atomic<bool> done{false};
  std::thread requestor([&] {
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom property = XInternAtom(d, "TEST_SELECTION", False);
    for (size_t i = 0; i < targets.size(); ++i) {
      XConvertSelection(d, clipboard, XInternAtom(d, targets[i].c_str(), False), property, wnd,
                        CurrentTime);
      XFlush(d);
      XEvent e;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (!(got[i].mAnswered = XCheckTypedWindowEvent(d, wnd, SelectionNotify, &e) != 0) &&
             std::chrono::steady_clock::now() < deadline) {
        WaitForInput(d, 10);
      }
      if (!got[i].mAnswered || e.xselection.property == None) continue;
      got[i].mGiven = true;
      Atom type = None;
      int format = 0;
      unsigned long n = 0;
      unsigned long after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(d, wnd, property, 0, 1 << 16, True, AnyPropertyType, &type, &format,
                             &n, &after, &data) != Success) {
        continue;
      }
      got[i].mType = AtomName(d, type);
      if (format == 8) got[i].mBytes.assign(reinterpret_cast<const char*>(data), n);
      for (unsigned long k = 0; format == 32 && k < n; ++k)
        got[i].mAtoms.push_back(AtomName(d, reinterpret_cast<const Atom*>(data)[k]));
      if (data) XFree(data);
    }
    done = true;
  });
  Until(
      pump, [&] { return done.load(); }, 5000);
  requestor.join();
  XDestroyWindow(d, wnd);
  XCloseDisplay(d);
  return got;
}

}  // namespace kantele::gfx::test
