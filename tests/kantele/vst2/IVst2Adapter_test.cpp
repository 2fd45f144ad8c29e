// The VST2 adapter driven as a host drives it: plug-ins made by the entry point, every request
// through the effect record's function pointers, every call back into the host recorded by the
// host stub. Observations use the plug-in's public accessors and its recorded calls. This file:
// the effect record, parameters, calls to the host, opening, programs and the plain dispatcher
// requests.

#include "kantele/vst2/IVst2Adapter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2TestPlugin.h"
#include "support/AllocTrap.h"

namespace kantele::vst2test {
namespace {

using namespace vst2;

constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr float kInff = std::numeric_limits<float>::infinity();
constexpr VstIntPtr kHuge = VstIntPtr{1} << 40;

// ---------------------------------------------------------------------------------------------
// The effect record

using EffectRecordTest = Vst2Fixture;

TEST_F(EffectRecordTest, FieldsFollowTheConfiguration) {
  PlugOptions o;
  o.mLatency = 32;
  AEffect* e = Load(o);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numPrograms, 2);
  EXPECT_EQ(e->numParams, 6);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, 0x1019);  // replacing, double replacing, mono layout, editor
  EXPECT_EQ(e->initialDelay, 32);
  EXPECT_EQ(e->ioRatio, 1.f);
  EXPECT_EQ(e->object, IVst2Adapter::FromAEffect(e));
  EXPECT_EQ(e->uniqueID, FourCC('T', 's', 't', 'P'));
  EXPECT_EQ(e->version, 10203);
  EXPECT_TRUE(e->dispatcher && e->process && e->processReplacing && e->processDoubleReplacing &&
              e->getParameter && e->setParameter);
  // The entry point fills every preset the constructor left free.
  EXPECT_EQ(ProgramName(e, 0), "Empty");
  EXPECT_EQ(ProgramName(e, 1), "Empty");
}

TEST_F(EffectRecordTest, FlagsAndCountsPerConfiguration) {
  struct Case {
    const char* mWhat;
    PlugOptions mOptions;
    VstInt32 mFlags;
    VstInt32 mPrograms;
  };
  auto with = [](auto change) {
    PlugOptions o;
    change(o);
    return o;
  };
  const Case cases[] = {
      {"chunks", with([](PlugOptions& o) { o.mChunks = true; }), 0x1039, 2},
      {"stereo only", with([](PlugOptions& o) { o.mIO = "2-2"; }), 0x1011, 2},
      {"instrument", with([](PlugOptions& o) { o.mPlugType = 1; }), 0x1119, 2},
      {"no editor", with([](PlugOptions& o) { o.mEditor = false; }), 0x1018, 2},
      {"bare", with([](PlugOptions& o) { o.mEditor = false, o.mIO = "2-2"; }), 0x1010, 2},
      {"no presets", with([](PlugOptions& o) { o.mPresets = 0; }), 0x1019, 1},
      {"mono to stereo", with([](PlugOptions& o) { o.mIO = "1-2"; }), 0x1019, 2},
  };
  for (const Case& c : cases) {
    AEffect* e = Load(c.mOptions);
    EXPECT_EQ(e->flags, c.mFlags) << c.mWhat;
    EXPECT_EQ(e->numPrograms, c.mPrograms) << c.mWhat;
  }
}

