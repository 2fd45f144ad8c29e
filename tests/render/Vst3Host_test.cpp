// The VST 3 host in-process, with third-party plug-ins from Debian's zam-plugins: how it
// finds the module and the controller, what it hands the processor (queued parameter values,
// the transport) and that processing allocates nothing. What each command-line option does
// with a VST 3 plug-in is tested through the executable (RenderThirdParty_test.cpp).

#include "render/Vst3Host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ToolRunner.h"
#include "render/RenderError.h"
#include "support/AllocTrap.h"

namespace tolvane {
namespace render {
namespace {

namespace v = kantele::vst3;

const std::string kVst3Dir = "/usr/lib/vst3";
const std::string kAutoSat = kVst3Dir + "/ZamAutoSat.vst3";  // mono, no visible parameters
const std::string kComp = kVst3Dir + "/ZamCompX2.vst3";      // stereo and a side chain
const std::string kCompModule = kComp + "/Contents/x86_64-linux/ZamCompX2.so";

class Vst3HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kComp.c_str(), R_OK) != 0) GTEST_SKIP() << kComp << " is not installed";
  }

  int Find(Vst3Host& host, const std::string& title) {
    for (int i = 0; i < host.NumParams(); ++i) {
      if (host.ParamName(i) == title) return i;
    }
    ADD_FAILURE() << "no parameter " << title;
    return 0;
  }
};

TEST(Vst3HostPathTest, RecognisesBundlesAndTheModulesInside) {
  const struct {
    const char* path;
    bool vst3;
  } cases[] = {
      {"/usr/lib/vst3/A.vst3", true},
      {"/usr/lib/vst3/A.vst3/", true},
      {"A.vst3", true},
      {"/x/A.vst3/Contents/x86_64-linux/A.so", true},
      {"/usr/lib/vst3/A.so", false},
      {"/usr/lib/vst/A-vst.so", false},
      {"/x/A.vst3x/A.so", false},
      {"vst3", false},
  };
  for (const auto& c : cases) EXPECT_EQ(Vst3Host::IsVst3Path(c.path), c.vst3) << c.path;
}

TEST_F(Vst3HostTest, SeparateControllerIsCreatedConnectedAndListsVisibleParameters) {
  Vst3Host host(kCompModule);
  EXPECT_EQ(host.EffectName(), "ZamCompX2");
  EXPECT_FALSE(host.ControllerIsComponent());
  EXPECT_TRUE(host.Connected());
  // Hidden parameters (the module's buffer size, rate, program) are left out.
  ASSERT_GT(host.NumParams(), 0);
  EXPECT_EQ(host.ParamName(0), "Attack");
  EXPECT_EQ(host.ParamLabel(0), "ms");
}

TEST_F(Vst3HostTest, BusesAreOfferedStereoOrMonoAndListedBusAfterBus) {
  Vst3Host comp(kComp);
  comp.Open(HostSettings{});
  EXPECT_EQ(comp.NumInputs(), 3);  // the stereo main bus, then the mono side chain
  EXPECT_EQ(comp.NumOutputs(), 2);
  EXPECT_FALSE(comp.OfferMonoArrangement());
  EXPECT_EQ(comp.NumInputs(), 3);  // refused: stereo again

  if (access(kAutoSat.c_str(), R_OK) != 0) GTEST_SKIP() << kAutoSat << " is not installed";
  Vst3Host autoSat(kAutoSat);
  autoSat.Open(HostSettings{});
  EXPECT_EQ(autoSat.NumInputs(), 1);
  EXPECT_EQ(autoSat.NumParams(), 0);
  EXPECT_TRUE(autoSat.OfferMonoArrangement());
}

