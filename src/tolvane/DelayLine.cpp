#include "tolvane/DelayLine.h"

#include <algorithm>

namespace tolvane {

void DelayLine::Configure(int channels, int delay) {
  mDelay = std::max(0, delay);
  mChannels.assign(static_cast<size_t>(std::max(0, channels)), Channel{});
  for (Channel& channel : mChannels) channel.ring.assign(static_cast<size_t>(mDelay), 0.0);
}

void DelayLine::Reset() {
  for (Channel& channel : mChannels) {
    std::fill(channel.ring.begin(), channel.ring.end(), 0.0);
    channel.pos = 0;
  }
}

void DelayLine::Process(const double* in, double* out, int n, int channel) {
  if (n <= 0) return;
  if (channel < 0 || channel >= NumChannels()) {
    std::fill(out, out + n, 0.0);
    return;
  }
  if (mDelay == 0) {
    if (out != in) std::copy(in, in + n, out);
    return;
  }
  Channel& state = mChannels[static_cast<size_t>(channel)];
  double* ring = state.ring.data();
  int pos = state.pos;
  for (int i = 0; i < n; ++i) {
    const double x = in[i];  // read before writing: `out` may be `in`
    out[i] = ring[pos];
    ring[pos] = x;
    if (++pos == mDelay) pos = 0;
  }
  state.pos = pos;
}

double DelayLine::ProcessSample(double in, int channel) {
  double out = 0.0;
  Process(&in, &out, 1, channel);
  return out;
}

}  // namespace tolvane
