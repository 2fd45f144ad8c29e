#include "render/DemoSignal.h"

#include <algorithm>
#include <cmath>

namespace tolvane {
namespace render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = DemoSignal::kSampleRate;
// One sixteenth note at 120 beats per minute.
constexpr int kSixteenth = static_cast<int>(kRate * 60.0 / DemoSignal::kTempo / 4.0);
constexpr int kStepsPerBar = 16;
constexpr int kBars = 3;

// xorshift32: the same noise on every machine and every run.
class Noise {
 public:
  explicit Noise(uint32_t seed) : mState(seed) {}
  // Uniform in [-1, 1).
  double Next() {
    mState ^= mState << 13;
    mState ^= mState >> 17;
    mState ^= mState << 5;
    return static_cast<double>(mState >> 8) * (2.0 / 16777216.0) - 1.0;
  }

 private:
  uint32_t mState;
};

double MidiToHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Equal-power pan: -1 left, 0 centre, +1 right.
void PanGains(double pan, double& left, double& right) {
  const double angle = (pan + 1.0) * kPi / 4.0;
  left = std::cos(angle);
  right = std::sin(angle);
}

struct Mix {
  std::vector<double>& left;
  std::vector<double>& right;

  void Add(size_t i, double l, double r) {
    if (i >= left.size()) return;
    left[i] += l;
    right[i] += r;
  }
};

// A plucked string: a noise burst circulating in a delay line of one period,
// averaged with its neighbour each pass (the loss that dulls it as it rings).
void Pluck(Mix& mix, int start, int note, double gain, double pan, Noise& noise) {
  const int period = std::max(2, static_cast<int>(std::lround(kRate / MidiToHz(note))));
  std::vector<double> line(static_cast<size_t>(period));
  double previous = 0.0;
  for (double& s : line) {
    // A one-pole low-pass on the excitation softens the attack.
    previous = 0.5 * previous + 0.5 * noise.Next();
    s = previous;
  }
  double l, r;
  PanGains(pan, l, r);
  const int length = static_cast<int>(1.6 * kRate);
  size_t pos = 0;
  double last = line[static_cast<size_t>(period) - 1];
  for (int n = 0; n < length; ++n) {
    const double out = line[pos];
    line[pos] = 0.4985 * (out + last);
    last = out;
    pos = pos + 1 == line.size() ? 0 : pos + 1;
    // A short fade at the end of the voice avoids a click.
    const double fade = n > length - 2400 ? (length - n) / 2400.0 : 1.0;
    mix.Add(static_cast<size_t>(start + n), gain * l * out * fade, gain * r * out * fade);
  }
}

// Bass: a band-limited sawtooth (six harmonics) with a fast attack and a decay.
void Bass(Mix& mix, int start, int length, int note, double gain) {
  const double f = MidiToHz(note);
  for (int n = 0; n < length; ++n) {
    const double t = n / kRate;
    double wave = 0.0;
    for (int k = 1; k <= 6; ++k) wave += std::sin(2.0 * kPi * f * k * t) / k;
    const double attack = std::min(1.0, t / 0.005);
    const double release = std::min(1.0, (length - n) / (0.02 * kRate));
    const double env = attack * release * (0.35 + 0.65 * std::exp(-t / 0.25));
    const double s = gain * env * wave;
    mix.Add(static_cast<size_t>(start + n), s, s);
  }
}

// Kick: a sine falling from about 155 Hz to 45 Hz under a decaying envelope,
// with a two-millisecond click of noise at its start.
void Kick(Mix& mix, int start, double gain, Noise& noise) {
  const int length = static_cast<int>(0.45 * kRate);
  double phase = 0.0;
  for (int n = 0; n < length; ++n) {
    const double t = n / kRate;
    phase += 2.0 * kPi * (45.0 + 110.0 * std::exp(-t / 0.035)) / kRate;
    double s = std::sin(phase) * std::exp(-t / 0.16);
    if (t < 0.002) s += 0.5 * noise.Next() * (1.0 - t / 0.002);
    mix.Add(static_cast<size_t>(start + n), gain * s, gain * s);
  }
}

// Snare: a 185 Hz body and high-passed noise, the noise slightly different in
// each channel so the hit has width.
void Snare(Mix& mix, int start, double gain, Noise& noise) {
  const int length = static_cast<int>(0.3 * kRate);
  double prevL = 0.0, prevR = 0.0;
  for (int n = 0; n < length; ++n) {
    const double t = n / kRate;
    const double body = 0.5 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t / 0.06);
    const double common = noise.Next();
    const double wl = 0.8 * common + 0.2 * noise.Next();
    const double wr = 0.8 * common + 0.2 * noise.Next();
    const double hl = wl - prevL, hr = wr - prevR;  // first difference: a gentle high-pass
    prevL = wl;
    prevR = wr;
    const double env = std::exp(-t / 0.09);
    mix.Add(static_cast<size_t>(start + n), gain * (body + 0.45 * env * hl),
            gain * (body + 0.45 * env * hr));
  }
}

