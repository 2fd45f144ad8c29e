// Preset (.fxp) and bank (.fxb) files come from anywhere. Read as tolvane-render reads them,
// arbitrary bytes must never be read outside their buffer nor make the reader allocate more
// than they could describe; whatever is accepted must be written back and read again to the
// same record, and writing that record again must give the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/PresetFile.h"

namespace {

using tolvane::render::PresetFile;

void Check(bool ok) {
  if (!ok) std::abort();
}

template <typename Read, typename Write>
void RoundTrip(const uint8_t* data, size_t size, Read read, Write write) {
  const auto first = read(data, size);
  if (!first.ok) {
    Check(!first.error.empty());
    return;
  }
  std::vector<uint8_t> bytes;
  Check(write(first.value, bytes));
  const auto second = read(bytes.data(), bytes.size());
  Check(second.ok);
  Check(second.value == first.value);
  std::vector<uint8_t> again;
  Check(write(second.value, again));
  Check(again == bytes);
  // A record never claims more than the bytes it came from.
  Check(bytes.size() <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RoundTrip(data, size, PresetFile::ReadProgram, PresetFile::WriteProgram);
  RoundTrip(data, size, PresetFile::ReadBank, PresetFile::WriteBank);
  return 0;
}
