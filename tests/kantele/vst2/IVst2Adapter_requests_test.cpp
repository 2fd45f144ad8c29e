// The VST2 adapter driven as a host drives it (see IVst2Adapter_test.cpp). This file: chunks,
// events, pins and speaker arrangements, capabilities and vendor requests, keys.

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
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
constexpr VstIntPtr kHuge = VstIntPtr{1} << 40;

int32_t WordAt(const void* data, int offset) {
  int32_t w;
  std::memcpy(&w, static_cast<const uint8_t*>(data) + offset, 4);
  return w;
}

std::vector<uint8_t> GetChunk(AEffect* e, int index) {
  void* data = nullptr;
  const VstIntPtr size = Dispatch(e, effGetChunk, index, 0, &data);
  if (size <= 0 || !data) return {};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr SetChunk(AEffect* e, int index, std::vector<uint8_t> bytes) {
  return Dispatch(e, effSetChunk, index, static_cast<VstIntPtr>(bytes.size()), bytes.data());
}

/// Doubles as a chunk holds them, behind the versioned header when `header`.
std::vector<uint8_t> Doubles(std::vector<double> values, bool header, int32_t version = 0x10000) {
  std::vector<uint8_t> out;
  auto put = [&out](const void* p, size_t n) {
    out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  };
  if (header) {
    const int32_t magic = 0x70666674;
    put(&magic, 4);
    put(&version, 4);
  }
  for (double v : values) put(&v, 8);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Chunks

using ChunkTest = Vst2Fixture;

TEST_F(ChunkTest, ProgramAndBankChunksCarryTheHeaderAndRoundTrip) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  EXPECT_EQ(Dispatch(e, effGetChunk, 1, 0, nullptr), 0);
  const std::vector<uint8_t> program = GetChunk(e, 1);
  EXPECT_EQ(program, Doubles({50, 1, 0, 0, 0, 0.25}, true));
  const std::vector<uint8_t> bank = GetChunk(e, 0);
  ASSERT_EQ(bank.size(), 8u + 2 * (4 + 5 + 1 + 48));
  EXPECT_EQ(WordAt(bank.data(), 0), 0x70666674);
  EXPECT_EQ(WordAt(bank.data(), 4), 0x10000);
  EXPECT_EQ(WordAt(bank.data(), 8), 5);
  EXPECT_EQ(std::string(bank.begin() + 12, bank.begin() + 17), "Empty");

  e->setParameter(e, kGain, 1.f);
  e->setParameter(e, kAmount, 1.f);
  const int restored = p.mStateRestored;
  EXPECT_EQ(SetChunk(e, 1, program), 1);
  EXPECT_EQ(p.Values(), (std::vector<double>{50, 1, 0, 0, 0, 0.25}));
  EXPECT_EQ(p.mStateRestored, restored + 1);
  EXPECT_EQ(Dispatch(e, effSetChunk, 1, 8, nullptr), 0);

  // A bank stores the current program first, then carries names and states to another
  // instance.
  char alpha[] = "Alpha";
  Dispatch(e, effSetProgramName, 0, 0, alpha);
  e->setParameter(e, kGain, 0.75f);
  const std::vector<uint8_t> named = GetChunk(e, 0);
  AEffect* f = Load();
  EXPECT_EQ(SetChunk(f, 0, named), 1);
  EXPECT_EQ(ProgramName(f, 0), "Alpha");
  EXPECT_EQ(ProgramName(f, 1), "Empty");
  EXPECT_EQ(PlugOf(f).GetParam(kGain)->GetValue(), 150.0);
  EXPECT_EQ(GetChunk(f, 0), named);
}

TEST_F(ChunkTest, HeaderRulesDecideWhereAndHowAChunkIsRead) {
  PlugOptions o;
  o.mChunks = true;  // switching programs stores nothing, so a stored program shows
  AEffect* e = Load(o);
  Vst2TestPlugin& p = PlugOf(e);
  const std::vector<double> state = {20, 2, 1, -2, 1, 0.5};

  // Three bytes: no header, read from 0, the first value runs out (set from 0.0), answer 0.
  e->setParameter(e, kGain, 0.75f);
  EXPECT_EQ(SetChunk(e, 1, {1, 2, 3}), 0);
  EXPECT_EQ(p.GetParam(kGain)->GetValue(), 0.0);
  EXPECT_EQ(p.GetParam(kMode)->GetValue(), 1.0);
  e->setParameter(e, kGain, 0.75f);
  EXPECT_EQ(SetChunk(e, 0, {1, 2, 3}), 0);
  EXPECT_EQ(p.GetParam(kGain)->GetValue(), 0.0);

  // Four to seven bytes beginning with the magic word: nothing can be read.
  for (int n = 4; n < 8; ++n) {
    e->setParameter(e, kGain, 0.75f);
    std::vector<uint8_t> bytes = Doubles({}, true);
    bytes.resize(static_cast<size_t>(n));
    EXPECT_EQ(SetChunk(e, 1, bytes), 0) << n;
    EXPECT_EQ(SetChunk(e, 0, bytes), 0) << n;
    EXPECT_EQ(p.GetParam(kGain)->GetValue(), 150.0) << n;
  }

  // Program chunks with or without the header, and bank chunks without one or with an older
  // version, are one state; the bank forms also become the current program.
  struct Case {
    int mIndex;
    bool mHeader;
    int32_t mVersion;
  };
  for (const Case& c :
       {Case{1, true, 0x10000}, Case{1, false, 0}, Case{0, false, 0}, Case{0, true, 0xFFFF}}) {
    EXPECT_EQ(SetChunk(e, c.mIndex, Doubles(state, c.mHeader, c.mVersion)), 1);
    EXPECT_EQ(p.Values(), state);
    if (c.mIndex == 0) {
      Dispatch(e, effSetProgram, 0, 1);
      Dispatch(e, effSetProgram, 0, 0);
      EXPECT_EQ(p.Values(), state) << c.mVersion;
    }
    SetChunk(e, 1, Doubles({50, 1, 0, 0, 0, 0.25}, false));
  }

  // A bank with the current header is a preset list; these bytes are not one.
  EXPECT_EQ(SetChunk(e, 0, Doubles(state, true)), 0);
  // A program chunk that could not be read is not announced as a restored state.
  const int restored = p.mStateRestored;
  EXPECT_EQ(SetChunk(e, 1, {1, 2, 3}), 0);
  EXPECT_EQ(p.mStateRestored, restored);

  // Sizes a host cannot mean are refused before anything is read.
  const std::vector<double> before = p.Values();
  std::vector<uint8_t> small = Doubles(state, false);
  for (VstIntPtr size : {VstIntPtr{-1}, VstIntPtr{64 * 1024 * 1024 + 1}, kHuge}) {
    EXPECT_EQ(Dispatch(e, effSetChunk, 1, size, small.data()), 0);
    EXPECT_EQ(Dispatch(e, effSetChunk, 0, size, small.data()), 0);
  }
  EXPECT_EQ(p.Values(), before);
}

TEST_F(ChunkTest, AHostMayHandBackThePluginsOwnBuffer) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  for (int index : {1, 0}) {
    e->setParameter(e, kGain, 0.75f);
    void* data = nullptr;
    const VstIntPtr size = Dispatch(e, effGetChunk, index, 0, &data);
    ASSERT_GT(size, 0);
    e->setParameter(e, kGain, 0.25f);
    EXPECT_EQ(Dispatch(e, effSetChunk, index, size, data), 1) << index;
    EXPECT_EQ(p.GetParam(kGain)->GetValue(), 150.0) << index;
  }
}

