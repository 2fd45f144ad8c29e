#pragma once

#include <string>
#include <vector>

#include "render/Vst2Host.h"

namespace tolvane {
namespace render {

/// Preset and bank files applied to, or taken from, a loaded plug-in.
///
/// A parameter program ('FxCk') is applied with setParameter (skipping values the
/// plug-in already reports, which the file's single precision could only
/// disturb) and its name with effSetProgramName; a chunk program ('FPCh') with effSetChunk (index
/// 1). A parameter bank ('FxBk') fills the plug-in's programs one by one (effSetProgram, name,
/// values) and ends on the bank's current program; a chunk bank ('FBCh') goes through effSetChunk
/// (index 0). Files made for another plug-in (fxID differing from the plug-in's unique ID) are
/// refused. [main-thread]
class PluginPresets {
 public:
  /// Applies a .fxp file. Throws RenderError(kExitPreset). Count mismatches
  /// (a file with more or fewer values than the plug-in has parameters) apply the
  /// common part and add a warning.
  static void LoadProgram(Vst2Host& host, const std::string& path,
                          std::vector<std::string>& warnings);

  /// Applies a .fxb file. Throws RenderError(kExitPreset).
  static void LoadBank(Vst2Host& host, const std::string& path, std::vector<std::string>& warnings);

  /// Writes the plug-in's current program to `path`: a chunk program when the
  /// plug-in keeps its programs as chunks (effFlagsProgramChunks), else its
  /// parameter values. Written under a temporary name and renamed when complete.
  /// Throws RenderError(kExitPreset).
  static void SaveProgram(Vst2Host& host, const std::string& path);

  /// The bytes of `path` (at most 256 MiB). Throws RenderError(kExitPreset).
  static std::vector<uint8_t> ReadFile(const std::string& path);
};

}  // namespace render
}  // namespace tolvane
