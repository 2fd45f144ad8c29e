#pragma once

#include <memory>

#include "kantele/IEditorDelegate.h"
#include "kantele/gfx/IGfx.h"

namespace kantele {
namespace gfx {

/// The graphics context of the platform the module was built for, drawing with NanoVG:
/// `w` x `h` UI units at `fps` frames per second and draw scale `scale`, for `dlg`. Null
/// where this build has no editor window.
///
/// [main-thread] Allocates.
std::unique_ptr<IGfx> MakePlatformGraphics(IEditorDelegate& dlg, int w, int h, int fps,
                                           float scale);

}  // namespace gfx
}  // namespace kantele
