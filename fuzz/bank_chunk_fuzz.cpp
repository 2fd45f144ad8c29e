// A bank chunk comes back from a host or a project file as arbitrary bytes. Read exactly as the
// host adapter reads it, it must never read outside the bytes; every preset name must stay
// within its 255 bytes; the parameters must end within their ranges at the current preset's
// state; and the bank must survive a save and restore unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kantele/ByteChunk.h"
#include "kantele/IApiBase.h"
#include "kantele/TestPlugin.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kantele;
  if (size < 1) return 0;
  // The first byte picks the plug-in: 1 to 4 presets and which one is current.
  Config config = test::EffectLikeConfig();
  config.mNPresets = 1 + (data[0] & 3);
  const int current = (data[0] >> 2) % config.mNPresets;
  ByteChunk chunk;
  chunk.PutBytes(data + 1, static_cast<int>(size - 1));

  test::TestPlugin p(config);
  for (int i = 0; i < config.mNPresets; ++i) p.InitFirstFreePreset("Empty");
  p.RestorePreset(current);

  int32_t version = 0;
  const int start = ByteChunk::ReadVersionHeader(chunk, &version);
  const int pos = version >= ByteChunk::kCurrentVersion ? p.UnserializePresets(chunk, start)
                                                        : p.UnserializeState(chunk, start);
  Check(pos == -1 || (pos >= 0 && pos <= chunk.Size()));
  Check(p.GetCurrentPresetIndex() == current);
  for (int i = 0; i < p.NPresets(); ++i) {
    Check(std::strlen(p.GetPresetName(i)) <= static_cast<size_t>(kMaxPresetNameLen));
  }
  // Restoring the current preset at the end initialises it if the bank freed it.
  Check(p.GetPreset(current)->mInitialized);
  for (int i = 0; i < p.NParams(); ++i) {
    const IParam* param = p.GetParam(i);
    Check(param->GetValue() >= param->GetMin() && param->GetValue() <= param->GetMax());
  }

  // Save the bank and read it into a fresh plug-in: same names, same stored states.
  ByteChunk saved;
  saved.InitWithVersionHeader();
  p.ModifyCurrentPreset();
  Check(p.SerializePresets(saved));
  test::TestPlugin q(config);
  for (int i = 0; i < config.mNPresets; ++i) q.InitFirstFreePreset("x");
  q.RestorePreset(current);
  Check(q.UnserializePresets(saved, 8) == saved.Size());
  for (int i = 0; i < p.NPresets(); ++i) {
    Check(std::strcmp(p.GetPresetName(i), q.GetPresetName(i)) == 0);
    Check(p.GetPreset(i)->mInitialized == q.GetPreset(i)->mInitialized);
    if (p.GetPreset(i)->mInitialized) Check(p.GetPreset(i)->mChunk == q.GetPreset(i)->mChunk);
  }
  for (int i = 0; i < p.NParams(); ++i) {
    Check(q.GetParam(i)->GetValue() == p.GetParam(i)->GetValue());
  }
  return 0;
}
