// The in-editor text entry: opening through a prompt, key filtering by parameter kind, ending
// an edit, mouse, clipboard, undo, the edit menu, drawing, and the caret blink (which must stop
// when the edit ends, or the editor would redraw for ever).

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "kantele/gfx/controls/ITextEntryControl.h"
#include "kantele/gfx/support/RecordingGfx.h"
#include "kantele/gfx/support/TextEntryScript.h"

namespace kantele::gfx::test {
namespace {

constexpr int kReturn = 13, kEscape = 27, kEnd = 35, kHome = 36, kDelete = 46;

KeyPress Key(const char* utf8, int vk, bool shift = false, bool control = false) {
  return KeyPress(utf8, vk, shift, control, false);
}

// The US-layout key of an unshifted ASCII character.
int VkOf(char c) {
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  if (c == '-') return 189;
  if (c == '.') return 190;
  return c;  // digits and space
}

// An entry whose blink clock the test can move.
class AgedEntry : public ITextEntryControl {
 public:
  using ITextEntryControl::ITextEntryControl;
  void Age(double ms) { mAnimationStartTime -= ms; }
};

// A filled rectangle: the path's corners from its MoveTo and second LineTo.
struct Filled {
  IRect mRect;
  IArgb mColor;
  float mWeight;
};
std::vector<Filled> Fills(const RecordingGfx& g) {
  std::vector<Filled> out;
  IRect r;
  int lines = 0;
  for (const DrawCall& c : g.mCalls) {
    if (c.mKind == "MoveTo") {
      r.L = static_cast<float>(c.mArgs[0]), r.T = static_cast<float>(c.mArgs[1]), lines = 0;
    } else if (c.mKind == "LineTo" && ++lines == 2) {
      r.R = static_cast<float>(c.mArgs[0]), r.B = static_cast<float>(c.mArgs[1]);
    } else if (c.mKind == "Fill") {
      out.push_back(Filled{r, c.mColor, c.mWeight});
    }
  }
  return out;
}

class TextEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    e.dlg.ReplaceParam(1, kKindInt).ConfigureDouble("Steps", 4., 0., 10., 1.);
    e.dlg.ReplaceParam(2, kKindEnum).ConfigureDouble("Mode", 0., 0., 3., 1.);
    e.dlg.ReplaceParam(3, kKindBool).ConfigureDouble("On", 0., 0., 1., 1.);
    style.mTextEntryBGColor = IArgb(255, 200, 200, 200);
    style.mTextEntryFGColor = IArgb(255, 0, 0, 128);
    g.AttachTextEntryControl(entry);
    log.clear();
  }

  // Opens the entry over `control` (value 0) with `text` in (10, 10, 110, 30).
  void Open(IControl& control, const char* text, const IRect& r = IRect(10, 10, 110, 30)) {
    g.OpenTextEntry(control, style, r, text, 0);
  }
  // Types ASCII text key by key; answers how many keys were taken.
  int Type(const char* text) {
    int taken = 0;
    for (const char* p = text; *p; ++p) {
      const char ch[2] = {*p, 0};
      taken += entry->OnKeyDown(0, 0, Key(ch, VkOf(*p))) ? 1 : 0;
    }
    return taken;
  }
  bool Press(int vk, bool shift = false, bool control = false, const char* utf8 = "") {
    return entry->OnKeyDown(0, 0, Key(utf8, vk, shift, control));
  }
  bool Ctrl(char letter, bool shift = false) { return Press(letter, shift, true); }
  std::u16string U(const char16_t* s) { return s; }

  TestEditor e;
  EventLog& log = e.log;
  RecordingGfx& g = e.g;
  ITextStyle style{10.f, kColorRed, "Mono"};  // 5 units a byte in the recording back end
  ProbeControl* gain = e.Add("G", IRect(10, 10, 110, 30), 0);  // double 0..100
  ProbeControl* steps = e.Add("N", IRect(10, 40, 110, 60), 1);
  ProbeControl* mode = e.Add("M", IRect(10, 70, 110, 90), 2);
  ProbeControl* on = e.Add("O", IRect(10, 100, 110, 120), 3);
  ProbeControl* loose = e.Add("L", IRect(10, 130, 110, 150));
  AgedEntry* entry = new AgedEntry(IRect(), ITextEntryControl::CaretBlinkAction());
};

