// The three audio callbacks as a host calls them. Every callback runs under the allocation trap
// and must allocate nothing; the test plug-in's ProcessBlock writes input * gain + channel *
// offset, so each output sample tells which input reached it.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2TestPlugin.h"
#include "support/AllocTrap.h"

namespace kantele::vst2test {
namespace {

using namespace vst2;

enum class Callback { kReplacing, kDouble, kAccumulating };
constexpr Callback kAllCallbacks[] = {Callback::kReplacing, Callback::kDouble,
                                      Callback::kAccumulating};

/// Host-owned planar buffers of one sample type, with the pointer lists a host passes.
template <typename T>
struct Buffers {
  Buffers(int channels, int frames, T fill) : mData(channels, std::vector<T>(frames, fill)) {
    for (auto& c : mData) mPtrs.push_back(c.data());
  }
  std::vector<std::vector<T>> mData;
  std::vector<T*> mPtrs;  // exactly as many pointers as channels: reading past them is caught
  T** Get() { return mPtrs.data(); }
};

/// Input c, frame i: (c + 1) * 0.125 + i / 1024, exact in both sample types.
template <typename T>
Buffers<T> Ramp(int channels, int frames) {
  Buffers<T> b(channels, frames, T(0));
  for (int c = 0; c < channels; ++c) {
    for (int i = 0; i < frames; ++i) b.mData[c][i] = T((c + 1) * 0.125 + i / 1024.0);
  }
  return b;
}

/// Runs one block through `callback` under the allocation trap; answers the allocations made.
long RunTrapped(AEffect* e, Callback callback, Buffers<float>& inF, Buffers<float>& outF,
                Buffers<double>& inD, Buffers<double>& outD, int frames) {
  test::ScopedAllocTrap trap;
  switch (callback) {
    case Callback::kReplacing: e->processReplacing(e, inF.Get(), outF.Get(), frames); break;
    case Callback::kDouble: e->processDoubleReplacing(e, inD.Get(), outD.Get(), frames); break;
    case Callback::kAccumulating: e->process(e, inF.Get(), outF.Get(), frames); break;
  }
  return trap.Allocations();
}

/// One block of `frames` through `callback` with ramps in and outputs pre-filled with `fill`.
struct Block {
  Block(AEffect* e, Callback callback, int frames, int ins = 2, int outs = 2, double fill = 0.25)
      : mInF(Ramp<float>(ins, frames)),
        mOutF(outs, frames, float(fill)),
        mInD(Ramp<double>(ins, frames)),
        mOutD(outs, frames, fill) {
    mAllocations = RunTrapped(e, callback, mInF, mOutF, mInD, mOutD, frames);
    mDouble = callback == Callback::kDouble;
  }
  double Out(int c, int i) const { return mDouble ? mOutD.mData[c][i] : mOutF.mData[c][i]; }
  double In(int c, int i) const { return mDouble ? mInD.mData[c][i] : mInF.mData[c][i]; }

  Buffers<float> mInF, mOutF;
  Buffers<double> mInD, mOutD;
  long mAllocations = 0;
  bool mDouble = false;
};

using ProcessTest = Vst2Fixture;

TEST_F(ProcessTest, ReplacingCallbacksWriteTheWholeBlockInPiecesOfTheBlockSize) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  Dispatch(e, effSetBlockSize, 0, 64);
  p.mGain = 2.0;
  for (Callback cb : {Callback::kReplacing, Callback::kDouble}) {
    Block b(e, cb, 80, 2, 2, 9.0);
    EXPECT_EQ(b.mAllocations, 0);
    EXPECT_EQ(p.mLastBlock.mFrames, 16);  // the second piece
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < 80; ++i) ASSERT_EQ(b.Out(c, i), 2 * b.In(c, i)) << c << " " << i;
    }
    // Doubles are processed in the host's own buffers; floats are converted into the
    // plug-in's.
    for (int c = 0; c < 2; ++c) {
      if (cb == Callback::kDouble) {
        EXPECT_EQ(p.mLastBlock.mIn[c], b.mInD.mPtrs[c] + 64);
        EXPECT_EQ(p.mLastBlock.mOut[c], b.mOutD.mPtrs[c] + 64);
      } else {
        EXPECT_EQ(p.mLastBlock.mFirstIn[c], double(b.mInF.mData[c][64]));
      }
    }
  }
}