// ---------------------------------------------------------------------------------------------
// Events

using EventsTest = Vst2Fixture;

/// An event list with room for N events (hosts allocate as many as they send).
template <int N>
struct EventList {
  VstInt32 numEvents = 0;
  VstIntPtr reserved = 0;
  VstEvent* events[N] = {};
  VstEvents* Get() { return reinterpret_cast<VstEvents*>(this); }
};
static_assert(offsetof(EventList<8>, events) == offsetof(VstEvents, events), "event list layout");

TEST_F(EventsTest, MidiAndSysExReachTheProcessorAndMidiTheEditor) {
  PlugOptions o;
  o.mMidiIn = true;
  AEffect* e = Load(o);
  Vst2TestPlugin& p = PlugOf(e);
  VstMidiEvent on{kVstMidiType, 32, 5, 0, 0, 0, {char(0x90), 60, 100, 0}, 0, 0, 0, 0};
  VstMidiEvent off{kVstMidiType, 32, 0, 0, 0, 0, {char(0x80), 60, 0, 0}, 0, 0, 0, 0};
  char dump[] = {char(0xF0), 1, 2, char(0xF7)};
  VstMidiSysexEvent sysex{kVstSysExType, 48, 9, 0, 4, 0, dump, 0};
  VstMidiSysexEvent negative{kVstSysExType, 48, 1, 0, -3, 0, dump, 0};
  VstMidiSysexEvent noDump{kVstSysExType, 48, 2, 0, 6, 0, nullptr, 0};
  VstMidiSysexEvent other{2, 48, 0, 0, 4, 0, dump, 0};
  EventList<8> list;
  VstEvent* events[] = {
      reinterpret_cast<VstEvent*>(&on),     nullptr,
      reinterpret_cast<VstEvent*>(&sysex),  reinterpret_cast<VstEvent*>(&negative),
      reinterpret_cast<VstEvent*>(&noDump), reinterpret_cast<VstEvent*>(&other),
      reinterpret_cast<VstEvent*>(&off)};
  list.numEvents = 7;
  std::copy(std::begin(events), std::end(events), list.events);
  long allocations;
  VstIntPtr answer;
  {
    test::ScopedAllocTrap trap;
    answer = Dispatch(e, effProcessEvents, 0, 0, list.Get());
    allocations = trap.Allocations();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(answer, 1);
  ASSERT_EQ(p.mMidi.size(), 2u);
  EXPECT_EQ(p.mMidi[0].mOffset, 5);
  EXPECT_EQ(p.mMidi[0].mStatus, 0x90);
  EXPECT_EQ(p.mMidi[0].mData1, 60);
  EXPECT_EQ(p.mMidi[0].mData2, 100);
  EXPECT_EQ(p.mMidi[1].mStatus, 0x80);
  ASSERT_EQ(p.mSysEx.size(), 3u);
  EXPECT_EQ(p.mSysEx[0].mOffset, 9);
  EXPECT_EQ(p.mSysEx[0].mSize, 4);
  EXPECT_EQ(p.mSysEx[0].mData, reinterpret_cast<const uint8_t*>(dump));
  EXPECT_EQ(p.mSysEx[0].mHead[3], 0xF7);
  for (int i : {1, 2}) {
    EXPECT_EQ(p.mSysEx[i].mSize, 0);
    EXPECT_EQ(p.mSysEx[i].mData, nullptr);
  }
  EXPECT_EQ(p.mSysEx[2].mOffset, 2);
  p.Tick();
  ASSERT_EQ(p.mEditorMidi.size(), 2u);
  EXPECT_EQ(p.mEditorMidi[1].mStatus, 0x80);
  EXPECT_EQ(Dispatch(e, effProcessEvents, 0, 0, nullptr), 0);

  // The queue for the editor holds 32 messages; more in one go are dropped for the editor only.
  EventList<40> many;
  many.numEvents = 40;
  for (VstEvent*& ev : many.events) ev = reinterpret_cast<VstEvent*>(&on);
  p.mMidi.clear();
  p.mEditorMidi.clear();
  EXPECT_EQ(Dispatch(e, effProcessEvents, 0, 0, many.Get()), 1);
  EXPECT_EQ(p.mMidi.size(), 40u);
  p.Tick();
  EXPECT_EQ(p.mEditorMidi.size(), 32u);
}

// ---------------------------------------------------------------------------------------------
// Pins and speaker arrangements

using ChannelTest = Vst2Fixture;

TEST_F(ChannelTest, PinPropertiesPairChannelsAndNameThem) {
  struct Case {
    const char* mIO;
    int mIndex;
    VstIntPtr mAnswer;
    VstInt32 mFlags;
    const char* mInLabel;
  };
  const Case cases[] = {
      {"4-4", 0, 1, 3, "Input 1"},     {"4-4", 1, 1, 1, "Input 2"}, {"4-4", 2, 1, 3, "Input 3"},
      {"4-4", 3, 1, 1, "Input 4"},     {"4-4", 4, 0, 0, nullptr},   {"4-4", -1, 0, 0, nullptr},
      {"1-1 2-2", 0, 1, 3, "Input 1"}, {"1-1", 0, 1, 1, "Input 1"}, {"3-3", 2, 1, 1, "Input 3"}};
  for (const Case& c : cases) {
    PlugOptions o;
    o.mIO = c.mIO;
    AEffect* e = Load(o);
    VstPinProperties in{}, out{};
    EXPECT_EQ(Dispatch(e, effGetInputProperties, c.mIndex, 0, &in), c.mAnswer);
    EXPECT_EQ(Dispatch(e, effGetOutputProperties, c.mIndex, 0, &out), c.mAnswer);
    EXPECT_EQ(in.flags, c.mFlags) << c.mIO << " " << c.mIndex;
    EXPECT_EQ(out.flags, c.mFlags);
    if (c.mInLabel) {
      EXPECT_EQ(Text(in.label), c.mInLabel);
      EXPECT_EQ(Text(out.label), "Output " + std::to_string(c.mIndex + 1));
    }
    EXPECT_EQ(Dispatch(e, effGetInputProperties, 0, 0, nullptr), 0);
    EXPECT_EQ(Dispatch(e, effGetOutputProperties, 0, 0, nullptr), 0);
  }
}

TEST_F(ChannelTest, SpeakerArrangementsConnectTheLeadingChannels) {
  PlugOptions o;
  o.mIO = "4-4";
  AEffect* e = Load(o);
  const Vst2TestPlugin& p = PlugOf(e);
  auto connected = [&p](EChannelDirection dir) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += p.IsChannelConnected(dir, i) ? '1' : '0';
    return s;
  };
  auto arrangement = [](int n) {
    VstSpeakerArrangement a{};
    a.numChannels = n;
    return a;
  };
  auto set = [e](VstSpeakerArrangement* in, VstSpeakerArrangement* out) {
    return Dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(in), out);
  };
  VstSpeakerArrangement mono = arrangement(1), stereo = arrangement(2), three = arrangement(3),
                        four = arrangement(4), five = arrangement(5), none = arrangement(0),
                        negative = arrangement(-1);
  EXPECT_EQ(set(&mono, &stereo), 1);
  EXPECT_EQ(connected(kDirInput), "1000");
  EXPECT_EQ(connected(kDirOutput), "1100");
  EXPECT_EQ(set(&five, &stereo), 0);
  EXPECT_EQ(set(&negative, &four), 0);
  EXPECT_EQ(connected(kDirInput), "1000");
  EXPECT_EQ(connected(kDirOutput), "1100");
  EXPECT_EQ(set(&three, &five), 0);  // the inputs were taken before the outputs were refused
  EXPECT_EQ(connected(kDirInput), "1110");
  EXPECT_EQ(connected(kDirOutput), "1100");
  EXPECT_EQ(set(&three, &negative), 0);
  EXPECT_EQ(set(&four, nullptr), 1);
  EXPECT_EQ(connected(kDirInput), "1111");
  EXPECT_EQ(set(nullptr, &none), 1);
  EXPECT_EQ(connected(kDirInput), "1111");
  EXPECT_EQ(connected(kDirOutput), "0000");

  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(Dispatch(e, effGetSpeakerArrangement, 0, 0, &out), 1);
  EXPECT_EQ(out, &p.GetOutputArrangement());
  EXPECT_EQ(Dispatch(e, effGetSpeakerArrangement, 0, 0, nullptr), 1);
}

