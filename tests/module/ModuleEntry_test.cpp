// The module's entry point and identity, as a host sees them when it scans the module.

#include <gtest/gtest.h>

#include "ModuleHost.h"

namespace kantele::test {
namespace {

using namespace vst2;

using EntryTest = ModuleTest;

TEST_F(EntryTest, BothEntryNamesResolveToOneFunctionThatMakesInstances) {
  void* pluginMain = mModule.Find("VSTPluginMain");
  void* main = mModule.Find("main");
  ASSERT_NE(main, nullptr) << mModule.Error();
  EXPECT_EQ(main, pluginMain);

  // A host that only knows the older name gets a working instance through it.
  PluginInstance instance(reinterpret_cast<VstPluginMainProc>(main));
  ASSERT_TRUE(instance.IsValid());
  EXPECT_EQ(instance.Text(effGetEffectName), "Tolvane");
}

TEST_F(EntryTest, TheRecordDescribesTheEffect) {
  PluginInstance instance(mEntry);
  ASSERT_TRUE(instance.IsValid());
  const AEffect& e = *instance.Effect();
  EXPECT_EQ(e.magic, 0x56737450);
  EXPECT_EQ(e.numPrograms, 1);
  EXPECT_EQ(e.numParams, 7);
  EXPECT_EQ(e.numInputs, 2);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.flags, 0x1019);
  EXPECT_EQ(e.flags & effFlagsProgramChunks, 0);
  EXPECT_EQ(e.uniqueID, 0x6F667A6F);
  EXPECT_EQ(e.version, 10000);
  EXPECT_EQ(e.initialDelay, 0);
  EXPECT_NE(e.object, nullptr);
  EXPECT_NE(e.dispatcher, nullptr);
  EXPECT_NE(e.setParameter, nullptr);
  EXPECT_NE(e.getParameter, nullptr);
  EXPECT_NE(e.processReplacing, nullptr);
  EXPECT_NE(e.processDoubleReplacing, nullptr);

  // Every call of the entry point is a new instance with its own record.
  PluginInstance second(mEntry);
  ASSERT_TRUE(second.IsValid());
  EXPECT_NE(second.Effect(), instance.Effect());
  EXPECT_NE(second.Effect()->object, e.object);
}

TEST_F(EntryTest, IdentityAnswersForTheHostsScan) {
  PluginInstance instance(mEntry);
  ASSERT_TRUE(instance.IsValid());
  instance.Dispatch(effOpen);
  EXPECT_EQ(instance.Text(effGetEffectName), "Tolvane");
  EXPECT_EQ(instance.Text(effGetVendorString), "Quellmark");
  EXPECT_EQ(instance.Text(effGetProductString), "Tolvane");
  EXPECT_EQ(instance.Dispatch(effGetVendorVersion), 10000);
  EXPECT_EQ(instance.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(instance.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(instance.Dispatch(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(instance.Dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 0);
  EXPECT_EQ(instance.Text(effGetProgramNameIndexed, 0), "Empty");
  EXPECT_EQ(instance.Text(effGetProgramName), "Empty");
  EXPECT_EQ(instance.Dispatch(effGetProgram), 0);

  EXPECT_EQ(instance.CanDo("receiveVstTimeInfo"), 1);
  EXPECT_EQ(instance.CanDo("receiveVstEvents"), 0);
  EXPECT_EQ(instance.CanDo("receiveVstMidiEvent"), 0);
  EXPECT_EQ(instance.CanDo("sendVstEvents"), 0);
  EXPECT_EQ(instance.CanDo("hasCockosExtensions"), static_cast<VstIntPtr>(0xBEEF0000));
  EXPECT_EQ(instance.CanDo("somethingNoHostAsks"), 0);
  EXPECT_EQ(instance.Dispatch(effVendorSpecific, 0x12345678, 0, nullptr, 1.f), 0);

  // The editor is announced with the size it opens at: half the design's 1630 x 1010.
  ERect* rect = nullptr;
  ASSERT_EQ(instance.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 815);
  EXPECT_EQ(rect->bottom - rect->top, 505);
  // The editor is a child window of the host's (a window handle on Windows, an X window on
  // Linux): without a parent window to open in, the host gets a refusal, and the announced
  // size stays. (EditorWindow_win_test.cpp and EditorWindow_linux_test.cpp open it in one.)
  EXPECT_EQ(instance.Dispatch(effEditOpen), 0);
  ASSERT_EQ(instance.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 815);
  EXPECT_EQ(instance.Dispatch(effEditIdle), 0);
  instance.Dispatch(effEditClose);
}

TEST_F(EntryTest, ParametersAsTheHostListsThem) {
  struct Expected {
    const char* fullName;  // the parameter properties' name, which hosts show
    const char* name;      // as cut to the interface's 8-byte buffer
    const char* label;
    float normalizedDefault;
  };
  const Expected expected[7] = {
      {"Input Gain", "Input G", "%", 32.f / 200.f},
      {"Wet", "Wet", "%", 0.87f},
      {"Tame", "Tame", "", 0.5f},
      {"React", "React", "", 1.f},
      {"Bypass", "Bypass", "", 0.f},
      {"Output Gain", "Output ", "%", 0.5f},
      {"Bias", "Bias", "", 0.5f},
  };
  PluginInstance instance(mEntry);
  ASSERT_TRUE(instance.IsValid());
  instance.Dispatch(effOpen);
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(instance.Text(effGetParamName, i), expected[i].name);
    EXPECT_EQ(instance.Text(effGetParamLabel, i), expected[i].label);
    EXPECT_NEAR(instance.GetParameter(i), expected[i].normalizedDefault, 1e-6);
    EXPECT_LT(instance.Text(effGetParamDisplay, i).size(), 8u);
    EXPECT_EQ(instance.Dispatch(effCanBeAutomated, i), 1);
    VstParameterProperties props{};
    ASSERT_EQ(instance.Dispatch(effGetParameterProperties, i, 0, &props), 1);
    EXPECT_EQ(std::string(props.label), expected[i].fullName);
    EXPECT_EQ(std::string(props.shortLabel), expected[i].name);
  }
  // Outside the list: nothing written, nothing answered.
  EXPECT_EQ(instance.Text(effGetParamName, 7), "");
  EXPECT_EQ(instance.Text(effGetParamName, -1), "");
  EXPECT_EQ(instance.GetParameter(7), 0.f);

  // A value the host sets reads back, and shows in the display text.
  instance.SetParameter(1, 0.25f);
  EXPECT_NEAR(instance.GetParameter(1), 0.25f, 1e-6);
  EXPECT_EQ(instance.Text(effGetParamDisplay, 1), "25.00");
  EXPECT_EQ(instance.GetParameter(0), expected[0].normalizedDefault);
}

}  // namespace
}  // namespace kantele::test
