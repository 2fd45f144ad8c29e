#pragma once

// A graphics context for tests, and the editor-side doubles the graphics tests share.
//
// `RecordingGfx` is a concrete `IGfx`: a drawing back end that records every path and drawing
// call instead of drawing, and a platform without a window that records what it is asked to do
// (cursor, clipboard, text boxes, menus, window, resizes) and answers from settings a test
// chooses. Bitmaps are "decoded" by reading the size from a PNG header, so artwork on disk
// loads with its real pixel size.
//
// `TestDelegate` is a graphics editor delegate that records the traffic from the editor, and
// `Probe<Base>` a control that records every hook it receives.
// Recorded events are short texts ("A:Down 10 20", "Begin 0") in one `EventLog`, so the order
// of events across the delegate, the context and the controls can be checked directly.
//
// [main-thread] Like the context itself: single-threaded.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kantele/gfx/IControl.h"
#include "kantele/gfx/IGfx.h"
#include "kantele/gfx/IGfxEditorDelegate.h"

namespace kantele {
namespace gfx {
namespace test {

/// Events in the order they happened.
using EventLog = std::vector<std::string>;

/// How many entries equal `what`.
int Count(const EventLog& log, const std::string& what);
/// The entries that start with `prefix`, in order.
EventLog Matching(const EventLog& log, const std::string& prefix);
/// The index of the first entry equal to `what`, or -1.
int IndexOf(const EventLog& log, const std::string& what);
/// printf-style text, for building expected entries.
std::string Fmt(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// A pointer event at (x, y) that moved by (dX, dY): the left button, or the right one.
IMousePoint Pt(float x, float y, float dX = 0.f, float dY = 0.f, bool right = false,
               uintptr_t touchID = 0);

/// One drawing call as the back end received it.
struct DrawCall {
  /// "Clear", "Close", "MoveTo", "LineTo", "Arc", "Winding", "Cubic", "Quad", "Stroke", "Fill",
  /// "Transform", "Region", "Complete", "Bitmap" or "Text".
  std::string mKind;
  /// The call's numbers: coordinates; the thickness of a stroke; the six values of a transform
  /// (xx, yx, xy, yy, tx, ty); srcX and srcY of a bitmap.
  std::vector<double> mArgs;
  /// The region of the latest PrepareRegion when the call came.
  IRect mClip;
  /// The blending weight (1 without blending).
  float mWeight = 1.f;
  /// Stroke and fill: the paint's first colour; text: the style's colour.
  IArgb mColor;
  /// Region and Complete: the region; Bitmap: the destination; Text: the bounds.
  IRect mRect;
  /// Bitmap: the handle's resource name; Text: the text.
  std::string mText;
  /// Bitmap: the back end's bitmap.
  const APIBitmap* mBitmap = nullptr;
};

/// A bitmap of the recording back end: the name it was loaded under.
class RecordingBitmap : public APIBitmap {
 public:
  RecordingBitmap(int image, int width, int height, int scale, float drawScale, std::string name)
      : APIBitmap(image, width, height, scale, drawScale), mName(std::move(name)) {}
  const std::string mName;
};

/// A font of the null platform: the bytes it was made from (face 0).
class RecordingFont : public PlatformFont {
 public:
  explicit RecordingFont(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}
  FontData GetFontData() const override { return FontData{mBytes, 0}; }
  const std::vector<uint8_t> mBytes;
};

/// A request for a native text box.
struct TextEntryRequest {
  int mParamIdx = -1;
  ITextStyle mStyle;
  IRect mBounds;
  int mLength = 0;
  std::string mText;
};

/// A request for a native popup menu, with a copy of what it showed.
struct MenuRequest {
  IPopupMenu* mMenu = nullptr;
  IRect mBounds;
  std::string mTitle;
  std::vector<std::string> mItems;
  std::vector<int32_t> mFlags;
};

/// The width and height a PNG's header gives, or false for bytes that are not a PNG with a
/// header. Reads the IHDR chunk's big-endian size at bytes 16..23.
bool ReadPngSize(const uint8_t* data, size_t size, int& width, int& height);

class RecordingGfx : public IGfx {
 public:
  RecordingGfx(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  ~RecordingGfx() override;

  // ---- Recording back end.
  void BeginFrame() override;
  void EndFrame() override;
  void DrawBitmap(const IBitmapHandle& bitmap, const IRect& dest, int srcX, int srcY,
                  const IBlending* blend = nullptr) override;
  float DoMeasureText(const ITextStyle& style, const char* text, IRect& bounds) const override;
  const char* GetDrawingAPIStr() override { return "Recording"; }
  IArgb GetPoint(int, int) override { return kColorTransparent; }
  bool BitmapExtSupported(const char* ext) override;
  void PathClear() override;
  void PathClose() override;
  void PathArc(float cx, float cy, float r, float a1, float a2, bool clockwise = true) override;
  void PathMoveTo(float x, float y) override;
  void PathLineTo(float x, float y) override;
  void PathSetWinding(bool clockwise) override;
  void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) override;
  void PathStroke(const IPaintSpec& pattern, float thickness,
                  const IStrokeSpec& options = IStrokeSpec(),
                  const IBlending* blend = nullptr) override;
  void PathFill(const IPaintSpec& pattern, const IFillSpec& options = IFillSpec(),
                const IBlending* blend = nullptr) override;
  void PathTransformSetMatrix(const ITransform& matrix) override;
  void PrepareRegion(const IRect& region) override;
  void CompleteRegion(const IRect& region) override;
  void DrawText(const ITextStyle& style, const char* str, const IRect& bounds,
                const IBlending* blend = nullptr) override;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* name, const void* data, int dataSize,
                                           int scale) override;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* resolvedName, int scale,
                                           EResourceLocation location, const char* ext) override;
  std::unique_ptr<APIBitmap> CreateAPIBitmap(int width, int height, int scale,
                                             double drawScale) override;
  bool LoadAPIFont(const char* fontID, const PlatformFont& font) override;
  /// As a drawing back end loads: against this context's own cache (`mBitmapCache`).
  using IGfx::LoadBitmap;
  IBitmapHandle LoadBitmap(const char* name, int nStates = 1, bool framesAreHorizontal = false,
                           int targetScale = 0) override;