// ---------------------------------------------------------------------------------------------
// Capabilities and vendor requests

using CapabilityTest = Vst2Fixture;

TEST_F(CapabilityTest, AnswersDependOnTheConfigurationAndTheRestGoToThePlugin) {
  PlugOptions midi;
  midi.mMidiIn = midi.mMidiOut = midi.mMpe = true;
  AEffect* plain = Load();
  AEffect* full = Load(midi);
  PlugOf(plain).mCanDoAnswer = 7;
  PlugOf(full).mCanDoAnswer = 7;
  struct Case {
    const char* mText;
    VstIntPtr mPlain, mFull;
  };
  const VstIntPtr kCockos = static_cast<VstIntPtr>(0xBEEF0000);
  const Case cases[] = {{"receiveVstTimeInfo", 1, 1},
                        {"receiveVstEvents", 7, 1},
                        {"receiveVstMidiEvent", 7, 1},
                        {"sendVstEvents", 7, 1},
                        {"sendVstMidiEvent", 7, 1},
                        {"wantsChannelCountNotifications", 1, 1},
                        {"MPE", 0, 1},
                        {"bypass", 7, 7},
                        {"hasCockosExtensions", kCockos, kCockos}};
  for (const Case& c : cases) {
    std::string text = c.mText;
    EXPECT_EQ(Dispatch(plain, effCanDo, 0, 0, text.data()), c.mPlain) << c.mText;
    EXPECT_EQ(Dispatch(full, effCanDo, 0, 0, text.data()), c.mFull) << c.mText;
  }
  EXPECT_EQ(PlugOf(plain).mCanDoTexts,
            (std::vector<std::string>{"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                      "sendVstMidiEvent", "bypass"}));
  EXPECT_EQ(PlugOf(full).mCanDoTexts, (std::vector<std::string>{"bypass"}));
  EXPECT_EQ(PlugOf(plain).GetExtensionFlags(), 1);
  char view[] = "hasCockosViewAsConfig";
  EXPECT_EQ(Dispatch(plain, effCanDo, 0, 0, view), kCockos);
  EXPECT_EQ(PlugOf(plain).GetExtensionFlags(), 3);
  EXPECT_EQ(Dispatch(plain, effCanDo, 0, 0, nullptr), 0);
  EXPECT_EQ(PlugOf(plain).mCanDoTexts.size(), 5u);
}

TEST_F(CapabilityTest, ExtensionRequestsForParameterTexts) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  p.mVendorAnswer = 42;
  const VstIntPtr kBeef = 0xBEEF;
  char text[64];

  // 7: a normalised value as display text.
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 7, kGain, text, 0.5f), kBeef);
  EXPECT_EQ(Text(text), "100.00");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 7, kMode, text, 1.f), kBeef);
  EXPECT_EQ(Text(text), "High");
  std::strcpy(text, "keep");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 7, kNumTestParams, text, 0.5f), kBeef);
  EXPECT_EQ(Text(text), "keep");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 7, kGain, nullptr, 0.5f), 42);

  // 8: whether a parameter is two-valued.
  const VstIntPtr twoValued[kNumTestParams] = {42, 42, kBeef, 42, kBeef, 42};
  for (int i = 0; i < kNumTestParams; ++i) {
    EXPECT_EQ(Dispatch(e, effVendorSpecific, 8, i), twoValued[i]) << i;
  }
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 8, -1), 42);

  // 27: display text to a normalised value, written back.
  std::strcpy(text, "150");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 27, kGain, text), kBeef);
  EXPECT_EQ(Text(text), "0.75000000000000000");
  std::strcpy(text, "Mid");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 27, kMode, text), kBeef);
  EXPECT_EQ(Text(text), "0.66666666666666663");
  text[0] = '\0';
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 27, kGain, text), kBeef);
  EXPECT_EQ(Text(text), "");
  std::strcpy(text, "150");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 27, kNumTestParams, text), 42);
  EXPECT_EQ(Text(text), "150");
  EXPECT_EQ(Dispatch(e, effVendorSpecific, 27, kGain, nullptr), 42);

  EXPECT_EQ(Dispatch(e, effVendorSpecific, 99, -5, text, 2.5f), 42);
  ASSERT_FALSE(p.mVendorCalls.empty());
  const Vst2TestPlugin::VendorCall& last = p.mVendorCalls.back();
  EXPECT_EQ(last.mIndex, 99);
  EXPECT_EQ(last.mValue, -5);
  EXPECT_EQ(last.mPtr, text);
  EXPECT_EQ(last.mOpt, 2.5f);
  EXPECT_EQ(p.mVendorCalls.size(), 9u);  // 7 once, 8 five times, 27 twice, 99 once
}

