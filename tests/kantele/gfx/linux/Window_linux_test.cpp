// Linux only, with an X server (DISPLAY names it): the editor's window layer in host windows of
// the test's own. The editor is an IGfxLinux made here directly, laid out with recording
// controls (support/RecordingGfx), so what the X events do reaches the test as the controls'
// and the delegate's log, and each drawn frame is read back before the swap presents it.
//
// The test has its own connection to the server: it makes the host windows, looks at the
// editor's window from outside, and makes pointer and key input through the XTEST extension,
// so the events take the server's real path to the editor's connection. Nothing here services
// the editor's frame timer: the test runs the frame ticks itself, so none falls where a step
// does not expect it. Events the server delivers arrive when they arrive, so a step that waits
// for one runs ticks until its outcome shows (at most two seconds), never a fixed number.

// glad's header first: it must precede every other OpenGL header.
#include <glad/gl.h>

#include "kantele/gfx/platform/linux/IGfxLinux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kantele/gfx/controls/ITextEntryControl.h"
#include "kantele/gfx/support/RecordingGfx.h"
#include "kantele/gfx/support/X11Clients.h"
#include "kantele/gfx/support/X11Host.h"

// Xlib last: its macros (KeyPress, None, Bool ...) would rename the library's names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kantele {
namespace gfx {
namespace test {
namespace {

const IArgb kBackColor{255, 40, 80, 120};
const IArgb kNewBackColor{255, 120, 100, 10};
const IArgb kKnobColor{255, 200, 30, 60};
const IArgb kNewKnobColor{255, 20, 220, 90};
const IArgb kOtherColor{255, 230, 230, 20};

// Errors of every connection but the editors' reach the handler installed before the first
// editor opened: this one.
int sHandedOnErrors = 0;
int CountHandedOnError(Display*, XErrorEvent*) {
  ++sHandedOnErrors;
  return 0;
}

void* AsParent(Window wnd) { return reinterpret_cast<void*>(static_cast<uintptr_t>(wnd)); }
Window AsWindow(void* wnd) { return static_cast<Window>(reinterpret_cast<uintptr_t>(wnd)); }

/// The Linux editor, keeping every frame's pixels: read from the window's back buffer at the
/// end of the frame, after the back end has composed it and before the swap.
class LinuxEditor : public IGfxLinux {
 public:
  using IGfxLinux::IGfxLinux;

  void EndFrame() override {
    IGfxLinux::EndFrame();
    mFrameWidth = DevicePixelWidth();
    mFrameHeight = DevicePixelHeight();
    mPixels.resize(static_cast<size_t>(mFrameWidth) * static_cast<size_t>(mFrameHeight) * 4u);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, mFrameWidth, mFrameHeight, GL_RGBA, GL_UNSIGNED_BYTE, mPixels.data());
  }

  /// The last frame's pixel at device position (x, y), counted from the top.
  IArgb Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= mFrameWidth || y >= mFrameHeight) return IArgb(0, 0, 0, 0);
    const size_t i = (static_cast<size_t>(mFrameHeight - 1 - y) * static_cast<size_t>(mFrameWidth) +
                      static_cast<size_t>(x)) *
                     4u;
    return IArgb(mPixels[i + 3], mPixels[i], mPixels[i + 1], mPixels[i + 2]);
  }

  Window Wnd() { return AsWindow(GetNativeWindow()); }

  /// Frame ticks until one draws nothing: what the server reported (exposures, the pointer
  /// entering) is drawn, so the next frame comes only from what the test makes dirty.
  void Settle() {
    int frames = -1;
    auto tick = [&] {
      frames = FrameCount();
      OnFrameTick();
    };
    Until(tick, [&] { return FrameCount() == frames; });
  }

  int mFrameWidth = 0;
  int mFrameHeight = 0;
  std::vector<uint8_t> mPixels;
};

bool Near(const IArgb& a, const IArgb& b) {
  auto close = [](int x, int y) { return x - y <= 2 && y - x <= 2; };
  return close(a.A, b.A) && close(a.R, b.R) && close(a.G, b.G) && close(a.B, b.B);
}

