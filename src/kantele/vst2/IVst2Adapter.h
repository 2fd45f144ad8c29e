#pragma once

#include <cstdint>

#include "kantele/ByteChunk.h"
#include "kantele/Config.h"
#include "kantele/IAdapterBase.h"
#include "kantele/vst2/Vst2Interface.h"

namespace kantele {

/// What the entry point hands the plug-in's constructor: the host's callback.
struct InstanceInfo {
  vst2::audioMasterCallback mVSTHostCallback = nullptr;
};

/// Binds a plug-in to the VST 2.4 interface. It owns the effect record the host holds, keeps
/// the host's callback, turns every dispatcher request into calls on the framework, runs the
/// three audio callbacks and turns the framework's requests to the host (automation, editor
/// size, latency, outgoing MIDI) into host-callback calls.
///
/// Threads. The dispatcher runs on whatever thread the host calls it from (editor, program and
/// chunk requests on the host's user-interface thread; events usually on the audio thread). The
/// process callbacks and the parameter callbacks may run on the audio thread: they take no lock
/// and allocate nothing. The adapter takes no lock of its own.
///
/// Bad requests. A request with an index outside the parameters, a null buffer where one is
/// needed, an absurd size or rate answers 0 (or the documented safe answer) and changes nothing.
/// Texts written into host buffers never exceed the sizes the interface defines for those
/// buffers; longer texts are cut at a UTF-8 character boundary.
class IVst2Adapter : public IAdapterBase {
 public:
  /// The answer to effIdentify ('NvEf').
  static constexpr vst2::VstIntPtr kIdentify = 0x4E764566;
  /// The answer of the host-specific extension requests.
  static constexpr vst2::VstIntPtr kExtensionAnswer = 0xBEEF;
  static constexpr vst2::VstIntPtr kExtensionCanDoAnswer = static_cast<vst2::VstIntPtr>(0xBEEF0000);
  /// Bits of the extension flags: the host asked "hasCockosExtensions" / "hasCockosViewAsConfig".
  static constexpr int32_t kExtensionsAsked = 1;
  static constexpr int32_t kViewAsConfigAsked = 2;
  /// The largest chunk effSetChunk accepts (a larger size is refused, answering 0).
  static constexpr vst2::VstIntPtr kMaxChunkSize = 64 * 1024 * 1024;
  /// Growth granularity of the two chunk buffers.
  static constexpr int kChunkGranularity = 4096;

  /// Builds the plug-in base and the processing frame from `config`, fills the effect record,
  /// connects every channel, sets 512-frame blocks and launches the 20 ms timer.
  /// [main-thread] Allocates.
  IVst2Adapter(const InstanceInfo& info, const Config& config);
  ~IVst2Adapter() override;

  /// The record the host holds. Its `object` field points at this adapter.
  vst2::AEffect& GetAEffect() { return mAEffect; }
  const vst2::AEffect& GetAEffect() const { return mAEffect; }

  /// The adapter of an effect record; null when the record or its object field is null.
  static IVst2Adapter* FromAEffect(vst2::AEffect* effect) {
    return effect ? static_cast<IVst2Adapter*>(effect->object) : nullptr;
  }

  // The callbacks stored in the effect record.
  static vst2::VstIntPtr KANTELE_VST_CALL VSTDispatcher(vst2::AEffect* effect,
                                                        vst2::VstInt32 opcode, vst2::VstInt32 index,
                                                        vst2::VstIntPtr value, void* ptr,
                                                        float opt);
  static void KANTELE_VST_CALL VSTProcessReplacing(vst2::AEffect* effect, float** inputs,
                                                   float** outputs, vst2::VstInt32 nFrames);
  static void KANTELE_VST_CALL VSTProcessDoubleReplacing(vst2::AEffect* effect, double** inputs,
                                                         double** outputs, vst2::VstInt32 nFrames);
  static void KANTELE_VST_CALL VSTProcess(vst2::AEffect* effect, float** inputs, float** outputs,
                                          vst2::VstInt32 nFrames);
  static float KANTELE_VST_CALL VSTGetParameter(vst2::AEffect* effect, vst2::VstInt32 index);
  static void KANTELE_VST_CALL VSTSetParameter(vst2::AEffect* effect, vst2::VstInt32 index,
                                               float value);

  // Host-facing operations of the framework. Each passes the effect record to the host.
  bool NotifyHostParamValue(int paramIdx, double normalized) override;
  bool NotifyHostBeginEdit(int paramIdx) override;
  bool NotifyHostEndEdit(int paramIdx) override;
  void NotifyHostDisplayChanged() override;
  /// Stores the edit rectangle and asks the host (audioMasterSizeWindow); answers whether the
  /// host resized.
  bool AskHostToResizeEditor(int width, int height) override;
  /// Disconnects inputs from the third on for the hosts that need it, then publishes the
  /// channel counts in the record and the speaker arrangements.
  void HostSpecificSetup() override;
  /// Stores the latency in the record and the frame, then tells the host the I/O changed.
  void SetLatency(int samples) override;
  /// [audio-thread] One MIDI message to the host; true when it answered 1. Never allocates.
  bool SendMidiMsg(const MidiMsg& msg) override;
  /// [audio-thread] One SysEx message to the host; true when it answered 1. Never allocates.
  bool SendSysEx(const SysExMsg& msg) override;

