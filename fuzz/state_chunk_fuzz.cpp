// A program chunk comes back from a host or a project file as arbitrary bytes. Read exactly as
// the host adapter reads it (versioned header test, then the state), it must never read outside
// the bytes, every parameter must end within its range, and whatever was restored must survive
// a save and restore unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kantele/ByteChunk.h"
#include "kantele/IApiBase.h"
#include "kantele/TestPlugin.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckParamsInRange(const kantele::IApiBase& p) {
  for (int i = 0; i < p.NParams(); ++i) {
    const kantele::IParam* param = p.GetParam(i);
    const double v = param->GetValue();
    Check(v >= param->GetMin() && v <= param->GetMax());  // also false for NaN
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kantele;
  ByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(size));
  Check(chunk.Size() == static_cast<int>(size));

  test::TestPlugin p;
  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(chunk, &version);
  Check(start == 0 || start == 8 || start == -1);
  const int pos = p.UnserializeState(chunk, start);
  Check(pos == -1 || (pos >= 0 && pos <= chunk.Size()));
  // A successful read consumed exactly one value per parameter.
  if (pos >= 0) Check(pos == start + 8 * p.NParams());
  CheckParamsInRange(p);

  // Save and restore what was restored: identical values.
  ByteChunk saved;
  saved.InitWithVersionHeader();
  Check(p.SerializeState(saved));
  Check(saved.Size() == 8 + 8 * p.NParams());
  test::TestPlugin q;
  Check(q.UnserializeState(saved, 8) == saved.Size());
  for (int i = 0; i < p.NParams(); ++i) {
    Check(q.GetParam(i)->GetValue() == p.GetParam(i)->GetValue());
  }
  return 0;
}
