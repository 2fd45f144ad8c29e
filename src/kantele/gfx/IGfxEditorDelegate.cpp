#include "kantele/gfx/IGfxEditorDelegate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kantele/ByteChunk.h"
#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

IGfxEditorDelegate::IGfxEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGfxEditorDelegate::~IGfxEditorDelegate() {
  // A host that never closed the editor: the context and its window go before the
  // parameters its controls point at. Only this class's part runs here (the derived object is
  // already gone), so the closing hooks of derived classes are not called.
  if (mGraphics) {
    mGraphics->CloseWindow();
    mGraphics.reset();
  }
}

void* IGfxEditorDelegate::OpenWindow(void* parent) {
  if (!mGraphics) {
    mGraphics = MakeGraphics();
    if (mGraphics && mSavedWidth != 0 && mSavedHeight != 0 && mSavedScale != 0.f)
      mGraphics->Resize(mSavedWidth, mSavedHeight, mSavedScale);
  }
  return mGraphics ? mGraphics->OpenWindow(parent) : nullptr;
}

void IGfxEditorDelegate::SetOpeningSize(int width, int height, float scale) {
  mSavedWidth = width;
  mSavedHeight = height;
  mSavedScale = scale;
  // Only a complete set is applied at the next opening (OpenWindow); the window size is the
  // design size times the scale, cut to whole pixels as the context cuts it. A size no window
  // can have (the values may come from stored bytes) leaves the answer to the host as it was.
  constexpr double kLargestWindow = 32767.0;  // a host's editor rectangle holds 16 bits
  const double w = static_cast<double>(width) * static_cast<double>(scale);
  const double h = static_cast<double>(height) * static_cast<double>(scale);
  // (NaN fails every comparison; a zero or negative scale gives no pixel.)
  if (width > 0 && height > 0 && w >= 1.0 && h >= 1.0 && w <= kLargestWindow && h <= kLargestWindow)
    SetEditorSize(static_cast<int>(width * scale), static_cast<int>(height * scale));
}

void IGfxEditorDelegate::CloseWindow() {
  if (mClosing) return;
  mClosing = true;
  OnEditorClosing();
  if (mGraphics) {
    // The editor size stays what the host was last told: the window as it was, which is the
    // size it reopens at on the same screen.
    mSavedWidth = mGraphics->Width();
    mSavedHeight = mGraphics->Height();
    mSavedScale = mGraphics->GetDrawScale();
    mGraphics->CloseWindow();
    mGraphics.reset();
  }
  mClosing = false;
}

bool IGfxEditorDelegate::OnKeyDown(const KeyPress& key) { return RouteKey(key, false); }

bool IGfxEditorDelegate::OnKeyUp(const KeyPress& key) { return RouteKey(key, true); }

bool IGfxEditorDelegate::RouteKey(const KeyPress& key, bool isUp) {
  if (!mGraphics) return false;
  // Keys go to the control under the pointer; an unknown position counts as the origin.
  float x = 0.f;
  float y = 0.f;
  mGraphics->GetCursorPosition(x, y);
  return isUp ? mGraphics->OnKeyUp(x, y, key) : mGraphics->OnKeyDown(x, y, key);
}

void IGfxEditorDelegate::PushControlValueToEditor(int ctrlTag, double normalized) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (!mGraphics) return;
  if (IControl* control = mGraphics->GetControlWithTag(ctrlTag))
    control->SetValueFromHost(normalized, 0);
}

void IGfxEditorDelegate::PushControlMsgToEditor(int ctrlTag, int msgTag, int dataSize,
                                                const void* data) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (!mGraphics) return;
  if (IControl* control = mGraphics->GetControlWithTag(ctrlTag))
    control->OnDelegateMessage(msgTag, dataSize, data);
}

void IGfxEditorDelegate::PushMidiToEditor(const MidiMsg& msg) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (mGraphics) {
    mGraphics->ForEachControl([&msg](IControl& c) {
      if (c.GetWantsMidi()) c.OnMidi(msg);
    });
  }
  OnMidiInEditor(msg);
}

