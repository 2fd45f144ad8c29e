// The graphics editor delegate: opening and closing the editor (keeping its size and scale
// across), values, MIDI and messages pushed to its controls, key routing, and the editor state.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "kantele/ByteChunk.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

ByteChunk EditorState(int32_t w, int32_t h, float scale, int leading = 0) {
  ByteChunk chunk;
  for (int i = 0; i < leading; ++i) chunk.Put<uint8_t>(0xEE);
  chunk.Put(w);
  chunk.Put(h);
  chunk.Put(scale);
  return chunk;
}

// An editor of 400 x 300 at scale 1 whose layout attaches a background, A on "Gain" (tag 1),
// B showing "Mix" then "Gain" (tag 2) and M wanting MIDI (tag 3).
class EditorDelegateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dlg.GetParam(0)->ConfigureDouble("Gain", 50., 0., 100., 0.1, "dB");
    dlg.UseRecordingFactory(400, 300);
    dlg.UseLayout([this](IGfx& g) {
      g.AttachControl(new ProbeControl("bg", IRect(0, 0, 400, 300), log));
      a = new ProbeControl("A", IRect(10, 10, 60, 30), log, 0);
      g.AttachControl(a, 1);
      b = new ProbeControl("B", IRect(10, 40, 60, 60), log, 1);
      b->AddValue(0);
      g.AttachControl(b, 2);
      m = new ProbeControl("M", IRect(10, 70, 60, 90), log);
      m->SetWantsMidi(true);
      g.AttachControl(m, 3);
    });
  }

  void Open() { ASSERT_NE(dlg.OpenWindow(&parent), nullptr); }

  EventLog log;
  TestDelegate dlg{log};
  int parent = 0;
  ProbeControl* a = nullptr;
  ProbeControl* b = nullptr;
  ProbeControl* m = nullptr;
};

TEST_F(EditorDelegateTest, TheFirstOpenLaysOutAFreshContextWithoutResizing) {
  Open();
  ASSERT_NE(dlg.UI(), nullptr);
  EXPECT_EQ(dlg.mMade, 1);
  EXPECT_TRUE(Matching(log, "ResizeFromEditor").empty());
  const int layout = IndexOf(log, "Layout 400 300 1");
  ASSERT_GE(layout, 0);
  EXPECT_LT(layout, IndexOf(log, "Opened"));
  // Opening sends every parameter's value to the controls.
  EXPECT_EQ(a->GetValue(), 0.5);
  EXPECT_EQ(b->GetValue(1), 0.5);

  // Opening again reuses the context.
  IGfx* first = dlg.GetUI();
  Open();
  EXPECT_EQ(dlg.GetUI(), first);
  EXPECT_EQ(dlg.mMade, 1);
}

TEST_F(EditorDelegateTest, ReopeningRestoresTheSizeAndScaleBeforeTheLayout) {
  Open();
  dlg.GetUI()->Resize(800, 500, 1.25f);
  dlg.CloseWindow();
  EXPECT_EQ(dlg.GetUI(), nullptr);
  EXPECT_EQ(dlg.GetSavedWidth(), 800);
  EXPECT_EQ(dlg.GetSavedHeight(), 500);
  EXPECT_EQ(dlg.GetSavedScale(), 1.25f);

  log.clear();
  Open();
  EXPECT_EQ(dlg.mMade, 2);
  EXPECT_EQ(Matching(log, "Layout"), (EventLog{"Layout 800 500 1.25"}));
  EXPECT_LT(IndexOf(log, "ResizeFromEditor 1000 625"), IndexOf(log, "Layout 800 500 1.25"));
  EXPECT_GE(IndexOf(log, "ResizeFromEditor 1000 625"), 0);
}

TEST_F(EditorDelegateTest, NoFactoryOrNoContextOpensNothing) {
  TestDelegate bare(log);
  EXPECT_EQ(bare.OpenWindow(&parent), nullptr);
  EXPECT_EQ(bare.GetUI(), nullptr);

  int calls = 0;
  bare.SetMakeGraphicsFunc([&]() -> std::unique_ptr<IGfx> { return ++calls, nullptr; });
  EXPECT_EQ(bare.OpenWindow(&parent), nullptr);
  EXPECT_EQ(bare.GetUI(), nullptr);
  EXPECT_EQ(calls, 1);
}

