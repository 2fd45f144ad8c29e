// The LV2 editor object, made through the editor's descriptor in a parent window of the test's
// own on the X display (DISPLAY; the cases fail without one): refusals, the opening size told to
// the host, the host's port events reaching the editor, the editor's gestures and size requests
// reaching the host, the host's resize, the sizes an embedding host gives the editor's window
// (with a user's click through the X server's XTEST extension), and cleanup.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "kantele/gfx/IControl.h"
#include "kantele/gfx/IGfx.h"
#include "kantele/gfx/controls/ISwitchControls.h"
#include "kantele/gfx/support/X11Host.h"
#include "kantele/lv2/Lv2TestHost.h"
#include "tolvane/Tolvane.h"

// Last: Xlib's macros must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kantele::test {
namespace {

namespace x = kantele::gfx::test;

constexpr const char* kStereoUri = "urn:quellmark:tolvane";
// The editor opens at half its design size.
constexpr int kOpenWidth = 815;
constexpr int kOpenHeight = 505;

class Lv2EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mDisplay = x::OpenTestDisplay(5000);
    ASSERT_NE(mDisplay, nullptr) << "no X display";
    mParent = x::MakeHostWindow(mDisplay, 0, 0, 1700, 1100, 0);
    ASSERT_NE(mParent, 0u);
  }
  void TearDown() override {
    if (mHandle) Descriptor()->cleanup(mHandle);
    if (mParent) x::DestroyHostWindow(mDisplay, mParent);
    if (mDisplay) XCloseDisplay(mDisplay);
  }

  static const LV2UI_Descriptor* Descriptor() { return lv2ui_descriptor(0); }
  void Open() {
    mHandle = mHost.Instantiate(Descriptor(), kStereoUri, mParent, &mWidget);
    ASSERT_NE(mHandle, nullptr);
  }
  /// The editor object: the UI handle is the adapter.
  ILv2Adapter& Adapter() const { return *static_cast<ILv2Adapter*>(mHandle); }
  int Idle() const {
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(
        Descriptor()->extension_data(LV2_UI__idleInterface));
    return idle->idle(mHandle);
  }
  /// The host's idle calls until `done`, or 3 s.
  template <class Done>
  bool IdleUntil(Done done) {
    return x::Until(
        [this] {
          EXPECT_EQ(Idle(), 0);
          XSync(mDisplay, False);
        },
        done, 3000);
  }
  Window WidgetWindow() const { return reinterpret_cast<Window>(mWidget); }
  /// The size of the window the editor answered as its widget.
  std::pair<int, int> WidgetSize() const {
    XWindowAttributes a = {};
    XGetWindowAttributes(mDisplay, WidgetWindow(), &a);
    return {a.width, a.height};
  }
  /// Where the editor's picture lies in its window: the window's one child, as the server
  /// places it (zero when there is not exactly one).
  XRectangle Picture() const {
    const std::vector<unsigned long> children = x::ChildWindows(mDisplay, WidgetWindow());
    XWindowAttributes a = {};
    if (children.size() != 1 || !XGetWindowAttributes(mDisplay, children[0], &a)) return {};
    return {static_cast<short>(a.x), static_cast<short>(a.y), static_cast<unsigned short>(a.width),
            static_cast<unsigned short>(a.height)};
  }
  /// The normalised value the editor's control of `paramIdx` shows.
  double ControlValue(int paramIdx) const {
    double value = -1.0;
    Adapter().GetUI()->ForControlWithParam(
        paramIdx, [&](gfx::IControl& c) { value = c.GetValue(c.FirstValIdxForParam(paramIdx)); });
    return value;
  }

  _XDisplay* mDisplay = nullptr;
  unsigned long mParent = 0;
  Lv2UiHost mHost;
  LV2UI_Handle mHandle = nullptr;
  LV2UI_Widget mWidget = nullptr;
};

