#pragma once

#include <memory>

#include "kantele/IApiBase.h"
#include "kantele/gfx/IGfx.h"
#include "kantele/gfx/IGfxEditorDelegate.h"

namespace tolvane {

/// The editor's size in UI units, its frame rate and the draw scale it opens at: 815 x 505
/// pixels, the smallest size the host may make it.
constexpr int kEditorWidth = 1630;
constexpr int kEditorHeight = 1010;
constexpr int kEditorFPS = 60;
constexpr float kEditorInitialScale = 0.5f;

/// The artwork, loaded by name in this order; all frames are stacked vertically.
struct ArtworkEntry {
  const char* mName;
  int mFrames;
};
constexpr ArtworkEntry kArtwork[] = {
    {"ledOn.png", 2},        {"LiukuAnim.png", 2},         {"FlipperAnim.png", 2},
    {"Nuppi.png", 1},        {"Tolvanebackground.jpg", 1}, {"NupikkaVarjo.png", 1},
    {"NuppiOverlay.png", 1}, {"BIASNUPPI.png", 1}};

/// Makes the platform's graphics context for the editor of `dlg`, reading artwork from the
/// plug-in's own module; null where the platform has no editor.
std::unique_ptr<kantele::gfx::IGfx> MakeEditorGraphics(kantele::gfx::IGfxEditorDelegate& dlg);

/// Fills an empty graphics context with the editor: the corner resizer and the text entry
/// apart from the list, then the background, the version label and the sixteen controls of
/// the artwork. A context that already holds controls (a layout after a resize) is left as
/// it is. `plug` gives the version and the API for the label.
void LayoutEditor(kantele::gfx::IGfx& g, const kantele::IApiBase& plug);

}  // namespace tolvane
