#pragma once

#include <vector>

namespace tolvane {

/// A whole-sample delay for several channels: what comes out is what went in `Delay()` samples
/// earlier (zeros before that). Used to keep a dry signal aligned with one that went through
/// the Oversampler (delay Oversampler::LatencySamples()). The samples are moved, never
/// computed on: the delayed signal is the input's bits.
///
/// Threads: Configure allocates and belongs to the main thread (or wherever processing is
/// stopped); Reset and Process run on the audio thread without allocation or lock.
class DelayLine {
 public:
  /// [main-thread] Allocates `channels` channels delaying by `delay` samples (at least 0) and
  /// clears them.
  void Configure(int channels, int delay);

  int Delay() const { return mDelay; }
  int NumChannels() const { return static_cast<int>(mChannels.size()); }

  /// [audio-thread] Clears every channel (zeros come out for the next Delay() samples).
  void Reset();

  /// [audio-thread] Delays `n` samples of `channel` from `in` into `out`; the two may be the
  /// same buffer (or not overlap at all). A channel out of range writes zeros. No allocation.
  void Process(const double* in, double* out, int n, int channel);

  /// [audio-thread] One sample of `channel` (out of range: 0).
  double ProcessSample(double in, int channel);

 private:
  struct Channel {
    std::vector<double> ring;  // Delay() samples, the oldest at `pos`
    int pos = 0;
  };
  std::vector<Channel> mChannels;
  int mDelay = 0;
};

}  // namespace tolvane
