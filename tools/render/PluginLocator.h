#pragma once

#include <string>
#include <vector>

namespace tolvane {
namespace render {

/// Where tolvane-render finds Tolvane.so when no --plugin is given. The
/// candidates, in order:
///  1. <executable's directory>/../vst/Tolvane.so: the build tree, where the
///     executable is built into bin/ beside the plug-in's vst/;
///  2. <executable's directory>/../lib/vst/Tolvane.so: an installed prefix;
///  3. the plug-in's path in the build tree the executable was compiled in;
///  4. $HOME/.vst/Tolvane.so.
/// The executable's directory comes from /proc/self/exe. [main-thread]
class PluginLocator {
 public:
  struct Candidate {
    std::string path;
    const char* where;  ///< what the place is, for --help
  };

  /// The candidates, in order (those whose parts are unknown are left out).
  static std::vector<Candidate> Candidates();

  /// The first candidate that exists. Throws RenderError(kExitPlugin) naming
  /// every path tried when none does.
  static std::string DefaultPlugin();
};

}  // namespace render
}  // namespace tolvane
