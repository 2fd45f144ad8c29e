// The in-editor text entry takes bytes from outside: the clipboard (any bytes another program
// put there, read as UTF-8), the keys' text, and the text it opens with. Whatever arrives, in
// whatever order with clicks, drags, undo and redo, the entry keeps a consistent state: the
// sanitizers see no access outside its text or its undo store, and once an edit has ended
// nothing is left animating and no control is left in text entry.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kantele/gfx/support/TextEntryScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!kantele::gfx::test::PlayTextEntryScript(data, size)) std::abort();
  return 0;
}
