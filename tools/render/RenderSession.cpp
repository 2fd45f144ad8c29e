#include "render/RenderSession.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "render/AudioFile.h"
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

void ApplySettings(PluginHost& host, const std::vector<std::string>& settings) {
  std::vector<std::string> names;
  for (int i = 0; i < host.NumParams(); ++i) names.push_back(host.ParamName(i));
  const ParamLookup lookup(names);
  for (const std::string& text : settings) {
    const ParamSetting s = ParamLookup::ParseSetting(text);
    const int index = lookup.Find(s.name);
    if (s.isNormalised) {
      host.SetParameter(index, s.normalised);
    } else if (!host.SetParameterFromText(index, s.text)) {
      throw RenderError(kExitUsage,
                        "bad value '" + s.text + "' for parameter '" +
                            ParamLookup::Trim(names[static_cast<size_t>(index)]) + "' (" +
                            std::to_string(index) +
                            "): the plug-in did not accept it. Give a value in the parameter's "
                            "units, or a normalised value in 0..1 followed by n (e.g. " +
                            s.name + "=0.5n) for a plug-in that cannot parse values");
    }
  }
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

}  // namespace

RenderSession::RenderSession(RenderOptions options) : mOptions(std::move(options)) {}

int RenderSession::Run() {
  const RenderOptions& o = mOptions;
  const bool rendering = !o.output.empty();

  // The output's container first: a wrong extension fails before any work.
  int container = 0;
  if (rendering) container = AudioFile::ContainerForPath(o.output);

  // The source: an audio file or the demo material.
  AudioFile inFile;
  std::unique_ptr<DemoSignal> demo;
  int channels = 0, rate = 0, subtype = 0;
  int64_t totalFrames = 0;
  if (!o.input.empty()) {
    inFile = AudioFile::OpenRead(o.input);
    channels = inFile.Channels();
    rate = inFile.SampleRate();
    subtype = inFile.Format() & SF_FORMAT_SUBMASK;
    totalFrames = inFile.Frames();
  } else {
    channels = DemoSignal::kChannels;
    rate = DemoSignal::kSampleRate;
    subtype = SF_FORMAT_PCM_24;
    if (rendering) {
      demo = std::make_unique<DemoSignal>();
      totalFrames = demo->Frames();
    }
  }
  const int requested = o.format.empty() ? 0 : AudioFile::SubtypeFromName(o.format);
  if (!o.format.empty() && requested == 0) {
    throw RenderError(kExitUsage, "unknown --format '" + o.format + "'");
  }
  if (!requested && (subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8)) {
    // 8-bit PCM is unsigned in WAV and signed elsewhere: keep the width, not the sign.
    subtype = container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
  }
  const int outFormat = container | (requested ? requested : subtype);
  if (rendering) AudioFile::CheckWritable(outFormat, channels, rate);

  // The plug-in, opened and configured as a host does before resuming it.
  const std::string pluginPath = o.plugin.empty() ? PluginLocator::DefaultPlugin() : o.plugin;
  if (Vst3Host::IsVst3Path(pluginPath)) RefuseVst2Files(o, pluginPath);
  const std::unique_ptr<PluginHost> loaded = LoadPlugin(pluginPath);
  PluginHost& host = *loaded;
  // Only a VST2 plug-in gets past RefuseVst2Files with program or bank files.
  auto* vst2 = dynamic_cast<Vst2Host*>(&host);
  HostSettings settings;
  settings.sampleRate = rate;
  settings.blockSize = o.blockSize;
  settings.tempo = o.tempo;
  settings.offline = o.offline;
  host.Open(settings);
  if (o.doublePrecision && !host.CanProcessDouble()) {
    throw RenderError(kExitPlugin,
                      "--double: plug-in '" + pluginPath + "' cannot process double precision (" +
                          (vst2 ? "it does not set effFlagsCanDoubleReplacing"
                                : "it refuses 64-bit samples in canProcessSampleSize") +
                          ")");
  }
  const bool monoAccepted = channels == 1 && host.OfferMonoArrangement();
  host.SetProcessPrecision(o.doublePrecision);

  std::vector<std::string> warnings;
  if (vst2 && !o.bank.empty()) PluginPresets::LoadBank(*vst2, o.bank, warnings);
  if (vst2 && !o.preset.empty()) PluginPresets::LoadProgram(*vst2, o.preset, warnings);
  for (const std::string& w : warnings) Warn(w);
  ApplySettings(host, o.settings);
  if (vst2 && !o.savePreset.empty()) PluginPresets::SaveProgram(*vst2, o.savePreset);
  if (o.listParams) PrintParams(host);
  if (!rendering) return kExitOk;
  CheckInterrupted();

  host.Resume();
  // Plug-ins may settle their channel counts only when resumed.
  const ChannelPlan plan =
      ChannelPlan::Make(channels, host.NumInputs(), host.NumOutputs(), monoAccepted);
  if (plan.outputChannels == 0) {
    throw RenderError(kExitPlugin, "plug-in '" + pluginPath + "' has no outputs");
  }
  for (const std::string& n : plan.notes) Note(n);

  StagedFile staged(o.output, kExitOutput);
  AudioFile outFile = AudioFile::Create(staged.TempPath(), outFormat, plan.outputChannels, rate);
  Renderer renderer(host, plan, o.blockSize, o.doublePrecision);

  if (o.hasSeed) {
    const int64_t answer =
        host.VendorRequest(kSeedRequest, static_cast<int64_t>(o.seed & 0xFFFFFFFFu), nullptr, 1.0);
    if (answer != 1) {
      Warn("the plug-in did not accept --seed (it answered " + std::to_string(answer) +
           "): its output may differ from run to run");
    }
  }

  LevelMeter inLevels(channels), outLevels(plan.outputChannels);
  ProgressBar progress(totalFrames, rate, isatty(STDERR_FILENO) == 1);
  int64_t position = 0;
  Renderer::ReadFn read = [&](double* buffer, int64_t frames) -> int64_t {
    if (demo) {
      const int64_t n = demo->ReadInterleaved(position, buffer, frames);
      position += n;
      return n;
    }
    return inFile.Read(buffer, frames);
  };
  Renderer::WriteFn write = [&](const double* buffer, int64_t frames) {
    outFile.Write(buffer, frames);
  };
  const auto start = std::chrono::steady_clock::now();
  const int64_t frames = renderer.Run(read, write, inLevels, outLevels, progress);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  host.Suspend();
  outFile.Close();
  CheckInterrupted();
  staged.Commit();

  Summary s;
  s.plugin = host.EffectName();
  s.vendor = host.VendorString();
  s.format = host.Format();
  s.path = pluginPath;
  s.entry = host.EntryPoint();
  s.inputs = host.NumInputs();
  s.outputs = host.NumOutputs();
  s.input = o.input.empty() ? "demo material (synthesized)"
                            : o.input + ", " + AudioFile::ContainerName(inFile.Format()) + " " +
                                  AudioFile::SubtypeName(inFile.Format());
  s.output = o.output;
  s.outputFormat = AudioFile::ContainerName(outFormat) + " " + AudioFile::SubtypeName(outFormat);
  s.rate = rate;
  s.blockSize = o.blockSize;
  s.tempo = o.tempo;
  s.doublePrecision = o.doublePrecision;
  s.offline = o.offline;
  s.hasSeed = o.hasSeed;
  s.seed = static_cast<uint32_t>(o.seed & 0xFFFFFFFFu);
  s.frames = frames;
  s.wallSeconds = wall;
  PrintSummary(s, inLevels, outLevels);
  return kExitOk;
}

}  // namespace render
}  // namespace tolvane
