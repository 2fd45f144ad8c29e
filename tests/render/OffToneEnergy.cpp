#include "OffToneEnergy.h"

#include <fftw3.h>

#include <cmath>
#include <limits>

namespace tolvane {
namespace render {
namespace test {

double OffToneEnergyDbc(const std::vector<double>& samples, double rate, double toneHz,
                        double guardHz) {
  const int n = static_cast<int>(samples.size());
  if (n < 2) return std::numeric_limits<double>::infinity();
  // 7-term Blackman-Harris coefficients.
  const double a[] = {0.27105140069342, -0.43329793923448, 0.21812299954311, -0.06592544638803,
                      0.01081174209837, -0.00077658482522, 0.00001388721735};
  const double pi = 3.141592653589793;
  double* in = fftw_alloc_real(static_cast<size_t>(n));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
  const fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
  for (int i = 0; i < n; ++i) {
    double w = 0.0;
    for (int k = 0; k < 7; ++k) w += a[k] * std::cos(2.0 * pi * k * i / n);
    in[i] = w * samples[static_cast<size_t>(i)];
  }
  fftw_execute(plan);
  double tone = 0.0, off = 0.0;
  for (int k = 0; k <= n / 2; ++k) {
    const double f = k * rate / n;
    const double power = out[k][0] * out[k][0] + out[k][1] * out[k][1];
    const double harmonic = std::round(f / toneHz);
    const double distance = std::fabs(f - harmonic * toneHz);
    if (harmonic == 1.0 && distance <= guardHz) tone += power;
    if (distance > guardHz) off += power;
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
  return tone > 0.0 ? 10.0 * std::log10(off / tone) : std::numeric_limits<double>::infinity();
}

}  // namespace test
}  // namespace render
}  // namespace tolvane
