// A channel-configuration text of any shape builds a frame whose slots, legal
// layouts and routing stay within bounds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kantele/IProcessor.h"

namespace {

class Frame : public kantele::IProcessor {
 public:
  using IProcessor::IProcessor;
  bool SendMidiMsg(const kantele::MidiMsg&) override { return true; }
};

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  kantele::ProcessorConfig config;
  config.mChannelIO = text.c_str();
  Frame frame(config);

  const int nIn = frame.MaxNChannels(kantele::kDirInput);
  const int nOut = frame.MaxNChannels(kantele::kDirOutput);
  Check(nIn >= 0 && nIn <= kantele::IProcessor::kMaxChannels);
  Check(nOut >= 0 && nOut <= kantele::IProcessor::kMaxChannels);
  for (int i = -1; i <= 3; ++i) frame.LegalIO(i, i);

  // Route one small block through every slot.
  constexpr int kFrames = 8;
  frame.SetBlockSize(kFrames);
  frame.ConnectChannels(kantele::kDirInput, 0, nIn, true);
  frame.ConnectChannels(kantele::kDirOutput, 0, nOut, true);
  std::vector<std::vector<float>> in(static_cast<size_t>(nIn), std::vector<float>(kFrames, 0.5f));
  std::vector<std::vector<float>> out(static_cast<size_t>(nOut), std::vector<float>(kFrames));
  std::vector<float*> inPtrs, outPtrs;
  for (auto& ch : in) inPtrs.push_back(ch.data());
  for (auto& ch : out) outPtrs.push_back(ch.data());
  frame.AttachFloatBuffers(kantele::kDirInput, inPtrs.data(), kFrames);
  frame.AttachFloatBuffers(kantele::kDirOutput, outPtrs.data(), kFrames);
  frame.ProcessFloatBuffers(kFrames);
  for (int i = 0; i < nOut; ++i) {
    // The default processing copies input i to output i, or writes silence.
    const float expected = i < nIn ? 0.5f : 0.0f;
    for (float v : out[static_cast<size_t>(i)]) Check(v == expected);
  }
  return 0;
}
