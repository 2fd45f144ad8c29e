// The host in-process: the host callback's answers and the transport it reports while
// processing. (Loading and its failures are tested through the executable.)

#include "render/Vst2Host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "ToolRunner.h"

namespace tolvane {
namespace render {
namespace {

namespace v = kantele::vst2;

const char* const kEq = "/usr/lib/vst/3BandEQ-vst.so";  // exports only main

// The plug-in to load in-process: Tolvane when this tree builds it, else a third-party one.
std::string AnyPlugin() {
  if (TOLVANE_PLUGIN_BUILT && access(TOLVANE_PLUGIN, R_OK) == 0) return TOLVANE_PLUGIN;
  if (access(kEq, R_OK) == 0) return kEq;
  return "";
}

intptr_t Ask(Vst2Host& host, int32_t opcode, int32_t index = 0, intptr_t value = 0,
             void* ptr = nullptr) {
  return Vst2Host::HostCallback(host.Effect(), opcode, index, value, ptr, 0.0f);
}

TEST(Vst2HostTest, CallbackAnswersAsAHostDoes) {
  // Before an effect exists (a call from inside the entry point).
  EXPECT_EQ(Vst2Host::HostCallback(nullptr, v::audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
  EXPECT_EQ(Vst2Host::HostCallback(nullptr, v::audioMasterGetTime, 0, 0, nullptr, 0.0f), 0);

  const std::string path = AnyPlugin();
  if (path.empty()) GTEST_SKIP() << "no plug-in to load";
  for (bool offline : {false, true}) {
    Vst2Host host(path);
    HostSettings settings;
    settings.sampleRate = 44100.0;
    settings.blockSize = 256;
    settings.offline = offline;
    host.Open(settings);
    EXPECT_EQ(Ask(host, v::audioMasterVersion), 2400);
    EXPECT_EQ(Ask(host, v::audioMasterGetCurrentProcessLevel),
              offline ? v::kVstProcessLevelOffline : v::kVstProcessLevelRealtime);
    EXPECT_EQ(Ask(host, v::audioMasterGetSampleRate), 44100);
    EXPECT_EQ(Ask(host, v::audioMasterGetBlockSize), 256);
    EXPECT_EQ(Ask(host, v::audioMasterCurrentId), host.UniqueId());
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(Ask(host, v::audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "tolvane-render");
    EXPECT_EQ(Ask(host, v::audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Quellmark");
    char timeInfo[] = "sendVstTimeInfo", events[] = "receiveVstEvents", window[] = "sizeWindow";
    EXPECT_EQ(Ask(host, v::audioMasterCanDo, 0, 0, timeInfo), 1);
    EXPECT_EQ(Ask(host, v::audioMasterCanDo, 0, 0, events), 0);
    EXPECT_EQ(Ask(host, v::audioMasterCanDo, 0, 0, window), 0);
    EXPECT_EQ(Ask(host, v::audioMasterAutomate, 1, 0), 1);
    EXPECT_EQ(Ask(host, v::audioMasterIOChanged), 1);
    EXPECT_EQ(Ask(host, v::audioMasterWantMidi), 0);
    EXPECT_EQ(Ask(host, 12345), 0);
  }
}

TEST(Vst2HostTest, TransportAdvancesBlockByBlock) {
  const std::string path = AnyPlugin();
  if (path.empty()) GTEST_SKIP() << "no plug-in to load";
  Vst2Host host(path);
  host.Open(test::TransportSettings());
  host.Resume();
  const int channels = std::max(host.NumInputs(), host.NumOutputs());
  test::PlanarBuffers in(channels, 24000), out(channels, 24000);
  const auto* time = reinterpret_cast<const v::VstTimeInfo*>(Ask(host, v::audioMasterGetTime));
  ASSERT_EQ(time, &host.TimeInfo());
  const int required = v::kVstTransportPlaying | v::kVstPpqPosValid | v::kVstTempoValid |
                       v::kVstTimeSigValid | v::kVstBarsValid;
  // Blocks of half a second at 90 beats per minute: 0.75 beats each.
  int64_t position = 0;
  for (int block = 0; block < 30; ++block) {
    const int frames = block == 29 ? 123 : 24000;
    host.ProcessFloat(in.Get(), out.Get(), frames);
    // The record describes the block just processed, from its first sample.
    SCOPED_TRACE(block);
    EXPECT_EQ(time->samplePos, static_cast<double>(position));
    EXPECT_EQ(time->sampleRate, 48000.0);
    EXPECT_EQ(time->tempo, 90.0);
    EXPECT_DOUBLE_EQ(time->ppqPos, 0.75 * block);
    EXPECT_EQ(time->timeSigNumerator, 4);
    EXPECT_EQ(time->timeSigDenominator, 4);
    EXPECT_EQ(time->flags & required, required);
    EXPECT_EQ((time->flags & v::kVstTransportChanged) != 0, block == 0);
    for (const test::BarStart& b : test::kBarStarts) {
      if (b.block == block) {
        EXPECT_EQ(time->barStartPos, b.bar);
      }
    }
    position += frames;
  }
  host.Suspend();
}

// Automation reaches the plug-in before each block, at the value of the block's first sample;
// converting a text changes nothing.
TEST(Vst2HostTest, AutomationIsSetBeforeEachBlockAndTextsConvertWithoutChange) {
  if (!TOLVANE_PLUGIN_BUILT || access(TOLVANE_PLUGIN, R_OK) != 0) GTEST_SKIP() << "no Tolvane";
  Vst2Host host(TOLVANE_PLUGIN);
  host.Open(test::TransportSettings());
  const int wet = 1;
  const double before = host.GetParameter(wet);
  double normalized = -1.0;
  ASSERT_TRUE(host.NormalizedFromText(wet, "25", normalized));
  EXPECT_EQ(normalized, 0.25);
  EXPECT_EQ(host.GetParameter(wet), before);

  const AutomationCurve ramp(wet, {{30000, 0.1}, {60000, 0.7}});
  host.SetAutomation({ramp});
  EXPECT_FLOAT_EQ(host.GetParameter(wet), 0.1f);
  host.Resume();
  test::PlanarBuffers in(2, 24000), out(2, 24000);
  for (int64_t start : {0, 24000, 48000, 72000}) {
    host.ProcessFloat(in.Get(), out.Get(), 24000);
    EXPECT_FLOAT_EQ(host.GetParameter(wet), static_cast<float>(ramp.ValueAt(start))) << start;
  }
  host.Suspend();
}

}  // namespace
}  // namespace render
}  // namespace tolvane
