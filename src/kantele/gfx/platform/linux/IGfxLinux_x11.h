#pragma once

// Xlib details shared by the Linux editor's sources: included after this library's headers
// (and after glad's GLX header, where a source has it). Not part of the editor's interface.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kantele {
namespace gfx {
namespace x11 {

// Xlib's KeyPress event type: the macro's name is the graphics library's key-press record,
// so the number is kept here and the macro removed.
constexpr int kKeyPressEvent = KeyPress;

/// Xlib's error handler is one per process, and its default ends the process. While any
/// editor is open a handler of this library's is installed: it counts the errors of the
/// editors' own connections (a request that failed because the host destroyed its window,
/// say) and hands every other error to the handler it replaced, so the host's own handling
/// is unchanged. The last editor to close puts the replaced handler back (unless someone
/// installed another meanwhile). [any-thread] A process-wide lock; no allocation.
struct ErrorTrap {
  /// Starts counting the errors of `display` (up to 64 connections at once; beyond that the
  /// errors go to the replaced handler).
  static void Add(Display* display);
  static void Remove(Display* display);
  /// Errors counted for `display`.
  static int Errors(Display* display);
};

}  // namespace x11
}  // namespace gfx
}  // namespace kantele

#undef KeyPress
