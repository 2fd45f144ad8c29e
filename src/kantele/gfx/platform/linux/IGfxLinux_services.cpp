// The Linux editor's services: the X error trap, the pointer, the clipboard through the
// CLIPBOARD selection, the in-editor text entry, and the answers for what X11 has no native
// form of (menus, dialogs, message boxes, installed fonts).
#include <glad/gl.h>

#include "kantele/gfx/platform/linux/IGfxLinux.h"

#include <glad/glx.h>

#include "kantele/gfx/platform/linux/IGfxLinux_x11.h"

#include <poll.h>

#include <chrono>
#include <cmath>
#include <mutex>

#include "kantele/gfx/controls/ITextEntryControl.h"
#include "kantele/gfx/platform/linux/X11Conversions.h"

namespace kantele {
namespace gfx {

// ---- The error trap.

namespace {

struct TrapState {
  std::mutex mMutex;
  int mUsers = 0;
  XErrorHandler mReplaced = nullptr;
  struct Entry {
    Display* mDisplay;
    int mErrors;
  };
  Entry mEntries[64] = {};
};

// Constant-initialised static storage: nothing on the heap, nothing to destroy at unload.
TrapState sTrap;

int TrapHandler(Display* display, XErrorEvent* error) {
  XErrorHandler replaced = nullptr;
  {
    std::lock_guard<std::mutex> lock(sTrap.mMutex);
    for (TrapState::Entry& e : sTrap.mEntries) {
      if (e.mDisplay == display) {
        ++e.mErrors;
        return 0;
      }
    }
    replaced = sTrap.mReplaced;
  }
  return replaced ? replaced(display, error) : 0;
}

}  // namespace

namespace x11 {

void ErrorTrap::Add(Display* display) {
  std::lock_guard<std::mutex> lock(sTrap.mMutex);
  for (TrapState::Entry& e : sTrap.mEntries) {
    if (!e.mDisplay) {
      e.mDisplay = display;
      e.mErrors = 0;
      break;
    }
  }
  if (sTrap.mUsers++ == 0) sTrap.mReplaced = XSetErrorHandler(TrapHandler);
}

void ErrorTrap::Remove(Display* display) {
  std::lock_guard<std::mutex> lock(sTrap.mMutex);
  for (TrapState::Entry& e : sTrap.mEntries) {
    if (e.mDisplay == display) e = TrapState::Entry{nullptr, 0};
  }
  if (sTrap.mUsers > 0 && --sTrap.mUsers == 0) {
    const XErrorHandler current = XSetErrorHandler(sTrap.mReplaced);
    if (current != TrapHandler) XSetErrorHandler(current);  // someone else's since: theirs stays
    sTrap.mReplaced = nullptr;
  }
}

int ErrorTrap::Errors(Display* display) {
  std::lock_guard<std::mutex> lock(sTrap.mMutex);
  for (const TrapState::Entry& e : sTrap.mEntries) {
    if (e.mDisplay == display) return e.mErrors;
  }
  return 0;
}

}  // namespace x11

unsigned long IGfxLinux::InternAtom(const char* name) {
  return mDisplay ? XInternAtom(mDisplay, name, False) : 0;
}

// ---- The pointer.

namespace {

constexpr int kCursorTypes = 13;  // the cursor types of ECursor, each with a slot

}  // namespace

bool IGfxLinux::GetCursorPosition(float& x, float& y) const {
  if (!mDisplay || mWnd == 0 || mWindowGone) return false;
  Window root = 0;
  Window child = 0;
  int rootX = 0;
  int rootY = 0;
  int wndX = 0;
  int wndY = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(mDisplay, mViewWnd, &root, &child, &rootX, &rootY, &wndX, &wndY, &mask))
    return false;  // on another screen
  const float scale = GetTotalScale();
  x = static_cast<float>(wndX) / scale;
  y = static_cast<float>(wndY) / scale;
  return true;
}

void IGfxLinux::SetCursorHidden(bool hide, bool lock) {
  if (hide == mCursorHidden) return;
  const bool window = mDisplay && mWnd != 0 && !mWindowGone;
  if (hide) {
    mHiddenCursorX = mLastMouseX;
    mHiddenCursorY = mLastMouseY;
    if (window) {
      if (!mBlankCursor) {
        // An empty 1 x 1 cursor: X11 has no call that hides the pointer.
        static const char kNoBits[1] = {0};
        const Pixmap empty = XCreateBitmapFromData(mDisplay, mWnd, kNoBits, 1, 1);
        XColor black = {};
        mBlankCursor = XCreatePixmapCursor(mDisplay, empty, empty, &black, &black, 0, 0);
        XFreePixmap(mDisplay, empty);
      }
      XDefineCursor(mDisplay, mViewWnd, mBlankCursor);
      XFlush(mDisplay);
    }
    mCursorHidden = true;
    mCursorLocked = lock;
  } else {
    if (mCursorLocked) WarpCursor(mHiddenCursorX, mHiddenCursorY);
    mCursorHidden = false;
    mCursorLocked = false;
    SetCursor(mCursorType);
  }
}

void IGfxLinux::WarpCursor(float x, float y) {
  if (!mDisplay || mWnd == 0 || mWindowGone) return;
  const float scale = GetTotalScale();
  XWarpPointer(mDisplay, None, mViewWnd, 0, 0, 0, 0, static_cast<int>(std::lround(x * scale)),
               static_cast<int>(std::lround(y * scale)));
  XFlush(mDisplay);
  mLastMouseX = mHiddenCursorX = x;
  mLastMouseY = mHiddenCursorY = y;
}

ECursor IGfxLinux::SetCursor(ECursor cursorType) {
  const ECursor previous = mCursorType;
  mCursorType = cursorType;
  // A closed editor leaves the host's pointer alone; a hidden one stays hidden.
  if (!mDisplay || mWnd == 0 || mWindowGone || mCursorHidden) return previous;
  const int type = static_cast<int>(cursorType);
  const int slot = type >= 0 && type < kCursorTypes ? type : 0;
  unsigned long& cursor = mCursors[slot];
  if (!cursor) cursor = XCreateFontCursor(mDisplay, CursorFontShape(slot));
  XDefineCursor(mDisplay, mViewWnd, cursor);
  XFlush(mDisplay);
  return previous;
}

// ---- The clipboard.

namespace {

// The open editors of this process with their windows, so that one editor reads another's
// copied text directly: the owner could only answer a selection request from its own event
// processing, on the very thread that would be waiting for the answer. Static storage and a
// fixed size: nothing on the heap. The lock also guards every editor's clipboard text.
struct OpenEditors {
  std::mutex mMutex;
  struct Entry {
    unsigned long mWnd;
    const std::string* mText;
  };
  Entry mEntries[64] = {};
};
OpenEditors sOpenEditors;

constexpr long kMaxSelectionBytes = 1 << 20;     // the most of another client's text read
constexpr size_t kMaxOfferedBytes = 256 * 1024;  // larger texts would need the INCR protocol
constexpr int kSelectionWaitMs = 500;

}  // namespace

void IGfxLinux::ListOpenEditor(bool open) {
  std::lock_guard<std::mutex> lock(sOpenEditors.mMutex);
  for (OpenEditors::Entry& e : sOpenEditors.mEntries) {
    if (open && e.mWnd == 0) {
      e = OpenEditors::Entry{mWnd, &mClipboardText};
      return;
    }
    if (!open && e.mText == &mClipboardText) e = OpenEditors::Entry{0, nullptr};
  }
}

void IGfxLinux::SetClipboardText(const std::string& text) {
  std::lock_guard<std::mutex> lock(sOpenEditors.mMutex);
  mClipboardText = text;
}

bool IGfxLinux::WriteClipboardText(const char* str) {
  if (!mDisplay || mWnd == 0 || mWindowGone) return false;
  const std::string text = str ? str : "";
  if (text.size() > kMaxOfferedBytes) return false;
  SetClipboardText(text);
  const Atom clipboard = InternAtom("CLIPBOARD");
  XSetSelectionOwner(mDisplay, clipboard, mWnd, CurrentTime);
  if (XGetSelectionOwner(mDisplay, clipboard) != mWnd) {
    SetClipboardText(std::string());
    return false;
  }
  return true;
}

namespace {

// The clipboard text of the open editor whose window is `owner`, into `str`; false when no
// open editor of this process owns the clipboard.
bool CopyOpenEditorText(Window owner, std::string& str) {
  std::lock_guard<std::mutex> lock(sOpenEditors.mMutex);
  for (const OpenEditors::Entry& e : sOpenEditors.mEntries) {
    if (e.mWnd != 0 && e.mWnd == owner) {
      str = *e.mText;
      return true;
    }
  }
  return false;
}

// Waits up to kSelectionWaitMs for the answer to window `wnd`'s conversion request; the
// owner answers through the server. Other events stay queued for the next tick.
bool WaitForSelectionNotify(Display* display, Window wnd, XEvent& reply) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kSelectionWaitMs);
  for (;;) {
    if (XCheckTypedWindowEvent(display, wnd, SelectionNotify, &reply)) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd fd = {ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<long long>(left, 20)));
  }
}

