#include "kantele/IProcessor.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "support/AllocTrap.h"

namespace kantele {
namespace {

ProcessorConfig Config(const char* channelIO) {
  ProcessorConfig c;
  c.mChannelIO = channelIO;
  return c;
}

// A processor that records what ProcessBlock sees (into fixed storage, so it
// never allocates) and writes out[c][i] = 2 * in[c][i] + 0.5 * (c + 1), or runs
// the frame's default when mUseDefault is set. SendMidiMsg records and answers
// from mSendResults.
class RecordingProcessor : public IProcessor {
 public:
  static constexpr int kMaxCh = 4;
  static constexpr int kMaxFrames = 16;

  explicit RecordingProcessor(const char* channelIO) : IProcessor(Config(channelIO)) {}

  void ProcessBlock(Sample** inputs, Sample** outputs, int nFrames) override {
    ++mCalls;
    mFrames = nFrames;
    for (int i = 0; i < NBlockParamChanges(); ++i) {
      const ParamChange& c = GetBlockParamChanges()[i];
      mChanges.push_back({mCalls, c.mIdx, c.mOffset, c.mValue});
    }
    const int nIn = MaxNChannels(kDirInput), nOut = MaxNChannels(kDirOutput);
    for (int c = 0; inputs && c < nIn && c < kMaxCh; ++c) {
      mIn[c] = inputs[c];
      for (int i = 0; i < nFrames && i < kMaxFrames; ++i) mInValues[c][i] = inputs[c][i];
    }
    for (int c = 0; outputs && c < nOut && c < kMaxCh; ++c) {
      if (!outputs[c]) continue;
      mOut[c] = outputs[c];
      for (int i = 0; i < nFrames && i < kMaxFrames; ++i) mOutOnEntry[c][i] = outputs[c][i];
    }
    if (mUseDefault) {
      IProcessor::ProcessBlock(inputs, outputs, nFrames);
      return;
    }
    for (int c = 0; c < nOut; ++c) {
      for (int i = 0; i < nFrames; ++i) {
        outputs[c][i] = (c < nIn ? 2.0 * inputs[c][i] : 0.0) + 0.5 * (c + 1);
      }
    }
  }

  bool SendMidiMsg(const MidiMsg& msg) override {
    mSent.push_back(msg);
    const size_t i = mSent.size() - 1;
    return i < mSendResults.size() ? mSendResults[i] : true;
  }

  using IProcessor::AddBlockParamChange;

  /// A timed change as one ProcessBlock call saw it.
  struct SeenChange {
    int mCall, mIdx, mOffset;
    double mValue;
    bool operator==(const SeenChange& o) const {
      return mCall == o.mCall && mIdx == o.mIdx && mOffset == o.mOffset && mValue == o.mValue;
    }
  };

  bool mUseDefault = false;
  std::vector<SeenChange> mChanges;
  int mCalls = 0;
  int mFrames = -1;
  Sample* mIn[kMaxCh] = {};
  Sample* mOut[kMaxCh] = {};
  double mInValues[kMaxCh][kMaxFrames] = {};
  double mOutOnEntry[kMaxCh][kMaxFrames] = {};
  std::vector<MidiMsg> mSent;
  std::vector<bool> mSendResults;
};

struct Parsed {
  std::vector<ChannelConfig> configs;
  int count, maxIn, maxOut, maxInBuses, maxOutBuses;
};

Parsed Parse(const char* text) {
  Parsed p;
  p.count =
      IProcessor::ParseChannelIO(text, p.configs, p.maxIn, p.maxOut, p.maxInBuses, p.maxOutBuses);
  return p;
}

std::vector<int> Counts(const ChannelConfig& c, EChannelDirection dir) {
  std::vector<int> counts;
  for (const BusSpec& b : c.Buses(dir)) {
    EXPECT_EQ(b.mDirection, dir);
    counts.push_back(b.mNChans);
  }
  return counts;
}

using V = std::vector<int>;

// ---- Channel-configuration parsing ----

TEST(ParseChannelIO, WellFormedTexts) {
  Parsed p = Parse("1-1 2-2");
  ASSERT_EQ(p.count, 2);
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V{1});
  EXPECT_EQ(Counts(p.configs[0], kDirOutput), V{1});
  EXPECT_EQ(Counts(p.configs[1], kDirInput), V{2});
  EXPECT_EQ(Counts(p.configs[1], kDirOutput), V{2});
  EXPECT_EQ(V({p.maxIn, p.maxOut, p.maxInBuses, p.maxOutBuses}), V({2, 2, 1, 1}));

