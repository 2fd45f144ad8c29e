#include "render/ChannelPlan.h"

#include <algorithm>

namespace tolvane {
namespace render {

int ChannelPlan::BufferCount() const {
  return std::max({1, fileChannels, pluginInputs, pluginOutputs});
}

ChannelPlan ChannelPlan::Make(int fileChannels, int inputs, int outputs, bool monoAccepted) {
  ChannelPlan plan;
  plan.fileChannels = std::max(1, fileChannels);
  plan.pluginInputs = std::max(0, inputs);
  plan.pluginOutputs = std::max(0, outputs);
  plan.inputSource.assign(static_cast<size_t>(plan.pluginInputs), -1);
  for (int i = 0; i < plan.pluginInputs && i < plan.fileChannels; ++i) plan.inputSource[i] = i;

  if (plan.fileChannels == 1 && plan.pluginInputs >= 2 && !monoAccepted) {
    plan.inputSource[1] = 0;
    plan.notes.push_back(
        "the plug-in refused a mono arrangement: the mono input feeds its "
        "first two inputs and its first output is written");
  }
  if (plan.fileChannels > plan.pluginInputs && plan.pluginInputs > 0) {
    const std::string first = std::to_string(plan.pluginInputs + 1);
    const std::string last = std::to_string(plan.fileChannels);
    plan.notes.push_back("the plug-in has " + std::to_string(plan.pluginInputs) + " input(s): " +
                         (first == last ? "file channel " + first + " is"
                                        : "file channels " + first + " to " + last + " are") +
                         " not processed");
  }
  if (plan.pluginInputs == 0) {
    plan.notes.push_back("the plug-in has no inputs: the input file is not processed");
  }
  plan.outputChannels = std::min(plan.fileChannels, plan.pluginOutputs);
  if (plan.outputChannels > 0 && plan.outputChannels < plan.fileChannels) {
    plan.notes.push_back("the plug-in has " + std::to_string(plan.pluginOutputs) +
                         " output(s): the output file has " + std::to_string(plan.outputChannels) +
                         " channel(s)");
  }
  return plan;
}

}  // namespace render
}  // namespace tolvane
