// tolvane-snapshot: draws the Tolvane editor without a window and writes it as a PNG.
//
// The effect is made in this process exactly as a host makes it (the plug-in's entry point,
// effOpen, then effEditOpen), so the picture comes from the real graphics factory, layout,
// artwork and controls, drawn by the NanoVG back end into an off-screen OpenGL surface.

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "kantele/gfx/platform/headless/IGfxHeadless.h"
#include "kantele/vst2/IVst2Adapter.h"
#include "kantele/vst2/Vst2Entry.h"
#include "render/ParamLookup.h"
#include "render/RenderError.h"
#include "tolvane/Tolvane.h"
#include "tolvane/TolvaneEditor.h"

namespace {

using kantele::vst2::AEffect;
using kantele::vst2::VstInt32;
using kantele::vst2::VstIntPtr;

// A host that answers nothing: the editor needs no host service to be drawn.
VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == kantele::vst2::audioMasterVersion ? 2400 : 0;
}

constexpr int kExitUsage = 2;
constexpr int kExitNoEditor = 5;
constexpr int kExitOutput = 4;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Draws the Tolvane editor without a window and writes it as a PNG file."};
  float scale = tolvane::kEditorInitialScale;
  std::vector<std::string> settings;
  std::string out = "tolvane-editor.png";
  app.add_option("--scale", scale,
                 "Draw scale: editor pixels per UI unit (0.25 to 1; 0.5 gives 815x505, 1 gives "
                 "1630x1010)")
      ->capture_default_str();
  app.add_option("--set", settings,
                 "NAME=VALUE: a parameter in its own units (\"Wet=50\"), or normalised with a "
                 "trailing n (\"Wet=0.5n\"); may be repeated");
  app.add_option("--out", out, "The PNG file to write")->capture_default_str();
  app.footer(
      "\nExit codes: 0 written, 2 usage (options, parameter names or values), 4 the file could "
      "not be written,\n5 the editor could not be drawn (no off-screen OpenGL).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }
  if (!std::isfinite(scale) || scale < 0.25f || scale > 1.f) {
    std::fprintf(stderr, "tolvane-snapshot: --scale must be between 0.25 and 1 (got %g)\n",
                 static_cast<double>(scale));
    return kExitUsage;
  }

  AEffect* effect = kantele::Vst2PluginMain<tolvane::Tolvane>(HostCallback);
  if (!effect) {
    std::fprintf(stderr, "tolvane-snapshot: the effect could not be made\n");
    return kExitNoEditor;
  }
  auto& plug = *static_cast<tolvane::Tolvane*>(kantele::IVst2Adapter::FromAEffect(effect));
  effect->dispatcher(effect, kantele::vst2::effOpen, 0, 0, nullptr, 0.f);
  int status = 0;
  try {
    // Values first: opening the editor shows every parameter's current value.
    std::vector<std::string> names;
    for (int i = 0; i < plug.NParams(); ++i) names.push_back(plug.GetParam(i)->GetParamName());
    const tolvane::render::ParamLookup lookup(names);
    for (const std::string& text : settings) {
      const tolvane::render::ParamSetting s = tolvane::render::ParamLookup::ParseSetting(text);
      kantele::IParam& param = *plug.GetParam(lookup.Find(s.name));
      const double normalised = s.isNormalised ? static_cast<double>(s.normalised)
                                               : param.NormalizedFromValue(std::stod(s.text));
      effect->setParameter(effect, lookup.Find(s.name), static_cast<float>(normalised));
    }

    if (!effect->dispatcher(effect, kantele::vst2::effEditOpen, 0, 0, nullptr, 0.f)) {
      std::fprintf(stderr,
                   "tolvane-snapshot: the editor did not open (no off-screen OpenGL context: "
                   "EGL with Mesa's surfaceless platform is needed)\n");
      status = kExitNoEditor;
    } else {
      auto* g = dynamic_cast<kantele::gfx::IGfxHeadless*>(plug.GetUI());
      if (!g) {
        std::fprintf(stderr, "tolvane-snapshot: this build's editor is not the off-screen one\n");
        status = kExitNoEditor;
      } else {
        g->Resize(g->Width(), g->Height(), scale);
        g->DrawAll();
        std::string error;
        if (!g->WritePNG(out.c_str(), error)) {
          std::fprintf(stderr, "tolvane-snapshot: %s\n", error.c_str());
          status = kExitOutput;
        } else {
          std::printf("tolvane-snapshot: wrote %s (%dx%d, draw scale %g)\n", out.c_str(),
                      g->WindowWidth(), g->WindowHeight(), static_cast<double>(scale));
        }
      }
      effect->dispatcher(effect, kantele::vst2::effEditClose, 0, 0, nullptr, 0.f);
    }
  } catch (const tolvane::render::RenderError& e) {
    std::fprintf(stderr, "tolvane-snapshot: %s\n", e.what());
    status = kExitUsage;
  }
  effect->dispatcher(effect, kantele::vst2::effClose, 0, 0, nullptr, 0.f);
  return status;
}
