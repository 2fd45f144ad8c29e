#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "kantele/IEditorDelegate.h"
#include "kantele/ThreadCheck.h"
#include "kantele/gfx/GraphicsTypes.h"
#include "kantele/gfx/IBitmap.h"
#include "kantele/gfx/IControl.h"
#include "kantele/gfx/IPopupMenu.h"
#include "kantele/gfx/IRect.h"
#include "kantele/gfx/ITransform.h"
#include "kantele/gfx/KeyedCache.h"
#include "kantele/gfx/PathTypes.h"
#include "kantele/gfx/Resources.h"

namespace kantele {
namespace gfx {

/// Called with a key event and whether it is a release; answers whether it was handled.
using IKeyHandlerFunc = std::function<bool(const KeyPress& key, bool isUp)>;
using IDisplayTickFunc = std::function<void()>;
using IColorPickerHandlerFunc = std::function<void(const IArgb&)>;
using IMsgBoxCompletionHandlerFunc = std::function<void(EMsgBoxResult)>;

/// The editor's drawing surface and control container.
///
/// It owns the controls (index 0 is the background; later controls draw later and are hit
/// first) and a few special controls kept outside the list (the corner resizer, the
/// in-editor text entry), collects the dirty areas and draws the controls clipped to them,
/// routes pointer and key events to the right control (with a capture per touch during a
/// drag), opens text entry and menus for controls, and holds the editor's size in UI units,
/// its screen scale and its draw scale.
///
/// It is abstract: a drawing back end supplies the drawing and path operations, and a
/// platform the window, cursor, menus, text box and services. Two process-wide caches (bitmaps
/// and SVG documents) are shared by every context; each context holds a reference on both.
///
/// [main-thread] Everything runs on the editor's thread, except the shared caches, which
/// their own locks guard.
class IGfx {
 public:
  /// A context of `w` x `h` UI units for `dlg`, drawing `fps` frames per second at draw scale
  /// `scale` (the zoom can range from half to twice that). Takes a reference on the shared
  /// caches. [main-thread] Allocates; locks the shared caches' locks.
  IGfx(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);

  // ---- Frame and view.
  /// Starts a frame: the back end prepares its drawing context. Nothing here.
  virtual void BeginFrame();
  /// The platform made the drawing context (`context` is the platform's). Nothing here.
  virtual void ViewCreated(void* context);
  /// The view goes: the back end releases what belongs to its drawing context.
  virtual void ViewDestroyed();
  /// Ends a frame. Nothing here.
  virtual void EndFrame();

  // ---- Images.
  /// Fits the document into `bounds`, keeping its aspect ratio. A document without size
  /// draws nothing.
  virtual void DrawSVG(const ISVG& svg, const IRect& bounds, const IBlending* blend = nullptr);
  /// The document scaled to `w` x `h`, rotated by `angle` degrees about (cx, cy).
  virtual void DrawRotatedSVG(const ISVG& svg, float cx, float cy, float w, float h, float angle,
                              const IBlending* blend = nullptr);
  /// The part of `bitmap` starting at (srcX, srcY) in UI units, shown in `dest`.
  virtual void DrawBitmap(const IBitmapHandle& bitmap, const IRect& dest, int srcX, int srcY,
                          const IBlending* blend = nullptr) = 0;
  /// The whole bitmap stretched into `bounds`.
  virtual void DrawFittedBitmap(const IBitmapHandle& bitmap, const IRect& bounds,
                                const IBlending* blend = nullptr);
  /// The whole bitmap centred on (cx, cy) and rotated by `angle` degrees.
  virtual void DrawRotatedBitmap(const IBitmapHandle& bitmap, float cx, float cy, double angle,
                                 const IBlending* blend = nullptr);

