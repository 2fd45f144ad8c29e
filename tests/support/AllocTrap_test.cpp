// The trap must really see allocations, on every toolchain: if the replaced
// operator new were not linked in, every "allocates nothing" test would pass
// without checking anything.

#include "support/AllocTrap.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kantele::test {
namespace {

TEST(AllocTrap, CountsEveryKindOfAllocationWhileArmed) {
  ScopedAllocTrap trap;
  auto single = std::make_unique<int>(1);
  auto array = std::make_unique<int[]>(16);
  std::vector<double> grown;
  grown.resize(1000);
  std::string longText(200, 'x');
  struct alignas(64) Wide {
    double v[8];
  };
  auto aligned = std::make_unique<Wide>();
  EXPECT_GE(trap.Allocations(), 5);
}

TEST(AllocTrap, CountsNothingOutsideTheTrapOrOnOtherThreads) {
  long before = 0;
  {
    ScopedAllocTrap trap;
    std::thread other([] { std::vector<int> v(100); });
    other.join();
    // The thread object itself may allocate its state on this thread; the
    // vector on the other thread must not count.
    before = trap.Allocations();
  }
  const long total = TrappedAllocationCount();
  std::vector<int> outside(100);
  EXPECT_EQ(TrappedAllocationCount(), total);
  EXPECT_LE(before, 2);
}

TEST(AllocTrap, NestedTrapsCountFromTheirOwnStart) {
  ScopedAllocTrap outer;
  auto first = std::make_unique<int>(1);
  ScopedAllocTrap inner;
  EXPECT_EQ(inner.Allocations(), 0);
  auto second = std::make_unique<int>(2);
  EXPECT_EQ(inner.Allocations(), 1);
  EXPECT_EQ(outer.Allocations(), 2);
}

}  // namespace
}  // namespace kantele::test
