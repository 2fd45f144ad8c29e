#include "kantele/Timer.h"

#include <algorithm>
#include <new>
#include <utility>

#include "kantele/Timer_impl.h"

namespace kantele {

// One per running callable, on Dispatch's stack: holds the callable for the
// duration of the call. The destructor of a timer whose callable is running
// marks the frame, so the frame does not touch the timer again afterwards.
struct Timer_impl::TickFrame {
  explicit TickFrame(Timer_impl& timer) : mTimer(timer), mFunc(std::move(timer.mFunc)) {
    mTimer.mFunc = nullptr;
    mTimer.mTick = this;
  }
  ~TickFrame() {
    if (mTimerDestroyed) return;
    mTimer.mTick = nullptr;
    mTimer.mFunc = std::move(mFunc);
  }
  TickFrame(const TickFrame&) = delete;
  TickFrame& operator=(const TickFrame&) = delete;

  Timer_impl& mTimer;
  ITimerFunction mFunc;
  bool mTimerDestroyed = false;
};

// Constructed on first use, thread-safely, in static storage and never destroyed, so a timer
// owned by a static object can still be destroyed during process exit. Nothing of theirs lives
// on the heap once the last timer is gone (see Cancel), so a plug-in module unloaded and loaded
// again and again loses no memory.
template <typename T>
static T& Immortal() {
  alignas(T) static unsigned char sStorage[sizeof(T)];
  static T* sObject = new (sStorage) T();
  return *sObject;
}

std::recursive_mutex& Timer_impl::Lock() { return Immortal<std::recursive_mutex>(); }

std::vector<Timer_impl*>& Timer_impl::List_NoLock() { return Immortal<std::vector<Timer_impl*>>(); }

Timer_impl::Timer_impl(ITimerFunction func, uint32_t periodMs)
    : mFunc(std::move(func)), mPeriodMs(periodMs) {}

Timer_impl::~Timer_impl() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Cancel();
  if (mTick) mTick->mTimerDestroyed = true;
  // mFunc is empty while the callable runs (Dispatch holds it), so destroying
  // it here never destroys a running callable.
}

void Timer_impl::Cancel() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (mSystemId == 0) return;
  timer_platform::Stop_NoLock(mSystemId);
  auto& list = List_NoLock();
  auto it = std::find(list.begin(), list.end(), this);
  if (it != list.end()) list.erase(it);
  if (list.empty()) std::vector<Timer_impl*>().swap(list);  // give the storage back
  mSystemId = 0;
}

bool Timer_impl::Dispatch(uintptr_t id) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto& list = List_NoLock();
  auto it = std::find_if(list.begin(), list.end(),
                         [id](const Timer_impl* t) { return t->mSystemId == id; });
  if (it == list.end()) return false;
  Timer_impl& timer = **it;
  if (timer.mTick) return false;  // its callable is already running further up this stack
  if (!timer.mFunc) return false;

  // Moving a std::function never allocates; the callable lives on this stack
  // until it returns, whatever it does to its timer. The frame puts it back
  // (unless the timer was destroyed) even if it throws.
  TickFrame frame(timer);
  frame.mFunc(timer);
  return true;
}

std::unique_ptr<Timer> Timer::Launch(ITimerFunction func, uint32_t periodMs) {
  auto timer = std::make_unique<Timer_impl>(std::move(func), periodMs);
  std::lock_guard<std::recursive_mutex> lock(Timer_impl::Lock());
  const uintptr_t id = timer_platform::Start_NoLock(*timer);
  timer->mSystemId = id;
  if (id != 0) Timer_impl::List_NoLock().push_back(timer.get());
  return timer;
}

}  // namespace kantele
