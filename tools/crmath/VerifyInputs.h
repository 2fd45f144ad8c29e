#pragma once

// The inputs on which tolvane-crmath-verify evaluates the correctly rounded functions:
// per function an edge set (the special values and the boundaries of the code's ranges,
// tables and result formats) and deterministic random samples. Random input `index` of a
// seed is the same whatever part of the sample a run asks for, so the oracle can split a
// sample into chunks and check them in parallel.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::crmath::verify {

enum class Function { kTanh, kPow4, kPow11, kPow3 };

std::optional<Function> FunctionNamed(const std::string& name);

// splitmix64: a 64-bit counter passed through a mixing function; every output is
// equally likely and consecutive ones are independent for all practical purposes.
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t state) : mState(state) {}
  uint64_t Next();

 private:
  uint64_t mState;
};

// The generator of random input `index` under `seed`.
SplitMix64 StreamFor(uint64_t seed, uint64_t index);

// One input and the exponent it goes with (pow functions; 0 otherwise).
struct Input {
  double x;
  int exponent;
};

std::vector<double> EdgeInputs(Function f);
// The public function's inputs: a mixture of the effect's ranges and the whole domain.
double RandomInput(Function f, uint64_t seed, uint64_t index);
// Inputs of the slow path's own domain, for the slow path called directly. For x^11 the
// exact path is sampled at every exponent PowInt serves, 1 to kMaxPowIntExponent in turn.
Input SlowInput(Function f, uint64_t seed, uint64_t index);

}  // namespace tolvane::crmath::verify
