#include "kantele/gfx/support/RecordingGfx.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kantele {
namespace gfx {
namespace test {

int Count(const EventLog& log, const std::string& what) {
  int n = 0;
  for (const std::string& e : log) n += e == what ? 1 : 0;
  return n;
}

EventLog Matching(const EventLog& log, const std::string& prefix) {
  EventLog out;
  for (const std::string& e : log) {
    if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  }
  return out;
}

int IndexOf(const EventLog& log, const std::string& what) {
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i] == what) return static_cast<int>(i);
  }
  return -1;
}

std::string Fmt(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof(buf), fmt, args);
  va_end(args);
  return buf;
}

IMousePoint Pt(float x, float y, float dX, float dY, bool right, uintptr_t touchID) {
  IMousePoint p;
  p.x = x;
  p.y = y;
  p.dX = dX;
  p.dY = dY;
  p.ms.L = !right;
  p.ms.R = right;
  p.ms.touchID = touchID;
  return p;
}

bool ReadPngSize(const uint8_t* data, size_t size, int& width, int& height) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!data || size < 24 || std::memcmp(data, kSignature, 8) != 0 ||
      std::memcmp(data + 12, "IHDR", 4) != 0) {
    return false;
  }
  auto be32 = [data](size_t at) {
    return (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) |
           (uint32_t{data[at + 2]} << 8) | uint32_t{data[at + 3]};
  };
  const uint32_t w = be32(16);
  const uint32_t h = be32(20);
  // The format allows up to 2^31 - 1; nothing a test loads comes near 2^16.
  if (w == 0 || h == 0 || w > 65536 || h > 65536) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

// ---- RecordingGfx: the back end.

namespace {

DrawCall Make(const char* kind, std::vector<double> args = {}) {
  DrawCall call;
  call.mKind = kind;
  call.mArgs = std::move(args);
  return call;
}

}  // namespace

RecordingGfx::RecordingGfx(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGfx(dlg, w, h, fps, scale) {}

RecordingGfx::~RecordingGfx() {
  // The controls go with the base, which must cope without this part (a hidden cursor, say);
  // they hold their bitmaps without owning them and never touch them when destroyed.
  mBitmapCache.Clear();
}

void RecordingGfx::Record(DrawCall call, const IBlending* blend) {
  call.mClip = mRegion;
  call.mWeight = BlendWeight(blend);
  mCalls.push_back(std::move(call));
}

void RecordingGfx::Note(const std::string& event) {
  mEvents.push_back(event);
  if (mSharedLog) mSharedLog->push_back(event);
}

void RecordingGfx::BeginFrame() {
  ++mBeginFrames;
  IGfx::BeginFrame();
}

void RecordingGfx::EndFrame() {
  ++mEndFrames;
  IGfx::EndFrame();
}

void RecordingGfx::DrawBitmap(const IBitmapHandle& bitmap, const IRect& dest, int srcX, int srcY,
                              const IBlending* blend) {
  DrawCall c = Make("Bitmap", {double(srcX), double(srcY)});
  c.mRect = dest;
  c.mText = bitmap.GetResourceName();
  c.mBitmap = bitmap.GetAPIBitmap();
  Record(std::move(c), blend);
}

float RecordingGfx::DoMeasureText(const ITextStyle& style, const char* text, IRect& bounds) const {
  // Every character half the font size wide, one font size high.
  const float w = 0.5f * style.mSize * static_cast<float>(std::strlen(text ? text : ""));
  bounds = IRect(bounds.L, bounds.T, bounds.L + w, bounds.T + style.mSize);
  return w;
}

bool RecordingGfx::BitmapExtSupported(const char* ext) { return IsSupportedImageExtension(ext); }

void RecordingGfx::PathClear() { Record(Make("Clear")); }
void RecordingGfx::PathClose() { Record(Make("Close")); }

void RecordingGfx::PathArc(float cx, float cy, float r, float a1, float a2, bool clockwise) {
  Record(Make("Arc", {cx, cy, r, a1, a2, clockwise ? 1.0 : 0.0}));
}

void RecordingGfx::PathMoveTo(float x, float y) { Record(Make("MoveTo", {x, y})); }
void RecordingGfx::PathLineTo(float x, float y) { Record(Make("LineTo", {x, y})); }

void RecordingGfx::PathSetWinding(bool clockwise) {
  Record(Make("Winding", {clockwise ? 1.0 : 0.0}));
}

void RecordingGfx::PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2,
                                     float y2) {
  Record(Make("Cubic", {c1x, c1y, c2x, c2y, x2, y2}));
}

