#include "kantele/lv2/Lv2Description.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace kantele {

namespace {

constexpr const char* kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

/// A Turtle string literal.
std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    if (*p == '\n') {
      out += "\\n";
      continue;
    }
    out += *p;
  }
  return out + "\"";
}

/// A number as a Turtle decimal or double literal, exact for every float a port can hold.
std::string Number(double v) {
  char text[48];
  std::snprintf(text, sizeof(text), "%.9g", v);
  std::string out = text;
  if (out.find_first_of(".en") == std::string::npos) out += ".0";
  return out;
}

/// The LV2 class of an effect category ("Distortion" is lv2:DistortionPlugin).
const char* ClassOf(const char* category) {
  static const struct {
    const char* category;
    const char* lv2Class;
  } kClasses[] = {{"Distortion", "lv2:DistortionPlugin"},
                  {"Dynamics", "lv2:DynamicsPlugin"},
                  {"EQ", "lv2:EQPlugin"},
                  {"Filter", "lv2:FilterPlugin"},
                  {"Delay", "lv2:DelayPlugin"},
                  {"Reverb", "lv2:ReverbPlugin"},
                  {"Modulation", "lv2:ModulatorPlugin"},
                  {"Generator", "lv2:GeneratorPlugin"}};
  for (const auto& c : kClasses) {
    if (category && std::strcmp(category, c.category) == 0) return c.lv2Class;
  }
  return nullptr;
}

/// The audio port symbol and name of channel `c` of `n` in direction `in`.
void AudioPortNames(bool in, int c, int n, std::string& symbol, std::string& name) {
  symbol = in ? "in" : "out";
  name = in ? "Input" : "Output";
  if (n == 2) {
    symbol += c == 0 ? "_l" : "_r";
    name += c == 0 ? " L" : " R";
  } else if (n > 2) {
    symbol += "_" + std::to_string(c + 1);
    name += " " + std::to_string(c + 1);
  }
}

void WriteControlPort(std::ostringstream& out, const IParam& p, int index,
                      const std::string& symbol) {
  out << "  lv2:port [\n"
      << "    a lv2:InputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol " << Quoted(symbol.c_str()) << " ;\n"
      << "    lv2:name " << Quoted(p.GetParamName()) << " ;\n"
      << "    lv2:default " << Number(p.GetDefaultValue()) << " ;\n"
      << "    lv2:minimum " << Number(p.GetMin()) << " ;\n"
      << "    lv2:maximum " << Number(p.GetMax());
  if (p.IsSwitch()) {
    out << " ;\n    lv2:portProperty lv2:toggled";
  } else if (p.GetKind() == kKindInt || p.GetKind() == kKindEnum) {
    out << " ;\n    lv2:portProperty lv2:integer";
    if (p.GetKind() == kKindEnum) {
      out << ", lv2:enumeration";
      for (double v = p.GetMin(); v <= p.GetMax(); v += 1.0) {
        const char* text = p.GetDisplayTextForValue(v);
        out << " ;\n    lv2:scalePoint [ rdfs:label " << Quoted(text ? text : "") << " ; rdf:value "
            << Number(v) << " ]";
      }
    }
  }
  const char* unit = Lv2UnitOf(p.GetLabel());
  if (*unit) {
    out << " ;\n    units:unit " << unit;
  } else if (p.GetLabel()[0] && !p.IsSwitch()) {
    out << " ;\n    units:unit [ a units:Unit ; rdfs:label " << Quoted(p.GetLabel())
        << " ; units:symbol " << Quoted(p.GetLabel()) << " ; units:render "
        << Quoted((std::string("%f ") + p.GetLabel()).c_str()) << " ]";
  }
  out << "\n  ] ;\n";
}

}  // namespace

std::string Lv2SymbolOf(const char* name) {
  std::string out;
  bool gap = false;
  for (const char* p = name ? name : ""; *p; ++p) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      if (gap && !out.empty()) out += '_';
      out += c;
      gap = false;
    } else {
      gap = true;
    }
  }
  if (out.empty()) return "param";
  if (out[0] >= '0' && out[0] <= '9') out.insert(out.begin(), '_');
  return out;
}

const char* Lv2UnitOf(const char* label) {
  static const struct {
    const char* label;
    const char* unit;
  } kUnits[] = {{"%", "units:pc"},    {"dB", "units:db"},      {"Hz", "units:hz"},
                {"kHz", "units:khz"}, {"ms", "units:ms"},      {"s", "units:s"},
                {"bpm", "units:bpm"}, {"cents", "units:cent"}, {"st", "units:semitone12TET"}};
  for (const auto& u : kUnits) {
    if (label && std::strcmp(label, u.label) == 0) return u.unit;
  }
  return "";
}