  // ---- Null platform.
  bool GetCursorPosition(float& x, float& y) const override;
  void SetCursorHidden(bool hide = true, bool lock = true) override;
  void WarpCursor(float x, float y) override;
  ECursor SetCursor(ECursor cursorType = kArrowCursor) override;
  void CancelTextEntry() override { Note("CancelTextEntry"); }
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetNativeWindow() override { return mWindowOpen ? &mWindowToken : nullptr; }
  bool IsWindowOpen() override { return mWindowOpen; }
  bool ReadClipboardText(std::string& str) override;
  bool WriteClipboardText(const char* str) override;
  EMsgBoxResult ShowMessageBox(const char* str, const char* caption, EMsgBoxType type,
                               IMsgBoxCompletionHandlerFunc completionHandler = nullptr) override;
  void ChooseFile(std::string&, std::string&, EFileAction = kFileOpen, const char* = "") override {}
  void ChooseFolder(std::string&) override {}
  bool ChooseColor(IArgb&, const char* = "", IColorPickerHandlerFunc = nullptr) override {
    return false;
  }
  bool OpenUrl(const char* url, const char* = nullptr, const char* = nullptr,
               const char* = nullptr) override;
  const char* GetPlatformName() override { return "Null"; }
  bool RevealInExplorer(const std::string&, bool = false) override { return false; }
  std::unique_ptr<PlatformFont> LoadInstalledFont(const char*, const char*, ETextStyle) override {
    return nullptr;
  }
  std::unique_ptr<PlatformFont> LoadFontFromMemory(const char* fontID, const void* data,
                                                   int dataSize) override;
  std::unique_ptr<PlatformFont> LoadFontFromNameOrFile(const char* fontID,
                                                       const char* fileNameOrResID) override;
  void CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) override;
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds, int length,
                             const char* str) override;
  IPopupMenu* CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;
  float GetScreenScaleValue() const override { return GetScreenScale(); }
  void PlatformResize(bool parentHasResized) override;
  void DrawResize() override;

  // ---- What was recorded.
  /// The drawing calls of one kind, in order.
  std::vector<DrawCall> CallsOf(const std::string& kind) const;
  /// Forgets the drawing calls and frame counts.
  void ClearDrawing();

  std::vector<DrawCall> mCalls;
  int mBeginFrames = 0;
  int mEndFrames = 0;
  /// (hide, lock) of every SetCursorHidden.
  std::vector<std::pair<bool, bool>> mCursorHiddenCalls;
  ECursor mCursor = kArrowCursor;
  std::string mClipboard;
  std::vector<TextEntryRequest> mTextEntries;
  std::vector<MenuRequest> mMenus;
  /// This context's bitmaps, as a drawing back end keeps them.
  KeyedCache<APIBitmap> mBitmapCache;
  /// (resolved name, scale) of every bitmap the back end was asked to read.
  std::vector<std::pair<std::string, int>> mBitmapReads;
  std::vector<std::string> mFontIDs;
  std::vector<std::string> mCachedFontIDs;
  int mPlatformResizes = 0;
  bool mLastParentHasResized = false;
  int mDrawResizes = 0;
  /// Platform events ("OpenWindow", "CloseWindow", "PlatformResize 1", "DrawResize"); also
  /// appended to `mSharedLog` when set, which must outlive the context.
  EventLog mEvents;
  EventLog* mSharedLog = nullptr;

