#include "render/ProgressBar.h"

#include <cstdio>

namespace tolvane {
namespace render {

namespace {
constexpr double kShowAfterSeconds = 1.0;
constexpr double kRedrawSeconds = 0.1;
constexpr int kWidth = 30;
}  // namespace

ProgressBar::ProgressBar(int64_t totalFrames, double sampleRate, bool enabled)
    : mTotal(totalFrames),
      mRate(sampleRate),
      mEnabled(enabled && totalFrames > 0),
      mStart(Clock::now()),
      mLastDraw(mStart) {}

double ProgressBar::Elapsed() const {
  return std::chrono::duration<double>(Clock::now() - mStart).count();
}

void ProgressBar::Update(int64_t done) {
  if (!mEnabled) return;
  const Clock::time_point now = Clock::now();
  const double elapsed = std::chrono::duration<double>(now - mStart).count();
  if (elapsed < kShowAfterSeconds) return;
  if (mDrawn && std::chrono::duration<double>(now - mLastDraw).count() < kRedrawSeconds) return;
  mLastDraw = now;
  mDrawn = true;
  const double fraction = done >= mTotal ? 1.0 : static_cast<double>(done) / mTotal;
  char bar[kWidth + 1];
  const int filled = static_cast<int>(fraction * kWidth);
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  const double seconds = static_cast<double>(done) / mRate;
  std::fprintf(stderr, "\r[%s] %3d%%  %.1f of %.1f s  %.1fx real time ", bar,
               static_cast<int>(fraction * 100.0), seconds, static_cast<double>(mTotal) / mRate,
               seconds / elapsed);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!mDrawn) return;
  std::fprintf(stderr, "\r%*s\r", kWidth + 50, "");
  std::fflush(stderr);
  mDrawn = false;
}

}  // namespace render
}  // namespace tolvane