::testing::AssertionResult ShowsColor(const LinuxEditor& g, int x, int y, const IArgb& c) {
  const IArgb p = g.Pixel(x, y);
  if (Near(p, c)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "pixel (" << x << ", " << y << ") is " << p.A << "/" << p.R << "/" << p.G << "/" << p.B
         << ", expected " << c.A << "/" << c.R << "/" << c.G << "/" << c.B;
}

/// An editor of 300 x 200 units in a host window: a background control and a "K" control over
/// (100, 50)-(200, 150) bound to parameter 0 ("Gain", 0 to 100), with mouse-over on.
class LinuxWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    XSetErrorHandler(CountHandedOnError);
    sHandedOnErrors = 0;
    x = OpenTestDisplay(2000);
    if (!x) {
      const char* name = std::getenv("DISPLAY");
      FAIL() << "No X display opens (DISPLAY=" << (name ? name : "unset")
             << "): these tests need an X server with the XTEST extension, as the test "
                "command starts one (Xvfb) and names it in DISPLAY";
    }
    ASSERT_TRUE(HasXTest(x)) << "the X server has no XTEST extension";
    root = DefaultRootWindow(x);
    ReleaseButtons(x);
    XWarpPointer(x, None, root, 0, 0, 0, 0, 1500, 1000);  // away from every window made here
    XSync(x, False);

    dlg.GetParam(0)->ConfigureDouble("Gain", 50., 0., 100., 0.1, "dB");
    dlg.UseLayout([this](IGfx& ui) {
      if (ui.NControls() > 0) return;
      ui.EnableMouseOver(true);
      back = static_cast<ProbeControl*>(
          ui.AttachControl(new ProbeControl("bg", IRect(0, 0, 300, 200), log)));
      back->mColor = kBackColor;
      knob = static_cast<ProbeControl*>(
          ui.AttachControl(new ProbeControl("K", IRect(100, 50, 200, 150), log, 0)));
      knob->mColor = kKnobColor;
    });
    g = std::make_unique<LinuxEditor>(dlg, 300, 200, 60, 1.f);
    host = MakeHost(40, 40);
  }

  void TearDown() override {
    g.reset();
    if (!x) return;
    ReleaseButtons(x);
    for (Window w : hosts) XDestroyWindow(x, w);
    XCloseDisplay(x);
  }

  /// A mapped top-level window whose key events this connection reads.
  Window MakeHost(int left, int top) {
    const Window w = MakeHostWindow(x, left, top, 700, 500, KeyPressMask | KeyReleaseMask);
    if (w) hosts.push_back(w);
    return w;
  }
  void DestroyHost(Window w) {
    DestroyHostWindow(x, w);
    hosts.erase(std::remove(hosts.begin(), hosts.end(), w), hosts.end());
  }

  Window Open() { return AsWindow(g->OpenWindow(AsParent(host))); }
  /// An editor like `g` that the delegate makes and owns, as a plug-in's delegate does (it
  /// zooms the editor to the sizes a host gives), opened in the host window; null when it did
  /// not open. It closes with the delegate.
  LinuxEditor* OpenThroughDelegate() {
    dlg.SetMakeGraphicsFunc(
        [this] { return std::make_unique<LinuxEditor>(dlg, 300, 200, 60, 1.f); });
    if (!dlg.OpenWindow(AsParent(host))) return nullptr;
    return static_cast<LinuxEditor*>(dlg.GetUI());
  }

  /// Frame ticks until `done`, the server having seen everything this connection sent.
  template <class Done>
  bool TickUntil(Done done, LinuxEditor* editor = nullptr) {
    XSync(x, False);
    LinuxEditor* e = editor ? editor : g.get();
    return Until([e] { e->OnFrameTick(); }, done);
  }

  // ---- Input through XTEST, as a user makes it.
  void MoveTo(Window wnd, int px, int py) { MovePointerTo(x, wnd, px, py); }
  void Button(unsigned int button, bool down) { PressButton(x, button, down); }
  void Click(unsigned int button) { ClickButton(x, button); }
  void TypeKey(KeySym sym) {
    ASSERT_TRUE(test::TypeKey(x, sym)) << "the X server's keymap has no key for keysym " << sym;
  }

  // ---- The server's view.
  std::vector<Window> Children(Window w) { return ChildWindows(x, w); }
  std::pair<unsigned int, unsigned int> SizeOf(Window w) {
    Window r = 0;
    int i = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned int u = 0;
    XGetGeometry(x, w, &r, &i, &i, &width, &height, &u, &u);
    return {width, height};
  }
  std::pair<int, int> PointerIn(Window w) {
    Window r = 0;
    Window c = 0;
    int rootX = 0;
    int rootY = 0;
    int px = -1;
    int py = -1;
    unsigned int mask = 0;
    XQueryPointer(x, w, &r, &c, &rootX, &rootY, &px, &py, &mask);
    return {px, py};
  }
  Window Focus() { return FocusedWindow(x); }
  /// Where the editor's picture lies in the editor's window `wnd`: its one child window, as the
  /// server places it (all zero when there is not exactly one).
  std::vector<int> ViewIn(Window wnd) {
    const std::vector<Window> children = Children(wnd);
    XWindowAttributes a = {};
    if (children.size() != 1 || !XGetWindowAttributes(x, children[0], &a)) return {0, 0, 0, 0};
    return {a.x, a.y, a.width, a.height};
  }
  /// What the server shows at (px, py) of `wnd`, opaque.
  IArgb ShownAt(Window wnd, int px, int py) {
    XImage* image = XGetImage(x, wnd, px, py, 1, 1, AllPlanes, ZPixmap);
    if (!image) return IArgb(0, 0, 0, 0);
    const unsigned long p = XGetPixel(image, 0, 0);
    const auto channel = [p](unsigned long mask) {
      int shift = 0;
      while (mask && !((mask >> shift) & 1u)) ++shift;
      return mask ? static_cast<int>(((p & mask) >> shift) * 255u / (mask >> shift)) : 0;
    };
    const IArgb c(255, channel(image->red_mask), channel(image->green_mask),
                  channel(image->blue_mask));
    XDestroyImage(image);
    return c;
  }
  XSizeHints SizeHints(Window wnd) {
    XSizeHints hints = {};
    long supplied = 0;
    XGetWMNormalHints(x, wnd, &hints, &supplied);
    return hints;
  }

  EventLog log;
  TestDelegate dlg{log};
  std::unique_ptr<LinuxEditor> g;
  Display* x = nullptr;
  Window root = 0;
  Window host = 0;
  std::vector<Window> hosts;
  ProbeControl* back = nullptr;
  ProbeControl* knob = nullptr;
};