  // ---- Settings.
  /// The item a native menu chooses (-1: none); the menu is answered at once unless async.
  int mMenuChoice = -1;
  bool mMenuAsync = false;
  /// Where the pointer is; unknown when `mCursorKnown` is false.
  float mCursorX = 0.f;
  float mCursorY = 0.f;
  bool mCursorKnown = true;
  EMsgBoxResult mMsgBoxAnswer = kOK;

 private:
  void Record(DrawCall call, const IBlending* blend = nullptr);
  void Note(const std::string& event);
  std::unique_ptr<APIBitmap> MakeBitmap(const std::string& name, const uint8_t* data, size_t size,
                                        int scale);

  IRect mRegion;
  int mNextImage = 1;
  bool mWindowOpen = false;
  int mWindowToken = 0;
  std::vector<std::unique_ptr<PlatformFont>> mFonts;
};

/// A graphics editor delegate recording the editor's traffic into `log`, which must outlive it
/// (the base's destructor closes an open editor, and the context's controls may log then):
///   "Begin <p>", "End <p>", "Value <p> <normalised>", "InEditor <p> <source>",
///   "ResizeFromEditor <w> <h>", "Opened", "Closing", "MidiInEditor <status>",
///   "Layout <w> <h> <draw scale>" (when the layout function set by `UseLayout` runs).
class TestDelegate : public IGfxEditorDelegate {
 public:
  explicit TestDelegate(EventLog& log, int nParams = 4) : IGfxEditorDelegate(nParams), mLog(log) {}

  void BeginParamEditFromEditor(int paramIdx) override;
  void EndParamEditFromEditor(int paramIdx) override;
  void ParamValueFromEditor(int paramIdx, double normalized) override;
  void OnParamChangeInEditor(int paramIdx, EParamSource source) override;
  bool ResizeFromEditor(int width, int height, bool needsHostResize) override;
  void OnEditorOpened() override;
  void OnEditorClosing() override;
  void OnMidiInEditor(const MidiMsg& msg) override;

  /// Replaces parameter `paramIdx` by a fresh one of `kind`, to be configured next.
  IParam& ReplaceParam(int paramIdx, EParamKind kind);
  /// A factory making a RecordingGfx of `w` x `h` at `scale`, whose platform events also go
  /// to `mLog`; counts the contexts it made in `mMade`.
  void UseRecordingFactory(int w, int h, float scale = 1.f);
  /// A layout that records "Layout <w> <h> <scale>" and then runs `more` (when set).
  void UseLayout(std::function<void(IGfx&)> more = nullptr);
  /// The open editor's context as the recording one.
  RecordingGfx* UI() const { return static_cast<RecordingGfx*>(GetUI()); }

  EventLog& mLog;
  bool mAcceptResize = true;
  /// Calls CloseWindow again from inside OnEditorClosing.
  bool mCloseFromClosing = false;
  int mMade = 0;
};

/// A control recording every hook it receives into `log` as "<name>:<Hook> ...". The pointer
/// hooks then run the base's (so the defaults still apply); key hooks answer `mKeyResult`.
/// Draw fills the draw rectangle with the control's colour and blend and remembers the clip
/// and transform it saw.
template <class Base>
class Probe : public Base {
 public:
  Probe(std::string name, const IRect& bounds, EventLog& log, int paramIdx = -1)
      : Base(bounds, paramIdx), mName(std::move(name)), mLog(log) {}

  /// Adds a value slot bound to `paramIdx` (-1 for none).
  void AddValue(int paramIdx) { this->mVals.push_back(IValueSlot{paramIdx, 0.0}); }

