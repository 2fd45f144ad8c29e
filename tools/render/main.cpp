// tolvane-render: processes audio files offline through a VST2 or VST3 plug-in
// binary, loaded and driven exactly as a host loads and drives one.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "render/PluginLocator.h"
#include "render/RenderError.h"
#include "render/RenderSession.h"
#include "render/StagedFile.h"

#ifndef TOLVANE_RENDER_VERSION
#define TOLVANE_RENDER_VERSION "0"
#endif

namespace {

using namespace tolvane::render;

// The usage line names the positional paths as they are meant.
class Formatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string name) const override {
    return "Usage: " + name + " [OPTIONS] [INPUT] OUTPUT\n";
  }
};

// The help's sections after the options.
constexpr const char* kFilesAndChannelsHelp = R"(
Files:
  INPUT is any file libsndfile reads (WAV, AIFF, FLAC, ...). Without INPUT, six
  seconds of built-in stereo material at 48 kHz are rendered (plucked strings,
  bass, drums; peaks at -6 dBFS; the same samples every run).
  OUTPUT's extension selects the container: .wav, .aiff or .aif, .flac. The
  output keeps the input's sample rate and sample format (the built-in material:
  24-bit PCM) unless --format says otherwise; FLAC holds only integer samples of
  8, 16 or 24 bits, so float input needs --format pcm24 (or pcm16) for .flac.
  The output is written under a temporary name beside OUTPUT and renamed when
  complete: a failed or interrupted run leaves no partial file.
  Without OUTPUT nothing is rendered; --list-params and --save-preset still run.

Channels:
  The file's channels feed the plug-in's first inputs; inputs beyond them get
  silence. The output has the file's channel count, or the plug-in's output
  count when that is smaller. A mono file is offered to the plug-in as one
  input and one output before it is resumed (VST2: effSetSpeakerArrangement;
  VST3: setBusArrangements with mono first buses); a plug-in with two or more
  inputs that refuses gets the mono signal on its first two inputs and its
  first output is written. A VST3 plug-in's inputs and outputs are the channels
  of all its audio buses, bus after bus (a side chain follows the main inputs).

)";

constexpr const char* kParametersHelp =
    R"(Parameters (--set NAME=VALUE, in order, after --bank and --preset):
  NAME is a parameter name as the plug-in reports it, ignoring case. Plug-ins
  that keep to the interface's 8-byte texts report names cut to 7 characters
  ("Input G" for "Input Gain"), so an exact match wins, then NAME as an index,
  then the only reported name that is a prefix of NAME or has NAME as prefix.
  VALUE is a number in the parameter's units ("Wet=50"), parsed by the plug-in
  (VST2: effString2Parameter; VST3: getParamValueByString); the run stops if the
  plug-in refuses it. A number in
  0..1 followed by n ("Wet=0.5n") sets the normalised value directly, for
  plug-ins that cannot parse values (they refuse every text).
  --save-preset saves the state after all of these: a chunk program ('FPCh')
  for plug-ins that keep chunks, else the parameter values ('FxCk').

)";

constexpr const char* kAutomationHelp =
    R"(Automation (--automate NAME=TIME:VALUE,TIME:VALUE,..., one list per parameter):
  The parameter moves from point to point, linear in its normalised value (and
  in its units where the plug-in maps them linearly, as Tolvane does); before
  the first point it holds the first value, after the last the last. TIME is
  in seconds from the start of the render (rounded to the nearest sample), at
  least 0 and never below the time before it: two points at one time make a
  step. NAME and VALUE are as for --set; values in units are converted by the
  plug-in, leaving its state as it was, and the run stops if it refuses one.
  Applied after --set: the parameter starts at its curve's value at time 0.
  VST2: setParameter before each block with the value at the block's first
  sample. VST3: each block's parameter changes hold the curve's points inside
  the block at their sample offsets, and the value at its last sample while
  the curve moves, from which the plug-in rebuilds the curve.
  Example: --automate "Output Gain=0:100,0.25:100,0.3:20"

)";

constexpr const char* kVst3Help =
    R"(VST3 plug-ins (--plugin NAME.vst3, or NAME.vst3/Contents/<machine>-linux/NAME.so):
  The module is entered (ModuleEntry) and its first class of category "Audio
  Module Class" is created with its edit controller. NAME in --set and
  --automate is the title the plug-in reports (parameters it marks hidden are
  not listed; read-only ones cannot be set); the controller gets the value at
  once and the processor in the first block. --list-params shows titles, units and the plug-in's value
  texts. --seed goes through the framework's vendor request (IVendorRequest);
  --double needs 64-bit sample support (canProcessSampleSize); --offline selects
  the offline process mode. --preset, --bank and --save-preset are refused:
  .fxp and .fxb files are VST2 programs and banks.

)";

constexpr const char* kExitCodesHelp = R"(
Exit codes:
  0  success
  1  any other failure (e.g. a read error inside the input)
  2  usage: options, parameter names, values or automation lists, preset files
     with a VST3 plug-in
  3  the input file is missing or unreadable
  4  output: unsupported extension or sample format, or writing failed
  5  plug-in: does not load (dlopen error; VST2: no VSTPluginMain or main, no
     effect, bad magic; VST3: no module in the bundle, ModuleEntry refused, no
     GetPluginFactory, no audio module class, refused setup) or cannot do what
     was asked (--double, no outputs)
  6  preset or bank file: unreadable, malformed, for another plug-in, or not saved
  130  interrupted by SIGINT, SIGTERM or SIGHUP
)";