  p = Parse("2.2-2");
  ASSERT_EQ(p.count, 1);
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V({2, 2}));
  EXPECT_EQ(p.configs[0].NChansOnBuses(kDirInput), 4);
  EXPECT_EQ(Counts(p.configs[0], kDirOutput), V{2});
  EXPECT_EQ(V({p.maxIn, p.maxOut, p.maxInBuses, p.maxOutBuses}), V({4, 2, 2, 1}));

  p = Parse("*-*");
  ASSERT_EQ(p.count, 1);
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V{IProcessor::kWildcardChannels});
  EXPECT_EQ(Counts(p.configs[0], kDirOutput), V{IProcessor::kWildcardChannels});
  EXPECT_EQ(p.configs[0].NChansOnBuses(kDirOutput), -64);
  EXPECT_EQ(V({p.maxIn, p.maxOut, p.maxInBuses, p.maxOutBuses}), V({0, 0, 1, 1}));

  p = Parse("0-2");
  ASSERT_EQ(p.count, 1);
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V{});
  EXPECT_EQ(p.configs[0].NChansOnBuses(kDirInput), 0);
  EXPECT_EQ(Counts(p.configs[0], kDirOutput), V{2});
}

TEST(ParseChannelIO, EmptyTextsGiveNothing) {
  for (const char* text : {"", "   ", static_cast<const char*>(nullptr)}) {
    Parsed p = Parse(text);
    EXPECT_EQ(p.count, 0);
    EXPECT_EQ(V({p.maxIn, p.maxOut, p.maxInBuses, p.maxOutBuses}), V({0, 0, 0, 0}));
  }
  // The output list is replaced, not appended to.
  std::vector<ChannelConfig> configs(3);
  int a, b, c, d;
  EXPECT_EQ(IProcessor::ParseChannelIO("1-1", configs, a, b, c, d), 1);
  EXPECT_EQ(configs.size(), 1u);
}

TEST(ParseChannelIO, MalformedTokensCountZeroLikePercentD) {
  Parsed p = Parse("x-2 2x-+1  a.3-b 1-1-5 2 -2 ");
  ASSERT_EQ(p.count, 6);                            // runs of spaces separate once
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V{});  // "x": no number
  EXPECT_EQ(Counts(p.configs[0], kDirOutput), V{2});
  EXPECT_EQ(Counts(p.configs[1], kDirInput), V{2});   // numeric prefix
  EXPECT_EQ(Counts(p.configs[1], kDirOutput), V{1});  // sign allowed
  EXPECT_EQ(Counts(p.configs[2], kDirInput), V{3});
  EXPECT_EQ(Counts(p.configs[2], kDirOutput), V{});
  EXPECT_EQ(Counts(p.configs[3], kDirOutput), V{1});  // third part ignored
  EXPECT_EQ(Counts(p.configs[4], kDirInput), V{2});   // no output part
  EXPECT_EQ(Counts(p.configs[4], kDirOutput), V{});
  EXPECT_EQ(Counts(p.configs[5], kDirInput), V{});  // empty input part
  EXPECT_EQ(Counts(p.configs[5], kDirOutput), V{2});
  p = Parse("\t3-1");  // leading white space is skipped, as "%d" does
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V{3});
}

