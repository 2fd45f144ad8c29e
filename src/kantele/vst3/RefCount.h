#pragma once

#include <atomic>

#include "kantele/vst3/Vst3Interface.h"

namespace kantele {
namespace vst3 {

/// The reference count of an object handed across the interface: it starts at one reference;
/// its owner deletes itself when `Drop` answers 0. [any-thread]
class RefCount {
 public:
  uint32 Add() { return ++mCount; }
  /// Drops one reference; answers the count left.
  uint32 Drop() { return --mCount; }

 private:
  std::atomic<uint32> mCount{1};
};

}  // namespace vst3
}  // namespace kantele
