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

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "kantele/gfx/IGfxNanoVG.h"

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
/// OpenGL context on it (the OpenGL entry points loaded with glad), paces frames with the
/// display's vertical blank (a thread posting WM_USER + 1; a 16 ms sleep when the display
/// driver offers no vertical-blank service) or, before Windows 8, a window timer, invalidates
/// the dirty areas and paints the update region's rectangles, and turns window messages into
/// the core's mouse, key, wheel, touch and drop entries. The native services (menus, the text
/// entry box, choosers, message boxes, clipboard, web addresses) are in IGfxWin_services.cpp,
/// the platform fonts and their caches in IGfxWin_fonts.cpp.
///
/// [main-thread] Everything runs on the thread that opened the window (the host's
/// user-interface thread), except the vertical-blank thread, which only reads the stop flag
/// and the window handle, counts and posts messages. The GL context is current only around
/// painting, resizing, setup and teardown; the thread's previous context is restored.
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
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds,
                             int length, const char* str) override;
  IPopupMenu* CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds,
                                    bool& isAsync) override;
  bool SupportsTouch() const override;
  float GetScreenScaleValue() const override { return mScreenScale; }
  void PlatformResize(bool parentHasResized) override;
  void DrawResize() override;

  // ---- What the window layer adds.
  /// Frame pacing for the window's timer: floor(1000 / fps) ms, or 15 ms when that is below
  /// 20 (so 60 frames per second gives 15 ms).
  static UINT TimerIntervalMs(int fps);
  /// Device pixels per DPI unit of `wnd` (GetDpiForWindow / 96; 1 where the system lacks it).
  static float DpiScale(HWND wnd);
  /// The state of the native text entry box.
  ETextEntryState GetTextEntryState() const { return mTextEntryState; }
  /// True when frames follow the vertical blank (Windows 8 and later), false with a timer.
  bool UsesVBlank() const { return mVBlankMode; }
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
  /// One frame tick: carries out a text entry commit or cancel, follows the window's DPI,
  /// runs the display tick and animations and invalidates what is dirty.
  void OnFrameTick(UINT count);
  void OnPaint();
  LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void HandleTouch(WPARAM wParam, LPARAM lParam);
  /// A mouse record from a client-area mouse message; also the last mouse position.
  IMousePoint MousePoint(LPARAM lParam, WPARAM wParam);
  void ShowTooltipText(const char* text);
  void HideTooltipText();
  void CreateTooltips();
  void DestroyTextEntry();
  HWND FindOwnerWindow();

  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TextEntryProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI VBlankThread(LPVOID param);
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
  HWND mVBlankWindow = nullptr;
  std::atomic<bool> mVBlankShutdown{false};
  HANDLE mVBlankThread = INVALID_HANDLE_VALUE;
  std::atomic<UINT> mVBlankCount{0};
  UINT mVBlankSkipUntil = 0;
  bool mVBlankMode = false;
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

  // ---- Window layer (IGfxWin.cpp).
  /// Sets the window's pixel format and makes, makes current and loads its OpenGL context;
  /// false when any step fails. On success the context stays current (one level deep).
  bool CreateGLContext();
  /// Starts the vertical-blank thread, or the frame timer without vertical-blank pacing (or
  /// when the thread cannot start).
  void StartFrameSource(HWND wnd);
  /// Stops the vertical-blank thread (waiting at most 10 s for it) or the frame timer.
  void StopFrameSource();
  /// Everything of the open window but the window itself and its class reference: the frame
  /// source, the text entry box, capture and hidden cursor, the OpenGL view and context, the
  /// tooltips. Also run when the host destroys the window before closing the editor.
  void ReleaseWindowResources();
  /// Nesting depth of MakeGLContextCurrent: only the outermost call saves the thread's DC
  /// and context and the matching RestoreGLContext restores them.
  int mGLContextDepth = 0;
};

}  // namespace gfx
}  // namespace kantele
