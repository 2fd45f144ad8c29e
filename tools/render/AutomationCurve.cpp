#include "render/AutomationCurve.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane {
namespace render {

AutomationCurve::AutomationCurve(int param, std::vector<Corner> corners)
    : mParam(param), mCorners(std::move(corners)) {
  const auto before = [](const Corner& a, const Corner& b) { return a.sample < b.sample; };
  if (mCorners.empty() || !std::is_sorted(mCorners.begin(), mCorners.end(), before)) {
    throw std::invalid_argument("an automation curve needs corners in order of their samples");
  }
}

std::size_t AutomationCurve::FirstCornerFrom(int64_t sample) const {
  const auto at = std::lower_bound(mCorners.begin(), mCorners.end(), sample,
                                   [](const Corner& c, int64_t s) { return c.sample < s; });
  return static_cast<size_t>(at - mCorners.begin());
}

double AutomationCurve::ValueAt(int64_t sample) const {
  // The first corner after `sample`: the one before it (the last of a step) holds or ramps.
  const auto after = std::upper_bound(mCorners.begin(), mCorners.end(), sample,
                                      [](int64_t s, const Corner& c) { return s < c.sample; });
  if (after == mCorners.begin()) return mCorners.front().value;
  if (after == mCorners.end()) return mCorners.back().value;
  const Corner& a = *(after - 1);
  const Corner& b = *after;
  const double fraction =
      static_cast<double>(sample - a.sample) / static_cast<double>(b.sample - a.sample);
  return a.value + (b.value - a.value) * fraction;
}

int AutomationCurve::MaxBlockPoints(int frames) const {
  // The corners of the fullest stretch of `frames` samples, and the value at the block's end.
  const int64_t span = std::max(frames, 1);
  size_t most = 0;
  size_t first = 0;
  for (size_t i = 0; i < mCorners.size(); ++i) {
    while (mCorners[i].sample - mCorners[first].sample >= span) ++first;
    most = std::max(most, i - first + 1);
  }
  return static_cast<int>(most) + 1;
}

}  // namespace render
}  // namespace tolvane
