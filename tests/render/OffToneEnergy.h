#pragma once

#include <vector>

namespace tolvane {
namespace render {
namespace test {

/// The energy of `samples` (one channel at `rate`) lying more than `guardHz` away from the tone
/// at `toneHz` and from every multiple of it (0 Hz included), relative to the energy within
/// `guardHz` of the tone, in dB (dBc). Spectrum of the whole stretch through a 7-term
/// Blackman-Harris window (sidelobes below -180 dB), so a steady tone's own leakage stays far
/// below what parameter steps spread around it. Infinite when the stretch holds no tone.
double OffToneEnergyDbc(const std::vector<double>& samples, double rate, double toneHz,
                        double guardHz);

}  // namespace test
}  // namespace render
}  // namespace tolvane
