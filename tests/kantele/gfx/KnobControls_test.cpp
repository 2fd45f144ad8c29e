// The bitmap knobs: the film-strip frame and rotation their value chooses, and the knob
// behaviour driven through the graphics context (drag arithmetic, fine adjustment, ends
// without overshoot, quantised snapping, the hidden cursor, the gesture around a drag, the
// wheel and the double click).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kantele/IParam.h"
#include "kantele/gfx/controls/IKnobControls.h"
#include "kantele/gfx/support/ArtworkFiles.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

// A 10-frame vertical strip of 40 x 246 frames, a knob of it over "Mix" (0..1, step 0.001,
// default 0.25) at (20, 20, 60, 266), and the log cleared.
class KnobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const IBitmapHandle strip = g.LoadBitmap(dir.Png("knob.png", 40, 2460).c_str(), 10);
    ASSERT_EQ(strip.FH(), 246);
    knob = new IBKnobControl(IRect(20, 20, 60, 266), strip, 1);
    g.AttachControl(knob);
    log.clear();
  }

  // One drag of (dX, dY) from the knob's centre, with modifiers.
  void Drag(float dX, float dY, bool shift = false, bool control = false) {
    IMousePoint p = Pt(40 + dX, 143 + dY, dX, dY);
    p.ms.S = shift;
    p.ms.C = control;
    g.OnMouseDrag({p});
  }
  void Wheel(float d, bool shift = false) {
    IMouseState ms;
    ms.S = shift;
    g.OnMouseWheel(40, 143, ms, d);
  }

  ArtworkDir dir;
  TestEditor e;
  EventLog& log = e.log;
  RecordingGfx& g = e.g;
  IBKnobControl* knob = nullptr;
};

// The change one vertical movement makes on the 246-high knob, in the knob's own order of
// operations.
double Step(double dY, double gearing) { return dY / (20.0 - 266.0) / gearing; }

TEST_F(KnobTest, IsOneFrameLargeAndDrawsTheFrameOfItsValue) {
  EXPECT_EQ(knob->GetDrawRect(), IRect(20, 20, 60, 266));
  const IBitmapHandle strip = knob->GetBitmap();
  // Laid out in a larger rectangle, the knob is centred in it.
  IBKnobControl centred(IRect(0, 0, 100, 300), strip, 1);
  EXPECT_EQ(centred.GetTargetRect(), IRect(30, 27, 70, 273));

  // Frames 1, 6 (1 + trunc(0.5 + 0.5 * 9)) and 10, taken from row H * (i - 1) / N.
  for (double v : {0.0, 0.5, 1.0}) {
    knob->SetValue(v);
    knob->Draw(g);
  }
  const std::vector<DrawCall> drawn = g.CallsOf("Bitmap");
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(drawn[0].mArgs, (std::vector<double>{0, 0}));
  EXPECT_EQ(drawn[1].mArgs, (std::vector<double>{0, 2460 * 5 / 10}));
  EXPECT_EQ(drawn[2].mArgs, (std::vector<double>{0, 2460 * 9 / 10}));
  for (const DrawCall& c : drawn) EXPECT_EQ(c.mRect, IRect(20, 20, 60, 266));
}

TEST_F(KnobTest, TheRotaterTurnsTheWholeImageAboutItsCentre) {
  const IBitmapHandle dial = g.LoadBitmap(dir.Png("dial.png", 50, 60).c_str());
  IBKnobRotaterControl rotater(IRect(100, 100, 200, 200), dial, 1);
  rotater.SetGraphics(&g);
  EXPECT_EQ(rotater.GetGearing(), 4.0);
  EXPECT_EQ(rotater.GetDrawRect(), IRect(125, 120, 175, 180));

  // The angle of the transform in force when the bitmap is drawn.
  auto angleAt = [&](double v) {
    g.ClearDrawing();
    rotater.SetValue(v);
    rotater.Draw(g);
    const DrawCall* transform = nullptr;
    for (const DrawCall& c : g.mCalls) {
      if (c.mKind == "Transform") transform = &c;
      if (c.mKind == "Bitmap") break;
    }
    EXPECT_NE(transform, nullptr);
    const std::vector<DrawCall> bitmaps = g.CallsOf("Bitmap");
    EXPECT_EQ(bitmaps.size(), 1u);
    if (!transform || bitmaps.empty()) return std::nan("");
    EXPECT_EQ(bitmaps[0].mRect, IRect(-25, -30, 25, 30));
    EXPECT_EQ(bitmaps[0].mArgs, (std::vector<double>{0, 0}));
    EXPECT_DOUBLE_EQ(transform->mArgs[4], 150.0);
    EXPECT_DOUBLE_EQ(transform->mArgs[5], 150.0);
    return std::atan2(transform->mArgs[1], transform->mArgs[0]) * 180.0 / 3.14159265358979323846;
  };
  EXPECT_NEAR(angleAt(0.0), -130.0, 1e-3);
  EXPECT_NEAR(angleAt(1.0), 130.0, 1e-3);
  EXPECT_NEAR(angleAt(0.75), 65.0, 1e-3);
  // A NaN value draws as 0, never as a NaN transform.
  EXPECT_NEAR(angleAt(std::numeric_limits<double>::quiet_NaN()), -130.0, 1e-3);
}

