#pragma once

// A host for the built plug-in module, as small as a test can keep it: it loads the module
// by path, looks up the entry point, answers the plug-in's requests the way a DAW does and
// drives instances through the interface only. Nothing of the plug-in's own code is linked
// in: everything the tests learn comes through the module's exports.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kantele/vst2/Vst2Interface.h"
#include "support/ModuleLoader.h"

namespace kantele::test {

/// The module under test, as the build recorded it.
std::string ModulePath();

/// What the host answers to audioMasterGetProductString / GetVendorString / GetVendorVersion.
constexpr const char* kHostProduct = "Kantele Module Bench";
constexpr const char* kHostVendor = "Kantele";
constexpr vst2::VstIntPtr kHostVendorVersion = 10203;

/// The host callback handed to every instance. It answers like a DAW: interface version 2400,
/// its product, vendor and version, a playing 120 bpm 4/4 transport at the current rate, the
/// realtime process level, and accepts automation, editing gestures and display updates.
/// Every request is counted (see `HostRequestCount`). [any-thread] Never allocates or locks.
vst2::VstIntPtr KANTELE_VST_CALL HostCallback(vst2::AEffect* effect, vst2::VstInt32 opcode,
                                              vst2::VstInt32 index, vst2::VstIntPtr value,
                                              void* ptr, float opt);

/// How often any instance, on any thread, made the host request `opcode` since the last
/// `ResetHostRequestCounts`.
int HostRequestCount(vst2::VstInt32 opcode);
void ResetHostRequestCounts();

/// Two planar channels of samples.
template <typename T>
struct Stereo {
  std::vector<T> channel[2];

  int Frames() const { return static_cast<int>(channel[0].size()); }
  bool operator==(const Stereo& o) const {
    return channel[0] == o.channel[0] && channel[1] == o.channel[1];
  }
  bool operator!=(const Stereo& o) const { return !(*this == o); }
};

/// A two-tone test signal at `rate` whose samples all stay well away from zero (the effect
/// replaces near-zero input with its own tiny noise, which would tie the output to how much
/// silence the process has seen before).
Stereo<float> TestSignal(int frames, double rate);
/// The same samples, widened.
Stereo<double> Widen(const Stereo<float>& in);

/// Whether every sample is finite and within [-limit, limit].
template <typename T>
bool AllWithin(const Stereo<T>& s, double limit);

/// One instance made through the module's entry point, as a host holds it. The destructor
/// closes it (effClose) unless `Close` already did.
class PluginInstance {
 public:
  explicit PluginInstance(vst2::VstPluginMainProc entry);
  ~PluginInstance() { Close(); }
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  vst2::AEffect* Effect() const { return mEffect; }
  /// Non-null, with the interface's magic word.
  bool IsValid() const;

  vst2::VstIntPtr Dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index = 0,
                           vst2::VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f);
  /// A text request (names, labels, displays) into a zeroed buffer far larger than the
  /// interface allows, so that an overlong answer shows up instead of corrupting memory.
  std::string Text(vst2::VstInt32 opcode, vst2::VstInt32 index = 0);
  vst2::VstIntPtr CanDo(const char* what);

  float GetParameter(int index) const;
  void SetParameter(int index, float normalized);

  /// effOpen, the sample rate, the block size and mains on, in a host's order.
  void Start(float sampleRate, int blockSize);
  /// Mains off.
  void Stop();
  /// The vendor-specific request that makes the output reproducible; answers its answer.
  vst2::VstIntPtr Seed(uint32_t seed);

  /// Processes `in` through the replacing callbacks in consecutive blocks whose sizes cycle
  /// through `blockSizes`; the last block is cut to the frames that remain. Output buffers are
  /// filled with a value far out of range first, so a frame the plug-in leaves alone shows.
  Stereo<float> Process(const Stereo<float>& in, const std::vector<int>& blockSizes);
  Stereo<double> Process(const Stereo<double>& in, const std::vector<int>& blockSizes);

  /// effClose; the record must not be touched afterwards. In an AddressSanitizer build it also
  /// checks that effClose freed the instance.
  void Close();

 private:
  template <typename T, typename Callback>
  Stereo<T> Run(const Stereo<T>& in, const std::vector<int>& blockSizes, Callback callback);

  vst2::AEffect* mEffect = nullptr;
};

/// Opens the module at `ModulePath()` in `module` and answers its entry point, or null with a
/// test failure. Like a host scanning the module, it makes and closes a first instance.
vst2::VstPluginMainProc LoadEntryPoint(ModuleLoader& module);

/// A fixture that loads the module fresh for each test and unloads it afterwards.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ModuleLoader mModule;
  vst2::VstPluginMainProc mEntry = nullptr;
};

}  // namespace kantele::test
