#include "tolvane/Oversampler.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tolvane/OversamplerFilters.h"

namespace tolvane {
namespace {

using halfband::kHalfLength;
using halfband::kSideTaps;
static_assert(halfband::kStages == Oversampler::kMaxFactorLog2, "one filter per doubling");

// The down-sampler's taps are the filter's; the up-sampler's are twice them (the zero-stuffed
// signal has half the level), exactly, since doubling a double is exact.
template <int S>
constexpr std::array<double, kHalfLength[S]> ScaledTaps(double factor) {
  std::array<double, kHalfLength[S]> t{};
  for (int i = 0; i < kHalfLength[S]; ++i) t[i] = kSideTaps[S][i] * factor;
  return t;
}
template <int S>
struct Taps {
  static constexpr std::array<double, kHalfLength[S]> kDown = ScaledTaps<S>(1.0);
  static constexpr std::array<double, kHalfLength[S]> kUp = ScaledTaps<S>(2.0);
};

// Stage S's group delay at its high rate: the centre of its 4K - 1 taps.
constexpr int GroupDelay(int s) { return 2 * kHalfLength[s] - 1; }

// The round trip of 2^L before rounding, in samples of the highest rate: each stage's up and
// down filter delay by its group delay at 2^(s+1) fs, i.e. 2^(L-s-1) highest-rate samples each.
constexpr int RawDelayAtTop(int factorLog2) {
  int total = 0;
  for (int s = 0; s < factorLog2; ++s) total += 2 * GroupDelay(s) << (factorLog2 - s - 1);
  return total;
}
constexpr int Latency(int factorLog2) {
  const int factor = 1 << factorLog2;
  return (RawDelayAtTop(factorLog2) + factor - 1) / factor;
}
// The pure delay that makes the latency whole, in samples of the last down-sampling stage's
// output (half the highest rate); the raw delay is always even at the highest rate.
constexpr int Pad(int factorLog2) {
  return factorLog2 == 0
             ? 0
             : (Latency(factorLog2) * (1 << factorLog2) - RawDelayAtTop(factorLog2)) / 2;
}
static_assert(Latency(1) == 71 && Latency(2) == 78 && Latency(3) == 80 && Latency(4) == 81,
              "the documented latencies");
static_assert(RawDelayAtTop(4) % 2 == 0 && RawDelayAtTop(3) % 2 == 0, "whole pads");

// History lengths: the up-sampler reaches 2K - 1 input samples back; the down-sampler's even
// branch as far, plus the pad when the stage is the last one down.
constexpr int UpHistory(int s) { return 2 * kHalfLength[s] - 1; }
constexpr int DownHistory(int s) { return 2 * kHalfLength[s] - 1 + Pad(s + 1); }

// One value or two neighbouring outputs in the lanes of an SSE2 register, with the operations
// the filters use; both give the same bits per output.
struct Scalar {
  double v;
  static Scalar Load(const double* p) { return {*p}; }
  friend Scalar operator+(Scalar a, Scalar b) { return {a.v + b.v}; }
  friend Scalar operator*(Scalar a, double t) { return {a.v * t}; }
};
#if defined(__SSE2__)
struct Lane2 {
  __m128d v;
  static Lane2 Load(const double* p) { return {_mm_loadu_pd(p)}; }
  friend Lane2 operator+(Lane2 a, Lane2 b) { return {_mm_add_pd(a.v, b.v)}; }
  friend Lane2 operator*(Lane2 a, double t) { return {_mm_mul_pd(a.v, _mm_set1_pd(t))}; }
};
#endif

// sum over i of t[i] (q[1 + i] + q[-i]), from i = K - 1 (the outermost, smallest taps) down
// to 0: the one order every output is summed in.
template <int K, class V>
[[gnu::always_inline]] inline V SymmetricSum(const double* q, const std::array<double, K>& t) {
  V acc = (V::Load(q + K) + V::Load(q - (K - 1))) * t[K - 1];
  for (int i = K - 2; i >= 0; --i) acc = acc + (V::Load(q + 1 + i) + V::Load(q - i)) * t[i];
  return acc;
}

// Stage S up: `count` low-rate samples at u[H..H+count) (after the history u[0..H)) into
// 2 count samples at out. Output 2m is the filter's odd-tap branch, 2m + 1 the centre tap's
// (a delayed copy). Then keeps the last H samples as the next history.
template <int S>
void UpStage(double* u, int count, double* out) {
  constexpr int K = kHalfLength[S];
  constexpr int H = UpHistory(S);
  const auto& t = Taps<S>::kUp;
  int m = 0;
#if defined(__SSE2__)
  for (; m + 4 <= count; m += 4) {
    const double* q = u + H + m - K;
    const Lane2 a = SymmetricSum<K, Lane2>(q, t);
    const Lane2 b = SymmetricSum<K, Lane2>(q + 2, t);
    const __m128d ca = _mm_loadu_pd(q + 1), cb = _mm_loadu_pd(q + 3);
    _mm_storeu_pd(out + 2 * m, _mm_unpacklo_pd(a.v, ca));
    _mm_storeu_pd(out + 2 * m + 2, _mm_unpackhi_pd(a.v, ca));
    _mm_storeu_pd(out + 2 * m + 4, _mm_unpacklo_pd(b.v, cb));
    _mm_storeu_pd(out + 2 * m + 6, _mm_unpackhi_pd(b.v, cb));
  }
#endif
  for (; m < count; ++m) {
    const double* q = u + H + m - K;
    out[2 * m] = SymmetricSum<K, Scalar>(q, t).v;
    out[2 * m + 1] = q[1];
  }
  std::memmove(u, u + count, sizeof(double) * H);
}

// Stage S down: `count` output samples from the even and odd branches e and o (each
// e[H..H+count) after its history), delayed by `pad` more output samples:
//   y[m] = sum_i h_i (e[m - K + 1 + i - pad] + e[m - K - i - pad]) + o[m - K - pad] / 2.
// Then keeps the last H samples of each branch as the next history.
template <int S>
void DownStage(double* e, double* o, int count, int pad, double* out) {
  constexpr int K = kHalfLength[S];
  constexpr int H = DownHistory(S);
  const auto& t = Taps<S>::kDown;
  const double* eq = e + H - K - pad;
  const double* oq = o + H - K - pad;
  int m = 0;
#if defined(__SSE2__)
  for (; m + 4 <= count; m += 4) {
    const Lane2 a = SymmetricSum<K, Lane2>(eq + m, t) + Lane2::Load(oq + m) * 0.5;
    const Lane2 b = SymmetricSum<K, Lane2>(eq + m + 2, t) + Lane2::Load(oq + m + 2) * 0.5;
    _mm_storeu_pd(out + m, a.v);
    _mm_storeu_pd(out + m + 2, b.v);
  }
#endif
  for (; m < count; ++m) out[m] = (SymmetricSum<K, Scalar>(eq + m, t) + Scalar{oq[m]} * 0.5).v;
  std::memmove(e, e + count, sizeof(double) * H);
  std::memmove(o, o + count, sizeof(double) * H);
}

void RunUpStage(int s, double* u, int count, double* out) {
  switch (s) {
    case 0: UpStage<0>(u, count, out); break;
    case 1: UpStage<1>(u, count, out); break;
    case 2: UpStage<2>(u, count, out); break;
    default: UpStage<3>(u, count, out); break;
  }
}

void RunDownStage(int s, double* e, double* o, int count, int pad, double* out) {
  switch (s) {
    case 0: DownStage<0>(e, o, count, pad, out); break;
    case 1: DownStage<1>(e, o, count, pad, out); break;
    case 2: DownStage<2>(e, o, count, pad, out); break;
    default: DownStage<3>(e, o, count, pad, out); break;
  }
}

// Splits 2 count samples into the even and odd branches.
void Deinterleave(const double* in, int count, double* even, double* odd) {
  for (int j = 0; j < count; ++j) {
    even[j] = in[2 * j];
    odd[j] = in[2 * j + 1];
  }
}

}  // namespace

int Oversampler::LatencyFor(int factorLog2) {
  return Latency(std::clamp(factorLog2, 0, kMaxFactorLog2));
}

void Oversampler::Configure(int factorLog2, int channels, int maxHostBlock) {
  mConfiguredLog2 = std::clamp(factorLog2, 0, kMaxFactorLog2);
  mMaxBlock = std::max(1, maxHostBlock);
  mChannels.assign(static_cast<size_t>(std::max(0, channels)), Channel{});
  for (Channel& channel : mChannels) {
    for (int s = 0; s < mConfiguredLog2; ++s) {
      const size_t block = static_cast<size_t>(mMaxBlock) << s;  // stage s's low-rate block
      Stage& stage = channel.stages[s];
      stage.up.assign(UpHistory(s) + block, 0.0);
      stage.downEven.assign(DownHistory(s) + block, 0.0);
      stage.downOdd.assign(DownHistory(s) + block, 0.0);
    }
  }
  mScratch.assign(mConfiguredLog2 > 0 ? static_cast<size_t>(mMaxBlock) << (mConfiguredLog2 - 1) : 0,
                  0.0);
  mFactorLog2 = mConfiguredLog2;
}

void Oversampler::SelectFactor(int factorLog2) {
  mFactorLog2 = std::clamp(factorLog2, 0, mConfiguredLog2);
  Reset();
}

void Oversampler::Reset() {
  for (Channel& channel : mChannels) {
    for (Stage& stage : channel.stages) {
      std::fill(stage.up.begin(), stage.up.end(), 0.0);
      std::fill(stage.downEven.begin(), stage.downEven.end(), 0.0);
      std::fill(stage.downOdd.begin(), stage.downOdd.end(), 0.0);
    }
  }
}

// Up and Down alike: a channel out of range writes zeros, factor 1 copies, and a long block
// runs in parts of the configured maximum. `inShift` and `outShift` scale a host-sample
// position to the input's and the output's rate.
template <class Part>
void Oversampler::InParts(const double* in, int n, double* out, int channel, int inShift,
                          int outShift, Part part) {
  if (n <= 0) return;
  if (channel < 0 || channel >= NumChannels()) {
    std::fill(out, out + (static_cast<size_t>(n) << outShift), 0.0);
    return;
  }
  if (mFactorLog2 == 0) {
    std::copy(in, in + n, out);
    return;
  }
  Channel& state = mChannels[static_cast<size_t>(channel)];
  for (int done = 0; done < n;) {
    const int length = std::min(n - done, mMaxBlock);
    (this->*part)(in + (static_cast<size_t>(done) << inShift), length,
                  out + (static_cast<size_t>(done) << outShift), state);
    done += length;
  }
}

void Oversampler::Up(const double* in, int n, double* out, int channel) {
  InParts(in, n, out, channel, 0, mFactorLog2, &Oversampler::UpPart);
}

void Oversampler::Down(const double* in, int n, double* out, int channel) {
  InParts(in, n, out, channel, mFactorLog2, 0, &Oversampler::DownPart);
}

void Oversampler::UpPart(const double* in, int n, double* out, Channel& channel) {
  // Each stage writes straight into the next one's input, the last into `out`.
  std::copy(in, in + n, channel.stages[0].up.data() + UpHistory(0));
  for (int s = 0; s < mFactorLog2; ++s) {
    double* next = s + 1 < mFactorLog2 ? channel.stages[s + 1].up.data() + UpHistory(s + 1) : out;
    RunUpStage(s, channel.stages[s].up.data(), n << s, next);
  }
}

void Oversampler::DownPart(const double* in, int n, double* out, Channel& channel) {
  const int top = mFactorLog2 - 1;
  const double* source = in;
  for (int s = top; s >= 0; --s) {
    Stage& stage = channel.stages[s];
    const int count = n << s;  // this stage's output samples
    Deinterleave(source, count, stage.downEven.data() + DownHistory(s),
                 stage.downOdd.data() + DownHistory(s));
    double* target = s > 0 ? mScratch.data() : out;
    RunDownStage(s, stage.downEven.data(), stage.downOdd.data(), count,
                 s == top ? Pad(mFactorLog2) : 0, target);
    source = target;
  }
}

}  // namespace tolvane
