#pragma once

namespace kantele {

/// The keyboard layout's virtual-key code for a typed character, as a Windows layout reports
/// it: the key code in the low byte and the shift state in the high byte (1 shift, 2 control,
/// 4 alt), or -1 when no key types the character. On Windows this is the current layout's
/// answer; elsewhere it is `UsAsciiVirtualKey`. [any-thread]
int CharacterVirtualKey(char character);

/// The same answer for the US layout, for printable ASCII (32 to 126) and the control
/// characters a key types (backspace, tab, return, escape); -1 for every other byte.
/// Portable: no operating system is asked. [any-thread]
int UsAsciiVirtualKey(char character);

}  // namespace kantele
