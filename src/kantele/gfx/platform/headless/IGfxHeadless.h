#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kantele/gfx/IGfxNanoVG.h"

namespace kantele {
namespace gfx {

/// A NanoVG graphics context with no window: it draws into an off-screen OpenGL surface of
/// the window's size in device pixels (EGL on Mesa's surfaceless platform, so no display
/// server is needed), for tests, benchmarks and screenshots. The surface stands in for the
/// window: frames are drawn exactly as a windowed editor draws them (into the main
/// framebuffer, then copied), and `ReadPixels` reads what a window would show.
///
/// Its platform services answer as a platform without a window would:
/// - `OpenWindow` makes the OpenGL context and the surface (the parent is ignored), lays the
///   editor out through the graphics editor delegate and pushes every value to it;
/// - no native popup menu: `CreateNativePopupMenu` answers null (nothing chosen);
/// - no native text box: `CreateNativeTextEntry` records the request (`TextEntryRequests`) and
///   opens the editor's own text entry, as the Linux platform does;
/// - the clipboard is a string kept in this context;
/// - cursor calls are recorded (hidden and locked state, warped position, cursor shape), and
///   the pointer position is the last one a test set (`SetCursorPosition`), unknown before;
/// - message boxes answer "no result"; file, folder and colour choosers choose nothing;
///   URLs are not opened and nothing is revealed;
/// - fonts come from files and module resources only; there are no installed fonts.
///
/// [main-thread] One thread: the OpenGL context is made current on the calling thread around
/// every operation that touches OpenGL and the previous one restored afterwards.
class IGfxHeadless : public IGfxNanoVG {
 public:
  IGfxHeadless(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  /// Closes the window if it is open.
  ~IGfxHeadless() override;

  /// Whether an off-screen OpenGL context can be made in this process (EGL with the
  /// surfaceless platform and OpenGL). [main-thread] The first call loads EGL.
  static bool Available();

  // ---- Drawing as the platform's timer does.
  /// Runs the display tick and animations and, when any control is dirty, cleans them and
  /// draws their areas: answers whether a frame was drawn. `drawn`, when given, receives the
  /// areas (UI units, before pixel alignment).
  bool Tick(IRectList* drawn = nullptr);
  /// Marks every control dirty and draws a frame.
  void DrawAll();
  /// The window's pixels, `width` x `height` device pixels, RGBA, rows from top to bottom.
  /// False when no window is open.
  bool ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height);
  /// The window's pixels as a PNG file. False with a reason in `error` on failure.
  bool WritePNG(const char* path, std::string& error);
  /// `rgba` (`width` x `height`, rows from the top) encoded as PNG; empty on failure.
  static std::vector<uint8_t> EncodePNG(const uint8_t* rgba, int width, int height);

  // ---- Platform services.
  bool GetCursorPosition(float& x, float& y) const override;
  void SetCursorHidden(bool hide = true, bool lock = true) override;
  void WarpCursor(float x, float y) override;
  ECursor SetCursor(ECursor cursorType = kArrowCursor) override;
  void CancelTextEntry() override;
  /// Makes the context and surface, the view, lays out and pushes the values; answers this
  /// context as the window, or null when no OpenGL context could be made.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetNativeWindow() override { return mOpen ? this : nullptr; }
  bool IsWindowOpen() override { return mOpen; }
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
  const char* GetPlatformName() override { return "Headless"; }
  bool RevealInExplorer(const std::string& path, bool select = false) override;
  std::unique_ptr<PlatformFont> LoadInstalledFont(const char* fontID, const char* fontName,
                                                  ETextStyle style) override;
  void MakeGLContextCurrent() override;
  void RestoreGLContext() override;
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds, int length,
                             const char* str) override;
  IPopupMenu* CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;
  /// The screen scale: the surface is sized in device pixels.
  float GetScreenScaleValue() const override { return mScreenScale; }
  /// Makes the surface the window's new size.
  void PlatformResize(bool parentHasResized) override;
  void DrawResize() override;

  // ---- What a test looks at.
  /// Sets the pointer position that `GetCursorPosition` answers.
  void SetCursorPosition(float x, float y);
  ECursor GetCursor() const { return mCursor; }
  /// Each `SetCursorHidden` call as (hide, lock).
  const std::vector<std::pair<bool, bool>>& CursorHiddenCalls() const { return mHiddenCalls; }
  struct TextEntryRequest {
    int mParamIdx;
    IRect mBounds;
    int mLength;
    std::string mText;
  };
  const std::vector<TextEntryRequest>& TextEntryRequests() const { return mTextEntries; }
  /// Frames drawn since the window opened.
  int FrameCount() const { return mFrames; }

 private:
  bool CreateSurface();
  void DestroySurface();

  void* mDisplay = nullptr;  // EGLDisplay, shared by the process
  void* mConfig = nullptr;   // EGLConfig
  void* mContext = nullptr;  // EGLContext
  void* mSurface = nullptr;  // EGLSurface: the stand-in window
  int mSurfaceWidth = 0;
  int mSurfaceHeight = 0;
  bool mOpen = false;
  // The context current before MakeGLContextCurrent, restored by the matching Restore.
  struct Saved {
    void* mDisplay;
    void* mContext;
    void* mDraw;
    void* mRead;
  };
  std::vector<Saved> mSavedContexts;

  std::string mClipboard;
  bool mCursorKnown = false;
  float mCursorX = 0.f;
  float mCursorY = 0.f;
  ECursor mCursor = kArrowCursor;
  std::vector<std::pair<bool, bool>> mHiddenCalls;
  std::vector<TextEntryRequest> mTextEntries;
  int mFrames = 0;
};

}  // namespace gfx
}  // namespace kantele
