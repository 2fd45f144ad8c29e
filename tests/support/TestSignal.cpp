#include "support/TestSignal.h"

#include <cmath>
#include <cstdint>

namespace kantele::test {

constexpr double kPi = 3.14159265358979323846;

template <typename T>
Planar<T> TestSignal(int channels, int frames, double sampleRate) {
  Planar<T> p(channels, frames);
  uint32_t noise = 12345;
  for (int c = 0; c < channels; ++c) {
    for (int i = 0; i < frames; ++i) {
      noise = noise * 1664525u + 1013904223u;
      const double t = i / sampleRate;
      const double v = 0.5 * std::sin(2.0 * kPi * (110.0 + 3.0 * c) * t) +
                       0.25 * std::sin(2.0 * kPi * 1234.5 * t) +
                       0.05 * (static_cast<double>(noise >> 8) / 16777216.0 - 0.5);
      p.channel[static_cast<size_t>(c)][static_cast<size_t>(i)] = static_cast<T>(v);
    }
  }
  return p;
}

template Planar<float> TestSignal<float>(int, int, double);
template Planar<double> TestSignal<double>(int, int, double);

}  // namespace kantele::test