TEST_F(LinuxWindowTest, OpensAChildWindowDrawsWhatIsDirtyAndFollowsTheDrawScale) {
  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  ASSERT_EQ(g->GetScreenScale(), 1.f) << "the X server's Xft.dpi asks for another screen scale";
  EXPECT_TRUE(g->IsWindowOpen());
  EXPECT_EQ(Children(host), std::vector<Window>{wnd});
  char* name = nullptr;
  ASSERT_TRUE(XFetchName(x, wnd, &name));
  EXPECT_STREQ(name, "Kantele");
  XFree(name);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(x, wnd, &attributes));
  EXPECT_EQ(attributes.map_state, IsViewable);
  EXPECT_EQ(SizeOf(wnd), std::make_pair(300u, 200u));
  // Laid out inside the open; the first frame is drawn before it returns.
  ASSERT_GE(IndexOf(log, "Layout 300 200 1"), 0);
  EXPECT_LT(IndexOf(log, "Layout 300 200 1"), IndexOf(log, "Opened"));
  ASSERT_GE(g->FrameCount(), 1);
  EXPECT_EQ(g->mFrameWidth, 300);
  EXPECT_EQ(g->mFrameHeight, 200);
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kKnobColor));
  EXPECT_TRUE(ShowsColor(*g, 10, 10, kBackColor));
  EXPECT_TRUE(ShowsColor(*g, 205, 155, kBackColor));

  // Only the dirty area is drawn: the background's new colour shows nowhere outside it, since
  // the background is not dirty itself. The tick after that frame has nothing to draw.
  g->Settle();
  back->mColor = kNewBackColor;
  knob->mColor = kNewKnobColor;
  knob->SetDirty(false);
  const int frames = g->FrameCount();
  g->OnFrameTick();
  ASSERT_EQ(g->FrameCount(), frames + 1);
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kNewKnobColor));
  EXPECT_TRUE(ShowsColor(*g, 10, 10, kBackColor));
  EXPECT_TRUE(ShowsColor(*g, 250, 100, kBackColor));
  g->OnFrameTick();
  EXPECT_EQ(g->FrameCount(), frames + 1);

  // Draw scale 2: the window doubles and the next frame covers all of it.
  g->Resize(300, 200, 2.f);
  EXPECT_GE(IndexOf(log, "ResizeFromEditor 600 400"), 0);
  EXPECT_TRUE(Until([] {}, [&] { return SizeOf(wnd) == std::make_pair(600u, 400u); }));
  ASSERT_TRUE(
      TickUntil([&] { return g->mFrameWidth == 600 && ShowsColor(*g, 300, 200, kNewKnobColor); }));
  EXPECT_EQ(g->mFrameHeight, 400);
  EXPECT_TRUE(ShowsColor(*g, 395, 295, kNewKnobColor));
  EXPECT_TRUE(ShowsColor(*g, 405, 305, kNewBackColor));
  EXPECT_TRUE(ShowsColor(*g, 10, 10, kNewBackColor));

  // Opened again in another parent while open: the window is made there, at its size.
  const Window otherHost = MakeHost(760, 40);
  const Window moved = AsWindow(g->OpenWindow(AsParent(otherHost)));
  ASSERT_NE(moved, 0u);
  EXPECT_TRUE(Children(host).empty());
  EXPECT_EQ(Children(otherHost), std::vector<Window>{moved});
  EXPECT_EQ(SizeOf(moved), std::make_pair(600u, 400u));

  // Closing destroys the window and forgets it.
  g->CloseWindow();
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_EQ(g->GetNativeWindow(), nullptr);
  EXPECT_TRUE(Children(otherHost).empty());
  g->CloseWindow();  // closing again does nothing
  EXPECT_EQ(g->XErrorCount(), 0);
}