TEST_F(EffectRecordTest, ArrangementsTypeFollowsTheChannelCount) {
  struct Case {
    const char* mIO;
    VstInt32 mInType, mOutType, mIns, mOuts;
  };
  const Case cases[] = {
      {"1-1", 0, 0, 1, 1}, {"2-2", 1, 1, 2, 2},     {"4-4", -2, -2, 4, 4},
      {"-2", -1, 1, 0, 2}, {"1-1 2-2", 1, 1, 2, 2}, {"2-6", 1, -2, 2, 6},
  };
  for (const Case& c : cases) {
    PlugOptions o;
    o.mIO = c.mIO;
    AEffect* e = Load(o);
    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    EXPECT_EQ(Dispatch(e, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
    ASSERT_TRUE(in && out) << c.mIO;
    EXPECT_EQ(in->type, c.mInType) << c.mIO;
    EXPECT_EQ(out->type, c.mOutType) << c.mIO;
    EXPECT_EQ(in->numChannels, c.mIns) << c.mIO;
    EXPECT_EQ(out->numChannels, c.mOuts) << c.mIO;
    EXPECT_EQ(e->numInputs, c.mIns);
    EXPECT_EQ(e->numOutputs, c.mOuts);
  }
}

TEST_F(EffectRecordTest, ARecordWithoutObjectAnswersNothingAndCloseDestroys) {
  AEffect* e = Load();
  AEffect orphan = *e;
  orphan.object = nullptr;
  EXPECT_EQ(orphan.dispatcher(&orphan, effGetVstVersion, 0, 0, nullptr, 0.f), 0);
  EXPECT_EQ(orphan.dispatcher(&orphan, effIdentify, 0, 0, nullptr, 0.f), 0);
  EXPECT_EQ(orphan.getParameter(&orphan, kGain), 0.f);
  orphan.setParameter(&orphan, kGain, 1.f);
  EXPECT_EQ(PlugOf(e).GetParam(kGain)->GetValue(), 50.0);
  std::vector<float> in(16, 0.5f), out(16, 0.125f);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out.data(), out.data()};
  orphan.processReplacing(&orphan, ins, outs, 16);
  orphan.process(&orphan, ins, outs, 16);
  EXPECT_EQ(out, std::vector<float>(16, 0.125f));
  EXPECT_EQ(PlugOf(e).mBlocks, 0);

  const int destroyed = Vst2TestPlugin::Destroyed();
  Close(e);
  EXPECT_EQ(Vst2TestPlugin::Destroyed(), destroyed + 1);
  EXPECT_EQ(orphan.dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.f), 0);
}

// ---------------------------------------------------------------------------------------------
// Parameter callbacks and host calls

using ParamCallbackTest = Vst2Fixture;

TEST_F(ParamCallbackTest, GetAndSetUseNormalisedValuesAndTellTheEditorRealOnes) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  long allocations;
  float gain, invalid, negative;
  {
    test::ScopedAllocTrap trap;
    gain = e->getParameter(e, kGain);
    invalid = e->getParameter(e, kNumTestParams);
    negative = e->getParameter(e, -1);
    e->setParameter(e, kGain, 0.75f);
    e->setParameter(e, kNumTestParams, 0.5f);
    e->setParameter(e, -1, 0.5f);
    allocations = trap.Allocations();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(gain, 0.25f);
  EXPECT_EQ(invalid, 0.f);
  EXPECT_EQ(negative, 0.f);
  EXPECT_EQ(p.GetParam(kGain)->GetValue(), 150.0);
  EXPECT_EQ(p.mParamChanges, (std::vector<ParamChangeRecord>{{kGain, kSourceHost, 150.0}}));
  EXPECT_EQ(e->getParameter(e, kMode), static_cast<float>(1.0 / 3.0));
  p.Tick();
  EXPECT_EQ(p.mEditorValues, (std::vector<ParamChangeRecord>{{kGain, 0, 150.0}}));
}

using HostCallTest = Vst2Fixture;

TEST_F(HostCallTest, EditorGesturesReachTheHostWithTheirIndexAndValue) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  p.BeginParamEditFromEditor(kAmount);
  p.ParamValueFromEditor(kAmount, 0.3);
  p.EndParamEditFromEditor(kAmount);
  p.NotifyHostDisplayChanged();
  ASSERT_EQ(mHost.Opcodes(), (std::vector<VstInt32>{43, 0, 44, 42}));
  for (const HostCall& c : mHost.Calls()) EXPECT_EQ(c.mEffect, e);
  EXPECT_EQ(mHost.Calls()[0].mIndex, kAmount);
  EXPECT_EQ(mHost.Calls()[1].mIndex, kAmount);
  EXPECT_EQ(mHost.Calls()[1].mOpt, 0.3f);
  EXPECT_EQ(mHost.Calls()[2].mIndex, kAmount);
  EXPECT_EQ(p.GetParam(kAmount)->GetValue(), 0.3);
  EXPECT_TRUE(p.NotifyHostBeginEdit(1));
  mHost.mEditAnswer = 0;
  EXPECT_FALSE(p.NotifyHostBeginEdit(1));
  EXPECT_FALSE(p.NotifyHostEndEdit(1));
  EXPECT_FALSE(p.NotifyHostParamValue(1, 0.5));
}

