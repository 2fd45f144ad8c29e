// Program chunks through the module's dispatcher: taken from one instance, restored into
// another, and garbage of every short length.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "ModuleHost.h"

namespace kantele::test {
namespace {

using namespace vst2;

constexpr int kNumParams = 7;
constexpr VstInt32 kProgramChunk = 1;

std::vector<uint8_t> TakeProgramChunk(PluginInstance& p) {
  void* data = nullptr;
  const VstIntPtr size = p.Dispatch(effGetChunk, kProgramChunk, 0, &data);
  if (size <= 0 || !data) return {};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr GiveProgramChunk(PluginInstance& p, std::vector<uint8_t> bytes) {
  // An empty vector may have no storage; the host still passes a valid pointer.
  bytes.reserve(1);
  return p.Dispatch(effSetChunk, kProgramChunk, static_cast<VstIntPtr>(bytes.size()), bytes.data());
}

using StateTest = ModuleTest;

TEST_F(StateTest, AProgramChunkCarriesTheSoundToAnotherInstance) {
  PluginInstance source(mEntry), target(mEntry);
  ASSERT_TRUE(source.IsValid() && target.IsValid());
  source.Start(44100.f, 256);
  target.Start(44100.f, 256);
  // Values off every default, the switches flipped.
  const float settings[kNumParams] = {0.71f, 0.42f, 0.9f, 0.f, 0.f, 0.35f, 0.13f};
  for (int i = 0; i < kNumParams; ++i) source.SetParameter(i, settings[i]);

  const std::vector<uint8_t> chunk = TakeProgramChunk(source);
  ASSERT_EQ(chunk.size(), 64u);  // versioned header and one double per parameter
  EXPECT_EQ(GiveProgramChunk(target, chunk), 1);
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(target.GetParameter(i), source.GetParameter(i)) << i;
    EXPECT_EQ(target.Text(effGetParamDisplay, i), source.Text(effGetParamDisplay, i)) << i;
  }
  // Taking the chunk again from the restored instance gives the same bytes.
  EXPECT_EQ(TakeProgramChunk(target), chunk);

  ASSERT_EQ(source.Seed(5), 1);
  ASSERT_EQ(target.Seed(5), 1);
  const Stereo<float> in = TestSignal(3000, 44100.0);
  const Stereo<float> expected = source.Process(in, {256});
  EXPECT_EQ(target.Process(in, {256}), expected);

  // The sound differs from the defaults', so the comparison above compared restored state.
  PluginInstance untouched(mEntry);
  untouched.Start(44100.f, 256);
  ASSERT_EQ(untouched.Seed(5), 1);
  EXPECT_NE(untouched.Process(in, {256}), expected);
}

// Chunks a host could hand over from a damaged project: random bytes, a valid header followed
// by random bytes, and a valid header followed by the most hostile doubles.
std::vector<std::vector<uint8_t>> DamagedChunks(const std::vector<uint8_t>& header) {
  const double hostile[] = {std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            1e308,
                            -1e308,
                            std::numeric_limits<double>::denorm_min(),
                            -0.0};
  std::vector<std::vector<uint8_t>> chunks;
  for (size_t length = 0; length <= 100; ++length) {
    std::mt19937 random(static_cast<uint32_t>(length));
    std::vector<uint8_t> noise(length), headed(length), extreme(length);
    for (size_t i = 0; i < length; ++i) {
      noise[i] = static_cast<uint8_t>(random());
      headed[i] = i < header.size() ? header[i] : static_cast<uint8_t>(random());
      const size_t slot = i < header.size() ? 0 : (i - header.size()) / 8;
      uint8_t bytes[8];
      std::memcpy(bytes, &hostile[slot % (sizeof(hostile) / sizeof(hostile[0]))], 8);
      extreme[i] = i < header.size() ? header[i] : bytes[(i - header.size()) % 8];
    }
    chunks.push_back(noise);
    chunks.push_back(headed);
    chunks.push_back(extreme);
  }
  return chunks;
}

TEST_F(StateTest, DamagedProgramChunksNeverBreakTheInstance) {
  PluginInstance instance(mEntry);
  ASSERT_TRUE(instance.IsValid());
  instance.Start(48000.f, 64);
  const std::vector<uint8_t> valid = TakeProgramChunk(instance);
  ASSERT_GE(valid.size(), 8u);
  const std::vector<uint8_t> header(valid.begin(), valid.begin() + 8);
  const Stereo<float> in = TestSignal(64, 48000.0);

  int accepted = 0;
  for (const std::vector<uint8_t>& chunk : DamagedChunks(header)) {
    SCOPED_TRACE(testing::Message() << chunk.size() << " bytes");
    const VstIntPtr answer = GiveProgramChunk(instance, chunk);
    EXPECT_TRUE(answer == 0 || answer == 1) << answer;
    accepted += answer == 1 ? 1 : 0;
    for (int i = 0; i < kNumParams; ++i) {
      const float v = instance.GetParameter(i);
      EXPECT_TRUE(v >= 0.f && v <= 1.f) << "parameter " << i << " = " << v;
    }
    EXPECT_TRUE(AllWithin(instance.Process(in, {64}), 1.0));
  }
  // Full-length chunks are among them: some must have been taken, or nothing was exercised.
  EXPECT_GT(accepted, 0);
  // And the instance still takes a good chunk afterwards.
  EXPECT_EQ(GiveProgramChunk(instance, valid), 1);
  EXPECT_EQ(TakeProgramChunk(instance), valid);
}

}  // namespace
}  // namespace kantele::test
