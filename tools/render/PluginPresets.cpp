#include "render/PluginPresets.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kantele/Text.h"
#include "render/PresetFile.h"
#include "render/RenderError.h"
#include "render/StagedFile.h"

namespace tolvane {
namespace render {

namespace {

constexpr long kMaxFileBytes = 256L * 1024 * 1024;

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw RenderError(kExitPreset, "preset file '" + path + "': " + why);
}

void CheckId(Vst2Host& host, const std::string& path, int32_t fileId) {
  const std::string mismatch = PresetFile::IdMismatch(fileId, host.UniqueId());
  if (!mismatch.empty()) Fail(path, "refused: " + mismatch);
}

void ApplyValues(Vst2Host& host, const FxProgram& program, const std::string& what,
                 std::vector<std::string>& warnings) {
  const size_t count = std::min(program.params.size(), static_cast<size_t>(host.NumParams()));
  if (program.params.size() != static_cast<size_t>(host.NumParams())) {
    warnings.push_back(what + " holds " + std::to_string(program.params.size()) +
                       " parameter values, the plug-in has " + std::to_string(host.NumParams()) +
                       " parameters: applied the first " + std::to_string(count));
  }
  for (size_t i = 0; i < count; ++i) {
    // A value the plug-in already holds is not sent again: the file keeps values
    // as floats, and resending one would replace the plug-in's exact value (a
    // default of 0.16, say) with its nearest float.
    const int index = static_cast<int>(i);
    if (host.GetParameter(index) != program.params[i]) host.SetParameter(index, program.params[i]);
  }
}

void ApplyChunk(Vst2Host& host, bool isProgram, const std::vector<uint8_t>& chunk,
                const std::string& path, std::vector<std::string>& warnings) {
  if (!host.HasProgramChunks()) {
    Fail(path, std::string("it holds a ") + (isProgram ? "program" : "bank") +
                   " chunk, but the plug-in does not keep its state as chunks");
  }
  if (!host.SetChunk(isProgram, chunk)) {
    warnings.push_back("the plug-in answered 0 to the chunk of '" + path +
                       "'; it may have ignored it");
  }
}

}  // namespace

std::vector<uint8_t> PluginPresets::ReadFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) Fail(path, std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (bytes.size() > static_cast<size_t>(kMaxFileBytes)) {
      std::fclose(f);
      Fail(path, "larger than 256 MiB; not a preset file");
    }
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) Fail(path, "read error");
  return bytes;
}

void PluginPresets::LoadProgram(Vst2Host& host, const std::string& path,
                                std::vector<std::string>& warnings) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  const auto r = PresetFile::ReadProgram(bytes.data(), bytes.size());
  if (!r.ok) Fail(path, r.error);
  const FxProgram& p = r.value;
  CheckId(host, path, p.fxID);
  if (p.isChunk) {
    ApplyChunk(host, true, p.chunk, path, warnings);
  } else {
    ApplyValues(host, p, "preset '" + path + "'", warnings);
  }
  host.SetProgramName(p.name);
}

void PluginPresets::LoadBank(Vst2Host& host, const std::string& path,
                             std::vector<std::string>& warnings) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  const auto r = PresetFile::ReadBank(bytes.data(), bytes.size());
  if (!r.ok) Fail(path, r.error);
  const FxBank& bank = r.value;
  CheckId(host, path, bank.fxID);
  if (bank.isChunk) {
    ApplyChunk(host, false, bank.chunk, path, warnings);
    return;
  }
  // A plug-in without a program list still has its one current program.
  const int programs = std::max(1, host.NumPrograms());
  const int count = std::min(programs, bank.numPrograms);
  if (bank.numPrograms != programs) {
    warnings.push_back("bank '" + path + "' holds " + std::to_string(bank.numPrograms) +
                       " programs, the plug-in has " + std::to_string(programs) +
                       ": applied the first " + std::to_string(count));
  }
  for (int i = 0; i < count; ++i) {
    if (programs > 1) host.SetProgram(i);
    host.SetProgramName(bank.programs[static_cast<size_t>(i)].name);
    ApplyValues(host, bank.programs[static_cast<size_t>(i)],
                "program " + std::to_string(i) + " of bank '" + path + "'", warnings);
  }
  if (programs > 1 && count > 0) host.SetProgram(std::min(bank.currentProgram, count - 1));
}

void PluginPresets::SaveProgram(Vst2Host& host, const std::string& path) {
  FxProgram p;
  p.fxID = host.UniqueId();
  p.fxVersion = host.Version();
  char name[PresetFile::kNameBytes];
  kantele::Utf8CopyCut(name, sizeof name, host.ProgramName().c_str());
  p.name = name;
  if (host.HasProgramChunks()) {
    p.isChunk = true;
    p.numParams = host.NumParams();
    p.chunk = host.GetChunk(true);
    if (p.chunk.empty()) {
      throw RenderError(kExitPreset, "cannot save '" + path +
                                         "': the plug-in keeps its programs as chunks but gave "
                                         "none");
    }
  } else {
    for (int i = 0; i < host.NumParams(); ++i) {
      const float v = static_cast<float>(host.GetParameter(i));
      // A value outside 0..1 could not be read back; hold it at the nearest end.
      p.params.push_back(std::isnan(v) ? 0.0f : std::min(1.0f, std::max(0.0f, v)));
    }
    p.numParams = static_cast<int32_t>(p.params.size());
  }
  std::vector<uint8_t> bytes;
  if (!PresetFile::WriteProgram(p, bytes)) {
    throw RenderError(kExitPreset, "cannot save '" + path + "': the program is too large");
  }
  StagedFile staged(path, kExitPreset);
  FILE* f = std::fopen(staged.TempPath().c_str(), "wb");
  const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = f && std::fclose(f) == 0;
  if (!written || !closed) {
    throw RenderError(kExitPreset, "cannot write '" + path + "': " + std::strerror(errno));
  }
  staged.Commit();
}

}  // namespace render
}  // namespace tolvane
