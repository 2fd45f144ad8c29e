#include "kantele/gfx/controls/ITextEntryControl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "kantele/IParam.h"
#include "kantele/Text.h"
#include "kantele/gfx/IGfx.h"

// The editing state machine, for 16-bit characters on a single line. Its declarations come
// first (the buffer below holds its state); its code, which calls back into the buffer, follows
// once the buffer is complete. Only this file compiles it.
#define STB_TEXTEDIT_CHARTYPE char16_t
#define STB_TEXTEDIT_POSITIONTYPE int
#define STB_TEXTEDIT_UNDOSTATECOUNT 99
#define STB_TEXTEDIT_UNDOCHARCOUNT 999
#define STB_TEXTEDIT_KEYTYPE uint32_t
#include <stb_textedit.h>

namespace kantele {
namespace gfx {

namespace {

// Virtual-key codes of the keys the entry handles itself.
constexpr int kVkBack = 8;
constexpr int kVkTab = 9;
constexpr int kVkReturn = 13;
constexpr int kVkEscape = 27;
constexpr int kVkSpace = 32;
constexpr int kVkPageUp = 33;  // page up, page down, end, home, left, up, right, down
constexpr int kVkDown = 40;
constexpr int kVkDelete = 46;
constexpr int kVk0 = 48;
constexpr int kVk9 = 57;
constexpr int kVkNumpad0 = 96;
constexpr int kVkNumpad9 = 105;

// The first character a key carries, or 0 when it carries none (or not valid UTF-8).
char32_t KeyCodePoint(const KeyPress& key) {
  size_t n = 0;
  while (n < sizeof(key.utf8) - 1 && key.utf8[n]) ++n;
  if (n == 0) return 0;
  size_t len = 0;
  const long c = DecodeUtf8(reinterpret_cast<const unsigned char*>(key.utf8), n, len);
  return c < 0 ? 0 : static_cast<char32_t>(c);
}

// The character a state-machine key inserts, or -1. Keys (the key bit) and control shortcuts
// insert nothing; control with alt is how some layouts type characters, so that does. Control
// characters never enter a single-line text.
long KeyToText(uint32_t key) {
  if (key & ITextEntryControl::kKeyBit) return -1;
  if ((key & ITextEntryControl::kControlBit) && !(key & ITextEntryControl::kAltBit)) return -1;
  const char32_t c = key & 0x0FFFFFFFu;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return -1;
  return static_cast<long>(c);
}

// The state machine takes one 16-bit unit per key: characters beyond U+FFFF go in as a pair
// through the buffer instead.
int KeyToUnit(uint32_t key) {
  const long c = KeyToText(key);
  return c > 0xFFFF ? -1 : static_cast<int>(c);
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == 0xA0 || c == 0x3000; }

}  // namespace

/// The text being edited, the state machine's state and the widths of the characters.
///
/// Every callback of the state machine is bounds-checked: positions outside the text are
/// clamped or ignored, so an undo record that no longer fits the text cannot write out of it.
struct TextEntryBuffer {
  explicit TextEntryBuffer(ITextEntryControl& owner) : mOwner(owner) { Reset(std::u16string()); }

  // A fresh single-line state (empty undo history) for `text`.
  void Reset(std::u16string text);

  int Length() const { return static_cast<int>(mText.size()); }

  char16_t CharAt(int i) const {
    return (i >= 0 && i < Length()) ? mText[static_cast<size_t>(i)] : char16_t(0);
  }

  int Insert(int at, const char16_t* chars, int n) {
    if (!chars || n < 0 || at < 0 || at > Length()) return 0;
    mText.insert(static_cast<size_t>(at), chars, static_cast<size_t>(n));
    mWidths.clear();
    return 1;
  }

  void Delete(int at, int n) {
    if (at < 0 || at >= Length() || n <= 0) return;
    mText.erase(static_cast<size_t>(at), static_cast<size_t>(std::min(n, Length() - at)));
    mWidths.clear();
  }

