// tolvane_bits OUTPUT [SEED]: writes to OUTPUT what every build of the effect must compute to
// the same bits, whatever its platform, compiler or C library:
//  - the correctly rounded math (Tanh, Tanh2, PowInt(x, 4), PowInt(x, 11), Pow3) on a seeded
//    input set: raw bit patterns, wide magnitude ranges, the ranges the effect uses, and the
//    doubles next to the functions' internal thresholds;
//  - seeded stereo renders through TolvaneDsp at several parameter sets, rates and block sizes,
//    and automated ones: smoothing on, timed changes inside the blocks, so that glides and
//    bypass crossfades are compared too.
// Every input is made from the seed with integer arithmetic and IEEE +, -, * and / alone (no C
// library math, no standard distributions), so every platform feeds the same bits in. The
// crossplatform_bits test compares the Windows build's file with the Linux build's byte for
// byte; compare_bits.py reads the layout:
//   header:  "TOLVBITS", u32 version, u32 section count, u64 seed
//   section: char[32] name (zero padded), u32 fields per record, u32 0, u64 record count,
//            then record count x fields doubles
// all little-endian. Standard output gets one line a section with its FNV-1a 64 digest.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tolvane/TolvaneDsp.h"
#include "tolvane/crmath/CrMath.h"

namespace {

using tolvane::DspChange;
using tolvane::DspParam;
using tolvane::DspParams;
using tolvane::TolvaneDsp;
namespace crmath = tolvane::crmath;

constexpr uint32_t kFormatVersion = 1;
constexpr size_t kNameBytes = 32;  // a section's name, zero padded (so at most 31 characters)
constexpr uint64_t kDefaultSeed = 0x70F7A4E5EEDULL;

// The same 64 bits read as the other type.
template <class To, class From>
To Reinterpret(From from) {
  static_assert(sizeof(To) == sizeof(From), "the same size");
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}
uint64_t Bits(double v) { return Reinterpret<uint64_t>(v); }
double FromBits(uint64_t b) { return Reinterpret<double>(b); }

// splitmix64: a full-period 64-bit sequence, the same on every platform.
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : mState(seed) {}
  uint64_t Next() {
    uint64_t z = (mState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform on [0, 1) in steps of 2^-53: an exact conversion and an exact scaling.
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1p-53; }

 private:
  uint64_t mState;
};

// ---------------------------------------------------------------------------
// The math's inputs: bands of a kind each.

struct Band {
  enum Kind {
    kRawBits,     // any 64-bit pattern: NaNs, infinities, subnormals, both zeros
    kLogUniform,  // random sign and mantissa, binary exponent uniform in [lo, hi]
    kUniform,     // uniform in [lo, hi)
    kIntegral,    // whole numbers uniform in [lo, hi]
    kUlpsAround,  // the `count` consecutive doubles centred on lo
  } kind;
  double lo, hi;
  int count;
};

double Draw(SplitMix64& rng, const Band& band, int k) {
  switch (band.kind) {
    case Band::kRawBits: return FromBits(rng.Next());
    case Band::kLogUniform: {
      const uint64_t r = rng.Next();
      const auto lo = static_cast<int64_t>(band.lo), hi = static_cast<int64_t>(band.hi);
      const int64_t e = lo + static_cast<int64_t>(rng.Next() % static_cast<uint64_t>(hi - lo + 1));
      const uint64_t signAndMantissa = r & 0x800FFFFFFFFFFFFFULL;
      return FromBits(signAndMantissa | (static_cast<uint64_t>(e + 1023) << 52));
    }
    case Band::kUniform: return band.lo + (band.hi - band.lo) * rng.Unit();
    case Band::kIntegral: {
      const auto lo = static_cast<int64_t>(band.lo), hi = static_cast<int64_t>(band.hi);
      return static_cast<double>(
          lo + static_cast<int64_t>(rng.Next() % static_cast<uint64_t>(hi - lo + 1)));
    }
    case Band::kUlpsAround:
      return FromBits(Bits(band.lo) - static_cast<uint64_t>(band.count / 2) +
                      static_cast<uint64_t>(k));
  }
  return 0;
}

std::vector<double> Inputs(SplitMix64& rng, const std::vector<Band>& bands) {
  std::vector<double> xs;
  for (const Band& band : bands) {
    for (int k = 0; k < band.count; ++k) xs.push_back(Draw(rng, band, k));
  }
  return xs;
}

// tanh: the linear and the saturated ends, the table's domain, and the saturators' arguments
// (differences and quotients of magnitudes up to about 2).
const std::vector<Band> kTanhBands = {
    {Band::kRawBits, 0, 0, 30000},
    {Band::kLogUniform, -60, 6, 70000},
    {Band::kUniform, -2, 2, 60000},
    {Band::kUniform, -20, 20, 20000},
    {Band::kUlpsAround, crmath::detail::kTanhLinearBelow, 0, 2000},
    {Band::kUlpsAround, crmath::tables::kTanhOneFrom, 0, 2000},
};

// x^4: everything, the fast path's limits, and the React level's base (1 minus a blend of
// 0.912 and 0.582).
const std::vector<Band> kPow4Bands = {
    {Band::kRawBits, 0, 0, 20000},
    {Band::kLogUniform, -1022, 1023, 20000},
    {Band::kLogUniform, -220, 220, 20000},
    {Band::kUniform, 0.08, 0.42, 30000},
    {Band::kUlpsAround, crmath::detail::kPow4FastFrom, 0, 1000},
    {Band::kUlpsAround, crmath::detail::kPow4FastBelow, 0, 1000},
    {Band::kUlpsAround, 0x1p+256, 0, 1000},  // where x^4 overflows
};

// x^11: everything, the finite results' range, and the tame amount's base (1.5 Tame).
const std::vector<Band> kPow11Bands = {
    {Band::kRawBits, 0, 0, 10000},
    {Band::kLogUniform, -1022, 1023, 10000},
    {Band::kLogUniform, -100, 93, 10000},
    {Band::kUniform, 0, 1.5, 20000},
};

// 3^g: everything, the finite results' range, Input Gain's range (0 to 2), whole exponents
// (exact results), the rounds-to-one limit, the overflow (about 646.07) and the cut-offs.
const std::vector<Band> kPow3Bands = {
    {Band::kRawBits, 0, 0, 4000},        {Band::kUniform, -700, 700, 10000},
    {Band::kUniform, 0, 2, 20000},       {Band::kIntegral, -40, 660, 3000},
    {Band::kLogUniform, -70, -50, 2000}, {Band::kUlpsAround, 646.0, 0, 500},
    {Band::kUlpsAround, 647.0, 0, 500},  {Band::kUlpsAround, -680.0, 0, 500},
};

// ---------------------------------------------------------------------------
// The renders' input: per channel two tones by a rotation recurrence, an LCG's noise, decaying
// clicks, and stretches of silence and of magnitudes around the denormal guard's limit.

constexpr double kPi = 3.141592653589793;

// sin and cos of a small angle (|a| < 0.5) by their Taylor series (through a^11 and a^10): only
// +, - , * and /, so every platform gets the same bits.
void SinCos(double a, double& s, double& c) {
  const double a2 = a * a;
  s = a * (1 - a2 / 6 * (1 - a2 / 20 * (1 - a2 / 42 * (1 - a2 / 72 * (1 - a2 / 110)))));
  c = 1 - a2 / 2 * (1 - a2 / 12 * (1 - a2 / 30 * (1 - a2 / 56 * (1 - a2 / 90))));
}

// A sine as a rotating unit vector, its length pulled back to 1 every step.
class Oscillator {
 public:
  Oscillator(double hz, double rate) { SinCos(2 * kPi * hz / rate, mSinStep, mCosStep); }
  double Next() {
    const double c = mCos * mCosStep - mSin * mSinStep;
    const double s = mSin * mCosStep + mCos * mSinStep;
    const double k = 1.5 - 0.5 * (c * c + s * s);
    mCos = c * k;
    mSin = s * k;
    return mSin;
  }