  // ---- Drawing primitives, built on the path operations. Strokes default to width 1.
  virtual void DrawPoint(const IArgb& color, float x, float y, const IBlending* blend = nullptr);
  virtual void DrawLine(const IArgb& color, float x1, float y1, float x2, float y2,
                        const IBlending* blend = nullptr, float thickness = 1.f);
  virtual void DrawDottedLine(const IArgb& color, float x1, float y1, float x2, float y2,
                              const IBlending* blend = nullptr, float thickness = 1.f,
                              float dashLen = 2.f);
  virtual void DrawTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                            float y3, const IBlending* blend = nullptr, float thickness = 1.f);
  virtual void DrawRect(const IArgb& color, const IRect& bounds, const IBlending* blend = nullptr,
                        float thickness = 1.f);
  virtual void DrawRoundRect(const IArgb& color, const IRect& bounds, float cornerRadius,
                             const IBlending* blend = nullptr, float thickness = 1.f);
  virtual void DrawRoundRect(const IArgb& color, const IRect& bounds, float cRTL, float cRTR,
                             float cRBR, float cRBL, const IBlending* blend = nullptr,
                             float thickness = 1.f);
  virtual void DrawConvexPolygon(const IArgb& color, const float* x, const float* y, int nPoints,
                                 const IBlending* blend = nullptr, float thickness = 1.f);
  /// Angles in degrees, clockwise from 12 o'clock.
  virtual void DrawArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                       const IBlending* blend = nullptr, float thickness = 1.f);
  virtual void DrawCircle(const IArgb& color, float cx, float cy, float r,
                          const IBlending* blend = nullptr, float thickness = 1.f);
  virtual void DrawEllipse(const IArgb& color, const IRect& bounds,
                           const IBlending* blend = nullptr, float thickness = 1.f);
  virtual void DrawEllipse(const IArgb& color, float x, float y, float r1, float r2,
                           float angle = 0.f, const IBlending* blend = nullptr,
                           float thickness = 1.f);
  virtual void DrawDottedRect(const IArgb& color, const IRect& bounds,
                              const IBlending* blend = nullptr, float thickness = 1.f,
                              float dashLen = 2.f);
  virtual void FillTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                            float y3, const IBlending* blend = nullptr);
  virtual void FillRect(const IArgb& color, const IRect& bounds, const IBlending* blend = nullptr);
  virtual void FillRoundRect(const IArgb& color, const IRect& bounds, float cornerRadius,
                             const IBlending* blend = nullptr);
  virtual void FillRoundRect(const IArgb& color, const IRect& bounds, float cRTL, float cRTR,
                             float cRBR, float cRBL, const IBlending* blend = nullptr);
  virtual void FillCircle(const IArgb& color, float cx, float cy, float r,
                          const IBlending* blend = nullptr);
  virtual void FillEllipse(const IArgb& color, const IRect& bounds,
                           const IBlending* blend = nullptr);
  virtual void FillEllipse(const IArgb& color, float x, float y, float r1, float r2,
                           float angle = 0.f, const IBlending* blend = nullptr);
  /// A pie slice from the centre.
  virtual void FillArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                       const IBlending* blend = nullptr);
  virtual void FillConvexPolygon(const IArgb& color, const float* x, const float* y, int nPoints,
                                 const IBlending* blend = nullptr);

  // ---- Text.
  /// Measures `text` in `style` into `bounds` and answers its width; 0 and `bounds` untouched
  /// for a null or empty text.
  virtual float MeasureText(const ITextStyle& style, const char* text, IRect& bounds) const;
  /// The back end's measuring.
  virtual float DoMeasureText(const ITextStyle& style, const char* text, IRect& bounds) const = 0;
  /// The drawing interface's name.
  virtual const char* GetDrawingAPIStr() = 0;
  /// The colour of one drawn pixel, where the back end can read it back.
  virtual IArgb GetPoint(int x, int y) = 0;

  // ---- Bitmap cache operations.
  /// `inBitmap` drawn again at `scale`, cached under `name`.
  virtual IBitmapHandle RescaleBitmap(const IBitmapHandle& inBitmap, const char* name, int scale);
  /// Hands a bitmap this context made (an ended layer, say) to the bitmap cache, under its
  /// own scale, and answers a handle to it.
  virtual IBitmapHandle RetainBitmap(std::unique_ptr<APIBitmap> bitmap, const char* cacheName);
  /// Removes a bitmap from the bitmap cache and deletes it.
  virtual void ReleaseBitmap(const IBitmapHandle& bitmap);
  /// Whether the back end decodes images with extension `ext`.
  virtual bool BitmapExtSupported(const char* ext) = 0;
  /// A soft shadow around `innerBounds`, filling `outerBounds`. Nothing here.
  virtual void DrawFastDropShadow(const IRect& innerBounds, const IRect& outerBounds,
                                  float xyDrop = 5.f, float roundness = 0.f, float blur = 10.f,
                                  const IBlending* blend = nullptr);

  /// Lines every `gridSizeH` and `gridSizeV` units inside `bounds`.
  virtual void DrawGrid(const IArgb& color, const IRect& bounds, float gridSizeH, float gridSizeV,
                        const IBlending* blend = nullptr, float thickness = 1.f);
  /// A polyline of `nPoints` normalised values (bottom 0, top 1) evenly across `bounds`.
  virtual void DrawData(const IArgb& color, const IRect& bounds, const float* normYPoints,
                        int nPoints, const float* normXPoints = nullptr,
                        const IBlending* blend = nullptr, float thickness = 1.f);

  // ---- Fonts.
  /// An installed font by family name and style, registered as `fontID`.
  virtual bool LoadFont(const char* fontID, const char* fontName, ETextStyle style);
  /// A font file or resource (type "ttf"), registered as `fontID`.
  virtual bool LoadFont(const char* fontID, const char* fileNameOrResID);

  // ---- Path operations (the back end's).
  virtual void PathClear() = 0;
  virtual void PathClose() = 0;
  /// The top layer changed: the back end draws into it (or back into the window).
  virtual void UpdateLayer() {}
  /// Angles in degrees, clockwise from 12 o'clock.
  virtual void PathArc(float cx, float cy, float r, float a1, float a2, bool clockwise = true) = 0;
  virtual void PathMoveTo(float x, float y) = 0;
  virtual void PathLineTo(float x, float y) = 0;
  virtual void PathSetWinding(bool clockwise) = 0;
  virtual void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2,
                                 float y2) = 0;
  virtual void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) = 0;
  /// The pixels of an off-screen bitmap as RGBA bytes. None here.
  virtual void GetLayerBitmapData(const APIBitmap& bitmap, std::vector<uint8_t>& data);
  /// Nothing here: layer shadows are a back-end matter.
  virtual void ApplyShadowMask(const APIBitmap& bitmap, const std::vector<uint8_t>& mask);
  virtual void PathStroke(const IPaintSpec& pattern, float thickness,
                          const IStrokeSpec& options = IStrokeSpec(),
                          const IBlending* blend = nullptr) = 0;
  virtual void PathFill(const IPaintSpec& pattern, const IFillSpec& options = IFillSpec(),
                        const IBlending* blend = nullptr) = 0;
  /// Sets the back end's transform (on top of the draw scale) to `matrix`.
  virtual void PathTransformSetMatrix(const ITransform& matrix) = 0;
  /// After a control's Draw. Nothing here.
  virtual void CompleteRegion(const IRect& region);
  /// Before a control's Draw: the back end clips to `region`.
  virtual void PrepareRegion(const IRect& region) = 0;
  /// A rectangle added to the path.
  virtual void PathRect(const IRect& bounds);
  /// A rounded rectangle added to the path (radii clockwise from top-left).
  virtual void PathRoundRect(const IRect& bounds, float cRTL, float cRTR, float cRBR, float cRBL);
  /// An ellipse centred on (x, y) with radii r1 and r2, turned by `angle` degrees, added to the
  /// path.
  void PathEllipse(float x, float y, float r1, float r2, float angle = 0.f);

  // ---- Platform (the window, cursor, services).
  /// The pointer's position in UI units; false when unknown.
  virtual bool GetCursorPosition(float& x, float& y) const = 0;
  /// Hides or shows the cursor; `lock` parks it where it was hidden during a drag.
  virtual void SetCursorHidden(bool hide = true, bool lock = true) = 0;
  virtual void WarpCursor(float x, float y) = 0;
  /// Shows `cursorType` and answers the cursor shown before.
  virtual ECursor SetCursor(ECursor cursorType = kArrowCursor) = 0;
  /// Closes a native text box without taking its text.
  virtual void CancelTextEntry() = 0;
  /// Opens the editor's window in `parent` and answers it (null on failure).
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  virtual void* GetNativeWindow() = 0;
  virtual bool IsWindowOpen() = 0;
  virtual bool ReadClipboardText(std::string& str) = 0;
  virtual bool WriteClipboardText(const char* str) = 0;
  virtual EMsgBoxResult ShowMessageBox(
      const char* str, const char* caption, EMsgBoxType type,
      IMsgBoxCompletionHandlerFunc completionHandler = nullptr) = 0;
  /// `fileName` and `path` are read and written.
  virtual void ChooseFile(std::string& fileName, std::string& path, EFileAction action = kFileOpen,
                          const char* extensions = "") = 0;
  virtual void ChooseFolder(std::string& dir) = 0;
  virtual bool ChooseColor(IArgb& color, const char* str = "",
                           IColorPickerHandlerFunc func = nullptr) = 0;
  virtual bool OpenUrl(const char* url, const char* msgWindowTitle = nullptr,
                       const char* confirmMsg = nullptr, const char* errMsgOnFailure = nullptr) = 0;
  virtual const char* GetPlatformName() = 0;
  virtual bool RevealInExplorer(const std::string& path, bool select = false) = 0;
  /// Stores the module whose resources this context reads. (Platform code that includes the
  /// system headers must undefine their `GetModuleHandle` macro.)
  virtual void SetModuleHandle(ModuleHandle module) { mModule = module; }
  virtual ModuleHandle GetModuleHandle() { return mModule; }
  /// A tooltip text for the platform to show; nothing here.
  virtual void ShowTooltip(const char* text);
  /// An installed font by family name; null when there is none.
  virtual std::unique_ptr<PlatformFont> LoadInstalledFont(const char* fontID, const char* fontName,
                                                          ETextStyle style) = 0;
  /// A font from bytes in memory; null when they are not a usable font.
  virtual std::unique_ptr<PlatformFont> LoadFontFromMemory(const char* fontID, const void* data,
                                                           int dataSize) = 0;
  /// A font file, or a module resource of type "TTF"; null when neither is found.
  virtual std::unique_ptr<PlatformFont> LoadFontFromNameOrFile(const char* fontID,
                                                               const char* fileNameOrResID) = 0;
  /// Keeps a font the back end accepted.
  virtual void CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) = 0;
  /// Resources of this platform live at the module's top: empty.
  virtual const char* GetResourceSubPath() { return ""; }
  virtual void MakeGLContextCurrent() {}
  virtual void RestoreGLContext() {}
  /// A native text box over `bounds` (editor units) editing `str`, at most `length` characters.
  virtual void CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds,
                                     int length, const char* str) = 0;
  /// Shows `menu` natively; answers the chosen (sub)menu or null, and sets `isAsync` when the
  /// answer comes later through CommitPopupMenu.
  virtual IPopupMenu* CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds,
                                            bool& isAsync) = 0;

  /// Removes every control and releases the references on the shared caches (the last context
  /// empties them). [main-thread] Locks the shared caches' locks.
  virtual ~IGfx();

  /// Whether the platform takes touch input. No here.
  virtual bool SupportsTouch() const { return false; }
  /// Device pixels per UI unit of the window's monitor, as the platform knows it; 1 here.
  virtual float GetScreenScaleValue() const { return 1.f; }
  /// The descriptor a host's loop can watch for this context's window-system events (readable
  /// when events wait), or -1 when the platform has none; then the frame ticks alone handle
  /// them. [main-thread]
  virtual int GetEventDescriptor() const { return -1; }
  /// Handles every window-system event waiting now, without drawing. Nothing here.
  /// [main-thread]
  virtual void ProcessPendingEvents() {}
  /// After a resize or rescale, before the controls are told. Nothing here.
  virtual void OnResizeOrRescale() {}
  /// Resizes the native window (unless the host already did).
  virtual void PlatformResize(bool parentHasResized) { (void)parentHasResized; }
  /// The window's pixel size changed: the back end resizes its drawing surface.
  virtual void DrawResize() {}

  // ---- Loading.
  /// A bitmap from encoded bytes, cached as `name` at the target scale (0: the screen scale
  /// rounded up).
  virtual IBitmapHandle LoadBitmap(const char* name, const void* data, int dataSize,
                                   int nStates = 1, bool framesAreHorizontal = false,
                                   int targetScale = 0);
  /// A bitmap by resource or file name, searched at the target scale and the others.
  virtual IBitmapHandle LoadBitmap(const char* name, int nStates = 1,
                                   bool framesAreHorizontal = false, int targetScale = 0);
  /// An SVG document from bytes, cached as `name`.
  virtual ISVG LoadSVG(const char* name, const void* data, int dataSize);
  /// An SVG document by resource (type "svg") or file name.
  virtual ISVG LoadSVG(const char* name);
  /// The bytes of a resource or file; empty when not found.
  virtual std::vector<uint8_t> LoadResource(const char* name, const char* type);
  /// Registers a gesture type once.
  virtual void AttachGestureRecognizer(int32_t type);

  // ---- Back-end creation hooks.
  virtual std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* name, const void* data, int dataSize,
                                                   int scale) = 0;
  virtual std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* resolvedName, int scale,
                                                   EResourceLocation location, const char* ext) = 0;
  /// An off-screen bitmap of `width` x `height` device pixels.
  virtual std::unique_ptr<APIBitmap> CreateAPIBitmap(int width, int height, int scale,
                                                     double drawScale) = 0;
  /// Registers a platform font with the back end.
  virtual bool LoadAPIFont(const char* fontID, const PlatformFont& font) = 0;
  /// Parses SVG bytes. No parser here: an empty document holding the bytes.
  virtual std::unique_ptr<SVGDocument> ParseSVG(const void* data, int dataSize);
  /// Whether the back end can draw into off-screen layers.
  virtual bool SupportsLayers() const { return true; }
  /// The platform's drawing context, for back ends that need it.
  virtual void SetPlatformContext(void* context) { mPlatformContext = context; }
  virtual void* GetPlatformContext() { return mPlatformContext; }

  /// Draws `str` in `style` aligned inside `bounds`.
  virtual void DrawText(const ITextStyle& style, const char* str, const IRect& bounds,
                        const IBlending* blend = nullptr) = 0;
  /// Draw scale x screen scale: device pixels per UI unit.
  virtual float GetTotalScale() const { return mDrawScale * mScreenScale; }

  // ==== Non-virtual interface.

  // ---- Control list.
  /// Sets the control's delegate and context, runs OnInit, OnResize and OnRescale, empties
  /// its group, appends it and runs OnAttached. Takes ownership; answers the control.
  IControl* AttachControl(IControl* control, int ctrlTag = -1, const char* group = "");
  /// Makes a bitmap control of `fileName` at (0, 0) and inserts it at index 0.
  IControl* AttachBackground(const char* fileName);
  /// Takes ownership of the control that edits text in place (replacing any earlier one).
  void AttachTextEntryControl(ITextEntryControlBase* control);
  /// Makes the editor's own text-entry control (an `ITextEntryControl` with the caret blink),
  /// when there is none yet.
  void AttachTextEntryControl();
  /// For platforms without a native text box: opens the editor's own text entry (made when
  /// there is none) at `bounds` with `style` and `str`.
  void OpenOwnTextEntry(const ITextStyle& style, const IRect& bounds, const char* str);
  /// Dismisses the editor's own text entry when it is editing.
  void DismissOwnTextEntry();
  /// Takes ownership of the corner resizer, when there is none yet: resize mode Scale.
  void AttachCornerResizer(IControl* control, bool layoutOnResize);
  /// Makes a corner resizer (`ICornerResizerControl`) of `size` UI units over the editor's
  /// bounds, when there is none yet: resize mode Scale.
  void AttachCornerResizer(float size, bool layoutOnResize, const IArgb& color = IArgb(10, 0, 0, 0),
                           const IArgb& mouseOverColor = IArgb(255, 0, 0, 0),
                           const IArgb& dragColor = IArgb(255, 0, 0, 0));
  ITextEntryControlBase* GetTextEntryControl() const { return mTextEntry.get(); }
  IControl* GetCornerResizer() const { return mCornerResizer.get(); }
  /// Tooltips on also turn mouse-over on.
  void EnableTooltips(bool enable);
  bool TooltipsEnabled() const { return mEnableTooltips; }
  void EnableMouseOver(bool enable) { mEnableMouseOver = enable; }
  bool MouseOverEnabled() const { return mEnableMouseOver; }
  void EnableMultiTouch(bool enable) { mEnableMultiTouch = enable; }
  bool MultiTouchEnabled() const { return mEnableMultiTouch; }
  void SetStrictDrawing(bool strict) { mStrict = strict; }

  IControl* GetControl(int idx) const;
  int NControls() const { return static_cast<int>(mControls.size()); }
  /// The control with `ctrlTag`, or null.
  IControl* GetControlWithTag(int ctrlTag) const;
  /// The index of `control` in the list, or -1.
  int GetControlIdx(const IControl* control) const;
  IControl* GetBackgroundControl() const { return GetControl(0); }

  void ForEachListedControl(const std::function<void(IControl&)>& f);
  /// The listed controls, then the special ones: they draw above the list.
  void ForEachControl(const std::function<void(IControl&)>& f);
  /// Every control with a value bound to `paramIdx`.
  void ForControlWithParam(int paramIdx, const std::function<void(IControl&)>& f);
  void SetAllControlsDirty();
  void SetAllControlsClean();
  /// Removes and deletes every control, special ones included; forgets captures and the
  /// mouse-over control.
  void RemoveAllControls();

  // ---- Redraw.
  /// Runs the display tick and the animations, then adds the padded draw rectangle of every
  /// dirty control to `rects`; answers whether any was dirty.
  bool IsDirty(IRectList& rects);
  /// Draws every control over the pixel-aligned, optimised areas of `rects`.
  void Draw(IRectList& rects);

  // ---- Input (positions in UI units).
  void OnMouseDown(const std::vector<IMousePoint>& points);
  void OnMouseUp(const std::vector<IMousePoint>& points);
  void OnMouseDrag(const std::vector<IMousePoint>& points);
  /// Answers whether a control is under the pointer.
  bool OnMouseOver(float x, float y, const IMouseState& mod);
  void OnMouseOut();
  void OnMouseDoubleClick(float x, float y, const IMouseState& mod);
  /// `delta` in notches.
  void OnMouseWheel(float x, float y, const IMouseState& mod, float delta);
  void OnDrop(const char* path, float x, float y);
  bool OnKeyDown(float x, float y, const KeyPress& key);
  bool OnKeyUp(float x, float y, const KeyPress& key);
  /// The control at (x, y) as routing sees it (captures and special controls first); with
  /// `capture` it becomes the captured control of `touchID`; with `mouseOver` the background
  /// is never chosen and the mouse-over index is updated.
  IControl* FindControlAt(float x, float y, bool capture, bool mouseOver = false,
                          uintptr_t touchID = 0);
  /// Forgets every capture and shows a hidden cursor again.
  void ClearCapture();
  /// Whether `control` is the captured control of any touch.
  bool ControlIsCaptured(const IControl* control) const;
  bool ControlIsCaptured() const { return !mCapturedMap.empty(); }
  IControl* GetMouseOverControl() const { return mMouseOver; }
  int GetMouseOverIdx() const { return mMouseOverIdx; }
  void SetKeyHandler(IKeyHandlerFunc f) { mKeyHandlerFunc = std::move(f); }
  void SetDisplayTick(IDisplayTickFunc f) { mDisplayTickFunc = std::move(f); }
  float GetMouseDownX() const { return mMouseDownX; }
  float GetMouseDownY() const { return mMouseDownY; }
  bool GetCursorHidden() const { return mCursorHidden; }
  bool GetCursorLocked() const { return mCursorLocked; }

  // ---- Prompts.
  /// A menu of display texts for enumerated or labelled boolean parameters, otherwise text
  /// entry prefilled with the value.
  void PromptForValue(IControl* control, const IRect& bounds, int valIdx);
  /// Whether `param`'s prompt is a menu of its display texts (enumerated, or boolean with
  /// texts) rather than a text entry.
  static bool PromptIsMenu(const IParam& param);
  void OpenTextEntry(IControl& control, const ITextStyle& text, const IRect& bounds,
                     const char* str = "", int valIdx = 0);
  void OpenPopupMenu(IControl& control, IPopupMenu& menu, const IRect& bounds, int valIdx = 0,
                     bool isContext = false);
  /// Editing ended with `str`: for a bound parameter, the text read by its parser
  /// (`TryParseValue`) becomes the value between a begin and an end of edit to the host, and
  /// text it refuses changes nothing; otherwise the text is handed to the control.
  void CommitTextEntry(const char* str);
  /// A menu closed with `menu` (null: nothing chosen).
  void CommitPopupMenu(IPopupMenu* menu);
  /// Fills and opens the control's context menu at (x, y) when it has items; answers whether
  /// it had any.
  bool OpenContextMenu(IControl* control, int paramIdx, float x, float y);
  IControl* GetTextEntryEditingControl() const { return mInTextEntry; }
  /// Forgets the control being edited without committing anything (an edit dismissed).
  void ClearInTextEntryControl() {
    mInTextEntry = nullptr;
    mTextEntryValIdx = -1;
  }
  IPopupMenu& GetPromptMenu() { return mPromptPopupMenu; }

  // ---- Size and scale.
  /// Clamps the size to the delegate's limits and the scale to the allowed zoom, then
  /// applies a changed size or scale: capture released, window resized, controls told. With
  /// `hostResized` the host has already made its window the new size: the delegate takes the
  /// size without asking the host again.
  void Resize(int w, int h, float scale, bool hostResized = false);
  /// The monitor's density changed.
  void SetScreenScale(float scale);
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  /// The window's size in pixels: the design size at the draw scale, cut to whole units, times
  /// the screen scale, cut again.
  int WindowWidth() const { return WindowWidthAt(GetScreenScaleValue()); }
  int WindowHeight() const { return WindowHeightAt(GetScreenScaleValue()); }
  /// The same at screen scale `screenScale`: the size of a window made before the context
  /// takes the scale it opens with.
  int WindowWidthAt(float screenScale) const { return WindowWidthFor(mDrawScale, screenScale); }
  int WindowHeightAt(float screenScale) const { return WindowHeightFor(mDrawScale, screenScale); }
  /// The same at draw scale `drawScale`: the window another zoom would make.
  int WindowWidthFor(float drawScale, float screenScale) const;
  int WindowHeightFor(float drawScale, float screenScale) const;
  int FPS() const { return mFPS; }
  float GetDrawScale() const { return mDrawScale; }
  float GetScreenScale() const { return mScreenScale; }
  float GetMinScale() const { return mMinScale; }
  float GetMaxScale() const { return mMaxScale; }
  IRect GetBounds() const {
    return IRect(0.f, 0.f, static_cast<float>(mWidth), static_cast<float>(mHeight));
  }
  EResizeMode GetResizeMode() const { return mGUISizeMode; }
  void SetResizeMode(EResizeMode mode) { mGUISizeMode = mode; }
  bool GetResizingInProcess() const { return mResizingInProcess; }
  void StartResizeGesture() { mResizingInProcess = true; }
  bool GetLayoutOnResize() const { return mLayoutOnResize; }
  void SetLayoutOnResize(bool layout) { mLayoutOnResize = layout; }

  // ---- Drawing state.
  /// The clip of the control being drawn.
  const IRect& GetClipRect() const { return mClipRECT; }
  const ITransform& GetTransform() const { return mTransform; }
  /// Transform helpers: each changes the current transform and hands it to the back end.
  void PathTransformSave();
  void PathTransformRestore();
  void PathTransformReset();
  void PathTransformTranslate(float x, float y);
  void PathTransformScale(float x, float y);
  void PathTransformRotate(float angle);
  /// Starts drawing into an off-screen bitmap of `r`'s size; EndLayer answers it.
  void StartLayer(const IRect& r);
  std::unique_ptr<APIBitmap> EndLayer();
  /// The bitmap of the innermost open layer, or null; its top-left in UI units.
  const APIBitmap* GetCurrentLayer() const;
  IRect GetCurrentLayerBounds() const;

  IEditorDelegate& GetDelegate() const { return mDelegate; }
  const std::vector<int32_t>& GetRegisteredGestures() const { return mRegisteredGestures; }

  /// The number of graphics contexts alive in the process, which hold the shared caches.
  static int SharedCacheUsers();
  /// Entries in the process-wide caches. [any-thread] Locks the caches' locks.
  static int SharedBitmapCacheSize();
  static int SharedSVGCacheSize();

 protected:
  /// [ui-thread] One step of a drag that a platform layer read at `p` (design units; `dX`
  /// and `dY` are filled here) after the pointer was last at (`lastX`, `lastY`): a step
  /// that moved reaches OnMouseDrag, and while the cursor is hidden and locked the pointer
  /// is warped back to where it was hidden, which stays the place it returns to.
  void DragStep(IMousePoint p, float lastX, float lastY);

  /// The cache that bitmap loading, rescaling, retaining and releasing use: the process-wide
  /// one here; a back end whose images belong to its own drawing context answers its own.
  virtual KeyedCache<APIBitmap>& BitmapCache();
  /// The loading steps against `cache` (held under its lock): a cached hit, else the scaled
  /// search, and the bitmap of the scale found, taken from the cache or made by the back end
  /// and cached under that scale. The back end loads with it into its own cache.
  IBitmapHandle LoadBitmapWithCache(KeyedCache<APIBitmap>& cache, const char* name, int nStates,
                                    bool framesAreHorizontal, int targetScale);
  /// The first cached bitmap in the order of the scaled search, and its scale.
  static APIBitmap* FindCachedBitmap(const KeyedCache<APIBitmap>& cache, const char* name,
                                     int targetScale, int& sourceScale);
  /// 0 becomes the screen scale rounded up; the result is in 1..3.
  int ResolveTargetScale(int targetScale) const;
  void DrawControl(IControl& control, const IRect& bounds, float scale);

  IEditorDelegate& mDelegate;
  int mWidth;
  int mHeight;
  int mFPS;
  float mScreenScale = 1.f;
  float mDrawScale;
  float mMinScale;
  float mMaxScale;

  std::vector<std::unique_ptr<IControl>> mControls;
  std::unique_ptr<IControl> mCornerResizer;
  std::unique_ptr<ITextEntryControlBase> mTextEntry;
  std::unordered_map<int, IControl*> mCtrlTags;
  std::unordered_map<uintptr_t, IControl*> mCapturedMap;

  IControl* mMouseOver = nullptr;
  int mMouseOverIdx = -1;
  float mMouseDownX = -1.f;
  float mMouseDownY = -1.f;

  IControl* mInTextEntry = nullptr;
  int mTextEntryValIdx = -1;
  IControl* mInPopupMenu = nullptr;
  int mPopupMenuValIdx = -1;
  bool mIsContextMenu = false;
  IPopupMenu mPromptPopupMenu;

  bool mEnableMouseOver = false;
  bool mStrict = false;
  bool mEnableTooltips = false;
  bool mEnableMultiTouch = false;
  bool mResizingInProcess = false;
  bool mLayoutOnResize = false;
  bool mCursorHidden = false;
  bool mCursorLocked = false;
  // The pointer's last position and where it was hidden, in design units; the platform
  // layers keep them as their events arrive.
  float mLastMouseX = 0.f;
  float mLastMouseY = 0.f;
  float mHiddenCursorX = 0.f;
  float mHiddenCursorY = 0.f;
  EResizeMode mGUISizeMode = kResizeScale;

  IKeyHandlerFunc mKeyHandlerFunc;
  IDisplayTickFunc mDisplayTickFunc;
  std::vector<int32_t> mRegisteredGestures;

  struct Layer {
    std::unique_ptr<APIBitmap> mBitmap;
    IRect mBounds;
  };
  std::vector<Layer> mLayers;
  IRect mClipRECT;
  ITransform mTransform;
  std::vector<ITransform> mTransformStates;

  ModuleHandle mModule = nullptr;
  void* mPlatformContext = nullptr;
  /// The editor's thread (the one that made the context), checked by the input and drawing
  /// entry points.
  UiThreadCheck mUiThread;
};

}  // namespace gfx
}  // namespace kantele