TEST_F(TextEntryTest, PromptForValueOpensItOverTheControl) {
  gain->SetText(style);
  g.PromptForValue(gain, IRect(10, 10, 110, 30), 0);
  EXPECT_TRUE(g.mTextEntries.empty());  // no native box
  EXPECT_TRUE(entry->IsEditing());
  EXPECT_EQ(g.GetTextEntryEditingControl(), gain);
  EXPECT_EQ(entry->GetDrawRect(), IRect(10, 10, 110, 30));
  EXPECT_EQ(entry->GetEditText(), "50.0");
  EXPECT_EQ(entry->GetSelectionStart(), 0);
  EXPECT_EQ(entry->GetSelectionEnd(), 4);
  EXPECT_EQ(entry->GetCursor(), 0);
  EXPECT_EQ(entry->GetText().mFGColor, style.mTextEntryFGColor);
  EXPECT_TRUE(entry->GetDrawCaret());

  // The context makes its own entry only when it has none.
  g.AttachTextEntryControl();
  EXPECT_EQ(g.GetTextEntryControl(), entry);
  TestEditor other;
  other.g.AttachTextEntryControl();
  EXPECT_NE(dynamic_cast<ITextEntryControl*>(other.g.GetTextEntryControl()), nullptr);
}

TEST_F(TextEntryTest, KeysAreFilteredByTheParameterKind) {
  Open(*gain, "50");
  EXPECT_FALSE(Type("a"));
  EXPECT_EQ(entry->GetEditText(), "50");
  EXPECT_EQ(entry->GetSelectionEnd(), 2);  // nothing typed over the selection
  EXPECT_EQ(Type("-1.5"), 4);
  EXPECT_TRUE(Press(187, true, false, "+"));  // '+' is shift+'=' on this layout
  EXPECT_EQ(entry->GetEditText(), "-1.5+");

  Open(*steps, "4");
  EXPECT_FALSE(Press('8', true, false, "*"));  // main-row digits count only without shift,
  EXPECT_FALSE(Press('8', true, false, "8"));  // also on layouts whose shifted row types them
  EXPECT_FALSE(Type("."));
  EXPECT_TRUE(Press(101, false, false, "5"));  // numeric keypad
  EXPECT_EQ(Type("8-"), 2);
  EXPECT_EQ(entry->GetEditText(), "58-");

  for (ProbeControl* control : {mode, on}) {
    Open(*control, "1");
    EXPECT_FALSE(Type("."));
    EXPECT_FALSE(Type("x"));
    EXPECT_EQ(Type("7+"), 2);
    EXPECT_EQ(entry->GetEditText(), "7+");
  }
  Open(*loose, "");
  EXPECT_EQ(Type("x y"), 3);  // an unbound value takes anything
  EXPECT_FALSE(Press(9, false, false, "\t"));
}

TEST_F(TextEntryTest, ReturnCommitsEscapeOrAClickOutsideDismisses) {
  g.PromptForValue(gain, IRect(10, 10, 110, 30), 0);
  Type("75");
  EXPECT_TRUE(Press(kReturn, false, false, "\r"));
  EXPECT_DOUBLE_EQ(gain->GetValue(), 0.75);
  EXPECT_DOUBLE_EQ(e.dlg.GetParam(0)->GetValue(), 75.0);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 0 0.75"}));
  EXPECT_FALSE(entry->IsEditing());
  EXPECT_EQ(g.GetTextEntryEditingControl(), nullptr);
  EXPECT_TRUE(entry->GetDrawRect().Empty());
  EXPECT_FALSE(Press(kReturn));  // a closed entry takes no keys

  log.clear();
  g.PromptForValue(gain, IRect(10, 10, 110, 30), 0);
  Type("20");
  EXPECT_TRUE(Press(kEscape));
  EXPECT_FALSE(entry->IsEditing());
  EXPECT_EQ(g.GetTextEntryEditingControl(), nullptr);
  EXPECT_TRUE(entry->GetDrawRect().Empty());
  g.CommitTextEntry("20");  // nothing is waiting for text any more
  EXPECT_DOUBLE_EQ(e.dlg.GetParam(0)->GetValue(), 75.0);
  EXPECT_TRUE(Matching(log, "Value").empty());

  g.PromptForValue(gain, IRect(10, 10, 110, 30), 0);
  Type("20");
  g.OnMouseDown({Pt(50, 20)});  // inside: still editing
  g.OnMouseUp({Pt(50, 20)});
  EXPECT_TRUE(entry->IsEditing());
  g.OnMouseDown({Pt(200, 150)});
  g.OnMouseUp({Pt(200, 150)});
  EXPECT_FALSE(entry->IsEditing());
  EXPECT_EQ(g.GetTextEntryEditingControl(), nullptr);
  EXPECT_DOUBLE_EQ(gain->GetValue(), 0.75);
  EXPECT_FALSE(entry->GetAnimationFunction());  // the mouse-up did not restart the blink
}

