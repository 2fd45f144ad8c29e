// The NanoVG back end drawing for real, read back from the windowless context: frames of film
// strips, rotated bitmaps, blend weights, drawing limited to the dirty areas, text, layers,
// deferred framebuffer deletion, the shared font cache and the surface following resizes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "kantele/gfx/controls/IBitmapControl.h"
#include "kantele/gfx/controls/ICornerResizerControl.h"
#include "kantele/gfx/controls/IKnobControls.h"
#include "kantele/gfx/platform/headless/IGfxHeadless.h"
#include "support/RecordingGfx.h"

namespace kantele {
namespace gfx {
namespace {

using test::EventLog;
using test::TestDelegate;

struct Rgba {
  int r, g, b, a;
};

/// A control that draws with a callable, so a case draws exactly what it checks.
class DrawControl : public IControl {
 public:
  DrawControl(const IRect& r, std::function<void(IGfx&, IControl&)> draw)
      : IControl(r), mDraw(std::move(draw)) {}
  void Draw(IGfx& g) override { mDraw(g, *this); }
  std::function<void(IGfx&, IControl&)> mDraw;
};

/// A control filled with one colour.
class SolidControl : public IControl {
 public:
  SolidControl(const IRect& r, const IArgb& c) : IControl(r), mColor(c) {}
  void Draw(IGfx& g) override { g.FillRect(mColor, mDrawRect, &mBlend); }
  IArgb mColor;
};

/// An opaque PNG of `w` x `h` whose pixel (x, y) is `colorAt(x, y)`.
std::vector<uint8_t> MakePNG(int w, int h, const std::function<Rgba(int, int)>& colorAt) {
  std::vector<uint8_t> pixels(static_cast<size_t>(w * h * 4));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgba c = colorAt(x, y);
      uint8_t* p = &pixels[static_cast<size_t>((y * w + x) * 4)];
      p[0] = static_cast<uint8_t>(c.r);
      p[1] = static_cast<uint8_t>(c.g);
      p[2] = static_cast<uint8_t>(c.b);
      p[3] = static_cast<uint8_t>(c.a);
    }
  }
  return IGfxHeadless::EncodePNG(pixels.data(), w, h);
}

/// An open windowless editor of `w` x `h` UI units at draw scale `scale` with a black
/// background control, and its read-back pixels.
class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IGfxHeadless::Available()) {
      if (std::getenv("KANTELE_ALLOW_NO_GL")) GTEST_SKIP() << "no off-screen OpenGL";
      FAIL() << "no off-screen OpenGL context (EGL with Mesa's surfaceless platform)";
    }
  }

  void Open(int w = 100, int h = 80, float scale = 1.f) {
    g = std::make_unique<IGfxHeadless>(dlg, w, h, 60, scale);
    ASSERT_NE(g->OpenWindow(nullptr), nullptr);
    g->AttachControl(new SolidControl(g->GetBounds(), IArgb(255, 0, 0, 0)));
  }

  /// Draws what is dirty and reads the window back.
  void Frame() {
    g->Tick();
    ASSERT_TRUE(g->ReadPixels(px, pw, ph));
  }

  Rgba At(int x, int y) const {
    const uint8_t* p = &px[static_cast<size_t>((y * pw + x) * 4)];
    return Rgba{p[0], p[1], p[2], p[3]};
  }

  /// The pixel at UI position (x, y), at the draw scale.
  Rgba AtUI(float x, float y) const {
    const float s = g->GetTotalScale();
    return At(static_cast<int>(x * s), static_cast<int>(y * s));
  }

  static void ExpectNear(const Rgba& c, int r, int gr, int b, int tolerance = 2) {
    EXPECT_NEAR(c.r, r, tolerance);
    EXPECT_NEAR(c.g, gr, tolerance);
    EXPECT_NEAR(c.b, b, tolerance);
  }

  EventLog log;
  TestDelegate dlg{log};
  std::unique_ptr<IGfxHeadless> g;
  std::vector<uint8_t> px;
  int pw = 0;
  int ph = 0;
};

// Three frames stacked: red, green, blue, each 20 x 10.
std::vector<uint8_t> ThreeFrameStrip() {
  return MakePNG(20, 30, [](int, int y) {
    if (y < 10) return Rgba{255, 0, 0, 255};
    if (y < 20) return Rgba{0, 255, 0, 255};
    return Rgba{0, 0, 255, 255};
  });
}

