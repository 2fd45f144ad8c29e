// The Tolvane editor as a host opens it: the layout (its controls, their order, bounds and
// parameters), values from the host reaching the stacked controls, the corner resizer, a
// comparison with a reference image, and opening and closing it many times.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "kantele/gfx/controls/IBitmapControl.h"
#include "kantele/gfx/controls/IKnobControls.h"
#include "kantele/gfx/controls/ISwitchControls.h"
#include "kantele/gfx/controls/ITextControl.h"
#include "kantele/gfx/platform/headless/IGfxHeadless.h"
#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2Entry.h"
#include "tolvane/Tolvane.h"
#include "tolvane/TolvaneEditor.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include "stb_image.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace tolvane {
namespace {

using kantele::vst2::AEffect;
using kantele::vst2test::HostStub;
using namespace kantele::gfx;
namespace v2 = kantele::vst2;

class TolvaneEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IGfxHeadless::Available()) {
      if (std::getenv("KANTELE_ALLOW_NO_GL")) GTEST_SKIP() << "no off-screen OpenGL";
      FAIL() << "no off-screen OpenGL context (EGL with Mesa's surfaceless platform)";
    }
    mEffect = mHost.Adopt(kantele::Vst2PluginMain<Tolvane>(HostStub::Callback));
    ASSERT_NE(mEffect, nullptr);
    Dispatch(v2::effOpen);
  }
  void TearDown() override {
    if (mEffect) {
      Dispatch(v2::effEditClose);
      Dispatch(v2::effClose);
    }
  }

  v2::VstIntPtr Dispatch(v2::VstInt32 op, v2::VstInt32 index = 0, v2::VstIntPtr value = 0,
                         void* ptr = nullptr, float opt = 0.f) {
    return mEffect->dispatcher(mEffect, op, index, value, ptr, opt);
  }
  /// Idles the editor as a host does until `control` shows `value` (values from the host
  /// reach the editor on the user-interface timer, which idling drives), for at most a second.
  void IdleUntil(IControl* control, double value) {
    for (int i = 0; i < 100 && control->GetValue() != value; ++i) {
      Dispatch(v2::effEditIdle);
      if (control->GetValue() != value) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  Tolvane& Plug() { return *static_cast<Tolvane*>(kantele::IVst2Adapter::FromAEffect(mEffect)); }

  IGfxHeadless& Open() {
    EXPECT_EQ(Dispatch(v2::effEditOpen), 1);
    auto* g = dynamic_cast<IGfxHeadless*>(Plug().GetUI());
    if (!g) throw std::runtime_error("the editor is not the off-screen context");
    return *g;
  }

  /// Draws and reads back the window.
  void Frame(IGfxHeadless& g) {
    g.Tick();
    ASSERT_TRUE(g.ReadPixels(px, pw, ph));
  }
  /// The mean of the red, green and blue channels over a square of design units.
  double Brightness(IGfxHeadless& g, float x, float y, float half) const {
    const float s = g.GetTotalScale();
    double sum = 0.0;
    int n = 0;
    for (int py = static_cast<int>((y - half) * s); py < static_cast<int>((y + half) * s); ++py) {
      for (int pxl = static_cast<int>((x - half) * s); pxl < static_cast<int>((x + half) * s);
           ++pxl) {
        const uint8_t* p = &px[static_cast<size_t>((py * pw + pxl) * 4)];
        sum += (p[0] + p[1] + p[2]) / 3.0;
        ++n;
      }
    }
    return n ? sum / n : 0.0;
  }

  HostStub mHost;
  AEffect* mEffect = nullptr;
  std::vector<uint8_t> px;
  int pw = 0;
  int ph = 0;
};

struct Expected {
  const std::type_info& type;
  IRect bounds;
  int param;
};

TEST_F(TolvaneEditor, LayoutAttachesEighteenControlsInOrderWithTheirBounds) {
  IGfxHeadless& g = Open();
  ASSERT_EQ(g.NControls(), 18);
  EXPECT_EQ(g.Width(), 1630);
  EXPECT_EQ(g.Height(), 1010);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.5f);
  EXPECT_EQ(g.WindowWidth(), 815);
  EXPECT_EQ(g.WindowHeight(), 505);

  const Expected expected[] = {
      {typeid(IBitmapControl), IRect(0, 0, 1630, 1012), -1},
      {typeid(ITextControl), IRect(), -1},  // fitted to its text: checked below
      {typeid(IBKnobControl), IRect(824, 0, 1630, 935), kBypass},
      {typeid(IBKnobRotaterControl), IRect(558, 630, 616, 688), kBias},
      {typeid(IBSwitchControl), IRect(516, 752, 770, 906), kReact},
      {typeid(IBSwitchControl), IRect(1339, 354, 1405, 505), kBypass},
      {typeid(IBKnobRotaterControl), IRect(137, 286, 389, 533), kInputGain},
      {typeid(IBKnobRotaterControl), IRect(137, 683, 389, 930), kTame},
      {typeid(IBKnobRotaterControl), IRect(891, 683, 1143, 930), kOutputGain},
      {typeid(IBKnobRotaterControl), IRect(1246, 683, 1498, 930), kWet},
      {typeid(IBKnobRotaterControl), IRect(137, 206, 383, 452), kInputGain},
      {typeid(IBKnobRotaterControl), IRect(137, 603, 383, 849), kTame},
      {typeid(IBKnobRotaterControl), IRect(891, 603, 1137, 849), kOutputGain},
      {typeid(IBKnobRotaterControl), IRect(1246, 603, 1492, 849), kWet},
      {typeid(IBKnobControl), IRect(126, 192, 394, 486), kInputGain},
      {typeid(IBKnobControl), IRect(126, 590, 394, 884), kTame},
      {typeid(IBKnobControl), IRect(882, 590, 1150, 884), kOutputGain},
      {typeid(IBKnobControl), IRect(1237, 590, 1505, 884), kWet},
  };
  for (int i = 0; i < 18; ++i) {
    SCOPED_TRACE(i);
    IControl* c = g.GetControl(i);
    EXPECT_EQ(typeid(*c), expected[i].type);
    EXPECT_EQ(c->GetParamIdx(), expected[i].param);
    if (i != 1) {
      const IRect& r = c->GetDrawRect();
      const IRect& e = expected[i].bounds;
      EXPECT_EQ(r.L, e.L);
      EXPECT_EQ(r.T, e.T);
      EXPECT_EQ(r.R, e.R);
      EXPECT_EQ(r.B, e.B);
      EXPECT_EQ(c->GetTargetRect().L, e.L);
    }
  }
  // The version label, fitted to its text around the centre of (1480, 980, 1630, 1010).
  auto* label = dynamic_cast<ITextControl*>(g.GetControl(1));
  ASSERT_NE(label, nullptr);
  EXPECT_STREQ(label->GetLabel(), "v1.0.0 x86-64 VST2");
  EXPECT_NEAR(label->GetDrawRect().MW(), 1555.f, 0.01f);
  EXPECT_NEAR(label->GetDrawRect().MH(), 995.f, 0.01f);
  EXPECT_GT(label->GetDrawRect().W(), 50.f);
  EXPECT_TRUE(label->GetIgnoreMouse());

  // Apart from the list: the grip (20 units on screen at draw scale 0.5). The text entry is
  // the platform's to choose when a value is first typed.
  ASSERT_NE(g.GetCornerResizer(), nullptr);
  const IRect grip = g.GetCornerResizer()->GetDrawRect();
  EXPECT_EQ(grip.L, 1590.f);
  EXPECT_EQ(grip.T, 970.f);
  EXPECT_EQ(grip.R, 1630.f);
  EXPECT_EQ(grip.B, 1010.f);
  EXPECT_EQ(g.GetTextEntryControl(), nullptr);
  EXPECT_EQ(g.GetResizeMode(), kResizeScale);
  EXPECT_TRUE(g.GetLayoutOnResize());
  EXPECT_TRUE(g.MouseOverEnabled());
  EXPECT_TRUE(g.TooltipsEnabled());

  // A second layout finds the controls and attaches nothing.
  ITextEntryControlBase* entry = g.GetTextEntryControl();
  IControl* resizer = g.GetCornerResizer();
  Plug().RunLayout(g);
  EXPECT_EQ(g.NControls(), 18);
  EXPECT_EQ(g.GetTextEntryControl(), entry);
  EXPECT_EQ(g.GetCornerResizer(), resizer);
}

