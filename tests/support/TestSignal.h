#pragma once

// Planar audio and the deterministic test signal that the in-process format tests feed their
// adapters, so every format's processing is checked on the same samples.

#include <cstddef>
#include <vector>

namespace kantele::test {

/// Planar audio of `channels` channels.
template <typename T>
struct Planar {
  std::vector<std::vector<T>> channel;

  Planar(int channels, int frames)
      : channel(static_cast<size_t>(channels), std::vector<T>(static_cast<size_t>(frames))) {}
  int Frames() const { return channel.empty() ? 0 : static_cast<int>(channel[0].size()); }
  bool operator==(const Planar& o) const { return channel == o.channel; }
  bool operator!=(const Planar& o) const { return channel != o.channel; }
};

/// A deterministic test signal: two detuned sines with a little noise, peak about 0.8.
template <typename T>
Planar<T> TestSignal(int channels, int frames, double sampleRate);

}  // namespace kantele::test
