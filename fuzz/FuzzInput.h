#pragma once

// What the fuzz targets share: the fuzzer's bytes read as typed values, and a check that names
// its line before aborting, so a finding says which property broke.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kantele::fuzz {

/// Aborts, naming the caller's line, when `ok` is false.
inline void Check(bool ok, int line = __builtin_LINE(), const char* file = __builtin_FILE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

/// Reads the fuzzer's bytes in order; past the end everything reads 0.
struct Reader {
  const uint8_t* mData;
  size_t mSize;
  size_t mPos = 0;
  template <typename T>
  T Get() {
    T v{};
    const size_t n = mSize - mPos < sizeof(T) ? mSize - mPos : sizeof(T);
    std::memcpy(&v, mData + mPos, n);
    mPos += n;
    return v;
  }
  size_t Left() const { return mSize - mPos; }
};

}  // namespace kantele::fuzz