TEST_F(TolvaneEditor, HostValuesTurnTheStackedKnobsAndLightTheLamp) {
  IGfxHeadless& g = Open();
  Frame(g);
  const std::vector<uint8_t> before = px;

  // "Input Gain" from the host: the shadow and the face turn, the overlay keeps its frame.
  mEffect->setParameter(mEffect, kInputGain, 1.f);
  IdleUntil(g.GetControl(6), 1.0);
  EXPECT_DOUBLE_EQ(g.GetControl(6)->GetValue(), 1.0);
  EXPECT_DOUBLE_EQ(g.GetControl(10)->GetValue(), 1.0);
  EXPECT_DOUBLE_EQ(g.GetControl(14)->GetValue(), 1.0);
  EXPECT_EQ(IBitmapBase::FrameForValue(
                1.0, static_cast<IBKnobControl*>(g.GetControl(14))->GetBitmap().N()),
            1);
  IRectList drawn;
  ASSERT_TRUE(g.Tick(&drawn));
  ASSERT_TRUE(g.ReadPixels(px, pw, ph));
  int changedInKnob = 0;
  int changedElsewhere = 0;
  const float s = g.GetTotalScale();
  const IRect knobArea = g.GetControl(6)->GetDrawRect().Union(g.GetControl(14)->GetDrawRect());
  for (int y = 0; y < ph; ++y) {
    for (int x = 0; x < pw; ++x) {
      const size_t i = static_cast<size_t>((y * pw + x) * 4);
      if (std::memcmp(&px[i], &before[i], 4) == 0) continue;
      if (knobArea.GetPadded(1.f).Contains(static_cast<float>(x) / s, static_cast<float>(y) / s))
        ++changedInKnob;
      else
        ++changedElsewhere;
    }
  }
  EXPECT_GT(changedInKnob, 500);
  EXPECT_EQ(changedElsewhere, 0);

  // "Bypass" at 1: the lamp lights (its second frame) and the flip switch shows its second
  // frame; both are bound to the one parameter.
  const double lampOff = Brightness(g, 1372.f, 246.f, 12.f);
  mEffect->setParameter(mEffect, kBypass, 1.f);
  IdleUntil(g.GetControl(2), 1.0);
  EXPECT_DOUBLE_EQ(g.GetControl(2)->GetValue(), 1.0);
  EXPECT_DOUBLE_EQ(g.GetControl(5)->GetValue(), 1.0);
  Frame(g);
  EXPECT_GT(Brightness(g, 1372.f, 246.f, 12.f), lampOff + 40.0);
}

