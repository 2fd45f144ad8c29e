#pragma once

// The Windows editor: a child window in the host's editor window with a WGL OpenGL context,
// drawn by the NanoVG back end. Only Windows platform code includes this header.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// The graphics context has a slot of this name; the system header's macro would rename it.
#undef GetModuleHandle
// Window layer: the drawing slots LoadBitmap and DrawText share their names with system
// macros too; every file must see the slots' own names, or the classes differ between files.
#undef LoadBitmap
#undef DrawText

#include <map>
#include <memory>
#include <string>

#include "kantele/gfx/IGfxNanoVG.h"
#include "kantele/gfx/platform/win/FramePacer_win.h"

namespace kantele {
namespace gfx {

/// What the native text entry box is doing; the frame tick carries out commit and cancel.
enum ETextEntryState : int32_t {
  kEntryIdle = 0,
  kEntryFocused = 1,  ///< the box just received the focus
  kEntryDrawn = 2,    ///< a frame was drawn around the open box
  kEntryCancel = 3,   ///< close without changing the value
  kEntryCommit = 4,   ///< take the text, then close
};

/// The editor's graphics context on Windows.
///
/// It opens a child window of class "KanteleWndClass" inside the host's window, makes a WGL
/// OpenGL context on it (the OpenGL entry points loaded with glad), takes its frame ticks
/// from a `FramePacer` (the display's vertical blank, or a window timer before Windows 8),
/// invalidates the dirty areas and paints the update region's rectangles (IGfxWin.cpp). It
/// turns window messages into the core's mouse, key, wheel, touch and drop entries
/// (IGfxWin_input.cpp). The native services (menus, the text entry box, choosers, message
/// boxes, clipboard, web addresses) are in IGfxWin_services.cpp, the platform fonts and their
/// caches in IGfxWin_fonts.cpp.
///
/// [main-thread] Everything runs on the thread that opened the window (the host's
/// user-interface thread), except the frame pacer's vertical-blank thread, which only reads
/// its stop flag and the window handle, counts and posts messages. The GL context is current
/// only around painting, resizing, setup and teardown; the thread's previous context is
/// restored.
class IGfxWin : public IGfxNanoVG {
 public:
  /// A font found among the installed ones (by family name) or loaded from memory.
  class Font : public PlatformFont {
   public:
    Font(HFONT font, bool installed, std::string styleName)
        : mInstalled(installed), mFont(font), mStyleName(std::move(styleName)) {}
    /// Deletes the font handle.
    ~Font() override;
    void* GetFontHandle() const override { return mFont; }
    /// The font file's bytes as the system holds them, the face of this font within them
    /// (matched by style name for installed fonts) and that face's information.
    FontData GetFontData() const override;
    bool IsInstalled() const { return mInstalled; }
    const std::string& GetStyleName() const { return mStyleName; }

   private:
    bool mInstalled;
    HFONT mFont;
    std::string mStyleName;
  };

  /// Takes a reference on the process-wide font caches.
  IGfxWin(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  /// Closes the window when open; the last context empties the font caches.
  ~IGfxWin() override;

  // ---- Platform slots of the core.
  bool GetCursorPosition(float& x, float& y) const override;
  void SetCursorHidden(bool hide = true, bool lock = true) override;
  void WarpCursor(float x, float y) override;
  ECursor SetCursor(ECursor cursorType = kArrowCursor) override;
  void CancelTextEntry() override;
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetNativeWindow() override { return mWnd; }
  bool IsWindowOpen() override { return mWnd != nullptr; }
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
  const char* GetPlatformName() override { return "win32"; }
  bool RevealInExplorer(const std::string& path, bool select = false) override;
  std::unique_ptr<PlatformFont> LoadInstalledFont(const char* fontID, const char* fontName,
                                                  ETextStyle style) override;
  std::unique_ptr<PlatformFont> LoadFontFromMemory(const char* fontID, const void* data,
                                                   int dataSize) override;
  std::unique_ptr<PlatformFont> LoadFontFromNameOrFile(const char* fontID,
                                                       const char* fileNameOrResID) override;
  void CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) override;
  void MakeGLContextCurrent() override;
  void RestoreGLContext() override;
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds, int length,
                             const char* str) override;
  IPopupMenu* CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;
  bool SupportsTouch() const override;
  float GetScreenScaleValue() const override { return mScreenScale; }
  void PlatformResize(bool parentHasResized) override;
  void DrawResize() override;

  // ---- What the window layer adds.
  /// Device pixels per DPI unit of `wnd` (GetDpiForWindow / 96; 1 where the system lacks it).
  static float DpiScale(HWND wnd);
  /// The state of the native text entry box.
  ETextEntryState GetTextEntryState() const { return mTextEntryState; }
  /// The number of editors holding the window class.
  static int WindowClassUsers();

  // ---- Native services' process-wide font caches (IGfxWin_fonts.cpp).
  // Two caches are shared by every editor of the process: the loaded-font cache keeps the
  // system handles of fonts added from memory (so the fonts stay added), the font-handle cache
  // keeps a GDI font per font identifier for the native text entry box. Each has its own lock;
  // no operation holds both at once.
  /// Takes one reference on both caches. Each constructor calls it once.
  /// [any-thread] Locks each cache's lock in turn.
  static void AcquireFontCaches();
  /// Drops one reference; the last one empties both caches (fonts added from memory are
  /// removed from the system, cached font handles deleted). Each destructor calls it once.
  /// [any-thread] Locks each cache's lock in turn.
  static void ReleaseFontCaches();
  /// References held on the font caches. [any-thread] Locks the loaded-font cache's lock.
  static int FontCacheUsers();
  /// Entries of the loaded-font and font-handle caches. [any-thread] Locks that cache's lock.
  static int LoadedFontCacheSize();
  static int FontHandleCacheSize();
  /// The UTF-8 form of a clipboard block of `bytes` bytes holding UTF-16 text: read up to its
  /// first terminator or the block's end, whichever comes first; an odd last byte is ignored.
  /// Null `data` gives an empty text. [any-thread] Allocates.
  static std::string ClipboardTextToUtf8(const void* data, size_t bytes);

