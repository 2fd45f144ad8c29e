#pragma once

#include <cstdint>
#include <vector>

#include "kantele/ByteChunk.h"
#include "kantele/Config.h"
#include "kantele/IAdapterBase.h"
#include "kantele/vst3/RefCount.h"
#include "kantele/vst3/VendorRequest.h"
#include "kantele/vst3/Vst3Interface.h"

namespace kantele {

class Vst3View;

namespace detail {

// IComponent and IEditController both name their state calls setState/getState. One class
// implementing both would override the two with one function; these shims give each its own
// name, so the component's state and the controller's state stay two things.
class Vst3ComponentShim : public vst3::IComponent {
 public:
  vst3::tresult KANTELE_VST3_CALL setState(vst3::IBStream* state) final {
    return SetComponentState(state);
  }
  vst3::tresult KANTELE_VST3_CALL getState(vst3::IBStream* state) final {
    return GetComponentState(state);
  }

 protected:
  virtual vst3::tresult SetComponentState(vst3::IBStream* state) = 0;
  virtual vst3::tresult GetComponentState(vst3::IBStream* state) = 0;
};

class Vst3ControllerShim : public vst3::IEditController {
 public:
  vst3::tresult KANTELE_VST3_CALL setState(vst3::IBStream* state) final {
    return SetControllerState(state);
  }
  vst3::tresult KANTELE_VST3_CALL getState(vst3::IBStream* state) final {
    return GetControllerState(state);
  }