// Values set before Resume reach the controller at once and the processor in the first block
// only, the latest value per parameter.
TEST_F(Vst3HostTest, ParameterValuesGoWithTheFirstBlockOnly) {
  Vst3Host host(kComp);
  host.Open(HostSettings{});
  const int threshold = Find(host, "Threshold");
  const int makeup = Find(host, "Makeup");
  ASSERT_TRUE(host.SetParameterFromText(threshold, "-40"));
  ASSERT_TRUE(host.SetParameterFromText(threshold, "-30"));
  host.SetParameter(makeup, 0.2);
  EXPECT_EQ(host.GetParameter(threshold), 0.625);  // -30 dB of -80 .. 0
  EXPECT_EQ(host.ParamDisplay(threshold), "-30.000000");
  EXPECT_EQ(host.ParamDisplayAt(threshold, 0.0), "-80.000000");
  EXPECT_THROW(host.SetParameter(Find(host, "Gain Reduction"), 0.5), RenderError);  // read-only
  double normalized = -1.0;
  ASSERT_TRUE(host.NormalizedFromText(threshold, "-40", normalized));
  EXPECT_EQ(normalized, 0.5);
  EXPECT_EQ(host.GetParameter(threshold), 0.625);  // unchanged
  // A curve with more corners in one block than a queue holds beside the first value.
  std::vector<AutomationCurve::Corner> dense;
  for (int64_t sample = 0; sample < v::ParamValueQueue::kMaxPoints - 1; ++sample) {
    dense.push_back({sample, 0.5});
  }
  EXPECT_THROW(host.SetAutomation({AutomationCurve(makeup, dense)}), RenderError);

  host.Resume();
  v::ParameterChanges* changes = host.PendingChanges();
  ASSERT_EQ(changes->getParameterCount(), 2);
  const struct {
    int index;
    double value;
  } expected[] = {{threshold, 0.625}, {makeup, 0.2}};
  for (int q = 0; q < 2; ++q) {
    v::IParamValueQueue* queue = changes->getParameterData(q);
    EXPECT_EQ(queue->getParameterId(), host.ParamId(expected[q].index));
    ASSERT_EQ(queue->getPointCount(), 1);
    int32_t offset = -1;
    double value = -1.0;
    ASSERT_EQ(queue->getPoint(0, offset, value), v::kResultOk);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(value, expected[q].value);
  }
  test::PlanarBuffers silence(3, 64);
  host.ProcessFloat(silence.Get(), silence.Get(), 64);
  EXPECT_EQ(changes->getParameterCount(), 0);
  host.Suspend();
}

TEST_F(Vst3HostTest, ProcessingRunsTheTransportAndAllocatesNothing) {
  Vst3Host host(kComp);
  host.Open(test::TransportSettings());
  // Automation in every block: a ramp, a step and corners beyond the render.
  host.SetAutomation({AutomationCurve(Find(host, "Threshold"),
                                      {{100, 0.2}, {60000, 0.7}, {60000, 0.1}, {900000, 0.5}})});
  host.Resume();
  test::PlanarBuffers in(3, 24000, 0.25f), out(3, 24000);
  // The contexts are kept in storage made before the trap is armed, and checked after.
  const int frames[] = {24000, 123};
  std::vector<v::ProcessContext> contexts(30);
  long allocations = 0;
  {
    kantele::test::ScopedAllocTrap trap;
    for (size_t block = 0; block < contexts.size(); ++block) {
      host.ProcessFloat(in.Get(), out.Get(), frames[block == 29 ? 1 : 0]);
      contexts[block] = host.Context();
    }
    allocations = trap.Allocations();
  }
  EXPECT_EQ(allocations, 0);
  const uint32_t required = v::kPlaying | v::kProjectTimeMusicValid | v::kTempoValid |
                            v::kBarPositionValid | v::kTimeSigValid;
  for (const test::BarStart& b : test::kBarStarts) {
    EXPECT_EQ(contexts[b.block].barPositionMusic, b.bar) << b.block;
  }
  for (size_t block = 0; block < contexts.size(); ++block) {
    SCOPED_TRACE(block);
    const v::ProcessContext& context = contexts[block];
    const int64_t position = 24000 * static_cast<int64_t>(block);
    EXPECT_EQ(context.projectTimeSamples, position);
    EXPECT_EQ(context.continousTimeSamples, position);
    EXPECT_EQ(context.sampleRate, 48000.0);
    EXPECT_EQ(context.tempo, 90.0);
    EXPECT_DOUBLE_EQ(context.projectTimeMusic, 0.75 * static_cast<double>(block));
    EXPECT_EQ(context.timeSigNumerator, 4);
    EXPECT_EQ(context.timeSigDenominator, 4);
    EXPECT_EQ(context.state & required, required);
  }
  host.Suspend();
}

}  // namespace
}  // namespace render
}  // namespace tolvane
