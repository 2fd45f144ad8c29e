#include "tolvane/KneeSource.h"

namespace tolvane {

KneeSource::KneeSource() = default;

void KneeSource::UseSeed(uint32_t seed) {
  mRequest.store(kPending | kDeterministic | seed, std::memory_order_release);
}

void KneeSource::UseRandomDevice() { mRequest.store(kPending, std::memory_order_release); }

uint32_t KneeSource::NextBlockSeed() {
  // One exchange per block: a request made while a block runs applies to the next one.
  const uint64_t request = mRequest.exchange(0, std::memory_order_acquire);
  if (request & kPending) {
    mDeterministic = (request & kDeterministic) != 0;
    mNextSeed = static_cast<uint32_t>(request);
  }
  if (!mDeterministic) return static_cast<uint32_t>(mDevice());
  return mNextSeed++;  // unsigned: wraps modulo 2^32
}

uint32_t KneeSource::FirstMt19937Output(uint32_t seed) {
  // MT19937's first output after seeding is the tempered value of
  //   x[0]' = x[397] ^ twist(upper bit of x[0], lower 31 bits of x[1]),
  // so only the seeding recurrence up to x[397] is needed, not all 624 words.
  constexpr uint32_t kMatrixA = 0x9908b0dfu;
  uint32_t x0 = seed;
  uint32_t x1 = 0;
  uint32_t x = seed;
  for (uint32_t i = 1; i <= 397; ++i) {
    x = 1812433253u * (x ^ (x >> 30)) + i;
    if (i == 1) x1 = x;
  }
  const uint32_t y = (x0 & 0x80000000u) | (x1 & 0x7fffffffu);
  uint32_t z = x ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
  z ^= z >> 11;
  z ^= (z << 7) & 0x9d2c5680u;
  z ^= (z << 15) & 0xefc60000u;
  z ^= z >> 18;
  return z;
}

double KneeSource::KneeRandomFromSeed(uint32_t seed) {
  const uint32_t r = FirstMt19937Output(seed);
  // 24 significant bits over 2^32, in single precision; the quotient may round to 1.0.
  const float w = static_cast<float>(r) / 4294967296.0f;
  return static_cast<double>(w);
}

}  // namespace tolvane