TEST_F(LinuxWindowTest, TwoEditorsDrawAtOnceAndLeaveTheThreadsGLContextAlone) {
  HostGLContext hostGL(x);
  ASSERT_TRUE(hostGL.IsCurrent());

  EventLog otherLog;
  TestDelegate otherDlg{otherLog};
  otherDlg.UseLayout([&](IGfx& ui) {
    if (ui.NControls() > 0) return;
    static_cast<ProbeControl*>(
        ui.AttachControl(new ProbeControl("O", IRect(0, 0, 120, 80), otherLog)))
        ->mColor = kOtherColor;
  });
  const Window otherHost = MakeHost(760, 40);
  auto other = std::make_unique<LinuxEditor>(otherDlg, 120, 80, 60, 1.f);

  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  EXPECT_TRUE(hostGL.IsCurrent());
  const Window otherWnd = AsWindow(other->OpenWindow(AsParent(otherHost)));
  ASSERT_NE(otherWnd, 0u);
  EXPECT_TRUE(hostGL.IsCurrent());
  EXPECT_EQ(Children(otherHost), std::vector<Window>{otherWnd});
  EXPECT_EQ(SizeOf(otherWnd), std::make_pair(120u, 80u));
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kKnobColor));
  EXPECT_TRUE(ShowsColor(*other, 60, 40, kOtherColor));

  // Frames of both, one after the other, each in its own window and context.
  knob->mColor = kNewKnobColor;
  knob->SetDirty(false);
  other->SetAllControlsDirty();
  const int frames = g->FrameCount();
  const int otherFrames = other->FrameCount();
  ASSERT_TRUE(TickUntil([&] { return g->FrameCount() > frames; }));
  ASSERT_TRUE(TickUntil([&] { return other->FrameCount() > otherFrames; }, other.get()));
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kNewKnobColor));
  EXPECT_TRUE(ShowsColor(*other, 60, 40, kOtherColor));
  EXPECT_TRUE(hostGL.IsCurrent());

  // Closing the first leaves the second drawing.
  g->CloseWindow();
  EXPECT_TRUE(hostGL.IsCurrent());
  EXPECT_TRUE(Children(host).empty());
  const int before = other->FrameCount();
  other->SetAllControlsDirty();
  other->OnFrameTick();
  EXPECT_GT(other->FrameCount(), before);
  other->Resize(240, 160, 1.f);
  EXPECT_TRUE(Until([] {}, [&] { return SizeOf(otherWnd) == std::make_pair(240u, 160u); }));
  EXPECT_TRUE(hostGL.IsCurrent());

  other.reset();  // closes its window
  EXPECT_TRUE(Children(otherHost).empty());
  EXPECT_TRUE(hostGL.IsCurrent());
}

TEST_F(LinuxWindowTest, PointerEventsReachTheControlsInEditorUnits) {
  g->Resize(300, 200, 2.f);  // before the open: the window opens at the draw-scaled size
  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  ASSERT_EQ(SizeOf(wnd), std::make_pair(600u, 400u));

  // Press, drag and release: positions and movements in editor units, one edit gesture.
  MoveTo(wnd, 300, 200);
  Button(1, true);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Down 150 100") == 1; }));
  MoveTo(wnd, 310, 180);
  ASSERT_TRUE(TickUntil([&] { return !Matching(log, "K:Drag").empty(); }));
  Button(1, false);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Up 155 90") == 1; }));
  EXPECT_EQ(Matching(log, "K:Down"), EventLog{"K:Down 150 100"});
  EXPECT_EQ(Matching(log, "K:Drag"), EventLog{"K:Drag 155 90 5 -10"});
  EXPECT_LT(IndexOf(log, "Begin 0"), IndexOf(log, "K:Down 150 100"));
  EXPECT_LT(IndexOf(log, "K:Up 155 90"), IndexOf(log, "End 0"));

  // A move with no button held is no drag; nor is one with the middle button held, which
  // is a mouse-over as on Windows.
  const int overs = Count(log, "K:Over");
  MoveTo(wnd, 320, 220);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Over") > overs; }));
  Button(2, true);
  const int middleOvers = Count(log, "K:Over");
  MoveTo(wnd, 330, 230);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Over") > middleOvers; }));
  Button(2, false);
  MoveTo(wnd, 320, 220);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Up 165 115") == 1; }));
  EXPECT_EQ(Matching(log, "K:Drag").size(), 1u);

  // Two presses close in time and place: the second is a double click, not a press. A third
  // right after is a press again. (The first is more than 4 pixels from the earlier press.)
  // Sent together, so the server stamps them within milliseconds of each other.
  log.clear();
  const int screen = DefaultScreen(x);
  int rootX = 0;
  int rootY = 0;
  Window child = 0;
  XTranslateCoordinates(x, wnd, root, 322, 222, &rootX, &rootY, &child);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  XTestFakeMotionEvent(x, screen, rootX, rootY, CurrentTime);
  for (int i = 0; i < 2; ++i) {
    XTestFakeButtonEvent(x, 1, True, CurrentTime);
    XTestFakeButtonEvent(x, 1, False, CurrentTime);
  }
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Up 161 111") == 1; }));
  EXPECT_EQ(Matching(log, "K:Do"),
            (EventLog{"K:Down 160 110", "K:DoubleClick 161 111", "K:Down 161 111"}));

  // The wheel: button 4 is a notch up, button 5 a notch down.
  Click(4);
  Click(5);
  ASSERT_TRUE(TickUntil([&] { return Matching(log, "K:Wheel").size() == 2; }));
  EXPECT_EQ(Matching(log, "K:Wheel"), (EventLog{"K:Wheel 161 111 1", "K:Wheel 161 111 -1"}));

  // Button 3 is the right button: on a control with a parameter, the context menu's.
  Click(3);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:FillContextMenu") == 1; }));

  // Leaving the window for the host's is a mouse-out; coming back over the knob a mouse-over.
  log.clear();
  MoveTo(host, 650, 450);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Out") == 1; }));
  EXPECT_EQ(g->GetMouseOverControl(), nullptr);
  MoveTo(wnd, 300, 200);
  ASSERT_TRUE(TickUntil([&] { return g->GetMouseOverControl() == knob; }));
  EXPECT_GE(Count(log, "K:Over"), 1);
  EXPECT_TRUE(Matching(log, "K:Down").empty());
  EXPECT_TRUE(Matching(log, "K:Drag").empty());
}

