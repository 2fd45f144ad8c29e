#include "kantele/Timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kantele/Timer_impl.h"
#include "support/TimerPump.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kantele {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The operating system's identity of the calling thread.
#ifdef _WIN32
using ThreadId = DWORD;
ThreadId CurrentThread() { return GetCurrentThreadId(); }
#else
using ThreadId = std::thread::id;
ThreadId CurrentThread() { return std::this_thread::get_id(); }
#endif

// What a counting callable saw. Written only inside ticks, read by the test
// thread after pumping or cancelling: the timer lock orders the two.
struct Ticks {
  int count = 0;
  std::vector<Timer*> timers;
  std::vector<ThreadId> threads;

  Timer::ITimerFunction Counter() {
    return [this](Timer& t) {
      ++count;
      timers.push_back(&t);
      threads.push_back(CurrentThread());
    };
  }
};

// Captured by value into a callable: records if the callable's captures were
// destroyed while the callable was still running.
struct RunState {
  bool running = false;
  bool destroyedWhileRunning = false;
};
struct CaptureProbe {
  std::shared_ptr<RunState> state = std::make_shared<RunState>();
  ~CaptureProbe() {
    if (state && state->running) state->destroyedWhileRunning = true;
  }
};

class TimerTest : public ::testing::Test {
 protected:
  // Every test cancels or destroys what it launched; a listed leftover means
  // Cancel or the destructor failed to unlist a timer.
  void TearDown() override {
    std::lock_guard<std::recursive_mutex> lock(Timer_impl::Lock());
    EXPECT_TRUE(Timer_impl::List_NoLock().empty());
  }
};

TEST_F(TimerTest, TicksRepeatedlyOnThePumpingThreadWithTheTimerItself) {
  Ticks ticks;
  auto timer = Timer::Launch(ticks.Counter(), 20);
  ASSERT_NE(timer, nullptr);
  ASSERT_TRUE(test::PumpTimersUntil([&] { return ticks.count >= 3; }, 3000));
  timer->Cancel();
  for (int i = 0; i < ticks.count; ++i) {
    EXPECT_EQ(ticks.timers[i], timer.get());
    EXPECT_EQ(ticks.threads[i], CurrentThread());
  }
}

TEST_F(TimerTest, CancelAndDestroyStopTicksAndLeaveOtherTimersTicking) {
  Ticks a, b, c;
  auto timerA = Timer::Launch(a.Counter(), 20);
  auto timerB = Timer::Launch(b.Counter(), 20);
  auto timerC = Timer::Launch(c.Counter(), 20);
  ASSERT_TRUE(
      test::PumpTimersUntil([&] { return a.count >= 2 && b.count >= 2 && c.count >= 2; }, 3000));

  timerA->Cancel();
  timerA->Cancel();  // cancelling a stopped timer does nothing
  timerB.reset();
  const int aAfter = a.count, bAfter = b.count, cBefore = c.count;
  ASSERT_TRUE(test::PumpTimersUntil([&] { return c.count >= cBefore + 3; }, 3000));
  EXPECT_EQ(a.count, aAfter);
  EXPECT_EQ(b.count, bAfter);
  for (Timer* t : c.timers) EXPECT_EQ(t, timerC.get());
}

TEST_F(TimerTest, CallableMayCancelItsOwnTimer) {
  int count = 0;
  CaptureProbe probe;
  auto timer = Timer::Launch(
      [&count, probe](Timer& t) {
        probe.state->running = true;
        ++count;
        t.Cancel();
        probe.state->running = false;
      },
      10);
  ASSERT_TRUE(test::PumpTimersUntil([&] { return count >= 1; }, 3000));
  test::PumpTimersFor(150);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(probe.state->destroyedWhileRunning);
  timer->Cancel();
}

