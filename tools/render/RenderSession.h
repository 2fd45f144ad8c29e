#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {
namespace render {

/// Everything the command line asks for.
struct RenderOptions {
  std::string input;                  ///< empty: render the built-in demo material
  std::string output;                 ///< empty: do not render (only with listParams or savePreset)
  std::string plugin;                 ///< empty: PluginLocator::DefaultPlugin()
  std::vector<std::string> settings;  ///< NAME=VALUE, applied in order
  std::string preset;                 ///< .fxp to apply
  std::string bank;                   ///< .fxb to apply (before the preset)
  std::string savePreset;             ///< .fxp to write once everything is applied
  std::string format;                 ///< output sample format name; empty keeps the input's
  /// NAME=TIME:VALUE,TIME:VALUE,..., one per parameter, applied after the settings
  std::vector<std::string> automations;
  bool listParams = false;
  bool doublePrecision = false;
  bool offline = false;
  bool hasSeed = false;
  uint64_t seed = 0;  ///< only the low 32 bits reach the plug-in
  int blockSize = 512;
  double tempo = 120.0;
};

/// One run of tolvane-render: opens the input (or synthesizes the demo), loads
/// the plug-in (through Vst3Host for a `.vst3` bundle or a module inside one,
/// Vst2Host otherwise) and drives it as a host does (open, rate, block size, mono
/// arrangement, precision, bank, preset, settings, automation, resume, seed,
/// blocks, suspend, close), writes the output under a temporary name and prints a
/// summary on stdout. Program and bank files are refused for a VST3 plug-in
/// before it is loaded. Warnings and notes go to stderr. [main-thread]
class RenderSession {
 public:
  explicit RenderSession(RenderOptions options);

  /// Runs; answers kExitOk or throws RenderError with the exit code of the failure.
  int Run();

 private:
  RenderOptions mOptions;
};

}  // namespace render
}  // namespace tolvane
