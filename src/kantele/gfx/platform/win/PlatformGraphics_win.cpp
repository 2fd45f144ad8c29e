// On Windows the editor is a child window of the host's with a WGL context, drawn by NanoVG.
#include "kantele/gfx/platform/PlatformGraphics.h"
#include "kantele/gfx/platform/win/IGfxWin.h"

namespace kantele {
namespace gfx {

std::unique_ptr<IGfx> MakePlatformGraphics(IEditorDelegate& dlg, int w, int h, int fps,
                                           float scale) {
  return std::make_unique<IGfxWin>(dlg, w, h, fps, scale);
}

}  // namespace gfx
}  // namespace kantele
