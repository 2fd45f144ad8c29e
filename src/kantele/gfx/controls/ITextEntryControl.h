#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kantele/gfx/IControl.h"

namespace kantele {
namespace gfx {

/// The editing state, the text and the cached character widths (defined with the control's
/// code; opaque here so the editing state machine stays out of every other file).
struct TextEntryBuffer;

/// The editor's own single-line text editor, placed over a control when the user types its
/// value (the graphics context's OpenTextEntry, from PromptForValue).
///
/// Closed (not editing, empty rectangles) until OpenForEditing; it then takes keys and the
/// mouse until Return (CommitEdit: the text goes to the context's CommitTextEntry, which parses
/// it into the edited control's parameter), Escape or a click outside it (DismissEdit:
/// nothing is committed). The text is held as UTF-16; caret, selection, word moves
/// and undo (99 steps, 999 characters) behave as in a desktop edit box.
///
/// Keys are filtered by the kind of the parameter bound to the edited control's value 0: a
/// boolean, integer or enumeration takes digits, '+' and '-'; a double also '.'. Control+A,
/// C, V, X select all, copy, paste and cut through the platform clipboard; control+Z undoes,
/// control+shift+Z redoes. The right button opens a "Cut", "Copy", "Paste" menu.
///
/// The caret blinks while editing (shown 500 ms, hidden 500 ms) through the action function
/// `CaretBlinkAction`, which every SetDirty(true) runs; when the edit ends the blink stops and
/// no animation function is left, so a closed entry is never reported dirty by itself.
///
/// [main-thread] Like every control. Editing allocates.
class ITextEntryControl : public ITextEntryControlBase {
 public:
  /// One blink: caret shown for the first half, hidden for the second.
  static constexpr int kCaretBlinkMs = 1000;
  /// The state machine's key codes: a key is this bit with the virtual-key code; the
  /// modifier bits are added to keys and characters alike.
  static constexpr uint32_t kKeyBit = 0x80000000u;
  static constexpr uint32_t kShiftBit = 0x40000000u;
  static constexpr uint32_t kControlBit = 0x20000000u;
  static constexpr uint32_t kAltBit = 0x10000000u;

  /// `action` is run by every SetDirty(true): the graphics context passes CaretBlinkAction.
  explicit ITextEntryControl(const IRect& bounds = IRect(), IActionFunction action = nullptr);
  ~ITextEntryControl() override;

  /// Inside the rectangle: the left button places the caret at the character under the
  /// pointer and empties the selection; the right button opens the edit menu. Outside:
  /// DismissEdit. Nothing while closed.
  void OnMouseDown(float x, float y, const IMouseState& mod) override;
  /// With the left button: a drag step, then SetDirty(true), which restarts the caret blink.
  void OnMouseUp(float x, float y, const IMouseState& mod) override;
  /// With the left button: the selection runs from where it started (the caret, when there
  /// was none) to the character under the pointer.
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseState& mod) override;
  /// SelectAll.
  void OnMouseDoubleClick(float x, float y, const IMouseState& mod) override;
  /// Answers true when the key was used: an edit, a caret or selection move, a clipboard
  /// command, or Return and Escape (which end the edit). Tab and keys that change nothing
  /// answer false, so the editor's key handler may take them.
  bool OnKeyDown(float x, float y, const KeyPress& key) override;
  /// The edit menu's choice: Cut (0), Copy (1) or Paste (2); nothing for no choice or a closed
  /// entry.
  void OnMenuSelection(IPopupMenu* menu, int valIdx) override;
  /// The text-entry background, the selection (text-entry foreground at weight 0.2), the
  /// text, and the caret when it is shown and nothing is selected. A closed entry draws
  /// nothing.
  void Draw(IGfx& g) override;
  /// While editing: the next blink (SetDirty(true)). Otherwise the blink stops: no animation
  /// function is left and the caret is hidden.
  void OnAnimationEnd() override;

  /// Starts editing `text` (UTF-8; null is empty) in the current rectangle and text style,
  /// drawn in the style's text-entry colours: the whole text selected, the caret at 0, the
  /// undo history empty, the caret blinking.
  void OpenForEditing(const char* text) override;
  bool IsEditing() const override { return mEditing; }

  /// Ends the edit and hands the text to the context's CommitTextEntry; the entry closes
  /// (empty rectangles), the blink stops and every control is marked dirty. Nothing while
  /// closed.
  void CommitEdit();
  /// Ends the edit without committing: the context forgets the edited control; the entry
  /// closes as CommitEdit does. Nothing while closed.
  void DismissEdit();
  /// Puts the selection, as UTF-8, on the platform clipboard; nothing without a selection.
  void Copy();
  /// The clipboard text replaces the selection, as one undoable step. Line breaks and other
  /// control characters are dropped: the entry holds one line.
  void Paste();
  /// Copy, then deletes the selection.
  void Cut();
  /// Selects the whole text.
  void SelectAll();

  /// The action function that blinks the caret of the `ITextEntryControl` it runs for.
  static IActionFunction CaretBlinkAction();

  /// The text as UTF-8.
  std::string GetEditText() const;
  const std::u16string& GetEditString() const;
  /// Caret and selection, in UTF-16 code units; the selection's ends in the order made.
  int GetCursor() const;
  int GetSelectionStart() const;
  int GetSelectionEnd() const;
  bool HasSelection() const { return GetSelectionStart() != GetSelectionEnd(); }
  bool GetDrawCaret() const { return mDrawCaret; }

 private:
  // The caret is shown and the blink animation (re)started; only while editing.
  void StartCaretBlink();
  // One animation tick: hide the caret in the second half, end the blink after the first
  // period.
  void CaretBlinkStep();
  // No animation function left, caret hidden.
  void StopCaretBlink();
  // Closes the entry after CommitEdit or DismissEdit.
  void Close();
  // Marks the control dirty when `changed`.
  void DirtyIf(bool changed);
  // The edit menu, shared by every entry of the process.
  static IPopupMenu& EditMenu();

  bool mDrawCaret = false;
  bool mEditing = false;
  std::unique_ptr<TextEntryBuffer> mBuffer;
};

}  // namespace gfx
}  // namespace kantele