TEST_F(TolvaneEditor, DoubleClickOnTheGripZoomsToFullSizeAndTellsTheHost) {
  IGfxHeadless& g = Open();
  const IRect grip = g.GetCornerResizer()->GetDrawRect();
  g.OnMouseDoubleClick(grip.R - 2.f, grip.B - 2.f, IMouseState());
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.f);
  EXPECT_EQ(g.NControls(), 18);  // the layout after the resize attached nothing
  Frame(g);
  EXPECT_EQ(pw, 1630);
  EXPECT_EQ(ph, 1010);
  const auto sizes = mHost.Named(v2::audioMasterSizeWindow);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().mIndex, 1630);
  EXPECT_EQ(sizes.back().mValue, 1010);
  // The grip keeps its 20 pixels on screen.
  EXPECT_EQ(g.GetCornerResizer()->GetDrawRect().L, 1610.f);
}

// The editor at its opening size with the default values against the committed reference:
// docs/tolvane-editor.png, the README's screenshot, made with tolvane-snapshot. Software
// rendering is deterministic, so the tolerance only absorbs rounding differences between
// renderer builds.
TEST_F(TolvaneEditor, MatchesTheReferenceImage) {
  IGfxHeadless& g = Open();
  Frame(g);
  int gw = 0;
  int gh = 0;
  int channels = 0;
  unsigned char* golden = stbi_load(TOLVANE_EDITOR_GOLDEN, &gw, &gh, &channels, 4);
  ASSERT_NE(golden, nullptr) << TOLVANE_EDITOR_GOLDEN;
  ASSERT_EQ(gw, pw);
  ASSERT_EQ(gh, ph);
  long off = 0;
  double total = 0.0;
  for (size_t i = 0; i < px.size(); ++i) {
    const int d = std::abs(static_cast<int>(px[i]) - static_cast<int>(golden[i]));
    total += d;
    if (d > 24) ++off;
  }
  stbi_image_free(golden);
  const double mean = total / static_cast<double>(px.size());
  EXPECT_LT(mean, 0.5);
  EXPECT_LT(off, static_cast<long>(px.size() / 1000));
  if (HasFailure()) {
    std::string error;
    g.WritePNG("tolvane-editor-actual.png", error);
    ADD_FAILURE() << "mean difference " << mean << ", " << off
                  << " channels off by more than 24; wrote tolvane-editor-actual.png";
  }
}

// Hosts open and close editors all session long: every open makes a fresh context with its
// own OpenGL objects and every close must return them (the sanitizer build checks for leaks).
TEST_F(TolvaneEditor, OpensAndClosesAHundredTimes) {
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(Dispatch(v2::effEditOpen), 1) << i;
    auto* g = dynamic_cast<IGfxHeadless*>(Plug().GetUI());
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->NControls(), 18);
    if (i % 10 == 0) g->Tick();
    Dispatch(v2::effEditClose);
    ASSERT_EQ(Plug().GetUI(), nullptr);
  }
  EXPECT_EQ(IGfx::SharedCacheUsers(), 0);
  EXPECT_EQ(IGfxNanoVG::SharedFontCacheSize(), 0);
}

}  // namespace
}  // namespace tolvane