TEST_F(TimerTest, CallableMayDestroyItsOwnTimerAndLaunchAnother) {
  std::unique_ptr<Timer> holder;
  int firstCount = 0;
  Ticks second;
  CaptureProbe probe;
  const std::shared_ptr<RunState> state = probe.state;
  holder = Timer::Launch(
      [&, probe](Timer&) {
        probe.state->running = true;
        ++firstCount;
        holder.reset();  // destroys this callable's own timer
        holder = Timer::Launch(second.Counter(), 10);
        probe.state->running = false;  // the captures are still usable here
      },
      10);
  ASSERT_TRUE(test::PumpTimersUntil([&] { return second.count >= 2; }, 3000));
  EXPECT_EQ(firstCount, 1);
  EXPECT_FALSE(state->destroyedWhileRunning);
  EXPECT_EQ(state.use_count(), 2);  // the first callable is gone: only ours and `probe`
  for (Timer* t : second.timers) EXPECT_EQ(t, holder.get());
  holder.reset();
}

// A callable that delivers ticks itself (a modal loop inside a tick) sees
// other timers tick but never re-enters itself.
TEST_F(TimerTest, CallableThatPumpsTicksIsNotReentered) {
  int depth = 0, maxDepth = 0, outerTicks = 0;
  Ticks other;
  auto otherTimer = Timer::Launch(other.Counter(), 10);
  auto timer = Timer::Launch(
      [&](Timer&) {
        ++outerTicks;
        maxDepth = std::max(maxDepth, ++depth);
        test::PumpTimersUntil([&] { return other.count >= 2; }, 3000);
        --depth;
      },
      10);
  ASSERT_TRUE(test::PumpTimersUntil([&] { return outerTicks >= 1; }, 3000));
  EXPECT_EQ(maxDepth, 1);
  EXPECT_GE(other.count, 2);
}

#ifdef _WIN32

TEST_F(TimerTest, TimerLaunchedOnAnotherThreadTicksThroughThatThreadsLoop) {
  Ticks ticks;
  std::atomic<bool> done{false};
  bool workerSawTicks = false;
  DWORD workerId = 0;
  std::thread worker([&] {
    workerId = GetCurrentThreadId();
    auto timer = Timer::Launch(ticks.Counter(), 20);
    workerSawTicks = test::PumpTimersUntil([&] { return ticks.count >= 3; }, 3000);
    timer.reset();
    done = true;
  });
  // The main thread runs its own loop meanwhile; the worker's ticks must not arrive here.
  test::PumpTimersUntil([&] { return done.load(); }, 10000);
  worker.join();
  EXPECT_TRUE(workerSawTicks);
  ASSERT_NE(workerId, CurrentThread());
  for (ThreadId id : ticks.threads) EXPECT_EQ(id, workerId);
}

TEST_F(TimerTest, ServiceDueTimersLeavesTicksToTheMessageLoop) {
  Ticks ticks;
  auto timer = Timer::Launch(ticks.Counter(), 10);
  Sleep(100);
  EXPECT_EQ(Timer::ServiceDueTimers(), 0);
  EXPECT_EQ(ticks.count, 0);
  ASSERT_TRUE(test::PumpTimersUntil([&] { return ticks.count >= 1; }, 3000));
}

#else  // ticks come from ServiceDueTimers

TEST_F(TimerTest, ServiceRunsNothingBeforeThePeriodElapsed) {
  Ticks ticks;
  auto timer = Timer::Launch(ticks.Counter(), 60000);
  EXPECT_EQ(Timer::ServiceDueTimers(), 0);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(Timer::ServiceDueTimers(), 0);
  EXPECT_EQ(ticks.count, 0);
}

TEST_F(TimerTest, LateTimerTicksOnceAndIsRescheduledFromNow) {
  constexpr int kPeriodMs = 20;
  Ticks ticks;
  auto timer = Timer::Launch(ticks.Counter(), kPeriodMs);
  std::this_thread::sleep_for(milliseconds(12 * kPeriodMs));
  EXPECT_EQ(Timer::ServiceDueTimers(), 1);  // many periods late, still one tick
  EXPECT_EQ(ticks.count, 1);

  // Rescheduled from the late tick, not from the missed due times: calls in
  // quick succession tick no more often than the time since allows.
  const auto start = Clock::now();
  int more = 0;
  for (int i = 0; i < 5; ++i) more += Timer::ServiceDueTimers();
  const auto elapsed = Clock::now() - start;
  EXPECT_LE(more, 1 + static_cast<int>(elapsed / milliseconds(kPeriodMs)));
  EXPECT_EQ(ticks.count, 1 + more);
}

