#pragma once

// A VST 3 host for tests: it drives one plug-in instance through the interface only, from a
// factory either linked into the test program or exported by a loaded module. Everything a
// test learns comes through the interfaces; the host objects are the library's
// (kantele/vst3/hosting).

#include <cstdint>
#include <string>
#include <vector>

#include "kantele/vst3/Vst3Interface.h"
#include "kantele/vst3/hosting/HostObjects.h"
#include "support/TestSignal.h"

namespace kantele::test {

/// The name the test host gives plug-ins.
constexpr const char* kVst3HostName = "Kantele Vst3 Bench";

/// One plug-in instance: the first "Audio Module Class" of a factory, created, initialised,
/// its controller found (the same object when it answers IEditController), its component
/// handler set. Teardown in reverse order. [main-thread]
class Vst3Instance {
 public:
  /// Creates the instance from `factory` (not released here). Fails the test (ADD_FAILURE)
  /// when no instance could be made; `Ok()` then answers false.
  explicit Vst3Instance(vst3::IPluginFactory* factory);
  ~Vst3Instance();
  Vst3Instance(const Vst3Instance&) = delete;
  Vst3Instance& operator=(const Vst3Instance&) = delete;

  bool Ok() const { return mComponent && mProcessor && mController; }

  vst3::IComponent* Component() const { return mComponent.Get(); }
  vst3::IAudioProcessor* Processor() const { return mProcessor.Get(); }
  vst3::IEditController* Controller() const { return mController.Get(); }
  vst3::ComponentHandler& Handler() const { return *mHandler; }

  /// setupProcessing (kRealtime), then setActive(1) and setProcessing(1). Answers
  /// setupProcessing's result (and does not activate when it failed).
  vst3::tresult Start(double sampleRate, int maxBlock, int sampleSize = vst3::kSample32);
  /// setProcessing(0), setActive(0), when started.
  void Stop();

  /// One process call over `in` into `out` (same frame count) with `changes` (may be null) and
  /// the transport at `position`. Answers the result.
  template <typename T>
  vst3::tresult Process(Planar<T>& in, Planar<T>& out, vst3::IParameterChanges* changes = nullptr,
                        int64_t position = 0);
  /// `in` in blocks of `block` frames; the output.
  template <typename T>
  Planar<T> Render(Planar<T>& in, int block);

  /// The component's state bytes (empty when getState failed).
  std::vector<uint8_t> ComponentState();
  /// setState with `bytes`; the result.
  vst3::tresult SetComponentState(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> ControllerState();
  vst3::tresult SetControllerState(const std::vector<uint8_t>& bytes);

  /// The parameter's info (zeroed when the call fails).
  vst3::ParameterInfo Info(int index);
  /// UTF-8 of the title, short title, units of `info`.
  static std::string Text(const vst3::char16* text);
  /// getParamStringByValue as UTF-8 ("<failed>" when it fails).
  std::string ValueText(vst3::ParamID id, double normalized);
  /// The framework's vendor request, or -1 when the component does not offer it.
  int64_t VendorRequest(int32_t tag, int64_t value, double opt);

 private:
  vst3::Ref<vst3::IComponent> mComponent;
  vst3::Ref<vst3::IAudioProcessor> mProcessor;
  vst3::Ref<vst3::IEditController> mController;
  vst3::ComponentHandler* mHandler = nullptr;
  vst3::HostApplication* mHostApp = nullptr;
  bool mStarted = false;
};

}  // namespace kantele::test
