#include "render/ChannelPlan.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvane {
namespace render {
namespace {

using Sources = std::vector<int>;

TEST(ChannelPlanTest, FileChannelsFeedTheFirstInputsAndOutputsFollowTheFile) {
  struct Case {
    int file, inputs, outputs;
    bool monoAccepted;
    Sources sources;
    int outputChannels, buffers;
    size_t notes;
  };
  const Case cases[] = {
      {2, 2, 2, false, {0, 1}, 2, 2, 0},          // stereo through stereo
      {1, 2, 2, true, {0, -1}, 1, 2, 0},          // mono arrangement accepted
      {1, 2, 2, false, {0, 0}, 1, 2, 1},          // refused: mono on both inputs
      {1, 1, 1, false, {0}, 1, 1, 0},             // mono plug-in
      {1, 1, 2, true, {0}, 1, 2, 0},              // mono in, stereo out
      {2, 1, 1, false, {0}, 1, 2, 2},             // stereo file, mono plug-in
      {2, 4, 2, false, {0, 1, -1, -1}, 2, 4, 0},  // side-chain inputs get silence
      {2, 2, 18, false, {0, 1}, 2, 18, 0},        // band outputs beyond the file's
      {6, 2, 2, false, {0, 1}, 2, 6, 2},          // surround file, stereo plug-in
      {2, 0, 1, false, {}, 1, 2, 2},              // generator: no inputs
      {2, 2, 0, false, {0, 1}, 0, 2, 0},          // no outputs: refused by the caller
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " ch, " << c.inputs << " in, " << c.outputs
                                    << " out, mono " << c.monoAccepted);
    const ChannelPlan plan = ChannelPlan::Make(c.file, c.inputs, c.outputs, c.monoAccepted);
    EXPECT_EQ(plan.inputSource, c.sources);
    EXPECT_EQ(plan.outputChannels, c.outputChannels);
    EXPECT_EQ(plan.BufferCount(), c.buffers);
    EXPECT_EQ(plan.notes.size(), c.notes);
  }
}

TEST(ChannelPlanTest, NotesNameTheChannelsConcerned) {
  const ChannelPlan plan = ChannelPlan::Make(6, 2, 2, false);
  ASSERT_EQ(plan.notes.size(), 2u);
  EXPECT_NE(plan.notes[0].find("file channels 3 to 6 are not processed"), std::string::npos)
      << plan.notes[0];
  EXPECT_NE(plan.notes[1].find("output file has 2 channel"), std::string::npos) << plan.notes[1];
}

}  // namespace
}  // namespace render
}  // namespace tolvane
