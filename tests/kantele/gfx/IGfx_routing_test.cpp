// How the graphics context routes pointer and key events: which control is hit, captures
// during a drag, the gestures opened and closed around them, the context-menu path of the
// right button, mouse-over, and the special controls that sit above the list.

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kantele/ThreadCheck.h"

#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

// A background, A over "Gain" and C over "Mix" overlapping A at (60..110, 30..60), and an
// unbound D.
class RoutingTest : public ::testing::Test {
 protected:
  void SetUp() override { log.clear(); }

  TestEditor e;
  EventLog& log = e.log;
  RecordingGfx& g = e.g;
  ProbeControl* bg = e.Add("bg", IRect(0, 0, 300, 200));
  ProbeControl* a = e.Add("A", IRect(10, 10, 110, 60), 0);
  ProbeControl* c = e.Add("C", IRect(60, 30, 160, 90), 1);
  ProbeControl* d = e.Add("D", IRect(200, 100, 260, 160));
};

TEST(AttachTest, RunsTheHooksInOrderAndOwnsTheControl) {
  TestEditor e;
  e.Add("first", IRect(0, 0, 10, 10));
  e.log.clear();
  auto* p = new ProbeControl("P", IRect(1, 2, 3, 4), e.log, 0);
  p->SetGroup("knobs");
  ASSERT_EQ(e.g.AttachControl(p, 7), p);
  // Initialised with its owners set but before it is listed; attached once listed.
  EXPECT_EQ(e.log, (EventLog{"P:Init -1", "P:Resize", "P:Rescale", "P:Attached 1"}));
  EXPECT_EQ(p->GetDelegate(), &e.dlg);
  EXPECT_EQ(p->GetGraphics(), &e.g);
  EXPECT_STREQ(p->GetGroup(), "");
  EXPECT_EQ(e.g.NControls(), 2);
  EXPECT_EQ(e.g.GetControlIdx(p), 1);
  EXPECT_EQ(e.g.GetControlWithTag(7), p);
  EXPECT_EQ(e.g.GetControlWithTag(8), nullptr);
}

TEST_F(RoutingTest, LaterControlsAreHitFirstUnlessTheyDeclineThePointer) {
  EXPECT_EQ(g.FindControlAt(80, 40, false), c);
  EXPECT_EQ(g.FindControlAt(20, 20, false), a);
  EXPECT_EQ(g.FindControlAt(250, 20, false), bg);

  c->Hide(true);
  EXPECT_EQ(g.FindControlAt(80, 40, false), a);
  c->Hide(false);

  c->SetDisabled(true);
  EXPECT_EQ(g.FindControlAt(80, 40, false), a);
  c->SetMEWhenGrayed(true);
  EXPECT_EQ(g.FindControlAt(80, 40, false), c);
  c->SetMEWhenGrayed(false);
  c->SetDisabled(false);

  c->SetIgnoreMouse(true);
  EXPECT_EQ(g.FindControlAt(80, 40, false), a);
  EXPECT_FALSE(g.ControlIsCaptured());
}

TEST_F(RoutingTest, TheCapturedControlGetsTheDragsThatMoveUntilMouseUp) {
  g.OnMouseDown({Pt(20, 20)});
  EXPECT_TRUE(g.ControlIsCaptured(a));
  EXPECT_EQ(g.GetMouseDownX(), 20.f);
  EXPECT_EQ(g.GetMouseDownY(), 20.f);
  g.OnMouseDrag({Pt(20, 20, 0, 0)});      // no movement: dropped
  g.OnMouseDrag({Pt(150, 80, 130, 60)});  // over C now, but A holds the capture
  g.OnMouseDrag({Pt(150, 79, 0, -1)});
  g.OnMouseUp({Pt(150, 79)});
  EXPECT_EQ(log, (EventLog{"Begin 0", "A:Down 20 20", "A:Drag 150 80 130 60", "A:Drag 150 79 0 -1",
                           "A:Up 150 79", "End 0"}));
  EXPECT_FALSE(g.ControlIsCaptured());

  log.clear();
  g.OnMouseDrag({Pt(20, 20, 3, 3)});
  EXPECT_TRUE(log.empty());
}