TEST(ParseChannelIO, AbsurdCountsAreBounded) {
  Parsed p = Parse("99999999999999999999-2 1025-1 1024-1 1000.30.24-1");
  ASSERT_EQ(p.count, 4);
  EXPECT_EQ(Counts(p.configs[0], kDirInput), V{});  // overflows long
  EXPECT_EQ(Counts(p.configs[1], kDirInput), V{});  // above one bus's limit
  EXPECT_EQ(Counts(p.configs[2], kDirInput), V{1024});
  EXPECT_EQ(Counts(p.configs[3], kDirInput), V({1000, 24}));  // 30 would pass 1024
  EXPECT_EQ(p.maxIn, IProcessor::kMaxChannels);

  std::string manyBuses = "*";
  for (int i = 0; i < 2000; ++i) manyBuses += ".*";
  p = Parse((manyBuses + "-1").c_str());
  EXPECT_EQ(p.configs[0].NBuses(kDirInput), IProcessor::kMaxChannels);
  EXPECT_EQ(p.maxIn, 0);

  RecordingProcessor proc("4000000000-4000000000 2000-1");
  EXPECT_EQ(proc.MaxNChannels(kDirInput), 0);
  EXPECT_EQ(proc.MaxNChannels(kDirOutput), 1);
}

// ---- Layout queries ----

TEST(LegalIO, MatchesChannelTotals) {
  RecordingProcessor stereo("1-1 2-2");
  EXPECT_TRUE(stereo.LegalIO(1, -1));
  EXPECT_TRUE(stereo.LegalIO(2, 2));
  EXPECT_TRUE(stereo.LegalIO(-1, 1));
  EXPECT_FALSE(stereo.LegalIO(1, 2));
  EXPECT_FALSE(stereo.LegalIO(3, -1));

  RecordingProcessor wild("*-*");
  EXPECT_FALSE(wild.LegalIO(2, 2));
  EXPECT_TRUE(wild.LegalIO(-1, -1));

  RecordingProcessor buses("2.2-2 0-2");
  EXPECT_TRUE(buses.LegalIO(4, 2));
  EXPECT_FALSE(buses.LegalIO(2, 2));
  EXPECT_TRUE(buses.LegalIO(0, 2));

  RecordingProcessor none("");
  EXPECT_FALSE(none.LegalIO(-1, -1));
  EXPECT_FALSE(none.LegalIO(0, 0));
}

TEST(IProcessor, ConstructionCopiesConfigAndCreatesDisconnectedSlots) {
  ProcessorConfig c;
  c.mPlugType = 1;
  c.mDoesMidiIn = true;
  c.mDoesMPE = true;
  c.mLatency = 64;
  c.mChannelIO = "2.2-2 1-1";
  struct P : IProcessor {
    using IProcessor::IProcessor;
    bool SendMidiMsg(const MidiMsg&) override { return false; }
  } proc(c);
  EXPECT_EQ(proc.GetPlugType(), 1);
  EXPECT_TRUE(proc.DoesMidiIn());
  EXPECT_FALSE(proc.DoesMidiOut());
  EXPECT_TRUE(proc.DoesMPE());
  EXPECT_EQ(proc.GetLatency(), 64);
  EXPECT_EQ(proc.NChannelConfigs(), 2);
  EXPECT_EQ(proc.GetChannelConfig(2), nullptr);
  EXPECT_EQ(proc.MaxNChannels(kDirInput), 4);
  EXPECT_EQ(proc.MaxNChannels(kDirOutput), 2);
  EXPECT_EQ(proc.CountConnectedChannels(kDirInput), 0);
  EXPECT_EQ(proc.CountConnectedChannels(kDirOutput), 0);
  EXPECT_STREQ(proc.GetChannelLabel(kDirInput, 3), "");
  EXPECT_EQ(RecordingProcessor("*-*").MaxNChannels(kDirInput), 0);
  EXPECT_EQ(RecordingProcessor("").MaxNChannels(kDirOutput), 0);

  const TimeInfo& t = proc.GetTimeInfo();
  EXPECT_EQ(t.mTempo, 120.0);
  EXPECT_EQ(t.mSamplePos, -1.0);
  EXPECT_EQ(t.mCycleEnd, -1.0);
  EXPECT_EQ(t.mNumerator, 4);
  EXPECT_EQ(t.mDenominator, 4);
  EXPECT_FALSE(t.mTransportIsRunning || t.mTransportLoopEnabled);
}