void RecordingGfx::PathQuadraticBezierTo(float cx, float cy, float x2, float y2) {
  Record(Make("Quad", {cx, cy, x2, y2}));
}

void RecordingGfx::PathStroke(const IPaintSpec& pattern, float thickness, const IStrokeSpec&,
                              const IBlending* blend) {
  DrawCall c = Make("Stroke", {thickness});
  c.mColor = pattern.GetStop0Color();
  Record(std::move(c), blend);
}

void RecordingGfx::PathFill(const IPaintSpec& pattern, const IFillSpec&, const IBlending* blend) {
  DrawCall c = Make("Fill");
  c.mColor = pattern.GetStop0Color();
  Record(std::move(c), blend);
}

void RecordingGfx::PathTransformSetMatrix(const ITransform& m) {
  Record(Make("Transform", {m.xx, m.yx, m.xy, m.yy, m.tx, m.ty}));
}

void RecordingGfx::PrepareRegion(const IRect& region) {
  mRegion = region;
  DrawCall c = Make("Region");
  c.mRect = region;
  Record(std::move(c));
}

void RecordingGfx::CompleteRegion(const IRect& region) {
  DrawCall c = Make("Complete");
  c.mRect = region;
  Record(std::move(c));
}

void RecordingGfx::DrawText(const ITextStyle& style, const char* str, const IRect& bounds,
                            const IBlending* blend) {
  DrawCall c = Make("Text");
  c.mColor = style.mFGColor;
  c.mRect = bounds;
  c.mText = str ? str : "";
  Record(std::move(c), blend);
}

std::unique_ptr<APIBitmap> RecordingGfx::MakeBitmap(const std::string& name, const uint8_t* data,
                                                    size_t size, int scale) {
  int w = 0;
  int h = 0;
  if (!ReadPngSize(data, size, w, h)) return nullptr;
  return std::make_unique<RecordingBitmap>(mNextImage++, w, h, scale, GetDrawScale(), name);
}

std::unique_ptr<APIBitmap> RecordingGfx::LoadAPIBitmap(const char* name, const void* data,
                                                       int dataSize, int scale) {
  mBitmapReads.emplace_back(name ? name : "", scale);
  if (dataSize <= 0) return nullptr;
  return MakeBitmap(name ? name : "", static_cast<const uint8_t*>(data),
                    static_cast<size_t>(dataSize), scale);
}

