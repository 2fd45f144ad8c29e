// End-to-end runs of tolvane-render with third-party plug-ins installed from Debian packages
// (dpf-plugins-vst, lsp-plugins-vst, zam-plugins): other entry points, other channel counts,
// plug-ins that keep chunks, plug-ins that cannot parse parameter texts, and VST3 bundles.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "ToolRunner.h"
#include "render/PresetFile.h"

namespace tolvane {
namespace render {
namespace {

using namespace test;  // the tool runner and the audio file helpers

const std::string kVstDir = "/usr/lib/vst";
const std::string kEq = kVstDir + "/3BandEQ-vst.so";  // 2 in / 2 out, exports only main
const std::string kReverb = kVstDir + "/MVerb-vst.so";
const std::string kLsp = kVstDir + "/lsp-plugins/";
const std::string kCompMono = kLsp + "compressor-mono.so";        // 1 in / 1 out, VSTPluginMain
const std::string kCompStereo = kLsp + "compressor-stereo.so";    // keeps chunks
const std::string kSidechain = kLsp + "sc-compressor-stereo.so";  // 4 in / 2 out
const std::string kCrossover = kLsp + "crossover-stereo.so";      // 2 in / 18 out
const std::string kVst3Dir = "/usr/lib/vst3";

// zam-plugins builds each plug-in as a VST2 module and a VST3 bundle.
std::string Vst2Zam(const std::string& name) { return kVstDir + "/" + name + "-vst.so"; }
std::string Vst3Zam(const std::string& name) { return kVst3Dir + "/" + name + ".vst3"; }
std::string Vst3ZamModule(const std::string& name) {
  return Vst3Zam(name) + "/Contents/x86_64-linux/" + name + ".so";
}

class ThirdPartyRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kVstDir.c_str(), R_OK) != 0) GTEST_SKIP() << kVstDir << " is absent";
    ASSERT_FALSE(mDir.Path().empty());
    // Under the sanitizer build the host is instrumented but these plug-ins are not,
    // and some keep memory until exit: leaks are checked with the project's plug-in.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string options =
        std::string(asan && *asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
  }

  void Require(const std::string& plugin) {
    if (access(plugin.c_str(), R_OK) != 0) GTEST_SKIP() << plugin << " is not installed";
  }

  std::string Input(const std::string& name, int format, int channels) {
    const std::string path = mDir.File(name);
    WriteSignal(path, format, channels, 48000, 9600);
    return path;
  }

  TempDir mDir;
};