// An embedding host sizes the editor's window to its own layout. The editor takes the largest
// zoom whose picture fits in the window (within its zoom range, 0.5 to 2 here), keeps the aspect
// ratio and centres the picture (from the top-left along a side the picture overflows), black
// around it; what is drawn where and where the pointer lands agree.
TEST_F(LinuxWindowTest, TheEditorTakesTheSizeTheHostGivesItsWindow) {
  LinuxEditor* e = OpenThroughDelegate();
  ASSERT_NE(e, nullptr);
  const Window wnd = e->Wnd();
  ASSERT_EQ(e->GetScreenScale(), 1.f) << "the X server's Xft.dpi asks for another screen scale";
  struct Case {
    const char* name;
    int width;
    int height;
    float zoom;
    std::vector<int> view;  // x, y, width, height in the editor's window
  };
  const Case cases[] = {
      {"larger, the same shape", 450, 300, 1.5f, {0, 0, 450, 300}},
      {"wider: room at the sides", 600, 200, 1.f, {150, 0, 300, 200}},
      {"taller: room above and below", 150, 150, 0.5f, {0, 25, 150, 100}},
      {"below the smallest zoom: cut from the top-left", 100, 60, 0.5f, {0, 0, 150, 100}},
      {"beyond the largest zoom", 900, 800, 2.f, {150, 200, 600, 400}},
  };
  const IArgb black(255, 0, 0, 0);
  size_t presses = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XResizeWindow(x, wnd, static_cast<unsigned>(c.width), static_cast<unsigned>(c.height));
    ASSERT_TRUE(TickUntil([&] { return ViewIn(wnd) == c.view; }, e))
        << ViewIn(wnd)[0] << ", " << ViewIn(wnd)[1] << " " << ViewIn(wnd)[2] << " x "
        << ViewIn(wnd)[3];
    EXPECT_NEAR(e->GetDrawScale(), c.zoom, 1e-4f);
    EXPECT_EQ(SizeOf(wnd),
              std::make_pair(static_cast<unsigned>(c.width), static_cast<unsigned>(c.height)));
    // The knob's centre (150, 100) where the picture puts it; black beside the picture.
    const int kx = c.view[0] + static_cast<int>(150.f * c.zoom);
    const int ky = c.view[1] + static_cast<int>(100.f * c.zoom);
    EXPECT_TRUE(TickUntil([&] { return Near(ShownAt(wnd, kx, ky), kKnobColor); }, e));
    if (c.view[0] > 0) {
      EXPECT_TRUE(Near(ShownAt(wnd, c.view[0] / 2, ky), black));
    }
    if (c.view[1] > 0) {
      EXPECT_TRUE(Near(ShownAt(wnd, kx, c.view[1] / 2), black));
    }
    // A press there reaches the knob at its centre (to the float: the zoom found for a size
    // may be a few steps of the float above the quotient). Two presses on one spot of the
    // picture in a row are a double click.
    MoveTo(wnd, kx, ky);
    Click(1);
    ++presses;
    ASSERT_TRUE(TickUntil([&] { return Matching(log, "K:Do").size() == presses; }, e));
    float px = 0.f;
    float py = 0.f;
    ASSERT_EQ(std::sscanf(Matching(log, "K:Do").back().c_str(), "%*s %f %f", &px, &py), 2);
    EXPECT_NEAR(px, 150.f, 0.01f);
    EXPECT_NEAR(py, 100.f, 0.01f);
  }
  EXPECT_EQ(e->XErrorCount(), 0);
}

// The size hints tell an embedding host the size the editor asks for (the base size, which GTK
// hosts take as the natural size) and the largest window (the largest zoom's), with no minimum;
// they are at the server when a resize of the editor's own returns, and a size the host gave is
// no request of the editor's.
TEST_F(LinuxWindowTest, SizeHintsCarryTheSizeTheEditorAsksFor) {
  LinuxEditor* e = OpenThroughDelegate();
  ASSERT_NE(e, nullptr);
  const Window wnd = e->Wnd();
  XSizeHints hints = SizeHints(wnd);
  EXPECT_EQ(hints.flags & (PMinSize | PBaseSize | PMaxSize), PBaseSize | PMaxSize);
  EXPECT_EQ(std::make_pair(hints.base_width, hints.base_height), std::make_pair(300, 200));
  EXPECT_EQ(std::make_pair(hints.max_width, hints.max_height), std::make_pair(600, 400));

  e->Resize(300, 200, 1.5f);
  hints = SizeHints(wnd);
  EXPECT_EQ(std::make_pair(hints.base_width, hints.base_height), std::make_pair(450, 300));
  EXPECT_EQ(SizeOf(wnd), std::make_pair(450u, 300u));

  XResizeWindow(x, wnd, 300, 300);
  ASSERT_TRUE(TickUntil([&] { return ViewIn(wnd) == std::vector<int>{0, 50, 300, 200}; }, e));
  hints = SizeHints(wnd);
  EXPECT_EQ(std::make_pair(hints.base_width, hints.base_height), std::make_pair(450, 300));
}

