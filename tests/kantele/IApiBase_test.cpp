#include "kantele/IApiBase.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kantele/TestPlugin.h"
#include "support/AllocTrap.h"
#include "support/TimerPump.h"

namespace kantele {
namespace {

using test::Call;
using test::TestPlugin;

// Runs one tick the way the timer does, on the calling thread.
void Tick(IApiBase& p) {
  static std::unique_ptr<Timer> sTimer = Timer::Launch([](Timer&) {}, 3600 * 1000);
  p.OnTimerTick(*sTimer);
}

struct HostCase {
  const char* mText;
  int mCode;
};

TEST(HostTableTest, ProductTextsFromRealHosts) {
  const HostCase cases[] = {
      {"REAPER", 1},
      {"Cubase Pro 11", 3},
      {"WaveLab Elements 10", 32},
      {"WaveLab Pro", 31},
      {"Ableton Live 11", 9},
      {"Bitwig Studio", 34},
      {"Studio One", 0},
      {"Ardour", 28},
      {"Blue Cat's VST Host", 44},
      {"Standalone", 24},
      {"www.reaper.fm", 1},
      {"www.example.com", 35},
      {"", 0},
      {"Bias Peak", 19},
      {"iZotope RX 10", 42},
  };
  for (const HostCase& c : cases) EXPECT_EQ(IApiBase::LookUpHost(c.mText), c.mCode) << c.mText;
  EXPECT_EQ(IApiBase::LookUpHost(nullptr), 0);
}

TEST(HostTableTest, EveryKeyInUpperCaseFindsItsCode) {
  // The keys in search order with their codes; a key containing an earlier key would be found
  // as the earlier one, so the order matters as much as the codes.
  const HostCase keys[] = {
      {"reaper", 1},         {"protools", 2},
      {"cubase", 3},         {"nuendo", 4},
      {"cakewalk", 5},       {"vegas", 6},
      {"fruity", 7},         {"samplitude", 8},
      {"live", 9},           {"tracktion", 10},
      {"ntracks", 11},       {"melodyne", 12},
      {"vstmanlib", 13},     {"aulab", 14},
      {"forte", 15},         {"chainer", 16},
      {"audition", 17},      {"orion", 18},
      {"bias", 19},          {"sawstudio", 20},
      {"logic", 21},         {"garageband", 22},
      {"digital", 23},       {"audiomulch", 25},
      {"presonus", 26},      {"vst3plugintesthost", 27},
      {"ardour", 28},        {"renoise", 29},
      {"openmpt", 30},       {"wavelab elements", 32},
      {"wavelab", 31},       {"twistedwave", 33},
      {"bitwig studio", 34}, {"reason", 36},
      {"gwvst", 37},         {"waveform", 38},
      {"audacity", 39},      {"acoustica", 40},
      {"plugindoctor", 41},  {"izotope rx", 42},
      {"savihost", 43},      {"blue cat's vst host", 44},
      {"standalone", 24},    {"www", 35},
  };
  for (const HostCase& k : keys) {
    std::string upper = std::string("My ") + k.mText + " 2";
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(IApiBase::LookUpHost(upper.c_str()), k.mCode) << upper;
  }
}

TEST(HostTableTest, OnlyTheFirst255CharactersAreLookedAt) {
  std::string text(249, 'x');
  text += "reaper";  // ends at character 255
  EXPECT_EQ(IApiBase::LookUpHost(text.c_str()), 1);
  text.insert(0, "y");  // now the last letter is the 256th
  EXPECT_EQ(IApiBase::LookUpHost(text.c_str()), 0);
  const std::string huge(100000, 'a');
  EXPECT_EQ(IApiBase::LookUpHost(huge.c_str()), 0);
}

TEST(IdentityTest, VersionTextsAndApiNames) {
  Text t;
  IApiBase::FormatVersion(0x10000, t);
  EXPECT_STREQ(t.Get(), "v1.0.0");
  IApiBase::FormatVersion(0x0A0203, t);
  EXPECT_STREQ(t.Get(), "v10.2.3");
  IApiBase::FormatVersion(0xFFFFFFFFu, t);
  EXPECT_STREQ(t.Get(), "v65535.255.255");
  const char* names[] = {"VST2", "VST3", "AU", "AUv3", "AAX", "APP", "WAM", "WEB", "LV2"};
  for (int i = 0; i < 9; ++i) EXPECT_STREQ(IApiBase::GetAPIName(i), names[i]);
  EXPECT_STREQ(IApiBase::GetAPIName(9), "");
  EXPECT_STREQ(IApiBase::GetAPIName(-1), "");
}

TEST(IdentityTest, ConfigurationFillsIdentityAndEditorSize) {
  TestPlugin p;
  EXPECT_STREQ(p.GetPluginName(), "Tolvane");
  EXPECT_STREQ(p.GetMfrName(), "Quellmark");
  EXPECT_EQ(p.GetUniqueID(), 0x6F667A6F);
  EXPECT_EQ(p.GetPluginVersion(), 0x10000u);
  EXPECT_TRUE(p.HasUI());
  EXPECT_STREQ(p.GetAPIName(), "VST2");
  EXPECT_EQ(p.GetHost(), kHostUninit);
  EXPECT_EQ(p.GetEditorWidth(), 1630);
  EXPECT_EQ(p.GetEditorHeight(), 1010);
  EXPECT_EQ(p.GetMinWidth(), 815);
  EXPECT_EQ(p.GetMaxHeight(), 2020);
  p.SetHost("Bitwig Studio", 0x050003);
  EXPECT_EQ(p.GetHost(), kHostBitwig);
  EXPECT_EQ(p.GetHostVersion(), 0x050003u);
  Text name("x");
  EXPECT_FALSE(p.GetMidiNoteName(60, name));
  EXPECT_TRUE(name.IsEmpty());

  // Names longer than 128 bytes are cut.
  Config c = test::EffectLikeConfig();
  const std::string longName(300, 'q');
  c.mPluginName = longName.c_str();
  TestPlugin q(c);
  EXPECT_EQ(std::strlen(q.GetPluginName()), 128u);
}

TEST(ParamQueueTest, HoldsFiveHundredTwelveAndAnOverflowResendsEveryValue) {
  TestPlugin p;
  EXPECT_EQ(p.ParamQueue().StorageBytes(), 8208u);
  EXPECT_EQ(p.MidiFromEditorQueue().StorageBytes(), 264u);
  EXPECT_EQ(p.MidiToEditorQueue().StorageBytes(), 264u);
  EXPECT_EQ(p.SysExFromEditorQueue().StorageBytes(), 2600u);
  EXPECT_EQ(p.SysExToEditorQueue().StorageBytes(), 2600u);

  for (int i = 0; i < 513; ++i) p.QueueParamValueForEditor(0, i * 0.25, false);
  EXPECT_EQ(p.ParamQueue().ElementsAvailable(), 512);
  ParamValueRecord r;
  ASSERT_TRUE(p.ParamQueue().Pop(r));
  EXPECT_EQ(r.mValue, 0.0);
  p.QueueParamValueForEditor(1, 77.0, false);
  EXPECT_EQ(p.ParamQueue().ElementsAvailable(), 512);

  // One tick delivers everything queued, in order, as real values. The 513th record (128) was
  // refused by the full queue, so the tick then sends every parameter's current value.
  p.GetParam(0)->SetValue(128.0);
  Tick(p);
  const auto pushed = p.CallsNamed("PushReal");
  ASSERT_EQ(pushed.size(), 512u + 7u);
  for (int i = 0; i < 511; ++i) EXPECT_EQ(pushed[static_cast<size_t>(i)].mValue, (i + 1) * 0.25);
  EXPECT_EQ(pushed[511], (Call{"PushReal", 1, -1, 77.0}));
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(pushed[512u + static_cast<size_t>(i)],
              (Call{"PushReal", i, -1, p.GetParam(i)->GetValue()}));
  }
  EXPECT_EQ(pushed[512].mValue, 128.0);
  EXPECT_EQ(p.ParamQueue().ElementsAvailable(), 0);
  EXPECT_EQ(p.CallsNamed("OnIdleTick").size(), 1u);

