#include "kantele/vst2/VirtualKeys.h"

namespace kantele {

// Linux has no process-wide keyboard layout to ask; host key events carry ASCII characters,
// which map as on the US layout.
int CharacterVirtualKey(char character) { return UsAsciiVirtualKey(character); }

}  // namespace kantele
