#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "render/ChannelPlan.h"
#include "render/LevelMeter.h"
#include "render/PluginHost.h"
#include "render/ProgressBar.h"

namespace tolvane {
namespace render {

/// The processing loop: reads blocks of interleaved frames, hands them to the
/// plug-in as planar buffers laid out by a ChannelPlan, and writes the outputs
/// it plans for, interleaved again.
///
/// The host's buffers (float or double, block size samples each, BufferCount()
/// of them for inputs and as many for outputs) are allocated once at
/// construction; the loop itself never allocates. Every input buffer is refilled
/// each block (so a plug-in that writes into its inputs cannot disturb the next
/// block) and every output buffer is cleared before the plug-in runs. The last,
/// partial block is processed with its real frame count. [main-thread]
class Renderer {
 public:
  /// Reads up to `frames` interleaved frames of the file's channels; answers the count.
  using ReadFn = std::function<int64_t(double* interleaved, int64_t frames)>;
  /// Writes `frames` interleaved frames of the plan's output channels.
  using WriteFn = std::function<void(const double* interleaved, int64_t frames)>;

  Renderer(PluginHost& host, const ChannelPlan& plan, int blockSize, bool doublePrecision);

  /// Processes until `read` answers 0, measuring levels into `inLevels` (the
  /// file's channels) and `outLevels` (the output channels). Answers the number
  /// of frames rendered. Throws RenderError(kExitInterrupted) when a cleanup
  /// signal arrives.
  int64_t Run(const ReadFn& read, const WriteFn& write, LevelMeter& inLevels, LevelMeter& outLevels,
              ProgressBar& progress);

 private:
  template <typename T>
  void ProcessBlock(std::vector<std::vector<T>>& in, std::vector<std::vector<T>>& out,
                    std::vector<T*>& inPtr, std::vector<T*>& outPtr, int frames);

  PluginHost& mHost;
  ChannelPlan mPlan;
  int mBlock;
  bool mDouble;
  std::vector<double> mReadBuffer;   // interleaved, file channels
  std::vector<double> mWriteBuffer;  // interleaved, output channels
  std::vector<std::vector<float>> mInF, mOutF;
  std::vector<std::vector<double>> mInD, mOutD;
  std::vector<float*> mInPtrF, mOutPtrF;
  std::vector<double*> mInPtrD, mOutPtrD;
};

}  // namespace render
}  // namespace tolvane