TEST(NanoVGExtensions, AcceptsPngAndJpegInAnyCaseOnly) {
  EventLog log;
  TestDelegate dlg(log);
  IGfxHeadless g(dlg, 10, 10);  // the extension test needs no OpenGL
  EXPECT_TRUE(g.BitmapExtSupported("PNG"));
  EXPECT_TRUE(g.BitmapExtSupported("Jpg"));
  EXPECT_TRUE(g.BitmapExtSupported("JPEG"));
  EXPECT_FALSE(g.BitmapExtSupported("svg"));
  EXPECT_FALSE(g.BitmapExtSupported("bmp"));
  EXPECT_FALSE(g.BitmapExtSupported(nullptr));
  EXPECT_STREQ(g.GetDrawingAPIStr(), "NanoVG | GL2");
}

TEST_F(Headless, FilmStripShowsTheFrameOfTheValue) {
  Open();
  const std::vector<uint8_t> png = ThreeFrameStrip();
  const IBitmapHandle strip =
      g->LoadBitmap("strip.png", png.data(), static_cast<int>(png.size()), 3);
  ASSERT_TRUE(strip.IsValid());
  EXPECT_EQ(strip.FW(), 20);
  EXPECT_EQ(strip.FH(), 10);
  auto* control = static_cast<IBKnobControl*>(
      g->AttachControl(new IBKnobControl(IRect(40, 30, 60, 40), strip, -1)));
  const struct {
    double value;
    Rgba expected;
  } cases[] = {{0.0, {255, 0, 0, 255}}, {0.5, {0, 255, 0, 255}}, {1.0, {0, 0, 255, 255}}};
  for (const auto& c : cases) {
    control->SetValueFromHost(c.value);
    Frame();
    SCOPED_TRACE(c.value);
    // The whole frame, and nothing of the neighbouring frames at its edges.
    ExpectNear(AtUI(41, 31), c.expected.r, c.expected.g, c.expected.b);
    ExpectNear(AtUI(58, 38), c.expected.r, c.expected.g, c.expected.b);
    ExpectNear(AtUI(50, 30.5f), c.expected.r, c.expected.g, c.expected.b);
    ExpectNear(AtUI(50, 39.5f), c.expected.r, c.expected.g, c.expected.b);
    ExpectNear(AtUI(50, 45), 0, 0, 0);  // below the control: background
  }
}

TEST_F(Headless, SourceOffsetSelectsTheThirdFrameAtEveryScale) {
  for (float scale : {1.f, 2.f}) {
    SCOPED_TRACE(scale);
    Open(100, 80, scale);
    const std::vector<uint8_t> png = ThreeFrameStrip();
    const IBitmapHandle strip =
        g->LoadBitmap("strip.png", png.data(), static_cast<int>(png.size()), 3);
    g->AttachControl(new DrawControl(IRect(10, 10, 30, 20), [&](IGfx& gr, IControl& c) {
      gr.DrawBitmap(strip, c.GetDrawRect(), 0, 2 * strip.FH());
    }));
    Frame();
    ExpectNear(AtUI(11, 11), 0, 0, 255);
    ExpectNear(AtUI(29, 19), 0, 0, 255);
    ExpectNear(AtUI(20, 21), 0, 0, 0);
    g.reset();
  }
}

TEST_F(Headless, RotatedBitmapTurnsClockwiseAboutItsCentre) {
  Open(120, 120);
  // Blue disc area with a red marker at the top centre.
  const std::vector<uint8_t> png = MakePNG(41, 41, [](int x, int y) {
    if (y < 8 && x >= 16 && x <= 24) return Rgba{255, 0, 0, 255};
    return Rgba{0, 0, 255, 255};
  });
  const IBitmapHandle knob = g->LoadBitmap("knob.png", png.data(), static_cast<int>(png.size()));
  auto* rotater = g->AttachControl(new IBKnobRotaterControl(IRect(40, 40, 81, 81), knob, -1));
  const float r = 16.5f;  // the marker's distance from the centre
  const double kDeg = 3.14159265358979 / 180.0;
  // Values 0, 0.5 and 1 turn the image by -130, 0 and +130 degrees.
  for (double a : {-130.0, 0.0, 130.0}) {
    SCOPED_TRACE(a);
    rotater->SetValueFromHost((a + 130.0) / 260.0);
    Frame();
    // The marker turned by `a` degrees clockwise from 12 o'clock.
    const float mx = 60.5f + r * static_cast<float>(std::sin(a * kDeg));
    const float my = 60.5f - r * static_cast<float>(std::cos(a * kDeg));
    ExpectNear(AtUI(mx, my), 255, 0, 0, 40);
    // And not where it would be turned the other way.
    const float ox = 60.5f - r * static_cast<float>(std::sin(a * kDeg));
    if (a != 0.0) ExpectNear(AtUI(ox, my), 0, 0, 255, 40);
  }
}

