// The corner resizer and editor scaling: the grip's place at every zoom, its colours and
// cursor, the resize drag it starts (zoom limits, rescale on release), the double click back
// to the initial size, and the context's Resize and SetScreenScale as the host and the
// platform see them.

#include <gtest/gtest.h>

#include <cmath>

#include "kantele/gfx/controls/ICornerResizerControl.h"
#include "kantele/gfx/controls/IKnobControls.h"
#include "kantele/gfx/controls/ISwitchControls.h"
#include "kantele/gfx/support/ArtworkFiles.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

const IArgb kColor(10, 0, 0, 0);
const IArgb kOverColor(200, 1, 2, 3);
const IArgb kDragColor(255, 4, 5, 6);

// The editor's 1630 x 1010 UI units at `scale`, with a probe control "P", a grip of 20 units
// in distinct colours, the platform's events in the same log as the delegate's, and the log
// cleared.
struct ResizerEditor {
  explicit ResizerEditor(float scale = 1.f, bool layoutOnResize = true) : e(1630, 1010, scale) {
    e.g.mSharedLog = &e.log;
    e.dlg.UseLayout();
    probe = e.Add("P", IRect(100, 100, 200, 200));
    e.g.AttachCornerResizer(20.f, layoutOnResize, kColor, kOverColor, kDragColor);
    grip = dynamic_cast<ICornerResizerControl*>(e.g.GetCornerResizer());
    e.log.clear();
  }
  // A drag on the grip from (1625, 1005), inside it at every allowed zoom, to (x, y).
  void DragGripTo(float x, float y) {
    e.g.OnMouseDown({Pt(1625, 1005)});
    e.g.OnMouseDrag({Pt(x, y, x - 1625, y - 1005)});
  }

  TestEditor e;
  ProbeControl* probe = nullptr;
  ICornerResizerControl* grip = nullptr;
};

TEST(CornerResizerTest, SitsInTheCornerAtTheSameScreenSizeAtEveryZoom) {
  // As made: the square shrunk by 1 on each side.
  const ICornerResizerControl made(IRect(0, 0, 1630, 1010), 20.f);
  EXPECT_EQ(made.GetDrawRect(), IRect(1611, 991, 1629, 1009));

  ResizerEditor one;
  ASSERT_NE(one.grip, nullptr);
  EXPECT_EQ(one.grip->GetDrawRect(), IRect(1610, 990, 1630, 1010));
  EXPECT_EQ(one.grip->GetTargetRect(), IRect(1610, 990, 1630, 1010));
  EXPECT_EQ(one.grip->GetInitialGraphicsBounds(), IRect(0, 0, 1630, 1010));
  EXPECT_EQ(one.e.g.GetResizeMode(), kResizeScale);
  EXPECT_TRUE(one.e.g.GetLayoutOnResize());
  // A second grip is not made.
  one.e.g.AttachCornerResizer(40.f, false);
  EXPECT_EQ(one.e.g.GetCornerResizer(), one.grip);
  EXPECT_TRUE(one.e.g.GetLayoutOnResize());

  ResizerEditor two(2.f);
  EXPECT_EQ(two.grip->GetDrawRect(), IRect(1620, 1000, 1630, 1010));
  // Zoomed by a resize, the grip follows at once.
  one.e.g.Resize(1630, 1010, 2.f);
  EXPECT_EQ(one.grip->GetDrawRect(), IRect(1620, 1000, 1630, 1010));
  one.e.g.Resize(1000, 800, 2.f);
  EXPECT_EQ(one.grip->GetTargetRect(), IRect(990, 790, 1000, 800));
}

TEST(CornerResizerTest, DrawsTheLowerRightHalfInTheColourOfItsState) {
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  auto drawnColor = [&]() {
    g.ClearDrawing();
    r.grip->Draw(g);
    const std::vector<DrawCall> fills = g.CallsOf("Fill");
    EXPECT_EQ(fills.size(), 1u);
    if (fills.empty()) return IArgb();
    EXPECT_EQ(fills[0].mWeight, 1.f);
    return fills[0].mColor;
  };
  EXPECT_EQ(drawnColor(), kColor);
  const std::vector<DrawCall> moves = g.CallsOf("MoveTo");
  const std::vector<DrawCall> lines = g.CallsOf("LineTo");
  ASSERT_EQ(moves.size(), 1u);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(moves[0].mArgs, (std::vector<double>{1610, 1010}));  // (L, B)
  EXPECT_EQ(lines[0].mArgs, (std::vector<double>{1630, 990}));   // (R, T)
  EXPECT_EQ(lines[1].mArgs, (std::vector<double>{1630, 1010}));  // (R, B)

  IMouseState ms;
  g.OnMouseOver(1625, 1005, ms);
  EXPECT_EQ(drawnColor(), kOverColor);
  g.OnMouseDown({Pt(1625, 1005)});
  EXPECT_TRUE(g.GetResizingInProcess());
  EXPECT_EQ(drawnColor(), kDragColor);
  g.OnMouseUp({Pt(1625, 1005)});
  EXPECT_FALSE(g.GetResizingInProcess());
  // Released over the grip: the mouse-over colour again.
  EXPECT_EQ(drawnColor(), kOverColor);
  g.OnMouseOver(100, 100, ms);
  EXPECT_EQ(drawnColor(), kColor);
}