TEST_F(ProcessTest, AccumulatingAddsToTheHostOutput) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  Dispatch(e, effSetBlockSize, 0, 32);
  Buffers<float> in(2, 40, 0.5f), out(2, 40, 0.25f);
  Buffers<double> unused(2, 40, 0.0);
  EXPECT_EQ(RunTrapped(e, Callback::kAccumulating, in, out, unused, unused, 40), 0);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 40; ++i) ASSERT_EQ(out.mData[c][i], 0.75f);
  }
  p.mGain = -1.0;
  EXPECT_EQ(RunTrapped(e, Callback::kAccumulating, in, out, unused, unused, 32), 0);
  EXPECT_EQ(out.mData[1][0], 0.25f);
}

TEST_F(ProcessTest, EachBlockAsksForMidiTimeAndProcessLevel) {
  for (bool midiIn : {false, true}) {
    PlugOptions o;
    o.mMidiIn = midiIn;
    AEffect* e = Load(o);
    for (Callback cb : kAllCallbacks) {
      mHost.Clear();
      Block b(e, cb, 16);
      EXPECT_EQ(b.mAllocations, 0);
      const std::vector<VstInt32> expected =
          midiIn ? std::vector<VstInt32>{6, 7, 23} : std::vector<VstInt32>{7, 23};
      EXPECT_EQ(mHost.Opcodes(), expected);
      const std::vector<HostCall> time = mHost.Named(audioMasterGetTime);
      ASSERT_EQ(time.size(), 1u);
      EXPECT_EQ(time[0].mValue, 0x3E00);
      EXPECT_EQ(time[0].mEffect, e);
    }
  }
}

TEST_F(ProcessTest, TimeInfoTakesEachFieldOnlyWhenValid) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  const TimeInfo defaults;

  // No record: every default, the sample position included.
  Block none(e, Callback::kReplacing, 8);
  EXPECT_EQ(none.mAllocations, 0);
  const TimeInfo& t0 = p.mLastBlock.mTime;
  EXPECT_EQ(t0.mSamplePos, -1.0);
  EXPECT_EQ(t0.mTempo, 120.0);
  EXPECT_EQ(t0.mPPQPos, -1.0);
  EXPECT_EQ(t0.mLastBar, -1.0);
  EXPECT_EQ(t0.mCycleStart, -1.0);
  EXPECT_EQ(t0.mCycleEnd, -1.0);
  EXPECT_EQ(t0.mNumerator, 4);
  EXPECT_EQ(t0.mDenominator, 4);
  EXPECT_FALSE(t0.mTransportIsRunning);
  EXPECT_FALSE(t0.mTransportLoopEnabled);

  struct Case {
    const char* mWhat;
    VstInt32 mFlags;
    void (*mEdit)(VstTimeInfo&);
    TimeInfo mExpected;
  };
  auto expect = [&defaults](auto change) {
    TimeInfo t = defaults;
    t.mSamplePos = 4410.0;
    change(t);
    return t;
  };
  auto keep = [](VstTimeInfo&) {};
  const Case cases[] = {
      {"nothing valid", 0, keep, expect([](TimeInfo&) {})},
      {"ppq", kVstPpqPosValid, keep, expect([](TimeInfo& t) { t.mPPQPos = 8.0; })},
      {"ppq negative", kVstPpqPosValid, [](VstTimeInfo& v) { v.ppqPos = -0.5; },
       expect([](TimeInfo&) {})},
      {"tempo", kVstTempoValid, keep, expect([](TimeInfo& t) { t.mTempo = 140.0; })},
      {"tempo zero", kVstTempoValid, [](VstTimeInfo& v) { v.tempo = 0.0; },
       expect([](TimeInfo&) {})},
      {"bar", kVstBarsValid, keep, expect([](TimeInfo& t) { t.mLastBar = 4.0; })},
      {"bar negative", kVstBarsValid, [](VstTimeInfo& v) { v.barStartPos = -4.0; },
       expect([](TimeInfo&) {})},
      {"cycle", kVstCyclePosValid, keep,
       expect([](TimeInfo& t) { t.mCycleStart = 2.0, t.mCycleEnd = 6.0; })},
      {"cycle start negative", kVstCyclePosValid, [](VstTimeInfo& v) { v.cycleStartPos = -1.0; },
       expect([](TimeInfo&) {})},
      {"cycle end negative", kVstCyclePosValid, [](VstTimeInfo& v) { v.cycleEndPos = -1.0; },
       expect([](TimeInfo&) {})},
      {"signature", kVstTimeSigValid, keep,
       expect([](TimeInfo& t) { t.mNumerator = 3, t.mDenominator = 8; })},
      {"signature zero", kVstTimeSigValid, [](VstTimeInfo& v) { v.timeSigNumerator = 0; },
       expect([](TimeInfo&) {})},
      {"signature negative", kVstTimeSigValid, [](VstTimeInfo& v) { v.timeSigDenominator = -8; },
       expect([](TimeInfo&) {})},
      {"playing", kVstTransportPlaying, keep,
       expect([](TimeInfo& t) { t.mTransportIsRunning = true; })},
      {"cycling", kVstTransportCycleActive, keep,
       expect([](TimeInfo& t) { t.mTransportLoopEnabled = true; })},
      {"values without flags", kVstTransportChanged | kVstNanosValid, keep,
       expect([](TimeInfo&) {})},
  };
  for (const Case& c : cases) {
    VstTimeInfo host{};
    host.samplePos = 4410.0;
    host.sampleRate = 44100.0;
    host.ppqPos = 8.0;
    host.tempo = 140.0;
    host.barStartPos = 4.0;
    host.cycleStartPos = 2.0;
    host.cycleEndPos = 6.0;
    host.timeSigNumerator = 3;
    host.timeSigDenominator = 8;
    host.flags = c.mFlags;
    c.mEdit(host);
    mHost.mTime = &host;
    for (Callback cb : kAllCallbacks) {
      Block b(e, cb, 8);
      EXPECT_EQ(b.mAllocations, 0);
      const TimeInfo& t = p.mLastBlock.mTime;
      const TimeInfo& x = c.mExpected;
      EXPECT_EQ(t.mSamplePos, x.mSamplePos) << c.mWhat;
      EXPECT_EQ(t.mPPQPos, x.mPPQPos) << c.mWhat;
      EXPECT_EQ(t.mTempo, x.mTempo) << c.mWhat;
      EXPECT_EQ(t.mLastBar, x.mLastBar) << c.mWhat;
      EXPECT_EQ(t.mCycleStart, x.mCycleStart) << c.mWhat;
      EXPECT_EQ(t.mCycleEnd, x.mCycleEnd) << c.mWhat;
      EXPECT_EQ(t.mNumerator, x.mNumerator) << c.mWhat;
      EXPECT_EQ(t.mDenominator, x.mDenominator) << c.mWhat;
      EXPECT_EQ(t.mTransportIsRunning, x.mTransportIsRunning) << c.mWhat;
      EXPECT_EQ(t.mTransportLoopEnabled, x.mTransportLoopEnabled) << c.mWhat;
    }
  }
  mHost.mTime = nullptr;
}