// The three-band equaliser at its defaults passes the signal through (to within its
// filters' rounding), which shows which input fed which output.
TEST_F(ThirdPartyRenderTest, PluginExportingOnlyMainRendersAndMapsChannels) {
  Require(kEq);
  const std::string stereo = Input("stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2);
  ToolResult r = RunTool({"--plugin", kEq, stereo, mDir.File("stereo-out.wav")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("2 in / 2 out, entry main"), std::string::npos) << r.out;
  Audio out = ReadAudio(mDir.File("stereo-out.wav"));
  EXPECT_EQ(out.channels, 2);
  EXPECT_LT(test::MaxDifference(out, ReadAudio(stereo)), 1e-3);

  // A mono file: the plug-in refuses a mono arrangement, so both its inputs get the
  // signal and its first output is written.
  const std::string mono = Input("mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1);
  r = RunTool({"--plugin", kEq, mono, mDir.File("mono-out.wav")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("refused a mono arrangement"), std::string::npos) << r.err;
  out = ReadAudio(mDir.File("mono-out.wav"));
  EXPECT_EQ(out.channels, 1);
  EXPECT_LT(test::MaxDifference(out, ReadAudio(mono)), 1e-3);
}

TEST_F(ThirdPartyRenderTest, MonoPluginWithVSTPluginMainTakesMonoAndStereoFiles) {
  Require(kCompMono);
  const std::string mono = Input("mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1);
  ToolResult r = RunTool({"--plugin", kCompMono, mono, mDir.File("mono-out.flac")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("1 in / 1 out, entry VSTPluginMain"), std::string::npos) << r.out;
  Audio out = ReadAudio(mDir.File("mono-out.flac"));
  EXPECT_EQ(out.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_EQ(out.channels, 1);
  EXPECT_TRUE(Sounds(out, 0.01));

  const std::string stereo = Input("stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2);
  r = RunTool({"--plugin", kCompMono, stereo, mDir.File("stereo-out.aiff")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("file channel 2 is not processed"), std::string::npos) << r.err;
  out = ReadAudio(mDir.File("stereo-out.aiff"));
  EXPECT_EQ(out.channels, 1);
  EXPECT_EQ(out.frames, 9600);
  EXPECT_TRUE(Sounds(out, 0.01));
}

TEST_F(ThirdPartyRenderTest, ExtraInputsGetSilenceAndExtraOutputsAreNotWritten) {
  for (const std::string& plugin : {kSidechain, kCrossover}) {
    SCOPED_TRACE(plugin);
    Require(plugin);
    const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2);
    const ToolResult r = RunTool({"--plugin", plugin, "--block", "300", in, mDir.File("o.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Audio out = ReadAudio(mDir.File("o.wav"));
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames, 9600);
    EXPECT_TRUE(Sounds(out, 0.01));
  }
}

TEST_F(ThirdPartyRenderTest, ChunkPresetOfAPluginThatKeepsChunksRoundTrips) {
  Require(kCompStereo);
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2);
  const std::string preset = mDir.File("c.fxp");
  ToolResult r = RunTool({"--plugin", kCompStereo, "--set", "g_in=0.8n", "--set", "g_out=0.3n",
                          "--save-preset", preset, in, mDir.File("a.wav")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<uint8_t> bytes = ReadBytes(preset);
  const auto program = PresetFile::ReadProgram(bytes.data(), bytes.size());
  ASSERT_TRUE(program.ok) << program.error;
  EXPECT_TRUE(program.value.isChunk);
  EXPECT_FALSE(program.value.chunk.empty());

  r = RunTool({"--plugin", kCompStereo, "--preset", preset, in, mDir.File("b.wav")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(mDir.File("a.wav")), ReadBytes(mDir.File("b.wav")));
  ASSERT_EQ(RunTool({"--plugin", kCompStereo, in, mDir.File("c.wav")}).exitCode, 0);
  EXPECT_NE(ReadBytes(mDir.File("a.wav")), ReadBytes(mDir.File("c.wav")));

  // The same preset offered to another plug-in is refused.
  Require(kEq);
  r = RunTool({"--plugin", kEq, "--preset", preset, in, mDir.File("d.wav")});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_NE(r.err.find("made for plug-in"), std::string::npos) << r.err;
}

TEST_F(ThirdPartyRenderTest, PluginsThatCannotParseTextsTakeNormalisedValues) {
  Require(kEq);
  const std::pair<const char*, const char*> refused[] = {{"--set", "Low=6"},
                                                         {"--automate", "Low=0:0.5n,1:6"}};
  for (const auto& [option, value] : refused) {
    const ToolResult r = RunTool({"--plugin", kEq, option, value, "--list-params"});
    EXPECT_EQ(r.exitCode, 2) << option;
    EXPECT_NE(r.err.find("followed by n"), std::string::npos) << r.err;
  }
  ToolResult r =
      RunTool({"--plugin", kEq, "--automate", "Low-Mid Freq=0:0.7n,1:0.2n", "--list-params"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("0.700000"), std::string::npos) << r.out;  // the value at time 0
  // "Low" is a prefix of "low-mid", which is a prefix of "Low-Mid Freq": ambiguous.
  r = RunTool({"--plugin", kEq, "--set", "low-mid=0.7n", "--list-params"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("'Low' (0), 'Low-Mid Freq' (4)"), std::string::npos) << r.err;
  r = RunTool({"--plugin", kEq, "--set", "low-mid freq=0.7n", "--list-params"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("0.700000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Low-Mid Freq"), std::string::npos) << r.out;
}

TEST_F(ThirdPartyRenderTest, RefusesWhatThePluginCannotDo) {
  Require(kReverb);
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2);
  const ToolResult r = RunTool({"--plugin", kReverb, "--double", in, mDir.File("o.wav")});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("double precision"), std::string::npos) << r.err;
  EXPECT_EQ(mDir.Entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(ThirdPartyRenderTest, SharedLibraryWithoutEntryPointIsRefused) {
  // libsndfile is a shared library like a plug-in, but exports neither entry point.
  Dl_info info = {};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&sf_open), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);
  const ToolResult r = RunTool({"--plugin", info.dli_fname, "--list-params"});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("exports neither VSTPluginMain nor main"), std::string::npos) << r.err;
}

// The VST3 build of a plug-in runs the same processing as its VST2 build: through the bundle
// or its module, with the same channel plan, block size and parameter values, the output is
// the VST2 host's bit for bit.
TEST_F(ThirdPartyRenderTest, Vst3BuildsRenderAsTheirVst2Builds) {
  struct Case {
    const char* name;
    int channels;
    std::vector<std::string> options;
    const char* note;  ///< expected on stderr
  };
  const Case cases[] = {
      {"ZamAutoSat", 1, {"--seed", "3"}, "did not accept --seed"},  // mono, takes mono files
      {"ZamAutoSat", 2, {"--block", "300"}, "file channel 2 is not processed"},
      {"ZamVerb", 1, {}, "refused a mono arrangement"},
      {"ZamCompX2",
       2,
       {"--set", "threshold=0.625n", "--set", "Makeup=0.2n", "--block", "1000"},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.channels));
    Require(Vst3Zam(c.name));
    Require(Vst2Zam(c.name));
    const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, c.channels);
    std::vector<std::vector<uint8_t>> outputs;
    for (const std::string& plugin : {Vst2Zam(c.name), Vst3Zam(c.name), Vst3ZamModule(c.name)}) {
      std::vector<std::string> args = {"--plugin", plugin, in, mDir.File("o.wav")};
      args.insert(args.end(), c.options.begin(), c.options.end());
      const ToolResult r = RunTool(args);
      ASSERT_EQ(r.exitCode, 0) << plugin << "\n" << r.err;
      EXPECT_NE(r.err.find(c.note), std::string::npos) << r.err;
      if (plugin != Vst2Zam(c.name)) {
        EXPECT_NE(r.out.find("VST3, "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("entry GetPluginFactory"), std::string::npos) << r.out;
      }
      outputs.push_back(ReadBytes(mDir.File("o.wav")));
    }
    ASSERT_FALSE(outputs[0].empty());
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_EQ(outputs[2], outputs[0]);
  }
}

TEST_F(ThirdPartyRenderTest, Vst3ParametersGoByTitleAndThePluginsOwnTexts) {
  const std::string plugin = Vst3Zam("ZamCompX2");
  Require(plugin);
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2);
  const std::vector<std::vector<std::string>> settings = {{"--set", "Threshold=-30"},
                                                          {"--set", "threshold=0.625n"},
                                                          {"-s", "4=-30"},
                                                          {"--automate", "Threshold=0:-30"},
                                                          {}};
  std::vector<std::vector<uint8_t>> outputs;
  for (const std::vector<std::string>& setting : settings) {
    std::vector<std::string> args = {"--plugin", plugin, in, mDir.File("o.wav")};
    args.insert(args.end(), setting.begin(), setting.end());
    const ToolResult r = RunTool(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    outputs.push_back(ReadBytes(mDir.File("o.wav")));
  }
  EXPECT_EQ(outputs[1], outputs[0]);
  EXPECT_EQ(outputs[2], outputs[0]);
  EXPECT_EQ(outputs[3], outputs[0]);
  EXPECT_NE(outputs[4], outputs[0]);  // the default threshold compresses nothing

  const ToolResult r = RunTool({"--plugin", plugin, "--set", "Threshold=-30", "--list-params"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Parameters of ZamCompX2 (11)"), std::string::npos) << r.out;
  // Each row's words: index, title, units, range and value texts as the plug-in writes them,
  // the normalised value.
  std::vector<std::string> rows;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string row;
    for (std::string word; words >> word;) row += (row.empty() ? "" : " ") + word;
    rows.push_back(row);
  }
  for (const char* row : {"0 Attack ms 0.100000 .. 100.000000 10.000000 0.099099",
                          "4 Threshold dB -80.000000 .. 0.000000 -30.000000 0.625000",
                          "7 Stereo Detection 0.000000 .. 1.000000 0.000000 0.000000"}) {
    EXPECT_NE(std::find(rows.begin(), rows.end(), row), rows.end()) << row << " in\n" << r.out;
  }
  EXPECT_EQ(r.out.find("Buffer Size"), std::string::npos) << "a hidden parameter is listed";
}

TEST_F(ThirdPartyRenderTest, Vst3RefusesWhatItCannotDo) {
  const std::string plugin = Vst3Zam("ZamCompX2");
  Require(plugin);
  Require(Vst2Zam("ZamAutoSat"));
  const std::string in = Input("in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2);
  // A bundle without a module, and one whose module is a VST2 plug-in.
  ASSERT_EQ(mkdir(mDir.File("Empty.vst3").c_str(), 0700), 0);
  const std::string wrong = mDir.File("Wrong.vst3/Contents/x86_64-linux");
  for (const std::string& d : {mDir.File("Wrong.vst3"), mDir.File("Wrong.vst3/Contents"), wrong}) {
    ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
  }
  ASSERT_EQ(symlink(Vst2Zam("ZamAutoSat").c_str(), (wrong + "/Wrong.so").c_str()), 0);

  const std::string out = mDir.File("out.wav");
  ExpectFailures(
      {
          {{"--plugin", plugin, "--preset", mDir.File("p.fxp"), in, out}, 2, "VST2 programs"},
          {{"--plugin", plugin, "--bank", mDir.File("b.fxb"), in, out}, 2, "is a VST3 plug-in"},
          {{"--plugin", plugin, "--save-preset", mDir.File("s.fxp")}, 2, "--save-preset"},
          {{"--plugin", plugin, "--double", in, out}, 5, "64-bit samples"},
          {{"--plugin", plugin, "--set", "Gain Reduction=0.5n", in, out}, 2, "read-only"},
          {{"--plugin", plugin, "--automate", "Gain Reduction=0:0.5n", in, out}, 2, "read-only"},
          {{"--plugin", plugin, "--set", "Drive=1", in, out}, 2, "unknown parameter 'Drive'"},
          {{"--plugin", mDir.File("Empty.vst3"), in, out}, 5, "holds no module for x86_64-linux"},
          {{"--plugin", mDir.File("Wrong.vst3"), in, out}, 5, "exports no GetPluginFactory"},
      },
      mDir);
}

}  // namespace
}  // namespace render
}  // namespace tolvane