TEST(IProcessor, ConnectChannelsTouchesOnlyExistingSlots) {
  RecordingProcessor p("2.2-2");
  p.ConnectChannels(kDirInput, 0, 4, true);
  EXPECT_EQ(p.CountConnectedChannels(kDirInput), 4);
  EXPECT_EQ(p.CountConnectedChannels(kDirOutput), 0);
  p.ConnectChannels(kDirInput, 2, INT_MAX, false);  // past the end, no overflow
  EXPECT_EQ(p.CountConnectedChannels(kDirInput), 2);
  EXPECT_TRUE(p.IsChannelConnected(kDirInput, 1));
  EXPECT_FALSE(p.IsChannelConnected(kDirInput, 2));
  p.ConnectChannels(kDirOutput, -1, 2, true);  // slot -1 does not exist, slot 0 does
  EXPECT_TRUE(p.IsChannelConnected(kDirOutput, 0));
  EXPECT_FALSE(p.IsChannelConnected(kDirOutput, 1));
  p.ConnectChannels(static_cast<EChannelDirection>(7), 0, 4, true);
  EXPECT_EQ(p.CountConnectedChannels(static_cast<EChannelDirection>(7)), 0);
  EXPECT_FALSE(p.IsChannelConnected(kDirInput, 4));
  EXPECT_FALSE(p.IsChannelConnected(kDirInput, -1));
}

TEST(IProcessor, GetBusNameTable) {
  RecordingProcessor p("1-1");
  Text t;
  auto name = [&](EChannelDirection d, int idx, int n) {
    p.GetBusName(d, idx, n, t);
    return std::string(t.Get());
  };
  EXPECT_EQ(name(kDirInput, 0, 1), "Input");
  EXPECT_EQ(name(kDirInput, 0, 2), "Main");
  EXPECT_EQ(name(kDirInput, 1, 2), "Aux");
  EXPECT_EQ(name(kDirInput, 5, 2), "Aux");
  EXPECT_EQ(name(kDirInput, 2, 3), "Input 2");
  EXPECT_EQ(name(kDirInput, 0, 0), "Input 0");
  EXPECT_EQ(name(kDirOutput, 0, 1), "Output");
  EXPECT_EQ(name(kDirOutput, 1, 2), "Output 1");
  EXPECT_EQ(name(static_cast<EChannelDirection>(2), 0, 1), "");
}

// ---- MIDI ----

TEST(IProcessor, SendMidiMsgsSendsAllAndReportsAnyFailure) {
  RecordingProcessor p("1-1");
  const MidiMsg msgs[3] = {{0, 0x90, 60, 100}, {1, 0x90, 62, 100}, {2, 0x80, 60, 0}};
  p.mSendResults = {true, false, true};
  EXPECT_FALSE(p.SendMidiMsgs(msgs, 3));
  ASSERT_EQ(p.mSent.size(), 3u);
  EXPECT_EQ(p.mSent[2].mOffset, 2);
  EXPECT_EQ(p.mSent[2].mStatus, 0x80);

  p.mSent.clear();
  p.mSendResults.clear();
  EXPECT_TRUE(p.SendMidiMsgs(msgs, 3));
  EXPECT_TRUE(p.SendMidiMsgs(msgs, 0));
  EXPECT_FALSE(p.SendMidiMsgs(nullptr, 2));
  EXPECT_EQ(p.mSent.size(), 3u);

  p.ProcessMidiMsg(msgs[1]);  // default: thru
  ASSERT_EQ(p.mSent.size(), 4u);
  EXPECT_EQ(p.mSent[3].mData1, 62);
}

// ---- Block size and buffer routing ----

class Routing : public ::testing::Test {
 protected:
  static constexpr int kN = 8;
  RecordingProcessor p{"1-1 2-2"};
  float in0[kN], in1[kN], out0[kN], out1[kN];
  float* ins[2] = {in0, in1};
  float* outs[2] = {out0, out1};

