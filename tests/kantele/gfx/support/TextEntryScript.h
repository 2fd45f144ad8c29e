#pragma once

// Plays bytes as a script of user actions on the in-editor text entry: the text it opens with,
// keys with any text and modifiers, clipboard bytes pasted, clicks, drags, double clicks, undo
// and redo, frames, reopening, Return and Escape. The text entry's fuzz target plays what the
// fuzzer makes; the tests replay the inputs that once broke the entry.

#include <cstddef>
#include <cstdint>

namespace kantele {
namespace gfx {
namespace test {

/// Plays `data` on a fresh editor with an attached text entry. Answers false when the entry was
/// left inconsistent: an edit ended with its caret still animating or a control still in text
/// entry. Faults inside (reads or writes outside a buffer) are the sanitizers' to report.
bool PlayTextEntryScript(const uint8_t* data, size_t size);

}  // namespace test
}  // namespace gfx
}  // namespace kantele
