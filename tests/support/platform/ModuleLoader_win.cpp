#include <windows.h>

#include "support/ModuleLoader.h"

namespace kantele::test {

namespace {

std::string LastWinError(const char* what) {
  const DWORD code = GetLastError();
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, text, sizeof(text), nullptr);
  std::string message = std::string(what) + ": error " + std::to_string(code);
  if (n > 0) message += std::string(" ") + text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

ModuleLoader::~ModuleLoader() { Close(); }

std::string ModuleLoader::SystemPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  // Wine maps the build machine's root to drive Z:. Naming the drive keeps the path valid
  // whatever drive the calling process is on.
  std::string windowsPath = "Z:" + path;
  for (char& c : windowsPath) {
    if (c == '/') c = '\\';
  }
  return windowsPath;
}

bool ModuleLoader::Open(const std::string& path) {
  Close();
  mHandle = LoadLibraryA(SystemPath(path).c_str());
  if (!mHandle) mError = LastWinError("LoadLibraryA");
  return mHandle != nullptr;
}

void* ModuleLoader::Find(const char* name) {
  if (!mHandle) {
    mError = "no module open";
    return nullptr;
  }
  const FARPROC proc = GetProcAddress(static_cast<HMODULE>(mHandle), name);
  if (!proc) mError = LastWinError("GetProcAddress");
  return reinterpret_cast<void*>(proc);
}

bool ModuleLoader::Close() {
  if (!mHandle) return true;
  const BOOL ok = FreeLibrary(static_cast<HMODULE>(mHandle));
  mHandle = nullptr;
  if (!ok) mError = LastWinError("FreeLibrary");
  return ok != FALSE;
}

bool ModuleLoader::IsResident(const std::string& path) {
  return GetModuleHandleA(SystemPath(path).c_str()) != nullptr;
}

}  // namespace kantele::test
