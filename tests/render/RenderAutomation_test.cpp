// tolvane-render's --automate on Tolvane, through the VST2 module and, where this tree builds
// it, the VST3 bundle: the same behaviour asked of both formats, and the measurements of how
// cleanly the effect follows a curve (printed as "[ measured ]" lines).

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "OffToneEnergy.h"
#include "ToolRunner.h"

namespace tolvane {
namespace render {
namespace {

using namespace test;  // the tool runner and the audio file helpers

constexpr int kRate = 48000;
constexpr double kToneHz = 1000.0;

struct PluginFormat {
  const char* name;
  const char* plugin;
};

void PrintTo(const PluginFormat& format, std::ostream* os) { *os << format.name; }

std::vector<PluginFormat> Formats() {
  std::vector<PluginFormat> formats = {{"VST2", TOLVANE_PLUGIN}};
#ifdef TOLVANE_VST3_BUNDLE
  formats.push_back({"VST3", TOLVANE_VST3_BUNDLE});
#endif
  return formats;
}

// One channel of `a` from `first` for `count` frames (to its end when count is 0).
std::vector<double> Stretch(const Audio& a, int64_t first, int64_t count = 0) {
  std::vector<double> channel;
  const int64_t end = count > 0 ? std::min(a.frames, first + count) : a.frames;
  for (int64_t i = first; i < end; ++i) channel.push_back(a.samples[static_cast<size_t>(i) * 2]);
  return channel;
}

double LargestStep(const std::vector<double>& x) {
  double step = 0.0;
  for (size_t i = 1; i < x.size(); ++i) step = std::max(step, std::fabs(x[i] - x[i - 1]));
  return step;
}

double RmsDb(const std::vector<double>& x) {
  double sum = 0.0;
  for (double s : x) sum += s * s;
  return 10.0 * std::log10(sum / static_cast<double>(x.size()));
}

class AutomationRenderTest : public ::testing::TestWithParam<PluginFormat> {
 protected:
  void SetUp() override {
    if (!TOLVANE_PLUGIN_BUILT) GTEST_SKIP() << "this tree does not build Tolvane.so";
    ASSERT_EQ(access(GetParam().plugin, R_OK), 0) << GetParam().plugin << " was not built";
    ASSERT_FALSE(mDir.Path().empty());
  }

  // A stereo 1 kHz sine at -12 dBFS, 32-bit float, `seconds` long.
  std::string Tone(double seconds) {
    const std::string path = mDir.File("tone.wav");
    SF_INFO info = {};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    const int64_t frames = std::llround(seconds * kRate);
    const double amplitude = std::pow(10.0, -12.0 / 20.0);
    std::vector<double> samples;
    for (int64_t i = 0; i < frames; ++i) {
      const double s = amplitude * std::sin(2.0 * 3.141592653589793 * kToneHz * i / kRate);
      samples.insert(samples.end(), {s, s});
    }
    if (f) sf_writef_double(f, samples.data(), frames);
    sf_close(f);
    return path;
  }