TEST_F(ProcessTest, OfflineOnlyWhenTheHostSaysOffline) {
  AEffect* e = Load();
  const Vst2TestPlugin& p = PlugOf(e);
  for (VstIntPtr level : {0, 1, 2, 3, 4, 5, -1}) {
    mHost.mProcessLevel = level;
    for (Callback cb : kAllCallbacks) {
      Block b(e, cb, 8);
      EXPECT_EQ(b.mAllocations, 0);
      EXPECT_EQ(p.mLastBlock.mOffline, level == kVstProcessLevelOffline) << level;
    }
  }
}

TEST_F(ProcessTest, EditorMidiIsDrainedBeforeTheBlockAndSysExSentAfterIt) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  const uint8_t dump[5] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
  for (Callback cb : kAllCallbacks) {
    p.mMidi.clear();
    mHost.Clear();
    for (uint8_t status : {0x90, 0xB0, 0x80}) p.MidiFromEditor(MidiMsg{3, status, 64, 1});
    p.SysExFromEditor(SysExMsg{11, 5, dump});
    p.SysExFromEditor(SysExMsg{12, 2, dump});
    Block b(e, cb, 16);
    EXPECT_EQ(b.mAllocations, 0);
    const int block = p.mLastBlock.mSeq;
    ASSERT_EQ(p.mMidi.size(), 3u);
    EXPECT_EQ(p.mMidi[0].mStatus, 0x90);
    EXPECT_EQ(p.mMidi[1].mStatus, 0xB0);
    EXPECT_EQ(p.mMidi[2].mStatus, 0x80);
    for (int seq : p.SeqOf(Vst2TestPlugin::kMidi)) EXPECT_LT(seq, block);

    const std::vector<HostCall> sent = mHost.Named(audioMasterProcessEvents);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_GT(sent[0].mSeq, block);
    const EventCopy& ev = sent[0].mEvent;
    EXPECT_EQ(ev.mNumEvents, 1);
    EXPECT_EQ(ev.mType, kVstSysExType);
    EXPECT_EQ(ev.mByteSize, 48);
    EXPECT_EQ(ev.mDeltaFrames, 11);
    EXPECT_EQ(ev.mDumpBytes, 5);
    EXPECT_EQ(std::memcmp(ev.mSysExHead, dump, 5), 0);
    EXPECT_EQ(sent[1].mEvent.mDeltaFrames, 12);
    EXPECT_EQ(sent[1].mEvent.mDumpBytes, 2);
    EXPECT_TRUE(p.mLastSysExSent);

    // Nothing is left for the next block.
    mHost.Clear();
    p.mMidi.clear();
    Block next(e, cb, 16);
    EXPECT_TRUE(p.mMidi.empty());
    EXPECT_EQ(mHost.Count(audioMasterProcessEvents), 0);
  }
  mHost.mProcessEventsAnswer = 0;
  p.SysExFromEditor(SysExMsg{0, 1, dump});
  Block refused(e, Callback::kReplacing, 4);
  EXPECT_FALSE(p.mLastSysExSent);
}