TEST_F(Headless, ResizeGripCoversItsCornerAtEveryZoom) {
  // Construction scale 1: the grip may zoom from 0.5 to 2.
  for (float scale : {1.f, 2.f}) {
    SCOPED_TRACE(scale);
    Open(200, 100, 1.f);
    g->AttachControl(new SolidControl(g->GetBounds(), IArgb(255, 255, 255, 255)));
    g->AttachCornerResizer(20.f, false);
    g->Resize(200, 100, scale);
    const IRect grip = g->GetCornerResizer()->GetDrawRect();
    EXPECT_FLOAT_EQ(grip.W(), 20.f / scale);                    // 20 pixels on screen at every zoom
    g->OnMouseOver(grip.R - 1.f, grip.B - 1.f, IMouseState());  // opaque while hovered
    Frame();
    EXPECT_EQ(pw, static_cast<int>(200 * scale));
    // The lower-right half of the 20-pixel square is black, the upper-left half and the
    // pixels just outside it stay white.
    ExpectNear(At(pw - 2, ph - 2), 0, 0, 0);
    ExpectNear(At(pw - 17, ph - 2), 0, 0, 0, 8);
    ExpectNear(At(pw - 2, ph - 17), 0, 0, 0, 8);
    ExpectNear(At(pw - 17, ph - 17), 255, 255, 255);
    ExpectNear(At(pw - 25, ph - 2), 255, 255, 255);
    ExpectNear(At(pw - 2, ph - 25), 255, 255, 255);
    g.reset();
  }
}

TEST_F(Headless, BlendWeightScalesOpacityAndTheCompositeIsResetAfterwards) {
  Open();
  const std::vector<uint8_t> png = MakePNG(10, 10, [](int, int) {
    return Rgba{255, 255, 255, 255};
  });
  const IBitmapHandle white = g->LoadBitmap("white.png", png.data(), static_cast<int>(png.size()));
  g->AttachControl(new DrawControl(IRect(10, 10, 60, 30), [&](IGfx& gr, IControl&) {
    const IBlending half(0.5f);
    gr.DrawBitmap(white, IRect(10, 10, 20, 20), 0, 0, &half);
    const IBlending quarter(0.25f);
    gr.FillRect(IArgb(255, 255, 255, 255), IRect(30, 10, 40, 20), &quarter);
    // An unknown method leaves the composite alone; the next plain draw is source-over.
    const IBlending odd(1.f, static_cast<EBlendMethod>(42));
    gr.FillRect(IArgb(255, 0, 255, 0), IRect(45, 10, 50, 20), &odd);
    gr.FillRect(IArgb(128, 255, 0, 0), IRect(50, 10, 60, 20));
  }));
  Frame();
  ExpectNear(AtUI(15, 15), 128, 128, 128, 3);
  ExpectNear(AtUI(35, 15), 64, 64, 64, 3);
  ExpectNear(AtUI(47, 15), 0, 255, 0);
  ExpectNear(AtUI(55, 15), 128, 0, 0, 3);

  // A disabled control draws at a quarter.
  auto* solid = static_cast<SolidControl*>(
      g->AttachControl(new SolidControl(IRect(10, 40, 20, 50), IArgb(255, 255, 255, 255))));
  solid->SetDisabled(true);
  Frame();
  ExpectNear(AtUI(15, 45), 64, 64, 64, 3);
}