TEST_F(RoutingTest, EveryBoundValueHasItsOwnGesture) {
  auto* m = e.Add("M", IRect(120, 120, 180, 180), 1);
  m->AddValue(2);
  m->AddValue(-1);
  log.clear();
  g.OnMouseDown({Pt(130, 130)});
  g.OnMouseUp({Pt(130, 130)});
  EXPECT_EQ(log,
            (EventLog{"Begin 1", "Begin 2", "M:Down 130 130", "M:Up 130 130", "End 1", "End 2"}));
}

TEST_F(RoutingTest, RightClickOnABoundControlOpensItsContextMenuWithoutAnyGesture) {
  a->mContextItems = 2;
  g.mMenuChoice = 1;
  g.EnableMultiTouch(true);
  d->SetWantsMultiTouch(true);
  // The second touch is not served: the menu ends the whole event.
  g.OnMouseDown({Pt(20, 30, 0, 0, true, 1), Pt(210, 110, 0, 0, false, 2)});
  EXPECT_EQ(log, (EventLog{"A:FillContextMenu", "A:ContextChoice 1"}));
  ASSERT_EQ(g.mMenus.size(), 1u);
  EXPECT_EQ(g.mMenus[0].mBounds, IRect(20, 30, 20, 30));
  EXPECT_EQ(g.mMenus[0].mItems, (std::vector<std::string>{"item 0", "item 1"}));
  EXPECT_FALSE(g.ControlIsCaptured());
}

TEST_F(RoutingTest, RightClickWithoutAMenuOpensNothingOrIsAnOrdinaryMouseDown) {
  g.OnMouseDown({Pt(20, 20, 0, 0, true)});  // bound, but the menu stays empty
  EXPECT_EQ(log, (EventLog{"A:FillContextMenu"}));
  EXPECT_FALSE(g.ControlIsCaptured());

  log.clear();
  d->mContextItems = 1;
  g.OnMouseDown({Pt(210, 110, 0, 0, true)});  // unbound: no menu at all
  EXPECT_EQ(log, (EventLog{"D:Down 210 110 R"}));
  EXPECT_TRUE(g.ControlIsCaptured(d));
  EXPECT_TRUE(g.mMenus.empty());
  EXPECT_TRUE(g.mTextEntries.empty());  // prompts are off by default
}

// (Typed values through a right-click are tested through the plug-in's windows.) An
// enumerated parameter's prompt is a menu, whose closing ends a gesture: it begins with the
// click, and no press reaches the control.
TEST_F(RoutingTest, RightClickPromptingAMenuOfValuesBeginsTheGestureItEnds) {
  e.dlg.ReplaceParam(1, kKindEnum).ConfigureDouble("Mode", 0., 0., 3., 1.);
  c->DisablePrompt(false);
  g.mMenuChoice = 2;
  log.clear();
  g.OnMouseDown({Pt(150, 80, 0, 0, true)});
  ASSERT_EQ(g.mMenus.size(), 1u);
  EXPECT_EQ(Matching(log, "Begin"), EventLog{"Begin 1"});
  EXPECT_EQ(Matching(log, "End"), EventLog{"End 1"});
  EXPECT_LT(IndexOf(log, "Begin 1"), IndexOf(log, "End 1"));
  EXPECT_TRUE(Matching(log, "C:Down").empty());
}

TEST_F(RoutingTest, HostValuesWaitWhileTheControlIsDragged) {
  g.OnMouseDown({Pt(20, 20)});
  g.SetAllControlsClean();
  log.clear();
  a->SetValueFromHost(0.7);
  EXPECT_EQ(a->GetValue(), 0.0);
  EXPECT_FALSE(a->IsDirty());
  // Another control is not held up by A's capture.
  c->SetValueFromHost(0.4);
  EXPECT_EQ(c->GetValue(), 0.4);

  g.OnMouseUp({Pt(20, 20)});
  log.clear();
  a->SetValueFromHost(0.7);
  EXPECT_EQ(a->GetValue(), 0.7);
  EXPECT_TRUE(a->IsDirty());
  EXPECT_TRUE(log.empty());  // nothing goes back to the delegate
}

