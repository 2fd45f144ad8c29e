#pragma once

#include <chrono>
#include <cstdint>

namespace tolvane {
namespace render {

/// A one-line progress bar on stderr for renders that take a while: it appears
/// once a render has run for a second of wall time, redraws at most ten times a
/// second and is erased when the render ends, so short renders and output that
/// is not a terminal never show it. [main-thread]; never allocates.
class ProgressBar {
 public:
  /// `enabled` is false when stderr is not a terminal.
  ProgressBar(int64_t totalFrames, double sampleRate, bool enabled);
  ~ProgressBar() { Finish(); }

  /// Reports `done` frames rendered.
  void Update(int64_t done);

  /// Erases the bar if it was drawn.
  void Finish();

  /// Seconds since construction.
  double Elapsed() const;

 private:
  using Clock = std::chrono::steady_clock;

  int64_t mTotal;
  double mRate;
  bool mEnabled;
  bool mDrawn = false;
  Clock::time_point mStart;
  Clock::time_point mLastDraw;
};

}  // namespace render
}  // namespace tolvane
