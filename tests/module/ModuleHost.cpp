#include "ModuleHost.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace kantele::test {

using namespace vst2;

namespace {

constexpr int kCountedOpcodes = 64;
std::array<std::atomic<int>, kCountedOpcodes> sRequests{};
std::atomic<double> sHostRate{44100.0};

// Per thread: each audio thread reads its own transport record.
thread_local VstTimeInfo tTime;

void CopyText(void* dst, size_t size, const char* text) {
  std::strncpy(static_cast<char*>(dst), text, size - 1);
  static_cast<char*>(dst)[size - 1] = '\0';
}

}  // namespace

std::string ModulePath() { return TOLVANE_MODULE_PATH; }

VstIntPtr KANTELE_VST_CALL HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr,
                                        float) {
  if (opcode >= 0 && opcode < kCountedOpcodes) {
    sRequests[static_cast<size_t>(opcode)].fetch_add(1, std::memory_order_relaxed);
  }
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetTime:
      std::memset(&tTime, 0, sizeof(tTime));
      tTime.sampleRate = sHostRate.load(std::memory_order_relaxed);
      tTime.tempo = 120.0;
      tTime.ppqPos = 8.0;
      tTime.barStartPos = 8.0;
      tTime.timeSigNumerator = 4;
      tTime.timeSigDenominator = 4;
      tTime.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                    kVstTimeSigValid;
      return reinterpret_cast<VstIntPtr>(&tTime);
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(sHostRate.load(std::memory_order_relaxed));
    case audioMasterGetCurrentProcessLevel: return kVstProcessLevelRealtime;
    case audioMasterGetProductString:
      if (ptr) CopyText(ptr, kVstMaxProductStrLen, kHostProduct);
      return ptr ? 1 : 0;
    case audioMasterGetVendorString:
      if (ptr) CopyText(ptr, kVstMaxVendorStrLen, kHostVendor);
      return ptr ? 1 : 0;
    case audioMasterGetVendorVersion: return kHostVendorVersion;
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
    case audioMasterIOChanged: return 1;
    default: return 0;
  }
}

int HostRequestCount(VstInt32 opcode) {
  if (opcode < 0 || opcode >= kCountedOpcodes) return 0;
  return sRequests[static_cast<size_t>(opcode)].load(std::memory_order_relaxed);
}

void ResetHostRequestCounts() {
  for (auto& count : sRequests) count.store(0, std::memory_order_relaxed);
}

Stereo<float> TestSignal(int frames, double rate) {
  Stereo<float> s;
  const double kTwoPi = 6.283185307179586;
  for (int c = 0; c < 2; ++c) {
    s.channel[c].resize(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
      const double t = i / rate;
      // A DC offset of 0.45 above a swing of at most 0.4: never closer to zero than 0.05.
      const double v = 0.45 + 0.25 * std::sin(kTwoPi * (220.0 + 110.0 * c) * t) +
                       0.15 * std::sin(kTwoPi * 3520.0 * t + c);
      s.channel[c][static_cast<size_t>(i)] = static_cast<float>(c == 0 ? v : -v);
    }
  }
  return s;
}

Stereo<double> Widen(const Stereo<float>& in) {
  Stereo<double> out;
  for (int c = 0; c < 2; ++c) out.channel[c].assign(in.channel[c].begin(), in.channel[c].end());
  return out;
}

template <typename T>
bool AllWithin(const Stereo<T>& s, double limit) {
  for (const auto& channel : s.channel) {
    for (T v : channel) {
      if (!std::isfinite(v) || std::fabs(static_cast<double>(v)) > limit) return false;
    }
  }
  return true;
}
template bool AllWithin(const Stereo<float>&, double);
template bool AllWithin(const Stereo<double>&, double);

PluginInstance::PluginInstance(VstPluginMainProc entry)
    : mEffect(entry ? entry(HostCallback) : nullptr) {}

bool PluginInstance::IsValid() const { return mEffect && mEffect->magic == kEffectMagic; }

VstIntPtr PluginInstance::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string PluginInstance::Text(VstInt32 opcode, VstInt32 index) {
  char buffer[512] = {};
  Dispatch(opcode, index, 0, buffer);
  buffer[sizeof(buffer) - 1] = '\0';
  return buffer;
}

VstIntPtr PluginInstance::CanDo(const char* what) {
  return Dispatch(effCanDo, 0, 0, const_cast<char*>(what));
}

float PluginInstance::GetParameter(int index) const {
  return mEffect->getParameter(mEffect, index);
}

void PluginInstance::SetParameter(int index, float normalized) {
  mEffect->setParameter(mEffect, index, normalized);
}

void PluginInstance::Start(float sampleRate, int blockSize) {
  sHostRate.store(sampleRate, std::memory_order_relaxed);
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  Dispatch(effSetBlockSize, 0, blockSize);
  Dispatch(effMainsChanged, 0, 1);
}

void PluginInstance::Stop() { Dispatch(effMainsChanged, 0, 0); }

VstIntPtr PluginInstance::Seed(uint32_t seed) {
  constexpr VstInt32 kSeedRequest = FourCC('T', 'v', 'S', 'd');
  return Dispatch(effVendorSpecific, kSeedRequest, static_cast<VstIntPtr>(seed), nullptr, 1.f);
}

template <typename T, typename Callback>
Stereo<T> PluginInstance::Run(const Stereo<T>& in, const std::vector<int>& blockSizes,
                              Callback callback) {
  const int frames = in.Frames();
  Stereo<T> out;
  for (auto& channel : out.channel) channel.assign(static_cast<size_t>(frames), T(1000));
  Stereo<T> input = in;  // the callbacks take non-const pointers
  size_t next = 0;
  for (int pos = 0; pos < frames;) {
    int n = blockSizes[next];
    next = (next + 1) % blockSizes.size();
    if (n > frames - pos) n = frames - pos;
    T* ins[2] = {input.channel[0].data() + pos, input.channel[1].data() + pos};
    T* outs[2] = {out.channel[0].data() + pos, out.channel[1].data() + pos};
    callback(mEffect, ins, outs, n);
    pos += n;
  }
  return out;
}

Stereo<float> PluginInstance::Process(const Stereo<float>& in, const std::vector<int>& blockSizes) {
  return Run(in, blockSizes, mEffect->processReplacing);
}

Stereo<double> PluginInstance::Process(const Stereo<double>& in,
                                       const std::vector<int>& blockSizes) {
  return Run(in, blockSizes, mEffect->processDoubleReplacing);
}

void PluginInstance::Close() {
  if (!mEffect) return;
  mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.f);
#if defined(__SANITIZE_ADDRESS__)
  // The record lives in the instance: once effClose has deleted it, it is freed memory.
  EXPECT_TRUE(__asan_address_is_poisoned(mEffect)) << "effClose left the instance alive";
#endif
  mEffect = nullptr;
}

VstPluginMainProc LoadEntryPoint(ModuleLoader& module) {
  if (!module.Open(ModulePath())) {
    ADD_FAILURE() << module.Error();
    return nullptr;
  }
  auto entry = reinterpret_cast<VstPluginMainProc>(module.Find("VSTPluginMain"));
  if (!entry) {
    ADD_FAILURE() << module.Error();
    return nullptr;
  }
  return entry;
}

void ModuleTest::SetUp() {
  mEntry = LoadEntryPoint(mModule);
  ASSERT_NE(mEntry, nullptr);
}

void ModuleTest::TearDown() { EXPECT_TRUE(mModule.Close()) << mModule.Error(); }

}  // namespace kantele::test
