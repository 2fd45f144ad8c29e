#include "kantele/SpscQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "kantele/IApiBase.h"
#include "kantele/TestPlugin.h"

namespace kantele {
namespace {

TEST(SpscQueueTest, HoldsOneRecordFewerThanItsSlotsAndDropsTheNewest) {
  SpscQueue<int> q(5);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.Push(i));
  EXPECT_FALSE(q.Push(99));
  EXPECT_EQ(q.ElementsAvailable(), 4);
  int v = -1;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, i);  // the dropped 99 never appears
  }
  EXPECT_FALSE(q.Pop(v));
  EXPECT_EQ(v, 3);  // unchanged by a failed pop
  EXPECT_EQ(SpscQueue<int>(0).Slots(), 2);
}

TEST(SpscQueueTest, CountsAcrossTheWrapAtEveryOffset) {
  SpscQueue<int> q(7);
  int next = 0, expected = 0, v = 0;
  for (int round = 0; round < 50; ++round) {
    const int pushes = round % 7;
    for (int i = 0; i < pushes; ++i) {
      if (q.Push(next)) ++next;
    }
    const int waiting = next - expected;
    ASSERT_EQ(q.ElementsAvailable(), waiting);
    for (int i = 0; i < (round % 3) + 1 && q.Pop(v); ++i) ASSERT_EQ(v, expected++);
  }
}

// Records carry a sequence number and a payload derived from it, so a torn or reordered record
// is caught.
template <typename T>
T MakeRecord(uint32_t seq);
template <typename T>
bool CheckRecord(const T& r, uint32_t seq);

template <>
ParamValueRecord MakeRecord(uint32_t seq) {
  ParamValueRecord r;
  r.mIdx = static_cast<int32_t>(seq);
  r.mValue = seq * 0.5;
  return r;
}
template <>
bool CheckRecord(const ParamValueRecord& r, uint32_t seq) {
  return r.mIdx == static_cast<int32_t>(seq) && r.mValue == seq * 0.5;
}
template <>
MidiMsg MakeRecord(uint32_t seq) {
  return MidiMsg{static_cast<int32_t>(seq), static_cast<uint8_t>(seq),
                 static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq >> 16)};
}
template <>
bool CheckRecord(const MidiMsg& m, uint32_t seq) {
  return m.mOffset == static_cast<int32_t>(seq) && m.mStatus == static_cast<uint8_t>(seq) &&
         m.mData1 == static_cast<uint8_t>(seq >> 8) && m.mData2 == static_cast<uint8_t>(seq >> 16);
}
template <>
SysExRecord MakeRecord(uint32_t seq) {
  SysExRecord r;
  r.mOffset = static_cast<int32_t>(seq);
  r.mSize = static_cast<int32_t>(seq % 513);
  std::memset(r.mData, static_cast<int>(seq & 0xFF), sizeof(r.mData));
  return r;
}
template <>
bool CheckRecord(const SysExRecord& r, uint32_t seq) {
  if (r.mOffset != static_cast<int32_t>(seq) || r.mSize != static_cast<int32_t>(seq % 513)) {
    return false;
  }
  for (uint8_t b : r.mData) {
    if (b != static_cast<uint8_t>(seq & 0xFF)) return false;
  }
  return true;
}

uint32_t SeqOf(const ParamValueRecord& r) { return static_cast<uint32_t>(r.mIdx); }
uint32_t SeqOf(const MidiMsg& m) { return static_cast<uint32_t>(m.mOffset); }
uint32_t SeqOf(const SysExRecord& r) { return static_cast<uint32_t>(r.mOffset); }

template <typename T>
class SpscQueueThreadTest : public ::testing::Test {};
using RecordTypes = ::testing::Types<ParamValueRecord, MidiMsg, SysExRecord>;
TYPED_TEST_SUITE(SpscQueueThreadTest, RecordTypes);

// A producer that waits when the queue is full: every record arrives, in order, intact.
TYPED_TEST(SpscQueueThreadTest, EveryRecordArrivesInOrderWhenTheProducerWaits) {
  constexpr uint32_t kCount = 100000;
  for (int slots : {2, 5, 33, 513}) {
    SpscQueue<TypeParam> q(slots);
    std::thread producer([&] {
      for (uint32_t i = 0; i < kCount; ++i) {
        const TypeParam r = MakeRecord<TypeParam>(i);
        while (!q.Push(r)) std::this_thread::yield();
      }
    });
    uint32_t received = 0;
    bool intact = true;
    TypeParam r;
    while (received < kCount) {
      if (q.Pop(r)) {
        intact = intact && CheckRecord(r, received);
        ++received;
      } else {
        std::this_thread::yield();
      }
    }
    producer.join();
    EXPECT_TRUE(intact) << slots << " slots";
    EXPECT_FALSE(q.Pop(r));
  }
}

// A producer that never waits: what it was told was queued arrives, in order and intact; what
// it was told was dropped never does.
TYPED_TEST(SpscQueueThreadTest, FullQueueDropsOnlyWhatThePushRefused) {
  constexpr uint32_t kCount = 100000;
  SpscQueue<TypeParam> q(5);
  std::vector<uint32_t> accepted;
  accepted.reserve(kCount);
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (uint32_t i = 0; i < kCount; ++i) {
      if (q.Push(MakeRecord<TypeParam>(i))) accepted.push_back(i);
    }
    done.store(true, std::memory_order_release);
  });
  std::vector<uint32_t> received;
  received.reserve(kCount);
  bool intact = true;
  TypeParam r;
  for (;;) {
    const bool finished = done.load(std::memory_order_acquire);
    while (q.Pop(r)) {
      intact = intact && CheckRecord(r, SeqOf(r));
      received.push_back(SeqOf(r));
    }
    if (finished) break;  // everything pushed before `done` was visible has been popped
    std::this_thread::yield();
  }
  producer.join();
  EXPECT_TRUE(intact);
  EXPECT_EQ(received, accepted);
  EXPECT_LT(accepted.size(),
            kCount);  // a 4-record queue cannot keep up with a free-running producer
  EXPECT_GE(accepted.size(), 4u);
}

