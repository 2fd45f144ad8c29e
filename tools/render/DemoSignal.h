#pragma once

#include <cstdint>
#include <vector>

namespace tolvane {
namespace render {

/// Six seconds of stereo musical material, synthesized in code, for rendering
/// without an input file: three bars at 120 beats per minute (A minor, F major,
/// G major) of plucked strings (Karplus-Strong) arpeggiated across the stereo
/// field, a bass line, kick, snare and hi-hats. The mix is scaled so that its
/// louder channel peaks at exactly kPeakDbfs; its RMS lands near -20 dBFS, the
/// level of mixed music before mastering.
///
/// Deterministic: every construction gives the same samples bit for bit (a
/// fixed-seed generator supplies the noise; nothing depends on time or on the
/// environment). [any-thread]; constructing allocates.
class DemoSignal {
 public:
  static constexpr int kSampleRate = 48000;
  static constexpr int kChannels = 2;
  static constexpr double kSeconds = 6.0;
  static constexpr double kPeakDbfs = -6.0;
  static constexpr double kTempo = 120.0;

  /// Synthesizes the material.
  DemoSignal();

  int64_t Frames() const { return static_cast<int64_t>(mChannels[0].size()); }

  /// Channel 0 (left) or 1 (right).
  const std::vector<double>& Channel(int c) const { return mChannels[c]; }

  /// Copies up to `frames` frames from `position` on, interleaved, into `out`;
  /// answers the number copied (0 at the end).
  int64_t ReadInterleaved(int64_t position, double* out, int64_t frames) const;

 private:
  std::vector<double> mChannels[kChannels];
};

}  // namespace render
}  // namespace tolvane