TEST(CornerResizerTest, ShowsTheResizeCursorWhileThePointerIsOver) {
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  g.mCursor = kIBeamCursor;
  IMouseState ms;
  g.OnMouseOver(1625, 1005, ms);
  EXPECT_EQ(g.mCursor, kSizeNWSECursor);
  EXPECT_TRUE(r.grip->GetMouseIsOver());
  g.OnMouseOver(1626, 1006, ms);  // still over: the cursor found first is kept
  g.OnMouseOver(100, 100, ms);
  EXPECT_EQ(g.mCursor, kIBeamCursor);
  EXPECT_FALSE(r.grip->GetMouseIsOver());
  g.OnMouseOver(500, 500, ms);
  EXPECT_EQ(g.mCursor, kIBeamCursor);

  // A rescale while over keeps the cursor until the pointer leaves.
  g.OnMouseOver(1625, 1005, ms);
  g.SetScreenScale(2.f);
  EXPECT_EQ(g.mCursor, kSizeNWSECursor);
  g.OnMouseOut();
  EXPECT_EQ(g.mCursor, kIBeamCursor);
}

TEST(CornerResizerTest, ADragZoomsWithinHalfAndTwiceTheConstructionScale) {
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  // min(1 * 1507.5 / 1005, 1 * 2600 / 1625) = 1.5; the UI-unit size stays.
  r.DragGripTo(2600, 1507.5f);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.5f);
  EXPECT_EQ(g.Width(), 1630);
  EXPECT_EQ(g.Height(), 1010);
  EXPECT_EQ(r.e.log, (EventLog{"ResizeFromEditor 2445 1515", "PlatformResize 1", "P:Resize",
                               "DrawResize", "Layout 1630 1010 1.5"}));
  // The artwork follows the zoom once, on release.
  g.SetAllControlsClean();
  g.OnMouseUp({Pt(2600, 1507.5f)});
  EXPECT_EQ(Count(r.e.log, "P:Rescale"), 1);
  EXPECT_TRUE(r.probe->IsDirty() && r.grip->IsDirty());

  r.DragGripTo(1625 * 5, 1005 * 5);
  EXPECT_EQ(g.GetDrawScale(), 2.f);
  g.OnMouseUp({Pt(1625 * 5, 1005 * 5)});
  r.DragGripTo(100, 100);
  EXPECT_EQ(g.GetDrawScale(), 0.5f);
  g.OnMouseUp({Pt(100, 100)});

  // Made at 1.5, the limits are 0.75 and 3.
  ResizerEditor big(1.5f);
  big.DragGripTo(1625 * 5, 1005 * 5);
  EXPECT_EQ(big.e.g.GetDrawScale(), 3.f);
  big.e.g.OnMouseUp({Pt(1625 * 5, 1005 * 5)});
  big.DragGripTo(10, 10);
  EXPECT_EQ(big.e.g.GetDrawScale(), 0.75f);
}

TEST(CornerResizerTest, ADoubleClickReturnsToTheInitialSizeAtScaleOne) {
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  IMouseState ms;
  g.SetResizeMode(kResizeSize);
  r.DragGripTo(1400, 900);
  g.OnMouseUp({Pt(1400, 900)});
  g.Resize(1400, 900, 1.75f);
  ASSERT_EQ(r.grip->GetDrawRect().R, 1400.f);
  g.OnMouseDoubleClick(1395, 895, ms);
  EXPECT_EQ(g.Width(), 1630);
  EXPECT_EQ(g.Height(), 1010);
  EXPECT_EQ(g.GetDrawScale(), 1.f);
  EXPECT_FALSE(g.ControlIsCaptured());

  // Made at 1.5, the initial size comes back at 1.0; made at 3, 1.0 is below the zoom allowed.
  ResizerEditor big(1.5f);
  big.e.g.OnMouseDoubleClick(1625, 1005, ms);
  EXPECT_EQ(big.e.g.GetDrawScale(), 1.f);
  ResizerEditor huge(3.f);
  huge.e.g.OnMouseDoubleClick(1625, 1005, ms);
  EXPECT_EQ(huge.e.g.GetDrawScale(), 1.5f);
}

