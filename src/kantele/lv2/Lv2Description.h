#pragma once

#include <string>

#include "kantele/Config.h"
#include "kantele/lv2/ILv2Adapter.h"
#include "kantele/lv2/Lv2Module.h"

namespace kantele {

/// The bundle's description in Turtle, written from the plug-in's own configuration and
/// parameter model at build time, so it cannot drift from the code.

/// The port symbol of a parameter name: lower case, every run of other characters one '_',
/// none leading or trailing, '_' first when it would start with a digit ("Input Gain" gives
/// "input_gain"); "param" for a name with no letter or digit.
std::string Lv2SymbolOf(const char* name);

/// The LV2 units vocabulary's unit for a unit label ("%" is units:pc, "dB" units:db, ...), or
/// "" when none fits.
const char* Lv2UnitOf(const char* label);

/// manifest.ttl: every variant and the editor, their binary `binary` and the description file
/// `ttlFile`.
std::string Lv2ManifestTtl(const Config& config, const std::string& binary,
                           const std::string& ttlFile);

/// The plug-ins' description: for each variant its class, name, maker, version, features,
/// state and editor, and its ports: one control input per parameter of `plug` (full name,
/// symbol, default, minimum, maximum, unit; switches as toggles, integers and lists as such),
/// then the audio inputs and outputs. The editor's description follows: an X11 UI with the
/// idle interface and the parent required, resize and touch used, and ui:noUserResize (the
/// editor resizes itself with its grip; hosts make a window the user may not resize follow the
/// editor's size requests, smaller ones included).
std::string Lv2PluginTtl(const ILv2Adapter& plug, const Config& config, const std::string& binary);

/// Writes manifest.ttl and "<plug-in name>.ttl" into the folder `dir` for a module named
/// `binary`; answers 0, or 1 with a message on stderr when a file cannot be written.
int Lv2WriteDescription(const Config& config, Lv2Module::CreateFunc create, const char* dir,
                        const char* binary);

}  // namespace kantele

/// The description generator's main: `program <bundle folder> <binary file name>`.
#define KANTELE_LV2_DESCRIPTION_MAIN(Plugin)                                                     \
  int main(int argc, char** argv) {                                                              \
    if (argc != 3) return 2;                                                                     \
    return kantele::Lv2WriteDescription(Plugin::MakeConfig(), &kantele::Lv2CreatePlugin<Plugin>, \
                                        argv[1], argv[2]);                                       \
  }