  // The resend happens once.
  p.mCalls.clear();
  Tick(p);
  EXPECT_TRUE(p.CallsNamed("PushReal").empty());
}

TEST(ParamQueueTest, WrappedQueueIsCountedAndEmptiedByOneTick) {
  TestPlugin p;
  for (int i = 0; i < 500; ++i) p.QueueParamValueForEditor(2, 0.5, false);
  Tick(p);
  p.mCalls.clear();
  // The write index wraps past the end and lies below the read index.
  for (int i = 0; i < 300; ++i) p.QueueParamValueForEditor(2, i * 0.001, false);
  EXPECT_EQ(p.ParamQueue().ElementsAvailable(), 300);
  Tick(p);
  EXPECT_EQ(p.CallsNamed("PushReal").size(), 300u);
  EXPECT_EQ(p.CallsNamed("PushReal").back().mValue, 299 * 0.001);
}

TEST(ParamQueueTest, NormalisedValuesTravelAsRealValuesAndBadIndicesAreDropped) {
  TestPlugin p;
  p.QueueParamValueForEditor(0, 0.5, true);  // Input Gain: 0..200
  p.QueueParamValueForEditor(5, 1.0, true);  // Output Gain
  p.QueueParamValueForEditor(7, 0.5, true);
  p.QueueParamValueForEditor(-1, 3.0, false);
  Tick(p);
  EXPECT_EQ(p.CallsNamed("PushReal"),
            (std::vector<Call>{{"PushReal", 0, -1, 100.0}, {"PushReal", 5, -1, 200.0}}));
}

TEST(ParamQueueTest, WithoutAnEditorTheTickOnlyIdles) {
  Config c = test::EffectLikeConfig();
  c.mPlugHasUI = false;
  TestPlugin p(c);
  p.QueueParamValueForEditor(0, 10.0, false);
  p.MidiToEditorQueue().Push(MidiMsg{0, 0x90, 60, 100});
  Tick(p);
  EXPECT_TRUE(p.CallsNamed("PushReal").empty());
  EXPECT_TRUE(p.mMidiToEditor.empty());
  EXPECT_EQ(p.CallsNamed("OnIdleTick").size(), 1u);
  EXPECT_EQ(p.ParamQueue().ElementsAvailable(), 1);
}

TEST(EditorTrafficTest, MidiAndSysExForTheEditorArriveWithTheTick) {
  TestPlugin p;
  for (int i = 0; i < 33; ++i) p.MidiToEditorQueue().Push(MidiMsg{i, 0x90, 60, 1});
  SysExRecord rec;
  rec.mSize = 3;
  rec.mData[0] = 0xF0;
  rec.mData[1] = 0x7D;
  rec.mData[2] = 0xF7;
  p.SysExToEditorQueue().Push(rec);
  Tick(p);
  ASSERT_EQ(p.mMidiToEditor.size(), 32u);
  EXPECT_EQ(p.mMidiToEditor[31].mOffset, 31);
  ASSERT_EQ(p.mSysExToEditor.size(), 1u);
  EXPECT_EQ(p.mSysExToEditor[0], (std::vector<uint8_t>{0xF0, 0x7D, 0xF7}));
}

TEST(EditorTrafficTest, SysExFromTheEditorIsCopiedOrDroppedNeverOverrun) {
  TestPlugin p;
  std::vector<uint8_t> big(600, 0xAB);
  p.SysExFromEditor(SysExMsg{0, 600, big.data()});  // too long for a record
  p.SysExFromEditor(SysExMsg{0, -1, big.data()});
  EXPECT_EQ(p.SysExFromEditorQueue().ElementsAvailable(), 0);

  p.SysExFromEditor(SysExMsg{7, 512, big.data()});
  p.SysExFromEditor(SysExMsg{8, 4, nullptr});
  SysExRecord r;
  ASSERT_TRUE(p.SysExFromEditorQueue().Pop(r));
  EXPECT_EQ(r.mOffset, 7);
  EXPECT_EQ(r.mSize, 512);
  EXPECT_EQ(r.mData[511], 0xAB);
  ASSERT_TRUE(p.SysExFromEditorQueue().Pop(r));
  EXPECT_EQ(r.mSize, 4);
  for (uint8_t b : r.mData) ASSERT_EQ(b, 0);

  for (int i = 0; i < 5; ++i) p.SysExFromEditor(SysExMsg{i, 1, big.data()});
  EXPECT_EQ(p.SysExFromEditorQueue().ElementsAvailable(), 4);

  for (int i = 0; i < 40; ++i) p.MidiFromEditor(MidiMsg{i, 0x80, 1, 2});
  EXPECT_EQ(p.MidiFromEditorQueue().ElementsAvailable(), 32);
  MidiMsg m;
  ASSERT_TRUE(p.MidiFromEditorQueue().Pop(m));
  EXPECT_EQ(m.mOffset, 0);
}

TEST(EditorTrafficTest, ValueFromTheEditorReachesHostEffectAndEditorInOrder) {
  TestPlugin p;
  p.BeginParamEditFromEditor(1);
  p.ParamValueFromEditor(1, 0.123456);
  p.EndParamEditFromEditor(1);
  p.ParamValueFromEditor(9, 0.5);
  const double wet = p.GetParam(1)->ValueFromNormalized(0.123456);
  const std::vector<Call> expected = {
      {"BeginEdit", 1, -1, 0.0},
      {"Automate", 1, -1, 0.123456},  // the normalised value exactly as the editor gave it
      {"OnParamChange", 1, kSourceUI, wet},
      {"OnParamChange1", 1, -1, 0.0},
      {"OnParamChangeInEditor", 1, kSourceUI, 0.0},
      {"EndEdit", 1, -1, 0.0},
  };
  EXPECT_EQ(p.mCalls, expected);
  EXPECT_EQ(p.GetParam(1)->GetValue(), wet);
}

TEST(EditorTrafficTest, AllParamsToHostAndResizeRequests) {
  TestPlugin p;
  p.SendAllParamsToHost();
  const auto automated = p.CallsNamed("Automate");
  ASSERT_EQ(automated.size(), 7u);
  EXPECT_EQ(automated[0].mValue, 32.0 / 200.0);
  EXPECT_EQ(automated[5].mValue, 0.5);

  // The host already has the size: it becomes the editor's, nothing is asked.
  EXPECT_TRUE(p.ResizeFromEditor(900, 600, false));
  EXPECT_TRUE(p.CallsNamed("SizeWindow").empty());
  // A request for the size the editor has asks nothing (in every format).
  EXPECT_FALSE(p.ResizeFromEditor(900, 600, true));
  EXPECT_TRUE(p.ResizeFromEditor(910, 600, true));
  EXPECT_EQ(p.GetEditorWidth(), 910);
  p.mHostAcceptsSize = false;
  EXPECT_FALSE(p.ResizeFromEditor(901, 600, true));
  EXPECT_EQ(p.CallsNamed("SizeWindow").size(), 2u);
  // Without an editor, nothing is asked either.
  Config noUi = test::EffectLikeConfig();
  noUi.mPlugHasUI = false;
  TestPlugin bare(noUi);
  EXPECT_FALSE(bare.ResizeFromEditor(910, 600, true));
  EXPECT_TRUE(bare.CallsNamed("SizeWindow").empty());
}

TEST(EditorTrafficTest, AudioSideQueueOperationsNeverAllocate) {
  TestPlugin p;
  uint8_t data[16] = {};
  test::ScopedAllocTrap trap;
  for (int i = 0; i < 600; ++i) p.QueueParamValueForEditor(i % 7, 0.5, true);
  MidiMsg m;
  while (p.MidiFromEditorQueue().Pop(m)) {
  }
  p.MidiToEditorQueue().Push(MidiMsg{1, 0x90, 1, 1});
  p.QueueSysExForProcessor(SysExMsg{0, 16, data});
  SysExRecord r;
  p.SysExFromEditorQueue().Pop(r);
  EXPECT_EQ(trap.Allocations(), 0);
}

TEST(PluginTimerTest, TimerDeliversQueuedValuesOnTheServicingThread) {
  TestPlugin p;
  p.CreateTimer();
  ASSERT_NE(p.GetTimer(), nullptr);
  p.QueueParamValueForEditor(3, 0.0, false);
  EXPECT_TRUE(test::PumpTimersUntil([&] { return !p.CallsNamed("PushReal").empty(); }, 5000));
  EXPECT_EQ(p.CallsNamed("PushReal")[0], (Call{"PushReal", 3, -1, 0.0}));
  // A second timer replaces the first: ticks keep coming, one per period.
  p.CreateTimer();
  const size_t before = p.CallsNamed("OnIdleTick").size();
  EXPECT_TRUE(
      test::PumpTimersUntil([&] { return p.CallsNamed("OnIdleTick").size() >= before + 3; }, 5000));
}

TEST(PluginTimerTest, TwoInstancesTickIndependently) {
  auto a = std::make_unique<TestPlugin>();
  auto b = std::make_unique<TestPlugin>();
  a->CreateTimer();
  b->CreateTimer();
  EXPECT_TRUE(test::PumpTimersUntil(
      [&] {
        return a->CallsNamed("OnIdleTick").size() >= 2 && b->CallsNamed("OnIdleTick").size() >= 2;
      },
      5000));
  a.reset();  // its timer stops before its queues go
  const size_t before = b->CallsNamed("OnIdleTick").size();
  EXPECT_TRUE(test::PumpTimersUntil(
      [&] { return b->CallsNamed("OnIdleTick").size() >= before + 3; }, 5000));
}

}  // namespace
}  // namespace kantele