TEST_F(TextEntryTest, TheMousePlacesTheCaretAndSelects) {
  Open(*loose, "1234");  // 20 wide, centred: starts at 50
  g.OnMouseDown({Pt(62, 20)});
  EXPECT_EQ(entry->GetCursor(), 2);
  EXPECT_FALSE(entry->HasSelection());
  g.OnMouseDrag({Pt(68, 20, 6, 0)});
  EXPECT_EQ(entry->GetSelectionStart(), 2);
  EXPECT_EQ(entry->GetSelectionEnd(), 4);
  g.OnMouseUp({Pt(68, 20)});
  EXPECT_EQ(entry->GetSelectionEnd(), 4);
  g.OnMouseDoubleClick(55, 20, IMouseState());
  EXPECT_EQ(entry->GetSelectionStart(), 0);
  EXPECT_EQ(entry->GetSelectionEnd(), 4);
  g.OnMouseDown({Pt(NAN, 20)});  // not a point inside: commits, no harm
  EXPECT_FALSE(entry->IsEditing());
}

TEST_F(TextEntryTest, ClipboardKeysConvertBetweenUtf8AndUtf16) {
  const char* text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC";  // "Grüße €"
  Open(*loose, text);
  EXPECT_EQ(entry->GetEditString(), U(u"Gr\u00FC\u00DFe \u20AC"));
  EXPECT_TRUE(Ctrl('C'));
  EXPECT_EQ(g.mClipboard, text);
  g.mClipboard.clear();
  EXPECT_TRUE(Ctrl('X'));
  EXPECT_EQ(g.mClipboard, text);
  EXPECT_EQ(entry->GetEditText(), "");
  EXPECT_TRUE(Ctrl('V'));
  EXPECT_EQ(entry->GetEditText(), text);

  g.mClipboard = "x\xF0\x9F\x98\x80y\n";  // a character beyond U+FFFF, and a line break
  EXPECT_TRUE(Ctrl('A'));
  EXPECT_TRUE(Ctrl('V'));
  EXPECT_EQ(entry->GetEditString(), U(u"x\U0001F600y"));
  Ctrl('A');
  Ctrl('C');
  EXPECT_EQ(g.mClipboard, "x\xF0\x9F\x98\x80y");
}

TEST_F(TextEntryTest, PasteIsOneUndoStepAndRedoRestoresIt) {
  Open(*loose, "abc");
  g.mClipboard = "xy";
  Ctrl('V');
  EXPECT_EQ(entry->GetEditText(), "xy");
  EXPECT_TRUE(Ctrl('Z'));
  EXPECT_EQ(entry->GetEditText(), "abc");
  EXPECT_TRUE(Ctrl('Z', true));
  EXPECT_EQ(entry->GetEditText(), "xy");
  Press(kEnd);
  Type("12");
  Ctrl('Z');
  EXPECT_EQ(entry->GetEditText(), "xy1");

  g.mClipboard.clear();
  g.SetAllControlsClean();
  EXPECT_TRUE(Ctrl('V'));
  EXPECT_EQ(entry->GetEditText(), "xy1");
  EXPECT_FALSE(entry->GetDirtyFlag());
}

