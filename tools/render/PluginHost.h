#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/AutomationCurve.h"

namespace tolvane {
namespace render {

/// What the host tells a plug-in about its environment.
struct HostSettings {
  double sampleRate = 48000.0;
  int blockSize = 512;
  double tempo = 120.0;
  bool offline = false;  ///< report offline processing instead of realtime
};

/// Where the host's transport stands: it runs from sample 0 at the set tempo, in 4/4.
struct TransportPosition {
  double quarterNotes = 0.0;  ///< musical position of the sample
  double barStart = 0.0;      ///< musical position of the start of its bar

  /// The position of sample `samples` (counted from the start of processing). [any-thread]
  static TransportPosition At(int64_t samples, const HostSettings& settings);
};

/// One plug-in loaded and driven as a host drives it, whatever its format: what a render
/// session and the processing loop ask of a plug-in. Each format's host (Vst2Host, Vst3Host)
/// loads the plug-in in its constructor and unloads it in its destructor.
///
/// The call order is the one a session follows: Open; OfferMonoArrangement and
/// SetProcessPrecision (before Resume); parameter reads and writes, SetAutomation; Resume;
/// VendorRequest and the Process calls; Suspend. Parameters are numbered 0 .. NumParams()-1 in the
/// order the plug-in lists them, and their values are normalised to 0..1.
///
/// Every method is [main-thread]: the renderer has no other thread. ProcessFloat and
/// ProcessDouble do not allocate; the others may.
class PluginHost {
 public:
  virtual ~PluginHost() = default;

  /// Tells the plug-in the rate and block size, and connects its default channels.
  virtual void Open(const HostSettings& settings) = 0;

  /// Offers one input and one output channel; answers whether the plug-in accepted them.
  virtual bool OfferMonoArrangement() = 0;
  /// Whether ProcessDouble may be used.
  virtual bool CanProcessDouble() const = 0;
  /// Tells the plug-in which precision it will process in.
  virtual void SetProcessPrecision(bool doublePrecision) = 0;

  /// Starts processing; the transport starts at sample 0. Parameter values set before are in
  /// effect from the first processed block on.
  virtual void Resume() = 0;
  /// Stops processing (nothing happens when it is not resumed).
  virtual void Suspend() = 0;

  /// Processes one block of `frames` (at most the block size) and advances the transport.
  /// The arrays hold at least NumInputs() and NumOutputs() buffers of `frames` samples.
  virtual void ProcessFloat(float** inputs, float** outputs, int frames) = 0;
  /// Same in double precision; only when CanProcessDouble().
  virtual void ProcessDouble(double** inputs, double** outputs, int frames) = 0;

  /// Channel counts: final once resumed.
  virtual int NumInputs() const = 0;
  virtual int NumOutputs() const = 0;
  virtual int NumParams() const = 0;

  /// The plug-in's name and vendor as it reports them.
  virtual std::string EffectName() = 0;
  virtual std::string VendorString() = 0;
  /// The plug-in format ("VST2", "VST3") and the symbol the plug-in was created through.
  virtual const char* Format() const = 0;
  virtual std::string EntryPoint() const = 0;

  virtual std::string ParamName(int index) = 0;
  /// The unit the display text is in ("dB", "%"); may be empty.
  virtual std::string ParamLabel(int index) = 0;
  /// The text the plug-in shows for the current value.
  virtual std::string ParamDisplay(int index) = 0;
  /// The text the plug-in would show at `normalized`, changing nothing; empty when it cannot
  /// say.
  virtual std::string ParamDisplayAt(int index, double normalized) = 0;
  virtual double GetParameter(int index) = 0;
  virtual void SetParameter(int index, double normalized) = 0;
  /// Sets a parameter from a value in its units, parsed by the plug-in; answers whether the
  /// plug-in took it.
  virtual bool SetParameterFromText(int index, const std::string& text) = 0;
  /// The normalised value that `text`, a value in the parameter's units, stands for as the
  /// plug-in parses it, in `normalized`; false when the plug-in does not accept the text. The
  /// parameter is left as it was (VST3 asks the controller, which changes nothing; a VST2
  /// plug-in has no such request: the text is set, the value read back and the value before
  /// set again, exact for plug-ins that keep normalised values, to the interface's single
  /// precision for the others).
  virtual bool NormalizedFromText(int index, const std::string& text, double& normalized) = 0;

  /// Timed values for the render, one curve per parameter, replacing any set before. Each
  /// parameter takes its curve's value at sample 0 at once, as SetParameter does, and every
  /// processed block carries the curve as the format's hosts deliver automation: VST2 calls
  /// setParameter before the block with the value at its first sample (when that value
  /// changed); VST3 puts AutomationCurve::ForEachBlockPoint's points into the block's parameter
  /// changes, at their sample offsets. Positions count from the first sample processed after
  /// Resume. Call after Open, before Resume. Throws RenderError(kExitUsage) for a curve the
  /// format cannot carry (a read-only VST3 parameter; more points in one block than a VST3
  /// queue holds).
  virtual void SetAutomation(std::vector<AutomationCurve> curves) = 0;

  /// The plug-in vendor's private request `tag` with its arguments; answers the plug-in's
  /// answer, 0 from a plug-in that knows no such requests.
  virtual int64_t VendorRequest(int32_t tag, int64_t value, void* ptr, double opt) = 0;

 protected:
  /// dlopen(RTLD_NOW | RTLD_LOCAL) of the plug-in module `file`; a name without a slash is a
  /// file in the current folder, not a library to search for. Throws RenderError(kExitPlugin)
  /// with dlopen's text, naming the plug-in as `shown`.
  static void* OpenLibrary(const std::string& file, const std::string& shown);
};

}  // namespace render
}  // namespace tolvane
