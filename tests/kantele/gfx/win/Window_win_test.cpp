// Windows only, with a display: the editor's window layer in a host window of the test's own.
// The editor is an IGfxWin made here directly, laid out with recording controls (support/
// RecordingGfx), so what the messages do reaches the test as the controls' and the delegate's
// log, and each drawn frame is read back before the swap presents it.

// glad's header first: it must precede every other OpenGL header.
#include <glad/gl.h>

#include "kantele/gfx/platform/win/IGfxWin.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kantele/gfx/support/RecordingGfx.h"
#include "support/MessagePump.h"

namespace kantele {
namespace gfx {
namespace test {
namespace {

using kantele::test::PumpMessagesFor;
using kantele::test::PumpMessagesUntil;

const IArgb kBackColor{255, 40, 80, 120};
const IArgb kKnobColor{255, 200, 30, 60};
const IArgb kNewKnobColor{255, 20, 220, 90};

/// The Windows editor, keeping every frame's pixels: read from the window's back buffer at the
/// end of the frame, after the back end has composed it and before the swap.
class WinEditor : public IGfxWin {
 public:
  using IGfxWin::IGfxWin;

  void EndFrame() override {
    IGfxWin::EndFrame();
    mFrameWidth = DevicePixelWidth();
    mFrameHeight = DevicePixelHeight();
    mPixels.resize(static_cast<size_t>(mFrameWidth) * static_cast<size_t>(mFrameHeight) * 4u);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, mFrameWidth, mFrameHeight, GL_RGBA, GL_UNSIGNED_BYTE, mPixels.data());
    ++mFrames;
  }

  /// The last frame's pixel at device position (x, y), counted from the top.
  IArgb Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= mFrameWidth || y >= mFrameHeight) return IArgb(0, 0, 0, 0);
    const size_t i = (static_cast<size_t>(mFrameHeight - 1 - y) * static_cast<size_t>(mFrameWidth) +
                      static_cast<size_t>(x)) *
                     4u;
    return IArgb(mPixels[i + 3], mPixels[i], mPixels[i + 1], mPixels[i + 2]);
  }

  /// Stops the frame source: from here on only Tick() runs frame ticks. A tick the vertical-
  /// blank thread posted before it stopped may still wait in the queue; the caller pumps it.
  void StopTicks() { mFramePacer.Stop(mWnd); }
  void ResumeTicks() { mFramePacer.Start(mWnd, FPS()); }
  /// One frame tick now, as the newest vertical blank (or timer message) would run it.
  void Tick() {
    mFramePacer.CancelSkip();
    OnFrameTick(mFramePacer.NewestTick());
  }

  HWND Tooltip() const { return mTooltipWnd; }
  HWND TextEntryBox() const { return mTextEntryWnd; }

  int mFrames = 0;
  int mFrameWidth = 0;
  int mFrameHeight = 0;
  std::vector<uint8_t> mPixels;
};

// Key messages that reached a host window.
std::vector<WPARAM> sHostKeys;

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN) sHostKeys.push_back(wParam);
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND MakeHost(int w = 700, int h = 500) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KanteleTestHost";
  RegisterClassA(&wc);  // fails harmlessly once registered
  return CreateWindowExA(0, "KanteleTestHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, w, h,
                         nullptr, nullptr, wc.hInstance, nullptr);
}

