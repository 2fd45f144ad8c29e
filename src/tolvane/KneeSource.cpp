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
    mHasDrawn = false;
  }
  if (!mDeterministic) {
    if (mHasDrawn) {
      mHasDrawn = false;
      return mDrawn;
    }
    return static_cast<uint32_t>(mDevice());
  }
  return mNextSeed++;  // unsigned: wraps modulo 2^32
}

bool KneeSource::PredictNextSeed(uint32_t& seed) {
  if (mRequest.load(std::memory_order_relaxed) & kPending) return false;
  if (mDeterministic) {
    seed = mNextSeed;
    return true;
  }
  if (!mHasDrawn) {
    mDrawn = static_cast<uint32_t>(mDevice());
    mHasDrawn = true;
  }
  seed = mDrawn;
  return true;
}

uint32_t KneeSource::FirstOutputFor(uint32_t seed) {
  const bool hit = mHasPrefetched && mPrefetchedSeed == seed;
  mHasPrefetched = false;
  return hit ? mPrefetchedOutput : FirstMt19937Output(seed);
}

uint32_t Mt19937FirstOutputWalk::Output() {
  // MT19937's first output after seeding is the tempered value of
  //   x[0]' = x[397] ^ twist(upper bit of x[0], lower 31 bits of x[1]),
  // so only the seeding recurrence up to x[397] is needed, not all 624 words.
  constexpr uint32_t kMatrixA = 0x9908b0dfu;
  StepTo(kSteps);
  const uint32_t y = (mX0 & 0x80000000u) | (mX1 & 0x7fffffffu);
  uint32_t z = mX ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
  z ^= z >> 11;
  z ^= (z << 7) & 0x9d2c5680u;
  z ^= (z << 15) & 0xefc60000u;
  z ^= z >> 18;
  return z;
}

uint32_t KneeSource::FirstMt19937Output(uint32_t seed) {
  return Mt19937FirstOutputWalk(seed).Output();
}

double KneeSource::KneeRandomFromOutput(uint32_t r) {
  // 24 significant bits over 2^32, in single precision; the quotient may round to 1.0.
  const float w = static_cast<float>(r) / 4294967296.0f;
  return static_cast<double>(w);
}

}  // namespace tolvane