 protected:
  virtual vst3::tresult SetControllerState(vst3::IBStream* state) = 0;
  virtual vst3::tresult GetControllerState(vst3::IBStream* state) = 0;
};

}  // namespace detail

/// What the factory hands the plug-in's constructor. VST 3 passes the host only through
/// `initialize`, so nothing is needed yet; the record keeps every format's constructor alike.
struct InstanceInfo {};

/// Binds a plug-in to the VST 3 interface as one object that is both the component (with its
/// audio processor) and the edit controller. One object means one parameter list, one state
/// and one editor, with nothing to keep in step between two halves; hosts find the controller
/// by asking the component for IEditController (getControllerClassId answers kNotImplemented,
/// so no host makes a second copy).
///
/// The object answers queryInterface for FUnknown, IPluginBase, IComponent, IAudioProcessor,
/// IProcessContextRequirements, IEditController and the framework's IVendorRequest; FUnknown
/// and IPluginBase always give the IComponent pointer. It starts with one reference; the last
/// `release` deletes it.
///
/// Parameters. Parameter ids are the parameter indices. Normalised values cross the interface
/// and go through the parameter model (`IParam`) both ways; texts are the model's FormatValue
/// and TryParseValue. A double parameter whose range is one step, and every boolean, has one
/// step (a switch); integers and enumerations have max - min steps; other doubles are
/// continuous. The configuration's bypass parameter carries kIsBypass.
///
/// State. The component's state is the bytes of the VST2 program chunk: the versioned header,
/// then `SerializeState`. The controller's state is the header and the editor state (size and
/// scale). A state that does not parse leaves everything as it was and answers kResultFalse.
///
/// Threads. `process` runs on the audio thread: it takes no lock and allocates nothing.
/// `setProcessing` may run on either thread. Everything else runs on the host's
/// user-interface thread.
///
/// Bad calls. Null pointers, unknown ids, indices and bus numbers, arrangements the effect
/// cannot take, absurd rates and sizes, streams that fail: a failure result and nothing
/// changed; texts written to the host never exceed their fields.
class IVst3Adapter : public IAdapterBase,
                     public detail::Vst3ComponentShim,
                     public vst3::IAudioProcessor,
                     public vst3::IProcessContextRequirements,
                     public detail::Vst3ControllerShim,
                     public vst3::IVendorRequest {
 public:
  /// The API code of VST 3 (`IApiBase::GetAPIName` answers "VST3").
  static constexpr int kApiCode = 1;
  /// The largest state a stream may hand over; more is refused.
  static constexpr int kMaxStateSize = 64 * 1024 * 1024;
  /// The process-context fields the adapter reads.
  static constexpr vst3::uint32 kContextRequirements =
      vst3::kNeedTempo | vst3::kNeedTimeSignature | vst3::kNeedProjectTimeMusic |
      vst3::kNeedBarPositionMusic | vst3::kNeedCycleMusic | vst3::kNeedTransportState;

  /// Builds the plug-in base and the processing frame from `config`: every channel connected,
  /// 512-frame blocks, the 20 ms timer launched. [main-thread] Allocates.
  IVst3Adapter(const InstanceInfo& info, const Config& config);
  ~IVst3Adapter() override;

  /// The class id this configuration is offered under: the words 'KVST', the maker's code, the
  /// plug-in's code and 'comp'. The codes identify the plug-in in every format and never
  /// change, so neither does the id.
  static vst3::Uid ClassIdOf(const Config& config);

  // FUnknown
  vst3::tresult KANTELE_VST3_CALL queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::uint32 KANTELE_VST3_CALL addRef() override;
  vst3::uint32 KANTELE_VST3_CALL release() override;

  // IPluginBase (shared by the component and the controller)
  /// Keeps the host context, identifies the host by its name and tells every parameter;
  /// a second call answers kResultOk and changes nothing.
  vst3::tresult KANTELE_VST3_CALL initialize(vst3::FUnknown* context) override;
  /// Releases the host's component handler and context.
  vst3::tresult KANTELE_VST3_CALL terminate() override;

  // IComponent
  vst3::tresult KANTELE_VST3_CALL getControllerClassId(vst3::TUID classId) override;
  vst3::tresult KANTELE_VST3_CALL setIoMode(vst3::IoMode mode) override;
  vst3::int32 KANTELE_VST3_CALL getBusCount(vst3::MediaType type, vst3::BusDirection dir) override;
  vst3::tresult KANTELE_VST3_CALL getBusInfo(vst3::MediaType type, vst3::BusDirection dir,
                                             vst3::int32 index, vst3::BusInfo& bus) override;
  vst3::tresult KANTELE_VST3_CALL getRoutingInfo(vst3::RoutingInfo& inInfo,
                                                 vst3::RoutingInfo& outInfo) override;
  vst3::tresult KANTELE_VST3_CALL activateBus(vst3::MediaType type, vst3::BusDirection dir,
                                              vst3::int32 index, vst3::TBool state) override;
  /// Activation as the VST2 adapter's mains switch: `OnActivate`, and `OnReset` on the way out.
  vst3::tresult KANTELE_VST3_CALL setActive(vst3::TBool state) override;

  // IAudioProcessor
  /// One input and one output bus with one arrangement both ways, of a channel count the
  /// configuration accepts (stereo, and mono where "1-1" is listed); anything else answers
  /// kResultFalse and keeps the current arrangement.
  vst3::tresult KANTELE_VST3_CALL setBusArrangements(vst3::SpeakerArrangement* inputs,
                                                     vst3::int32 numIns,
                                                     vst3::SpeakerArrangement* outputs,
                                                     vst3::int32 numOuts) override;
  vst3::tresult KANTELE_VST3_CALL getBusArrangement(vst3::BusDirection dir, vst3::int32 index,
                                                    vst3::SpeakerArrangement& arr) override;
  vst3::tresult KANTELE_VST3_CALL canProcessSampleSize(vst3::int32 symbolicSampleSize) override;
  vst3::uint32 KANTELE_VST3_CALL getLatencySamples() override;
  /// Sample rate and largest block, then `OnReset`. A rate that is not finite and positive, a
  /// block outside 1 .. kMaxBlockSize or an unknown sample size answers kInvalidArgument.
  vst3::tresult KANTELE_VST3_CALL setupProcessing(vst3::ProcessSetup& setup) override;
  vst3::tresult KANTELE_VST3_CALL setProcessing(vst3::TBool state) override;
  /// [audio-thread] Applies the block's parameter changes (the last point of each queue; values
  /// outside 0..1 are clamped, NaN ignored), takes the transport, then processes the samples.
  /// No samples: the changes only. More samples than set up, missing buses or channel arrays
  /// shorter than the arrangement answer kInvalidArgument, with what can be written silenced.
  /// Never allocates or locks (IVst3Adapter_process.cpp).
  vst3::tresult KANTELE_VST3_CALL process(vst3::ProcessData& data) override;
  vst3::uint32 KANTELE_VST3_CALL getTailSamples() override;

  // IProcessContextRequirements
  vst3::uint32 KANTELE_VST3_CALL getProcessContextRequirements() override;

  // IEditController
  /// The component's bytes, read as `setState` reads them (one object: the parameters are
  /// already these, unless the host hands other bytes).
  vst3::tresult KANTELE_VST3_CALL setComponentState(vst3::IBStream* state) override;
  vst3::int32 KANTELE_VST3_CALL getParameterCount() override;
  vst3::tresult KANTELE_VST3_CALL getParameterInfo(vst3::int32 paramIndex,
                                                   vst3::ParameterInfo& info) override;
  vst3::tresult KANTELE_VST3_CALL getParamStringByValue(vst3::ParamID id,
                                                        vst3::ParamValue valueNormalized,
                                                        vst3::String128 string) override;
  /// kResultFalse for a text that names no value.
  vst3::tresult KANTELE_VST3_CALL getParamValueByString(vst3::ParamID id, vst3::TChar* string,
                                                        vst3::ParamValue& valueNormalized) override;
  vst3::ParamValue KANTELE_VST3_CALL
  normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue valueNormalized) override;
  vst3::ParamValue KANTELE_VST3_CALL plainParamToNormalized(vst3::ParamID id,
                                                            vst3::ParamValue plainValue) override;
  vst3::ParamValue KANTELE_VST3_CALL getParamNormalized(vst3::ParamID id) override;
  /// The host's value for the parameter and the editor; never echoed to the host.
  vst3::tresult KANTELE_VST3_CALL setParamNormalized(vst3::ParamID id,
                                                     vst3::ParamValue value) override;
  vst3::tresult KANTELE_VST3_CALL setComponentHandler(vst3::IComponentHandler* handler) override;
  /// The editor's view for "editor" when the plug-in has an editor; null otherwise.
  vst3::IPlugView* KANTELE_VST3_CALL createView(vst3::FIDString name) override;