// Undo and redo against a model of the history: every undo that changes the text restores the
// text before the newest step not yet undone, every redo the text that undo left, and a step
// that does nothing means the history in that direction is gone (the oldest steps make room for
// newer ones; a step whose characters cannot be kept ends it). Long pastes over the selection
// fill the 999-character store from both ends, so redo steps are discarded to make room.
TEST_F(TextEntryTest, UndoAndRedoRetraceTheHistoryWhateverItsSize) {
  struct Case {
    unsigned seed;
    int maxPaste;
  };
  for (const Case c : {Case{1, 4}, Case{2, 120}, Case{3, 400}, Case{4, 700}, Case{5, 1200}}) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed << ", pastes up to " << c.maxPaste);
    Open(*loose, "start");
    std::mt19937 rng(c.seed);
    std::vector<std::u16string> past, future;
    int undone = 0, redone = 0;
    char16_t fresh = 0x4E00;  // each paste's own character, so a paste always changes the text
    for (int step = 0; step < 1500; ++step) {
      const std::u16string before = entry->GetEditString();
      const unsigned action = rng() % 10;
      if (action < 3) {
        const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(c.maxPaste));
        const std::u16string text(static_cast<size_t>(n), fresh++);
        g.mClipboard = Utf16ToUtf8(text.data(), text.size());
        if (rng() % 2) Ctrl('A');
        Ctrl('V');
      } else if (action < 5) {
        const char ch[2] = {static_cast<char>('a' + rng() % 26), 0};
        Type(ch);
      } else if (action == 5) {
        Press(8);  // backspace: the selection or the character before the caret
      } else {
        // Undo (6, 7) or redo (8, 9) moves the newest text of one stack to the other.
        const bool redo = action >= 8;
        auto& from = redo ? future : past;
        auto& to = redo ? past : future;
        Ctrl('Z', redo);
        const std::u16string after = entry->GetEditString();
        if (after == before) {
          from.clear();
        } else {
          ASSERT_FALSE(from.empty()) << "step " << step << (redo ? ", redo" : ", undo");
          ASSERT_EQ(after, from.back()) << "step " << step << (redo ? ", redo" : ", undo");
          from.pop_back();
          to.push_back(before);
          ++(redo ? redone : undone);
        }
        continue;
      }
      if (entry->GetEditString() != before) {
        past.push_back(before);
        future.clear();
      }
    }
    EXPECT_GT(undone, 100);
    EXPECT_GT(redone, 30);
  }
}

// Within the stores nothing is dropped: 60 typed characters and three pastes of 100 are undone
// back to the opening text and redone to the last.
TEST_F(TextEntryTest, EveryStepThatFitsIsUndoneAndRedone) {
  Open(*loose, "x");
  Press(kEnd);
  for (int i = 0; i < 60; ++i) Type("k");
  for (int i = 0; i < 3; ++i) {
    g.mClipboard = std::string(100, static_cast<char>('p' + i));
    Ctrl('V');
  }
  const std::string last = entry->GetEditText();
  ASSERT_EQ(last.size(), 361u);
  for (int i = 0; i < 63; ++i) EXPECT_TRUE(Ctrl('Z')) << i;
  EXPECT_EQ(entry->GetEditText(), "x");
  for (int i = 0; i < 63; ++i) Ctrl('Z', true);
  EXPECT_EQ(entry->GetEditText(), last);
}