// The plug-in's own paths: the host or audio thread queues values for the editor while the
// timer's thread ticks; the editor queues MIDI and SysEx while the audio thread drains them.
TEST(PluginQueueThreadTest, ValuesForTheEditorArriveInOrderThroughTheTick) {
  test::TestPlugin p;
  constexpr int kCount = 20000;
  std::unique_ptr<Timer> timer = Timer::Launch([](Timer&) {}, 3600 * 1000);
  std::thread audio([&] {
    for (int i = 0; i < kCount; ++i) {
      while (p.ParamQueue().ElementsAvailable() >= 512) std::this_thread::yield();
      p.QueueParamValueForEditor(i % 7, static_cast<double>(i), false);
    }
  });
  // The ticks run on this thread, the one that made the plug-in, as the host's
  // user-interface thread does.
  while (p.CallsNamed("PushReal").size() < static_cast<size_t>(kCount)) {
    p.OnTimerTick(*timer);
    std::this_thread::yield();
  }
  audio.join();
  const auto pushed = p.CallsNamed("PushReal");
  ASSERT_EQ(pushed.size(), static_cast<size_t>(kCount));
  bool inOrder = true;
  for (int i = 0; i < kCount; ++i) {
    const auto& c = pushed[static_cast<size_t>(i)];
    inOrder = inOrder && c.mIdx == i % 7 && c.mValue == static_cast<double>(i);
  }
  EXPECT_TRUE(inOrder);
}

// Two threads queue values for the editor at once (the host's audio thread automating one
// parameter, its user-interface thread typing a value into another). Neither waits; a record
// that cannot go through the queue becomes a resend of the current values. A resend may show a
// value before older records still in the queue arrive, so the editor is current at the end
// rather than at every step; it never sees a torn record or a value nobody set.
TEST(PluginQueueThreadTest, TwoProducersNeverTearRecordsAndTheEditorEndsCurrent) {
  test::TestPlugin p;
  constexpr int kCount = 20000;
  std::unique_ptr<Timer> timer = Timer::Launch([](Timer&) {}, 3600 * 1000);
  std::atomic<int> running{2};
  auto producer = [&](int idx, double maxValue) {
    for (int i = 1; i <= kCount; ++i) {
      const double v = maxValue * i / kCount;
      p.GetParam(idx)->SetValue(v);
      p.QueueParamValueForEditor(idx, v, false);
    }
    running.fetch_sub(1);
  };
  std::thread audio(producer, 0, 200.0);  // Input Gain, 0..200
  std::thread ui(producer, 1, 100.0);     // Wet, 0..100
  while (running.load() > 0) {
    p.OnTimerTick(*timer);
    std::this_thread::yield();
  }
  audio.join();
  ui.join();
  p.OnTimerTick(*timer);

  double last[2] = {0.0, 0.0};
  bool intact = true;
  for (const auto& c : p.CallsNamed("PushReal")) {
    if (c.mIdx != 0 && c.mIdx != 1) continue;  // a resend also carries the untouched parameters
    const double maxValue = c.mIdx == 0 ? 200.0 : 100.0;
    const double n = std::round(c.mValue * kCount / maxValue);
    intact = intact && n >= 1 && n <= kCount && maxValue * n / kCount == c.mValue;
    last[c.mIdx] = c.mValue;
  }
  EXPECT_TRUE(intact);
  EXPECT_EQ(last[0], 200.0);
  EXPECT_EQ(last[1], 100.0);
}

TEST(PluginQueueThreadTest, MidiAndSysExFromTheEditorReachTheAudioThreadInOrder) {
  test::TestPlugin p;
  constexpr int kMidi = 20000, kSysEx = 5000;
  std::thread editor([&] {
    uint8_t data[64];
    for (int i = 0; i < kMidi; ++i) {
      while (p.MidiFromEditorQueue().ElementsAvailable() >= 32) std::this_thread::yield();
      p.MidiFromEditor(MidiMsg{i, 0xB0, static_cast<uint8_t>(i & 0x7F), 0});
      if (i < kSysEx) {
        while (p.SysExFromEditorQueue().ElementsAvailable() >= 4) std::this_thread::yield();
        std::memset(data, i & 0xFF, sizeof(data));
        p.SysExFromEditor(SysExMsg{i, 64, data});
      }
    }
  });
  int midi = 0, sysex = 0;
  bool ok = true;
  MidiMsg m;
  SysExRecord s;
  while (midi < kMidi || sysex < kSysEx) {
    while (p.MidiFromEditorQueue().Pop(m))
      ok = ok && m.mOffset == midi++ && m.mData1 == ((m.mOffset) & 0x7F);
    while (p.SysExFromEditorQueue().Pop(s)) {
      ok = ok && s.mOffset == sysex && s.mSize == 64 && s.mData[63] == (sysex & 0xFF);
      ++sysex;
    }
    std::this_thread::yield();
  }
  editor.join();
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace kantele