TEST_F(HostCallTest, EditorSizeRequestsAndLatency) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  EXPECT_FALSE(p.ResizeFromEditor(640, 480, true));  // unchanged
  EXPECT_EQ(mHost.Count(audioMasterSizeWindow), 0);
  EXPECT_TRUE(p.ResizeFromEditor(800, 600, true));
  const std::vector<HostCall> size = mHost.Named(audioMasterSizeWindow);
  ASSERT_EQ(size.size(), 1u);
  EXPECT_EQ(size[0].mIndex, 800);
  EXPECT_EQ(size[0].mValue, 600);
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(e, effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect, &p.GetEditRect());
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 600);
  EXPECT_EQ(rect->right, 800);
  mHost.mSizeWindowAnswer = 0;
  EXPECT_FALSE(p.ResizeFromEditor(900, 700, true));
  EXPECT_EQ(p.GetEditorWidth(), 900);  // stored although the host kept its window
  EXPECT_EQ(p.GetEditRect().right, 900);

  p.SetLatency(64);
  EXPECT_EQ(e->initialDelay, 64);
  EXPECT_EQ(p.GetLatency(), 64);
  EXPECT_EQ(mHost.Count(audioMasterIOChanged), 1);

  PlugOptions noEditor;
  noEditor.mEditor = false;
  Vst2TestPlugin& q = PlugOf(Load(noEditor));
  mHost.Clear();
  EXPECT_FALSE(q.ResizeFromEditor(800, 600, true));
  EXPECT_TRUE(mHost.Calls().empty());
}

TEST_F(HostCallTest, MidiLeavesAsOneMidiEventAndTheAnswerDecidesSuccess) {
  PlugOptions o;
  o.mMidiIn = o.mMidiOut = o.mMidiThru = true;
  AEffect* e = Load(o);
  Vst2TestPlugin& p = PlugOf(e);
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof(VstMidiEvent);
  note.deltaFrames = 7;
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  note.midiData[3] = 55;  // not part of a message; must not travel
  VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&note);
  for (VstIntPtr answer : {1, 0, 2}) {
    mHost.mProcessEventsAnswer = answer;
    EXPECT_EQ(Dispatch(e, effProcessEvents, 0, 0, &list), 1);
    ASSERT_FALSE(p.mSentMidi.empty());
    EXPECT_EQ(p.mSentMidi.back(), answer == 1);
  }
  const std::vector<HostCall> sent = mHost.Named(audioMasterProcessEvents);
  ASSERT_EQ(sent.size(), 3u);
  const EventCopy& ev = sent[0].mEvent;
  EXPECT_EQ(ev.mNumEvents, 1);
  EXPECT_EQ(ev.mType, kVstMidiType);
  EXPECT_EQ(ev.mByteSize, 32);
  EXPECT_EQ(ev.mDeltaFrames, 7);
  EXPECT_EQ(ev.mMidi[0], 0x90);
  EXPECT_EQ(ev.mMidi[1], 60);
  EXPECT_EQ(ev.mMidi[2], 100);
  EXPECT_EQ(ev.mMidi[3], 0);
}

// ---------------------------------------------------------------------------------------------
// Opening: host identification

using OpenTest = Vst2Fixture;

TEST_F(OpenTest, TheFirstOpenIdentifiesTheHostOnceAndEveryOpenResetsParams) {
  mHost.mProduct = "REAPER";
  mHost.mVendorVersion = 71234;
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  EXPECT_EQ(p.GetHost(), kHostUninit);
  EXPECT_EQ(Dispatch(e, effOpen), 0);
  EXPECT_EQ(mHost.Opcodes(), (std::vector<VstInt32>{33, 34}));
  EXPECT_TRUE(mHost.mProductBufferZeroed);
  EXPECT_EQ(p.GetHost(), kHostReaper);
  EXPECT_EQ(p.GetHostVersion(), (7u << 16) + (12u << 8) + 34u);
  EXPECT_EQ(p.mHostIdentified, 1);
  ASSERT_EQ(p.mParamChanges.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(p.mParamChanges[i].mIdx, i);
    EXPECT_EQ(p.mParamChanges[i].mSource, kSourceReset);
  }
  mHost.Clear();
  Dispatch(e, effOpen);
  EXPECT_TRUE(mHost.Calls().empty());
  EXPECT_EQ(p.mHostIdentified, 1);
  EXPECT_EQ(p.mParamChanges.size(), 12u);
}