SIZE ClientSize(HWND wnd) {
  RECT r = {};
  GetClientRect(wnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

bool ClassRegistered() {
  WNDCLASSA info;
  return GetClassInfoA(GetModuleHandleA(nullptr), "KanteleWndClass", &info) != FALSE;
}

bool Near(const IArgb& a, const IArgb& b) {
  auto close = [](int x, int y) { return x - y <= 2 && y - x <= 2; };
  return close(a.A, b.A) && close(a.R, b.R) && close(a.G, b.G) && close(a.B, b.B);
}

::testing::AssertionResult ShowsColor(const WinEditor& g, int x, int y, const IArgb& c) {
  const IArgb p = g.Pixel(x, y);
  if (Near(p, c)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "pixel (" << x << ", " << y << ") is " << p.A << "/" << p.R << "/" << p.G << "/" << p.B
         << ", expected " << c.A << "/" << c.R << "/" << c.G << "/" << c.B;
}

/// An editor of 300 x 200 units in a host window: a background control and a "K" control over
/// (100, 50)-(200, 150) bound to parameter 0 ("Gain", 0 to 100), with tooltips on.
class WinWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sHostKeys.clear();
    dlg.GetParam(0)->ConfigureDouble("Gain", 50., 0., 100., 0.1, "dB");
    dlg.UseLayout([this](IGfx& g) {
      if (g.NControls() > 0) return;
      g.EnableTooltips(true);
      back = static_cast<ProbeControl*>(
          g.AttachControl(new ProbeControl("bg", IRect(0, 0, 300, 200), log)));
      back->mColor = kBackColor;
      knob = static_cast<ProbeControl*>(
          g.AttachControl(new ProbeControl("K", IRect(100, 50, 200, 150), log, 0)));
      knob->mColor = kKnobColor;
    });
    g = std::make_unique<WinEditor>(dlg, 300, 200, 60, 1.f);
    host = MakeHost();
    ASSERT_NE(host, nullptr);
  }

  void TearDown() override {
    g.reset();
    DestroyWindow(host);
    PumpMessagesFor(10);
  }

  HWND Open() { return static_cast<HWND>(g->OpenWindow(host)); }
  bool NextFrame() {
    const int frames = g->mFrames;
    return PumpMessagesUntil([&] { return g->mFrames > frames; });
  }

  EventLog log;
  TestDelegate dlg{log};
  std::unique_ptr<WinEditor> g;
  HWND host = nullptr;
  ProbeControl* back = nullptr;
  ProbeControl* knob = nullptr;
};

TEST_F(WinWindowTest, OpensAChildWindowDrawsWhatIsDirtyAndFollowsTheDrawScale) {
  HWND wnd = Open();
  ASSERT_NE(wnd, nullptr);
  EXPECT_TRUE(g->IsWindowOpen());
  EXPECT_EQ(g->GetNativeWindow(), wnd);
  char name[32] = {};
  GetClassNameA(wnd, name, sizeof(name));
  EXPECT_STREQ(name, "KanteleWndClass");
  EXPECT_EQ(GetParent(wnd), host);
  EXPECT_EQ(GetWindowLongA(wnd, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(ClientSize(wnd).cx, 300);
  EXPECT_EQ(ClientSize(wnd).cy, 200);
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 1);
  // Laid out inside the open, values pushed at its end; tooltips made for the window.
  ASSERT_GE(IndexOf(log, "Layout 300 200 1"), 0);
  EXPECT_LT(IndexOf(log, "Layout 300 200 1"), IndexOf(log, "Opened"));
  EXPECT_NE(g->Tooltip(), nullptr);
  EXPECT_TRUE(g->TooltipsEnabled());

  ASSERT_TRUE(PumpMessagesUntil([&] { return g->mFrames > 0; }));
  EXPECT_EQ(g->mFrameWidth, 300);
  EXPECT_EQ(g->mFrameHeight, 200);
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kKnobColor));
  EXPECT_TRUE(ShowsColor(*g, 10, 10, kBackColor));
  EXPECT_TRUE(ShowsColor(*g, 205, 155, kBackColor));

  // With nothing dirty a tick draws nothing; a dirty control is drawn within the next one
  // (UpdateWindow paints at once). The test runs the ticks itself, without pumping between
  // them: Wine also repaints whenever the X server reports the window exposed. The first
  // tick draws what is still dirty when the first frame came from such a repaint.
  g->StopTicks();
  PumpMessagesFor(50);
  g->Tick();
  const int frames = g->mFrames;
  for (int i = 0; i < 5; ++i) g->Tick();
  EXPECT_EQ(g->mFrames, frames);
  knob->mColor = kNewKnobColor;
  knob->SetDirty(false);
  g->Tick();
  EXPECT_GT(g->mFrames, frames);
  EXPECT_TRUE(ShowsColor(*g, 150, 100, kNewKnobColor));
  EXPECT_TRUE(ShowsColor(*g, 10, 10, kBackColor));
  const int dirtyFrames = g->mFrames;
  g->Tick();
  EXPECT_EQ(g->mFrames, dirtyFrames);
  g->ResumeTicks();

  // Draw scale 2 (the construction scale 1 allows up to 2): the window doubles and so does
  // everything drawn in it.
  g->Resize(300, 200, 2.f);
  EXPECT_EQ(ClientSize(wnd).cx, 600);
  EXPECT_EQ(ClientSize(wnd).cy, 400);
  EXPECT_GE(IndexOf(log, "ResizeFromEditor 600 400"), 0);
  // (Under Wine the window's OpenGL surface follows the X window's new size a little later
  // than the window does: the first frames may be drawn on the old surface.)
  ASSERT_TRUE(PumpMessagesUntil(
      [&] { return g->mFrameWidth == 600 && ShowsColor(*g, 300, 200, kNewKnobColor); }));
  EXPECT_EQ(g->mFrameHeight, 400);
  EXPECT_TRUE(ShowsColor(*g, 395, 295, kNewKnobColor));
  EXPECT_TRUE(ShowsColor(*g, 405, 305, kBackColor));

  // Opened again in another parent while open: the window moves there with its size.
  HWND otherHost = MakeHost();
  HWND moved = static_cast<HWND>(g->OpenWindow(otherHost));
  ASSERT_NE(moved, nullptr);
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_EQ(GetParent(moved), otherHost);
  EXPECT_EQ(ClientSize(moved).cx, 600);
  EXPECT_EQ(ClientSize(moved).cy, 400);
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 1);

  // Closing forgets the window; the class goes with the last editor.
  g->CloseWindow();
  DestroyWindow(otherHost);
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_FALSE(IsWindow(moved));
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 0);
  EXPECT_FALSE(ClassRegistered());
}