  void OnMouseDown(float x, float y, const IMouseState& mod) override {
    Log(Fmt("Down %g %g%s", x, y, mod.R ? " R" : ""));
    Base::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float x, float y, const IMouseState& mod) override {
    Log(Fmt("Up %g %g", x, y));
    Base::OnMouseUp(x, y, mod);
  }
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseState& mod) override {
    Log(Fmt("Drag %g %g %g %g", x, y, dX, dY));
    Base::OnMouseDrag(x, y, dX, dY, mod);
  }
  void OnMouseDoubleClick(float x, float y, const IMouseState& mod) override {
    Log(Fmt("DoubleClick %g %g", x, y));
    Base::OnMouseDoubleClick(x, y, mod);
  }
  void OnMouseWheel(float x, float y, const IMouseState& mod, float d) override {
    Log(Fmt("Wheel %g %g %g", x, y, d));
    Base::OnMouseWheel(x, y, mod, d);
  }
  bool OnKeyDown(float x, float y, const KeyPress& key) override {
    Log(Fmt("KeyDown %g %g %d", x, y, key.VK));
    return mKeyResult;
  }
  bool OnKeyUp(float x, float y, const KeyPress& key) override {
    Log(Fmt("KeyUp %g %g %d", x, y, key.VK));
    return mKeyResult;
  }
  void OnMouseOver(float x, float y, const IMouseState& mod) override {
    Log("Over");
    Base::OnMouseOver(x, y, mod);
  }
  void OnMouseOut() override {
    Log("Out");
    Base::OnMouseOut();
  }
  void OnRescale() override { Log("Rescale"); }
  void OnResize() override { Log("Resize"); }
  void OnInit() override {
    Log(Fmt("Init %d", this->GetGraphics() ? this->GetGraphics()->GetControlIdx(this) : -2));
  }
  void OnAttached() override {
    Log(Fmt("Attached %d", this->GetGraphics() ? this->GetGraphics()->GetControlIdx(this) : -2));
  }
  void OnDelegateMessage(int msgTag, int dataSize, const void*) override {
    Log(Fmt("Message %d %d", msgTag, dataSize));
  }
  void OnMidi(const MidiMsg& msg) override { Log(Fmt("Midi %d", msg.mStatus)); }
  void FillContextMenu(IPopupMenu& menu) override {
    Log("FillContextMenu");
    for (int i = 0; i < mContextItems; ++i) menu.AddItem(Fmt("item %d", i).c_str());
  }
  void OnMenuSelection(IPopupMenu* menu, int valIdx) override {
    Log(menu ? Fmt("MenuSelection %d %d", menu->GetChosenItemIdx(), valIdx)
             : Fmt("MenuSelection null %d", valIdx));
  }
  void OnTextEntryDone(const char* text, int valIdx) override {
    Log(Fmt("TextEntryDone %s %d", text ? text : "(null)", valIdx));
  }
  void OnContextChoice(int index) override { Log(Fmt("ContextChoice %d", index)); }
  void Draw(IGfx& g) override {
    Log("Draw");
    mDrawn.push_back(Drawn{g.GetClipRect(), g.GetTransform()});
    g.FillRect(mColor, this->GetDrawRect(), &this->GetBlend());
    if (mTranslateInDraw) g.PathTransformTranslate(7.f, 9.f);
  }

  struct Drawn {
    IRect mClip;
    ITransform mTransform;
  };

  const std::string mName;
  EventLog& mLog;
  IArgb mColor{255, 10, 20, 30};
  bool mKeyResult = false;
  int mContextItems = 0;
  bool mTranslateInDraw = false;
  std::vector<Drawn> mDrawn;

 protected:
  void Log(const std::string& what) { mLog.push_back(mName + ":" + what); }
};

using ProbeControl = Probe<IControl>;

/// The in-editor text entry: editing from OpenForEditing until `Finish`.
class ProbeTextEntry : public Probe<ITextEntryControlBase> {
 public:
  using Probe::Probe;
  void OpenForEditing(const char* text) override {
    Log(Fmt("OpenForEditing %s", text ? text : "(null)"));
    mEditing = true;
  }
  bool IsEditing() const override { return mEditing; }
  bool mEditing = false;
};

/// An editor for the tests: the log, a delegate with four parameters and a recording context
/// (not opened). The parameters:
///   0 "Gain"  0..100, default 50, step 0.1, label "dB"
///   1 "Mix"   0..1, default 0.25, step 0.001
///   2 "Drive" 0..10, default 2, step 0.01
///   3 "Trim"  -12..12, default 0, step 0.5, label "dB"
/// The members are declared so that the log outlives the delegate, which outlives the context.
struct TestEditor {
  explicit TestEditor(int w = 300, int h = 200, float scale = 1.f);

  /// Attaches a probe control named `name` over `r` bound to `paramIdx`.
  ProbeControl* Add(const char* name, const IRect& r, int paramIdx = -1, int ctrlTag = -1);

  EventLog log;
  TestDelegate dlg{log};
  RecordingGfx g;
};

}  // namespace test
}  // namespace gfx
}  // namespace kantele