  /// Capability texts the adapter does not answer itself. Here: 0.
  virtual vst2::VstIntPtr HandleCanDo(const char* text);
  /// Vendor-specific requests the adapter does not answer itself. Here: the plug-in's
  /// `OnVendorRequest` with the same arguments.
  virtual vst2::VstIntPtr HandleVendorSpecific(vst2::VstInt32 index, vst2::VstIntPtr value,
                                               void* ptr, float opt);

  /// The Windows virtual-key code of a key event: from the interface's virtual key `vstKey`,
  /// or, for none (0) and the equals key (57), from the keyboard layout's code for `character`.
  static int VirtualKeyOf(int vstKey, char character);

  int32_t GetExtensionFlags() const { return mHasVSTExtensions; }
  const vst2::ERect& GetEditRect() const { return mEditRect; }
  const vst2::VstSpeakerArrangement& GetInputArrangement() const { return mInputSpkrArr; }
  const vst2::VstSpeakerArrangement& GetOutputArrangement() const { return mOutputSpkrArr; }

 protected:
  /// Calls the host; 0 when there is no host callback.
  vst2::VstIntPtr CallHost(vst2::VstInt32 opcode, vst2::VstInt32 index = 0,
                           vst2::VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f);

 private:
  // The dispatcher (IVst2Adapter_dispatch.cpp). Each group answers the opcodes Dispatch
  // routes to it, with the helpers it calls declared beneath it.

  /// Routes a dispatcher request (all but effClose) to the group of its concern; every
  /// request no group serves answers 0.
  vst2::VstIntPtr Dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value,
                           void* ptr, float opt);
  /// Opening, sample rate, block size, activation, events, tail, pins and speaker arrangements.
  vst2::VstIntPtr DispatchSetup(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value,
                                void* ptr, float opt);
  void OnOpen();
  vst2::VstIntPtr ProcessEvents(const vst2::VstEvents* events);
  vst2::VstIntPtr GetPinProperties(EChannelDirection dir, int index, vst2::VstPinProperties* props);
  vst2::VstIntPtr SetSpeakerArrangement(const vst2::VstSpeakerArrangement* in,
                                        const vst2::VstSpeakerArrangement* out);
  /// Programs, their names and the state chunks.
  vst2::VstIntPtr DispatchPrograms(vst2::VstInt32 opcode, vst2::VstInt32 index,
                                   vst2::VstIntPtr value, void* ptr);
  vst2::VstIntPtr GetChunk(vst2::VstInt32 index, void* ptr);
  vst2::VstIntPtr SetChunk(vst2::VstInt32 index, vst2::VstIntPtr size, const void* data);
  /// Parameter texts, automation, parsing and properties.
  vst2::VstIntPtr DispatchParameters(vst2::VstInt32 opcode, vst2::VstInt32 index, void* ptr);
  vst2::VstIntPtr GetParameterProperties(int index, vst2::VstParameterProperties* props);
  /// The editor's rectangle, opening and closing, idle ticks and keys.
  vst2::VstIntPtr DispatchEditor(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value,
                                 void* ptr, float opt);
  vst2::VstIntPtr KeyEvent(bool down, vst2::VstInt32 character, vst2::VstIntPtr vstKey,
                           float modifiers);
  /// Identity, names, versions, MIDI key names, capabilities and vendor-specific requests.
  vst2::VstIntPtr DispatchHostQueries(vst2::VstInt32 opcode, vst2::VstInt32 index,
                                      vst2::VstIntPtr value, void* ptr, float opt);
  vst2::VstIntPtr CanDo(const char* text);
  vst2::VstIntPtr VendorSpecific(vst2::VstInt32 index, vst2::VstIntPtr value, void* ptr, float opt);

  // The record (IVst2Adapter.cpp).
  void FillArrangements();
  /// The edit rectangle of a `width` x `height` editor at the origin, each side cut to the
  /// record's 0..32767.
  void SetEditRect(int width, int height);
  /// A version packed as major << 16 | minor << 8 | patch, as the record and effGetVendorVersion
  /// report it: major * 10000 + minor * 100 + patch.
  static int32_t PackedVersionToDecimal(uint32_t packed);

  // The audio callbacks' shared steps. [audio-thread] Never allocate or lock.
  void PrepareBlock();
  void SendQueuedSysEx();

  bool IsValidParamIdx(vst2::VstIntPtr idx) const { return idx >= 0 && idx < NParams(); }

  int32_t mHasVSTExtensions = 0;
  ByteChunk mState{kChunkGranularity};
  ByteChunk mBankState{kChunkGranularity};
  vst2::AEffect mAEffect;
  vst2::audioMasterCallback mHostCallback = nullptr;
  vst2::ERect mEditRect;
  vst2::VstSpeakerArrangement mInputSpkrArr;
  vst2::VstSpeakerArrangement mOutputSpkrArr;
  bool mClosingEditor = false;
};

}  // namespace kantele