void IGfxEditorDelegate::PushParamValueToEditor(int paramIdx, double value, bool isNormalized) {
  KANTELE_CHECK_UI_THREAD(mUiThread);
  if (mGraphics) {
    if (!isNormalized) {
      const IParam* param = GetParam(paramIdx);
      // A real value of a parameter that does not exist has no normalised form.
      value = param ? param->NormalizedFromValue(value) : value;
    }
    mGraphics->ForEachControl([paramIdx, value](IControl& c) {
      for (int j = 0; j < c.ValueCount(); ++j)
        if (c.GetParamIdx(j) == paramIdx) c.SetValueFromHost(value, j);
    });
  }
  OnParamChangeInEditor(paramIdx, kSourceEditorDelegate);
}

bool IGfxEditorDelegate::SerializeEditorState(ByteChunk& chunk) const {
  const int32_t width = mGraphics ? mGraphics->Width() : mSavedWidth;
  const int32_t height = mGraphics ? mGraphics->Height() : mSavedHeight;
  const float scale = mGraphics ? mGraphics->GetDrawScale() : mSavedScale;
  // Each append is checked by the size it reaches: a failed append leaves the size as it was.
  const int start = chunk.Size();
  return chunk.Put(width) == start + 4 && chunk.Put(height) == start + 8 &&
         chunk.Put(scale) == start + 12;
}

int IGfxEditorDelegate::UnserializeEditorState(const ByteChunk& chunk, int startPos) {
  int32_t width = 0;
  int32_t height = 0;
  float scale = 0.f;
  int pos = chunk.Get(&width, startPos);
  pos = chunk.Get(&height, pos);
  pos = chunk.Get(&scale, pos);
  if (!mGraphics) {
    SetOpeningSize(width, height, scale);
  } else if (width != 0 && height != 0 && scale != 0.f) {
    mGraphics->Resize(width, height, scale);
  }
  return pos;
}

float IGfxEditorDelegate::ZoomForWindow(int width, int height) const {
  const IGfx& g = *mGraphics;
  const float screen = g.GetScreenScaleValue();
  const float lo = g.GetMinScale();
  const float hi = g.GetMaxScale();
  const auto fits = [&](float zoom) {
    return g.WindowWidthFor(zoom, screen) <= width && g.WindowHeightFor(zoom, screen) <= height;
  };
  // The largest zoom whose window fits, found from either side's quotient. A quotient can
  // round a hair below the zoom that gives exactly that side (700 / 1010 * 1010 = 699.99...),
  // so each is raised by a few steps of the float while the window still fits: a size this
  // function produced then gives the same size again.
  float best = lo;
  const float quotients[] = {
      static_cast<float>(width) / (static_cast<float>(g.Width()) * screen),
      static_cast<float>(height) / (static_cast<float>(g.Height()) * screen)};
  for (float zoom : quotients) {
    if (!(zoom == zoom)) continue;  // NaN: a zero-sized design
    zoom = std::clamp(zoom, lo, hi);
    for (int i = 0; i < 8; ++i) {
      const float up = std::nextafter(zoom, hi);
      if (up == zoom || !fits(up)) break;
      zoom = up;
    }
    if (fits(zoom) && zoom > best) best = zoom;
  }
  return best;
}

bool IGfxEditorDelegate::ConstrainEditorWindow(int& width, int& height) const {
  if (!mGraphics) {
    width = GetEditorWidth();
    height = GetEditorHeight();
    return false;
  }
  const float zoom = ZoomForWindow(width, height);
  const float screen = mGraphics->GetScreenScaleValue();
  width = mGraphics->WindowWidthFor(zoom, screen);
  height = mGraphics->WindowHeightFor(zoom, screen);
  return true;
}

bool IGfxEditorDelegate::ResizeEditorWindow(int width, int height) {
  if (!mGraphics) return false;
  mGraphics->Resize(mGraphics->Width(), mGraphics->Height(), ZoomForWindow(width, height), true);
  return true;
}

void IGfxEditorDelegate::SetScreenScale(float scale) {
  if (mGraphics) mGraphics->SetScreenScale(scale);
}

std::unique_ptr<IGfx> IGfxEditorDelegate::MakeGraphics() {
  return mMakeGraphicsFunc ? mMakeGraphicsFunc() : nullptr;
}

void IGfxEditorDelegate::RunLayout(IGfx& graphics) {
  if (mLayoutFunc) mLayoutFunc(graphics);
}

}  // namespace gfx
}  // namespace kantele