TEST_F(RoutingTest, MouseOverFollowsThePointerButNeverTheBackground) {
  EXPECT_FALSE(g.OnMouseOver(20, 20, IMouseState()));  // off by default
  EXPECT_EQ(g.FindControlAt(20, 20, false, true), nullptr);
  EXPECT_TRUE(log.empty());

  g.EnableMouseOver(true);
  EXPECT_TRUE(g.OnMouseOver(20, 20, IMouseState()));
  EXPECT_EQ(g.GetMouseOverIdx(), 1);
  EXPECT_TRUE(a->GetMouseIsOver());
  EXPECT_TRUE(g.OnMouseOver(150, 80, IMouseState()));
  EXPECT_EQ(g.GetMouseOverIdx(), 2);
  EXPECT_EQ(g.GetMouseOverControl(), c);
  EXPECT_FALSE(g.OnMouseOver(250, 20, IMouseState()));
  EXPECT_EQ(g.GetMouseOverIdx(), -1);
  EXPECT_EQ(g.FindControlAt(250, 20, false, true), nullptr);
  EXPECT_EQ(log, (EventLog{"A:Over", "A:Out", "C:Over", "C:Out"}));

  // The mouse's release moves mouse-over to where it was released.
  g.OnMouseDown({Pt(20, 20)});
  g.OnMouseUp({Pt(150, 80)});
  EXPECT_EQ(g.GetMouseOverControl(), c);

  log.clear();
  g.OnMouseOut();
  EXPECT_EQ(g.GetMouseOverIdx(), -1);
  EXPECT_FALSE(c->GetMouseIsOver());
  for (const char* name : {"bg", "A", "C", "D"}) {
    EXPECT_EQ(Count(log, std::string(name) + ":Out"), 1) << name;
  }
}

TEST_F(RoutingTest, DoubleClickResetsToDefaultOrActsAsASingleClick) {
  g.OnMouseDoubleClick(20, 20, IMouseState());
  EXPECT_EQ(log, (EventLog{"A:DoubleClick 20 20", "Value 0 0.5", "InEditor 0 3"}));
  EXPECT_EQ(a->GetValue(), 0.5);
  EXPECT_FALSE(g.ControlIsCaptured());

  log.clear();
  a->SetDblAsSingleClick(true);
  g.OnMouseDoubleClick(20, 20, IMouseState());
  EXPECT_EQ(log, (EventLog{"Begin 0", "A:Down 20 20"}));
  EXPECT_TRUE(g.ControlIsCaptured(a));
}

TEST_F(RoutingTest, TheWheelGoesToTheControlUnderThePointer) {
  g.OnMouseWheel(20, 20, IMouseState(), 1.5f);
  g.OnMouseWheel(250, 20, IMouseState(), -1.f);
  EXPECT_EQ(log, (EventLog{"A:Wheel 20 20 1.5", "bg:Wheel 250 20 -1"}));
  EXPECT_FALSE(g.ControlIsCaptured());
}

TEST_F(RoutingTest, KeysGoToTheControlThenToTheKeyHandlerButNeverToTheBackground) {
  const KeyPress key("a", 65, false, false, false);
  bg->mKeyResult = true;
  EXPECT_FALSE(g.OnKeyDown(20, 20, key));   // A declines, no handler
  EXPECT_FALSE(g.OnKeyDown(250, 20, key));  // the background is not asked
  a->mKeyResult = true;
  EXPECT_TRUE(g.OnKeyDown(20, 20, key));
  EXPECT_TRUE(g.OnKeyUp(20, 20, key));
  EXPECT_EQ(log, (EventLog{"A:KeyDown 20 20 65", "A:KeyDown 20 20 65", "A:KeyUp 20 20 65"}));

  std::vector<std::pair<int, bool>> handled;
  g.SetKeyHandler([&](const KeyPress& k, bool isUp) {
    handled.emplace_back(k.VK, isUp);
    return true;
  });
  EXPECT_TRUE(g.OnKeyDown(20, 20, key));
  EXPECT_TRUE(handled.empty());  // A took it
  a->mKeyResult = false;
  EXPECT_TRUE(g.OnKeyDown(20, 20, key));
  EXPECT_TRUE(g.OnKeyUp(20, 20, key));
  EXPECT_TRUE(g.OnKeyDown(250, 20, key));
  EXPECT_EQ(handled, (std::vector<std::pair<int, bool>>{{65, false}, {65, true}, {65, false}}));
  EXPECT_TRUE(Matching(log, "bg:Key").empty());
}

