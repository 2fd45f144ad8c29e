// The Windows editor needs its window layer (a child window with a WGL context); this build
// has none yet, so the factory makes no context and the host is told that no editor opened.
#include "kantele/gfx/platform/PlatformGraphics.h"

namespace kantele {
namespace gfx {

std::unique_ptr<IGfx> MakePlatformGraphics(IEditorDelegate&, int, int, int, float) {
  return nullptr;
}

}  // namespace gfx
}  // namespace kantele
