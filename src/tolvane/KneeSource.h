#pragma once

#include <atomic>
#include <cstdint>
#include <random>

namespace tolvane {

/// Where each block's knee value comes from.
///
/// Every block the signal processing asks for one 32-bit seed, seeds a fresh
/// MT19937 with it and turns the engine's first output r into
/// w = float(r) / 4294967296 (single precision, then widened).
///
/// By default the seed is one value from the operating system's random device,
/// so no two blocks share a knee. A deterministic source, installed with seed S,
/// gives the k-th block after installation (k from 0) the seed (S + k) mod 2^32,
/// so renders can be repeated bit for bit.
class KneeSource {
 public:
  /// [main-thread] Opens the random device; may allocate.
  KneeSource();

  /// [any-thread] Lock-free. From the next block on, block k (counting from 0)
  /// uses the seed (seed + k) mod 2^32.
  void UseSeed(uint32_t seed);

  /// [any-thread] Lock-free. From the next block on, seeds come from the random device.
  void UseRandomDevice();

  /// [audio-thread] The seed for the next block; applies a pending switch first.
  /// No allocation, no lock; reading the random device may be one system call.
  uint32_t NextBlockSeed();

  /// [audio-thread] The next block's knee value w in [0, 1].
  double NextKneeRandom() { return KneeRandomFromSeed(NextBlockSeed()); }

  /// w for a seed: the first output of MT19937 seeded with `seed`, as a float over 2^32.
  static double KneeRandomFromSeed(uint32_t seed);

  /// The first output of std::mt19937 seeded with `seed`, computed from only the
  /// three state words that output depends on (equal to std::mt19937(seed)()).
  static uint32_t FirstMt19937Output(uint32_t seed);

 private:
  // A pending request from another thread: 0 for none, else kPending | mode | seed.
  static constexpr uint64_t kPending = uint64_t{1} << 33;
  static constexpr uint64_t kDeterministic = uint64_t{1} << 32;
  std::atomic<uint64_t> mRequest{0};

  // Audio-thread state.
  std::random_device mDevice;
  bool mDeterministic = false;
  uint32_t mNextSeed = 0;
};

}  // namespace tolvane