TEST_F(WinWindowTest, MessagesReachTheControlsInEditorUnits) {
  g->Resize(300, 200, 2.f);  // before the open: the window opens at the draw-scaled size
  HWND wnd = Open();
  ASSERT_NE(wnd, nullptr);
  ASSERT_EQ(ClientSize(wnd).cx, 600);
  knob->SetTooltip("Gain knob");

  // Press, drag and release: positions and movements in editor units, one edit gesture.
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 200));
  EXPECT_EQ(GetCapture(), wnd);
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 200));  // no movement, no drag
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(310, 180));
  SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(310, 180));
  EXPECT_NE(GetCapture(), wnd);
  EXPECT_EQ(Matching(log, "K:D"), (EventLog{"K:Down 150 100", "K:Drag 155 90 5 -10"}));
  EXPECT_EQ(Count(log, "K:Up 155 90"), 1);
  EXPECT_LT(IndexOf(log, "Begin 0"), IndexOf(log, "K:Down 150 100"));
  EXPECT_LT(IndexOf(log, "K:Up 155 90"), IndexOf(log, "End 0"));

  // A move with a button held but nothing captured is no drag.
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(320, 220));
  EXPECT_EQ(Matching(log, "K:Drag").size(), 1u);

  // The middle button captures and releases like the others.
  SendMessageA(wnd, WM_MBUTTONDOWN, 0, MAKELPARAM(300, 200));
  EXPECT_EQ(GetCapture(), wnd);
  SendMessageA(wnd, WM_MBUTTONUP, 0, MAKELPARAM(300, 200));
  EXPECT_NE(GetCapture(), wnd);
  EXPECT_EQ(Count(log, "K:Up 150 100"), 1);

  // Double click and the wheel (its position is on the screen; half a notch is none).
  SendMessageA(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(300, 200));
  SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(300, 200));
  EXPECT_EQ(Count(log, "K:DoubleClick 150 100"), 1);
  POINT screen = {300, 200};
  ClientToScreen(wnd, &screen);
  SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 60), MAKELPARAM(screen.x, screen.y));
  SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)),
               MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(Matching(log, "K:Wheel"), (EventLog{"K:Wheel 150 100 0", "K:Wheel 150 100 -2"}));

  // Hovering: the control under the pointer hears of it, and its tooltip is shown on hover.
  log.clear();
  SendMessageA(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(300, 200));
  EXPECT_EQ(Count(log, "K:Over"), 1);
  SendMessageA(wnd, WM_MOUSEHOVER, 0, MAKELPARAM(300, 200));
  char tip[64] = {};
  TOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.hwnd = wnd;
  ti.uId = reinterpret_cast<UINT_PTR>(wnd);
  ti.lpszText = tip;
  SendMessageA(g->Tooltip(), TTM_GETTEXTA, sizeof(tip), reinterpret_cast<LPARAM>(&ti));
  EXPECT_STREQ(tip, "Gain knob");
  SendMessageA(wnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(Count(log, "K:Out"), 1);
  EXPECT_EQ(g->GetMouseOverControl(), nullptr);
  tip[0] = '\0';
  SendMessageA(g->Tooltip(), TTM_GETTEXTA, sizeof(tip), reinterpret_cast<LPARAM>(&ti));
  EXPECT_STREQ(tip, "");

  // Keys go to the control under the pointer; what it does not take goes on to the host's
  // top-level window.
  SetCursorPos(screen.x, screen.y);
  knob->mKeyResult = true;
  SendMessageA(wnd, WM_KEYDOWN, 'A', 0x001E0001);
  EXPECT_EQ(Count(log, "K:KeyDown 150 100 65"), 1);
  EXPECT_TRUE(sHostKeys.empty());
  knob->mKeyResult = false;
  SendMessageA(wnd, WM_KEYDOWN, 'A', 0x001E0001);
  EXPECT_EQ(Count(log, "K:KeyDown 150 100 65"), 2);
  EXPECT_EQ(sHostKeys, std::vector<WPARAM>{'A'});

  // The cursor a control asks for is the one the window shows.
  EXPECT_EQ(g->SetCursor(kSizeNWSECursor), kArrowCursor);
  SendMessageA(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, MAKEINTRESOURCEA(32642)));
  EXPECT_EQ(g->SetCursor(static_cast<ECursor>(99)), kSizeNWSECursor);
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
}

