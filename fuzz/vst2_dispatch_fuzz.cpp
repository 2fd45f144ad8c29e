// A host drives the plug-in only through its effect record. This target replays arbitrary
// sequences of dispatcher requests against a real Tolvane instance, each with fuzzed index,
// value, option and buffer contents (the buffers themselves are valid, as a host's are), then
// restores fuzzed chunks of both kinds and processes a block. Nothing may crash or touch memory
// outside its buffers; parameters must stay within their ranges; a program chunk the plug-in
// hands out must restore the same values; and finite input must give finite output.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "kantele/vst2/Vst2Entry.h"
#include "tolvane/Tolvane.h"

namespace {

using namespace kantele::vst2;
using kantele::fuzz::Check;
using kantele::fuzz::Reader;

VstIntPtr KANTELE_VST_CALL Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  if (opcode == audioMasterGetProductString) std::strcpy(static_cast<char*>(ptr), "fuzz host");
  if (opcode == audioMasterGetVendorVersion) return 1234;
  return 0;
}

void CheckParamsInRange(AEffect* e) {
  auto* plug = kantele::IVst2Adapter::FromAEffect(e);
  for (int i = 0; i < plug->NParams(); ++i) {
    const kantele::IParam* p = plug->GetParam(i);
    Check(p->GetValue() >= p->GetMin() && p->GetValue() <= p->GetMax());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  AEffect* e = kantele::Vst2PluginMain<tolvane::Tolvane>(Host);
  Check(e != nullptr && e->magic == kEffectMagic);

  alignas(16) char buffer[1024];
  VstSpeakerArrangement arrangements[2];
  VstMidiEvent midi[4];
  VstMidiSysexEvent sysex;
  char sysexBytes[16] = {};
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[6];
  } events;

  // Up to 64 requests: opcode, index, value, opt, then the buffer's first 32 bytes.
  const int nRequests = in.Get<uint8_t>() % 65;
  for (int r = 0; r < nRequests && in.Left() > 0; ++r) {
    VstInt32 opcode = in.Get<uint8_t>() % 80;
    const VstInt32 index = in.Get<int32_t>();
    VstIntPtr value = in.Get<int32_t>();
    const float opt = in.Get<float>();
    std::memset(buffer, 0, sizeof(buffer));
    const size_t fill = in.Left() < 32 ? in.Left() : 32;
    std::memcpy(buffer, data + in.mPos, fill);
    in.mPos += fill;
    buffer[sizeof(buffer) - 1] = '\0';
    void* ptr = (value & 1) ? nullptr : buffer;

    switch (opcode) {
      case effClose:
      case effEditOpen:
      case effEditClose: continue;  // lifetime and windows are not this target's subject
      case effSetSpeakerArrangement:
      case effGetSpeakerArrangement:
        // Both sides are pointers; a host passes real records or none.
        std::memset(arrangements, 0, sizeof(arrangements));
        arrangements[0].numChannels = index % 4;
        arrangements[1].numChannels = static_cast<VstInt32>(value % 4);
        value = (index & 2) ? 0 : reinterpret_cast<VstIntPtr>(&arrangements[0]);
        ptr = (index & 4) ? nullptr : &arrangements[1];
        break;
      case effProcessEvents: {
        std::memset(midi, 0, sizeof(midi));
        std::memset(&sysex, 0, sizeof(sysex));
        events.numEvents = static_cast<VstInt32>(static_cast<uint32_t>(index) % 7);
        for (int i = 0; i < 4; ++i) {
          midi[i].type = kVstMidiType;
          midi[i].deltaFrames = index >> (i * 4);
          std::memcpy(midi[i].midiData, buffer + i * 3, 3);
          events.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);
        }
        sysex.type = kVstSysExType;
        sysex.dumpBytes = static_cast<VstInt32>(value % 17) - 1;  // -1 .. 15
        sysex.sysexDump = (value & 2) ? sysexBytes : nullptr;
        events.events[4] = reinterpret_cast<VstEvent*>(&sysex);
        events.events[5] = nullptr;
        ptr = (value & 4) ? nullptr : &events;
        break;
      }
      case effGetChunk:
      case effSetChunk:
        // Chunk requests with real bytes are exercised below; here only the size varies.
        value = value % 101;
        break;
      default: break;
    }
    e->dispatcher(e, opcode, index, value, ptr, opt);
    Check(e->object != nullptr);
    CheckParamsInRange(e);
  }

  // The remaining bytes as a program chunk and as a bank chunk.
  std::vector<uint8_t> rest(data + in.mPos, data + size);
  e->dispatcher(e, effSetChunk, 1, static_cast<VstIntPtr>(rest.size()), rest.data(), 0.f);
  CheckParamsInRange(e);
  e->dispatcher(e, effSetChunk, 0, static_cast<VstIntPtr>(rest.size()), rest.data(), 0.f);
  CheckParamsInRange(e);

  // What the plug-in hands out restores itself exactly.
  void* chunk = nullptr;
  const VstIntPtr n = e->dispatcher(e, effGetChunk, 1, 0, &chunk, 0.f);
  Check(n > 0 && chunk != nullptr);
  const std::vector<uint8_t> saved(static_cast<uint8_t*>(chunk), static_cast<uint8_t*>(chunk) + n);
  float before[tolvane::kNumParams];
  for (int i = 0; i < tolvane::kNumParams; ++i) before[i] = e->getParameter(e, i);
  Check(e->dispatcher(e, effSetChunk, 1, n, const_cast<uint8_t*>(saved.data()), 0.f) == 1);
  for (int i = 0; i < tolvane::kNumParams; ++i) Check(e->getParameter(e, i) == before[i]);

  // A block of finite input gives finite output, whatever the requests did.
  e->dispatcher(e, effSetBlockSize, 0, 64, nullptr, 0.f);
  // Outputs start silent: a host that disconnected output channels (speaker arrangement) gets
  // nothing written for them, and their buffers must not be read as the plug-in's output.
  float a[64], b[64], c[64] = {}, d[64] = {};
  for (int i = 0; i < 64; ++i) a[i] = b[i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
  float* inputs[2] = {a, b};
  float* outputs[2] = {c, d};
  e->processReplacing(e, inputs, outputs, 64);
  for (int i = 0; i < 64; ++i) Check(std::isfinite(c[i]) && std::isfinite(d[i]));

  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  return 0;
}