 protected:
  // ---- Window layer (IGfxWin.cpp).
  /// One frame tick: carries out a text entry commit or cancel, follows the window's DPI,
  /// runs the display tick and animations and invalidates what is dirty. `count` is the
  /// vertical-blank tick's (0 from the timer); the frame pacer drops stale ones.
  void OnFrameTick(UINT count);
  void OnPaint();
  void CreateTooltips();
  /// Sets the window's pixel format and makes, makes current and loads its OpenGL context;
  /// false when any step fails. On success the context stays current (one level deep).
  bool CreateGLContext();
  /// Everything of the open window but the window itself and its class reference: the frame
  /// source, the text entry box, capture and hidden cursor, the OpenGL view and context, the
  /// tooltips. Also run when the host destroys the window before closing the editor.
  void ReleaseWindowResources();
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  /// The window's own messages (painting, frame ticks, closing and destruction, the text
  /// entry box's colours); what none of them is goes to the default procedure.
  LRESULT HandleWindowMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // ---- Input (IGfxWin_input.cpp).
  /// Hands a message of the editor's window to its handler: input here, the rest to
  /// HandleWindowMessage. While the text entry box has just taken the focus, a press cancels
  /// it and other input goes unhandled to the default procedure.
  LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleKey(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void HandleMouseMove(HWND wnd, WPARAM wParam, LPARAM lParam);
  void HandleButtonDown(HWND wnd, WPARAM wParam, LPARAM lParam);
  void HandleButtonUp(WPARAM wParam, LPARAM lParam);
  void HandleDoubleClick(HWND wnd, WPARAM wParam, LPARAM lParam);
  void HandleWheel(HWND wnd, WPARAM wParam, LPARAM lParam);
  void HandleTouch(WPARAM wParam, LPARAM lParam);
  void HandleDrop(WPARAM wParam);
  void HandleHover();
  void HandleMouseLeave();
  /// A mouse record from a client-area mouse message; also the last mouse position.
  IMousePoint MousePoint(LPARAM lParam, WPARAM wParam);
  void ShowTooltipText(const char* text);
  void HideTooltipText();

  // ---- Native services (IGfxWin_services.cpp).
  /// The frame tick's share of an open text entry box: carries out its commit or cancel and
  /// returns the box to idle. True when the tick ends there (the box has a state to act on).
  bool RunTextEntryTick();
  /// The colours of the text entry box (WM_CTLCOLOREDIT with its DC): its style's.
  LRESULT TextEntryColors(HDC dc);
  void DestroyTextEntry();
  HWND FindOwnerWindow();
  static LRESULT CALLBACK TextEntryProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  /// What a message to the text entry box means for its state; true when the message ends
  /// there and the box's own procedure does not see it.
  bool HandleTextEntryMessage(UINT msg, WPARAM wParam);
  /// A GDI font like the one cached for `fontID`, `height` pixels high; null when none is
  /// cached. [any-thread] Locks the font-handle cache's lock (IGfxWin_fonts.cpp).
  static HFONT CreateTextEntryFont(const char* fontID, LONG height);

  HGLRC mGLContext = nullptr;
  HDC mSavedDC = nullptr;
  HGLRC mSavedGLContext = nullptr;
  HDC mDC = nullptr;  // the window's own DC (class style CS_OWNDC)
  HWND mWnd = nullptr;
  HWND mTextEntryWnd = nullptr;
  HWND mTooltipWnd = nullptr;
  HWND mParentWnd = nullptr;
  HWND mMainWnd = nullptr;
  WNDPROC mDefEditProc = nullptr;
  HFONT mEditFont = nullptr;
  DWORD mPID = 0;
  FramePacer mFramePacer;
  const IParam* mTextEntryParam = nullptr;
  ITextStyle mTextEntryStyle{14.f, kColorBlack, "Roboto-Regular"};
  IRect mTextEntryBounds;
  ETextEntryState mTextEntryState = kEntryIdle;
  bool mShowingTooltip = false;
  int mTooltipIdx = -1;
  std::string mMainWndClassName;
  std::map<uintptr_t, IMousePoint> mDeltaTouches;

  bool mPenInput = false;
  ECursor mCursorType = kArrowCursor;

  /// Nesting depth of MakeGLContextCurrent: only the outermost call saves the thread's DC
  /// and context and the matching RestoreGLContext restores them.
  int mGLContextDepth = 0;

 private:
  /// The window the editor opens in `parent` at (x, y) with size (w, h), its class registered
  /// for the first user; null (with the frame source stopped and the class reference dropped)
  /// when the system refuses it.
  HWND CreateChildWindow(HWND parent, int x, int y, int w, int h);
  /// With the context current: the view, the screen scale, the layout, touch, tooltips.
  void SetUpOpenedView(float screenScale);
  /// Invalidates the dirty areas of a due frame tick and paints them at once.
  void PaintDirtyAreas(UINT count);
};

}  // namespace gfx
}  // namespace kantele