TEST_F(RoutingTest, ClearingTheCaptureShowsAHiddenCursor) {
  g.OnMouseDown({Pt(20, 20)});
  g.ClearCapture();
  EXPECT_FALSE(g.ControlIsCaptured());
  EXPECT_TRUE(g.mCursorHiddenCalls.empty());

  g.OnMouseDown({Pt(20, 20)});
  g.SetCursorHidden(true, true);
  g.mCursorHiddenCalls.clear();
  g.ClearCapture();
  EXPECT_EQ(g.mCursorHiddenCalls, (std::vector<std::pair<bool, bool>>{{false, true}}));
  EXPECT_FALSE(g.GetCursorHidden());
}

TEST(ContextLifetimeTest, AContextDestroyedDuringAHiddenCursorDragClosesCleanly) {
  EventLog log;
  TestDelegate dlg(log);
  auto g = std::make_unique<RecordingGfx>(dlg, 300, 200);
  g->AttachControl(new ProbeControl("A", IRect(10, 10, 50, 50), log));
  g->OnMouseDown({Pt(20, 20)});
  g->SetCursorHidden(true, true);
  ASSERT_TRUE(g->ControlIsCaptured());
  // The capture is forgotten with the controls, without asking the platform part, which is
  // already gone, to show the cursor.
  g.reset();
  EXPECT_EQ(IGfx::SharedCacheUsers(), 0);
}

TEST_F(RoutingTest, SpecialControlsAreFoundBeforeTheList) {
  auto* entry = new ProbeTextEntry("T", IRect(10, 10, 110, 30), log);
  g.AttachTextEntryControl(entry);
  auto* corner = new ProbeControl("R", IRect(280, 180, 300, 200), log);
  g.AttachCornerResizer(corner, false);
  ASSERT_EQ(g.GetCornerResizer(), corner);

  EXPECT_EQ(g.FindControlAt(20, 20, false), a);  // not editing: not in the way
  EXPECT_EQ(g.FindControlAt(290, 190, false), corner);
  EXPECT_EQ(g.FindControlAt(250, 150, false), d);
  // While editing, the entry takes every point (a click elsewhere reaches it too).
  entry->mEditing = true;
  EXPECT_EQ(g.FindControlAt(20, 20, false), entry);
  EXPECT_EQ(g.FindControlAt(250, 150, false), entry);
  entry->mEditing = false;

  log.clear();
  g.OnMouseDown({Pt(290, 190)});
  g.OnMouseDrag({Pt(292, 193, 2, 3)});
  EXPECT_EQ(log, (EventLog{"R:Down 290 190", "R:Drag 292 193 2 3"}));
}

TEST_F(RoutingTest, WhileANativeTextBoxIsOpenNothingIsDragged) {
  g.OnMouseDown({Pt(210, 110)});
  g.PromptForValue(a, a->GetDrawRect(), 0);
  ASSERT_EQ(g.mTextEntries.size(), 1u);
  ASSERT_TRUE(g.ControlIsCaptured(d));
  g.OnMouseDrag({Pt(215, 115, 5, 5)});
  EXPECT_TRUE(Matching(log, "D:Drag").empty());
}

