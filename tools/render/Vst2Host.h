#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kantele/vst2/Vst2Interface.h"
#include "render/PluginHost.h"

namespace tolvane {
namespace render {

/// One VST2 plug-in loaded from a shared object and driven as a host drives it:
/// loaded with dlopen, created through `VSTPluginMain` (or `main` for plug-ins
/// that export only that), opened, configured, resumed, processed, suspended,
/// closed and unloaded, in that order.
///
/// The host callback answers as a host does: its version (2400), vendor and
/// product, the transport (a running position at the set tempo, 4/4), the
/// process level, rate and block size; it accepts automation and display
/// notifications and answers 0 to anything it does not support. It copes with
/// calls made before the effect record exists (during the entry point).
///
/// Every method is [main-thread]: the renderer has no other thread. Nothing
/// allocates on the processing path (ProcessFloat/ProcessDouble).
class Vst2Host final : public PluginHost {
 public:
  using AEffect = kantele::vst2::AEffect;

  /// Loads `path` and creates the effect; the effect is not opened yet.
  /// Throws RenderError(kExitPlugin) with dlopen's text, a missing entry point,
  /// a null effect or a wrong magic number.
  explicit Vst2Host(const std::string& path);

  /// Suspends and closes the effect if needed, then unloads the library.
  ~Vst2Host() override;

  Vst2Host(const Vst2Host&) = delete;
  Vst2Host& operator=(const Vst2Host&) = delete;

  /// effOpen, effSetSampleRate, effSetBlockSize.
  void Open(const HostSettings& settings) override;

  /// Offers a mono input and a mono output (effSetSpeakerArrangement); answers
  /// whether the plug-in accepted. Call before Resume.
  bool OfferMonoArrangement() override;

  /// Tells the plug-in which precision it will process in (effSetProcessPrecision).
  void SetProcessPrecision(bool doublePrecision) override;

  /// effMainsChanged(1) then effStartProcess; the transport starts at sample 0.
  void Resume() override;

  /// effStopProcess then effMainsChanged(0).
  void Suspend() override;

  /// Processes one block of `frames` (at most the block size) with processReplacing,
  /// or with the accumulating process call into zeroed outputs for plug-ins that
  /// cannot replace. Advances the transport. The arrays must hold at least
  /// NumInputs() and NumOutputs() buffers of `frames` samples.
  void ProcessFloat(float** inputs, float** outputs, int frames) override;
  /// Same with processDoubleReplacing; only when CanProcessDouble().
  void ProcessDouble(double** inputs, double** outputs, int frames) override;

  bool CanProcessDouble() const override;
  bool HasProgramChunks() const;

  int NumInputs() const override { return mEffect->numInputs; }
  int NumOutputs() const override { return mEffect->numOutputs; }
  int NumParams() const override { return mEffect->numParams; }
  int NumPrograms() const { return mEffect->numPrograms; }
  int32_t UniqueId() const { return mEffect->uniqueID; }
  int32_t Version() const { return mEffect->version; }
  int32_t Flags() const { return mEffect->flags; }
  const char* Format() const override { return "VST2"; }
  /// The symbol the effect was created through ("VSTPluginMain" or "main").
  std::string EntryPoint() const override { return mEntryPoint; }
  const std::string& Path() const { return mPath; }

  // Texts the plug-in reports, each read into a zeroed 256-byte buffer.
  std::string EffectName() override;
  std::string VendorString() override;
  std::string ParamName(int index) override;
  std::string ParamLabel(int index) override;
  std::string ParamDisplay(int index) override;
  /// The display text the parameter would show at `normalized`, asked through the
  /// vendor-specific value-formatting request (index 7), which changes nothing in the
  /// plug-in; empty when the plug-in does not answer it.
  std::string ParamDisplayAt(int index, double normalized) override;
  std::string ProgramName();

  /// getParameter and setParameter: the interface's values are single precision.
  double GetParameter(int index) override;
  void SetParameter(int index, double value) override;
  /// Sends `text` through effString2Parameter; answers whether the plug-in took it.
  bool SetParameterFromText(int index, const std::string& text) override;
  /// effString2Parameter, getParameter, then setParameter with the value read before.
  bool NormalizedFromText(int index, const std::string& text, double& normalized) override;
  /// Each curve's value at sample 0 through setParameter now; before every block, the value at
  /// the block's first sample, when it differs (in single precision) from the value sent last.
  void SetAutomation(std::vector<AutomationCurve> curves) override;

  int GetProgram();
  void SetProgram(int index);
  void SetProgramName(const std::string& name);

  /// The plug-in's program (isProgram) or bank chunk; empty when it gives none.
  std::vector<uint8_t> GetChunk(bool isProgram);
  /// Answers whether the plug-in accepted the chunk.
  bool SetChunk(bool isProgram, const std::vector<uint8_t>& chunk);

  /// effVendorSpecific with the given arguments (`opt` in single precision); answers the
  /// plug-in's answer.
  int64_t VendorRequest(int32_t tag, int64_t value, void* ptr, double opt) override;

  /// The effect record, for calls the host does not wrap (and for tests).
  AEffect* Effect() const { return mEffect; }

  /// The host's transport as the plug-in last could read it.
  const kantele::vst2::VstTimeInfo& TimeInfo() const { return mTime; }

  /// The callback handed to the entry point. Public so tests and diagnostics can
  /// call it as a plug-in would.
  static kantele::vst2::VstIntPtr KANTELE_VST_CALL HostCallback(AEffect* effect, int32_t opcode,
                                                                int32_t index,
                                                                kantele::vst2::VstIntPtr value,
                                                                void* ptr, float opt);

 private:
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  std::string ReadText(int32_t opcode, int32_t index);
  kantele::vst2::VstIntPtr OnHostCall(int32_t opcode, int32_t index, kantele::vst2::VstIntPtr value,
                                      void* ptr, float opt);
  void UpdateTime();
  void DeliverAutomation();

  std::string mPath;
  std::string mEntryPoint;
  void* mLibrary = nullptr;
  AEffect* mEffect = nullptr;
  HostSettings mSettings;
  bool mOpen = false;
  bool mResumed = false;
  int64_t mPosition = 0;  // samples processed since Resume
  bool mFirstBlock = true;
  kantele::vst2::VstTimeInfo mTime{};
  std::vector<AutomationCurve> mCurves;
  std::vector<float> mSent;  // per curve, the value setParameter sent last
};

}  // namespace render
}  // namespace tolvane
