// Parameter texts come from hosts (a typed value) and go back to them (a
// displayed value). Whatever the text, parsing answers a value the parameter can
// hold, and formatting answers at most 32 bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kantele/IParam.h"
#include "kantele/Text.h"

namespace {

struct Params {
  kantele::IParam gain, bypass, labelled;
  Params() {
    gain.ConfigureDouble("Input Gain", 32, 0, 200, 0.01, "%");
    bypass.ConfigureDouble("Bypass", 0, 0, 1, 1);
    labelled.ConfigureDouble("Mode", 1, -5, 5, 0.5, "");
    labelled.SetFlags(kantele::kFlagQuantized | kantele::kFlagInvertDisplay |
                      kantele::kFlagShowSign);
    labelled.AddDisplayText(0, "Off");
    labelled.AddDisplayText(1, "");
    labelled.AddDisplayText(2, "Two");
  }
};

void Check(bool ok) {
  if (!ok) std::abort();
}

void Exercise(const kantele::IParam& param, const std::string& text, double fromBytes) {
  const double v = param.ParseValue(text.c_str());
  // Every display text here names a value inside the range, so every answer is inside it.
  Check(v >= param.GetMin() && v <= param.GetMax());

  kantele::Text out;
  param.FormatValue(v, false, out);
  Check(out.GetLength() <= 32);
  param.FormatValue(fromBytes, false, out);
  Check(out.GetLength() <= 32);
  param.FormatValue(fromBytes, true, out);
  Check(out.GetLength() <= 32);
  const double n = param.NormalizedFromValue(fromBytes);
  Check(n >= 0.0 && n <= 1.0);
  const double back = param.ValueFromNormalized(fromBytes);
  Check(back >= param.GetMin() && back <= param.GetMax());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Params params;
  const std::string text(reinterpret_cast<const char*>(data), size);  // may hold zero bytes
  double fromBytes = 0.0;
  if (size >= sizeof(double)) std::memcpy(&fromBytes, data, sizeof(double));
  Exercise(params.gain, text, fromBytes);
  Exercise(params.bypass, text, fromBytes);
  Exercise(params.labelled, text, fromBytes);
  return 0;
}
