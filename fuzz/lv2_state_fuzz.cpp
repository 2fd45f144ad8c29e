// An LV2 host hands the plug-in stored state as a property of any size and type. This target
// makes a Tolvane instance through the module's descriptor, as a host does, gives its control
// ports starting values, and hands the fuzzer's bytes to the state interface's restore as the
// program chunk property, of the chunk type or another, at its size or claiming more than the
// largest state.
//
// Properties: a refused state changes no byte of what the instance saves, and answers the status
// its case documents (another type: bad type; the rest: unknown); an accepted one saves as bytes
// that are accepted again, by the same instance and by a fresh one, and saved unchanged.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <lv2/atom/atom.h>

#include "FuzzInput.h"
#include "kantele/lv2/Lv2Entry.h"
#include "kantele/lv2/Lv2TestHost.h"
#include "tolvane/Tolvane.h"

KANTELE_LV2_ENTRY(tolvane::Tolvane)

namespace {

using kantele::ILv2Adapter;
using kantele::fuzz::Check;
using kantele::fuzz::Reader;
using kantele::test::Lv2Features;
using kantele::test::Lv2Instance;
using kantele::test::Lv2StateStore;
using Bytes = std::vector<uint8_t>;

/// What `plug` saves; the save must succeed and store one property.
Bytes Saved(const Lv2Instance& plug, uint32_t key) {
  Lv2StateStore store;
  Check(plug.Save(store) == LV2_STATE_SUCCESS && store.mProperties.size() == 1);
  return store.mProperties[key].mBytes;
}

LV2_State_Status Restore(const Lv2Instance& plug, uint32_t key, const Bytes& bytes, uint32_t type,
                         size_t reportedSize) {
  Lv2StateStore store;
  store.mProperties[key] = {bytes, type, 0, reportedSize};
  return plug.Restore(store);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  static Lv2Features features;
  const uint32_t key = features.Map(ILv2Adapter::kStateChunkUri);
  const uint32_t chunkType = features.Map(LV2_ATOM__Chunk);
  Lv2Instance plug(lv2_descriptor(0), 48000.0, features.List());
  Check(plug.Ok());
  // Bit 0: another type than the chunk's; bit 1: a size beyond the largest state. Then a
  // starting value for every parameter, through its control port.
  const auto how = in.Get<uint8_t>();
  for (int i = 0; i < tolvane::kNumParams; ++i) {
    const kantele::IParam& p = *plug.Adapter().GetParam(i);
    plug.Control(i) =
        static_cast<float>(p.GetMin() + in.Get<uint8_t>() / 255.0 * (p.GetMax() - p.GetMin()));
  }
  plug.Run(0);
  const Bytes bytes(data + in.mPos, data + size);
  const uint32_t type = (how & 1) ? features.Map(LV2_ATOM__String) : chunkType;
  const size_t reported = (how & 2) ? ILv2Adapter::kMaxStateSize + size_t{1} : bytes.size();

  const Bytes before = Saved(plug, key);
  const LV2_State_Status status = Restore(plug, key, bytes, type, reported);
  const Bytes after = Saved(plug, key);
  if (status != LV2_STATE_SUCCESS) {
    Check(after == before);
    Check(status == ((how & 1) ? LV2_STATE_ERR_BAD_TYPE : LV2_STATE_ERR_UNKNOWN));
    return 0;
  }
  Check(!(how & 3));
  Check(Restore(plug, key, after, chunkType, after.size()) == LV2_STATE_SUCCESS);
  Check(Saved(plug, key) == after);
  Lv2Instance fresh(lv2_descriptor(1), 44100.0, features.List());
  Check(Restore(fresh, key, after, chunkType, after.size()) == LV2_STATE_SUCCESS);
  Check(Saved(fresh, key) == after);
  return 0;
}
