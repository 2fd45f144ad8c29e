#include "render/RenderSession.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "render/AudioFile.h"
#include "render/AutomationCurve.h"
#include "render/ChannelPlan.h"
#include "render/DemoSignal.h"
#include "render/LevelMeter.h"
#include "render/ParamLookup.h"
#include "render/PluginLocator.h"
#include "render/PluginPresets.h"
#include "render/PresetFile.h"
#include "render/ProgressBar.h"
#include "render/RenderError.h"
#include "render/Renderer.h"
#include "render/StagedFile.h"
#include "render/Vst2Host.h"
#include "render/Vst3Host.h"
#include "tolvane/SeedRequest.h"

namespace tolvane {
namespace render {

namespace {

void Warn(const std::string& message) {
  std::fprintf(stderr, "tolvane-render: warning: %s\n", message.c_str());
}

void Note(const std::string& message) {
  std::fprintf(stderr, "tolvane-render: note: %s\n", message.c_str());
}

void CheckInterrupted() {
  if (const int sig = StagedFile::Interrupted()) {
    throw RenderError(kExitInterrupted, "interrupted by signal " + std::to_string(sig));
  }
}

std::vector<std::string> ParamNames(PluginHost& host) {
  std::vector<std::string> names;
  for (int i = 0; i < host.NumParams(); ++i) names.push_back(host.ParamName(i));
  return names;
}

RenderError RefusedValue(PluginHost& host, int index, const ParamSetting& s) {
  return RenderError(kExitUsage,
                     "bad value '" + s.text + "' for parameter '" +
                         ParamLookup::Trim(host.ParamName(index)) + "' (" + std::to_string(index) +
                         "): the plug-in did not accept it. Give a value in the parameter's "
                         "units, or a normalised value in 0..1 followed by n (e.g. " +
                         s.name + "=0.5n) for a plug-in that cannot parse values");
}

void ApplySettings(PluginHost& host, const std::vector<std::string>& settings) {
  const ParamLookup lookup(ParamNames(host));
  for (const std::string& text : settings) {
    const ParamSetting s = ParamLookup::ParseSetting(text);
    const int index = lookup.Find(s.name);
    if (s.isNormalised) {
      host.SetParameter(index, s.normalised);
    } else if (!host.SetParameterFromText(index, s.text)) {
      throw RefusedValue(host, index, s);
    }
  }
}

// The sample nearest `seconds` at `rate` (far beyond any render for absurd times).
int64_t SampleAt(double seconds, double rate) {
  return std::llround(std::min(seconds * rate, 0x1p62));
}

// The --automate lists as curves over the render's samples, their values normalised by the
// plug-in (which leaves the parameters as they were: SetAutomation sets them next).
std::vector<AutomationCurve> ResolveAutomation(PluginHost& host,
                                               const std::vector<std::string>& texts, double rate) {
  const ParamLookup lookup(ParamNames(host));
  std::vector<AutomationCurve> curves;
  for (const std::string& text : texts) {
    const ParamAutomation a = ParamLookup::ParseAutomation(text);
    const int index = lookup.Find(a.name);
    const auto same = [&](const AutomationCurve& c) { return c.Param() == index; };
    if (std::any_of(curves.begin(), curves.end(), same)) {
      throw RenderError(kExitUsage, "--automate '" + text + "': parameter '" +
                                        ParamLookup::Trim(host.ParamName(index)) +
                                        "' is automated twice; give one list per parameter");
    }
    std::vector<AutomationCurve::Corner> corners;
    for (const AutomationPoint& p : a.points) {
      double value = p.value.normalised;
      if (!p.value.isNormalised && !host.NormalizedFromText(index, p.value.text, value)) {
        throw RefusedValue(host, index, p.value);
      }
      corners.push_back({SampleAt(p.seconds, rate), value});
    }
    curves.emplace_back(index, std::move(corners));
  }
  return curves;
}

void PrintParams(PluginHost& host) {
  struct Row {
    std::string name, label, display, range;
    double value;
  };
  std::vector<Row> rows;
  size_t nameWidth = 4, labelWidth = 5, displayWidth = 7, rangeWidth = 5;
  for (int i = 0; i < host.NumParams(); ++i) {
    Row r{ParamLookup::Trim(host.ParamName(i)), ParamLookup::Trim(host.ParamLabel(i)),
          ParamLookup::Trim(host.ParamDisplay(i)), "", host.GetParameter(i)};
    // The range as the plug-in would display its ends; "-" when it cannot say.
    const std::string lo = ParamLookup::Trim(host.ParamDisplayAt(i, 0.0));
    const std::string hi = ParamLookup::Trim(host.ParamDisplayAt(i, 1.0));
    r.range = lo.empty() || hi.empty() ? "-" : lo + " .. " + hi;
    nameWidth = std::max(nameWidth, r.name.size());
    labelWidth = std::max(labelWidth, r.label.size());
    displayWidth = std::max(displayWidth, r.display.size());
    rangeWidth = std::max(rangeWidth, r.range.size());
    rows.push_back(r);
  }
  std::printf("Parameters of %s (%d):\n", host.EffectName().c_str(), host.NumParams());
  std::printf("%5s  %-*s  %-*s  %-*s  %-*s  %s\n", "index", static_cast<int>(nameWidth), "name",
              static_cast<int>(labelWidth), "label", static_cast<int>(rangeWidth), "range",
              static_cast<int>(displayWidth), "display", "normalised");
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    std::printf("%5zu  %-*s  %-*s  %-*s  %-*s  %.6f\n", i, static_cast<int>(nameWidth),
                r.name.c_str(), static_cast<int>(labelWidth), r.label.c_str(),
                static_cast<int>(rangeWidth), r.range.c_str(), static_cast<int>(displayWidth),
                r.display.c_str(), r.value);
  }
  std::fflush(stdout);
}

std::string Db(const LevelMeter& m, int c, bool peak) {
  if (c >= m.Channels()) return "-";
  const double db = peak ? m.PeakDbfs(c) : m.RmsDbfs(c);
  if (std::isinf(db) && db < 0) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", db);
  return text;
}

struct Summary {
  std::string plugin, vendor, format, path, entry, input, output, outputFormat;
  int inputs = 0, outputs = 0, blockSize = 0, rate = 0;
  double tempo = 120.0;
  bool doublePrecision = false, offline = false, hasSeed = false;
  uint32_t seed = 0;
  int64_t frames = 0;
  double wallSeconds = 0.0;
};

void PrintSummary(const Summary& s, const LevelMeter& in, const LevelMeter& out) {
  const double seconds = static_cast<double>(s.frames) / s.rate;
  std::printf("plug-in     %s (%s), %s, %d in / %d out, entry %s\n", s.plugin.c_str(),
              s.vendor.empty() ? "no vendor" : s.vendor.c_str(), s.format.c_str(), s.inputs,
              s.outputs, s.entry.c_str());
  std::printf("            %s\n", s.path.c_str());
  std::printf("input       %s, %d channel(s), %d Hz\n", s.input.c_str(), in.Channels(), s.rate);
  std::printf("output      %s, %s, %d channel(s)\n", s.output.c_str(), s.outputFormat.c_str(),
              out.Channels());
  std::printf("processing  %s, block %d, %s process level, tempo %g",
              s.doublePrecision ? "double" : "float", s.blockSize,
              s.offline ? "offline" : "realtime", s.tempo);
  if (s.hasSeed) std::printf(", seed %u", s.seed);
  std::printf("\n");
  std::printf("length      %lld frames, %.3f s\n", static_cast<long long>(s.frames), seconds);
  std::printf("time        %.3f s wall, %.1fx real time\n", s.wallSeconds,
              s.wallSeconds > 0.0 ? seconds / s.wallSeconds : 0.0);
  std::printf("levels      %-8s %9s %9s %10s %10s\n", "(dBFS)", "in peak", "in RMS", "out peak",
              "out RMS");
  const int rows = std::max(in.Channels(), out.Channels());
  for (int c = 0; c < rows; ++c) {
    std::printf("            channel %-2d %7s %9s %10s %10s\n", c + 1, Db(in, c, true).c_str(),
                Db(in, c, false).c_str(), Db(out, c, true).c_str(), Db(out, c, false).c_str());
  }
  std::fflush(stdout);
}

// The host for the plug-in's format: VST3 for a `.vst3` bundle or a module inside one.
std::unique_ptr<PluginHost> LoadPlugin(const std::string& path) {
  if (Vst3Host::IsVst3Path(path)) return std::make_unique<Vst3Host>(path);
  return std::make_unique<Vst2Host>(path);
}

// Program and bank files are VST2's: a VST3 plug-in keeps its state in a format of its own.
void RefuseVst2Files(const RenderOptions& o, const std::string& pluginPath) {
  const std::pair<const char*, const std::string*> options[] = {
      {"--bank", &o.bank}, {"--preset", &o.preset}, {"--save-preset", &o.savePreset}};
  for (const auto& option : options) {
    if (option.second->empty()) continue;
    throw RenderError(kExitUsage, std::string(option.first) + " '" + *option.second +
                                      "': .fxp and .fxb files are VST2 programs and banks, and '" +
                                      pluginPath +
                                      "' is a VST3 plug-in; set its parameters with --set instead");
  }
}

// The audio a session processes: an input file, or the demo material (synthesized only when
// rendering).
struct Source {
  AudioFile file;
  std::unique_ptr<DemoSignal> demo;
  int channels = 0, rate = 0, subtype = 0;
  int64_t frames = 0;  // 0 when not rendering the demo material
  int64_t demoPosition = 0;

