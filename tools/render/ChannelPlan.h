#pragma once

#include <string>
#include <vector>

namespace tolvane {
namespace render {

/// How a file's channels meet a plug-in's inputs and outputs.
///
/// The file's channels feed the plug-in's first inputs in order; inputs beyond
/// them get silence. The output holds the file's channel count, or the plug-in's
/// output count when that is smaller. A mono file asks for a mono arrangement:
/// when the plug-in accepts it, one input and one output are used; when a plug-in
/// with two or more inputs refuses, the mono signal feeds both of its first two
/// inputs and the first output is written.
///
/// The host owns `BufferCount()` buffers for inputs and as many for outputs, at
/// least every count involved, so a plug-in that reads all its inputs and
/// writes all its outputs stays within the host's memory.
struct ChannelPlan {
  int fileChannels = 0;
  int pluginInputs = 0;
  int pluginOutputs = 0;
  /// For each plug-in input, the file channel it receives, or -1 for silence.
  std::vector<int> inputSource;
  /// Channels written to the output: the plug-in's first outputs.
  int outputChannels = 0;
  /// Notes for the user about channels dropped or duplicated.
  std::vector<std::string> notes;

  int BufferCount() const;

  /// The plan for a file of `fileChannels` (at least 1) through a plug-in with
  /// `inputs` and `outputs`; `monoAccepted` says whether the plug-in accepted a
  /// mono arrangement (only read for a mono file). A plug-in without outputs
  /// gives outputChannels 0, which the caller refuses.
  static ChannelPlan Make(int fileChannels, int inputs, int outputs, bool monoAccepted);
};

}  // namespace render
}  // namespace tolvane
