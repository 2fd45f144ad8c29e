// The VST3 bundle's module as a host sees it: loaded by path, entered through its exports,
// driven through the interface only; and the same effect in both formats: the VST2 module and
// the VST3 module, loaded side by side, show the same texts and take each other's state.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kantele/vst3/Vst3TestHost.h"
#include "module/ModuleHost.h"
#include "support/ModuleLoader.h"

namespace kantele::test {
namespace {

using namespace vst3;

using GetFactoryProc = IPluginFactory*(KANTELE_VST3_CALL*)();
using ModuleCallProc = bool (*)();
using ModuleEntryProc = bool (*)(void*);

/// Both modules loaded, the VST3 one entered as a host enters it.
class Vst3ModuleTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ASSERT_TRUE(mVst3.Open(TOLVANE_VST3_MODULE_PATH)) << mVst3.Error();
#if defined(_WIN32)
    auto init = reinterpret_cast<ModuleCallProc>(mVst3.Find("InitDll"));
    ASSERT_NE(init, nullptr);
    ASSERT_TRUE(init());
#else
    auto entry = reinterpret_cast<ModuleEntryProc>(mVst3.Find("ModuleEntry"));
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry(mVst3.Handle()));
#endif
    auto get = reinterpret_cast<GetFactoryProc>(mVst3.Find("GetPluginFactory"));
    ASSERT_NE(get, nullptr);
    mFactory = get();
    ASSERT_NE(mFactory, nullptr);
  }
  void TearDown() override {
    if (mFactory) mFactory->release();
    auto exit = reinterpret_cast<ModuleCallProc>(mVst3.Find(kExitName));
    if (exit) EXPECT_TRUE(exit());
    mVst3.Close();
    ModuleTest::TearDown();
  }

#if defined(_WIN32)
  static constexpr const char* kExitName = "ExitDll";
#else
  static constexpr const char* kExitName = "ModuleExit";
#endif
  ModuleLoader mVst3;
  IPluginFactory* mFactory = nullptr;
};

TEST_F(Vst3ModuleTest, OneFactoryOffersTheEffect) {
  auto get = reinterpret_cast<GetFactoryProc>(mVst3.Find("GetPluginFactory"));
  IPluginFactory* again = get();
  EXPECT_EQ(again, mFactory);
  again->release();
#if !defined(_WIN32)
  auto entry = reinterpret_cast<ModuleEntryProc>(mVst3.Find("ModuleEntry"));
  EXPECT_FALSE(entry(nullptr));
#endif
  void* f3 = nullptr;
  ASSERT_EQ(mFactory->queryInterface(IID_IPluginFactory3.data(), &f3), kResultOk);
  PClassInfo2 info = {};
  ASSERT_EQ(static_cast<IPluginFactory3*>(f3)->getClassInfo2(0, &info), kResultOk);
  EXPECT_STREQ(info.name, "Tolvane");
  EXPECT_STREQ(info.vendor, "Quellmark");
  EXPECT_STREQ(info.sdkVersion, "VST 3.7.14");
  static_cast<IPluginFactory3*>(f3)->release();
  Vst3Instance plug(mFactory);
  EXPECT_TRUE(plug.Ok());
}

// Every parameter in both formats: the same name and unit, and at a set of values the same
// display text.
TEST_F(Vst3ModuleTest, ParametersReadTheSameInBothFormats) {
  Vst3Instance vst3(mFactory);
  ASSERT_TRUE(vst3.Ok());
  PluginInstance vst2(mEntry);
  ASSERT_TRUE(vst2.IsValid());
  ASSERT_EQ(vst3.Controller()->getParameterCount(), vst2.Effect()->numParams);
  for (int i = 0; i < vst2.Effect()->numParams; ++i) {
    SCOPED_TRACE(i);
    const ParameterInfo info = vst3.Info(i);
    vst2::VstParameterProperties props = {};
    ASSERT_EQ(vst2.Dispatch(vst2::effGetParameterProperties, i, 0, &props), 1);
    EXPECT_EQ(Vst3Instance::Text(info.title), props.label);
    EXPECT_EQ(Vst3Instance::Text(info.units), vst2.Text(vst2::effGetParamLabel, i));
    for (float v : {0.0f, 0.25f, 0.5f, 0.8125f, 1.0f}) {
      vst2.SetParameter(i, v);
      EXPECT_EQ(vst3.ValueText(i, v), vst2.Text(vst2::effGetParamDisplay, i)) << v;
    }
  }
}

// A state saved by either format restores in the other: the VST3 component's state is the
// VST2 program chunk, byte for byte.
TEST_F(Vst3ModuleTest, StateMovesBetweenTheFormats) {
  Vst3Instance vst3(mFactory);
  ASSERT_TRUE(vst3.Ok());
  PluginInstance vst2(mEntry);
  ASSERT_TRUE(vst2.IsValid());
  const float settings[] = {0.7f, 0.3f, 0.9f, 0.0f, 1.0f, 0.4f, 0.6f};
  for (int i = 0; i < 7; ++i) vst2.SetParameter(i, settings[i]);
  void* data = nullptr;
  const auto size = vst2.Dispatch(vst2::effGetChunk, 1, 0, &data);
  ASSERT_GT(size, 0);
  const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

  ASSERT_EQ(vst3.SetComponentState(chunk), kResultOk);
  EXPECT_EQ(vst3.ComponentState(), chunk);
  for (int i = 0; i < 7; ++i) {
    EXPECT_FLOAT_EQ(static_cast<float>(vst3.Controller()->getParamNormalized(i)), settings[i]);
  }

  // And back: the VST3 state after a change, into a fresh VST2 instance.
  vst3.Controller()->setParamNormalized(0, 0.125);
  std::vector<uint8_t> back = vst3.ComponentState();
  PluginInstance fresh(mEntry);
  ASSERT_EQ(
      fresh.Dispatch(vst2::effSetChunk, 1, static_cast<vst2::VstIntPtr>(back.size()), back.data()),
      1);
  EXPECT_FLOAT_EQ(fresh.GetParameter(0), 0.125f);
  EXPECT_FLOAT_EQ(fresh.GetParameter(4), 1.0f);
}

}  // namespace
}  // namespace kantele::test
