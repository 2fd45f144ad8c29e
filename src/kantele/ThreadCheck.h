#pragma once

#include <atomic>
#include <thread>

namespace kantele {

/// Receives the name of an entry point that ran on a thread other than its owner's.
using ThreadCheckFailure = void (*)(const char* entryPoint);

/// The thread that an object's user-interface entry points belong to: the thread that made the
/// object (a host creates the plug-in and opens its editor on its user-interface thread).
///
/// `Check` costs one relaxed load while no failure handler is installed, and then does
/// nothing: a plug-in installs none. The test programs install one that fails the running
/// test, so an entry point reached from another thread cannot pass a test unnoticed.
///
/// [any-thread] `Check` never allocates and never locks; the handler decides what a failure
/// costs.
class UiThreadCheck {
 public:
  UiThreadCheck() : mOwner(std::this_thread::get_id()) {}

  /// Hands `entryPoint` to the installed handler when the calling thread is not the owner.
  void Check(const char* entryPoint) const {
    const ThreadCheckFailure fail = sFailure.load(std::memory_order_relaxed);
    if (fail && std::this_thread::get_id() != mOwner) fail(entryPoint);
  }

  /// Installs the process's handler; null turns every check off. Answers the previous one.
  static ThreadCheckFailure SetFailureHandler(ThreadCheckFailure handler) {
    return sFailure.exchange(handler);
  }

 private:
  std::thread::id mOwner;
  static inline std::atomic<ThreadCheckFailure> sFailure{nullptr};
};

}  // namespace kantele

/// Checks that the enclosing function runs on `check`'s thread, naming the function as the
/// compiler does (so the name cannot drift from the code).
#if defined(__GNUC__)
#define KANTELE_CHECK_UI_THREAD(check) (check).Check(__PRETTY_FUNCTION__)
#else
#define KANTELE_CHECK_UI_THREAD(check) (check).Check(__func__)
#endif
