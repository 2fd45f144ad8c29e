#pragma once

#include <cstdint>
#include <vector>

namespace tolvane {
namespace render {

/// Peak and RMS level per channel of a stream of interleaved frames.
/// [any-thread] but not shared; Add never allocates.
class LevelMeter {
 public:
  explicit LevelMeter(int channels);

  /// Accounts `frames` interleaved frames of Channels() samples each.
  void Add(const double* interleaved, int64_t frames);

  int Channels() const { return static_cast<int>(mPeak.size()); }
  int64_t Frames() const { return mFrames; }

  /// Largest absolute sample of channel `c`, in dB relative to full scale (1.0);
  /// minus infinity for silence.
  double PeakDbfs(int c) const;
  /// Root mean square of channel `c` in dBFS (a full-scale sine reads -3.01).
  double RmsDbfs(int c) const;

  /// 20 log10(amplitude); minus infinity for 0.
  static double ToDbfs(double amplitude);

 private:
  std::vector<double> mPeak;
  std::vector<double> mSumSquares;
  int64_t mFrames = 0;
};

}  // namespace render
}  // namespace tolvane
