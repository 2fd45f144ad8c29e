#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {
namespace render {

/// One parameter's automation over a render, in the plug-in's normalised values at sample
/// positions counted from the first processed sample.
///
/// Corners are in order of their samples; between two neighbours the value is linear in the
/// normalised value (as a host's automation lane is: linear in the parameter's units too when
/// the plug-in maps its range linearly), before the first corner it is the first corner's value
/// and after the last the last one's. Two corners at one sample make a step: the earlier value
/// holds up to that sample, the later one from it on.
///
/// Made on the main thread (allocates); the reads never allocate or lock. [any-thread]
class AutomationCurve {
 public:
  struct Corner {
    int64_t sample;
    double value;
  };

  /// The curve of parameter `param` through `corners`: at least one, samples never decreasing
  /// (std::invalid_argument otherwise).
  AutomationCurve(int param, std::vector<Corner> corners);

  int Param() const { return mParam; }
  const std::vector<Corner>& Corners() const { return mCorners; }

  /// The value at `sample`; at a step, the value after it.
  double ValueAt(int64_t sample) const;

  /// The points from which a plug-in reconstructs the curve over the block of `frames` samples
  /// from `start`, given the value it had at the sample before: every corner inside the block at
  /// its offset, then the value at the block's last sample when the curve still moves there
  /// (no corner on that sample, and the neighbouring corners around it differ). A block on a
  /// flat stretch gets none. Calls `emit(int32_t offset, double value)` in order of offset;
  /// never allocates.
  template <typename Emit>
  void ForEachBlockPoint(int64_t start, int frames, Emit&& emit) const;

  /// The most points ForEachBlockPoint emits for a block of `frames` samples, wherever it
  /// starts.
  int MaxBlockPoints(int frames) const;

 private:
  /// The index of the first corner at or after `sample` (the corner count when none is).
  std::size_t FirstCornerFrom(int64_t sample) const;

  int mParam;
  std::vector<Corner> mCorners;
};

template <typename Emit>
void AutomationCurve::ForEachBlockPoint(int64_t start, int frames, Emit&& emit) const {
  if (frames <= 0) return;
  const int64_t last = start + frames - 1;
  std::size_t next = FirstCornerFrom(start);
  bool cornerOnLast = false;
  for (; next < mCorners.size() && mCorners[next].sample <= last; ++next) {
    emit(static_cast<int32_t>(mCorners[next].sample - start), mCorners[next].value);
    cornerOnLast = mCorners[next].sample == last;
  }
  // `last` lies between corners next - 1 and next: a ramp there needs its value at `last`.
  if (cornerOnLast || next == 0 || next == mCorners.size()) return;
  if (mCorners[next - 1].value != mCorners[next].value) {
    emit(static_cast<int32_t>(frames - 1), ValueAt(last));
  }
}

}  // namespace render
}  // namespace tolvane