// While the corner grip is dragged the editor keeps the sizes it makes, whatever the host gives
// its window meanwhile (a host's layout answers the editor's requests late); the size the host
// holds when the drag ends is taken then.
TEST_F(LinuxWindowTest, AGripDragLeadsAndTheHostsSizeIsTakenWhenItEnds) {
  dlg.UseLayout([this](IGfx& ui) {
    if (ui.NControls() > 0) return;
    ui.AttachCornerResizer(20.f, false);
    back = static_cast<ProbeControl*>(
        ui.AttachControl(new ProbeControl("bg", IRect(0, 0, 300, 200), log)));
  });
  LinuxEditor* e = OpenThroughDelegate();
  ASSERT_NE(e, nullptr);
  const Window wnd = e->Wnd();
  MoveTo(wnd, 295, 195);  // on the grip
  Button(1, true);
  ASSERT_TRUE(TickUntil([&] { return e->GetResizingInProcess(); }, e));
  MoveTo(wnd, 443, 293);
  ASSERT_TRUE(TickUntil([&] { return SizeOf(wnd) == std::make_pair(450u, 300u); }, e));
  const float dragZoom = e->GetDrawScale();
  EXPECT_NEAR(dragZoom, 1.5f, 0.01f);

  // The host gives the window another size: the picture stays the drag's, where it was.
  XResizeWindow(x, wnd, 600, 400);
  XSync(x, False);
  Until([&] { e->OnFrameTick(); }, [] { return false; }, 200);
  EXPECT_EQ(e->GetDrawScale(), dragZoom);
  EXPECT_EQ(ViewIn(wnd), (std::vector<int>{0, 0, 450, 300}));
  // The drag goes on: the window takes the drag's size again.
  MoveTo(wnd, 355, 235);
  ASSERT_TRUE(TickUntil([&] { return e->GetDrawScale() < 1.3f; }, e));
  const std::vector<int> own = {0, 0, e->WindowWidth(), e->WindowHeight()};
  const auto ownSize = std::make_pair(static_cast<unsigned>(own[2]), static_cast<unsigned>(own[3]));
  EXPECT_TRUE(TickUntil([&] { return ViewIn(wnd) == own && SizeOf(wnd) == ownSize; }, e));

  // The host's last word comes during the drag; the release takes it.
  XResizeWindow(x, wnd, 600, 400);
  XSync(x, False);
  Button(1, false);
  EXPECT_TRUE(TickUntil([&] { return ViewIn(wnd) == std::vector<int>{0, 0, 600, 400}; }, e));
  EXPECT_EQ(e->GetDrawScale(), 2.f);
  EXPECT_FALSE(e->GetResizingInProcess());
}

TEST_F(LinuxWindowTest, KeysTheEditorDoesNotTakeGoOnToTheHostWindow) {
  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  // A press gives the editor the keyboard focus.
  MoveTo(wnd, 150, 100);
  Click(1);
  ASSERT_TRUE(TickUntil([&] { return Focus() == wnd; }));

  // Keys go to the control under the pointer; one it takes goes no further.
  knob->mKeyResult = true;
  TypeKey(XK_a);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:KeyUp 150 100 65") == 1; }));
  EXPECT_EQ(Count(log, "K:KeyDown 150 100 65"), 1);

  // One it does not take reaches the host's window, sent on by the editor. Had the taken key
  // been sent on too, it would have arrived first.
  knob->mKeyResult = false;
  TypeKey(XK_a);
  std::vector<XKeyEvent> atHost;
  auto readHost = [&] {
    XEvent e;
    while (XCheckWindowEvent(x, host, KeyPressMask | KeyReleaseMask, &e)) atHost.push_back(e.xkey);
    return atHost.size() >= 2;
  };
  ASSERT_TRUE(TickUntil(readHost));
  EXPECT_EQ(Count(log, "K:KeyDown 150 100 65"), 2);
  ASSERT_EQ(atHost.size(), 2u);
  EXPECT_EQ(atHost[0].type, KeyPress);
  EXPECT_EQ(atHost[1].type, KeyRelease);
  for (const XKeyEvent& k : atHost) {
    EXPECT_TRUE(k.send_event);
    EXPECT_EQ(k.window, host);
    EXPECT_EQ(k.keycode, XKeysymToKeycode(x, XK_a));
  }
}

