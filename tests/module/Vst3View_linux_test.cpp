// Linux only, with an X display: the VST3 editor view as a host shows it. The bundle's module is
// loaded, an instance made through its factory, and its view attached to a top-level window of
// the test's own. The test is the host's user-interface thread and its run loop: it fires the
// timers and descriptor handlers the view registered with the plug-in frame, resizes the view
// as a host does, and drags the editor's corner grip through the X server's test extension.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "kantele/gfx/support/X11Host.h"
#include "kantele/vst3/Vst3TestHost.h"
#include "module/Vst3ModuleHost.h"

// Last: Xlib's macros must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kantele::test {
namespace {

using namespace vst3;
namespace x = kantele::gfx::test;

constexpr int kHostWidth = 1700;
constexpr int kHostHeight = 1100;
// The editor's design size; it opens at half of it.
constexpr int kDesignWidth = 1630;
constexpr int kDesignHeight = 1010;

class Vst3ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mDisplay = x::OpenTestDisplay(5000);
    if (!mDisplay) GTEST_SKIP() << "no X display";
    ASSERT_TRUE(mPlug.Ok());
    mHost = x::MakeHostWindow(mDisplay, 0, 0, kHostWidth, kHostHeight, 0);
    ASSERT_NE(mHost, 0u);
    mView = mPlug.Controller()->createView("editor");
    ASSERT_NE(mView, nullptr);
    mFrame = new PlugFrame();
    ASSERT_EQ(mView->setFrame(mFrame), kResultOk);
  }
  void TearDown() override {
    if (mView) {
      if (mAttached) {
        EXPECT_EQ(mView->removed(), kResultOk);
      }
      mView->setFrame(nullptr);
      mView->release();
    }
    if (mFrame) mFrame->release();
    if (mHost) x::DestroyHostWindow(mDisplay, mHost);
    if (mDisplay) XCloseDisplay(mDisplay);
  }

  void Attach() {
    ASSERT_EQ(mView->attached(reinterpret_cast<void*>(mHost), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    mAttached = true;
  }
  /// One turn of the host's run loop: every registered timer and descriptor handler.
  void Turn() {
    mFrame->FireEventHandlers();
    mFrame->FireTimers();
    XSync(mDisplay, False);
  }
  /// Turns the loop until `done` or 3 s.
  template <class Done>
  bool TurnUntil(Done done) {
    return x::Until([this] { Turn(); }, done, 3000);
  }
  /// The editor's window: the host window's one child.
  Window Editor() {
    const auto children = x::ChildWindows(mDisplay, mHost);
    return children.size() == 1 ? children[0] : 0;
  }
  XWindowAttributes EditorAttributes() {
    XWindowAttributes a = {};
    if (Window w = Editor()) XGetWindowAttributes(mDisplay, w, &a);
    return a;
  }
  /// A digest of what the editor's window shows (0 when it shows nothing).
  uint64_t Shown() {
    const XWindowAttributes a = EditorAttributes();
    if (a.map_state != IsViewable) return 0;
    XImage* image = XGetImage(mDisplay, Editor(), 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!image) return 0;
    uint64_t digest = 1469598103934665603ull;
    for (int y = 0; y < a.height; y += 2) {
      for (int x0 = 0; x0 < a.width; x0 += 2)
        digest = (digest ^ XGetPixel(image, x0, y)) * 1099511628211ull;
    }
    XDestroyImage(image);
    return digest;
  }
  ViewRect Size() {
    ViewRect r = {};
    EXPECT_EQ(mView->getSize(&r), kResultOk);
    return r;
  }

  Display* mDisplay = nullptr;
  Vst3Module mModule{TOLVANE_VST3_MODULE_PATH};
  Vst3Instance mPlug{mModule.Factory()};
  Window mHost = 0;
  IPlugView* mView = nullptr;
  PlugFrame* mFrame = nullptr;
  bool mAttached = false;
};

// The view opens the editor in the host's window at the size it reported, and from then on the
// host's loop drives it: a value the host sets reaches the drawn editor through the timer the
// view registered. Removed, it leaves nothing registered and no window behind.
TEST_F(Vst3ViewTest, RunsOnTheHostsLoopWhileAttached) {
  EXPECT_EQ(mView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(mView->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  const ViewRect before = Size();
  EXPECT_EQ(before.right - before.left, kDesignWidth / 2);
  EXPECT_EQ(before.bottom - before.top, kDesignHeight / 2);
  Attach();
  ASSERT_EQ(mFrame->TimerCount(), 1);
  EXPECT_EQ(mFrame->TimerInterval(0), 10u);
  ASSERT_EQ(mFrame->EventHandlerCount(), 1);
  EXPECT_GE(mFrame->HandlerFd(0), 0);
  ASSERT_TRUE(TurnUntil([&] { return EditorAttributes().map_state == IsViewable; }));
  EXPECT_EQ(EditorAttributes().width, kDesignWidth / 2);
  EXPECT_EQ(EditorAttributes().height, kDesignHeight / 2);

  uint64_t shown = 0;
  ASSERT_TRUE(TurnUntil([&] { return (shown = Shown()) != 0; }));
  // Input Gain from its default to the top: the knob turns in the next frames.
  ASSERT_EQ(mPlug.Controller()->setParamNormalized(0, 1.0), kResultOk);
  EXPECT_TRUE(TurnUntil([&] { return Shown() != shown; }));

  EXPECT_EQ(mView->removed(), kResultOk);
  mAttached = false;
  EXPECT_EQ(mFrame->TimerCount(), 0);
  EXPECT_EQ(mFrame->EventHandlerCount(), 0);
  EXPECT_TRUE(TurnUntil([&] { return Editor() == 0; }));
}

// A host resizes only to sizes the view allows: the design's aspect ratio at a zoom within the
// editor's range (a quarter to the full design size here). The editor takes the host's size
// without asking the frame again.
TEST_F(Vst3ViewTest, HostResizesKeepTheAspectRatioWithinTheZoomRange) {
  Attach();
  EXPECT_EQ(mView->canResize(), kResultTrue);
  struct Case {
    int w, h;
    int expectW, expectH;
  };
  const Case cases[] = {
      {1000, 1000, 1000, 619},   // the width decides
      {2000, 700, 1129, 700},    // the height decides
      {100, 100, 407, 252},      // the smallest zoom
      {4000, 4000, 1630, 1010},  // the largest
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    ViewRect r = {10, 20, 10 + c.w, 20 + c.h};
    ASSERT_EQ(mView->checkSizeConstraint(&r), kResultOk);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_NEAR(r.right - r.left, c.expectW, 1);
    EXPECT_NEAR(r.bottom - r.top, c.expectH, 1);
    ASSERT_EQ(mView->onSize(&r), kResultOk);
    const ViewRect now = Size();
    EXPECT_EQ(now.right - now.left, r.right - r.left);
    EXPECT_EQ(now.bottom - now.top, r.bottom - r.top);
    EXPECT_TRUE(TurnUntil([&] { return EditorAttributes().width == r.right - r.left; }));
    EXPECT_EQ(EditorAttributes().height, r.bottom - r.top);
  }
  EXPECT_TRUE(mFrame->Resizes().empty());
}

// The corner grip is the user's own resize: the editor asks the host through the plug-in frame,
// keeping the aspect ratio, and the size the host is told is the size it got.
TEST_F(Vst3ViewTest, TheCornerGripAsksTheFrame) {
  if (!x::HasXTest(mDisplay)) GTEST_SKIP() << "no XTEST";
  Attach();
  ASSERT_TRUE(TurnUntil([&] { return Shown() != 0; }));
  const int w = EditorAttributes().width;
  const int h = EditorAttributes().height;
  x::MovePointerTo(mDisplay, Editor(), w - 4, h - 4);
  Turn();
  x::PressButton(mDisplay, 1, true);
  Turn();
  for (int i = 0; i < 10; ++i) {
    x::MovePointerBy(mDisplay, 20, 12);
    Turn();
  }
  x::PressButton(mDisplay, 1, false);
  ASSERT_TRUE(TurnUntil([&] { return !mFrame->Resizes().empty(); }));
  x::Until([this] { Turn(); }, [] { return false; }, 300);  // the drag's last moves arrive
  x::ReleaseButtons(mDisplay);
  const ViewRect last = mFrame->Resizes().back();
  const int lw = last.right - last.left;
  const int lh = last.bottom - last.top;
  EXPECT_GT(lw, w);
  EXPECT_NEAR(static_cast<double>(lw) / lh, static_cast<double>(kDesignWidth) / kDesignHeight,
              0.01);
  const ViewRect now = Size();
  EXPECT_EQ(now.right - now.left, lw);
  EXPECT_EQ(now.bottom - now.top, lh);
  EXPECT_TRUE(TurnUntil([&] { return EditorAttributes().width == lw; }));
}

// In a host whose frame offers no run loop the editor still opens (showing its first frame);
// nothing is registered, so nothing is left to unregister.
TEST_F(Vst3ViewTest, OpensWithoutARunLoop) {
  mFrame->SetOffersRunLoop(false);
  Attach();
  EXPECT_EQ(mFrame->TimerCount(), 0);
  EXPECT_EQ(mFrame->EventHandlerCount(), 0);
  EXPECT_NE(Editor(), 0u);
}

TEST_F(Vst3ViewTest, RefusesWhatItCannotDo) {
  EXPECT_EQ(mView->attached(nullptr, kPlatformTypeX11EmbedWindowID), kInvalidArgument);
  EXPECT_EQ(mView->attached(reinterpret_cast<void*>(mHost), kPlatformTypeHWND), kInvalidArgument);
  EXPECT_EQ(mView->attached(reinterpret_cast<void*>(mHost), nullptr), kInvalidArgument);
  EXPECT_EQ(mView->removed(), kResultFalse);
  Attach();
  EXPECT_EQ(mView->attached(reinterpret_cast<void*>(mHost), kPlatformTypeX11EmbedWindowID),
            kResultFalse);
  EXPECT_EQ(mView->getSize(nullptr), kInvalidArgument);
  EXPECT_EQ(mView->onSize(nullptr), kInvalidArgument);
  ViewRect empty = {0, 0, 0, 0};
  EXPECT_EQ(mView->onSize(&empty), kInvalidArgument);
  EXPECT_EQ(mView->checkSizeConstraint(nullptr), kInvalidArgument);
  void* scale = nullptr;
  ASSERT_EQ(mView->queryInterface(IID_IPlugViewContentScaleSupport.data(), &scale), kResultOk);
  auto* contentScale = static_cast<IPlugViewContentScaleSupport*>(scale);
  EXPECT_EQ(contentScale->setContentScaleFactor(std::nanf("")), kInvalidArgument);
  EXPECT_EQ(contentScale->setContentScaleFactor(-2.f), kInvalidArgument);
  contentScale->release();
  EXPECT_EQ(mPlug.Controller()->createView("other"), nullptr);
  EXPECT_EQ(mPlug.Controller()->createView(nullptr), nullptr);
}

}  // namespace
}  // namespace kantele::test
