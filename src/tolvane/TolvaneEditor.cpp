#include "tolvane/TolvaneEditor.h"

#include <cstdio>

#include "kantele/gfx/controls/IBitmapControl.h"
#include "kantele/gfx/controls/IKnobControls.h"
#include "kantele/gfx/controls/ISwitchControls.h"
#include "kantele/gfx/controls/ITextControl.h"
#include "kantele/gfx/platform/PlatformGraphics.h"
#include "tolvane/Tolvane.h"

namespace tolvane {

using namespace kantele::gfx;

namespace {

enum EControlClass { kKnob, kRotater, kSwitch };

/// One control of the editor: its class, the artwork row it draws, where its top-left goes
/// and the parameter it is bound to.
struct ControlEntry {
  EControlClass mClass;
  int mArtwork;  // index into kArtwork
  float mX;
  float mY;
  int mParam;
};

// The value prompt, in design units: large enough to read at the smallest zoom.
constexpr float kPromptWidth = 220.f;
constexpr float kPromptHeight = 72.f;
constexpr float kPromptTextSize = 48.f;

// Attachment order: later controls draw above earlier ones. Each main knob is three controls
// on one parameter: the turning shadow, the turning face 80 units above it, and the fixed
// glossy overlay that takes the drags.
constexpr int kLamp = 0, kSlide = 1, kFlip = 2, kFace = 3, kShadow = 5, kOverlay = 6, kBiasKnob = 7;
constexpr ControlEntry kControls[] = {
    {kKnob, kLamp, 824, 0, kBypass},
    {kRotater, kBiasKnob, 558, 630, kBias},
    {kSwitch, kSlide, 516, 752, kReact},
    {kSwitch, kFlip, 1339, 354, kBypass},
    {kRotater, kShadow, 137, 286, kInputGain},
    {kRotater, kShadow, 137, 683, kTame},
    {kRotater, kShadow, 891, 683, kOutputGain},
    {kRotater, kShadow, 1246, 683, kWet},
    {kRotater, kFace, 137, 206, kInputGain},
    {kRotater, kFace, 137, 603, kTame},
    {kRotater, kFace, 891, 603, kOutputGain},
    {kRotater, kFace, 1246, 603, kWet},
    {kKnob, kOverlay, 126, 192, kInputGain},
    {kKnob, kOverlay, 126, 590, kTame},
    {kKnob, kOverlay, 882, 590, kOutputGain},
    {kKnob, kOverlay, 1237, 590, kWet},
};

}  // namespace

std::unique_ptr<IGfx> MakeEditorGraphics(IGfxEditorDelegate& dlg) {
  std::unique_ptr<IGfx> g =
      MakePlatformGraphics(dlg, kEditorWidth, kEditorHeight, kEditorFPS, kEditorInitialScale);
  if (g) g->SetModuleHandle(kantele::gfx::GetResourceModule());
  return g;
}

void LayoutEditor(IGfx& g, const kantele::IApiBase& plug) {
  if (g.NControls() > 0) return;

  g.EnableMouseOver(true);
  g.EnableTooltips(true);
  // A resize lays out again, which finds the controls in place and returns.
  g.AttachCornerResizer(20.f, true, IArgb(10, 0, 0, 0), IArgb(255, 0, 0, 0), IArgb(255, 0, 0, 0));
  g.LoadFont("Roboto-Regular", "Roboto-Regular.ttf");

  // "v1.0.0 x86-64 VST2" in the bottom-right corner.
  const uint32_t v = plug.GetPluginVersion();
  char version[32];
  std::snprintf(version, sizeof(version), "v%d.%d.%d", static_cast<int>(v >> 16),
                static_cast<int>((v >> 8) & 0xFFu), static_cast<int>(v & 0xFFu));
  char label[96];
  std::snprintf(label, sizeof(label), "%s %s %s", version, "x86-64", plug.GetAPIName());
  const ITextStyle labelStyle(20.f, IArgb(255, 255, 255, 255), "Roboto-Regular", kAlignCenter,
                              kVAlignMiddle, 0.f);
  const float w = static_cast<float>(g.Width());
  const float h = static_cast<float>(g.Height());
  g.AttachControl(new ITextControl(IRect(w - 150.f, h - 30.f, w, h), label, labelStyle));

  IBitmapHandle art[sizeof(kArtwork) / sizeof(kArtwork[0])];
  for (size_t i = 0; i < sizeof(kArtwork) / sizeof(kArtwork[0]); ++i)
    art[i] = g.LoadBitmap(kArtwork[i].mName, kArtwork[i].mFrames, false, 2);

  // A right-click on a control opens a box over it holding the value in its units (the
  // platform's native text box, or the editor's own entry where there is none): Return
  // sets the typed value, Escape or a click elsewhere leaves it.
  const ITextStyle promptStyle(kPromptTextSize, IArgb(255, 0, 0, 0), "Roboto-Regular");
  for (const ControlEntry& c : kControls) {
    const IBitmapHandle& bitmap = art[c.mArtwork];
    const IRect bounds(c.mX, c.mY, c.mX + static_cast<float>(bitmap.FW()),
                       c.mY + static_cast<float>(bitmap.FH()));
    IControl* control = nullptr;
    switch (c.mClass) {
      case kKnob: control = new IBKnobControl(bounds, bitmap, c.mParam, 4.0); break;
      case kRotater: control = new IBKnobRotaterControl(bounds, bitmap, c.mParam); break;
      case kSwitch: control = new IBSwitchControl(bounds, bitmap, c.mParam); break;
    }
    control->DisablePrompt(false);
    control->SetText(promptStyle);
    control->SetPromptSize(kPromptWidth, kPromptHeight);
    g.AttachControl(control);
  }

  // The panel behind everything, at index 0.
  g.AttachBackground("Tolvanebackground.jpg");
}

}  // namespace tolvane