// Closed hi-hat: a short burst of high-passed noise, right of centre.
void Hat(Mix& mix, int start, double gain, Noise& noise) {
  const int length = static_cast<int>(0.08 * kRate);
  double l, r;
  PanGains(0.3, l, r);
  double prev = 0.0;
  for (int n = 0; n < length; ++n) {
    const double t = n / kRate;
    const double w = noise.Next();
    const double s = gain * (w - prev) * std::exp(-t / 0.018);
    prev = w;
    mix.Add(static_cast<size_t>(start + n), l * s, r * s);
  }
}

}  // namespace

DemoSignal::DemoSignal() {
  const size_t frames = static_cast<size_t>(kSeconds * kSampleRate);
  for (auto& c : mChannels) c.assign(frames, 0.0);
  Mix mix{mChannels[0], mChannels[1]};
  Noise noise(0x2545F491u);

  // Per bar: the bass root and the arpeggio's chord tones (MIDI notes).
  const int roots[kBars] = {33, 29, 31};  // A1, F1, G1
  const int chords[kBars][4] = {{57, 60, 64, 69}, {53, 57, 60, 65}, {55, 59, 62, 67}};
  // Which chord tone each sixteenth plays (-1: rest), and its loudness.
  const int arp[kStepsPerBar] = {0, 2, 1, 3, 2, 1, -1, 2, 0, 3, 2, 1, 3, -1, 2, 1};
  const double accent[4] = {1.0, 0.55, 0.75, 0.6};
  // Bass: octave up on the off-beat eighths of every other beat.
  const int bassOctave[8] = {0, 0, 0, 12, 0, 0, 7, 12};

  for (int bar = 0; bar < kBars; ++bar) {
    const int barStart = bar * kStepsPerBar * kSixteenth;
    for (int step = 0; step < kStepsPerBar; ++step) {
      const int at = barStart + step * kSixteenth;
      if (arp[step] >= 0) {
        // Alternate sides with a little jitter, so the arpeggio moves across the field.
        const double pan = (step % 2 == 0 ? -0.65 : 0.6) + 0.15 * noise.Next();
        Pluck(mix, at, chords[bar][arp[step]], 0.30 * accent[step % 4], pan, noise);
      }
      if (step % 2 == 0) {
        Bass(mix, at, 2 * kSixteenth - 200, roots[bar] + 12 + bassOctave[step / 2], 0.30);
        Hat(mix, at + kSixteenth, step % 4 == 2 ? 0.22 : 0.14, noise);
      }
      if (step == 0 || step == 8 || (bar == kBars - 1 && step == 10)) Kick(mix, at, 0.9, noise);
      if (step == 4 || step == 12) Snare(mix, at, 0.55, noise);
    }
  }

  // Fade the last quarter second down to silence, then scale so the louder channel peaks at
  // kPeakDbfs.
  const size_t fade = static_cast<size_t>(0.25 * kSampleRate);
  for (size_t i = frames - fade; i < frames; ++i) {
    const double g = static_cast<double>(frames - 1 - i) / static_cast<double>(fade - 1);
    for (auto& c : mChannels) c[i] *= g;
  }
  double peak = 0.0;
  for (const auto& c : mChannels) {
    for (double s : c) peak = std::max(peak, std::fabs(s));
  }
  const double scale = std::pow(10.0, kPeakDbfs / 20.0) / peak;
  for (auto& c : mChannels) {
    for (double& s : c) s *= scale;
  }
}

int64_t DemoSignal::ReadInterleaved(int64_t position, double* out, int64_t frames) const {
  const int64_t n = std::max<int64_t>(0, std::min(frames, Frames() - position));
  for (int64_t i = 0; i < n; ++i) {
    for (int c = 0; c < kChannels; ++c) {
      out[i * kChannels + c] = mChannels[c][static_cast<size_t>(position + i)];
    }
  }
  return n;
}

}  // namespace render
}  // namespace tolvane
