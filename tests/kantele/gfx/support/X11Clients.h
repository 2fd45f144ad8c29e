#pragma once

// Other X clients beside the Linux editor, for the tests that run it on a display: a host
// drawing with GLX on the test's thread, and clipboard owners and requestors answering from
// threads of their own. Each client that runs on a thread has a connection of its own, so no
// Xlib connection is ever used by two threads.
//
// Xlib's types are declared, not included: its macros (KeyPress, None, Bool ...) would rename
// the graphics library's names in a file including this one before them.

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;

namespace kantele::gfx::test {

/// A host that draws with OpenGL on this thread too: a top-level window on `display` with a
/// GLX context, current on the thread from construction to destruction.
class HostGLContext {
 public:
  explicit HostGLContext(_XDisplay* display);
  ~HostGLContext();
  HostGLContext(const HostGLContext&) = delete;
  HostGLContext& operator=(const HostGLContext&) = delete;

  /// Whether the host's context is the thread's current one, with the host's window and
  /// connection.
  bool IsCurrent() const;

 private:
  _XDisplay* mDisplay;
  unsigned long mColormap = 0;  // Colormap
  unsigned long mWnd = 0;       // Window
  void* mContext = nullptr;     // GLXContext
};

/// Another client owning CLIPBOARD from construction, answering requests for it on a thread
/// of its own. `answers` lists the targets it gives, as (target, type, bytes); any other
/// target is refused. Without `serve` it never answers.
class ClipboardOwner {
 public:
  struct Answer {
    std::string mTarget;
    std::string mType;
    std::string mBytes;
  };

  explicit ClipboardOwner(std::vector<Answer> answers, bool serve = true);
  /// Stops answering; the window goes, and the selection with it.
  ~ClipboardOwner();
  ClipboardOwner(const ClipboardOwner&) = delete;
  ClipboardOwner& operator=(const ClipboardOwner&) = delete;

  /// Stops answering; answers the targets asked for, in order.
  std::vector<std::string> Stop();

 private:
  void Serve();

  std::vector<Answer> mAnswers;
  _XDisplay* mDisplay = nullptr;
  unsigned long mWnd = 0;  // Window
  std::thread mThread;
  std::atomic<bool> mStop{false};
  std::vector<std::string> mRequested;  // the thread's until it is joined
};

/// What another client got asking for CLIPBOARD as one target.
struct Converted {
  bool mAnswered = false;  // a SelectionNotify came (within a second)
  bool mGiven = false;     // ... naming a property: the target was not refused
  std::string mType;
  std::string mBytes;               // 8-bit data
  std::vector<std::string> mAtoms;  // 32-bit data, read as atom names
};

/// Asks for CLIPBOARD as each of `targets` in turn, from a thread with a connection of its own,
/// while `pump` runs on this thread (an owner on this thread answers only when its events are
/// read). Answers one result per target.
std::vector<Converted> RequestClipboard(const std::vector<std::string>& targets,
                                        const std::function<void()>& pump);

}  // namespace kantele::gfx::test
