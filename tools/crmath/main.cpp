// tolvane-crmath-verify: evaluates the correctly rounded functions on a set of inputs and
// writes one binary record per input to standard output, for tools/crmath/oracle.py to
// check against its own high-precision values. This program computes no reference value.
//
//   tolvane-crmath-verify FUNCTION SET [--first K] [--count N] [--seed S]
//   tolvane-crmath-verify --bounds
//
// FUNCTION is tanh, pow4 (x^4), pow11 (x^11) or pow3 (3^g). SET is `edge` (the whole edge
// set, or the part --first/--count select), `random` (the public function on random inputs
// K .. K + N - 1 of the seed) or `slow` (the slow path called directly on random inputs of
// its own domain). --bounds prints the fast paths' claimed relative error bounds.
//
// A record is 40 bytes, little-endian: input (f64), exponent (i32; n of x^n, else 0),
// flags (u32), result (f64), the fast path's unrounded value hi and lo (f64, f64).

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crmath/VerifyInputs.h"
#include "tolvane/crmath/CrMath.h"

namespace {

using tolvane::crmath::verify::Function;
namespace crmath = tolvane::crmath;
namespace detail = tolvane::crmath::detail;

// The fast path ran and its rounding test did not decide: the slow path gave the result.
constexpr uint32_t kSlowPath = 1;
// fastHi and fastLo hold the fast path's unrounded value.
constexpr uint32_t kFastParts = 2;
// Another build of the function gave other bits for this input: Tanh2 in either lane, or
// (on a processor with the fused multiply-add) the fused variants.
constexpr uint32_t kVariantMismatch = 4;

struct Record {
  double input;
  int32_t exponent;
  uint32_t flags;
  double result;
  double fastHi;
  double fastLo;
};
static_assert(sizeof(Record) == 40, "the record layout the oracle reads");

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Tanh2 with x in each lane and `partner` (another input of the set) in the other, and the
// fused variants where the processor has them.
bool TanhVariantsAgree(double x, double partner, double expected) {
  double a0, a1, b0, b1;
  crmath::Tanh2(x, partner, a0, a1);
  crmath::Tanh2(partner, x, b0, b1);
  bool agree = SameBits(a0, expected) && SameBits(b1, expected);
  if (crmath::HasFusedMultiplyAdd()) {
    detail::Tanh2Fused(x, partner, a0, a1);
    detail::Tanh2Fused(partner, x, b0, b1);
    agree = agree && SameBits(detail::TanhFused(x), expected) && SameBits(a0, expected) &&
            SameBits(b1, expected);
  }
  return agree;
}

bool PowIntVariantsAgree(double x, int n, double expected) {
  return !crmath::HasFusedMultiplyAdd() || SameBits(detail::PowIntFused(x, n), expected);
}

// The public function at x, with what its fast path did.
Record PublicRecord(Function f, double x, double partner) {
  Record r{x, 0, 0, 0, 0, 0};
  const double ax = std::fabs(x);
  double y;
  switch (f) {
    case Function::kTanh:
      r.result = crmath::Tanh(x);
      if (ax >= detail::kTanhLinearBelow && ax < crmath::tables::kTanhOneFrom) {
        if (!detail::TanhFast(ax, y)) r.flags |= kSlowPath;
        detail::TanhFastParts(ax, r.fastHi, r.fastLo);
        r.flags |= kFastParts;
      }
      if (!TanhVariantsAgree(x, partner, r.result)) r.flags |= kVariantMismatch;
      break;
    case Function::kPow4:
      r.exponent = 4;
      r.result = crmath::PowInt(x, 4);
      if (ax >= detail::kPow4FastFrom && ax < detail::kPow4FastBelow) {
        if (!detail::Pow4Fast(ax, y)) r.flags |= kSlowPath;
        detail::Pow4FastParts(ax, r.fastHi, r.fastLo);
        r.flags |= kFastParts;
      }
      if (!PowIntVariantsAgree(x, 4, r.result)) r.flags |= kVariantMismatch;
      break;
    case Function::kPow11:
      r.exponent = 11;
      r.result = crmath::PowInt(x, 11);
      if (!PowIntVariantsAgree(x, 11, r.result)) r.flags |= kVariantMismatch;
      break;
    case Function::kPow3:
      r.result = crmath::Pow3(x);
      if (ax >= detail::kPow3OneBelow && ax < detail::kPow3FastBelow &&
          !(x > 0 && x == std::floor(x))) {
        if (!detail::Pow3Fast(x, y)) r.flags |= kSlowPath;
        detail::Pow3FastParts(x, r.fastHi, r.fastLo);
        r.flags |= kFastParts;
      }
      break;
  }
  return r;
}

Record SlowRecord(Function f, tolvane::crmath::verify::Input in) {
  Record r{in.x, in.exponent, kSlowPath, 0, 0, 0};
  switch (f) {
    case Function::kTanh: r.result = detail::TanhSlow(in.x); break;
    case Function::kPow4:
    case Function::kPow11: r.result = detail::PowIntExact(in.x, in.exponent); break;
    case Function::kPow3: r.result = detail::Pow3Slow(in.x); break;
  }
  return r;
}

class RecordWriter {
 public:
  void Add(const Record& r) {
    mBuffer.push_back(r);
    if (mBuffer.size() == kBatch) Flush();
  }
  bool Flush() {
    const bool ok =
        std::fwrite(mBuffer.data(), sizeof(Record), mBuffer.size(), stdout) == mBuffer.size();
    mBuffer.clear();
    return ok && std::fflush(stdout) == 0;
  }