  // Width of unit i: the advance of its character, kerned against the previous character. The
  // second unit of a surrogate pair has none (its character's width sits on the first).
  void ComputeWidths() {
    mWidths.assign(mText.size(), 0.f);
    const IGfx* g = mOwner.GetGraphics();
    if (!g) return;
    const ITextStyle& style = mOwner.GetText();
    std::string previous;
    float previousWidth = 0.f;
    for (size_t i = 0; i < mText.size();) {
      const size_t units =
          (IsHighSurrogate(mText[i]) && i + 1 < mText.size() && IsLowSurrogate(mText[i + 1])) ? 2
                                                                                              : 1;
      const std::string ch = Utf16ToUtf8(mText.data() + i, units);
      IRect scratch;
      const float alone = g->MeasureText(style, ch.c_str(), scratch);
      float w = alone;
      if (!previous.empty()) {
        scratch = IRect();
        w = g->MeasureText(style, (previous + ch).c_str(), scratch) - previousWidth;
      }
      mWidths[i] = std::isfinite(w) ? w : 0.f;
      previous = ch;
      previousWidth = alone;
      i += units;
    }
  }

  float Width(int i) {
    if (mWidths.size() != mText.size()) ComputeWidths();
    return (i >= 0 && i < Length()) ? mWidths[static_cast<size_t>(i)] : 0.f;
  }

  // Sum of the widths of units [0, n).
  float WidthBefore(int n) {
    float sum = 0.f;
    for (int i = 0; i < std::min(n, Length()); ++i) sum += Width(i);
    return sum;
  }

  // The single row: all characters, aligned in the control's rectangle as the text is drawn;
  // x is absolute, y relative to the rectangle's top.
  void LayoutRow(StbTexteditRow* row, int start) {
    const IRect& r = mOwner.GetDrawRect();
    const ITextStyle& style = mOwner.GetText();
    const float total = WidthBefore(Length());
    float x0 = r.L;
    if (style.mAlign == kAlignCenter)
      x0 = r.MW() - total / 2.f;
    else if (style.mAlign == kAlignFar)
      x0 = r.R - total;
    float ymin = 0.f;
    if (style.mVAlign == kVAlignMiddle)
      ymin = (r.H() - style.mSize) / 2.f;
    else if (style.mVAlign == kVAlignBottom)
      ymin = r.H() - style.mSize;
    row->x0 = x0;
    row->x1 = x0 + total;
    row->baseline_y_delta = 1.25f;
    row->ymin = ymin;
    row->ymax = ymin + style.mSize;
    row->num_chars = std::max(0, Length() - start);
  }

  int SelectionLow() const {
    return std::clamp(std::min(mState.select_start, mState.select_end), 0, Length());
  }
  int SelectionHigh() const {
    return std::clamp(std::max(mState.select_start, mState.select_end), 0, Length());
  }

  // Runs `f` on the state and answers whether the text, the caret, the selection or the
  // insert mode changed.
  template <class F>
  bool Run(F&& f) {
    const std::u16string text = mText;
    const STB_TexteditState before = mState;
    f();
    return text != mText || before.cursor != mState.cursor ||
           before.select_start != mState.select_start || before.select_end != mState.select_end ||
           before.insert_mode != mState.insert_mode;
  }

  // Replaces the selection (or inserts at the caret) with `chars`, as one undoable step.
  void ReplaceSelection(const char16_t* chars, int n);

  // A key for the state machine. Undo and redo are carried out by Undo and Redo below, never
  // by the state machine's own steps: those can write outside the undo store once redo steps
  // must be discarded to make room (they move one record too many and then fill a record
  // whose lengths are another's).
  void Key(uint32_t key);

  // Undo and redo over the state machine's undo store, checked: a record is applied only when
  // it lies inside the text and the store, every write stays inside the store, and a step that
  // cannot be kept (its characters do not fit) ends the history in that direction instead of
  // leaving a record that would restore the wrong text.
  void Undo();
  void Redo();

  // The store's layout: undo records [0, undo_point), oldest first, their characters in
  // [0, undo_char_point); redo records [redo_point, kRecords), newest first, their characters
  // in [redo_char_point, kChars), newest first too.
  static constexpr int kRecords = STB_TEXTEDIT_UNDOSTATECOUNT;
  static constexpr int kChars = STB_TEXTEDIT_UNDOCHARCOUNT;
  // Whether the store's points are in order; if not, the history is emptied.
  bool KeepHistoryConsistent();
  void ClearUndo();
  void ClearRedo();
  // Drops the oldest redo record and its characters, making room for a newer record's.
  void DiscardOldestRedo();

  ITextEntryControl& mOwner;
  STB_TexteditState mState;
  std::u16string mText;
  std::vector<float> mWidths;
};

}  // namespace gfx
}  // namespace kantele