std::string Footer() {
  std::string plugins;
  for (const auto& c : PluginLocator::Candidates()) {
    plugins += "  " + c.path + "\n      (" + c.where + ")\n";
  }
  return std::string(kFilesAndChannelsHelp) + kParametersHelp + kAutomationHelp + kVst3Help +
         "Default plug-in (without --plugin), the first of these that exists:\n" + plugins +
         kExitCodesHelp;
}

// Where the plug-in comes from, what is set in it before rendering and what is listed.
void AddPluginOptions(CLI::App& app, RenderOptions& o) {
  app.add_option("-p,--plugin", o.plugin,
                 "Plug-in to load instead of Tolvane.so: a VST2 .so, or a VST3 bundle (.vst3) "
                 "or the module inside one")
      ->type_name("PATH");
  app.add_option("-s,--set", o.settings,
                 "Set a parameter before rendering; repeatable (see Parameters)")
      ->type_name("NAME=VALUE")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--automate", o.automations,
                 "Move a parameter over the render through values at times in seconds; "
                 "repeatable, one per parameter (see Automation)")
      ->type_name("NAME=TIME:VALUE,...")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_flag("-l,--list-params", o.listParams,
               "Print index, name, label, range, display text and normalised value of every "
               "parameter (after --bank, --preset, --set and --automate)");
}

// How the plug-in processes.
void AddProcessingOptions(CLI::App& app, RenderOptions& o) {
  app.add_option("-b,--block", o.blockSize, "Block size in frames, 1..65536")
      ->type_name("N")
      ->check(CLI::Range(1, 65536))
      ->capture_default_str();
  app.add_flag("--double", o.doublePrecision,
               "Process in double precision (VST2: processDoubleReplacing; VST3: 64-bit "
               "samples)");
  app.add_option("--seed", o.seed,
                 "Ask the plug-in for a deterministic render seeded with S (low 32 bits; "
                 "VST2: effVendorSpecific 0x54765364; VST3: IVendorRequest), sent before the "
                 "first block")
      ->type_name("S");
}

// VST2 program and bank files applied before rendering, and the program saved.
void AddPresetOptions(CLI::App& app, RenderOptions& o) {
  app.add_option("--preset", o.preset,
                 "Load a VST2 program file (.fxp) before rendering (VST2 plug-ins only)")
      ->type_name("FILE.fxp");
  app.add_option("--bank", o.bank,
                 "Load a VST2 bank file (.fxb) before rendering (VST2 plug-ins only)")
      ->type_name("FILE.fxb");
  app.add_option("--save-preset", o.savePreset,
                 "Save the plug-in's program to a .fxp file (VST2 plug-ins only)")
      ->type_name("FILE.fxp");
}

// What the host reports to the plug-in, and the output's sample format.
void AddHostAndOutputOptions(CLI::App& app, RenderOptions& o) {
  app.add_flag("--offline", o.offline,
               "Report offline processing to the plug-in (VST2: process level; VST3: process "
               "mode; default: realtime)");
  app.add_option("--tempo", o.tempo, "Tempo of the host's transport (4/4), 1..999")
      ->type_name("BPM")
      ->check(CLI::Range(1.0, 999.0))
      ->capture_default_str();
  app.add_option("-f,--format", o.format,
                 "Output sample format: pcm16, pcm24, pcm32, float or double (default: the "
                 "input's)")
      ->type_name("NAME")
      ->check(CLI::IsMember({"pcm16", "pcm24", "pcm32", "float", "double"}));
}

// Fills `o` from the command line. Answers false, with the exit code in `exitCode`, when the
// program ends here: --help, --version or a usage error (already printed).
bool ParseCommandLine(int argc, char** argv, RenderOptions& o, int& exitCode) {
  std::vector<std::string> paths;
  CLI::App app{
      "Renders audio offline through a VST2 or VST3 plug-in (by default Tolvane.so), "
      "loaded and driven as a host does.",
      "tolvane-render"};
  app.formatter(std::make_shared<Formatter>());
  app.get_formatter()->column_width(30);
  app.set_version_flag("--version", "tolvane-render " TOLVANE_RENDER_VERSION);
  app.add_option("files", paths, "[INPUT] OUTPUT: one path is OUTPUT, two are INPUT OUTPUT")
      ->expected(0, 2)
      ->type_name("");
  AddPluginOptions(app, o);
  AddProcessingOptions(app, o);
  AddPresetOptions(app, o);
  AddHostAndOutputOptions(app, o);
  app.footer(Footer());
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    exitCode = app.exit(e) == 0 ? kExitOk : kExitUsage;
    return false;
  }
  o.hasSeed = app.count("--seed") > 0;
  if (paths.size() == 2) {
    o.input = paths[0];
    o.output = paths[1];
  } else if (paths.size() == 1) {
    o.output = paths[0];
  }
  if (o.output.empty() && !o.listParams && o.savePreset.empty()) {
    std::fprintf(stderr,
                 "tolvane-render: error: OUTPUT is required unless --list-params or "
                 "--save-preset is given\nRun with --help for more information.\n");
    exitCode = kExitUsage;
    return false;
  }
  return true;
}

// Runs the session; a failure's message goes to stderr and its code is answered.
int RunSession(const RenderOptions& o) {
  try {
    return RenderSession(o).Run();
  } catch (const RenderError& e) {
    std::fprintf(stderr, "tolvane-render: error: %s\n", e.what());
    return e.Code();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvane-render: error: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  RenderOptions o;
  int exitCode = kExitOk;
  if (!ParseCommandLine(argc, argv, o, exitCode)) return exitCode;
  StagedFile::InstallSignalCleanup();
  return RunSession(o);
}
