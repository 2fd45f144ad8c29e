#include "render/LevelMeter.h"

#include <cmath>
#include <limits>

namespace tolvane {
namespace render {

LevelMeter::LevelMeter(int channels)
    : mPeak(static_cast<size_t>(channels), 0.0), mSumSquares(static_cast<size_t>(channels), 0.0) {}

void LevelMeter::Add(const double* interleaved, int64_t frames) {
  const size_t channels = mPeak.size();
  for (int64_t i = 0; i < frames; ++i) {
    for (size_t c = 0; c < channels; ++c) {
      const double s = interleaved[static_cast<size_t>(i) * channels + c];
      const double a = std::fabs(s);
      // NaN never compares greater: a channel with NaNs shows its finite peak.
      if (a > mPeak[c]) mPeak[c] = a;
      mSumSquares[c] += s * s;
    }
  }
  mFrames += frames;
}

double LevelMeter::PeakDbfs(int c) const { return ToDbfs(mPeak[static_cast<size_t>(c)]); }

double LevelMeter::RmsDbfs(int c) const {
  if (mFrames == 0) return -std::numeric_limits<double>::infinity();
  return ToDbfs(std::sqrt(mSumSquares[static_cast<size_t>(c)] / static_cast<double>(mFrames)));
}

double LevelMeter::ToDbfs(double amplitude) {
  if (amplitude <= 0.0) return -std::numeric_limits<double>::infinity();
  return 20.0 * std::log10(amplitude);
}

}  // namespace render
}  // namespace tolvane