TEST_F(OpenTest, AHostWithoutProductTextIsNotAskedItsVersion) {
  mHost.mVendorVersion = 10000;
  AEffect* e = Load();
  Dispatch(e, effOpen);
  EXPECT_EQ(mHost.Opcodes(), (std::vector<VstInt32>{33}));
  EXPECT_EQ(PlugOf(e).GetHost(), kHostUnknown);
  EXPECT_EQ(PlugOf(e).GetHostVersion(), 0u);
  EXPECT_EQ(PlugOf(e).mHostIdentified, 1);
}

TEST_F(OpenTest, SomeHostsGetInputsFromTheThirdOnDisconnected) {
  struct Case {
    const char* mProduct;
    bool mDisconnects;
  };
  const Case cases[] = {{"Forte 4", true},        {"Adobe Audition CC", true},
                        {"Orion Platinum", true}, {"SAWStudio64", true},
                        {"REAPER", false},        {"", false}};
  for (const Case& c : cases) {
    mHost.mProduct = c.mProduct;
    PlugOptions o;
    o.mIO = "4-4";
    AEffect* e = Load(o);
    Dispatch(e, effOpen);
    const Vst2TestPlugin& p = PlugOf(e);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(p.IsChannelConnected(kDirInput, i), i < 2 || !c.mDisconnects) << c.mProduct << i;
      EXPECT_TRUE(p.IsChannelConnected(kDirOutput, i)) << c.mProduct << i;
    }
    EXPECT_EQ(e->numInputs, 4);
    EXPECT_EQ(e->numOutputs, 4);
    EXPECT_EQ(p.GetInputArrangement().numChannels, 4);
    EXPECT_EQ(p.GetOutputArrangement().numChannels, 4);
  }
}

// ---------------------------------------------------------------------------------------------
// Programs

using ProgramTest = Vst2Fixture;

TEST_F(ProgramTest, SwitchingStoresTheCurrentProgramUnlessTheHostKeepsChunks) {
  for (bool chunks : {false, true}) {
    PlugOptions o;
    o.mChunks = chunks;
    AEffect* e = Load(o);
    const Vst2TestPlugin& p = PlugOf(e);
    e->setParameter(e, kGain, 0.75f);
    Dispatch(e, effSetProgram, 0, 1);
    EXPECT_EQ(Dispatch(e, effGetProgram), 1);
    EXPECT_EQ(p.GetParam(kGain)->GetValue(), 50.0);
    Dispatch(e, effSetProgram, 0, 0);
    EXPECT_EQ(Dispatch(e, effGetProgram), 0);
    EXPECT_EQ(p.GetParam(kGain)->GetValue(), chunks ? 50.0 : 150.0) << chunks;
    Dispatch(e, effSetProgram, 0, 1);
    for (VstIntPtr bad : {VstIntPtr{2}, VstIntPtr{-1}, kHuge, (VstIntPtr{1} << 32) + 1}) {
      Dispatch(e, effSetProgram, 0, bad);
      EXPECT_EQ(Dispatch(e, effGetProgram), 1) << bad;
    }
  }
}