TEST_F(LinuxWindowTest, AHiddenLockedCursorStaysWhereItWasHidden) {
  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  MoveTo(wnd, 150, 100);
  Button(1, true);
  ASSERT_TRUE(TickUntil([&] { return Count(log, "K:Down 150 100") == 1; }));

  // Hidden and locked, as a knob does on its press: a drag still moves the value, and the
  // pointer goes back where it was hidden.
  g->SetCursorHidden(true, true);
  EXPECT_TRUE(g->GetCursorHidden());
  // Each step of the drag is measured from there, and the pointer's move back is no step.
  for (int step = 1; step <= 2; ++step) {
    MoveTo(wnd, 170, 80);
    ASSERT_TRUE(TickUntil([&] { return Matching(log, "K:Drag").size() >= size_t(step); }));
    EXPECT_TRUE(Until([] {}, [&] { return PointerIn(wnd) == std::make_pair(150, 100); }));
  }
  EXPECT_EQ(Matching(log, "K:Drag"), (EventLog{"K:Drag 170 80 20 -20", "K:Drag 170 80 20 -20"}));
  Button(1, false);
  ASSERT_TRUE(TickUntil([&] { return !Matching(log, "K:Up").empty(); }));

  // Shown again: the pointer is put where it was hidden, wherever it went meanwhile.
  MoveTo(wnd, 250, 180);
  g->SetCursorHidden(false);
  EXPECT_FALSE(g->GetCursorHidden());
  EXPECT_TRUE(Until([] {}, [&] { return PointerIn(wnd) == std::make_pair(150, 100); }));
  float px = 0.f;
  float py = 0.f;
  ASSERT_TRUE(g->GetCursorPosition(px, py));
  EXPECT_EQ(px, 150.f);
  EXPECT_EQ(py, 100.f);

  // SetCursor answers the type it replaces; types outside the table show the arrow and
  // make no X error (GetCursorPosition's round trip has collected any).
  EXPECT_EQ(g->SetCursor(kHandCursor), kArrowCursor);
  EXPECT_EQ(g->SetCursor(static_cast<ECursor>(99)), kHandCursor);
  EXPECT_EQ(g->SetCursor(static_cast<ECursor>(-3)), static_cast<ECursor>(99));
  EXPECT_EQ(g->SetCursor(kSizeNWSECursor), static_cast<ECursor>(-3));
  ASSERT_TRUE(g->GetCursorPosition(px, py));
  EXPECT_EQ(g->XErrorCount(), 0);
}

TEST_F(LinuxWindowTest, TheClipboardIsReadFromAndOfferedToOtherClients) {
  ASSERT_NE(Open(), 0u);
  const Atom clipboard = XInternAtom(x, "CLIPBOARD", False);
  const std::string euro = "Gain \xE2\x82\xAC 3";
  std::string text = "stale";

  // No owner: nothing to read.
  XSetSelectionOwner(x, clipboard, None, CurrentTime);
  XSync(x, False);
  EXPECT_FALSE(g->ReadClipboardText(text));
  EXPECT_EQ(text, "");

  // Another client's text, as UTF-8; from an owner refusing UTF8_STRING, its Latin-1 STRING.
  {
    ClipboardOwner owner({{"UTF8_STRING", "UTF8_STRING", euro}});
    EXPECT_TRUE(g->ReadClipboardText(text));
    EXPECT_EQ(text, euro);
    EXPECT_EQ(owner.Stop(), std::vector<std::string>{"UTF8_STRING"});
  }
  {
    ClipboardOwner owner({{"STRING", "STRING", "Gr\366\337e 3"}});
    EXPECT_TRUE(g->ReadClipboardText(text));
    EXPECT_EQ(text, "Gr\303\266\303\237e 3");
    EXPECT_EQ(owner.Stop(), (std::vector<std::string>{"UTF8_STRING", "STRING"}));
  }
  {
    text = "stale";
    ClipboardOwner silent({}, false);  // never answers: given up after the wait
    EXPECT_FALSE(g->ReadClipboardText(text));
    EXPECT_EQ(text, "");
  }

  // The editor's own text: read back directly, and offered to other clients while its events
  // are processed: UTF-8, the targets it offers, Latin-1 with '?' for what Latin-1 lacks; any
  // other target is refused.
  ASSERT_TRUE(g->WriteClipboardText(euro.c_str()));
  EXPECT_EQ(XGetSelectionOwner(x, clipboard), g->Wnd());
  EXPECT_TRUE(g->ReadClipboardText(text));
  EXPECT_EQ(text, euro);
  const std::vector<Converted> got =
      RequestClipboard({"UTF8_STRING", "TARGETS", "STRING", "PIXMAP"}, [&] { g->ProcessEvents(); });
  ASSERT_EQ(got.size(), 4u);
  EXPECT_TRUE(got[0].mGiven);
  EXPECT_EQ(got[0].mType, "UTF8_STRING");
  EXPECT_EQ(got[0].mBytes, euro);
  EXPECT_EQ(got[1].mType, "ATOM");
  for (const char* target : {"TARGETS", "UTF8_STRING", "STRING"}) {
    EXPECT_NE(std::find(got[1].mAtoms.begin(), got[1].mAtoms.end(), target), got[1].mAtoms.end())
        << target;
  }
  EXPECT_EQ(got[2].mType, "STRING");
  EXPECT_EQ(got[2].mBytes, "Gain ? 3");
  EXPECT_TRUE(got[3].mAnswered);
  EXPECT_FALSE(got[3].mGiven);

  // A second editor, on its own connection, copying takes the clipboard over.
  EventLog otherLog;
  TestDelegate otherDlg{otherLog};
  auto other = std::make_unique<LinuxEditor>(otherDlg, 120, 80, 60, 1.f);
  ASSERT_NE(other->OpenWindow(AsParent(MakeHost(760, 40))), nullptr);
  ASSERT_TRUE(other->WriteClipboardText("Mix 25 %"));
  EXPECT_EQ(XGetSelectionOwner(x, clipboard), other->Wnd());
  const std::vector<Converted> taken = RequestClipboard({"UTF8_STRING"}, [&] {
    g->ProcessEvents();
    other->ProcessEvents();
  });
  EXPECT_EQ(taken[0].mBytes, "Mix 25 %");
  // An editor of the same process pastes it at once: the owner could not answer a request
  // while this thread waits for the answer.
  text = "stale";
  EXPECT_TRUE(g->ReadClipboardText(text));
  EXPECT_EQ(text, "Mix 25 %");
  other->CloseWindow();
  EXPECT_FALSE(g->ReadClipboardText(text));  // the selection went with the window
  EXPECT_EQ(g->XErrorCount(), 0);
  EXPECT_EQ(other->XErrorCount(), 0);
}