  // Reads up to `count` interleaved frames; answers the number read.
  int64_t Read(double* interleaved, int64_t count) {
    if (!demo) return file.Read(interleaved, count);
    const int64_t n = demo->ReadInterleaved(demoPosition, interleaved, count);
    demoPosition += n;
    return n;
  }
};

Source OpenSource(const RenderOptions& o, bool rendering) {
  Source source;
  if (!o.input.empty()) {
    source.file = AudioFile::OpenRead(o.input);
    source.channels = source.file.Channels();
    source.rate = source.file.SampleRate();
    source.subtype = source.file.Format() & SF_FORMAT_SUBMASK;
    source.frames = source.file.Frames();
  } else {
    source.channels = DemoSignal::kChannels;
    source.rate = DemoSignal::kSampleRate;
    source.subtype = SF_FORMAT_PCM_24;
    if (rendering) {
      source.demo = std::make_unique<DemoSignal>();
      source.frames = source.demo->Frames();
    }
  }
  return source;
}

// libsndfile's format of the output: `container`, with the sample format --format names or the
// source's.
int OutputFormat(const RenderOptions& o, int container, const Source& source) {
  const int requested = o.format.empty() ? 0 : AudioFile::SubtypeFromName(o.format);
  if (!o.format.empty() && requested == 0) {
    throw RenderError(kExitUsage, "unknown --format '" + o.format + "'");
  }
  int subtype = source.subtype;
  if (!requested && (subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8)) {
    // 8-bit PCM is unsigned in WAV and signed elsewhere: keep the width, not the sign.
    subtype = container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
  }
  return container | (requested ? requested : subtype);
}

// The plug-in, loaded and configured as a host does before resuming it.
struct LoadedPlugin {
  std::string path;
  std::unique_ptr<PluginHost> host;
  Vst2Host* vst2 = nullptr;  // only a VST2 plug-in gets past RefuseVst2Files with program files
  bool monoAccepted = false;
};

LoadedPlugin LoadAndConfigure(const RenderOptions& o, const Source& source) {
  LoadedPlugin p;
  p.path = o.plugin.empty() ? PluginLocator::DefaultPlugin() : o.plugin;
  if (Vst3Host::IsVst3Path(p.path)) RefuseVst2Files(o, p.path);
  p.host = LoadPlugin(p.path);
  p.vst2 = dynamic_cast<Vst2Host*>(p.host.get());
  HostSettings settings;
  settings.sampleRate = source.rate;
  settings.blockSize = o.blockSize;
  settings.tempo = o.tempo;
  settings.offline = o.offline;
  p.host->Open(settings);
  if (o.doublePrecision && !p.host->CanProcessDouble()) {
    throw RenderError(kExitPlugin,
                      "--double: plug-in '" + p.path + "' cannot process double precision (" +
                          (p.vst2 ? "it does not set effFlagsCanDoubleReplacing"
                                  : "it refuses 64-bit samples in canProcessSampleSize") +
                          ")");
  }
  p.monoAccepted = source.channels == 1 && p.host->OfferMonoArrangement();
  p.host->SetProcessPrecision(o.doublePrecision);
  return p;
}

// The bank, the preset, the settings and the automation, in that order, then the saved preset.
void ApplyState(const RenderOptions& o, const LoadedPlugin& p, double rate) {
  std::vector<std::string> warnings;
  if (p.vst2 && !o.bank.empty()) PluginPresets::LoadBank(*p.vst2, o.bank, warnings);
  if (p.vst2 && !o.preset.empty()) PluginPresets::LoadProgram(*p.vst2, o.preset, warnings);
  for (const std::string& w : warnings) Warn(w);
  ApplySettings(*p.host, o.settings);
  if (!o.automations.empty()) {
    p.host->SetAutomation(ResolveAutomation(*p.host, o.automations, rate));
  }
  if (p.vst2 && !o.savePreset.empty()) PluginPresets::SaveProgram(*p.vst2, o.savePreset);
}

// Resumes the plug-in and plans its channels: plug-ins may settle their counts only when resumed.
ChannelPlan StartProcessing(const LoadedPlugin& p, const Source& source) {
  p.host->Resume();
  const ChannelPlan plan =
      ChannelPlan::Make(source.channels, p.host->NumInputs(), p.host->NumOutputs(), p.monoAccepted);
  if (plan.outputChannels == 0) {
    throw RenderError(kExitPlugin, "plug-in '" + p.path + "' has no outputs");
  }
  for (const std::string& n : plan.notes) Note(n);
  return plan;
}

void SendSeed(PluginHost& host, const RenderOptions& o) {
  if (!o.hasSeed) return;
  const int64_t answer =
      host.VendorRequest(kSeedRequest, static_cast<int64_t>(o.seed & 0xFFFFFFFFu), nullptr, 1.0);
  if (answer != 1) {
    Warn("the plug-in did not accept --seed (it answered " + std::to_string(answer) +
         "): its output may differ from run to run");
  }
}

// What the processing loop measured.
struct Rendered {
  LevelMeter in, out;
  int64_t frames = 0;
  double wallSeconds = 0.0;
};

// Every block of the source through the renderer into `outFile`.
Rendered RenderBlocks(Renderer& renderer, Source& source, AudioFile& outFile,
                      const ChannelPlan& plan) {
  Rendered r{LevelMeter(source.channels), LevelMeter(plan.outputChannels), 0, 0.0};
  ProgressBar progress(source.frames, source.rate, isatty(STDERR_FILENO) == 1);
  const Renderer::ReadFn read = [&](double* buffer, int64_t frames) {
    return source.Read(buffer, frames);
  };
  const Renderer::WriteFn write = [&](const double* buffer, int64_t frames) {
    outFile.Write(buffer, frames);
  };
  const auto start = std::chrono::steady_clock::now();
  r.frames = renderer.Run(read, write, r.in, r.out, progress);
  r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

Summary MakeSummary(const RenderOptions& o, const LoadedPlugin& p, const Source& source,
                    int outFormat, const Rendered& r) {
  PluginHost& host = *p.host;
  Summary s;
  s.plugin = host.EffectName();
  s.vendor = host.VendorString();
  s.format = host.Format();
  s.path = p.path;
  s.entry = host.EntryPoint();
  s.inputs = host.NumInputs();
  s.outputs = host.NumOutputs();
  s.input = o.input.empty() ? "demo material (synthesized)"
                            : o.input + ", " + AudioFile::ContainerName(source.file.Format()) +
                                  " " + AudioFile::SubtypeName(source.file.Format());
  s.output = o.output;
  s.outputFormat = AudioFile::ContainerName(outFormat) + " " + AudioFile::SubtypeName(outFormat);
  s.rate = source.rate;
  s.blockSize = o.blockSize;
  s.tempo = o.tempo;
  s.doublePrecision = o.doublePrecision;
  s.offline = o.offline;
  s.hasSeed = o.hasSeed;
  s.seed = static_cast<uint32_t>(o.seed & 0xFFFFFFFFu);
  s.frames = r.frames;
  s.wallSeconds = r.wallSeconds;
  return s;
}

}  // namespace

RenderSession::RenderSession(RenderOptions options) : mOptions(std::move(options)) {}

int RenderSession::Run() {
  const RenderOptions& o = mOptions;
  const bool rendering = !o.output.empty();
  // The output's container first: a wrong extension fails before any work.
  const int container = rendering ? AudioFile::ContainerForPath(o.output) : 0;
  Source source = OpenSource(o, rendering);
  const int outFormat = OutputFormat(o, container, source);
  if (rendering) AudioFile::CheckWritable(outFormat, source.channels, source.rate);

  const LoadedPlugin plugin = LoadAndConfigure(o, source);
  ApplyState(o, plugin, source.rate);
  if (o.listParams) PrintParams(*plugin.host);
  if (!rendering) return kExitOk;
  CheckInterrupted();

  const ChannelPlan plan = StartProcessing(plugin, source);
  StagedFile staged(o.output, kExitOutput);
  AudioFile outFile =
      AudioFile::Create(staged.TempPath(), outFormat, plan.outputChannels, source.rate);
  Renderer renderer(*plugin.host, plan, o.blockSize, o.doublePrecision);
  SendSeed(*plugin.host, o);
  const Rendered rendered = RenderBlocks(renderer, source, outFile, plan);
  plugin.host->Suspend();
  outFile.Close();
  CheckInterrupted();
  staged.Commit();
  PrintSummary(MakeSummary(o, plugin, source, outFormat, rendered), rendered.in, rendered.out);
  return kExitOk;
}

}  // namespace render
}  // namespace tolvane