TEST_F(TimerTest, ZeroPeriodTicksOncePerServiceAndLaunchesWaitForTheNextPass) {
  Ticks launched;
  std::unique_ptr<Timer> child;
  int count = 0;
  auto timer = Timer::Launch(
      [&](Timer&) {
        if (++count == 1) child = Timer::Launch(launched.Counter(), 0);
      },
      0);
  EXPECT_EQ(Timer::ServiceDueTimers(), 1);
  EXPECT_EQ(launched.count, 0);
  EXPECT_EQ(Timer::ServiceDueTimers(), 2);
  EXPECT_EQ(Timer::ServiceDueTimers(), 2);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(launched.count, 2);
}

TEST_F(TimerTest, TickMayDestroyATimerLaterInTheSamePass) {
  Ticks b;
  std::unique_ptr<Timer> timerB;
  int aCount = 0;
  auto timerA = Timer::Launch(
      [&](Timer&) {
        ++aCount;
        timerB.reset();
      },
      0);
  timerB = Timer::Launch(b.Counter(), 0);
  EXPECT_EQ(Timer::ServiceDueTimers(), 1);
  EXPECT_EQ(aCount, 1);
  EXPECT_EQ(b.count, 0);
}

TEST_F(TimerTest, TicksRunOnTheServicingThreadNotTheLaunchingOne) {
  Ticks ticks;
  auto timer = Timer::Launch(ticks.Counter(), 10);
  ThreadId serviceThread;
  bool ticked = false;
  std::thread ui([&] {
    serviceThread = CurrentThread();
    ticked = test::PumpTimersUntil([&] { return ticks.count >= 2; }, 3000);
  });
  ui.join();
  timer.reset();
  EXPECT_TRUE(ticked);
  ASSERT_NE(serviceThread, CurrentThread());
  for (ThreadId id : ticks.threads) EXPECT_EQ(id, serviceThread);
}

// Launch and Cancel on one thread while another services continuously. Each
// callable counts in a plain int, holds its tick until the test thread starts
// cancelling, and counts again; every other iteration cancels only once the tick
// is known to be running. Only the timer lock orders the tick's writes before
// the reads after Cancel, so a tick outside the lock, or a Cancel that returns
// while its tick still runs, is a data race (reported under ThreadSanitizer)
// and a count that changes after Cancel.
TEST_F(TimerTest, ServicingRacesLaunchAndCancelSafely) {
  std::atomic<bool> stop{false};
  std::atomic<long> passes{0};
  std::thread ui([&] {
    while (!stop.load()) {
      Timer::ServiceDueTimers();
      passes.fetch_add(1);
      std::this_thread::yield();
    }
  });

  constexpr int kIterations = 400;
  int ticked = 0;
  for (int i = 0; i < kIterations; ++i) {
    // Relaxed: the flags must not order the count themselves.
    std::atomic<bool> inTick{false}, cancelling{false};
    int count = 0;
    auto timer = Timer::Launch(
        [&](Timer&) {
          ++count;
          inTick.store(true, std::memory_order_relaxed);
          while (!cancelling.load(std::memory_order_relaxed)) std::this_thread::yield();
          ++count;
        },
        0);
    if (i % 2 == 0) {
      const auto deadline = Clock::now() + milliseconds(5000);
      while (!inTick.load(std::memory_order_relaxed) && Clock::now() < deadline) {
        std::this_thread::yield();
      }
    }
    cancelling.store(true, std::memory_order_relaxed);
    if (i % 4 < 2) {
      timer->Cancel();
    } else {
      timer.reset();
    }
    const int afterCancel = count;
    if (afterCancel > 0) ++ticked;
    const long seen = passes.load();
    while (passes.load() < seen + 2) std::this_thread::yield();
    EXPECT_EQ(count, afterCancel);
  }
  stop = true;
  ui.join();
  EXPECT_GE(ticked, kIterations / 2);  // every waited-for timer ticked
}

#endif

}  // namespace
}  // namespace kantele
