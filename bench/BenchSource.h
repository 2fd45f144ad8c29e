#pragma once

// The signal the plug-in benchmarks feed every format's audio path, so their figures compare:
// two decaying partials per channel at about -12 dBFS, 2^16 frames long, read in blocks that
// wrap around.

#include <cmath>
#include <vector>

namespace kantele::bench {

constexpr int kSourceFrames = 1 << 16;

/// Channel `channel` of the source, as `T` samples.
template <typename T>
std::vector<T> MakeSource(int channel) {
  std::vector<T> s(kSourceFrames);
  for (int i = 0; i < kSourceFrames; ++i) {
    const double t = i / 44100.0;
    const double env = std::exp(-3.0 * std::fmod(t, 0.5));
    s[static_cast<size_t>(i)] =
        static_cast<T>(env * (0.2 * std::sin(2 * M_PI * 110.0 * t + channel) +
                              0.12 * std::sin(2 * M_PI * 164.8 * t)));
  }
  return s;
}

}  // namespace kantele::bench
