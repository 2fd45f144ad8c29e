#pragma once

#include <stdexcept>
#include <string>

namespace tolvane {
namespace render {

/// The exit codes of tolvane-render, one per kind of failure, so that scripts can
/// tell a bad command line from a bad file or a plug-in that does not load.
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,        ///< anything not covered below (e.g. a read error mid-file)
  kExitUsage = 2,          ///< command line, parameter name or value
  kExitInput = 3,          ///< the input file is missing or unreadable
  kExitOutput = 4,         ///< output format or writing the output
  kExitPlugin = 5,         ///< the plug-in does not load or cannot do what was asked
  kExitPreset = 6,         ///< a preset or bank file is unreadable, malformed or refused
  kExitInterrupted = 130,  ///< stopped by SIGINT, SIGTERM or SIGHUP
};

/// A failure that ends the program with its exit code and a message for stderr.
class RenderError : public std::runtime_error {
 public:
  RenderError(ExitCode code, const std::string& message)
      : std::runtime_error(message), mCode(code) {}

  ExitCode Code() const { return mCode; }

 private:
  ExitCode mCode;
};

}  // namespace render
}  // namespace tolvane
