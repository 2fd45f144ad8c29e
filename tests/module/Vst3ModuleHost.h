#pragma once

// The VST3 bundle's module loaded as a host loads it: opened by path, entered through the
// platform's module call (ModuleEntry with the loader's handle on Linux, InitDll on Windows),
// its factory taken from GetPluginFactory; on the way out the factory released, the module
// left (ModuleExit, ExitDll) and closed.

#include <gtest/gtest.h>

#include "kantele/vst3/Vst3Interface.h"
#include "support/ModuleLoader.h"

namespace kantele::test {

class Vst3Module {
 public:
  using GetFactoryProc = vst3::IPluginFactory*(KANTELE_VST3_CALL*)();

  /// Loads and enters the module at `path`; `Factory()` is null (with a test failure) when any
  /// step fails.
  explicit Vst3Module(const char* path) {
    if (!mLoader.Open(path)) {
      ADD_FAILURE() << mLoader.Error();
      return;
    }
#if defined(_WIN32)
    auto enter = reinterpret_cast<bool (*)()>(mLoader.Find("InitDll"));
    const bool entered = enter && enter();
#else
    auto enter = reinterpret_cast<bool (*)(void*)>(mLoader.Find("ModuleEntry"));
    const bool entered = enter && enter(mLoader.Handle());
#endif
    if (!entered) {
      ADD_FAILURE() << "the module refused to be entered";
      return;
    }
    mEntered = true;
    mGetFactory = reinterpret_cast<GetFactoryProc>(mLoader.Find("GetPluginFactory"));
    mFactory = mGetFactory ? mGetFactory() : nullptr;
    if (!mFactory) ADD_FAILURE() << "no factory";
  }

  ~Vst3Module() {
    if (mFactory) mFactory->release();
#if defined(_WIN32)
    auto leave = reinterpret_cast<bool (*)()>(mLoader.Find("ExitDll"));
#else
    auto leave = reinterpret_cast<bool (*)()>(mLoader.Find("ModuleExit"));
#endif
    if (mEntered) {
      EXPECT_TRUE(leave && leave());
    }
    mLoader.Close();
  }

  Vst3Module(const Vst3Module&) = delete;
  Vst3Module& operator=(const Vst3Module&) = delete;

  vst3::IPluginFactory* Factory() const { return mFactory; }
  GetFactoryProc GetFactory() const { return mGetFactory; }
  ModuleLoader& Loader() { return mLoader; }

 private:
  ModuleLoader mLoader;
  bool mEntered = false;
  GetFactoryProc mGetFactory = nullptr;
  vst3::IPluginFactory* mFactory = nullptr;
};

}  // namespace kantele::test