// The converted text in `property` of `wnd` (taken off the window), into `str` as UTF-8;
// false when it is not text. Text comes in 8-bit units as UTF8_STRING (`utf8`) or STRING;
// INCR (texts too large for one property) is not read.
bool ReadSelectionText(Display* display, Window wnd, Atom property, Atom utf8, std::string& str) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, wnd, property, 0, kMaxSelectionBytes / 4, True,
                                        AnyPropertyType, &type, &format, &items, &after, &data);
  bool read = false;
  if (status == Success && data && format == 8 && (type == utf8 || type == XA_STRING)) {
    str = SelectionTextToUtf8(data, items, type == utf8);
    read = true;
  }
  if (data) XFree(data);
  return read;
}

}  // namespace

bool IGfxLinux::ReadClipboardText(std::string& str) {
  str.clear();
  if (!mDisplay || mWnd == 0 || mWindowGone) return false;
  const Atom clipboard = InternAtom("CLIPBOARD");
  const Window owner = XGetSelectionOwner(mDisplay, clipboard);
  if (owner == None) return false;
  // This editor's text, or another open editor's of this process.
  if (CopyOpenEditorText(owner, str)) return !str.empty();
  const Atom property = InternAtom("KANTELE_SELECTION");
  const Atom utf8 = InternAtom("UTF8_STRING");
  for (const Atom target : {utf8, static_cast<Atom>(XA_STRING)}) {
    XDeleteProperty(mDisplay, mWnd, property);
    XConvertSelection(mDisplay, clipboard, target, property, mWnd, CurrentTime);
    XFlush(mDisplay);
    XEvent reply;
    // An owner that does not answer will not answer the next target either.
    if (!WaitForSelectionNotify(mDisplay, mWnd, reply)) return false;
    if (reply.xselection.property == None) continue;  // this target refused: the next one
    return ReadSelectionText(mDisplay, mWnd, property, utf8, str) && !str.empty();
  }
  return false;
}

