// End-to-end runs of tolvane-render with third-party VST2 plug-ins installed from Debian
// packages (dpf-plugins-vst, lsp-plugins-vst): other entry points, other channel counts,
// plug-ins that keep chunks, plug-ins that cannot parse parameter texts.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
  ToolResult r = RunTool({"--plugin", kEq, "--set", "Low=6", "--list-params"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("followed by n"), std::string::npos) << r.err;
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

}  // namespace
}  // namespace render
}  // namespace tolvane