#define STB_TEXTEDIT_IMPLEMENTATION
#define STB_TEXTEDIT_STRING kantele::gfx::TextEntryBuffer
#define STB_TEXTEDIT_STRINGLEN(obj) ((obj)->Length())
#define STB_TEXTEDIT_LAYOUTROW(r, obj, n) ((obj)->LayoutRow((r), (n)))
#define STB_TEXTEDIT_GETWIDTH(obj, n, i) ((obj)->Width((n) + (i)))
#define STB_TEXTEDIT_KEYTOTEXT(k) kantele::gfx::KeyToUnit(k)
#define STB_TEXTEDIT_GETCHAR(obj, i) ((obj)->CharAt(i))
#define STB_TEXTEDIT_NEWLINE u'\n'
#define STB_TEXTEDIT_IS_SPACE(ch) kantele::gfx::IsSpace(ch)
#define STB_TEXTEDIT_DELETECHARS(obj, i, n) ((obj)->Delete((i), (n)))
#define STB_TEXTEDIT_INSERTCHARS(obj, i, c, n) ((obj)->Insert((i), (c), (n)))
#define STB_TEXTEDIT_K_SHIFT 0x40000000u
#define STB_TEXTEDIT_K_LEFT 0x80000025u
#define STB_TEXTEDIT_K_RIGHT 0x80000027u
#define STB_TEXTEDIT_K_UP 0x80000026u
#define STB_TEXTEDIT_K_DOWN 0x80000028u
#define STB_TEXTEDIT_K_PGUP 0x80000021u
#define STB_TEXTEDIT_K_PGDOWN 0x80000022u
#define STB_TEXTEDIT_K_LINESTART 0x80000024u
#define STB_TEXTEDIT_K_LINEEND 0x80000023u
#define STB_TEXTEDIT_K_TEXTSTART 0xA0000024u
#define STB_TEXTEDIT_K_TEXTEND 0xA0000023u
#define STB_TEXTEDIT_K_DELETE 0x8000002Eu
#define STB_TEXTEDIT_K_BACKSPACE 0x80000008u
#define STB_TEXTEDIT_K_UNDO 0x2000007Au
#define STB_TEXTEDIT_K_REDO 0x6000007Au
#define STB_TEXTEDIT_K_INSERT 0x8000002Du
#define STB_TEXTEDIT_K_WORDLEFT 0xA0000025u
#define STB_TEXTEDIT_K_WORDRIGHT 0xA0000027u
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_textedit.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace kantele {
namespace gfx {

void TextEntryBuffer::Reset(std::u16string text) {
  mState = STB_TexteditState();
  stb_textedit_initialize_state(&mState, 1);
  mText = std::move(text);
  mWidths.clear();
}

void TextEntryBuffer::ReplaceSelection(const char16_t* chars, int n) {
  stb_textedit_clamp(this, &mState);
  int low = mState.cursor;
  int high = mState.cursor;
  if (STB_TEXT_HAS_SELECTION(&mState)) {
    low = SelectionLow();
    high = SelectionHigh();
  }
  // One record restores the replaced characters and removes the new ones.
  stb_text_makeundo_replace(this, &mState, low, high - low, n);
  Delete(low, high - low);
  if (!Insert(low, chars, n)) n = 0;
  mState.cursor = mState.select_start = mState.select_end = low + n;
  mState.has_preferred_x = 0;
}

void TextEntryBuffer::Key(uint32_t key) {
  if (key == STB_TEXTEDIT_K_UNDO) {
    Undo();
  } else if (key == STB_TEXTEDIT_K_REDO) {
    Redo();
  } else {
    stb_textedit_key(this, &mState, key);
    return;
  }
  mState.has_preferred_x = 0;
  stb_textedit_clamp(this, &mState);
}

bool TextEntryBuffer::KeepHistoryConsistent() {
  const StbUndoState& s = mState.undostate;
  if (0 <= s.undo_point && s.undo_point <= s.redo_point && s.redo_point <= kRecords &&
      0 <= s.undo_char_point && s.undo_char_point <= s.redo_char_point &&
      s.redo_char_point <= kChars)
    return true;
  ClearUndo();
  ClearRedo();
  return false;
}

void TextEntryBuffer::ClearUndo() {
  mState.undostate.undo_point = 0;
  mState.undostate.undo_char_point = 0;
}

void TextEntryBuffer::ClearRedo() {
  mState.undostate.redo_point = kRecords;
  mState.undostate.redo_char_point = kChars;
}

void TextEntryBuffer::DiscardOldestRedo() {
  StbUndoState& s = mState.undostate;
  const int oldest = kRecords - 1;
  if (s.redo_point > oldest) return;
  const StbUndoRecord& r = s.undo_rec[oldest];
  const int n = r.char_storage >= 0 ? r.insert_length : 0;
  // The oldest record's characters are the last n of the store.
  if (n < 0 || (n > 0 && (r.char_storage != kChars - n || s.redo_char_point > kChars - n))) {
    ClearRedo();
    return;
  }
  if (n > 0) {
    std::memmove(s.undo_char + s.redo_char_point + n, s.undo_char + s.redo_char_point,
                 static_cast<size_t>(kChars - n - s.redo_char_point) * sizeof(char16_t));
    for (int i = s.redo_point; i < oldest; ++i)
      if (s.undo_rec[i].char_storage >= 0) s.undo_rec[i].char_storage += n;
    s.redo_char_point += n;
  }
  // Records [redo_point, oldest) move up one, over the oldest.
  std::memmove(s.undo_rec + s.redo_point + 1, s.undo_rec + s.redo_point,
               static_cast<size_t>(oldest - s.redo_point) * sizeof(StbUndoRecord));
  ++s.redo_point;
}

void TextEntryBuffer::Undo() {
  StbUndoState& s = mState.undostate;
  if (!KeepHistoryConsistent()) return;
  if (s.undo_point == 0) return;
  const StbUndoRecord u = s.undo_rec[s.undo_point - 1];
  // The newest undo record's characters end where the undo characters end.
  const bool fits =
      u.where >= 0 && u.delete_length >= 0 && u.insert_length >= 0 &&
      u.where <= Length() - u.delete_length &&
      (u.insert_length == 0 ||
       (u.char_storage >= 0 && u.char_storage + u.insert_length == s.undo_char_point));
  if (!fits) {
    ClearUndo();
    return;
  }
  // The redo record re-deletes what this step inserts and re-inserts what it deletes, so it
  // keeps the characters this step deletes, below the redo characters already kept.
  const int keep = u.delete_length;
  if (s.undo_char_point + keep <= kChars) {
    while (s.undo_char_point + keep > s.redo_char_point && s.redo_point < kRecords)
      DiscardOldestRedo();
  }
  if (s.undo_char_point + keep <= s.redo_char_point) {
    // The slot below the redo records is free, or is this step's own (already copied).
    StbUndoRecord& r = s.undo_rec[s.redo_point - 1];
    r.where = u.where;
    r.insert_length = keep;
    r.delete_length = u.insert_length;
    r.char_storage = keep > 0 ? s.redo_char_point - keep : -1;
    for (int i = 0; i < keep; ++i) s.undo_char[r.char_storage + i] = CharAt(u.where + i);
    s.redo_char_point -= keep;
    --s.redo_point;
  } else {
    // This step cannot be redone, and the redo steps after it describe texts it leads to.
    ClearRedo();
  }
  Delete(u.where, u.delete_length);
  if (u.insert_length > 0) Insert(u.where, s.undo_char + u.char_storage, u.insert_length);
  s.undo_char_point -= u.insert_length;
  --s.undo_point;
  mState.cursor = u.where + u.insert_length;
}

void TextEntryBuffer::Redo() {
  StbUndoState& s = mState.undostate;
  if (!KeepHistoryConsistent()) return;
  if (s.redo_point == kRecords) return;
  const StbUndoRecord r = s.undo_rec[s.redo_point];
  // The newest redo record's characters start where the redo characters start.
  const bool fits = r.where >= 0 && r.delete_length >= 0 && r.insert_length >= 0 &&
                    r.where <= Length() - r.delete_length &&
                    (r.insert_length == 0 || (r.char_storage == s.redo_char_point &&
                                              r.char_storage + r.insert_length <= kChars));
  if (!fits) {
    ClearRedo();
    return;
  }
  // The undo record keeps the characters this step deletes, above the undo characters.
  const int keep = r.delete_length;
  if (s.undo_char_point + keep <= s.redo_char_point) {
    // The slot above the undo records is free, or is this step's own (already copied).
    StbUndoRecord& u = s.undo_rec[s.undo_point];
    u.where = r.where;
    u.insert_length = keep;
    u.delete_length = r.insert_length;
    u.char_storage = keep > 0 ? s.undo_char_point : -1;
    for (int i = 0; i < keep; ++i) s.undo_char[u.char_storage + i] = CharAt(r.where + i);
    s.undo_char_point += keep;
    ++s.undo_point;
  } else {
    // This step cannot be undone, and the undo steps before it describe texts before it.
    ClearUndo();
  }
  Delete(r.where, r.delete_length);
  if (r.insert_length > 0) Insert(r.where, s.undo_char + r.char_storage, r.insert_length);
  s.redo_char_point += r.insert_length;
  ++s.redo_point;
  mState.cursor = r.where + r.insert_length;
}

// ---- ITextEntryControl.

ITextEntryControl::ITextEntryControl(const IRect& bounds, IActionFunction action)
    : ITextEntryControlBase(bounds, -1, std::move(action)),
      mBuffer(std::make_unique<TextEntryBuffer>(*this)) {}

ITextEntryControl::~ITextEntryControl() = default;

IActionFunction ITextEntryControl::CaretBlinkAction() {
  return [](IControl* control) {
    if (auto* entry = dynamic_cast<ITextEntryControl*>(control)) entry->StartCaretBlink();
  };
}

void ITextEntryControl::StartCaretBlink() {
  if (!mEditing) return;
  mDrawCaret = true;
  // The function belongs to this control, so `this` outlives it.
  StartAnimation([this](IControl*) { CaretBlinkStep(); }, kCaretBlinkMs);
}

void ITextEntryControl::CaretBlinkStep() {
  const double progress = AnimationFraction();
  if (progress > 0.5) {
    mDrawCaret = false;
    SetDirty(false);
  }
  if (progress > 1.0) OnAnimationEnd();
}

void ITextEntryControl::StopCaretBlink() {
  mAnimationFunc = nullptr;
  mDrawCaret = false;
}

void ITextEntryControl::OnAnimationEnd() {
  // Cleared first: without an action function to restart it, the blink simply ends rather
  // than leaving a finished animation that keeps the control dirty.
  mAnimationFunc = nullptr;
  if (mEditing) {
    SetDirty(true);
    return;
  }
  StopCaretBlink();
  SetDirty(false);
}

void ITextEntryControl::DirtyIf(bool changed) {
  if (changed) SetDirty(false);
}

std::string ITextEntryControl::GetEditText() const { return Utf16ToUtf8(mBuffer->mText); }
const std::u16string& ITextEntryControl::GetEditString() const { return mBuffer->mText; }
int ITextEntryControl::GetCursor() const { return mBuffer->mState.cursor; }
int ITextEntryControl::GetSelectionStart() const { return mBuffer->mState.select_start; }
int ITextEntryControl::GetSelectionEnd() const { return mBuffer->mState.select_end; }

void ITextEntryControl::OpenForEditing(const char* text) {
  mText.mFGColor = mText.mTextEntryFGColor;
  TextEntryBuffer& b = *mBuffer;
  // A new text gets a new history: undo records of an earlier edit describe another text.
  b.Reset(Utf8ToUtf16(text));
  b.mState.select_start = 0;
  b.mState.select_end = b.Length();
  b.mState.cursor = 0;
  b.ComputeWidths();
  mEditing = true;
  SetDirty(true);
}

void ITextEntryControl::Close() {
  SetAreas(IRect());
  if (mGraphics) mGraphics->SetAllControlsDirty();
}

void ITextEntryControl::CommitEdit() {
  if (!mEditing) return;
  mEditing = false;
  StopCaretBlink();
  const std::string text = GetEditText();
  // Closed before the commit, so whatever the commit opens (another prompt) stays open.
  SetAreas(IRect());
  if (mGraphics) mGraphics->CommitTextEntry(text.c_str());
  if (mGraphics) mGraphics->SetAllControlsDirty();
}

void ITextEntryControl::DismissEdit() {
  if (!mEditing) return;
  mEditing = false;
  StopCaretBlink();
  if (mGraphics) mGraphics->ClearInTextEntryControl();
  Close();
}

void ITextEntryControl::Copy() {
  TextEntryBuffer& b = *mBuffer;
  const int low = b.SelectionLow();
  const int high = b.SelectionHigh();
  if (!mGraphics || low == high) return;
  const std::string text = Utf16ToUtf8(b.mText.data() + low, static_cast<size_t>(high - low));
  mGraphics->WriteClipboardText(text.c_str());
}

void ITextEntryControl::Paste() {
  if (!mEditing || !mGraphics) return;
  std::string clip;
  if (!mGraphics->ReadClipboardText(clip)) return;
  std::u16string text = Utf8ToUtf16(clip.c_str());
  text.erase(
      std::remove_if(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; }),
      text.end());
  if (text.empty()) return;
  TextEntryBuffer& b = *mBuffer;
  DirtyIf(b.Run([&] { b.ReplaceSelection(text.data(), static_cast<int>(text.size())); }));
}

void ITextEntryControl::Cut() {
  if (!mEditing) return;
  Copy();
  TextEntryBuffer& b = *mBuffer;
  DirtyIf(b.Run([&] { stb_textedit_cut(&b, &b.mState); }));
}

void ITextEntryControl::SelectAll() {
  if (!mEditing) return;
  TextEntryBuffer& b = *mBuffer;
  DirtyIf(b.Run([&] {
    b.mState.select_start = 0;
    b.mState.select_end = b.mState.cursor = b.Length();
  }));
}

namespace {

// Whether a parameter of `kind` takes the character `c` typed with `key`: digits (main-row keys
// only without shift, or the numeric keypad), '+' and '-', and '.' for a double. Parameters of
// no kind take anything.
bool KindTakes(EParamKind kind, const KeyPress& key, char32_t c) {
  if (kind != kKindBool && kind != kKindInt && kind != kKindEnum && kind != kKindDouble)
    return true;
  // A digit key must also type a digit: the key's position alone says nothing on layouts
  // whose unshifted digit row types other characters.
  const bool digitKey = (key.VK >= kVk0 && key.VK <= kVk9 && !key.S) ||
                        (key.VK >= kVkNumpad0 && key.VK <= kVkNumpad9);
  if (digitKey && c >= U'0' && c <= U'9') return true;
  if (c == U'+' || c == U'-') return true;
  return kind == kKindDouble && c == U'.';
}

}  // namespace

bool ITextEntryControl::OnKeyDown(float, float, const KeyPress& key) {
  if (!mEditing) return false;
  TextEntryBuffer& b = *mBuffer;
  if (key.C) {
    switch (key.VK) {
      case 'A': SelectAll(); return true;
      case 'C': Copy(); return true;
      case 'V': Paste(); return true;
      case 'X': Cut(); return true;
      case 'Z': {
        const uint32_t k = key.S ? STB_TEXTEDIT_K_REDO : STB_TEXTEDIT_K_UNDO;
        DirtyIf(b.Run([&] { b.Key(k); }));
        return true;
      }
      default: break;
    }
  }

  const char32_t c = KeyCodePoint(key);
  const uint32_t vk = static_cast<uint32_t>(key.VK) & 0xFFFFu;
  uint32_t code = 0;
  switch (key.VK) {
    case kVkBack: code = kKeyBit | vk; break;
    // Return and Escape end the edit and are used up: the key is not typed into the closed
    // entry, nor handed on to the editor's key handler.
    case kVkReturn: CommitEdit(); return true;
    case kVkEscape: DismissEdit(); return true;
    case kVkSpace: code = U' '; break;
    case kVkTab: return false;
    default:
      if ((key.VK >= kVkPageUp && key.VK <= kVkDown) || key.VK == kVkDelete) {
        code = kKeyBit | vk;
        break;
      }
      if (!mGraphics || !mGraphics->GetTextEntryEditingControl()) return false;
      code = c ? static_cast<uint32_t>(c) : (kKeyBit | vk);
      if (c) {
        const IParam* param = mGraphics->GetTextEntryEditingControl()->GetParam();
        if (param && !KindTakes(param->GetKind(), key, c)) code = kKeyBit | vk;
      }
      break;
  }
  if (key.C) code |= kControlBit;
  if (key.S) code |= kShiftBit;
  if (key.A) code |= kAltBit;

  bool changed = false;
  const long text = KeyToText(code);
  if (text > 0xFFFF) {
    std::u16string pair;
    AppendUtf16(pair, static_cast<char32_t>(text));
    changed = b.Run([&] { b.ReplaceSelection(pair.data(), 2); });
  } else {
    changed = b.Run([&] { b.Key(code); });
  }
  DirtyIf(changed);
  return changed;
}

void ITextEntryControl::OnMouseDown(float x, float y, const IMouseState& mod) {
  if (!mEditing) return;
  if (!mDrawRect.Contains(x, y)) {
    // A click elsewhere leaves the value as it was; Return commits.
    DismissEdit();
    return;
  }
  TextEntryBuffer& b = *mBuffer;
  if (mod.L) {
    DirtyIf(b.Run([&] { stb_textedit_click(&b, &b.mState, x, y - mDrawRect.T); }));
  } else if (mod.R && mGraphics) {
    IPopupMenu& menu = EditMenu();
    menu.SetChosenItemIdx(-1);
    mGraphics->OpenPopupMenu(*this, menu, IRect(x, y, x, y), 0);
  }
}

void ITextEntryControl::OnMouseDrag(float x, float y, float, float, const IMouseState& mod) {
  if (!mEditing || !mod.L) return;
  TextEntryBuffer& b = *mBuffer;
  DirtyIf(b.Run([&] { stb_textedit_drag(&b, &b.mState, x, y - mDrawRect.T); }));
}

void ITextEntryControl::OnMouseUp(float x, float y, const IMouseState& mod) {
  if (!mEditing || !mod.L) return;
  TextEntryBuffer& b = *mBuffer;
  b.Run([&] { stb_textedit_drag(&b, &b.mState, x, y - mDrawRect.T); });
  SetDirty(true);
}

void ITextEntryControl::OnMouseDoubleClick(float, float, const IMouseState&) { SelectAll(); }

void ITextEntryControl::OnMenuSelection(IPopupMenu* menu, int) {
  // An answer that comes after the edit ended (an asynchronous menu) has nothing to act on.
  if (!menu || !mEditing) return;
  switch (menu->GetChosenItemIdx()) {
    case 0: Cut(); break;
    case 1: Copy(); break;
    case 2: Paste(); break;
    default: break;
  }
}

IPopupMenu& ITextEntryControl::EditMenu() {
  static IPopupMenu sMenu = [] {
    IPopupMenu menu;
    menu.AddItem("Cut");
    menu.AddItem("Copy");
    menu.AddItem("Paste");
    return menu;
  }();
  return sMenu;
}

void ITextEntryControl::Draw(IGfx& g) {
  if (!mEditing) return;
  TextEntryBuffer& b = *mBuffer;
  g.FillRect(mText.mTextEntryBGColor, mDrawRect);

  StbTexteditRow row;
  b.LayoutRow(&row, 0);
  const float top = mDrawRect.T + row.ymin + 0.1f * mText.mSize;
  const float bottom = mDrawRect.T + row.ymax - 0.1f * mText.mSize;
  const int low = b.SelectionLow();
  const int high = b.SelectionHigh();
  if (low != high) {
    const IBlending selectionBlend(0.2f);
    g.FillRect(mText.mTextEntryFGColor,
               IRect(row.x0 + b.WidthBefore(low), top, row.x0 + b.WidthBefore(high), bottom),
               &selectionBlend);
  }

  const std::string text = GetEditText();
  if (!text.empty()) g.DrawText(mText, text.c_str(), mDrawRect);

  if (mDrawCaret && low == high) {
    const float x = row.x0 + b.WidthBefore(b.mState.cursor);
    g.FillRect(mText.mTextEntryFGColor, IRect(std::round(x - 1.f), top, std::round(x), bottom));
  }
}

// The graphics context's own text entry is made here, beside the control it makes.
void IGfx::AttachTextEntryControl() {
  if (mTextEntry) return;
  AttachTextEntryControl(new ITextEntryControl(IRect(), ITextEntryControl::CaretBlinkAction()));
}

void IGfx::OpenOwnTextEntry(const ITextStyle& style, const IRect& bounds, const char* str) {
  AttachTextEntryControl();
  if (!mTextEntry) return;
  mTextEntry->SetText(style);
  mTextEntry->SetAreas(bounds);
  mTextEntry->OpenForEditing(str ? str : "");
}

void IGfx::DismissOwnTextEntry() {
  auto* entry = dynamic_cast<ITextEntryControl*>(mTextEntry.get());
  if (entry && entry->IsEditing()) entry->DismissEdit();
}

}  // namespace gfx
}  // namespace kantele