 private:
  static constexpr size_t kBatch = 4096;
  std::vector<Record> mBuffer;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Evaluates Tolvane's correctly rounded functions for tools/crmath/oracle.py"};
  std::string functionName, set;
  uint64_t first = 0, count = UINT64_MAX, seed = 1;
  bool bounds = false;
  app.add_flag("--bounds", bounds, "Print the fast paths' claimed relative error bounds");
  app.add_option("function", functionName, "tanh, pow4, pow11 or pow3");
  app.add_option("set", set, "edge, random or slow")
      ->check(CLI::IsMember({"edge", "random", "slow"}));
  app.add_option("--first", first, "Index of the first input");
  app.add_option("--count", count, "Number of inputs (edge: all by default)");
  app.add_option("--seed", seed, "Seed of the random inputs");
  CLI11_PARSE(app, argc, argv);

  if (bounds) {
    std::printf("tanh %a\npow4 %a\npow3 %a\n", detail::kTanhFastError, detail::kPow4FastError,
                detail::kPow3FastError);
    return 0;
  }
  const auto function = tolvane::crmath::verify::FunctionNamed(functionName);
  if (!function || set.empty() || (set != "edge" && count == UINT64_MAX)) {
    std::fprintf(stderr,
                 "usage: tolvane-crmath-verify tanh|pow4|pow11|pow3 edge|random|slow "
                 "[--first K] [--count N] [--seed S] (random and slow need --count)\n");
    return 2;
  }
  const Function f = *function;
  RecordWriter out;
  if (set == "edge") {
    const std::vector<double> inputs = tolvane::crmath::verify::EdgeInputs(f);
    for (uint64_t i = first; i < inputs.size() && i - first < count; ++i) {
      const uint64_t partner = (i ^ 1) < inputs.size() ? (i ^ 1) : 0;
      out.Add(PublicRecord(f, inputs[i], inputs[partner]));
    }
  } else {
    for (uint64_t i = first; i < first + count; ++i) {
      if (set == "random") {
        out.Add(PublicRecord(f, tolvane::crmath::verify::RandomInput(f, seed, i),
                             tolvane::crmath::verify::RandomInput(f, seed, i ^ 1)));
      } else {
        out.Add(SlowRecord(f, tolvane::crmath::verify::SlowInput(f, seed, i)));
      }
    }
  }
  return out.Flush() ? 0 : 1;
}
