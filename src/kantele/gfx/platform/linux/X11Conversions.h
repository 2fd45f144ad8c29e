#pragma once

// How X11's keysyms, cursor shapes, resource text and selection bytes map onto the graphics
// library, and when two presses make a double click: the part of the Linux editor that needs
// no display. Pure functions, so they are tested and fuzzed without an X server.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kantele {
namespace gfx {

/// The screen scale that an X resource database text (the root window's RESOURCE_MANAGER
/// property, as `XResourceManagerString` answers it) asks for: its "Xft.dpi" entry over 96.
/// The text is outside bytes: read within `length` bytes, or up to a terminator before that.
/// No entry, an entry that is not a plain positive number, or a null text gives 1. The scale is
/// kept within [1, 4]: the editor never draws below its design size (as on Windows), and a
/// bogus value cannot ask for a window hundreds of times the screen. [any-thread]
float ScreenScaleFromXResources(const char* resources, size_t length);

/// The virtual-key code (the Windows numbering the key presses carry) of an X keysym: letters
/// and digits as their upper-case ASCII codes, the keypad, function keys F1..F24, arrows,
/// editing and modifier keys, and the US layout's punctuation. 0 for a keysym without one.
/// [any-thread]
int VirtualKeyFromKeySym(unsigned long keysym);

/// The X cursor-font shape showing cursor type `cursorType` (the values of `ECursor`); the left
/// arrow for a type outside the table. [any-thread]
unsigned int CursorFontShape(int cursorType);

/// The UTF-8 text of a selection's bytes (the clipboard as another X client hands it over):
/// `utf8` for the UTF8_STRING target, otherwise Latin-1 (the STRING target). Outside bytes:
/// read within `length`, up to the first NUL; an invalid UTF-8 sequence becomes U+FFFD, so
/// what comes out is always valid UTF-8. [any-thread] Allocates.
std::string SelectionTextToUtf8(const unsigned char* data, size_t length, bool utf8);

/// The Latin-1 form of UTF-8 text (the STRING target offered to clients that want it):
/// characters beyond U+00FF and invalid sequences become '?'. [any-thread] Allocates.
std::string Utf8ToLatin1(const std::string& utf8);

/// Whether two presses of the first button make a double click: the second within 400 ms of
/// the first (X server time, which wraps after 49.7 days) and within 4 pixels on both axes.
bool IsDoubleClick(unsigned long firstTime, int firstX, int firstY, unsigned long secondTime,
                   int secondX, int secondY);

}  // namespace gfx
}  // namespace kantele