TEST_F(ProgramTest, NamesAreSetAndReadByIndex) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  char lead[] = "Lead";
  Dispatch(e, effSetProgramName, 0, 0, lead);
  EXPECT_EQ(p.mPresetsModified, 1);
  Dispatch(e, effSetProgramName, 0, 0, nullptr);
  EXPECT_EQ(p.mPresetsModified, 1);
  char name[kVstMaxProgNameLen] = "garbage";
  Dispatch(e, effGetProgramName, 0, 0, name);
  EXPECT_EQ(Text(name), "Lead");
  VstIntPtr answer = -1;
  EXPECT_EQ(ProgramName(e, 0, &answer), "Lead");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(ProgramName(e, 1, &answer), "Empty");
  EXPECT_EQ(answer, 1);
  for (int bad : {2, -1, INT_MAX}) {
    EXPECT_EQ(ProgramName(e, bad, &answer), "");
    EXPECT_EQ(answer, 0);
  }
  EXPECT_EQ(Dispatch(e, effGetProgramNameIndexed, 0, 0, nullptr), 0);

  PlugOptions none;
  none.mPresets = 0;
  AEffect* f = Load(none);
  std::strcpy(name, "garbage");
  Dispatch(f, effGetProgramName, 0, 0, name);
  EXPECT_EQ(Text(name), "");
}

// ---------------------------------------------------------------------------------------------
// Parameter texts and properties

using ParamTextTest = Vst2Fixture;

TEST_F(ParamTextTest, LabelDisplayAndNameForValidIndicesOnly) {
  AEffect* e = Load();
  struct Case {
    int mIdx;
    const char *mLabel, *mDisplay, *mName;
  };
  const Case cases[] = {{kGain, "%", "50.00", "Gain"},
                        {kMode, "", "Low", "Mode"},
                        {kSteps, "st", "0", "Steps"},
                        {kAmount, "", "0.250", "Amount"}};
  for (const Case& c : cases) {
    char label[8] = "x", display[8] = "x", name[8] = "x";
    Dispatch(e, effGetParamLabel, c.mIdx, 0, label);
    Dispatch(e, effGetParamDisplay, c.mIdx, 0, display);
    Dispatch(e, effGetParamName, c.mIdx, 0, name);
    EXPECT_EQ(Text(label), c.mLabel);
    EXPECT_EQ(Text(display), c.mDisplay);
    EXPECT_EQ(Text(name), c.mName);
  }
  for (int bad : {-1, int{kNumTestParams}, INT_MAX}) {
    for (VstInt32 op : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
      char text[8] = "keep";
      EXPECT_EQ(Dispatch(e, op, bad, 0, text), 0);
      EXPECT_EQ(Text(text), "keep");
      EXPECT_EQ(Dispatch(e, op, kGain, 0, nullptr), 0);
    }
  }
}

TEST_F(ParamTextTest, TextFromTheHostIsParsedClampedAndQuantised) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  struct Case {
    int mIdx;
    const char* mText;
    double mValue;
  };
  const Case cases[] = {{kGain, "250", 200.0}, {kGain, "abc", 0.0},  {kGain, "12.345", 12.345},
                        {kGain, "-3", 0.0},    {kSteps, "3.6", 4.0}, {kSteps, "-9", -5.0},
                        {kMode, "High", 3.0},  {kMode, "2", 0.0}};
  for (const Case& c : cases) {
    p.mParamChanges.clear();
    char text[32];
    std::strcpy(text, c.mText);
    EXPECT_EQ(Dispatch(e, effString2Parameter, c.mIdx, 0, text), 1) << c.mText;
    EXPECT_EQ(p.GetParam(c.mIdx)->GetValue(), c.mValue) << c.mText;
    EXPECT_EQ(p.mParamChanges, (std::vector<ParamChangeRecord>{{c.mIdx, kSourceHost, c.mValue}}));
  }
  // The editor hears of each value as a real value.
  p.mEditorValues.clear();
  p.Tick();
  ASSERT_EQ(p.mEditorValues.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(p.mEditorValues[i], (ParamChangeRecord{cases[i].mIdx, 0, cases[i].mValue})) << i;
  }

  const std::vector<double> before = p.Values();
  char text[] = "1";
  EXPECT_EQ(Dispatch(e, effString2Parameter, kNumTestParams, 0, text), 0);
  EXPECT_EQ(Dispatch(e, effString2Parameter, -1, 0, text), 0);
  EXPECT_EQ(Dispatch(e, effString2Parameter, kGain, 0, nullptr), 1);
  EXPECT_EQ(p.Values(), before);
}

