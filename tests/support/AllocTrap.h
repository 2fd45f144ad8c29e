#pragma once

// The audio-thread allocation trap of the test build.
//
// This library replaces the global operator new and operator delete. While a
// ScopedAllocTrap is alive on a thread, every allocation made by that thread is
// counted (and still served, so the test can report it instead of crashing).
// Code that must be real-time safe runs under a trap and the test asserts
// that the count stayed zero.

namespace kantele::test {

/// Arms the trap for the current thread for the lifetime of the object.
/// Traps nest; the count is per thread.
class ScopedAllocTrap {
 public:
  ScopedAllocTrap();
  ~ScopedAllocTrap();
  ScopedAllocTrap(const ScopedAllocTrap&) = delete;
  ScopedAllocTrap& operator=(const ScopedAllocTrap&) = delete;

  /// Allocations made on this thread since this trap was armed.
  long Allocations() const;

 private:
  long mStart;
};

/// Allocations made while any trap was armed on the current thread, ever.
long TrappedAllocationCount();

}  // namespace kantele::test
