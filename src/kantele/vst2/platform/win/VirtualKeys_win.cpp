#include <windows.h>

#include "kantele/vst2/VirtualKeys.h"

namespace kantele {

// The calling thread's current layout decides, as it does for the keys a user types.
int CharacterVirtualKey(char character) {
  return static_cast<int>(VkKeyScanExA(character, GetKeyboardLayout(0)));
}

}  // namespace kantele