TEST_F(ParamTextTest, AutomationAndPropertiesFollowTheKind) {
  AEffect* e = Load();
  for (int i = 0; i < kNumTestParams; ++i) {
    EXPECT_EQ(Dispatch(e, effCanBeAutomated, i), i == kSteps ? 0 : 1) << i;
  }
  EXPECT_EQ(Dispatch(e, effCanBeAutomated, kNumTestParams), 0);
  EXPECT_EQ(Dispatch(e, effCanBeAutomated, -1), 0);

  auto props = [e](int idx, VstIntPtr* answer) {
    VstParameterProperties p;
    std::memset(&p, 0x5A, sizeof(p));
    *answer = Dispatch(e, effGetParameterProperties, idx, 0, &p);
    return p;
  };
  VstIntPtr a = 0;
  VstParameterProperties sw = props(kSwitch, &a);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(sw.flags, 1);
  EXPECT_EQ(Text(sw.label), "Switch");  // the name: the unit is effGetParamLabel's
  VstParameterProperties steps = props(kSteps, &a);
  EXPECT_EQ(steps.flags, 10);
  EXPECT_EQ(steps.minInteger, -5);
  EXPECT_EQ(steps.maxInteger, 5);
  EXPECT_EQ(steps.stepInteger, 1);
  EXPECT_EQ(steps.largeStepInteger, 1);
  EXPECT_EQ(Text(steps.label), "Steps");
  VstParameterProperties mode = props(kMode, &a);
  EXPECT_EQ(mode.flags, 10);
  EXPECT_EQ(mode.minInteger, 0);
  EXPECT_EQ(mode.maxInteger, 3);
  VstParameterProperties gain = props(kGain, &a);
  EXPECT_EQ(gain.flags, 4);
  EXPECT_EQ(gain.stepFloat, 0.01f);
  EXPECT_EQ(gain.smallStepFloat, 0.01f);
  EXPECT_EQ(gain.largeStepFloat, 0.01f);
  EXPECT_EQ(Text(gain.label), "Gain");
  EXPECT_EQ(Text(gain.shortLabel), "Gain");
  props(kNumTestParams, &a);
  EXPECT_EQ(a, 0);
  props(-1, &a);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(Dispatch(e, effGetParameterProperties, kGain, 0, nullptr), 0);
}

// ---------------------------------------------------------------------------------------------
// Stream setup, editor, identity

using DispatcherTest = Vst2Fixture;

TEST_F(DispatcherTest, SampleRateBlockSizeAndActivation) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  Dispatch(e, effSetSampleRate, 0, 0, nullptr, 48000.f);
  EXPECT_EQ(p.GetSampleRate(), 48000.0);
  for (float bad : {0.f, kNaNf, -1.f, kInff, -kInff})
    Dispatch(e, effSetSampleRate, 0, 0, nullptr, bad);
  EXPECT_EQ(p.GetSampleRate(), 48000.0);
  EXPECT_EQ(p.SeqOf(Vst2TestPlugin::kReset).size(), 6u);  // the rejected rates still reset

  Dispatch(e, effSetBlockSize, 0, 256);
  EXPECT_EQ(p.GetBlockSize(), 256);
  Dispatch(e, effSetBlockSize, 0, -5);
  EXPECT_EQ(p.GetBlockSize(), 256);
  Dispatch(e, effSetBlockSize, 0, kHuge);
  EXPECT_EQ(p.GetBlockSize(), 1 << 20);
  EXPECT_EQ(p.SeqOf(Vst2TestPlugin::kReset).size(), 9u);
  Dispatch(e, effSetBlockSize, 0, 64);

  p.mSeqLog.clear();
  Dispatch(e, effMainsChanged, 0, 1);
  Dispatch(e, effMainsChanged, 0, 0);
  Dispatch(e, effMainsChanged, 0, -7);
  std::vector<int> kinds;
  for (const SeqRecord& r : p.mSeqLog) kinds.push_back(r.mKind);
  EXPECT_EQ(kinds, (std::vector<int>{Vst2TestPlugin::kActivate, Vst2TestPlugin::kDeactivate,
                                     Vst2TestPlugin::kReset, Vst2TestPlugin::kActivate}));
}