// Inputs that once wrote outside the entry's undo store (found by the fuzz target), replayed
// under the sanitizers.
TEST(TextEntryScript, FuzzFindingsPlayCleanly) {
  for (const char* name : {"undo_discards_redo"}) {
    std::ifstream in(std::filesystem::path(KANTELE_TEXT_ENTRY_CORPUS) / name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_TRUE(PlayTextEntryScript(bytes.data(), bytes.size())) << name;
  }
}

TEST_F(TextEntryTest, EditingKeysMoveSelectAndDelete) {
  Open(*loose, "123");
  EXPECT_TRUE(Press(kHome));
  EXPECT_FALSE(entry->HasSelection());
  EXPECT_TRUE(Press(kEnd, true));
  EXPECT_EQ(std::min(entry->GetSelectionStart(), entry->GetSelectionEnd()), 0);
  EXPECT_EQ(std::max(entry->GetSelectionStart(), entry->GetSelectionEnd()), 3);
  EXPECT_TRUE(Press(kDelete));
  EXPECT_EQ(entry->GetEditText(), "");

  Open(*loose, "ab cd");
  Press(kEnd);
  EXPECT_TRUE(Press(37, false, true));  // control+left: a word back
  EXPECT_EQ(entry->GetCursor(), 3);
  EXPECT_FALSE(Press('Q', false, true, "q"));  // control shortcuts type nothing
  EXPECT_EQ(entry->GetEditText(), "ab cd");
}

TEST_F(TextEntryTest, TheRightButtonOpensTheEditMenu) {
  Open(*loose, "abc");
  g.mMenuChoice = 2;  // Paste, with nothing on the clipboard
  g.SetAllControlsClean();
  g.OnMouseDown({Pt(40, 20, 0, 0, true)});
  ASSERT_EQ(g.mMenus.size(), 1u);
  EXPECT_EQ(g.mMenus[0].mItems, (std::vector<std::string>{"Cut", "Copy", "Paste"}));
  EXPECT_EQ(g.mMenus[0].mBounds, IRect(40, 20, 40, 20));
  EXPECT_EQ(entry->GetEditText(), "abc");
  EXPECT_EQ(entry->GetSelectionEnd(), 3);
  EXPECT_FALSE(entry->GetDirtyFlag());

  g.mMenuChoice = 0;  // Cut
  g.OnMouseDown({Pt(40, 20, 0, 0, true)});
  EXPECT_EQ(g.mClipboard, "abc");
  EXPECT_EQ(entry->GetEditText(), "");
  EXPECT_TRUE(entry->IsEditing());
  EXPECT_EQ(g.mMenus[1].mMenu, g.mMenus[0].mMenu);  // one menu for the process
}

TEST_F(TextEntryTest, DrawsBackgroundSelectionTextAndARoundedCaret) {
  Open(*loose, "12", IRect(10, 10, 110.6f, 30));  // 10 wide, centred: starts at 55.3
  g.ClearDrawing();
  entry->Draw(g);
  std::vector<Filled> fills = Fills(g);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].mRect, IRect(10, 10, 110.6f, 30));
  EXPECT_EQ(fills[0].mColor, style.mTextEntryBGColor);
  EXPECT_NEAR(fills[1].mRect.L, 55.3f, 1e-4);
  EXPECT_NEAR(fills[1].mRect.R, 65.3f, 1e-4);
  EXPECT_FLOAT_EQ(fills[1].mRect.T, 16.f);  // middle: 5 down, less a tenth of the size
  EXPECT_FLOAT_EQ(fills[1].mRect.B, 24.f);
  EXPECT_FLOAT_EQ(fills[1].mWeight, 0.2f);
  EXPECT_EQ(fills[1].mColor, style.mTextEntryFGColor);
  ASSERT_EQ(g.CallsOf("Text").size(), 1u);
  EXPECT_EQ(g.CallsOf("Text")[0].mText, "12");
  EXPECT_EQ(g.CallsOf("Text")[0].mColor, style.mTextEntryFGColor);

  Press(kEnd);  // no selection: the caret, at 65.3, rounded
  g.ClearDrawing();
  entry->Draw(g);
  fills = Fills(g);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[1].mRect, IRect(64, 16, 65, 24));
  EXPECT_FLOAT_EQ(fills[1].mWeight, 1.f);
}

TEST_F(TextEntryTest, TheCaretBlinksWhileEditing) {
  IRectList rects;
  Open(*loose, "12");
  entry->Age(400);
  g.IsDirty(rects);
  EXPECT_TRUE(entry->GetDrawCaret());
  entry->Age(200);
  g.IsDirty(rects);
  EXPECT_FALSE(entry->GetDrawCaret());
  EXPECT_TRUE(entry->GetAnimationFunction());
  entry->Age(500);  // past the period: the next blink starts, caret shown
  g.IsDirty(rects);
  EXPECT_TRUE(entry->GetDrawCaret());
  EXPECT_LT(entry->AnimationFraction(), 0.1);
}

TEST_F(TextEntryTest, TheBlinkStopsWhenTheEditEnds) {
  // Each way of ending: afterwards the entry, once cleaned, is never dirty again.
  for (int end = 0; end < 3; ++end) {
    g.PromptForValue(gain, IRect(10, 10, 110, 30), 0);
    entry->Age(700);
    if (end == 0) Press(kReturn);
    if (end == 1) Press(kEscape);
    if (end == 2) g.OnMouseDown({Pt(200, 150)});
    EXPECT_FALSE(entry->GetAnimationFunction());
    EXPECT_FALSE(entry->GetDrawCaret());
    g.SetAllControlsClean();
    for (int tick = 0; tick < 3; ++tick) {
      IRectList rects;
      entry->Age(600);
      EXPECT_FALSE(g.IsDirty(rects)) << "end " << end << " tick " << tick;
      EXPECT_EQ(rects.Size(), 0);
      EXPECT_FALSE(entry->IsDirty());
    }
  }
  // An animation that ends while closed leaves nothing running.
  entry->StartAnimation([](IControl*) {}, 1000);
  entry->OnAnimationEnd();
  EXPECT_FALSE(entry->GetAnimationFunction());
  EXPECT_FALSE(entry->GetDrawCaret());
}

}  // namespace
}  // namespace kantele::gfx::test
