#include "kantele/IStateBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kantele/TestPlugin.h"

namespace kantele {
namespace {

using test::Call;
using test::TestPlugin;

const std::vector<double> kDefaults = {32, 87, 0.5, 1, 0, 100, 0.5};

std::vector<uint8_t> Bytes(const ByteChunk& c) {
  return std::vector<uint8_t>(c.GetData(), c.GetData() + c.Size());
}

void AppendDouble(std::vector<uint8_t>& out, double v) {
  uint8_t b[8];
  std::memcpy(b, &v, 8);
  out.insert(out.end(), b, b + 8);
}

ByteChunk FromBytes(const std::vector<uint8_t>& bytes) {
  ByteChunk c;
  c.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
  return c;
}

// The program chunk as the host adapter builds it: header, then the state.
ByteChunk ProgramChunk(const IStateBase& p) {
  ByteChunk c;
  c.InitWithVersionHeader();
  p.SerializeState(c);
  return c;
}

// The bank chunk as the host adapter builds it.
ByteChunk BankChunk(IStateBase& p) {
  ByteChunk c;
  c.InitWithVersionHeader();
  p.ModifyCurrentPreset();
  p.SerializePresets(c);
  return c;
}

// The host adapter's restore of a program chunk: header test, then the state.
int RestoreProgram(IStateBase& p, const ByteChunk& c) {
  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(c, &version);
  return p.UnserializeState(c, start);
}

// The parameter values a preset holds, read into a fresh plug-in.
std::vector<double> StoredValues(const PresetSlot& preset) {
  TestPlugin r;
  r.UnserializeState(preset.mChunk, 0);
  return r.Values();
}

void SetValues(IStateBase& p, const std::vector<double>& v) {
  for (int i = 0; i < p.NParams(); ++i) p.GetParam(i)->SetValue(v[static_cast<size_t>(i)]);
}

const std::vector<double> kOther = {150.25, 12.5, 0.125, 0, 1, 33.33, 0.9};

TEST(StateFormatTest, ProgramChunkAtDefaultsIsHeaderAndSevenDoubles) {
  TestPlugin p;
  const ByteChunk c = ProgramChunk(p);
  std::vector<uint8_t> expected = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  for (double v : kDefaults) AppendDouble(expected, v);
  ASSERT_EQ(c.Size(), 64);
  EXPECT_EQ(Bytes(c), expected);
}

TEST(StateFormatTest, ProgramChunkRestoresEveryValueExactly) {
  TestPlugin a;
  SetValues(a, kOther);
  const ByteChunk c = ProgramChunk(a);
  TestPlugin b;
  EXPECT_EQ(RestoreProgram(b, c), 64);
  EXPECT_EQ(b.Values(), a.Values());
  // Every parameter is announced as changed by a preset, effect first, then editor.
  const auto changes = b.CallsNamed("OnParamChange");
  const auto editor = b.CallsNamed("OnParamChangeInEditor");
  ASSERT_EQ(changes.size(), 7u);
  ASSERT_EQ(editor.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(changes[static_cast<size_t>(i)].mIdx, i);
    EXPECT_EQ(changes[static_cast<size_t>(i)].mSource, kSourcePreset);
    EXPECT_EQ(editor[static_cast<size_t>(i)].mSource, kSourcePreset);
  }
}

TEST(StateFormatTest, HeaderlessChunkIsReadFromTheStart) {
  TestPlugin a;
  SetValues(a, kOther);
  ByteChunk c;
  a.SerializeState(c);
  ASSERT_EQ(c.Size(), 56);
  TestPlugin b;
  EXPECT_EQ(RestoreProgram(b, c), 56);
  EXPECT_EQ(b.Values(), kOther);
}

TEST(StateFormatTest, LongerChunkIsReadOnlyAsFarAsTheParametersGo) {
  TestPlugin a;
  SetValues(a, kOther);
  ByteChunk c = ProgramChunk(a);
  c.Put(12345.0);
  c.PutStr("trailing");
  TestPlugin b;
  EXPECT_EQ(RestoreProgram(b, c), 64);
  EXPECT_EQ(b.Values(), kOther);
}

TEST(StateFormatTest, ValuesFromAChunkAreClampedToTheirRanges) {
  std::vector<uint8_t> bytes;
  for (double v : {250.0, -3.0, 0.12345, 0.4, 0.6, std::nan(""), static_cast<double>(INFINITY)}) {
    AppendDouble(bytes, v);
  }
  TestPlugin p;
  EXPECT_EQ(p.UnserializeState(FromBytes(bytes), 0), 56);
  const std::vector<double> v = p.Values();
  EXPECT_EQ(v[0], 200.0);
  EXPECT_EQ(v[1], 0.0);
  EXPECT_EQ(v[2], 0.12345);
  EXPECT_EQ(v[3], 0.4);  // kept: the processing truncates React and Bypass itself
  EXPECT_EQ(v[4], 0.6);
  EXPECT_EQ(v[5], 0.0);  // NaN becomes the minimum
  EXPECT_EQ(v[6], 1.0);
}

TEST(StateFailureTest, HeaderOnlyChunkSetsFirstParameterFromZeroAndFails) {
  TestPlugin p;
  SetValues(p, kOther);
  ByteChunk c;
  c.InitWithVersionHeader();
  EXPECT_EQ(RestoreProgram(p, c), -1);
  std::vector<double> expected = kOther;
  expected[0] = 0.0;
  EXPECT_EQ(p.Values(), expected);
  EXPECT_EQ(p.CallsNamed("OnParamChange").size(), 7u);
}

TEST(StateFailureTest, TruncationAtEveryLengthAppliesWhatWasReadAndZeroesTheNext) {
  TestPlugin a;
  SetValues(a, kOther);
  const ByteChunk full = ProgramChunk(a);
  for (int n = 8; n < 64; ++n) {
    ByteChunk c = full;
    c.Resize(n);
    TestPlugin b;
    EXPECT_EQ(RestoreProgram(b, c), -1) << n;
    const size_t complete = static_cast<size_t>((n - 8) / 8);
    const std::vector<double> v = b.Values();
    for (size_t i = 0; i < 7; ++i) {
      const double zero = b.GetParam(static_cast<int>(i))->QuantizeAndClamp(0.0);
      const double want = i < complete ? kOther[i] : i == complete ? zero : kDefaults[i];
      EXPECT_EQ(v[i], want) << "length " << n << " parameter " << i;
    }
  }
}

TEST(StateFailureTest, ShortChunkWithMagicWordReadsNothing) {
  for (int n = 4; n < 8; ++n) {
    ByteChunk c;
    c.InitWithVersionHeader();
    c.Resize(n);
    TestPlugin p;
    SetValues(p, kOther);
    EXPECT_EQ(RestoreProgram(p, c), -1);
    EXPECT_EQ(p.Values(), kOther);
    EXPECT_EQ(p.CallsNamed("OnParamChange").size(), 7u);  // still notified
  }
}

class PresetTest : public ::testing::Test {
 protected:
  // As the entry point leaves a new instance: the one preset holds the defaults as "Empty".
  void SetUp() override { p.InitFirstFreePreset("Empty"); }
  TestPlugin p;
};

TEST_F(PresetTest, ConstructionLeavesFreePresetsNamedEmpty) {
  TestPlugin fresh;
  ASSERT_EQ(fresh.NPresets(), 1);
  EXPECT_FALSE(fresh.GetPreset(0)->mInitialized);
  EXPECT_STREQ(fresh.GetPresetName(0), "empty");
  EXPECT_EQ(fresh.GetPreset(0)->mChunk.Size(), 0);
  EXPECT_EQ(fresh.GetCurrentPresetIndex(), 0);
  EXPECT_STREQ(fresh.GetPresetName(1), "");
  EXPECT_STREQ(fresh.GetPresetName(-1), "");
}

TEST_F(PresetTest, BankChunkIsSeventyFourBytes) {
  const ByteChunk c = BankChunk(p);
  std::vector<uint8_t> expected = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00, 5,
                                   0,    0,    0,    'E',  'm',  'p',  't',  'y',  1};
  for (double v : kDefaults) AppendDouble(expected, v);
  ASSERT_EQ(c.Size(), 74);
  EXPECT_EQ(Bytes(c), expected);
}

TEST_F(PresetTest, BankRoundTripRestoresNamesFlagsAndValues) {
  SetValues(p, kOther);
  p.ModifyCurrentPreset("Crunchy");
  const ByteChunk bank = BankChunk(p);
  TestPlugin q;
  q.InitFirstFreePreset("Empty");
  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(bank, &version);
  EXPECT_EQ(version, ByteChunk::kCurrentVersion);
  EXPECT_EQ(q.UnserializePresets(bank, start), bank.Size());
  EXPECT_STREQ(q.GetPresetName(0), "Crunchy");
  EXPECT_EQ(q.Values(), kOther);
  EXPECT_EQ(q.GetPreset(0)->mChunk, p.GetPreset(0)->mChunk);
  EXPECT_FALSE(q.CallsNamed("OnStateRestored").empty());
}

TEST_F(PresetTest, BankPresetStoresValuesAsTheParametersTookThem) {
  std::vector<uint8_t> bytes = {3, 0, 0, 0, 'r', 'a', 'w', 1};
  for (double v : {999.0, 50.004, 0.5, 1.0, 0.0, 100.0, 0.5}) AppendDouble(bytes, v);
  EXPECT_EQ(p.UnserializePresets(FromBytes(bytes), 0), static_cast<int>(bytes.size()));
  double first = 0;
  p.GetPreset(0)->mChunk.Get(&first, 0);
  EXPECT_EQ(first, 200.0);
  EXPECT_EQ(p.Values()[0], 200.0);
  EXPECT_EQ(p.Values()[1], 50.004);
}

TEST_F(PresetTest, BankWithFreedPresetKeepsLiveValuesAndStoresThemUnderUserPresetName) {
  SetValues(p, kOther);
  const ByteChunk before = p.GetPreset(0)->mChunk;  // still the defaults
  std::vector<uint8_t> bytes = {4, 0, 0, 0, 'G', 'o', 'n', 'e', 0};
  EXPECT_EQ(p.UnserializePresets(FromBytes(bytes), 0), 9);
  EXPECT_EQ(p.Values(), kOther);
  EXPECT_TRUE(p.GetPreset(0)->mInitialized);
  EXPECT_STREQ(p.GetPresetName(0), "user preset 1");
  // The preset holds the current values only: restoring it again gives them back, not the
  // defaults it held before.
  EXPECT_NE(p.GetPreset(0)->mChunk, before);
  SetValues(p, kDefaults);
  EXPECT_TRUE(p.RestorePreset(0));
  EXPECT_EQ(p.Values(), kOther);
}

TEST_F(PresetTest, TruncatedBanksFailAndStillEndOnTheCurrentPreset) {
  SetValues(p, kOther);
  p.ModifyCurrentPreset("Stored");
  const ByteChunk full = BankChunk(p);
  for (int n = 8; n < full.Size(); ++n) {
    ByteChunk c = full;
    c.Resize(n);
    TestPlugin q;
    q.InitFirstFreePreset("Empty");
    EXPECT_EQ(q.UnserializePresets(c, 8), -1) << n;
    EXPECT_FALSE(q.CallsNamed("OnStateRestored").empty()) << n;
    // The live values are the current preset's stored state, whatever part of the bank was read.
    EXPECT_EQ(q.Values(), StoredValues(*q.GetPreset(0))) << n;
  }
}

TEST_F(PresetTest, LongPresetNamesAreCutAtACharacterBoundary) {
  // 254 ASCII bytes and then a 2-byte character: the character does not fit in 255 bytes.
  std::string name(254, 'a');
  name += "\xC3\xA4tail";
  p.ModifyCurrentPreset(name.c_str());
  EXPECT_EQ(std::strlen(p.GetPresetName(0)), 254u);

  std::string longName(1000, 'n');
  std::vector<uint8_t> bytes = {0xE8, 0x03, 0, 0};
  bytes.insert(bytes.end(), longName.begin(), longName.end());
  bytes.push_back(1);
  for (double v : kOther) AppendDouble(bytes, v);
  EXPECT_EQ(p.UnserializePresets(FromBytes(bytes), 0), static_cast<int>(bytes.size()));
  EXPECT_EQ(std::string(p.GetPresetName(0)), std::string(255, 'n'));
  EXPECT_EQ(p.Values(), kOther);
}

TEST_F(PresetTest, ModifyCurrentPresetStoresStateAndRenamesOnlyWithAName) {
  SetValues(p, kOther);
  p.ModifyCurrentPreset("");
  EXPECT_STREQ(p.GetPresetName(0), "Empty");
  EXPECT_EQ(StoredValues(*p.GetPreset(0)), kOther);
  p.ModifyCurrentPreset(p.GetPresetName(0));  // renaming to its own name is harmless
  EXPECT_STREQ(p.GetPresetName(0), "Empty");
}

TEST_F(PresetTest, RestoreOutsideThePresetsChangesNothing) {
  SetValues(p, kOther);
  p.mCalls.clear();
  EXPECT_FALSE(p.RestorePreset(1));
  EXPECT_FALSE(p.RestorePreset(-1));
  EXPECT_EQ(p.Values(), kOther);
  EXPECT_EQ(p.GetCurrentPresetIndex(), 0);
  EXPECT_TRUE(p.mCalls.empty());
}

TEST(PresetNamingTest, FreePresetsAreNamedUserPresetInTurn) {
  Config c = test::EffectLikeConfig();
  c.mNPresets = 3;
  TestPlugin p(c);
  p.InitFirstFreePreset("Empty");  // only preset 0
  EXPECT_STREQ(p.GetPresetName(1), "empty");
  SetValues(p, kOther);
  EXPECT_TRUE(p.RestorePreset(1));
  EXPECT_STREQ(p.GetPresetName(1), "user preset 1");
  EXPECT_EQ(p.GetCurrentPresetIndex(), 1);
  EXPECT_TRUE(p.RestorePreset(2));
  EXPECT_STREQ(p.GetPresetName(2), "user preset 2");
  // Made current: the preset notification comes before the restored-state notification.
  const auto& calls = p.mCalls;
  auto modified = std::find_if(calls.begin(), calls.end(),
                               [](const Call& k) { return k.mWhat == "OnPresetsModified"; });
  auto restored = std::find_if(calls.begin(), calls.end(),
                               [](const Call& k) { return k.mWhat == "OnStateRestored"; });
  ASSERT_NE(modified, calls.end());
  EXPECT_LT(modified - calls.begin(), restored - calls.begin());

  // Going back to preset 0 restores the defaults it holds.
  EXPECT_TRUE(p.RestorePreset(0));
  EXPECT_EQ(p.Values(), kDefaults);
  EXPECT_TRUE(p.RestorePreset(1));
  EXPECT_EQ(p.Values(), kOther);
}

TEST(PresetNamingTest, InitFirstFreePresetFillsInOrderAndStopsWhenFull) {
  Config c = test::EffectLikeConfig();
  c.mNPresets = 2;
  TestPlugin p(c);
  p.InitFirstFreePreset("A");
  SetValues(p, kOther);
  p.InitFirstFreePreset("B");
  p.InitFirstFreePreset("C");
  EXPECT_STREQ(p.GetPresetName(0), "A");
  EXPECT_STREQ(p.GetPresetName(1), "B");
  EXPECT_EQ(StoredValues(*p.GetPreset(1)), kOther);
}

TEST(PresetNamingTest, BankEndsOnTheCurrentPresetsState) {
  Config c = test::EffectLikeConfig();
  c.mNPresets = 2;
  TestPlugin a(c);
  a.InitFirstFreePreset("Zero");
  SetValues(a, kOther);
  a.InitFirstFreePreset("One");
  a.RestorePreset(0);
  const ByteChunk bank = BankChunk(a);
  TestPlugin b(c);
  b.InitFirstFreePreset("x");
  b.InitFirstFreePreset("y");
  // The bank's last preset holds kOther, but the current preset is 0: the live values end there.
  EXPECT_EQ(b.UnserializePresets(bank, 8), bank.Size());
  EXPECT_STREQ(b.GetPresetName(0), "Zero");
  EXPECT_STREQ(b.GetPresetName(1), "One");
  EXPECT_EQ(b.GetCurrentPresetIndex(), 0);
  EXPECT_EQ(b.Values(), kDefaults);
  ASSERT_TRUE(b.RestorePreset(1));
  EXPECT_EQ(b.Values(), kOther);
}

}  // namespace
}  // namespace kantele