  // IVendorRequest
  vst3::int64 KANTELE_VST3_CALL vendorRequest(vst3::int32 tag, vst3::int64 value, void* data,
                                              double opt) override;

  // Host-facing operations of the framework, through the component handler and the view's
  // plug-in frame. [main-thread]
  bool NotifyHostParamValue(int paramIdx, double normalized) override;
  bool NotifyHostBeginEdit(int paramIdx) override;
  bool NotifyHostEndEdit(int paramIdx) override;
  void NotifyHostDisplayChanged() override;
  /// The open view asks its frame; false without a view.
  bool AskHostToResizeEditor(int width, int height) override;
  void SetLatency(int samples) override;
  /// [audio-thread] This adapter declares no event buses, so no MIDI reaches the host: false.
  bool SendMidiMsg(const MidiMsg& msg) override;

  /// The open view tells the adapter it exists (or is gone, with null). [main-thread]
  void SetView(Vst3View* view) { mView = view; }

  /// The context the host gave `initialize`, or null.
  vst3::FUnknown* GetHostContext() const { return mHostContext; }
  /// The host's component handler, or null.
  vst3::IComponentHandler* GetComponentHandler() const { return mComponentHandler; }

 protected:
  vst3::tresult SetComponentState(vst3::IBStream* state) override;
  vst3::tresult GetComponentState(vst3::IBStream* state) override;
  vst3::tresult SetControllerState(vst3::IBStream* state) override;
  vst3::tresult GetControllerState(vst3::IBStream* state) override;

 private:
  /// Reads the whole stream into `chunk`; false when the stream fails or holds more than
  /// kMaxStateSize bytes.
  static bool ReadStream(vst3::IBStream* stream, ByteChunk& chunk);
  /// Writes all of `chunk`; false when the stream fails or stops taking bytes.
  static bool WriteStream(vst3::IBStream* stream, const ByteChunk& chunk);

  // The audio path (IVst3Adapter_process.cpp). [audio-thread] Never allocate or lock.
  void ApplyParameterChanges(vst3::IParameterChanges* changes);
  void ApplyProcessContext(const vst3::ProcessContext* context);
  static void SilenceOutputs(const vst3::ProcessData& data);

  bool IsValidParamId(vst3::ParamID id) const { return id < static_cast<vst3::ParamID>(NParams()); }
  int StepCountOf(int paramIdx) const;

  vst3::RefCount mRefs;
  bool mInitialized = false;
  int mBypassParamIdx = -1;
  vst3::FUnknown* mHostContext = nullptr;
  vst3::IComponentHandler* mComponentHandler = nullptr;
  Vst3View* mView = nullptr;
  ByteChunk mState{4096};
  // The host's channel pointers of the current block, one per slot, allocated at construction.
  std::vector<float*> mInputs32;
  std::vector<float*> mOutputs32;
  std::vector<double*> mInputs64;
  std::vector<double*> mOutputs64;
};

}  // namespace kantele
