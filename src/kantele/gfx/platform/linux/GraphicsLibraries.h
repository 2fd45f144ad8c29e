#pragma once

namespace kantele {
namespace gfx {

/// Keeps the OpenGL stack's libraries that are loaded now (EGL, GLX, libGL, Mesa's driver and
/// what it loaded) in the process for good: their allocations stay reachable, and leak checkers
/// do not report a driver unloaded at exit. Only those: the plug-in itself and anything else the
/// host loaded stay unloadable. The first call after a context was made does the work; later
/// calls do nothing. [any-thread] Locks a process-wide lock.
void PinGraphicsLibraries();

}  // namespace gfx
}  // namespace kantele