TEST_F(LinuxWindowTest, TextIsEnteredInTheEditorsOwnEntryControl) {
  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  ASSERT_EQ(g->GetTextEntryControl(), nullptr);

  // A press gives the editor the keys; then the user is asked for the knob's value. X11 has
  // no native text box: the editor makes its own entry control and opens it, prefilled.
  MoveTo(wnd, 20, 20);
  Click(1);
  ASSERT_TRUE(TickUntil([&] { return Focus() == wnd; }));
  g->PromptForValue(knob, IRect(130, 92, 170, 108), 0);
  auto* entry = dynamic_cast<ITextEntryControl*>(g->GetTextEntryControl());
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->IsEditing());
  EXPECT_EQ(g->GetTextEntryEditingControl(), knob);
  EXPECT_EQ(entry->GetEditText(), "50.0");
  ASSERT_TRUE(TickUntil([&] { return !Near(g->Pixel(132, 94), kKnobColor); }));  // drawn

  // Typed keys replace the selected text; Return commits it into the parameter.
  TypeKey(XK_4);
  TypeKey(XK_2);
  TypeKey(XK_Return);
  ASSERT_TRUE(TickUntil([&] { return !Matching(log, "Value").empty(); }));
  EXPECT_EQ(Matching(log, "Value"), EventLog{"Value 0 0.42"});
  EXPECT_FALSE(entry->IsEditing());
  EXPECT_EQ(g->GetTextEntryEditingControl(), nullptr);

  // Opened again (the same control) and cancelled: nothing is committed.
  g->OpenTextEntry(*knob, ITextStyle(), IRect(100, 50, 200, 80), "12", 0);
  EXPECT_EQ(g->GetTextEntryControl(), entry);
  EXPECT_TRUE(entry->IsEditing());
  EXPECT_EQ(entry->GetEditText(), "12");
  g->CancelTextEntry();
  EXPECT_FALSE(entry->IsEditing());
  EXPECT_EQ(g->GetTextEntryEditingControl(), nullptr);
  g->OnFrameTick();
  EXPECT_EQ(Matching(log, "Value").size(), 1u);
}

TEST_F(LinuxWindowTest, BadParentsAndAHostDestroyingItsWindowFirstAreSurvived) {
  // No parent, or no window of that id: no window, nothing left behind.
  EXPECT_EQ(g->OpenWindow(nullptr), nullptr);
  EXPECT_EQ(g->OpenWindow(AsParent(0x7FFFFFF)), nullptr);
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_EQ(g->GetNativeWindow(), nullptr);
  EXPECT_EQ(Count(log, "Opened"), 0);
  float px = 0.f;
  float py = 0.f;
  EXPECT_FALSE(g->GetCursorPosition(px, py));
  EXPECT_FALSE(g->WriteClipboardText("x"));
  g->OnFrameTick();
  EXPECT_EQ(g->FrameCount(), 0);

  // While an editor is open, the errors of other connections still reach their handler.
  HostGLContext hostGL(x);
  ASSERT_TRUE(hostGL.IsCurrent());
  ASSERT_NE(Open(), 0u);
  Window r = 0;
  int i = 0;
  unsigned int u = 0;
  XGetGeometry(x, 0x7FFFFFE, &r, &i, &i, &u, &u, &u, &u);
  EXPECT_EQ(sHandedOnErrors, 1);

  // The host destroys its window, with the editor's in it, before closing the editor.
  DestroyHost(host);
  g->CloseWindow();
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_TRUE(hostGL.IsCurrent());

  // The same, with frame ticks between: once the editor has heard, it draws no more.
  host = MakeHost(40, 40);
  ASSERT_NE(Open(), 0u);
  DestroyHost(host);
  int frames = -1;
  EXPECT_TRUE(Until(
      [&] {
        frames = g->FrameCount();
        g->SetAllControlsDirty();
        g->OnFrameTick();
      },
      [&] { return g->FrameCount() == frames; }));
  EXPECT_TRUE(hostGL.IsCurrent());
  EXPECT_FALSE(g->WriteClipboardText("x"));
  g->WarpCursor(10.f, 10.f);
  g->SetCursorHidden(true, true);
  g->SetCursorHidden(false);
  g->CloseWindow();
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_TRUE(hostGL.IsCurrent());

  // Opened again in a new host window, it works as ever.
  host = MakeHost(40, 40);
  const Window wnd = Open();
  ASSERT_NE(wnd, 0u);
  EXPECT_EQ(Children(host), std::vector<Window>{wnd});
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kKnobColor));
  EXPECT_TRUE(hostGL.IsCurrent());
  g->CloseWindow();

  // With every editor closed the handler is the one installed before; every error the
  // editor's requests made was its own.
  EXPECT_EQ(XSetErrorHandler(CountHandedOnError), CountHandedOnError);
  EXPECT_EQ(sHandedOnErrors, 1);
}

}  // namespace
}  // namespace test
}  // namespace gfx
}  // namespace kantele