  void SetUp() override {
    p.ConnectChannels(kDirInput, 0, 2, true);
    p.ConnectChannels(kDirOutput, 0, 2, true);
    p.SetBlockSize(kN);
    for (int i = 0; i < kN; ++i) {
      in0[i] = 0.1f * static_cast<float>(i);
      in1[i] = -0.3f;
      out0[i] = out1[i] = 9.0f;
    }
  }
  void RunFloat(int n, bool accumulate = false) {
    p.AttachFloatBuffers(kDirInput, ins, n);
    p.AttachFloatBuffers(kDirOutput, outs, n);
    if (accumulate) {
      p.ProcessFloatBuffersAccumulating(n);
    } else {
      p.ProcessFloatBuffers(n);
    }
  }
};

TEST_F(Routing, FloatBlockIsConvertedThroughScratch) {
  RunFloat(kN);
  ASSERT_EQ(p.mCalls, 1);
  EXPECT_EQ(p.mFrames, kN);
  EXPECT_NE(p.mIn[0], nullptr);
  EXPECT_NE(static_cast<void*>(p.mIn[0]), static_cast<void*>(in0));
  for (int i = 0; i < kN; ++i) {
    // Float to double is exact; double to float rounds to nearest.
    EXPECT_EQ(p.mInValues[0][i], static_cast<double>(in0[i]));
    EXPECT_EQ(out0[i], static_cast<float>(2.0 * static_cast<double>(in0[i]) + 0.5));
    EXPECT_EQ(out1[i], static_cast<float>(2.0 * -0.3f + 1.0));
  }
}

TEST_F(Routing, AccumulatingFormAddsToHostOutput) {
  for (int i = 0; i < kN; ++i) in0[i] = 0.0f, out0[i] = 0.25f;
  RunFloat(kN, true);
  for (int i = 0; i < kN; ++i) EXPECT_EQ(out0[i], 0.75f);
}

TEST_F(Routing, DisconnectedAndNullChannelsAreSilentOrDiscarded) {
  RunFloat(kN);  // leaves converted samples in input 1's scratch
  p.ConnectChannels(kDirInput, 1, 1, false);
  p.ConnectChannels(kDirOutput, 0, 1, false);
  out0[0] = out1[0] = 9.0f;
  float* oneIn[1] = {in0};
  float* oneOut[1] = {out1};  // the only connected output is slot 1
  p.AttachFloatBuffers(kDirInput, oneIn, kN);
  p.AttachFloatBuffers(kDirOutput, oneOut, kN);
  p.ProcessFloatBuffers(kN);
  ASSERT_NE(p.mIn[1], nullptr);
  ASSERT_NE(p.mOut[0], nullptr);
  for (int i = 0; i < kN; ++i) EXPECT_EQ(p.mInValues[1][i], 0.0) << i;
  EXPECT_EQ(out0[0], 9.0f);  // disconnected output never reaches the host
  EXPECT_EQ(out1[0], 1.0f);  // 2 * 0 + 1

  // A null channel pointer is disconnected for the block; a null list too.
  p.ConnectChannels(kDirInput, 0, 2, true);
  p.ConnectChannels(kDirOutput, 0, 2, true);
  float* holes[2] = {nullptr, in1};
  float* outHoles[2] = {out0, nullptr};
  p.AttachFloatBuffers(kDirInput, holes, kN);
  p.AttachFloatBuffers(kDirOutput, outHoles, kN);
  p.ProcessFloatBuffers(kN);
  EXPECT_EQ(p.mInValues[0][3], 0.0);
  EXPECT_EQ(p.mInValues[1][3], static_cast<double>(-0.3f));
  EXPECT_EQ(out0[3], 0.5f);
  p.AttachFloatBuffers(kDirInput, nullptr, kN);
  p.AttachFloatBuffers(kDirOutput, nullptr, kN);
  p.ProcessFloatBuffers(kN);
  EXPECT_EQ(p.mInValues[1][3], 0.0);
  EXPECT_EQ(p.mCalls, 4);
}