TEST_F(Lv2EditorTest, RefusesWithoutAParentOrForAnotherPlugin) {
  struct Case {
    const char* name;
    const char* uri;
    bool parent;
  };
  const Case cases[] = {{"no parent", kStereoUri, false},
                        {"unknown plug-in", "urn:quellmark:other", true},
                        {"no plug-in", nullptr, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LV2UI_Widget widget = reinterpret_cast<LV2UI_Widget>(1);
    EXPECT_EQ(mHost.Instantiate(Descriptor(), c.uri, c.parent ? mParent : 0, &widget), nullptr);
  }
  EXPECT_EQ(mHost.Instantiate(Descriptor(), kStereoUri, mParent, nullptr), nullptr);
  XSync(mDisplay, False);
  EXPECT_TRUE(x::ChildWindows(mDisplay, mParent).empty());
  EXPECT_TRUE(mHost.mResizes.empty());
}

TEST_F(Lv2EditorTest, OpensInTheParentAndTellsTheHostItsSize) {
  Open();
  ASSERT_NE(mWidget, nullptr);
  EXPECT_EQ(x::ChildWindows(mDisplay, mParent),
            std::vector<unsigned long>{reinterpret_cast<unsigned long>(mWidget)});
  EXPECT_EQ(WidgetSize(), std::make_pair(kOpenWidth, kOpenHeight));
  EXPECT_EQ(mHost.mResizes, (std::vector<std::pair<int, int>>{{kOpenWidth, kOpenHeight}}));
  EXPECT_EQ(Idle(), 0);
  // The mono variant's editor is the same editor.
  Lv2UiHost other;
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle mono =
      other.Instantiate(Descriptor(), "urn:quellmark:tolvane:mono", mParent, &widget);
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(static_cast<ILv2Adapter*>(mono)->GetChannels(), 1);
  Descriptor()->cleanup(mono);
  // Cleanup closes the editor's window (through the editor's own connection to the server).
  Descriptor()->cleanup(mHandle);
  mHandle = nullptr;
  EXPECT_TRUE(x::Until([] {}, [&] { return x::ChildWindows(mDisplay, mParent).empty(); }));
}

// A control port's value (format 0, one float) sets the parameter copy and, from the next timer
// tick the host's idle calls run, the editor's control; it is never echoed to the host. Other
// formats, sizes and ports are ignored.
TEST_F(Lv2EditorTest, PortEventsReachTheEditorsControls) {
  Open();
  struct Case {
    uint32_t port;
    uint32_t size;
    uint32_t format;
    float value;
    int param;        // the parameter to look at
    double expected;  // its value afterwards
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {tolvane::kInputGain, 4, 0, 150.f, tolvane::kInputGain, 150.0},
      {tolvane::kWet, 4, 0, inf, tolvane::kWet, 100.0},
      {tolvane::kTame, 4, 0, std::nanf(""), tolvane::kTame, 0.5},
      {tolvane::kTame, 4, 1, 0.25f, tolvane::kTame, 0.5},
      {tolvane::kTame, 8, 0, 0.25f, tolvane::kTame, 0.5},
      {tolvane::kNumParams, 4, 0, 0.25f, tolvane::kTame, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "port " << c.port << " size " << c.size << " format " << c.format);
    const float buffer[2] = {c.value, c.value};
    Descriptor()->port_event(mHandle, c.port, c.size, c.format, buffer);
    const IParam& param = *Adapter().GetParam(c.param);
    EXPECT_EQ(param.GetValue(), c.expected);
    EXPECT_TRUE(IdleUntil([&] { return ControlValue(c.param) == param.GetValueNormalized(); }));
  }
  EXPECT_TRUE(mHost.mWrites.empty());
  EXPECT_TRUE(mHost.mTouches.empty());
}

// A gesture in the editor reaches the host as touch, the port's real value, touch released.
TEST_F(Lv2EditorTest, EditorGesturesReachTheHostAsTouchAndWrites) {
  Open();
  struct Case {
    int param;
    double normalized;
    float written;
  };
  const Case cases[] = {{tolvane::kInputGain, 0.75, 150.f}, {tolvane::kBias, 0.2, 0.2f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.param);
    mHost.mWrites.clear();
    mHost.mTouches.clear();
    Adapter().BeginParamEditFromEditor(c.param);
    Adapter().ParamValueFromEditor(c.param, c.normalized);
    Adapter().EndParamEditFromEditor(c.param);
    const auto port = static_cast<uint32_t>(c.param);
    EXPECT_EQ(mHost.mTouches,
              (std::vector<std::pair<uint32_t, bool>>{{port, true}, {port, false}}));
    EXPECT_EQ(mHost.mWrites, (std::vector<Lv2UiHost::Write>{{port, 4u, 0u, c.written}}));
  }
}

// The editor's size requests go to the host's resize feature; the host's own resize (the
// editor's resize interface) resizes the open editor and is not echoed back.
TEST_F(Lv2EditorTest, SizeRequestsGoToTheHostAndTheHostResizes) {
  Open();
  mHost.mResizes.clear();
  EXPECT_TRUE(Adapter().ResizeFromEditor(1222, 757, true));
  mHost.mResizeAnswer = 1;
  EXPECT_FALSE(Adapter().ResizeFromEditor(1630, 1010, true));
  EXPECT_EQ(mHost.mResizes, (std::vector<std::pair<int, int>>{{1222, 757}, {1630, 1010}}));

  // The grip's shrink to 611 x 378: the host hears of it, and a host laying out after the
  // request reads the size as the window's natural size (its base size hint), at the server
  // by the time the editor returns. No minimum size: a host may pin the embedded window's
  // size request to it.
  mHost.mResizes.clear();
  mHost.mResizeAnswer = 0;
  Adapter().GetUI()->Resize(1630, 1010, 0.375f);
  EXPECT_EQ(mHost.mResizes, (std::vector<std::pair<int, int>>{{611, 378}}));
  XSizeHints hints = {};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(mDisplay, WidgetWindow(), &hints, &supplied));
  EXPECT_EQ(hints.flags & (PBaseSize | PMinSize), PBaseSize);
  EXPECT_EQ(std::make_pair(hints.base_width, hints.base_height), std::make_pair(611, 378));

  mHost.mResizes.clear();
  const auto* resize =
      static_cast<const LV2UI_Resize*>(Descriptor()->extension_data(LV2_UI__resize));
  ASSERT_NE(resize, nullptr);
  EXPECT_EQ(resize->ui_resize(mHandle, 1222, 757), 0);
  EXPECT_TRUE(IdleUntil([&] { return WidgetSize() == std::make_pair(1222, 757); }));
  EXPECT_EQ(resize->ui_resize(mHandle, 0, 757), 1);
  EXPECT_EQ(resize->ui_resize(nullptr, 800, 500), 1);
  EXPECT_TRUE(mHost.mResizes.empty());
}