TEST_F(KnobTest, ADragMovesByTheDistanceOverTheHeightAndTheGearing) {
  knob->SetValueFromHost(0.5);
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, 10);  // down: lower
  const double once = 0.5 + Step(10, 4.0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), once);
  EXPECT_NEAR(0.5 - knob->GetValue(), 0.0102, 0.0001);
  Drag(0, -10, true);  // shift: ten times finer
  EXPECT_DOUBLE_EQ(knob->GetValue(), once + Step(-10, 40.0));
  Drag(0, 5, false, true);  // control too
  EXPECT_DOUBLE_EQ(knob->GetValue(), once + Step(-10, 40.0) + Step(5, 40.0));
  Drag(30, 0);  // vertical knob: sideways movement changes nothing
  EXPECT_DOUBLE_EQ(knob->GetValue(), once + Step(-10, 40.0) + Step(5, 40.0));
  g.OnMouseUp({Pt(40, 143)});

  // The whole height at gearing 4 is a quarter of the range, horizontally the whole width.
  knob->SetValueFromHost(0.0);
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, -246);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  g.OnMouseUp({Pt(40, 143)});
  knob->SetDirection(kHorizontal);
  g.OnMouseDown({Pt(40, 143)});
  Drag(40, 0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);
}

TEST_F(KnobTest, ADragIsOneGestureThatSendsEveryValueToTheHost) {
  knob->SetValueFromHost(0.5);
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, -10);
  Drag(0, -10);
  g.OnMouseUp({Pt(40, 143)});
  const double v1 = 0.5 + Step(-10, 4.0);
  const double v2 = v1 + Step(-10, 4.0);
  EXPECT_EQ(log, (EventLog{"Begin 1", Fmt("Value 1 %g", v1), "InEditor 1 3", Fmt("Value 1 %g", v2),
                           "InEditor 1 3", "End 1"}));
  EXPECT_NEAR(e.dlg.GetParam(1)->GetValue(), v2, 0.0005);  // quantised to the step of 0.001
  EXPECT_FALSE(knob->GetMouseDown());
}

TEST_F(KnobTest, TheCursorIsHiddenDuringADragUnlessTheKnobSaysOtherwise) {
  g.OnMouseDown({Pt(40, 143)});
  EXPECT_TRUE(knob->GetMouseDown());
  EXPECT_EQ(g.mCursorHiddenCalls, (std::vector<std::pair<bool, bool>>{{true, true}}));
  EXPECT_TRUE(g.GetCursorHidden());
  Drag(0, 4);
  g.OnMouseUp({Pt(40, 143)});
  EXPECT_EQ(g.mCursorHiddenCalls,
            (std::vector<std::pair<bool, bool>>{{true, true}, {false, true}}));
  EXPECT_FALSE(g.GetCursorHidden());

  g.mCursorHiddenCalls.clear();
  knob->SetHideCursorOnDrag(false);
  g.OnMouseDown({Pt(40, 143)});
  g.OnMouseUp({Pt(40, 143)});
  EXPECT_TRUE(g.mCursorHiddenCalls.empty());
}

TEST_F(KnobTest, PushingPastAnEndBuildsUpNoOvershoot) {
  knob->SetValueFromHost(0.9);
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, -200);
  EXPECT_EQ(knob->GetValue(), 1.0);
  Drag(0, -500);
  EXPECT_EQ(knob->GetDragValue(), 1.0);
  Drag(0, 10);  // the first movement back lowers the value at once
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0 + Step(10, 4.0));
  Drag(0, 5000);
  EXPECT_EQ(knob->GetValue(), 0.0);
  Drag(0, -10);
  EXPECT_DOUBLE_EQ(knob->GetValue(), Step(-10, 4.0));
}

