#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kantele/vst3/Vst3Interface.h"
#include "kantele/vst3/hosting/HostObjects.h"
#include "render/PluginHost.h"

namespace tolvane {
namespace render {

/// One VST 3 plug-in loaded from its module and driven as a host drives it.
///
/// Loading: the module is opened with dlopen (RTLD_NOW | RTLD_LOCAL) and entered through
/// `ModuleEntry(handle)` (a module that answers false is refused); `GetPluginFactory` gives the
/// factory, whose first class of category "Audio Module Class" is created as IComponent and
/// initialised with the host's identity (IPluginFactory3 also gets it as its host context).
/// Class information is read through the richest factory interface offered (Unicode, then
/// version 2, then the first). The controller is the component itself when it answers
/// IEditController; otherwise the class it names, created and initialised, both objects
/// connected through IConnectionPoint when both offer it, and given the component's state.
/// Either way the controller gets the host's component handler.
///
/// Buses: the first input and output buses are offered stereo (or mono on request); every
/// audio bus is activated, and their channels, bus after bus, are the host's flat list of
/// inputs and outputs. Parameter values set before Resume are given to the controller at once
/// (setParamNormalized) and to the processor as changes at offset 0 of the first processed
/// block. Each block carries a ProcessContext: a transport running from sample 0 at the tempo,
/// in 4/4.
///
/// Unloading runs the loading backwards: processing stopped, deactivated, disconnected, both
/// objects terminated and released, the factory released, `ModuleExit`, dlclose. A failure
/// while loading unwinds the steps already taken.
///
/// Every method is [main-thread]: the renderer has no other thread. ProcessFloat and
/// ProcessDouble do not allocate (buffers and parameter-change storage are made by Resume).
class Vst3Host final : public PluginHost {
 public:
  /// Loads the plug-in at `path` (a `.vst3` bundle folder or the module file inside it) and
  /// creates its component and controller. Throws RenderError(kExitPlugin) naming what failed.
  explicit Vst3Host(const std::string& path);
  ~Vst3Host() override;

  Vst3Host(const Vst3Host&) = delete;
  Vst3Host& operator=(const Vst3Host&) = delete;

  /// Whether `path` names a VST 3 plug-in: it, or a folder it lies in, is named `*.vst3`.
  static bool IsVst3Path(const std::string& path);
  /// The module file to load for `path`: for a bundle folder `<Name>.vst3`, its
  /// `Contents/<machine>-linux/<Name>.so` (RenderError(kExitPlugin) when the bundle has
  /// none); any other path as it is.
  static std::string ModulePath(const std::string& path);

  /// Keeps the settings and offers stereo buses.
  void Open(const HostSettings& settings) override;
  /// Offers mono first buses (SpeakerArr::kMono); when refused, offers stereo again.
  bool OfferMonoArrangement() override;
  /// Whether the processor answers canProcessSampleSize(kSample64) with kResultTrue.
  bool CanProcessDouble() const override;
  void SetProcessPrecision(bool doublePrecision) override { mDouble = doublePrecision; }

  /// setupProcessing (realtime, or offline with HostSettings::offline; the precision, block
  /// size and rate), every audio bus activated, setActive(1), setProcessing(1). Allocates the
  /// blocks' buffers and parameter changes. Throws RenderError(kExitPlugin) when the plug-in
  /// refuses the setup or the activation.
  void Resume() override;
  /// setProcessing(0), setActive(0).
  void Suspend() override;

  void ProcessFloat(float** inputs, float** outputs, int frames) override;
  void ProcessDouble(double** inputs, double** outputs, int frames) override;

  /// The channels of every audio bus of a direction, added up.
  int NumInputs() const override { return mInputs.total; }
  int NumOutputs() const override { return mOutputs.total; }
  /// The controller's parameters, as listed when the plug-in was loaded, without those it
  /// marks hidden (kIsHidden: not for the user); 0 without a controller.
  int NumParams() const override { return static_cast<int>(mParams.size()); }

  /// The audio module class's name and vendor (the factory's vendor when the class has none).
  std::string EffectName() override { return mName; }
  std::string VendorString() override { return mVendor; }
  const char* Format() const override { return "VST3"; }
  std::string EntryPoint() const override { return "GetPluginFactory"; }

