#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kantele/gfx/IGfxNanoVG.h"

// Xlib's types, declared without its headers: they define macros (KeyPress, None, Bool ...)
// that would clash with the graphics library's names in every file including this one.
struct _XDisplay;
union _XEvent;

namespace kantele {
class Timer;
namespace gfx {

/// The Linux editor: a NanoVG graphics context drawing into a child X11 window of the host's
/// window, through a GLX context of its own.
///
/// - Two windows. The editor's window (the one `OpenWindow` answers, named "Kantele") is a
///   child of the host's window and belongs to the host's layout: the host may give it any
///   size. Inside it, the view window holds the editor's picture at the editor's own size
///   (design size x zoom x screen scale); OpenGL draws there and the pointer is read there, so
///   the drawing and the mouse positions agree whatever size the host gives. While the two have
///   the same size, the view covers the editor's window exactly.
/// - Sizes. The editor's own resizes (the corner grip, a restored size, the screen scale) make
///   both windows the new size, after the delegate asked the host for it. A size the host
///   gives the editor's window (a ConfigureNotify with a size the window does not have from
///   the editor) is followed: once the events waiting are read and no grip drag is under way,
///   the editor takes the largest zoom whose picture fits (the aspect ratio kept; the smallest
///   zoom when none fits) without asking the host again, and the view is centred in the
///   window (from the top-left corner along a side it overflows), the rest showing the
///   window's black background. A drag of the grip leads until it ends; the host's size is
///   looked at then.
/// - Size hints (WM_NORMAL_HINTS of the editor's window), for hosts that size an embedded
///   window from them: the base size is the size the editor last asked for (the picture's),
///   the maximum the window of the largest zoom; no minimum (a host may pin the embedded
///   window's size request to it, and the editor could then never grow). They change with
///   every resize the editor makes, and are at the server before the call returns to the host;
///   following the host's size leaves them.
/// - Its own Display connection (the DISPLAY environment variable names the server), so the
///   host's connection and event queue are never touched.
/// - Everything runs on the host's user-interface thread, inside the frame timer's ticks: the
///   timer is a `kantele::Timer` (one frame period, at most 60 per second as the editor asks),
///   and on Linux timers tick inside `Timer::ServiceDueTimers`, which the plug-in calls from
///   the host's editor-idle requests. Each tick reads the X events waiting on the editor's
///   connection, carries them out, then draws what is dirty or exposed. A host that never
///   sends idle requests sees the frame drawn at open and nothing after it: no input, no
///   redraw (X11 gives a plug-in no other way onto the host's thread).
/// - Input: buttons 1 to 3 with X's implicit pointer grab standing in for capture, the wheel
///   from buttons 4 and 5, a second press of button 1 within 400 ms and 4 pixels as a double
///   click, keys through XLookupString (keys the editor does not take go on to the host's
///   window), enter and leave. A press takes the keyboard focus.
/// - The cursor: shapes from X's cursor font, hiding with an empty cursor, warping and locking
///   with XWarpPointer.
/// - The screen scale: the "Xft.dpi" resource over 96, within [1, 4], read at open.
/// - Services: the clipboard through the CLIPBOARD selection (text copied from the editor is
///   offered while the editor is open). X11 has no native popup menus, text boxes, dialogs or
///   message boxes: menus answer null (nothing chosen), text entry uses the in-editor text
///   entry control (made when the editor has none), message boxes answer "no result", choosers
///   choose nothing, URLs are not opened and nothing is revealed; no installed fonts (fonts
///   come from the module's resources, files or memory). Dropped files (XDND) and touch are
///   not received.
///
/// [main-thread] The host's user-interface thread, which also sends the idle requests.
class IGfxLinux : public IGfxNanoVG {
 public:
  IGfxLinux(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  /// Closes the window if it is open.
  ~IGfxLinux() override;

  // ---- Window.
  /// `parent` is the host's X window id (a Window cast to a pointer). Opens a connection, makes
  /// the child window at the draw-scaled size times the screen scale, its GLX context, lays the
  /// editor out, draws the first frame and starts the frame timer. Answers the window id as a
  /// pointer, or null when there is no display, no parent, no window of that id or no suitable
  /// OpenGL configuration (nothing is left behind then). Opening while open reopens in the
  /// new parent.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetNativeWindow() override;
  bool IsWindowOpen() override { return mWnd != 0; }

  /// One frame tick, as the frame timer runs it: the waiting events, the display tick and
  /// animations, then a frame over the dirty and exposed areas when there are any.
  void OnFrameTick();
  /// Reads and carries out every event waiting on the editor's connection.
  void ProcessEvents();

  // ---- Platform services.
  bool GetCursorPosition(float& x, float& y) const override;
  void SetCursorHidden(bool hide = true, bool lock = true) override;
  void WarpCursor(float x, float y) override;
  ECursor SetCursor(ECursor cursorType = kArrowCursor) override;
  void CancelTextEntry() override;
  bool ReadClipboardText(std::string& str) override;
  bool WriteClipboardText(const char* str) override;
  EMsgBoxResult ShowMessageBox(const char* str, const char* caption, EMsgBoxType type,
                               IMsgBoxCompletionHandlerFunc completionHandler = nullptr) override;
  void ChooseFile(std::string& fileName, std::string& path, EFileAction action = kFileOpen,
                  const char* extensions = "") override;
  void ChooseFolder(std::string& dir) override;
  bool ChooseColor(IArgb& color, const char* str = "",
                   IColorPickerHandlerFunc func = nullptr) override;
  bool OpenUrl(const char* url, const char* msgWindowTitle = nullptr,
               const char* confirmMsg = nullptr, const char* errMsgOnFailure = nullptr) override;
  const char* GetPlatformName() override { return "Linux"; }
  bool RevealInExplorer(const std::string& path, bool select = false) override;
  std::unique_ptr<PlatformFont> LoadInstalledFont(const char* fontID, const char* fontName,
                                                  ETextStyle style) override;
  void MakeGLContextCurrent() override;
  void RestoreGLContext() override;
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds, int length,
                             const char* str) override;
  IPopupMenu* CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;
  float GetScreenScaleValue() const override { return mScreenScale; }
  /// The X connection's descriptor while the window is open.
  int GetEventDescriptor() const override;
  void ProcessPendingEvents() override { ProcessEvents(); }
  /// The view takes the draw-scaled size times the screen scale. Unless the editor is following
  /// a size the host gave, the editor's window takes it too: the host has heard of it through
  /// the delegate already (audioMasterSizeWindow, the LV2 resize feature ...), and an embedding
  /// host that keeps another size sets it again, which is then followed. The size hints follow.
  void PlatformResize(bool parentHasResized) override;
  void DrawResize() override;