TEST(EditorScalingTest, AResizeToTheCurrentSizeAndScaleDoesNothing) {
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  g.OnMouseDown({Pt(150, 150)});
  ASSERT_TRUE(g.ControlIsCaptured(r.probe));
  r.e.log.clear();
  g.Resize(1630, 1010, 1.f);
  EXPECT_TRUE(g.ControlIsCaptured(r.probe));
  EXPECT_TRUE(r.e.log.empty());
  EXPECT_EQ(g.mPlatformResizes, 0);
  EXPECT_EQ(g.mDrawResizes, 0);

  // Any change closes the capture before the host hears of it.
  g.Resize(1630, 1010, 1.25f);
  EXPECT_FALSE(g.ControlIsCaptured());
  EXPECT_EQ(Count(r.e.log, "ResizeFromEditor 2037 1262"), 1);
}

TEST(EditorScalingTest, AResizeIsClampedToTheDelegateLimitsAndTheZoomRange) {
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  r.e.dlg.SetSizeConstraints(800, 2000, 500, 1200);
  g.Resize(3000, 100, 1.f);
  EXPECT_EQ(g.Width(), 2000);
  EXPECT_EQ(g.Height(), 500);
  g.Resize(1000, 700, 9.f);
  EXPECT_EQ(g.Width(), 1000);
  EXPECT_EQ(g.Height(), 700);
  EXPECT_EQ(g.GetDrawScale(), 2.f);
  // The host hears the window size in device pixels: the screen scale on top of the zoom.
  g.SetScreenScale(1.5f);
  r.e.log.clear();
  g.Resize(1000, 700, 1.25f);
  EXPECT_EQ(Matching(r.e.log, "ResizeFromEditor"), (EventLog{"ResizeFromEditor 1875 1312"}));
  // A refused host resize leaves the platform to resize the window.
  r.e.dlg.mAcceptResize = false;
  g.Resize(1000, 700, 1.f);
  EXPECT_FALSE(g.mLastParentHasResized);
}

TEST(EditorScalingTest, AScreenScaleChangeResizesTheWindowAndReloadsTheArtwork) {
  ArtworkDir dir;
  ResizerEditor r;
  RecordingGfx& g = r.e.g;
  const std::string knobPath = dir.Png("knob.png", 40, 400);
  dir.Png("knob@2x.png", 80, 800);
  const std::string switchPath = dir.Png("switch.png", 30, 40);
  dir.Png("switch@2x.png", 60, 80);
  auto* knob = new IBKnobControl(IRect(300, 300, 340, 340), g.LoadBitmap(knobPath.c_str(), 10), 1);
  auto* sw = new IBSwitchControl(IRect(400, 300, 430, 320), g.LoadBitmap(switchPath.c_str(), 2), 2);
  g.AttachControl(knob);
  g.AttachControl(sw);
  ASSERT_EQ(knob->GetBitmap().GetAPIBitmap()->GetScale(), 1);
  r.e.log.clear();
  g.SetAllControlsClean();

  // 1.5 device pixels per unit: the @2x artwork (ceil 1.5), a window of 1.5 x 1630 x 1010.
  g.SetScreenScale(1.5f);
  EXPECT_EQ(r.e.log, (EventLog{"ResizeFromEditor 2445 1515", "PlatformResize 1", "P:Rescale",
                               "DrawResize"}));
  for (const IBitmapBase* control :
       {static_cast<IBitmapBase*>(knob), static_cast<IBitmapBase*>(sw)}) {
    const IBitmapHandle& bitmap = control->GetBitmap();
    ASSERT_TRUE(bitmap.IsValid());
    EXPECT_EQ(bitmap.GetAPIBitmap()->GetScale(), 2);
  }
  EXPECT_EQ(knob->GetBitmap().N(), 10);
  EXPECT_EQ(knob->GetBitmap().FH(), 40);  // the same size in UI units
  EXPECT_EQ(sw->GetBitmap().N(), 2);
  EXPECT_TRUE(knob->IsDirty() && sw->IsDirty() && r.probe->IsDirty());
  EXPECT_EQ(g.GetDrawScale(), 1.f);
  // The grip keeps its place in UI units.
  EXPECT_EQ(r.grip->GetDrawRect(), IRect(1610, 990, 1630, 1010));

  // A density that is not a number is no change at all.
  r.e.log.clear();
  g.SetScreenScale(std::nanf(""));
  EXPECT_EQ(g.GetScreenScale(), 1.5f);
  EXPECT_TRUE(r.e.log.empty());
}

}  // namespace
}  // namespace kantele::gfx::test