TEST_F(RoutingTest, WhileTheInEditorEntryIsOpenOnlyItIsDragged) {
  auto* entry = new ProbeTextEntry("T", IRect(10, 10, 110, 30), log);
  g.AttachTextEntryControl(entry);
  g.OnMouseDown({Pt(210, 110)});
  g.OnMouseDrag({Pt(212, 110, 2, 0)});
  entry->mEditing = true;  // opened during D's drag
  g.OnMouseDrag({Pt(215, 115, 3, 5)});
  g.OnMouseUp({Pt(215, 115)});
  g.OnMouseDown({Pt(20, 20)});
  g.OnMouseDrag({Pt(25, 20, 5, 0)});
  EXPECT_EQ(Matching(log, "D:Drag"), (EventLog{"D:Drag 212 110 2 0"}));
  EXPECT_EQ(Matching(log, "T:Drag"), (EventLog{"T:Drag 25 20 5 0"}));
}

TEST_F(RoutingTest, AResizeDragZoomsAndTheControlsRescaleOnRelease) {
  g.OnMouseDown({Pt(150, 100)});
  g.StartResizeGesture();
  log.clear();
  // Scale: min(1 * 150 / 100, 1 * 300 / 150).
  g.OnMouseDrag({Pt(300, 150, 150, 50)});
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.5f);
  EXPECT_EQ(g.Width(), 300);
  EXPECT_EQ(g.Height(), 200);
  EXPECT_TRUE(Matching(log, "bg:Drag").empty());
  EXPECT_TRUE(Matching(log, "A:Rescale").empty());

  g.SetAllControlsClean();
  g.OnMouseUp({Pt(300, 150)});
  EXPECT_FALSE(g.GetResizingInProcess());
  for (const char* name : {"bg", "A", "C", "D"}) {
    EXPECT_EQ(Count(log, std::string(name) + ":Rescale"), 1) << name;
  }
  EXPECT_TRUE(a->IsDirty() && bg->IsDirty() && d->IsDirty());
}

// The entry points the platform layers and the plug-in base call: each names itself to the
// thread check when another thread reaches it, and is silent on the editor's own thread.
std::mutex sReportedMutex;
std::vector<std::string> sReported;
void RecordOffThread(const char* entryPoint) {
  std::lock_guard<std::mutex> lock(sReportedMutex);
  sReported.emplace_back(entryPoint);
}

TEST_F(RoutingTest, EntryPointsReachedFromAnotherThreadAreReported) {
  IRectList rects;
  const std::vector<std::pair<const char*, std::function<void()>>> entries = {
      {"OnMouseDown", [&] { g.OnMouseDown({Pt(20, 20)}); }},
      {"OnMouseDrag", [&] { g.OnMouseDrag({Pt(25, 20, 5, 0)}); }},
      {"OnMouseUp", [&] { g.OnMouseUp({Pt(25, 20)}); }},
      {"OnMouseOver", [&] { g.OnMouseOver(30, 30, IMouseState()); }},
      {"OnMouseDoubleClick", [&] { g.OnMouseDoubleClick(30, 30, IMouseState()); }},
      {"OnMouseWheel", [&] { g.OnMouseWheel(30, 30, IMouseState(), 1.f); }},
      {"OnKeyDown", [&] { g.OnKeyDown(30, 30, KeyPress()); }},
      {"IsDirty", [&] { g.IsDirty(rects); }},
      {"Draw", [&] { g.Draw(rects); }},
      {"PushParamValueToEditor", [&] { e.dlg.PushParamValueToEditor(0, 0.5, true); }},
      {"PushMidiToEditor", [&] { e.dlg.PushMidiToEditor(MidiMsg()); }},
  };
  const ThreadCheckFailure previous = UiThreadCheck::SetFailureHandler(RecordOffThread);
  for (const auto& [name, call] : entries) {
    sReported.clear();
    call();
    EXPECT_TRUE(sReported.empty()) << name << " on the editor's thread";
    std::thread(call).join();
    // The first report is the entry point's own (some call others: a release updates the
    // mouse-over).
    EXPECT_FALSE(sReported.empty()) << name;
    if (!sReported.empty()) {
      EXPECT_NE(sReported[0].find(name), std::string::npos) << sReported[0];
    }
  }
  UiThreadCheck::SetFailureHandler(previous);
}

}  // namespace
}  // namespace kantele::gfx::test