TEST_F(WinWindowTest, ANativeTextEntryIsCommittedOrCancelledAtTheNextTick) {
  HWND wnd = Open();
  ASSERT_NE(wnd, nullptr);
  // The test runs the frame ticks itself, so none falls where the steps below do not expect it.
  g->StopTicks();
  PumpMessagesFor(50);
  const LPARAM onBackground = MAKELPARAM(20, 20);
  auto openEntry = [&] {
    g->OpenTextEntry(*knob, ITextStyle(), IRect(100, 50, 200, 80), "12", 0);
    return g->TextEntryBox() != nullptr;
  };

  // Until a tick has passed since the box took the focus the editor takes no other input; a
  // click cancels the box, and the next tick carries the cancel out.
  ASSERT_TRUE(openEntry());
  EXPECT_EQ(g->GetTextEntryState(), kEntryFocused);
  POINT screen = {20, 20};
  ClientToScreen(wnd, &screen);
  SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(g->GetTextEntryState(), kEntryFocused);
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, onBackground);
  EXPECT_EQ(g->GetTextEntryState(), kEntryCancel);
  EXPECT_NE(g->TextEntryBox(), nullptr);
  g->Tick();
  EXPECT_EQ(g->TextEntryBox(), nullptr);
  EXPECT_EQ(g->GetTextEntryState(), kEntryIdle);
  EXPECT_EQ(g->GetTextEntryEditingControl(), nullptr);
  EXPECT_TRUE(Matching(log, "Value").empty());
  EXPECT_TRUE(Matching(log, "bg:Down").empty());

  // After a tick a click still cancels; Return commits the box's text into the parameter at
  // the next tick.
  ASSERT_TRUE(openEntry());
  g->Tick();
  EXPECT_EQ(g->GetTextEntryState(), kEntryIdle);
  SetWindowTextW(g->TextEntryBox(), L"42");
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, onBackground);
  EXPECT_EQ(g->GetTextEntryState(), kEntryCancel);
  g->Tick();
  EXPECT_EQ(g->TextEntryBox(), nullptr);
  EXPECT_TRUE(Matching(log, "Value").empty());
  ASSERT_TRUE(openEntry());
  g->Tick();
  SetWindowTextW(g->TextEntryBox(), L"42");
  SendMessageW(g->TextEntryBox(), WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_EQ(g->GetTextEntryState(), kEntryCommit);
  EXPECT_TRUE(Matching(log, "Value").empty());
  g->Tick();
  EXPECT_EQ(g->TextEntryBox(), nullptr);
  EXPECT_EQ(Matching(log, "Value"), EventLog{"Value 0 0.42"});

  // The wheel and CancelTextEntry cancel.
  ASSERT_TRUE(openEntry());
  g->Tick();
  SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(g->GetTextEntryState(), kEntryCancel);
  g->Tick();
  EXPECT_EQ(g->TextEntryBox(), nullptr);
  ASSERT_TRUE(openEntry());
  g->CancelTextEntry();
  g->Tick();
  EXPECT_EQ(g->TextEntryBox(), nullptr);
  EXPECT_EQ(Matching(log, "Value").size(), 1u);

  // Frames go on once the frame source runs again.
  g->ResumeTicks();
  knob->SetDirty(false);
  EXPECT_TRUE(NextFrame());
}