TEST_F(Routing, OverlongAndNegativeBlocksStayInBounds) {
  float big[2][2 * kN];
  float* bigIns[2] = {big[0], big[1]};
  float outA[2 * kN], outB[2 * kN];
  float* bigOuts[2] = {outA, outB};
  for (int i = 0; i < 2 * kN; ++i) big[0][i] = big[1][i] = 1.0f, outA[i] = outB[i] = 7.0f;
  // A block longer than announced is processed whole, in pieces of the block size.
  p.AttachFloatBuffers(kDirInput, bigIns, 2 * kN + 3);
  p.AttachFloatBuffers(kDirOutput, bigOuts, 2 * kN + 3);
  p.ProcessFloatBuffersAccumulating(2 * kN);
  EXPECT_EQ(p.mCalls, 2);
  EXPECT_EQ(p.mFrames, kN);
  EXPECT_EQ(outA[kN - 1], 7.0f + 2.5f);
  EXPECT_EQ(outA[2 * kN - 1], 7.0f + 2.5f);
  p.ProcessFloatBuffers(2 * kN - 3);
  EXPECT_EQ(p.mCalls, 4);
  EXPECT_EQ(p.mFrames, kN - 3);
  EXPECT_EQ(outA[2 * kN - 4], 2.5f);
  EXPECT_EQ(outA[2 * kN - 3], 7.0f + 2.5f);  // past the host's block: untouched

  const int calls = p.mCalls;
  p.AttachFloatBuffers(kDirOutput, outs, -1);  // keeps outA/outB attached
  p.ProcessFloatBuffers(-1);
  p.ProcessFloatBuffersAccumulating(-5);
  p.ProcessDoubleBuffers(-1);
  EXPECT_EQ(p.mCalls, calls);
  outA[0] = 7.0f;
  p.ProcessFloatBuffers(kN);
  EXPECT_EQ(out0[0], 9.0f);
  EXPECT_EQ(outA[0], 2.5f);
}

TEST_F(Routing, DoubleBlockPassesHostBuffers) {
  double d0[kN * 2], o0[kN * 2];
  for (int i = 0; i < 2 * kN; ++i) d0[i] = 0.25, o0[i] = 5.0;
  RunFloat(kN);  // fills input 1's scratch, which must not leak into the next block
  p.ConnectChannels(kDirInput, 1, 1, false);
  Sample* dIns[1] = {d0};
  Sample* dOuts[2] = {o0, nullptr};
  p.AttachDoubleBuffers(kDirInput, dIns, kN);
  p.AttachDoubleBuffers(kDirOutput, dOuts, kN);
  p.ProcessDoubleBuffers(kN);
  EXPECT_EQ(p.mIn[0], d0);
  EXPECT_EQ(p.mOut[0], o0);
  ASSERT_NE(p.mOut[1], nullptr);  // null host output: written to scratch
  EXPECT_EQ(p.mInValues[1][0], 0.0);
  EXPECT_EQ(o0[0], 1.0);

  p.AttachDoubleBuffers(kDirInput, dIns, 2 * kN);
  p.AttachDoubleBuffers(kDirOutput, dOuts, 2 * kN);
  p.ProcessDoubleBuffers(2 * kN);
  EXPECT_EQ(p.mFrames, kN);
  EXPECT_EQ(p.mIn[0], d0 + kN);  // the second piece, in place
  EXPECT_EQ(o0[kN - 1], 1.0);
  EXPECT_EQ(o0[2 * kN - 1], 1.0);
}

// Timed changes reach the piece holding their frame, relative to its start, ordered by
// offset with each parameter's order kept; a change past the block lands on its last frame;
// the next block starts with none; a full list refuses more.
TEST_F(Routing, TimedChangesReachTheirPieceInOrder) {
  float big[2][2 * kN] = {};
  float* bigIns[2] = {big[0], big[1]};
  float outA[2 * kN], outB[2 * kN];
  float* bigOuts[2] = {outA, outB};
  ASSERT_TRUE(p.AddBlockParamChange(3, kN + 2, 0.5));
  ASSERT_TRUE(p.AddBlockParamChange(1, 5, 0.25));
  ASSERT_TRUE(p.AddBlockParamChange(1, 5, 0.75));
  ASSERT_TRUE(p.AddBlockParamChange(2, -4, 1.0));
  ASSERT_TRUE(p.AddBlockParamChange(0, 99, 2.0));
  p.AttachFloatBuffers(kDirInput, bigIns, 2 * kN);
  p.AttachFloatBuffers(kDirOutput, bigOuts, 2 * kN);
  p.ProcessFloatBuffers(2 * kN);
  using C = RecordingProcessor::SeenChange;
  const std::vector<C> expected = {
      {1, 2, 0, 1.0}, {1, 1, 5, 0.25}, {1, 1, 5, 0.75}, {2, 3, 2, 0.5}, {2, 0, kN - 1, 2.0}};
  EXPECT_EQ(p.mChanges, expected);
  p.ProcessFloatBuffers(kN);
  EXPECT_EQ(p.mChanges.size(), expected.size());

  for (int i = 0; i < IProcessor::kMaxBlockParamChanges; ++i) {
    ASSERT_TRUE(p.AddBlockParamChange(0, i, 0.0));
  }
  EXPECT_FALSE(p.AddBlockParamChange(0, 0, 0.0));
  p.DiscardBlockParamChanges();
  p.ProcessFloatBuffers(kN);
  EXPECT_EQ(p.mChanges.size(), expected.size());
}