// ---------------------------------------------------------------------------------------------
// Keys and MIDI note names

using KeyTest = Vst2Fixture;

TEST_F(KeyTest, KeyEventsBecomeKeyPressesWithModifiers) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  struct Case {
    float mOpt;
    bool mS, mC, mA;
  };
  for (const Case& c : {Case{0.f, false, false, false}, Case{1.f, true, false, false},
                        Case{2.f, false, false, true}, Case{8.f, false, true, false},
                        Case{4.f, false, false, false}, Case{11.f, true, true, true},
                        Case{kNaNf, false, false, false}, Case{3e9f, false, false, false}}) {
    p.mKeys.clear();
    EXPECT_EQ(Dispatch(e, effEditKeyDown, 'x', VKEY_F5, nullptr, c.mOpt), 1);
    p.mKeyHandled = false;
    EXPECT_EQ(Dispatch(e, effEditKeyUp, 'x', VKEY_F5, nullptr, c.mOpt), 0);
    p.mKeyHandled = true;
    ASSERT_EQ(p.mKeys.size(), 2u);
    for (const KeyRecord& k : p.mKeys) {
      EXPECT_EQ(Text(k.mKey.utf8), "x");
      EXPECT_EQ(k.mKey.VK, 116);
      EXPECT_EQ(k.mKey.S, c.mS) << c.mOpt;
      EXPECT_EQ(k.mKey.C, c.mC) << c.mOpt;
      EXPECT_EQ(k.mKey.A, c.mA) << c.mOpt;
    }
    EXPECT_TRUE(p.mKeys[0].mDown);
    EXPECT_FALSE(p.mKeys[1].mDown);
  }
}