TEST_F(KnobTest, AQuantisedParameterSnapsWhileTheDragAccumulatesUnsnapped) {
  // "Trim": -12..12 in steps of 0.5, one step = 1/48 of the range; a 10-unit movement is
  // about half a step.
  e.dlg.GetParam(3)->SetFlags(kFlagQuantized);
  knob->BindParam(3);
  knob->SetValueFromHost(0.5);
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, -10);
  EXPECT_EQ(knob->GetValue(), 0.5);  // 0.24 dB rounds back to 0 dB
  EXPECT_DOUBLE_EQ(knob->GetDragValue(), 0.5 + Step(-10, 4.0));
  Drag(0, -10);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 12.5 / 24.0);  // 0.49 dB rounds to 0.5 dB
  EXPECT_DOUBLE_EQ(knob->GetDragValue(), 0.5 + Step(-10, 4.0) + Step(-10, 4.0));
  Drag(0, -10);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 12.5 / 24.0);
  g.OnMouseUp({Pt(40, 143)});
  EXPECT_EQ(e.dlg.GetParam(3)->GetValue(), 0.5);

  // Without the flag the same parameter follows the drag exactly.
  e.dlg.GetParam(3)->SetFlags(0);
  knob->SetValueFromHost(0.5);
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, -10);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5 + Step(-10, 4.0));
}

TEST_F(KnobTest, BadValuesAndDragBoundsWithoutExtentGiveNoNaN) {
  knob->SetValue(std::numeric_limits<double>::quiet_NaN());
  g.OnMouseDown({Pt(40, 143)});
  Drag(0, -10);
  EXPECT_DOUBLE_EQ(knob->GetValue(), Step(-10, 4.0));
  g.OnMouseUp({Pt(40, 143)});

  // A knob whose drag area has no height ignores vertical drags.
  class FlatKnob : public IBKnobControl {
   public:
    using IBKnobControl::IBKnobControl;
    IRect GetDragBounds() const override { return IRect(0, 50, 100, 50); }
  };
  auto* flat = new FlatKnob(IRect(100, 100, 140, 346), knob->GetBitmap(), 2);
  g.AttachControl(flat);
  flat->SetValueFromHost(0.3);
  log.clear();
  g.OnMouseDown({Pt(120, 200)});
  g.OnMouseDrag({Pt(120, 210, 0, 10)});
  EXPECT_EQ(flat->GetValue(), 0.3);
  EXPECT_TRUE(Matching(log, "Value").empty());

  // The wheel ignores a NaN notch count.
  knob->SetValueFromHost(0.5);
  Wheel(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(knob->GetValue(), 0.5);
}

TEST_F(KnobTest, TheWheelMovesByHundredthsThousandthsOrOneStep) {
  knob->SetValueFromHost(0.5);
  Wheel(1);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.51);
  Wheel(-2);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.51 + 0.01 * -2.0);
  Wheel(1, true);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.51 + 0.01 * -2.0 + 0.001);
  Wheel(0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.51 + 0.01 * -2.0 + 0.001);
  knob->SetValueFromHost(0.995);
  Wheel(1);
  EXPECT_EQ(knob->GetValue(), 1.0);  // clamped when marked dirty

  // A quantised parameter moves one step per event, whatever the notch count.
  e.dlg.GetParam(3)->SetFlags(kFlagQuantized);
  knob->BindParam(3);
  knob->SetValueFromHost(0.5);
  Wheel(3);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 12.5 / 24.0);
  Wheel(-0.5f, true);
  Wheel(-1);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 11.5 / 24.0);
  Wheel(0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 11.5 / 24.0);
  knob->SetValueFromHost(1.0);
  Wheel(1);
  EXPECT_EQ(knob->GetValue(), 1.0);
  EXPECT_EQ(e.dlg.GetParam(3)->GetValue(), 12.0);
}

TEST_F(KnobTest, ADoubleClickSetsTheDefaultAndSendsIt) {
  knob->SetValueFromHost(0.8);
  IMouseState ms;
  g.OnMouseDoubleClick(40, 143, ms);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 1 0.25"}));
  EXPECT_FALSE(g.ControlIsCaptured());
}

}  // namespace
}  // namespace kantele::gfx::test
