// Programs that draw the editor without a window (tests, benchmarks, screenshots) link this
// factory: the editor draws into the windowless NanoVG context, exactly as a window would show it.
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