TEST_F(KeyTest, InterfaceKeysMapToWindowsVirtualKeys) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  struct Case {
    VstInt32 mKey;
    int mVK;
  };
  std::vector<Case> cases = {{VKEY_BACK, 8},
                             {VKEY_TAB, 9},
                             {VKEY_CLEAR, 12},
                             {VKEY_RETURN, 13},
                             {VKEY_PAUSE, 19},
                             {VKEY_ESCAPE, 27},
                             {VKEY_SPACE, 32},
                             {VKEY_NEXT, 34},
                             {VKEY_END, 35},
                             {VKEY_HOME, 36},
                             {VKEY_LEFT, 37},
                             {VKEY_UP, 38},
                             {VKEY_RIGHT, 39},
                             {VKEY_DOWN, 40},
                             {VKEY_PAGEUP, 33},
                             {VKEY_PAGEDOWN, 34},
                             {VKEY_SELECT, 41},
                             {VKEY_PRINT, 42},
                             {VKEY_ENTER, 13},
                             {VKEY_SNAPSHOT, 44},
                             {VKEY_INSERT, 45},
                             {VKEY_DELETE, 46},
                             {VKEY_HELP, 47},
                             {VKEY_MULTIPLY, 106},
                             {VKEY_ADD, 107},
                             {VKEY_SEPARATOR, 108},
                             {VKEY_SUBTRACT, 109},
                             {VKEY_DECIMAL, 110},
                             {VKEY_DIVIDE, 111},
                             {VKEY_NUMLOCK, 144},
                             {VKEY_SCROLL, 145},
                             {VKEY_SHIFT, 16},
                             {VKEY_CONTROL, 17},
                             {VKEY_ALT, 18},
                             {58, 0},
                             {-3, 0},
                             {INT_MAX, 0}};
  for (int i = 0; i < 10; ++i) cases.push_back({VKEY_NUMPAD0 + i, 96 + i});
  for (int i = 0; i < 12; ++i) cases.push_back({VKEY_F1 + i, 112 + i});
  for (const Case& c : cases) {
    p.mKeys.clear();
    Dispatch(e, effEditKeyDown, 'q', c.mKey);
    ASSERT_EQ(p.mKeys.size(), 1u);
    EXPECT_EQ(p.mKeys[0].mKey.VK, c.mVK) << "interface key " << c.mKey;
  }
  p.mKeys.clear();
  Dispatch(e, effEditKeyDown, 'q', kHuge);  // beyond 32 bits: no key
  ASSERT_EQ(p.mKeys.size(), 1u);
  EXPECT_EQ(p.mKeys[0].mKey.VK, 0);
}

TEST_F(KeyTest, MidiKeyNamesComeFromThePlugin) {
  AEffect* e = Load();
  MidiKeyName key{};
  key.thisKeyNumber = 60;
  std::strcpy(key.keyName, "garbage");
  EXPECT_EQ(Dispatch(e, effGetMidiKeyName, 0, 0, &key), 1);
  EXPECT_EQ(Text(key.keyName), "Middle C");
  key.thisKeyNumber = 0;
  std::strcpy(key.keyName, "garbage");
  EXPECT_EQ(Dispatch(e, effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_EQ(Text(key.keyName), "");
  EXPECT_EQ(Dispatch(e, effGetMidiKeyName, 0, 0, nullptr), 0);
}

}  // namespace
}  // namespace kantele::vst2test
