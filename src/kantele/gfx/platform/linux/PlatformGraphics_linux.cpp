// On Linux the editor is a child window of the host's X11 window (IGfxLinux). Programs that
// draw the editor without a window (tests, screenshots) link the windowless factory instead.
#include "kantele/gfx/platform/PlatformGraphics.h"
#include "kantele/gfx/platform/linux/IGfxLinux.h"

namespace kantele {
namespace gfx {

std::unique_ptr<IGfx> MakePlatformGraphics(IEditorDelegate& dlg, int w, int h, int fps,
                                           float scale) {
  return std::make_unique<IGfxLinux>(dlg, w, h, fps, scale);
}

}  // namespace gfx
}  // namespace kantele