TEST_F(Headless, OnlyTheDirtyAreasAreDrawnAgain) {
  Open(200, 100);
  auto* a = static_cast<SolidControl*>(
      g->AttachControl(new SolidControl(IRect(10, 10, 50, 50), IArgb(255, 255, 0, 0))));
  auto* b = static_cast<SolidControl*>(
      g->AttachControl(new SolidControl(IRect(100, 10, 140, 50), IArgb(255, 0, 255, 0))));
  Frame();
  ExpectNear(AtUI(30, 30), 255, 0, 0);
  ExpectNear(AtUI(120, 30), 0, 255, 0);
  const std::vector<uint8_t> before = px;

  // Both change colour, but only `a` says so: `b`'s pixels must stay as they were.
  a->mColor = IArgb(255, 0, 0, 255);
  b->mColor = IArgb(255, 255, 255, 0);
  a->SetDirty(false);
  IRectList drawn;
  ASSERT_TRUE(g->Tick(&drawn));
  ASSERT_TRUE(g->ReadPixels(px, pw, ph));
  ExpectNear(AtUI(30, 30), 0, 0, 255);
  ExpectNear(AtUI(120, 30), 0, 255, 0);
  // Every pixel outside a's pixel-aligned, padded rectangle is unchanged.
  IRect area = a->GetDrawRect().GetPadded(0.75f);
  area.PixelAlign(g->GetTotalScale());
  int changedOutside = 0;
  for (int y = 0; y < ph; ++y) {
    for (int x = 0; x < pw; ++x) {
      if (area.Contains(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f)) continue;
      const size_t i = static_cast<size_t>((y * pw + x) * 4);
      if (std::memcmp(&px[i], &before[i], 4) != 0) ++changedOutside;
    }
  }
  EXPECT_EQ(changedOutside, 0);

  // Nothing dirty: no frame at all.
  const int frames = g->FrameCount();
  EXPECT_FALSE(g->Tick());
  EXPECT_EQ(g->FrameCount(), frames);
}

TEST_F(Headless, TextIsDrawnInsideItsMeasuredBounds) {
  Open(300, 100);
  ASSERT_TRUE(g->LoadFont("Roboto-Regular", KANTELE_TEST_FONT));
  const ITextStyle style(30.f, IArgb(255, 255, 255, 255), "Roboto-Regular");
  IRect measured(0, 0, 300, 100);
  const float width = g->MeasureText(style, "TOLVANE", measured);
  EXPECT_GT(width, 60.f);
  EXPECT_LT(width, 200.f);
  // Centred in the rectangle it was measured in.
  EXPECT_NEAR(measured.MW(), 150.f, 1.f);
  EXPECT_NEAR(measured.MH(), 50.f, 4.f);
  IRect smaller(0, 0, 300, 100);
  EXPECT_LT(g->MeasureText(ITextStyle(15.f, IArgb(), "Roboto-Regular"), "TOLVANE", smaller), width);

  g->AttachControl(new DrawControl(IRect(0, 0, 300, 100), [&](IGfx& gr, IControl& c) {
    gr.DrawText(style, "TOLVANE", c.GetDrawRect());
  }));
  Frame();
  int inside = 0;
  int outside = 0;
  for (int y = 0; y < ph; ++y) {
    for (int x = 0; x < pw; ++x) {
      if (At(x, y).r < 128) continue;
      if (measured.GetPadded(1.f).Contains(static_cast<float>(x), static_cast<float>(y)))
        ++inside;
      else
        ++outside;
    }
  }
  EXPECT_GT(inside, 200);
  EXPECT_EQ(outside, 0);
}

TEST_F(Headless, FontBytesAreSharedBetweenContextsAndFreedWithTheLast) {
  Open();
  ASSERT_TRUE(g->LoadFont("Roboto-Regular", KANTELE_TEST_FONT));
  EXPECT_EQ(IGfxNanoVG::SharedFontCacheSize(), 1);
  {
    EventLog log2;
    TestDelegate dlg2(log2);
    IGfxHeadless second(dlg2, 50, 50);
    ASSERT_NE(second.OpenWindow(nullptr), nullptr);
    ASSERT_TRUE(second.LoadFont("Roboto-Regular", KANTELE_TEST_FONT));
    EXPECT_EQ(IGfxNanoVG::SharedFontCacheSize(), 1);  // the cached bytes were reused
    IRect r(0, 0, 50, 50);
    EXPECT_GT(second.MeasureText(ITextStyle(12.f, IArgb(), "Roboto-Regular"), "Aa", r), 0.f);
  }
  EXPECT_EQ(IGfxNanoVG::SharedFontCacheSize(), 1);
  g.reset();
  EXPECT_EQ(IGfxNanoVG::SharedFontCacheSize(), 0);
  // Not a font: refused, nothing cached.
  Open();
  const std::vector<uint8_t> junk(64, 7);
  EXPECT_FALSE(g->LoadAPIFont("Junk", MemoryFont(junk)));
  EXPECT_EQ(IGfxNanoVG::SharedFontCacheSize(), 0);
}

