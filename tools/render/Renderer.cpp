#include "render/Renderer.h"

#include <algorithm>
#include <type_traits>

#include "render/RenderError.h"
#include "render/StagedFile.h"

namespace tolvane {
namespace render {

namespace {

template <typename T>
void Allocate(std::vector<std::vector<T>>& buffers, std::vector<T*>& pointers, int count,
              int block) {
  buffers.assign(static_cast<size_t>(count), std::vector<T>(static_cast<size_t>(block), T(0)));
  pointers.clear();
  for (auto& b : buffers) pointers.push_back(b.data());
}

}  // namespace

Renderer::Renderer(PluginHost& host, const ChannelPlan& plan, int blockSize, bool doublePrecision)
    : mHost(host), mPlan(plan), mBlock(blockSize), mDouble(doublePrecision) {
  const int count = mPlan.BufferCount();
  mReadBuffer.assign(static_cast<size_t>(mBlock) * mPlan.fileChannels, 0.0);
  mWriteBuffer.assign(static_cast<size_t>(mBlock) * std::max(1, mPlan.outputChannels), 0.0);
  if (mDouble) {
    Allocate(mInD, mInPtrD, count, mBlock);
    Allocate(mOutD, mOutPtrD, count, mBlock);
  } else {
    Allocate(mInF, mInPtrF, count, mBlock);
    Allocate(mOutF, mOutPtrF, count, mBlock);
  }
}

template <typename T>
void Renderer::ProcessBlock(std::vector<std::vector<T>>& in, std::vector<std::vector<T>>& out,
                            std::vector<T*>& inPtr, std::vector<T*>& outPtr, int frames) {
  const size_t fileChannels = static_cast<size_t>(mPlan.fileChannels);
  for (size_t i = 0; i < in.size(); ++i) {
    T* dst = in[i].data();
    const int source = i < mPlan.inputSource.size() ? mPlan.inputSource[i] : -1;
    if (source < 0) {
      std::fill(dst, dst + frames, T(0));
    } else {
      for (int n = 0; n < frames; ++n) {
        dst[n] = static_cast<T>(
            mReadBuffer[static_cast<size_t>(n) * fileChannels + static_cast<size_t>(source)]);
      }
    }
    // The pointer arrays are the host's: restore them in case the plug-in changed one.
    inPtr[i] = dst;
  }
  for (size_t i = 0; i < out.size(); ++i) {
    std::fill(out[i].begin(), out[i].begin() + frames, T(0));
    outPtr[i] = out[i].data();
  }
  if constexpr (std::is_same<T, double>::value) {
    mHost.ProcessDouble(inPtr.data(), outPtr.data(), frames);
  } else {
    mHost.ProcessFloat(inPtr.data(), outPtr.data(), frames);
  }
  const size_t outChannels = static_cast<size_t>(mPlan.outputChannels);
  for (size_t c = 0; c < outChannels; ++c) {
    const T* src = out[c].data();
    for (int n = 0; n < frames; ++n) {
      mWriteBuffer[static_cast<size_t>(n) * outChannels + c] = static_cast<double>(src[n]);
    }
  }
}

int64_t Renderer::Run(const ReadFn& read, const WriteFn& write, LevelMeter& inLevels,
                      LevelMeter& outLevels, ProgressBar& progress) {
  int64_t done = 0;
  for (;;) {
    if (const int sig = StagedFile::Interrupted()) {
      throw RenderError(kExitInterrupted, "interrupted by signal " + std::to_string(sig));
    }
    const int64_t frames = read(mReadBuffer.data(), mBlock);
    if (frames <= 0) break;
    const int n = static_cast<int>(std::min<int64_t>(frames, mBlock));
    inLevels.Add(mReadBuffer.data(), n);
    if (mDouble) {
      ProcessBlock(mInD, mOutD, mInPtrD, mOutPtrD, n);
    } else {
      ProcessBlock(mInF, mOutF, mInPtrF, mOutPtrF, n);
    }
    outLevels.Add(mWriteBuffer.data(), n);
    write(mWriteBuffer.data(), n);
    done += n;
    progress.Update(done);
  }
  progress.Finish();
  return done;
}

}  // namespace render
}  // namespace tolvane
