#pragma once

// A plug-in on the format adapter this program is built for (kantele/PluginAdapter.h), with the
// effect's seven parameters, that records what the one host path does: every notification
// with what was stored and queued for the editor at that moment, and every block with the
// timed changes it was given. Recording never allocates while the reserved room lasts.

#include <vector>

#include "kantele/PluginAdapter.h"
#include "kantele/TestPlugin.h"

namespace kantele::test {

/// A notification of the effect: parameter, source, offset, the parameter's value and the
/// number of records waiting in the editor's queue when it came.
struct Notification {
  int mIdx, mSource, mOffset;
  double mStored;
  int mQueued;
};

/// A block as the effect processed it: its frames and its timed changes.
struct SeenBlock {
  int mFrames = 0;
  std::vector<ParamChange> mChanges;
};

class PathPlugin final : public IPluginAdapter {
 public:
  static Config MakeConfig() { return EffectLikeConfig(); }

  explicit PathPlugin(const InstanceInfo& info) : IPluginAdapter(info, MakeConfig()) {
    ConfigureEffectParams(*this);
    mNotifications.reserve(4096);
    mBlocks.reserve(256);
  }

  using IEditorDelegate::OnParamChange;
  void OnParamChange(int idx, EParamSource source, int offset) override {
    if (mNotifications.size() < mNotifications.capacity()) {
      mNotifications.push_back({idx, static_cast<int>(source), offset, GetParam(idx)->GetValue(),
                                mParamChangeFromProcessor.ElementsAvailable()});
    }
  }

  void ProcessBlock(Sample** inputs, Sample** outputs, int nFrames) override {
    if (mBlocks.size() < mBlocks.capacity()) {
      mBlocks.push_back({nFrames, {}});
      mBlocks.back().mChanges.assign(GetBlockParamChanges(),
                                     GetBlockParamChanges() + NBlockParamChanges());
    }
    IPluginAdapter::ProcessBlock(inputs, outputs, nFrames);
  }

  /// The records waiting in the editor's queue, emptied.
  std::vector<ParamValueRecord> DrainEditorQueue() {
    std::vector<ParamValueRecord> out;
    ParamValueRecord r;
    while (mParamChangeFromProcessor.Pop(r)) out.push_back(r);
    return out;
  }

  std::vector<Notification> mNotifications;
  std::vector<SeenBlock> mBlocks;
};

}  // namespace kantele::test
