#pragma once

// The Windows editor's rules for what the user gives it that need no system: the characters
// the text entry box takes, the file types a file chooser offers, wheel notches. No system
// header: built and tested on every platform.

#include <cstdint>
#include <string>

#include "kantele/IParam.h"

namespace kantele {
namespace gfx {

/// Whether a native text entry box for a parameter of `kind` takes character `ch` (a UTF-16
/// unit or code point, as the system delivers it).
/// - Always: backspace, and the editing commands the box receives as control characters
///   (Ctrl+A 1, Ctrl+C 3, Ctrl+V 22, Ctrl+X 24, Ctrl+Z 26), so select-all, the clipboard and
///   undo keep working in numeric boxes; pasted text is checked when the value is parsed.
/// - Never: carriage return, line feed and escape. Their keys commit or cancel the entry, and
///   the character the key also produces would otherwise put a line break into the text being
///   committed.
/// - Booleans, integers and enumerations: the digits, "+" and "-"; doubles also ".".
/// - No parameter (kKindNone), or a kind this rule does not know: everything else.
/// [any-thread]
bool NativeTextEntryAccepts(EParamKind kind, uint32_t ch);

/// The filter a file chooser shows for space-separated `extensions` ("wav aif"): the patterns
/// "*.wav;*.aif" twice, as description and as pattern, and the default extension (the first
/// one). Runs of spaces separate like one space; null is empty. The pattern text never exceeds
/// 255 bytes (so its UTF-16 form never exceeds 255 units): an extension whose pattern would
/// make it longer is left out whole, and later ones that still fit are kept. A first extension
/// longer than 15 bytes gives no default extension. [any-thread] Allocates.
struct NativeFileFilter {
  std::string mPatterns;          ///< "*.wav;*.aif"; empty for no extensions
  std::string mDefaultExtension;  ///< "wav"; empty for none
};
NativeFileFilter MakeNativeFileFilter(const char* extensions);

/// Wheel notches from a system wheel delta: delta / 120, truncated (60 gives 0, -240 gives -2).
/// [any-thread]
int WheelNotches(int delta);

}  // namespace gfx
}  // namespace kantele
