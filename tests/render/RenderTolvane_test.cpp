// End-to-end runs of the tolvane-render executable with the Tolvane.so built in this tree, and
// with its VST3 bundle where the tree builds one (TOLVANE_VST3_BUNDLE).

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ToolRunner.h"
#include "render/PresetFile.h"

namespace tolvane {
namespace render {
namespace {

using namespace test;  // the tool runner and the audio file helpers

// Tolvane's parameters as it reports them (names cut to 7 characters).
const char* const kNames[] = {"Input G", "Wet", "Tame", "React", "Bypass", "Output", "Bias"};

class TolvaneRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TOLVANE_PLUGIN_BUILT) GTEST_SKIP() << "this tree does not build Tolvane.so";
    ASSERT_EQ(access(TOLVANE_PLUGIN, R_OK), 0) << TOLVANE_PLUGIN << " was not built";
    ASSERT_FALSE(mDir.Path().empty());
  }

  // A short input file (0.2 s at 48 kHz unless told otherwise).
  std::string Input(const std::string& name, int format, int channels, int rate = 48000,
                    int64_t frames = 9600) {
    const std::string path = mDir.File(name);
    WriteSignal(path, format, channels, rate, frames);
    return path;
  }

  // Runs with the plug-in named explicitly, so a stray Tolvane.so elsewhere cannot interfere.
  ToolResult Render(std::vector<std::string> args) {
    args.insert(args.begin(), {"--plugin", TOLVANE_PLUGIN});
    return RunTool(args);
  }

  TempDir mDir;
};