TEST_F(DispatcherTest, EditorRectOpenAndClose) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(e, effEditGetRect, 0, 0, nullptr), 0);
  ASSERT_EQ(Dispatch(e, effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->bottom, 480);
  EXPECT_EQ(rect->right, 640);

  int parent = 0;
  EXPECT_EQ(Dispatch(e, effEditOpen, 0, 0, &parent), 0);  // no window was made
  int window = 0;
  p.mWindow = &window;
  EXPECT_EQ(Dispatch(e, effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(p.mOpenParents, (std::vector<void*>{&parent, &parent}));

  p.mReenterClose = true;
  EXPECT_EQ(Dispatch(e, effEditClose), 1);
  EXPECT_EQ(p.mCloseWindows, 1);   // the nested request did not close again
  EXPECT_EQ(p.mReenterAnswer, 1);  // but was answered as done
  p.mReenterClose = false;
  EXPECT_EQ(Dispatch(e, effEditClose), 1);
  EXPECT_EQ(p.mCloseWindows, 2);

  PlugOptions noEditor;
  noEditor.mEditor = false;
  AEffect* f = Load(noEditor);
  ERect* untouched = reinterpret_cast<ERect*>(&window);
  EXPECT_EQ(Dispatch(f, effEditGetRect, 0, 0, &untouched), 0);
  EXPECT_EQ(untouched, reinterpret_cast<ERect*>(&window));
  EXPECT_EQ(Dispatch(f, effEditClose), 0);
  EXPECT_EQ(PlugOf(f).mCloseWindows, 0);
}

TEST_F(DispatcherTest, IdentityAnswers) {
  PlugOptions synth;
  synth.mPlugType = 1;
  AEffect* e = Load();
  AEffect* s = Load(synth);
  char name[64];
  EXPECT_EQ(Dispatch(e, effGetEffectName, 0, 0, name), 1);
  EXPECT_EQ(Text(name), "Testplug");
  EXPECT_EQ(Dispatch(e, effGetVendorString, 0, 0, name), 1);
  EXPECT_EQ(Text(name), "Kantele Labs");
  EXPECT_EQ(Dispatch(e, effGetProductString, 0, 0, name), 1);
  EXPECT_EQ(Text(name), "Testplug Pro");
  for (VstInt32 op : {effGetEffectName, effGetVendorString, effGetProductString}) {
    EXPECT_EQ(Dispatch(e, op, 0, 0, nullptr), 0);
  }
  EXPECT_EQ(Dispatch(e, effGetVendorVersion), 10203);
  EXPECT_EQ(Dispatch(e, effIdentify), 0x4E764566);
  EXPECT_EQ(Dispatch(e, effGetVstVersion), 2400);
  EXPECT_EQ(Dispatch(e, effGetPlugCategory), 1);
  EXPECT_EQ(Dispatch(s, effGetPlugCategory), 2);
  EXPECT_EQ(Dispatch(e, effGetTailSize), 0);
}

TEST_F(DispatcherTest, DeprecatedAndUnknownRequestsChangeNothing) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  const std::vector<double> before = p.Values();
  const int32_t ops[] = {9,  16, 17, 18, 20, 21, 28, 30, 31, 32,  36,   37, 38,      39,     40, 41,
                         43, 44, 46, 53, 54, 55, 57, 61, 62, 63,  64,   65, 67,      68,     70, 71,
                         72, 73, 74, 75, 76, 77, 78, 79, 80, 100, 1000, -1, INT_MIN, INT_MAX};
  for (int32_t op : ops) {
    unsigned char buffer[256];
    std::memset(buffer, 0xAB, sizeof(buffer));
    EXPECT_EQ(Dispatch(e, op, 1, 1, buffer, 1.f), 0) << op;
    for (unsigned char b : buffer) ASSERT_EQ(b, 0xAB) << op;
  }
  EXPECT_EQ(p.Values(), before);
  EXPECT_TRUE(p.mSeqLog.empty());
  EXPECT_TRUE(p.mParamChanges.empty());
  EXPECT_TRUE(p.mVendorCalls.empty());
  EXPECT_TRUE(mHost.Calls().empty());
}

}  // namespace
}  // namespace kantele::vst2test