  /// The parameter's title and units (getParameterInfo).
  std::string ParamName(int index) override;
  std::string ParamLabel(int index) override;
  /// getParamStringByValue at the current value or at `normalized`.
  std::string ParamDisplay(int index) override;
  std::string ParamDisplayAt(int index, double normalized) override;
  /// The controller's value (getParamNormalized).
  double GetParameter(int index) override;
  /// Tells the controller (setParamNormalized) and queues the value for the first block; a
  /// later value for the same parameter replaces a queued one. Throws RenderError(kExitUsage)
  /// for a read-only parameter.
  void SetParameter(int index, double normalized) override;
  /// getParamValueByString, then SetParameter; false when the plug-in refuses the text or
  /// answers a value that is not a number.
  bool SetParameterFromText(int index, const std::string& text) override;
  /// getParamValueByString, clamped to 0..1; false when the plug-in refuses the text or answers
  /// a value that is not a number.
  bool NormalizedFromText(int index, const std::string& text, double& normalized) override;
  /// Each curve's value at sample 0 through SetParameter now (the controller at once, the
  /// processor at offset 0 of the first block); every block then carries the curve's points
  /// (AutomationCurve::ForEachBlockPoint) in its parameter changes, after that first value.
  /// Throws RenderError(kExitUsage) for a read-only parameter, or when one block of the block
  /// size could need more points than a queue holds (ParamValueQueue::kMaxPoints).
  void SetAutomation(std::vector<AutomationCurve> curves) override;

  /// IVendorRequest::vendorRequest when the component offers that interface, else 0.
  int64_t VendorRequest(int32_t tag, int64_t value, void* ptr, double opt) override;

  /// Whether the component is its own controller (it answered IEditController).
  bool ControllerIsComponent() const { return mControllerIsComponent; }
  /// Whether component and controller were connected through IConnectionPoint.
  bool Connected() const { return mConnected; }
  /// The parameter's id, for tests that look at what reached the plug-in.
  kantele::vst3::ParamID ParamId(int index) const;
  /// The transport of the block processed last.
  const kantele::vst3::ProcessContext& Context() const { return mContext; }
  /// The changes handed to the block about to be processed.
  kantele::vst3::ParameterChanges* PendingChanges() const { return mInChanges.get(); }

 private:
  /// One direction's audio buses: their channel counts and where each bus's channels start
  /// in the host's flat list.
  struct Buses {
    std::vector<int> channels;
    std::vector<int> first;
    int total = 0;
    std::vector<kantele::vst3::AudioBusBuffers> buffers;  // made by Resume
  };

  void Load();
  void CreateController();
  void Teardown();
  bool OfferArrangement(kantele::vst3::SpeakerArrangement main);
  void ReadBuses();
  void ReadBuses(kantele::vst3::BusDirection direction, Buses& buses);
  const kantele::vst3::ParameterInfo& Param(int index) const;
  template <typename T>
  void Process(T** inputs, T** outputs, int frames);
  void QueueAutomation(int frames);
  [[noreturn]] void Fail(const std::string& why) const;

  std::string mPath;
  std::string mModulePath;
  void* mLibrary = nullptr;
  bool mEntered = false;  // ModuleEntry answered true: ModuleExit is due

  kantele::vst3::Ref<kantele::vst3::ComponentHandler> mHandler;
  kantele::vst3::Ref<kantele::vst3::IPluginFactory> mFactory;
  kantele::vst3::Uid mClassId{};
  std::string mName;
  std::string mVendor;
  kantele::vst3::Ref<kantele::vst3::IComponent> mComponent;
  kantele::vst3::Ref<kantele::vst3::IAudioProcessor> mProcessor;
  kantele::vst3::Ref<kantele::vst3::IEditController> mController;
  kantele::vst3::Ref<kantele::vst3::IConnectionPoint> mComponentPoint;
  kantele::vst3::Ref<kantele::vst3::IConnectionPoint> mControllerPoint;
  bool mComponentInitialized = false;
  bool mControllerInitialized = false;  // a separate controller only
  bool mControllerIsComponent = false;
  bool mConnected = false;

  std::vector<kantele::vst3::ParameterInfo> mParams;
  std::vector<std::pair<kantele::vst3::ParamID, double>> mQueued;  // values for the first block
  std::vector<AutomationCurve> mCurves;
  std::vector<kantele::vst3::ParamID> mCurveIds;  // per curve, its parameter's id

  HostSettings mSettings;
  bool mDouble = false;
  bool mActive = false;
  bool mProcessing = false;
  Buses mInputs, mOutputs;
  std::unique_ptr<kantele::vst3::ParameterChanges> mInChanges, mOutChanges;
  kantele::vst3::ProcessContext mContext{};
  kantele::vst3::ProcessData mData{};
  int64_t mPosition = 0;  // samples processed since Resume
};

}  // namespace render
}  // namespace tolvane