TEST_F(Headless, LayerDrawsOffScreenAndItsFramebufferIsDeletedAfterTheFrame) {
  Open();
  std::unique_ptr<APIBitmap> layer;
  int deferredDuringFrame = -1;
  g->AttachControl(new DrawControl(IRect(0, 0, 100, 80), [&](IGfx& gr, IControl&) {
    gr.StartLayer(IRect(10, 10, 30, 30));
    gr.FillRect(IArgb(255, 255, 128, 0), IRect(10, 10, 30, 30));
    layer = gr.EndLayer();
    // Dropped during the frame: its framebuffer waits for the end of the frame.
    std::unique_ptr<APIBitmap> scratch = static_cast<IGfxNanoVG&>(gr).CreateAPIBitmap(8, 8, 1, 1.0);
    scratch.reset();
    deferredDuringFrame = static_cast<IGfxNanoVG&>(gr).DeferredFramebufferCount();
    // Drawing continues into the window after the layer.
    gr.FillRect(IArgb(255, 0, 0, 255), IRect(50, 50, 60, 60));
  }));
  Frame();
  EXPECT_EQ(deferredDuringFrame, 1);
  EXPECT_EQ(g->DeferredFramebufferCount(), 0);
  ExpectNear(AtUI(55, 55), 0, 0, 255);
  ExpectNear(AtUI(20, 20), 0, 0, 0);  // the layer went off screen, not into the window
  ASSERT_TRUE(layer);
  EXPECT_EQ(layer->GetWidth(), 20);
  std::vector<uint8_t> data;
  g->MakeGLContextCurrent();
  g->GetLayerBitmapData(*layer, data);
  g->RestoreGLContext();
  ASSERT_EQ(data.size(), 20u * 20u * 4u);
  EXPECT_EQ(data[0], 255);
  EXPECT_EQ(data[1], 128);
  EXPECT_EQ(data[2], 0);
  g->MakeGLContextCurrent();
  layer.reset();  // outside a frame: deleted at once
  g->RestoreGLContext();
  EXPECT_EQ(g->DeferredFramebufferCount(), 0);
}

TEST_F(Headless, SurfaceFollowsTheWindowSizeInDevicePixels) {
  Open(200, 100, 0.5f);
  Frame();
  EXPECT_EQ(pw, 100);
  EXPECT_EQ(ph, 50);
  g->Resize(200, 100, 1.f);
  Frame();
  EXPECT_EQ(pw, 200);
  EXPECT_EQ(ph, 100);
  g->SetScreenScale(2.f);
  Frame();
  EXPECT_EQ(pw, 400);
  EXPECT_EQ(ph, 200);
  // Everything is drawn again after a resize: the background covers the new surface.
  ExpectNear(At(pw - 1, ph - 1), 0, 0, 0);
  EXPECT_EQ(At(pw - 1, ph - 1).a, 255);
}

TEST_F(Headless, BitmapsLiveInTheContextsOwnCacheUntilTheViewGoes) {
  Open();
  const std::vector<uint8_t> png = ThreeFrameStrip();
  const int shared = IGfx::SharedBitmapCacheSize();
  const IBitmapHandle a = g->LoadBitmap("strip.png", png.data(), static_cast<int>(png.size()), 3);
  const IBitmapHandle b = g->LoadBitmap("strip.png", png.data(), static_cast<int>(png.size()), 3);
  EXPECT_EQ(a.GetAPIBitmap(), b.GetAPIBitmap());
  EXPECT_EQ(g->BitmapCacheSize(), 1);
  EXPECT_EQ(IGfx::SharedBitmapCacheSize(), shared);
  // Bytes that are no image make no bitmap.
  const std::vector<uint8_t> junk(100, 1);
  EXPECT_FALSE(g->LoadBitmap("junk.png", junk.data(), static_cast<int>(junk.size())).IsValid());
  EXPECT_EQ(g->BitmapCacheSize(), 1);
  g->CloseWindow();
  EXPECT_EQ(g->BitmapCacheSize(), 0);
  EXPECT_EQ(g->GetNVGContext(), nullptr);
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