// An embedding host sizes the editor's window itself, here to the grip's shrink that jalv and
// Ardour once left at the old size: a click where the Bypass switch is drawn toggles Bypass,
// and the host is not asked for another size. (How the picture fills any size the host gives
// is the Linux window's, tested with it.)
TEST_F(Lv2EditorTest, AClickLandsWhereTheControlIsDrawnAtTheSizeTheHostGives) {
  ASSERT_TRUE(x::HasXTest(mDisplay)) << "the X server has no XTEST extension";
  Open();
  mHost.mResizes.clear();
  gfx::IControl* bypass = nullptr;
  Adapter().GetUI()->ForControlWithParam(tolvane::kBypass, [&](gfx::IControl& c) {
    if (dynamic_cast<gfx::ISwitchControlBase*>(&c)) bypass = &c;
  });
  ASSERT_NE(bypass, nullptr);
  const gfx::IRect switchRect = bypass->GetDrawRect();  // design units, at any zoom
  const float designWidth = static_cast<float>(Adapter().GetUI()->Width());

  XResizeWindow(mDisplay, WidgetWindow(), 611, 378);
  XSync(mDisplay, False);
  XRectangle picture = {};
  ASSERT_TRUE(IdleUntil([&] {
    picture = Picture();
    return picture.width == 610 || picture.width == 611;
  })) << picture.width
      << " x " << picture.height;

  const float zoom = static_cast<float>(picture.width) / designWidth;
  x::MovePointerTo(mDisplay, WidgetWindow(), picture.x + static_cast<int>(switchRect.MW() * zoom),
                   picture.y + static_cast<int>(switchRect.MH() * zoom));
  x::ClickButton(mDisplay, 1);
  const Lv2UiHost::Write toggled{static_cast<uint32_t>(tolvane::kBypass), 4u, 0u, 1.f};
  EXPECT_TRUE(IdleUntil([&] { return !mHost.mWrites.empty() && mHost.mWrites.back() == toggled; }))
      << mHost.mWrites.size() << " writes";
  EXPECT_TRUE(mHost.mResizes.empty());
}

}  // namespace
}  // namespace kantele::test
