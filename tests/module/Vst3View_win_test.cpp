// Windows only, with a display: the VST3 editor view as a host shows it. The bundle's module is
// loaded, an instance made through its factory, and its view attached to a top-level window of
// the test's own. The test is the host's user-interface thread: it pumps messages (the editor's
// timers and painting run there), resizes the view as a host does and closes it.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include "kantele/vst3/Vst3TestHost.h"
#include "module/Vst3ModuleHost.h"
#include "support/MessagePump.h"

namespace kantele::test {
namespace {

using namespace vst3;

constexpr int kDesignWidth = 1630;
constexpr int kDesignHeight = 1010;

SIZE ClientSize(HWND wnd) {
  RECT r = {};
  GetClientRect(wnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

HWND FirstChild(HWND parent) { return GetWindow(parent, GW_CHILD); }

class Vst3ViewWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mPlug.Ok());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Vst3ViewHost";
    RegisterClassA(&wc);
    mHost = CreateWindowExA(0, "Vst3ViewHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1700,
                            1100, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(mHost, nullptr);
    mView = mPlug.Controller()->createView("editor");
    ASSERT_NE(mView, nullptr);
    mFrame = new PlugFrame();
    mView->setFrame(mFrame);
  }
  void TearDown() override {
    if (mView) {
      mView->removed();
      mView->setFrame(nullptr);
      mView->release();
    }
    if (mFrame) mFrame->release();
    if (mHost) DestroyWindow(mHost);
    PumpMessagesFor(50);
  }

  Vst3Module mModule{TOLVANE_VST3_MODULE_PATH};
  Vst3Instance mPlug{mModule.Factory()};
  HWND mHost = nullptr;
  IPlugView* mView = nullptr;
  PlugFrame* mFrame = nullptr;
};

// The editor opens as a child of the host's window at the size the view reported, runs on the
// host's messages, follows a host resize within the sizes it allows, and closes without a trace.
TEST_F(Vst3ViewWinTest, OpensInTheHostsWindowAndFollowsItsSize) {
  EXPECT_EQ(mView->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(mView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  ViewRect size = {};
  ASSERT_EQ(mView->getSize(&size), kResultOk);
  EXPECT_EQ(size.right, kDesignWidth / 2);
  EXPECT_EQ(size.bottom, kDesignHeight / 2);
  ASSERT_EQ(mView->attached(mHost, kPlatformTypeHWND), kResultOk);
  // Windows needs no run loop from the host: nothing is registered with the frame.
  EXPECT_EQ(mFrame->TimerCount(), 0);
  HWND editor = FirstChild(mHost);
  ASSERT_NE(editor, nullptr);
  PumpMessagesFor(100);
  EXPECT_EQ(ClientSize(editor).cx, kDesignWidth / 2);
  EXPECT_EQ(ClientSize(editor).cy, kDesignHeight / 2);

  ViewRect wanted = {0, 0, 1000, 1000};
  ASSERT_EQ(mView->checkSizeConstraint(&wanted), kResultOk);
  EXPECT_EQ(wanted.right, 1000);
  EXPECT_EQ(wanted.bottom, 619);
  ASSERT_EQ(mView->onSize(&wanted), kResultOk);
  EXPECT_TRUE(PumpMessagesUntil([&] { return ClientSize(editor).cx == 1000; }));
  EXPECT_EQ(ClientSize(editor).cy, 619);
  EXPECT_TRUE(mFrame->Resizes().empty());

  ASSERT_EQ(mView->removed(), kResultOk);
  PumpMessagesFor(50);
  EXPECT_EQ(FirstChild(mHost), nullptr);
  EXPECT_EQ(mView->attached(nullptr, kPlatformTypeHWND), kInvalidArgument);
}

}  // namespace
}  // namespace kantele::test
