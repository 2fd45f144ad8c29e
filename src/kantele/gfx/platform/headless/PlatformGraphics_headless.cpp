// On Linux the editor draws into the windowless NanoVG context: a host gets a drawn editor
// that it cannot show, and tests and screenshots get exactly what a window would show.
#include "kantele/gfx/platform/PlatformGraphics.h"
#include "kantele/gfx/platform/headless/IGfxHeadless.h"

namespace kantele {
namespace gfx {

std::unique_ptr<IGfx> MakePlatformGraphics(IEditorDelegate& dlg, int w, int h, int fps,
                                           float scale) {
  return std::make_unique<IGfxHeadless>(dlg, w, h, fps, scale);
}

}  // namespace gfx
}  // namespace kantele