TEST_F(TolvaneRenderTest, OutputKeepsRateChannelsFramesAndSampleFormatUnlessTold) {
  struct Case {
    const char* in;
    int format;
    int channels;
    int rate;
    const char* out;
    const char* formatOption;
    int outFormat;
  };
  const Case cases[] = {
      {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, "a.wav", nullptr, 0},
      {"b.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000, "b.wav", nullptr, 0},
      {"c.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 96000, "c.wav", nullptr, 0},
      {"d.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, 48000, "d.wav", nullptr, 0},
      {"e.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 44100, "e.aif", nullptr, 0},
      {"f.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 48000, "f.aiff", nullptr, 0},
      {"g.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000, "g.flac", nullptr, 0},
      {"h.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 88200, "h.FLAC", nullptr, 0},
      {"i.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, "i.flac", "pcm24",
       SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"j.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, "j.aiff", "double",
       SF_FORMAT_AIFF | SF_FORMAT_DOUBLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    const std::string in = Input(c.in, c.format, c.channels, c.rate);
    const std::string out = mDir.File(std::string("out-") + c.out);
    std::vector<std::string> args = {"--seed", "1", in, out};
    if (c.formatOption) args.insert(args.begin(), {"--format", c.formatOption});
    const ToolResult r = Render(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Audio source = ReadAudio(in);
    const Audio result = ReadAudio(out);
    EXPECT_EQ(result.format, c.formatOption ? c.outFormat : c.format);
    EXPECT_EQ(result.rate, c.rate);
    EXPECT_EQ(result.channels, c.channels);
    EXPECT_EQ(result.frames, source.frames);
    EXPECT_TRUE(Sounds(result, 0.05));
    EXPECT_GT(test::MaxDifference(result, source), 1e-3);  // processed
  }
}

TEST_F(TolvaneRenderTest, DoublePrecisionFollowsTheFloatRenderClosely) {
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2);
  const ToolResult d = Render({"--double", "--seed", "4", in, mDir.File("double.wav")});
  ASSERT_EQ(d.exitCode, 0) << d.err;
  EXPECT_NE(d.out.find("double, block 512"), std::string::npos) << d.out;
  ASSERT_EQ(Render({"--seed", "4", in, mDir.File("float.wav")}).exitCode, 0);
  const Audio a = ReadAudio(mDir.File("double.wav"));
  const Audio b = ReadAudio(mDir.File("float.wav"));
  EXPECT_EQ(a.format, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  ASSERT_EQ(a.samples.size(), b.samples.size());
  EXPECT_LT(test::MaxDifference(a, b), 1e-3);
}

TEST_F(TolvaneRenderTest, DemoIsSixSecondsOf24BitStereoAndTheSummaryDescribesIt) {
  const ToolResult r = Render(
      {"--seed", "7", "--block", "1000", "--offline", "--tempo", "96", mDir.File("demo.wav")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Audio out = ReadAudio(mDir.File("demo.wav"));
  EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  EXPECT_EQ(out.rate, 48000);
  EXPECT_EQ(out.channels, 2);
  EXPECT_EQ(out.frames, 288000);
  for (const char* expected :
       {"Tolvane (Quellmark)", "entry VSTPluginMain", "demo material", "288000 frames", "6.000 s",
        "block 1000", "float", "seed 7", "real time", "-6.00", "channel 2"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << " in\n" << r.out;
  }
  EXPECT_NE(r.out.find(mDir.File("demo.wav")), std::string::npos);
}

TEST_F(TolvaneRenderTest, SeedMakesRendersRepeatable) {
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2);
  ASSERT_EQ(Render({"--seed", "11", in, mDir.File("a.wav")}).exitCode, 0);
  ASSERT_EQ(Render({"--seed", "11", in, mDir.File("b.wav")}).exitCode, 0);
  // Only the low 32 bits reach the plug-in.
  ASSERT_EQ(Render({"--seed", "4294967307", in, mDir.File("c.wav")}).exitCode, 0);
  ASSERT_EQ(Render({"--seed", "12", in, mDir.File("d.wav")}).exitCode, 0);
  const auto a = ReadBytes(mDir.File("a.wav"));
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a, ReadBytes(mDir.File("b.wav")));
  EXPECT_EQ(a, ReadBytes(mDir.File("c.wav")));
  EXPECT_NE(a, ReadBytes(mDir.File("d.wav")));
}

TEST_F(TolvaneRenderTest, ParametersByNameIndexAndNormalisedValueAgree) {
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2);
  const std::vector<std::vector<std::string>> sameSetting = {
      {"--set", "Output Gain=150"},  // the full name; the plug-in reports "Output "
      {"--set", "output=150"},
      {"-s", "5=150"},
      {"--set", "OUT=0.75n"},
  };
  std::vector<std::vector<uint8_t>> outputs;
  for (size_t i = 0; i < sameSetting.size(); ++i) {
    std::vector<std::string> args = sameSetting[i];
    const std::string out = mDir.File("out" + std::to_string(i) + ".wav");
    args.insert(args.end(), {"--seed", "3", in, out});
    const ToolResult r = Render(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    outputs.push_back(ReadBytes(out));
  }
  for (size_t i = 1; i < outputs.size(); ++i) EXPECT_EQ(outputs[i], outputs[0]) << i;
  ASSERT_EQ(Render({"--seed", "3", in, mDir.File("plain.wav")}).exitCode, 0);
  EXPECT_NE(ReadBytes(mDir.File("plain.wav")), outputs[0]);
}

TEST_F(TolvaneRenderTest, ListParamsShowsEveryParameterAndRendersNothing) {
  // Without --plugin: the Tolvane.so of this build tree (bin/../vst/) is the default.
  const ToolResult r = RunTool({"--list-params", "--set", "Wet=25", "--set", "input gain=0.5n"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* name : kNames) EXPECT_NE(r.out.find(name), std::string::npos) << name;
  EXPECT_NE(r.out.find("Parameters of Tolvane (7)"), std::string::npos) << r.out;
  // Each row: index, name, label, range, display, normalised. Wet as set through its text,
  // Input Gain through its normalised value (0..200 %), React's range as its two values.
  auto rowTail = [&](const std::string& start, size_t n) {
    const size_t at = r.out.find("\n" + start);
    if (at == std::string::npos) return std::string();
    std::istringstream line(r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1));
    std::vector<std::string> words{std::istream_iterator<std::string>(line), {}};
    std::string tail;
    for (size_t i = words.size() >= n ? words.size() - n : 0; i < words.size(); ++i) {
      tail += (tail.empty() ? "" : " ") + words[i];
    }
    return tail;
  };
  EXPECT_EQ(rowTail("    0  Input G", 6), "% 0.00 .. 200.00 100.00 0.500000") << r.out;
  EXPECT_EQ(rowTail("    1  Wet", 6), "% 0.00 .. 100.00 25.00 0.250000") << r.out;
  EXPECT_EQ(rowTail("    3  React", 5), "0 .. 1 1 1.000000") << r.out;
  EXPECT_TRUE(mDir.Entries().empty());
}

TEST_F(TolvaneRenderTest, SavedPresetAndBankReproduceTheRender) {
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2);
  const std::string preset = mDir.File("p.fxp");
  ASSERT_EQ(
      Render({"--set", "Wet=25", "--set", "Input Gain=50", "--seed", "9", in, mDir.File("a.wav")})
          .exitCode,
      0);
  // Without OUTPUT, only the preset is written.
  ASSERT_EQ(Render({"--set", "Wet=25", "--set", "Input Gain=50", "--save-preset", preset}).exitCode,
            0);
  EXPECT_EQ(mDir.Entries(), (std::vector<std::string>{"a.wav", "in.wav", "p.fxp"}));
  const std::vector<uint8_t> bytes = ReadBytes(preset);
  const auto program = PresetFile::ReadProgram(bytes.data(), bytes.size());
  ASSERT_TRUE(program.ok) << program.error;
  EXPECT_FALSE(program.value.isChunk);  // Tolvane does not keep chunks: 'FxCk' with 7 floats
  ASSERT_EQ(program.value.params.size(), 7u);
  EXPECT_EQ(program.value.params[0], 0.25f);
  EXPECT_EQ(program.value.params[1], 0.25f);

  ASSERT_EQ(Render({"--preset", preset, "--seed", "9", in, mDir.File("b.wav")}).exitCode, 0);
  EXPECT_EQ(ReadBytes(mDir.File("a.wav")), ReadBytes(mDir.File("b.wav")));

  // A bank whose only program is the preset: program 0 takes its values.
  FxBank bank;
  bank.fxID = program.value.fxID;
  bank.fxVersion = program.value.fxVersion;
  bank.numPrograms = 1;
  bank.programs = {program.value};
  std::vector<uint8_t> bankBytes;
  ASSERT_TRUE(PresetFile::WriteBank(bank, bankBytes));
  test::WriteBytes(mDir.File("b.fxb"), bankBytes);
  const ToolResult r =
      Render({"--bank", mDir.File("b.fxb"), "--seed", "9", in, mDir.File("c.wav")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(mDir.File("a.wav")), ReadBytes(mDir.File("c.wav")));

  ASSERT_EQ(Render({"--seed", "9", in, mDir.File("d.wav")}).exitCode, 0);
  EXPECT_NE(ReadBytes(mDir.File("a.wav")), ReadBytes(mDir.File("d.wav")));
}

// Every failure: its exit code, a message naming the problem, and no file left behind.
TEST_F(TolvaneRenderTest, FailuresExitWithTheirCodeAndLeaveNoFile) {
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2);
  const std::string out = mDir.File("out.wav");
  test::WriteBytes(mDir.File("garbage.fxp"), std::vector<uint8_t>(100, 0x41));
  test::WriteBytes(mDir.File("notaplugin.so"), {'h', 'e', 'l', 'l', 'o', '\n'});
  ASSERT_EQ(Render({"--save-preset", mDir.File("good.fxp")}).exitCode, 0);
  std::vector<uint8_t> good = ReadBytes(mDir.File("good.fxp"));
  ASSERT_GT(good.size(), 60u);
  std::vector<uint8_t> foreign = good;
  foreign[16] ^= 0x20;  // another fxID
  test::WriteBytes(mDir.File("foreign.fxp"), foreign);
  test::WriteBytes(mDir.File("truncated.fxp"),
                   std::vector<uint8_t>(good.begin(), good.begin() + 59));
  const std::vector<std::string> before = mDir.Entries();

  ExpectFailures(
      {
          {{mDir.File("missing.wav"), out}, 3, "missing.wav"},
          {{mDir.Path(), out}, 3, "directory"},
          {{mDir.File("garbage.fxp"), out}, 3, "garbage.fxp"},
          {{in, mDir.File("out.mp3")}, 4, "unsupported output format"},
          {{in, mDir.File("out")}, 4, "unsupported output format"},
          {{in, mDir.File("out.flac")}, 4, "FLAC holds only integer samples"},
          {{"--format", "float", mDir.File("out.flac")}, 4, "FLAC"},
          {{in, mDir.File("no-such-dir/out.wav")}, 4, "no-such-dir"},
          {{"--set", "Drive=3", in, out}, 2, "unknown parameter 'Drive'"},
          {{"--set", "B=1", in, out}, 2, "ambiguous"},
          {{"--set", "7=1", in, out}, 2, "out of range"},
          {{"--set", "Wet=abc", in, out}, 2, "bad value"},
          {{"--set", "Wet=2n", in, out}, 2, "0..1"},
          {{"--set", "Wet", in, out}, 2, "NAME=VALUE"},
          {{"--block", "0", in, out}, 2, "block"},
          {{"--block", "65537", in, out}, 2, "block"},
          {{"--format", "mp3", in, out}, 2, "format"},
          {{"--tempo", "0", in, out}, 2, "tempo"},
          {{"--no-such-option", in, out}, 2, "no-such-option"},
          {{}, 2, "OUTPUT is required"},
          {{in, out, "extra.wav"}, 2, ""},
          {{"--preset", mDir.File("garbage.fxp"), in, out}, 6, "not a VST preset"},
          {{"--preset", mDir.File("truncated.fxp"), in, out}, 6, "truncated"},
          {{"--preset", mDir.File("foreign.fxp"), in, out}, 6, "made for plug-in"},
          {{"--preset", mDir.File("missing.fxp"), in, out}, 6, "missing.fxp"},
          {{"--bank", mDir.File("good.fxp"), in, out}, 6, "not a bank"},
      },
      mDir, {"--plugin", TOLVANE_PLUGIN});
  // A file that is not a plug-in, with the default plug-in path untouched.
  const ToolResult r = RunTool({"--plugin", mDir.File("notaplugin.so"), in, out});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("cannot load plug-in"), std::string::npos) << r.err;
  EXPECT_EQ(mDir.Entries(), before);
}

TEST_F(TolvaneRenderTest, InterruptRemovesThePartialOutput) {
  // Long enough, at one frame per block, to be interrupted well before it ends.
  const std::string in = Input("long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 8000 * 600);
  const std::vector<std::string> before = mDir.Entries();
  const pid_t pid =
      test::StartTool({"--plugin", TOLVANE_PLUGIN, "--block", "1", in, mDir.File("out.wav")});
  ASSERT_GT(pid, 0);
  // Wait for the temporary output to appear: the render is under way.
  bool started = false;
  for (int i = 0; i < 2000 && !started; ++i) {
    for (const std::string& name : mDir.Entries()) started |= name.rfind(".out.wav.", 0) == 0;
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(started);
  kill(pid, SIGINT);
  const ToolResult r = test::WaitTool(pid);
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
  EXPECT_EQ(mDir.Entries(), before);
}

#ifdef TOLVANE_VST3_BUNDLE
// The bundle and the VST2 module hold the same effect: seeded alike and set alike, the VST3
// host's render through the bundle (or the module inside it) is the VST2 host's bit for bit.
class TolvaneVst3RenderTest : public TolvaneRenderTest {
 protected:
  // The outputs of `options` on `input` through Tolvane.so, the bundle and its module, written
  // in double precision so that every bit the effect computes is compared.
  std::vector<std::vector<uint8_t>> RenderAll(const std::string& input,
                                              const std::vector<std::string>& options) {
    const std::string bundle = TOLVANE_VST3_BUNDLE;
    std::vector<std::vector<uint8_t>> outputs;
    for (const std::string& plugin :
         {std::string(TOLVANE_PLUGIN), bundle, bundle + "/Contents/x86_64-linux/Tolvane.so"}) {
      std::vector<std::string> args = {"--plugin", plugin, "--format", "double"};
      args.insert(args.end(), options.begin(), options.end());
      args.insert(args.end(), {input, mDir.File("out.wav")});
      const ToolResult r = RunTool(args);
      EXPECT_EQ(r.exitCode, 0) << plugin << "\n" << r.err;
      EXPECT_EQ(r.err.find("warning"), std::string::npos) << plugin << "\n" << r.err;
      outputs.push_back(ReadBytes(mDir.File("out.wav")));
    }
    return outputs;
  }
};

TEST_F(TolvaneVst3RenderTest, BundleRendersAsTheVst2ModuleInFloatAndDouble) {
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 48000);
  const std::vector<std::vector<std::string>> optionSets = {
      {"--seed", "5"},
      {"--seed", "5", "--double"},
      {"--seed", "6", "--block", "300", "--set", "Wet=60", "--set", "Input Gain=120"},
      {"--seed", "6", "--double", "--offline", "--set", "Wet=60", "--set", "Input Gain=120"},
  };
  for (const std::vector<std::string>& options : optionSets) {
    std::string line;
    for (const std::string& o : options) line += o + " ";
    SCOPED_TRACE(line);
    const std::vector<std::vector<uint8_t>> outputs = RenderAll(in, options);
    ASSERT_EQ(outputs.size(), 3u);
    ASSERT_FALSE(outputs[0].empty());
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_EQ(outputs[2], outputs[0]);
  }
}

// Tolvane.so takes a mono arrangement; so must the bundle, or its mono render would differ.
TEST_F(TolvaneVst3RenderTest, BundleTakesMonoFilesAsTheVst2ModuleDoes) {
  const std::string in = Input("mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1);
  const std::vector<std::vector<uint8_t>> outputs = RenderAll(in, {"--seed", "8"});
  ASSERT_EQ(outputs.size(), 3u);
  EXPECT_EQ(outputs[1], outputs[0]);
  EXPECT_EQ(outputs[2], outputs[0]);
}
#endif

}  // namespace
}  // namespace render
}  // namespace tolvane