  // ---- What tests look at.
  /// X errors raised by requests on this editor's connection since it opened (they are
  /// counted, never fatal: a host window destroyed first makes some).
  int XErrorCount() const;
  /// Frames drawn since the window opened.
  int FrameCount() const { return mFrames; }

 protected:
  /// Carries out one event of the editor's connection: each kind goes to its handler below,
  /// which takes what concerns the editor's window and ignores the rest.
  void HandleEvent(_XEvent& event);
  void HandleExpose(const _XEvent& event);
  void HandleDestroy(const _XEvent& event);
  /// The editor's window changed size: followed once the events waiting are read.
  void HandleConfigure(const _XEvent& event);
  /// The editor takes the size the server reports for its window now (not while a grip drag
  /// is under way: then again after it), then places the view and sets the size hints.
  void FollowHostSize();
  /// The view at the picture's size, centred in the editor's window as far as it fits.
  void PlaceView();
  /// WM_NORMAL_HINTS of the editor's window: the picture's size as the base size, the largest
  /// zoom's window as the maximum.
  void SetSizeHints();
  // Input (IGfxLinux_input.cpp).
  void HandleButtonPress(const _XEvent& event);
  void HandleButtonRelease(const _XEvent& event);
  /// Also takes the motions queued right behind `event`, and carries out only the newest.
  void HandleMotion(_XEvent& event);
  void HandleEnter(const _XEvent& event);
  void HandleLeave(const _XEvent& event);
  /// A key press or release: to the editor, and on to the host's window when not taken.
  void HandleKey(_XEvent& event);
  void ForwardKeyToHost(const _XEvent& event);
  /// Records a press of the first button at X server time `time` and window position (x, y);
  /// answers whether it completes a double click (whose second press pairs with no later one).
  bool RecordLeftPress(unsigned long time, int x, int y);
  /// A mouse record from an event's window position and modifier state (the state before
  /// the event: `button`, when not 0, is pressed or released by it); also the last position.
  IMousePoint MousePoint(int x, int y, unsigned int state, unsigned int button, bool pressed);
  /// Draws `rects` (UI units) into the window and presents the frame.
  void DrawFrame(const IRectList& rects);
  /// Everything of the open window but the window: the frame timer, the hidden cursor, the
  /// OpenGL view and context. `windowExists` is false once the host destroyed it.
  void ReleaseWindowResources(bool windowExists);
  /// Makes the editor's window in the parent and the view in it, both at the draw-scaled size
  /// times `screenScale`, with the OpenGL configuration, and lists the editor among the open
  /// ones. False when the server refuses any of it.
  bool CreateChildWindow(float screenScale);
  /// Makes the GLX context, loads OpenGL through it, sets the drawing up at `screenScale`
  /// and lays the editor out. False when there is no usable context.
  bool StartDrawing(float screenScale);
  /// Answers another client's request for the clipboard text this editor owns.
  void AnswerSelectionRequest(_XEvent& event);
  /// Another client took the clipboard: this editor's text is no longer offered.
  void HandleSelectionClear(const _XEvent& event);
  unsigned long InternAtom(const char* name);
  /// Lists this editor among the process's open editors (whose copied text the others read
  /// directly), or takes it off the list.
  void ListOpenEditor(bool open);
  void SetClipboardText(const std::string& text);

