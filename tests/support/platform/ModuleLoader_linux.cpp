#include <dlfcn.h>

#include "support/ModuleLoader.h"

namespace kantele::test {

namespace {

std::string LastDlError(const char* what) {
  const char* text = dlerror();
  return std::string(what) + ": " + (text ? text : "unknown error");
}

}  // namespace

ModuleLoader::~ModuleLoader() { Close(); }

std::string ModuleLoader::SystemPath(const std::string& path) { return path; }

bool ModuleLoader::Open(const std::string& path) {
  Close();
  // Immediate binding, as hosts do, so a missing symbol fails here and not in the middle of a
  // callback; local, so nothing the module exports can satisfy another module's lookups.
  mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) mError = LastDlError("dlopen");
  return mHandle != nullptr;
}

void* ModuleLoader::Find(const char* name) {
  if (!mHandle) {
    mError = "no module open";
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(mHandle, name);
  if (!symbol) mError = LastDlError("dlsym");
  return symbol;
}

bool ModuleLoader::Close() {
  if (!mHandle) return true;
  const int rc = dlclose(mHandle);
  mHandle = nullptr;
  if (rc != 0) mError = LastDlError("dlclose");
  return rc == 0;
}

bool ModuleLoader::IsResident(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);  // the reference RTLD_NOLOAD just added
  return true;
}

}  // namespace kantele::test