std::unique_ptr<APIBitmap> RecordingGfx::LoadAPIBitmap(const char* resolvedName, int scale,
                                                       EResourceLocation location,
                                                       const char* ext) {
  const std::string name = resolvedName ? resolvedName : "";
  mBitmapReads.emplace_back(name, scale);
  std::vector<uint8_t> bytes;
  if (location == kInModule) {
    int size = 0;
    const uint8_t* data = ReadModuleResource(name.c_str(), ext, size, GetModuleHandle());
    if (data) bytes.assign(data, data + size);
  } else if (location == kAbsolutePath) {
    std::ifstream in(name, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  return MakeBitmap(name, bytes.data(), bytes.size(), scale);
}

IBitmapHandle RecordingGfx::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal,
                                       int targetScale) {
  return LoadBitmapWithCache(mBitmapCache, name, nStates, framesAreHorizontal, targetScale);
}

std::unique_ptr<APIBitmap> RecordingGfx::CreateAPIBitmap(int width, int height, int scale,
                                                         double drawScale) {
  return std::make_unique<RecordingBitmap>(mNextImage++, width, height, scale,
                                           static_cast<float>(drawScale), "");
}

bool RecordingGfx::LoadAPIFont(const char* fontID, const PlatformFont& font) {
  if (!font.GetFontData().IsValid()) return false;
  mFontIDs.push_back(fontID ? fontID : "");
  return true;
}

// ---- RecordingGfx: the null platform.

bool RecordingGfx::GetCursorPosition(float& x, float& y) const {
  if (!mCursorKnown) return false;
  x = mCursorX;
  y = mCursorY;
  return true;
}

void RecordingGfx::SetCursorHidden(bool hide, bool lock) {
  mCursorHiddenCalls.emplace_back(hide, lock);
  mCursorHidden = hide;
  mCursorLocked = hide && lock;
}

void RecordingGfx::WarpCursor(float x, float y) {
  mCursorX = x;
  mCursorY = y;
}

ECursor RecordingGfx::SetCursor(ECursor cursorType) {
  const ECursor previous = mCursor;
  mCursor = cursorType;
  return previous;
}

void* RecordingGfx::OpenWindow(void* parent) {
  (void)parent;
  Note("OpenWindow");
  mWindowOpen = true;
  if (auto* gfxDelegate = dynamic_cast<IGfxEditorDelegate*>(&GetDelegate())) {
    gfxDelegate->RunLayout(*this);
  }
  GetDelegate().OnEditorOpened();
  return &mWindowToken;
}

void RecordingGfx::CloseWindow() {
  Note("CloseWindow");
  mWindowOpen = false;
}

bool RecordingGfx::ReadClipboardText(std::string& str) {
  str = mClipboard;
  return !mClipboard.empty();
}

bool RecordingGfx::WriteClipboardText(const char* str) {
  mClipboard = str ? str : "";
  return true;
}

EMsgBoxResult RecordingGfx::ShowMessageBox(const char* str, const char*, EMsgBoxType,
                                           IMsgBoxCompletionHandlerFunc completionHandler) {
  Note(std::string("MessageBox ") + (str ? str : ""));
  if (completionHandler) completionHandler(mMsgBoxAnswer);
  return mMsgBoxAnswer;
}

bool RecordingGfx::OpenUrl(const char* url, const char*, const char*, const char*) {
  Note(std::string("OpenUrl ") + (url ? url : ""));
  return true;
}

std::unique_ptr<PlatformFont> RecordingGfx::LoadFontFromMemory(const char*, const void* data,
                                                               int dataSize) {
  if (!data || dataSize <= 0) return nullptr;
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::make_unique<RecordingFont>(std::vector<uint8_t>(bytes, bytes + dataSize));
}

std::unique_ptr<PlatformFont> RecordingGfx::LoadFontFromNameOrFile(const char*,
                                                                   const char* fileNameOrResID) {
  std::vector<uint8_t> bytes = LoadResource(fileNameOrResID, "ttf");
  if (bytes.empty()) return nullptr;
  return std::make_unique<RecordingFont>(std::move(bytes));
}

void RecordingGfx::CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) {
  mCachedFontIDs.push_back(fontID ? fontID : "");
  mFonts.push_back(std::move(font));
}

void RecordingGfx::CreateNativeTextEntry(int paramIdx, const ITextStyle& text, const IRect& bounds,
                                         int length, const char* str) {
  mTextEntries.push_back(TextEntryRequest{paramIdx, text, bounds, length, str ? str : ""});
}

IPopupMenu* RecordingGfx::CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds,
                                                bool& isAsync) {
  MenuRequest request;
  request.mMenu = &menu;
  request.mBounds = bounds;
  request.mTitle = menu.GetRootTitle();
  for (int i = 0; i < menu.NItems(); ++i) {
    request.mItems.push_back(menu.GetItem(i)->GetText());
    request.mFlags.push_back(menu.GetItem(i)->GetFlags());
  }
  mMenus.push_back(std::move(request));
  isAsync = mMenuAsync;
  if (mMenuAsync) return nullptr;
  menu.SetChosenItemIdx(mMenuChoice);
  return &menu;
}