 private:
  _XDisplay* mDisplay = nullptr;
  unsigned long mWnd = 0;        // Window: the editor's window, sized by the host's layout
  unsigned long mViewWnd = 0;    // Window: the picture inside it, drawn with OpenGL
  unsigned long mParentWnd = 0;  // Window
  unsigned long mColormap = 0;   // Colormap
  void* mFBConfig = nullptr;     // GLXFBConfig
  void* mGLContext = nullptr;    // GLXContext
  bool mWindowGone = false;      // the host destroyed the window before closing the editor
  std::unique_ptr<Timer> mFrameTimer;
  int mFrames = 0;
  int mClosedErrorCount = 0;

  // The editor's window's size as last set or read from the server (device pixels).
  int mWindowWidth = 0;
  int mWindowHeight = 0;
  bool mHostSizePending = false;  // a ConfigureNotify of the editor's window not followed yet
  bool mFollowingHost = false;    // the editor is taking a size the host gave

  // The areas the X server reported exposed, drawn at the next tick (UI units).
  IRectList mExposed;

  // MakeGLContextCurrent nests: only the outermost call saves the thread's context and the
  // matching RestoreGLContext puts it back.
  int mGLContextDepth = 0;
  _XDisplay* mSavedDisplay = nullptr;
  unsigned long mSavedDrawable = 0;
  unsigned long mSavedReadable = 0;
  void* mSavedContext = nullptr;
  bool mSavedContextTaken = false;

  // Input.
  unsigned int mButtonsDown = 0;  // bit n: button n + 1 held since its press in this window
  unsigned long mLastPressTime = 0;
  int mLastPressX = 0;
  int mLastPressY = 0;
  bool mLastPressWasDouble = true;  // no first press to pair with yet
  ECursor mCursorType = kArrowCursor;
  unsigned long mCursors[16] = {};  // Cursor by ECursor, made on first use
  unsigned long mBlankCursor = 0;

  // The clipboard text this editor offers while it owns the CLIPBOARD selection; guarded by
  // the process's list of open editors, whose lock other editors read it under.
  std::string mClipboardText;
};

}  // namespace gfx
}  // namespace kantele