TEST_F(Routing, SetBlockSizeKeepsOrClearsScratch) {
  RunFloat(kN);
  p.SetBlockSize(kN);  // same size: contents stay
  p.ProcessFloatBuffers(kN);
  EXPECT_EQ(p.mInValues[1][0], static_cast<double>(-0.3f));
  EXPECT_EQ(p.mOutOnEntry[1][0], 2.0 * -0.3f + 1.0);

  p.SetBlockSize(kN / 2);  // new size: every scratch is silence and every entry points at it
  out0[0] = 9.0f;
  p.ProcessFloatBuffers(kN / 2);
  EXPECT_EQ(p.mFrames, kN / 2);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kN / 2; ++i) {
      EXPECT_EQ(p.mInValues[c][i], 0.0);
      EXPECT_EQ(p.mOutOnEntry[c][i], 0.0);
    }
  }
  EXPECT_EQ(out0[0], 9.0f);  // host destinations were forgotten

  p.SetBlockSize(-3);
  EXPECT_EQ(p.GetBlockSize(), kN / 2);
  p.SetBlockSize(INT_MAX);
  EXPECT_EQ(p.GetBlockSize(), IProcessor::kMaxBlockSize);
}

TEST_F(Routing, DefaultProcessBlockCopiesAndZeroFills) {
  p.mUseDefault = true;
  RunFloat(kN);
  for (int i = 0; i < kN; ++i) {
    EXPECT_EQ(out0[i], in0[i]);
    EXPECT_EQ(out1[i], in1[i]);
  }

  RecordingProcessor wide("1-2");
  wide.mUseDefault = true;
  double a[4] = {1, 2, 3, 4}, x[4] = {9, 9, 9, 9}, y[4] = {9, 9, 9, 9};
  Sample* in[1] = {a};
  Sample* out[2] = {x, y};
  wide.ProcessBlock(in, out, 4);
  EXPECT_EQ(x[3], 4.0);
  EXPECT_EQ(y[0], 0.0);  // no input slot 1
  EXPECT_EQ(y[3], 0.0);
  Sample* inPlace[2] = {a, nullptr};
  wide.ProcessBlock(in, inPlace, 4);
  EXPECT_EQ(a[2], 3.0);
  x[0] = 9;
  wide.ProcessBlock(nullptr, out, 1);  // no inputs: silence
  EXPECT_EQ(x[0], 0.0);
}

TEST_F(Routing, AttachAndProcessNeverAllocate) {
  double d[2][kN] = {};
  Sample* dp[2] = {d[0], d[1]};
  long allocations = -1;
  {
    test::ScopedAllocTrap trap;
    RunFloat(kN);
    RunFloat(kN, true);
    RunFloat(kN / 2);
    p.AttachDoubleBuffers(kDirInput, dp, kN);
    p.AttachDoubleBuffers(kDirOutput, dp, kN);
    p.ProcessDoubleBuffers(kN);
    p.AttachFloatBuffers(kDirInput, nullptr, kN);
    p.ProcessFloatBuffers(kN);
    p.LegalIO(2, -1);
    allocations = trap.Allocations();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(p.mCalls, 5);
}

}  // namespace
}  // namespace kantele