TEST_F(EditorDelegateTest, ClosingIsGuardedAgainstReentry) {
  Open();
  dlg.mCloseFromClosing = true;
  log.clear();
  dlg.CloseWindow();
  EXPECT_EQ(log, (EventLog{"Closing", "CloseWindow"}));
  EXPECT_EQ(dlg.GetUI(), nullptr);
  EXPECT_EQ(dlg.GetSavedWidth(), 400);
  EXPECT_EQ(dlg.GetSavedHeight(), 300);
  EXPECT_EQ(dlg.GetSavedScale(), 1.f);
}

TEST(EditorDelegateLifetimeTest, DestroyingTheDelegateClosesTheEditor) {
  EventLog log;
  {
    TestDelegate dlg(log);
    dlg.UseRecordingFactory(200, 100);
    ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
    dlg.UI()->AttachControl(new ProbeControl("A", IRect(0, 0, 10, 10), log));
    log.clear();
  }
  EXPECT_EQ(Count(log, "CloseWindow"), 1);
}

TEST_F(EditorDelegateTest, ParameterValuesReachEveryBoundSlot) {
  dlg.PushParamValueToEditor(0, 30., false);  // closed: only the notification
  EXPECT_EQ(log, (EventLog{"InEditor 0 4"}));

  Open();
  log.clear();
  dlg.PushParamValueToEditor(0, 25., false);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.25);
  EXPECT_DOUBLE_EQ(b->GetValue(1), 0.25);
  EXPECT_EQ(b->GetValue(0), 0.0);  // the "Mix" slot is not touched
  dlg.PushParamValueToEditor(0, 50., false);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(b->GetValue(1), 0.5);
  dlg.PushParamValueToEditor(0, 0.8, true);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.8);
  EXPECT_EQ(log, (EventLog{"InEditor 0 4", "InEditor 0 4", "InEditor 0 4"}));

  // A dragged control keeps its value; the others follow.
  dlg.GetUI()->OnMouseDown({Pt(20, 20)});
  dlg.PushParamValueToEditor(0, 0.1, true);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.8);
  EXPECT_DOUBLE_EQ(b->GetValue(1), 0.1);
}

TEST_F(EditorDelegateTest, MidiAndMessagesReachTheirControls) {
  MidiMsg msg;
  msg.mStatus = 0x90;
  dlg.PushMidiToEditor(msg);  // closed: only the notification
  EXPECT_EQ(log, (EventLog{"MidiInEditor 144"}));

  Open();
  log.clear();
  dlg.PushMidiToEditor(msg);
  EXPECT_EQ(log, (EventLog{"M:Midi 144", "MidiInEditor 144"}));

  log.clear();
  dlg.PushControlValueToEditor(1, 0.3);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.3);
  const uint8_t data[4] = {1, 2, 3, 4};
  dlg.PushControlMsgToEditor(2, 17, 4, data);
  dlg.PushControlValueToEditor(99, 0.7);  // no such tag
  dlg.PushControlMsgToEditor(99, 17, 4, data);
  EXPECT_EQ(Matching(log, "B:"), (EventLog{"B:Message 17 4"}));
  EXPECT_TRUE(Matching(log, "A:Message").empty() && Matching(log, "M:Message").empty());
}

TEST_F(EditorDelegateTest, KeysGoToTheControlUnderTheCursor) {
  const KeyPress key("a", 65, false, false, false);
  EXPECT_FALSE(dlg.OnKeyDown(key));
  Open();
  dlg.UI()->mCursorX = 20;
  dlg.UI()->mCursorY = 20;
  a->mKeyResult = true;
  log.clear();
  EXPECT_TRUE(dlg.OnKeyDown(key));
  EXPECT_TRUE(dlg.OnKeyUp(key));
  EXPECT_EQ(log, (EventLog{"A:KeyDown 20 20 65", "A:KeyUp 20 20 65"}));
  a->mKeyResult = false;
  EXPECT_FALSE(dlg.OnKeyDown(key));
}

// ---- Editor state.

TEST_F(EditorDelegateTest, TheStateIsSizeAndScaleInTwelveBytes) {
  ByteChunk empty;
  ASSERT_TRUE(dlg.SerializeEditorState(empty));
  EXPECT_EQ(empty, EditorState(0, 0, 0.f));

  Open();
  dlg.GetUI()->Resize(800, 500, 1.25f);
  ByteChunk open;
  open.Put<uint8_t>(9);
  ASSERT_TRUE(dlg.SerializeEditorState(open));
  const uint8_t expected[13] = {9, 0x20, 0x03, 0, 0, 0xF4, 0x01, 0, 0, 0, 0, 0xA0, 0x3F};
  ASSERT_EQ(open.Size(), 13);
  EXPECT_EQ(std::memcmp(open.GetData(), expected, 13), 0);

  dlg.CloseWindow();
  ByteChunk closed;
  ASSERT_TRUE(dlg.SerializeEditorState(closed));
  EXPECT_EQ(closed, EditorState(800, 500, 1.25f));
}