TEST_F(ProcessTest, TheArrangementDecidesWhichHostBuffersAreRead) {
  PlugOptions o;
  o.mIO = "1-1 2-2";
  AEffect* e = Load(o);
  Vst2TestPlugin& p = PlugOf(e);
  p.mOffset = 10.0;
  VstSpeakerArrangement mono{}, stereo{};
  mono.numChannels = 1;
  stereo.numChannels = 2;
  for (Callback cb : kAllCallbacks) {
    // A full stereo block first leaves converted samples in the plug-in's input buffers.
    Block full(e, cb, 8);
    EXPECT_EQ(p.mLastBlock.mFirstIn[1], full.In(1, 0));
    ASSERT_EQ(Dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &mono),
              1);
    // The host now passes one buffer each way; the second input reads silence and the second
    // output goes nowhere.
    Block b(e, cb, 8, 1, 1);
    EXPECT_EQ(b.mAllocations, 0);
    for (int i = 0; i < 8; ++i) {
      const double expected = b.In(0, i) + (cb == Callback::kAccumulating ? 0.25 : 0.0);
      ASSERT_EQ(b.Out(0, i), expected) << i;
    }
    EXPECT_EQ(p.mLastBlock.mFirstIn[1], 0.0);
    ASSERT_EQ(
        Dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&stereo), &stereo), 1);
  }
}

TEST_F(ProcessTest, EmptyAndNegativeBlocksAndMidiThruStayAllocationFree) {
  PlugOptions o;
  o.mMidiIn = o.mMidiOut = o.mMidiThru = true;
  AEffect* e = Load(o);
  Vst2TestPlugin& p = PlugOf(e);
  for (Callback cb : kAllCallbacks) {
    const int blocks = p.mBlocks;
    Block empty(e, cb, 0);
    EXPECT_EQ(empty.mAllocations, 0);
    EXPECT_EQ(p.mBlocks, blocks + 1);
    EXPECT_EQ(p.mLastBlock.mFrames, 0);
    Buffers<float> f(2, 4, 0.5f);
    Buffers<double> d(2, 4, 0.5);
    EXPECT_EQ(RunTrapped(e, cb, f, f, d, d, -5), 0);
    EXPECT_EQ(p.mBlocks, blocks + 1);  // no block of negative length
    EXPECT_EQ(f.mData[1][3], 0.5f);
    EXPECT_EQ(d.mData[1][3], 0.5);
  }
  // Editor MIDI on a thru plug-in reaches the host from the audio thread without allocating.
  mHost.Clear();
  p.MidiFromEditor(MidiMsg{2, 0x90, 61, 90});
  Block thru(e, Callback::kReplacing, 8);
  EXPECT_EQ(thru.mAllocations, 0);
  const std::vector<HostCall> sent = mHost.Named(audioMasterProcessEvents);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].mEvent.mType, kVstMidiType);
  EXPECT_EQ(sent[0].mEvent.mDeltaFrames, 2);
  EXPECT_EQ(sent[0].mEvent.mMidi[1], 61);
  EXPECT_GT(sent[0].mSeq, p.SeqOf(Vst2TestPlugin::kMidi).back());
  EXPECT_LT(sent[0].mSeq, p.mLastBlock.mSeq);
}

}  // namespace
}  // namespace kantele::vst2test