std::string Lv2ManifestTtl(const Config& config, const std::string& binary,
                           const std::string& ttlFile) {
  std::ostringstream out;
  out << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
      << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
      << "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n\n";
  for (const Lv2Variant& v : Lv2VariantsOf(config)) {
    out << "<" << v.mUri << ">\n  a lv2:Plugin ;\n  lv2:binary <" << binary
        << "> ;\n  rdfs:seeAlso <" << ttlFile << "> .\n\n";
  }
  if (config.mPlugHasUI) {
    out << "<" << Lv2UiUriOf(config) << ">\n  a ui:X11UI ;\n  ui:binary <" << binary
        << "> ;\n  rdfs:seeAlso <" << ttlFile << "> .\n";
  }
  return out.str();
}

std::string Lv2PluginTtl(const ILv2Adapter& plug, const Config& config, const std::string& binary) {
  std::ostringstream out;
  out << kPrefixes;
  // Symbols are unique within a plug-in: one a port already has gets "_2", "_3", ...
  std::set<std::string> used;
  for (const Lv2Variant& variant : Lv2VariantsOf(config)) {
    for (bool in : {true, false}) {
      for (int c = 0; c < variant.mChannels; ++c) {
        std::string symbol, name;
        AudioPortNames(in, c, variant.mChannels, symbol, name);
        used.insert(symbol);
      }
    }
  }
  std::vector<std::string> symbols;
  for (int i = 0; i < plug.NParams(); ++i) {
    const std::string base = Lv2SymbolOf(plug.GetParam(i)->GetParamName());
    std::string symbol = base;
    for (int k = 2; used.count(symbol); ++k) symbol = base + "_" + std::to_string(k);
    used.insert(symbol);
    symbols.push_back(symbol);
  }
  const auto v = static_cast<uint32_t>(config.mVendorVersion);
  const char* lv2Class = ClassOf(config.mEffectCategory);
  for (const Lv2Variant& variant : Lv2VariantsOf(config)) {
    out << "<" << variant.mUri << ">\n"
        << "  a lv2:Plugin" << (lv2Class ? std::string(", ") + lv2Class : "") << " ;\n"
        << "  doap:name "
        << Quoted(variant.mChannels == 1 && variant.mUri != Lv2PluginUriOf(config)
                      ? (std::string(config.mPluginName) + " Mono").c_str()
                      : config.mPluginName)
        << " ;\n"
        << "  doap:maintainer [ foaf:name " << Quoted(config.mMfrName) << " ] ;\n"
        << "  lv2:minorVersion " << ((v >> 8) & 0xFFu) << " ;\n"
        << "  lv2:microVersion " << (v & 0xFFu) << " ;\n"
        << "  lv2:optionalFeature lv2:hardRTCapable, urid:map, opts:options ;\n"
        << "  opts:supportedOption bufsz:maxBlockLength, bufsz:nominalBlockLength ;\n"
        << "  lv2:extensionData state:interface ;\n";
    if (config.mPlugHasUI) out << "  ui:ui <" << Lv2UiUriOf(config) << "> ;\n";
    for (int i = 0; i < plug.NParams(); ++i) {
      WriteControlPort(out, *plug.GetParam(i), i, symbols[static_cast<size_t>(i)]);
    }
    int index = plug.NParams();
    for (bool in : {true, false}) {
      for (int c = 0; c < variant.mChannels; ++c) {
        std::string symbol, name;
        AudioPortNames(in, c, variant.mChannels, symbol, name);
        out << "  lv2:port [\n"
            << "    a lv2:" << (in ? "InputPort" : "OutputPort") << ", lv2:AudioPort ;\n"
            << "    lv2:index " << index++ << " ;\n"
            << "    lv2:symbol " << Quoted(symbol.c_str()) << " ;\n"
            << "    lv2:name " << Quoted(name.c_str()) << "\n  ]"
            << (in || c + 1 < variant.mChannels ? " ;" : " .") << "\n";
      }
    }
    out << "\n";
  }
  if (config.mPlugHasUI) {
    out << "<" << Lv2UiUriOf(config) << ">\n"
        << "  a ui:X11UI ;\n"
        << "  ui:binary <" << binary << "> ;\n"
        << "  lv2:requiredFeature ui:idleInterface, ui:parent ;\n"
        << "  lv2:optionalFeature ui:resize, ui:touch, ui:noUserResize ;\n"
        << "  lv2:extensionData ui:idleInterface, ui:resize .\n";
  }
  return out.str();
}

int Lv2WriteDescription(const Config& config, Lv2Module::CreateFunc create, const char* dir,
                        const char* binary) {
  std::unique_ptr<ILv2Adapter> plug(create({InstanceInfo::kRoleProcessor, 0}));
  if (!plug) {
    std::fprintf(stderr, "lv2 description: the plug-in could not be made\n");
    return 1;
  }
  const std::string ttlFile = std::string(config.mPluginName) + ".ttl";
  const struct {
    std::string name;
    std::string text;
  } files[] = {{"manifest.ttl", Lv2ManifestTtl(config, binary, ttlFile)},
               {ttlFile, Lv2PluginTtl(*plug, config, binary)}};
  for (const auto& f : files) {
    const std::string path = std::string(dir) + "/" + f.name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << f.text;
    if (!file.good()) {
      std::fprintf(stderr, "lv2 description: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace kantele