TEST_F(EditorDelegateTest, ReadingWhileClosedReplacesTheSavedValues) {
  EXPECT_EQ(dlg.UnserializeEditorState(EditorState(640, 480, 1.5f, 5), 5), 17);
  EXPECT_EQ(dlg.GetSavedWidth(), 640);
  EXPECT_EQ(dlg.GetSavedHeight(), 480);
  EXPECT_EQ(dlg.GetSavedScale(), 1.5f);
  Open();
  EXPECT_EQ(Matching(log, "Layout"), (EventLog{"Layout 640 480 1.5"}));
  dlg.CloseWindow();

  // Zeros are taken as they are, and then nothing is restored.
  EXPECT_EQ(dlg.UnserializeEditorState(EditorState(0, 0, 0.f), 0), 12);
  EXPECT_EQ(dlg.GetSavedWidth(), 0);
  EXPECT_EQ(dlg.GetSavedScale(), 0.f);
  log.clear();
  Open();
  EXPECT_TRUE(Matching(log, "ResizeFromEditor").empty());
  EXPECT_EQ(Matching(log, "Layout"), (EventLog{"Layout 400 300 1"}));
}

TEST_F(EditorDelegateTest, StoredStateSetsTheEditorSizeOnlyToAWindowSize) {
  dlg.UnserializeEditorState(EditorState(640, 480, 1.5f), 0);
  EXPECT_EQ(dlg.GetEditorWidth(), 960);
  EXPECT_EQ(dlg.GetEditorHeight(), 720);
  // Sizes no window can have (from stored bytes) leave the answer as it was.
  struct Bad {
    int32_t w, h;
    float scale;
  };
  for (const Bad b : {Bad{0, 0, 0.f}, Bad{-640, 480, 1.f}, Bad{640, 480, NAN}, Bad{640, 480, -2.f},
                      Bad{INT32_MAX, 480, 1e30f}, Bad{1, 1, 0.25f}}) {
    SCOPED_TRACE(testing::Message() << b.w << " x " << b.h << " at " << b.scale);
    dlg.UnserializeEditorState(EditorState(b.w, b.h, b.scale), 0);
    EXPECT_EQ(dlg.GetEditorWidth(), 960);
    EXPECT_EQ(dlg.GetEditorHeight(), 720);
  }
}

TEST_F(EditorDelegateTest, ShortOrMisplacedStateReadsAsZeros) {
  dlg.UnserializeEditorState(EditorState(640, 480, 1.5f), 0);
  EXPECT_EQ(dlg.UnserializeEditorState(EditorState(640, 480, 1.5f), -1), -1);
  EXPECT_EQ(dlg.GetSavedWidth(), 0);
  EXPECT_EQ(dlg.GetSavedHeight(), 0);
  EXPECT_EQ(dlg.GetSavedScale(), 0.f);

  // Six bytes: the width, then too little for the height, and so nothing for the scale.
  ByteChunk six;
  six.Put<int32_t>(640);
  six.Put<int16_t>(480);
  EXPECT_EQ(dlg.UnserializeEditorState(six, 0), -1);
  EXPECT_EQ(dlg.GetSavedWidth(), 640);
  EXPECT_EQ(dlg.GetSavedHeight(), 0);
  EXPECT_EQ(dlg.GetSavedScale(), 0.f);

  ByteChunk shortScale = EditorState(640, 480, 1.5f);
  shortScale.Resize(10);
  EXPECT_EQ(dlg.UnserializeEditorState(shortScale, 0), -1);
  EXPECT_EQ(dlg.GetSavedHeight(), 480);
  EXPECT_EQ(dlg.GetSavedScale(), 0.f);
}

TEST_F(EditorDelegateTest, ReadingWhileOpenResizesOnlyWithoutZeros) {
  Open();
  EXPECT_EQ(dlg.UnserializeEditorState(EditorState(800, 0, 1.25f), 0), 12);
  EXPECT_EQ(dlg.GetUI()->Width(), 400);
  EXPECT_EQ(dlg.UnserializeEditorState(EditorState(800, 500, 1.25f), 0), 12);
  EXPECT_EQ(dlg.GetUI()->Width(), 800);
  EXPECT_EQ(dlg.GetUI()->Height(), 500);
  EXPECT_EQ(dlg.GetUI()->GetDrawScale(), 1.25f);
}

}  // namespace
}  // namespace kantele::gfx::test