 private:
  double mSinStep, mCosStep;
  double mCos = 1, mSin = 0;
};

constexpr int kRenderFrames = 176400;  // 4 s at 44.1 kHz

std::vector<double> InputChannel(int channel, double rate, uint64_t seed) {
  // The layout in seconds at 44.1 kHz, the same frames at every rate.
  const double second = kRenderFrames / 4.0;
  const int frames = kRenderFrames;
  Oscillator low(110 + 55 * channel, rate), high(2200 + 1100 * channel, rate);
  uint64_t lcg = seed | 1;
  double click = 0, clickSign = channel ? -1 : 1;
  std::vector<double> x(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    lcg = lcg * 6364136223846793005ULL + 1442695040888963407ULL;
    const double noise = static_cast<double>(lcg >> 11) * 0x1p-52 - 1;  // [-1, 1)
    // Level rises from 0 to 1.3 over the first two seconds and holds.
    const double ramp = i < 2 * second ? 1.3 * (i / (2 * second)) : 1.3;
    if (i % static_cast<int>(0.6 * second) == static_cast<int>(0.25 * second)) {
      click = 0.95 * clickSign;
      clickSign = -clickSign;
    }
    click = click * 0.997;
    double v = ramp * (0.8 * low.Next() + 0.15 * high.Next()) + 0.03 * noise + click;
    if (i >= second && i < 1.3 * second) v = 0;  // silence: the guard's sequence replaces it
    if (i >= 3.3 * second && i < 3.5 * second) {
      // Magnitudes below, at and above the guard's limit of 1.2e-38, subnormals included.
      v = noise * (i % 3 == 0 ? 1e-39 : i % 3 == 1 ? 1.2e-38 : 3e-38);
    }
    if (i >= 3.8 * second) v = 0;
    x[static_cast<size_t>(i)] = v;
  }
  return x;
}

struct RenderCase {
  const char* name;
  DspParams params;
  double rate;
  std::vector<int> blocks;  // block sizes, repeated in turn
  bool automated = false;   // smoothing on, with the timed changes of Automate
};

// An automated block's timed changes, as a host sends them: every parameter but React moves
// at a third and at two thirds of block `b` to values made from b with integer arithmetic and
// one IEEE division, so ramps, jumps and reversals all occur; Bypass toggles every 97th block.
// `params` takes each parameter's last value, as ProcessBlock expects.
void Automate(int b, int n, DspParams& params, std::vector<DspChange>& changes) {
  changes.clear();
  if (n < 3) return;
  using P = DspParam;
  for (int k = 1; k <= 2; ++k) {
    const int32_t at = n * k / 3;
    const int m = 2 * b + k;
    const std::pair<P, double> moves[] = {
        {P::kInputGain, (m * 37 % 201) / 1.0}, {P::kWet, (m * 29 % 101) / 1.0},
        {P::kTame, (m * 13 % 11) / 10.0},      {P::kOutputGain, (20 + m * 53 % 81) / 1.0},
        {P::kBias, (5 + m * 7 % 91) / 100.0},
    };
    for (const auto& [param, value] : moves) {
      changes.push_back({at, param, value});
      params.*tolvane::kDspParamFields[static_cast<int>(param)] = value;
    }
    if (k == 2 && b % 97 == 96) {
      params.bypass = 1 - params.bypass;
      changes.push_back({at, P::kBypass, params.bypass});
    }
  }
}

DspParams With(void (*change)(DspParams&)) {
  DspParams p;
  change(p);
  return p;
}

const std::vector<RenderCase>& RenderCases() {
  static const std::vector<RenderCase> cases = {
      {"default/512", DspParams{}, 44100, {512}},
      {"default/ragged", DspParams{}, 44100, {1, 13, 64, 480, 2048, 7, 0, 300}},
      {"react-off/256", With([](DspParams& p) { p.react = 0; }), 44100, {256}},
      {"gain-200/512", With([](DspParams& p) { p.inputGain = 200; }), 44100, {512}},
      {"wet-20/64", With([](DspParams& p) { p.wet = 20; }), 44100, {64}},
      {"bias-0.85/1024", With([](DspParams& p) { p.bias = 0.85; }), 44100, {1024}},
      {"bias-0.15-tame-0.9/128",
       With([](DspParams& p) {
         p.bias = 0.15;
         p.tame = 0.9;
       }),
       44100,
       {128}},
      {"default-96k/512", DspParams{}, 96000, {512}},
      {"default-176.4k/512", DspParams{}, 176400, {512}},  // filters designed for the rate
      {"automated/ragged", DspParams{}, 44100, {1, 13, 64, 480, 2048, 7, 0, 300}, true},
      {"automated-96k/64", DspParams{}, 96000, {64}, true},
  };
  return cases;
}

// Renders one case on a fresh instance whose knee is seeded: (left, right) per frame.
std::vector<double> Render(const RenderCase& rc, uint64_t seed) {
  const std::vector<double> inL = InputChannel(0, rc.rate, seed);
  const std::vector<double> inR = InputChannel(1, rc.rate, seed ^ 0x5DEECE66DULL);
  std::vector<double> outL(inL.size()), outR(inR.size());
  TolvaneDsp dsp(2);
  dsp.OnReset(rc.rate);
  dsp.Knee().UseSeed(static_cast<uint32_t>(seed >> 32));
  dsp.UseSmoothing(rc.automated);
  DspParams params = rc.params;
  std::vector<DspChange> changes;
  size_t b = 0;
  for (int done = 0; done < kRenderFrames; ++b) {
    const int n = std::min(rc.blocks[b % rc.blocks.size()], kRenderFrames - done);
    const double* in[2] = {inL.data() + done, inR.data() + done};
    double* out[2] = {outL.data() + done, outR.data() + done};
    if (rc.automated) Automate(static_cast<int>(b), n, params, changes);
    dsp.ProcessBlock(in, out, n, params, rc.rate, 2, changes.data(),
                     static_cast<int>(changes.size()));
    done += n;
  }
  std::vector<double> frames;
  frames.reserve(2 * outL.size());
  for (size_t i = 0; i < outL.size(); ++i) {
    frames.push_back(outL[i]);
    frames.push_back(outR[i]);
  }
  return frames;
}

// ---------------------------------------------------------------------------
// Output.

struct Section {
  std::string name;
  uint32_t fields;
  std::vector<double> values;  // records one after another
};

void PutLE(std::vector<unsigned char>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

uint64_t Fnv1a64(const unsigned char* p, size_t n) {
  uint64_t h = 0xCBF29CE484222325ULL;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ULL;
  return h;
}

std::vector<Section> Compute(uint64_t seed) {
  std::vector<Section> sections;
  SplitMix64 rng(seed);
  auto unary = [&](const char* name, const std::vector<Band>& bands, double (*f)(double)) {
    Section s{name, 2, {}};
    for (double x : Inputs(rng, bands)) {
      s.values.push_back(x);
      s.values.push_back(f(x));
    }
    sections.push_back(std::move(s));
  };
  unary("tanh", kTanhBands, crmath::Tanh);
  // Lanes paired at random, so in- and out-of-domain lanes meet in every combination.
  const std::vector<double> xs = Inputs(rng, kTanhBands);
  Section pairs{"tanh2", 4, {}};
  for (size_t i = 0; i + 1 < xs.size(); i += 2) {
    const double x0 = xs[i], x1 = xs[rng.Next() % xs.size()];
    double y0, y1;
    crmath::Tanh2(x0, x1, y0, y1);
    pairs.values.insert(pairs.values.end(), {x0, x1, y0, y1});
  }
  sections.push_back(std::move(pairs));
  unary("powint4", kPow4Bands, [](double x) { return crmath::PowInt(x, 4); });
  unary("powint11", kPow11Bands, [](double x) { return crmath::PowInt(x, 11); });
  unary("pow3", kPow3Bands, crmath::Pow3);
  for (const RenderCase& rc : RenderCases()) {
    sections.push_back({std::string("render/") + rc.name, 2, Render(rc, rng.Next())});
  }
  return sections;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: tolvane_bits OUTPUT [SEED]\n");
    return 2;
  }
  uint64_t seed = kDefaultSeed;
  if (argc == 3) {
    char* end = nullptr;
    seed = std::strtoull(argv[2], &end, 0);
    if (*argv[2] == '\0' || *end != '\0') {
      std::fprintf(stderr, "tolvane_bits: the seed '%s' is not a number\n", argv[2]);
      return 2;
    }
  }

  const std::vector<Section> sections = Compute(seed);
  std::vector<unsigned char> bytes(std::begin("TOLVBITS"), std::end("TOLVBITS") - 1);
  PutLE(bytes, kFormatVersion, 4);
  PutLE(bytes, sections.size(), 4);
  PutLE(bytes, seed, 8);
  std::printf("tolvane_bits: seed 0x%llx\n", static_cast<unsigned long long>(seed));
  for (const Section& s : sections) {
    if (s.name.size() >= kNameBytes) {
      std::fprintf(stderr, "tolvane_bits: the section name '%s' is too long\n", s.name.c_str());
      return 1;
    }
    char name[kNameBytes] = {};
    std::memcpy(name, s.name.data(), s.name.size());
    bytes.insert(bytes.end(), name, name + sizeof name);
    PutLE(bytes, s.fields, 4);
    PutLE(bytes, 0, 4);
    PutLE(bytes, s.values.size() / s.fields, 8);
    const size_t start = bytes.size();
    for (double v : s.values) PutLE(bytes, Bits(v), 8);
    std::printf(
        "  %-30s %8zu records of %u  fnv1a64 %016llx\n", s.name.c_str(), s.values.size() / s.fields,
        s.fields,
        static_cast<unsigned long long>(Fnv1a64(bytes.data() + start, bytes.size() - start)));
  }
  std::printf("  %-30s %8zu bytes        fnv1a64 %016llx\n", "file", bytes.size(),
              static_cast<unsigned long long>(Fnv1a64(bytes.data(), bytes.size())));

  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "tolvane_bits: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
