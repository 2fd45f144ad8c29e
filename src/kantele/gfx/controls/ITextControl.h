#pragma once

#include <string>

#include "kantele/gfx/GraphicsTypes.h"
#include "kantele/gfx/IControl.h"

namespace kantele {
namespace gfx {

/// A fixed text on a background fill (the editor's version label).
///
/// The control ignores the mouse. With the set-bounds-from-text flag (the form the
/// constructor makes) its rectangles follow the measured text: they are the text's width and
/// height, centred on the centre the control had before, whenever the text changes and on
/// attachment. While the control is the one whose value is being typed in the in-editor text
/// entry, it draws only its background, so the entry's text is not drawn over another copy.
///
/// [main-thread] Like every control.
class ITextControl : public IControl {
 public:
  /// `text` (null is empty) drawn in `style` over `bgColor`; the rectangles follow the text
  /// from attachment on.
  ITextControl(const IRect& bounds, const char* text, const ITextStyle& style = ITextStyle(),
               const IArgb& bgColor = kColorTransparent);

  /// Fits the rectangles to the text when the flag is set (a graphics context is needed to
  /// measure, so this waits for attachment).
  void OnInit() override;
  /// The background with the control's blend, then the text unless this control is being
  /// edited in the text entry.
  void Draw(IGfx& g) override;

  /// A different text (null is empty) is stored, the rectangles refitted when flagged, and the
  /// control marked dirty; the same text changes nothing.
  virtual void SetLabel(const char* text);
  /// The printf-style result of `fmt`, cut to at most `maxLength` bytes without splitting a
  /// UTF-8 character (0 or a negative length, a null format or a formatting failure give the
  /// empty text), refitted like SetLabel. Always marks the control dirty.
  virtual void SetLabelFormatted(int maxLength, const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  /// SetLabel with the empty text.
  virtual void ClearLabel();

  const char* GetLabel() const { return mStr.c_str(); }
  const IArgb& GetBackgroundColor() const { return mBGColor; }
  void SetBackgroundColor(const IArgb& color) { mBGColor = color; }
  bool GetSetBoundsFromText() const { return mSetBoundsBasedOnStr; }

 protected:
  /// Both rectangles become the measured text's size centred on the draw rectangle's centre;
  /// the pointer counts as gone; OnResize. Nothing without a graphics context.
  void SetBoundsFromText();

  std::string mStr;
  IArgb mBGColor;
  bool mSetBoundsBasedOnStr = true;
};

}  // namespace gfx
}  // namespace kantele