TEST_F(WinWindowTest, EditorsShareTheClassAndLeaveTheThreadsGLContextAlone) {
  // The host draws with OpenGL on this thread too, in a window of its own.
  HWND glHost = MakeHost(100, 100);
  HDC glDC = GetDC(glHost);
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof(pfd);
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  ASSERT_TRUE(SetPixelFormat(glDC, ChoosePixelFormat(glDC, &pfd), &pfd));
  HGLRC hostContext = wglCreateContext(glDC);
  ASSERT_NE(hostContext, nullptr);
  ASSERT_TRUE(wglMakeCurrent(glDC, hostContext));

  EventLog otherLog;
  TestDelegate otherDlg{otherLog};
  otherDlg.UseLayout([&](IGfx& other) {
    other.AttachControl(new ProbeControl("O", IRect(0, 0, 50, 50), otherLog));
  });
  HWND otherHost = MakeHost();
  auto other = std::make_unique<WinEditor>(otherDlg, 120, 80, 60, 1.f);

  ASSERT_NE(Open(), nullptr);
  EXPECT_EQ(wglGetCurrentContext(), hostContext);
  ASSERT_NE(other->OpenWindow(otherHost), nullptr);
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 2);
  ASSERT_TRUE(PumpMessagesUntil([&] { return g->mFrames > 0 && other->mFrames > 0; }));
  EXPECT_EQ(wglGetCurrentContext(), hostContext);
  EXPECT_EQ(wglGetCurrentDC(), glDC);

  // Closing the first keeps the class for the second, which goes on drawing.
  g->CloseWindow();
  EXPECT_TRUE(ClassRegistered());
  EXPECT_EQ(wglGetCurrentContext(), hostContext);
  const int frames = other->mFrames;
  other->SetAllControlsDirty();
  ASSERT_TRUE(PumpMessagesUntil([&] { return other->mFrames > frames; }));
  other->Resize(240, 160, 1.f);
  EXPECT_EQ(ClientSize(static_cast<HWND>(other->GetNativeWindow())).cx, 240);
  EXPECT_EQ(wglGetCurrentContext(), hostContext);

  other.reset();  // closes its window
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 0);
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(wglGetCurrentContext(), hostContext);

  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(hostContext);
  ReleaseDC(glHost, glDC);
  DestroyWindow(glHost);
  DestroyWindow(otherHost);
}

TEST_F(WinWindowTest, BadInputGetsSafeAnswers) {
  // No parent, or a parent that is gone: no window, no class left registered.
  EXPECT_EQ(g->OpenWindow(nullptr), nullptr);
  HWND gone = MakeHost();
  DestroyWindow(gone);
  EXPECT_EQ(g->OpenWindow(gone), nullptr);
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 0);
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(Count(log, "Opened"), 0);
  EXPECT_EQ(IGfxWin::DpiScale(nullptr), 1.f);
  float x = 0.f;
  float y = 0.f;
  EXPECT_FALSE(g->GetCursorPosition(x, y));

  // Messages with values no system sends leave the editor working.
  HWND wnd = Open();
  ASSERT_NE(wnd, nullptr);
  ASSERT_TRUE(PumpMessagesUntil([&] { return g->mFrames > 0; }));
  SendMessageA(wnd, WM_DROPFILES, 0, 0);
  SendMessageA(wnd, WM_TOUCH, MAKEWPARAM(3, 0), 0x1234);
  SendMessageA(wnd, WM_USER + 1, 0xFFFFFFFF, 0);
  SendMessageA(wnd, WM_TIMER, 7, 0);
  EXPECT_EQ(SendMessageA(wnd, WM_CTLCOLOREDIT, 0, 0), 0);
  SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0xFFFF, 0x8000), MAKELPARAM(0xFFFF, 0x8000));
  SendMessageA(wnd, WM_MOUSEHOVER, 0, 0);
  SendMessageA(wnd, WM_KEYDOWN, 0xFFFF, -1);
  SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(0x7FFF, 0x8000));
  SendMessageA(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(0x8000, 0x7FFF));
  EXPECT_TRUE(g->IsWindowOpen());
  const int frames = g->mFrames;
  knob->SetDirty(false);
  ASSERT_TRUE(PumpMessagesUntil([&] { return g->mFrames > frames; }));

  // WM_CLOSE closes; closing again does nothing.
  SendMessageA(wnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(g->IsWindowOpen());
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_FALSE(ClassRegistered());
  g->CloseWindow();
  EXPECT_EQ(IGfxWin::WindowClassUsers(), 0);
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

TEST(WinFramePacing, TheTimerIntervalIsTheFramePeriodButNeverBelow20Ms) {
  EXPECT_EQ(FramePacer::TimerIntervalMs(60), 15u);
  EXPECT_EQ(FramePacer::TimerIntervalMs(40), 25u);
  EXPECT_EQ(FramePacer::TimerIntervalMs(50), 20u);
  EXPECT_EQ(FramePacer::TimerIntervalMs(51), 15u);
  EXPECT_EQ(FramePacer::TimerIntervalMs(0), 15u);
  EXPECT_EQ(FramePacer::TimerIntervalMs(-30), 15u);
}

}  // namespace
}  // namespace test
}  // namespace gfx
}  // namespace kantele