void IGfxLinux::AnswerSelectionRequest(XEvent& event) {
  const XSelectionRequestEvent& request = event.xselectionrequest;
  XSelectionEvent reply = {};
  reply.type = SelectionNotify;
  reply.display = request.display;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  reply.property = None;
  // Clients of old name no property: the target's name stands in.
  const Atom property = request.property != None ? request.property : request.target;
  const Atom clipboard = InternAtom("CLIPBOARD");
  const Atom utf8 = InternAtom("UTF8_STRING");
  const Atom targets = InternAtom("TARGETS");
  const Atom text = InternAtom("TEXT");
  std::string offered;
  {
    std::lock_guard<std::mutex> lock(sOpenEditors.mMutex);
    offered = mClipboardText;
  }
  if (request.owner == mWnd && request.selection == clipboard) {
    if (request.target == targets) {
      const Atom kinds[] = {targets, utf8, XA_STRING, text};
      XChangeProperty(mDisplay, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(kinds), 4);
      reply.property = property;
    } else if (request.target == utf8 || request.target == text) {
      XChangeProperty(mDisplay, request.requestor, property, utf8, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offered.data()),
                      static_cast<int>(offered.size()));
      reply.property = property;
    } else if (request.target == XA_STRING) {
      const std::string latin1 = Utf8ToLatin1(offered);
      XChangeProperty(mDisplay, request.requestor, property, XA_STRING, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(latin1.data()),
                      static_cast<int>(latin1.size()));
      reply.property = property;
    }
  }
  XEvent answer;
  answer.xselection = reply;
  XSendEvent(mDisplay, request.requestor, False, NoEventMask, &answer);
  XFlush(mDisplay);
}

void IGfxLinux::HandleSelectionClear(const XEvent& event) {
  if (event.xselectionclear.window == mWnd) SetClipboardText(std::string());
}

// ---- Text entry: the editor's own control, as X11 has no native text box.

void IGfxLinux::CreateNativeTextEntry(int, const ITextStyle& text, const IRect& bounds, int,
                                      const char* str) {
  OpenOwnTextEntry(text, bounds, str);
}

void IGfxLinux::CancelTextEntry() { DismissOwnTextEntry(); }

// ---- What X11 has no native form of.

IPopupMenu* IGfxLinux::CreateNativePopupMenu(IPopupMenu&, const IRect&, bool& isAsync) {
  isAsync = false;
  return nullptr;
}

EMsgBoxResult IGfxLinux::ShowMessageBox(const char*, const char*, EMsgBoxType,
                                        IMsgBoxCompletionHandlerFunc completionHandler) {
  if (completionHandler) completionHandler(kNoResult);
  return kNoResult;
}

void IGfxLinux::ChooseFile(std::string& fileName, std::string& path, EFileAction, const char*) {
  fileName.clear();
  path.clear();
}

void IGfxLinux::ChooseFolder(std::string& dir) { dir.clear(); }

bool IGfxLinux::ChooseColor(IArgb&, const char*, IColorPickerHandlerFunc) { return false; }

bool IGfxLinux::OpenUrl(const char*, const char*, const char*, const char*) { return false; }

bool IGfxLinux::RevealInExplorer(const std::string&, bool) { return false; }

std::unique_ptr<PlatformFont> IGfxLinux::LoadInstalledFont(const char*, const char*, ETextStyle) {
  return nullptr;
}

}  // namespace gfx
}  // namespace kantele
