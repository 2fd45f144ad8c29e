#include <windows.h>

#include "kantele/gfx/Resources.h"

// The entry point of a DLL that carries resources. `kantele_add_resources` compiles this file
// into the DLL itself (a static library's copy could be left out by the linker), so the
// library reads the DLL's own resources rather than those of the host's executable.

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  // Thread notifications stay on: the statically linked C runtime needs them.
  if (reason == DLL_PROCESS_ATTACH) kantele::gfx::SetResourceModule(instance);
  return TRUE;
}