void RecordingGfx::PlatformResize(bool parentHasResized) {
  ++mPlatformResizes;
  mLastParentHasResized = parentHasResized;
  Note(Fmt("PlatformResize %d", parentHasResized ? 1 : 0));
}

void RecordingGfx::DrawResize() {
  ++mDrawResizes;
  Note("DrawResize");
}

std::vector<DrawCall> RecordingGfx::CallsOf(const std::string& kind) const {
  std::vector<DrawCall> out;
  for (const DrawCall& c : mCalls) {
    if (c.mKind == kind) out.push_back(c);
  }
  return out;
}

void RecordingGfx::ClearDrawing() {
  mCalls.clear();
  mBeginFrames = 0;
  mEndFrames = 0;
}

// ---- TestDelegate.

void TestDelegate::BeginParamEditFromEditor(int paramIdx) {
  mLog.push_back(Fmt("Begin %d", paramIdx));
}

void TestDelegate::EndParamEditFromEditor(int paramIdx) { mLog.push_back(Fmt("End %d", paramIdx)); }

void TestDelegate::ParamValueFromEditor(int paramIdx, double normalized) {
  mLog.push_back(Fmt("Value %d %g", paramIdx, normalized));
  IGfxEditorDelegate::ParamValueFromEditor(paramIdx, normalized);
}

void TestDelegate::OnParamChangeInEditor(int paramIdx, EParamSource source) {
  mLog.push_back(Fmt("InEditor %d %d", paramIdx, static_cast<int>(source)));
}

bool TestDelegate::ResizeFromEditor(int width, int height, bool) {
  mLog.push_back(Fmt("ResizeFromEditor %d %d", width, height));
  return mAcceptResize;
}

void TestDelegate::OnEditorOpened() {
  mLog.push_back("Opened");
  IGfxEditorDelegate::OnEditorOpened();
}

void TestDelegate::OnEditorClosing() {
  mLog.push_back("Closing");
  if (mCloseFromClosing) CloseWindow();
}

void TestDelegate::OnMidiInEditor(const MidiMsg& msg) {
  mLog.push_back(Fmt("MidiInEditor %d", msg.mStatus));
}

IParam& TestDelegate::ReplaceParam(int paramIdx, EParamKind kind) {
  mParams.at(static_cast<size_t>(paramIdx)) = std::make_unique<IParam>();
  mParams[static_cast<size_t>(paramIdx)]->SetKind(kind);
  return *mParams[static_cast<size_t>(paramIdx)];
}

void TestDelegate::UseRecordingFactory(int w, int h, float scale) {
  SetMakeGraphicsFunc([this, w, h, scale]() -> std::unique_ptr<IGfx> {
    ++mMade;
    auto g = std::make_unique<RecordingGfx>(*this, w, h, 60, scale);
    g->mSharedLog = &mLog;
    return g;
  });
}

void TestDelegate::UseLayout(std::function<void(IGfx&)> more) {
  SetLayoutFunc([this, more](IGfx& g) {
    mLog.push_back(Fmt("Layout %d %d %g", g.Width(), g.Height(), g.GetDrawScale()));
    if (more) more(g);
  });
}

// ---- TestEditor.

TestEditor::TestEditor(int w, int h, float scale) : g(dlg, w, h, 60, scale) {
  dlg.GetParam(0)->ConfigureDouble("Gain", 50., 0., 100., 0.1, "dB");
  dlg.GetParam(1)->ConfigureDouble("Mix", 0.25, 0., 1., 0.001);
  dlg.GetParam(2)->ConfigureDouble("Drive", 2., 0., 10., 0.01);
  dlg.GetParam(3)->ConfigureDouble("Trim", 0., -12., 12., 0.5, "dB");
}

ProbeControl* TestEditor::Add(const char* name, const IRect& r, int paramIdx, int ctrlTag) {
  auto* control = new ProbeControl(name, r, log, paramIdx);
  g.AttachControl(control, ctrlTag);
  return control;
}

}  // namespace test
}  // namespace gfx
}  // namespace kantele
