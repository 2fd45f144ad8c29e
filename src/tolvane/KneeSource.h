#pragma once

#include <atomic>
#include <cstdint>
#include <random>

namespace tolvane {

/// The seeding recurrence of std::mt19937 up to the word its first output needs, one step at
/// a time, so that a caller can spread the serial chain through other work:
///   x[i] = 1812433253 (x[i-1] ^ (x[i-1] >> 30)) + i for i = 1 .. 397.
/// After kSteps steps, Output() is std::mt19937(seed)().
class Mt19937FirstOutputWalk {
 public:
  static constexpr uint32_t kSteps = 397;

  Mt19937FirstOutputWalk() = default;
  explicit Mt19937FirstOutputWalk(uint32_t seed) : mX0(seed), mX(seed) {}

  /// Steps taken so far.
  uint32_t Taken() const { return mI - 1; }
  bool Done() const { return mI > kSteps; }
  /// One step of the recurrence; must not be called once Done().
  [[gnu::always_inline]] void Step() {
    mX = 1812433253u * (mX ^ (mX >> 30)) + mI;
    if (mI == 1) mX1 = mX;
    ++mI;
  }
  /// Steps until `taken` steps (at most kSteps) are done.
  [[gnu::always_inline]] void StepTo(uint32_t taken) {
    if (taken > kSteps) taken = kSteps;
    while (mI <= taken) Step();
  }
  /// Finishes the recurrence and returns the tempered first output.
  uint32_t Output();

 private:
  uint32_t mX0 = 0;  // word 0: the seed
  uint32_t mX1 = 0;  // word 1
  uint32_t mX = 0;   // the newest word
  uint32_t mI = 1;   // the index of the next word
};

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
  double NextKneeRandom() { return KneeRandomFromOutput(FirstOutputFor(NextBlockSeed())); }

  /// [audio-thread] No allocation, no lock; in random-device mode one read of the device,
  /// which the next NextBlockSeed() then answers instead of reading it again (so every block
  /// still takes exactly one device value). Sets `seed` to the seed the next block will get
  /// unless a switch is requested before it, and returns true; false while a switch is
  /// pending. The caller may compute that seed's first output early and hand it to
  /// Prefetched().
  bool PredictNextSeed(uint32_t& seed);

  /// [audio-thread] Records the first MT19937 output of `seed`, computed ahead by the caller;
  /// the next block uses it if its seed is `seed`, and computes its own otherwise.
  void Prefetched(uint32_t seed, uint32_t firstOutput) {
    mPrefetchedSeed = seed;
    mPrefetchedOutput = firstOutput;
    mHasPrefetched = true;
  }

  /// w for a seed: the first output of MT19937 seeded with `seed`, as a float over 2^32.
  static double KneeRandomFromSeed(uint32_t seed) {
    return KneeRandomFromOutput(FirstMt19937Output(seed));
  }
  /// w for a first MT19937 output r: float(r) / 2^32 in single precision, widened.
  static double KneeRandomFromOutput(uint32_t r);

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
  // A device value drawn by PredictNextSeed() for the next block.
  bool mHasDrawn = false;
  uint32_t mDrawn = 0;
  // A first output computed ahead (see Prefetched).
  bool mHasPrefetched = false;
  uint32_t mPrefetchedSeed = 0;
  uint32_t mPrefetchedOutput = 0;

  // The first output for `seed`: the prefetched one when it is this seed's, else computed.
  uint32_t FirstOutputFor(uint32_t seed);
};

}  // namespace tolvane