  // Renders `input` with `options` (seeded, 512-frame blocks) into `name`; empty on failure.
  Audio Render(const std::string& input, std::vector<std::string> options,
               const std::string& name = "out.wav") {
    options.insert(options.begin(), {"--plugin", GetParam().plugin, "--seed", "1"});
    options.insert(options.end(), {"--block", "512", input, mDir.File(name)});
    const ToolResult r = RunTool(options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0 ? ReadAudio(mDir.File(name)) : Audio{};
  }

  void Report(const std::string& what, double value, const char* unit) {
    std::printf("[ measured ] %s %s: %.2f %s\n", GetParam().name, what.c_str(), value, unit);
    RecordProperty(what, std::to_string(value));
  }

  TempDir mDir;
};

TEST_P(AutomationRenderTest, MalformedListsAndRefusedNamesAreUsageErrors) {
  const std::string in = Tone(0.05);
  const std::string out = mDir.File("out.wav");
  const auto automate = [&](const char* list) {
    return std::vector<std::string>{"--automate", list, in, out};
  };
  ExpectFailures(
      {
          {automate("Wet=0:10,0.1"), 2, "is not TIME:VALUE"},
          {automate("Wet=0.2:10,0.1:30"), 2, "times must ascend"},
          {automate("Wet=-0.1:10"), 2, "negative time"},
          {automate("Wet=0:1.5n"), 2, "0..1"},
          {automate("Drive=0:10"), 2, "unknown parameter 'Drive'"},
          {{"--automate", "Wet=0:10", "--automate", "wet=1:20", in, out}, 2, "automated twice"},
      },
      mDir, {"--plugin", GetParam().plugin});
}

// A curve that never moves leaves the plug-in where --set puts it, whatever its corners.
TEST_P(AutomationRenderTest, ConstantAutomationRendersAsSet) {
  const std::string in = Tone(0.1);
  ASSERT_FALSE(Render(in, {"--set", "Output Gain=150"}, "set.wav").samples.empty());
  const std::vector<uint8_t> set = ReadBytes(mDir.File("set.wav"));
  for (const char* list : {"Output Gain=0:150", "Output Gain=0.03:150,0.05:150,0.05:0.75n"}) {
    SCOPED_TRACE(list);
    Render(in, {"--automate", list});
    EXPECT_EQ(ReadBytes(mDir.File("out.wav")), set);
  }
}

// A gain ramp of 50 ms over a steady tone: what the parameter's steps spread beyond the tone
// and its harmonics stays 60 dB below the tone, and the render ends at the level of one set to
// the ramp's end. The still render measures the floor.
TEST_P(AutomationRenderTest, GainRampsSpreadNothingAroundTheTone) {
  struct Case {
    const char* what;
    const char* automation;  ///< nullptr: no automation
    const char* end;         ///< the --set of the ramp's end
  };
  const Case cases[] = {
      {"still", nullptr, "Output Gain=100"},
      {"Output Gain ramp 100 % to 20 %", "Output Gain=0.2:100,0.25:20", "Output Gain=20"},
      {"Input Gain ramp 32 % to 120 %", "Input Gain=0.2:32,0.25:120", "Input Gain=120"},
  };
  const std::string in = Tone(0.4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> options;
    if (c.automation) options = {"--automate", c.automation};
    const Audio ramp = Render(in, options);
    const Audio end = Render(in, {"--set", c.end}, "end.wav");
    ASSERT_EQ(ramp.frames, 19200);
    ASSERT_EQ(end.frames, 19200);
    // 8192 samples centred on the ramp (0.2 s to 0.25 s).
    const double dbc = OffToneEnergyDbc(Stretch(ramp, 10800 - 4096, 8192), kRate, kToneHz, 200.0);
    Report(c.what, dbc, "dBc");
    EXPECT_LE(dbc, -60.0);
    EXPECT_NEAR(RmsDb(Stretch(ramp, 16800)), RmsDb(Stretch(end, 16800)), 0.05);
  }
}

// Bypass on at 0.149 s and off at 0.251 s over a steady tone (at the defaults the effect
// changes its level and shape): no step between neighbouring samples is larger than the tone's
// own largest step, processed or dry.
TEST_P(AutomationRenderTest, BypassToggleMakesNoJump) {
  const std::string in = Tone(0.4);
  const Audio out = Render(in, {"--automate", "Bypass=0.149:0,0.149:1,0.251:1,0.251:0"});
  ASSERT_EQ(out.frames, 19200);
  const Audio dry = ReadAudio(in);
  // Processed from 0.05 s to 0.133 s, before the block that holds the first toggle.
  const double tone = std::max(LargestStep(Stretch(out, 2400, 4000)), LargestStep(Stretch(dry, 0)));
  const double toggled = LargestStep(Stretch(out, 2400));
  Report("Bypass toggle: largest step / tone's largest step", toggled / tone, "");
  EXPECT_LE(toggled, tone);
  // Bypassed from 0.167 s to 0.217 s: the dry tone.
  EXPECT_NEAR(RmsDb(Stretch(out, 8000, 2400)), RmsDb(Stretch(dry, 8000, 2400)), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Formats, AutomationRenderTest, ::testing::ValuesIn(Formats()),
                         [](const ::testing::TestParamInfo<PluginFormat>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace render
}  // namespace tolvane
