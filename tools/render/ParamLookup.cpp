#include "render/ParamLookup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "render/RenderError.h"

namespace tolvane {
namespace render {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// A whole text that is a finite decimal number (no hexadecimal, no inf or nan).
bool ParseReal(const std::string& text, double& value) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' &&
        c != 'e' && c != 'E') {
      return false;
    }
  }
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
}

// A VALUE of --set or --automate for parameter `name`: a real number in the parameter's units,
// or one in 0..1 followed by n.
ParamSetting ParseValue(const std::string& name, const std::string& text) {
  ParamSetting s;
  s.name = name;
  s.text = text;
  const bool normalised = s.text.back() == 'n';
  const std::string number = normalised ? s.text.substr(0, s.text.size() - 1) : s.text;
  double v = 0.0;
  if (!ParseReal(number, v)) {
    throw RenderError(kExitUsage, "bad value '" + s.text + "' for '" + s.name +
                                      "': expected a number in the parameter's units, or a "
                                      "normalised value in 0..1 followed by n");
  }
  if (normalised) {
    if (!(v >= 0.0 && v <= 1.0)) {
      throw RenderError(kExitUsage, "bad value '" + s.text + "' for '" + s.name +
                                        "': a normalised value (ending in n) must be within 0..1");
    }
    s.isNormalised = true;
    s.normalised = v;
  }
  return s;
}

}  // namespace

ParamLookup::ParamLookup(std::vector<std::string> reportedNames) {
  for (const std::string& name : reportedNames) {
    mShown.push_back(Trim(name));
    mNames.push_back(Lower(mShown.back()));
  }
}

std::string ParamLookup::Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

std::string ParamLookup::Describe(int index) const {
  return "'" + mShown[static_cast<size_t>(index)] + "' (" + std::to_string(index) + ")";
}

int ParamLookup::Find(const std::string& query) const {
  const std::string q = Lower(Trim(query));
  const int count = static_cast<int>(mNames.size());
  if (q.empty()) throw RenderError(kExitUsage, "empty parameter name");

  std::vector<int> exact, prefix;
  for (int i = 0; i < count; ++i) {
    const std::string& name = mNames[static_cast<size_t>(i)];
    if (name == q) {
      exact.push_back(i);
    } else if (!name.empty() && (StartsWith(q, name) || StartsWith(name, q))) {
      prefix.push_back(i);
    }
  }
  if (exact.size() == 1) return exact[0];
  if (exact.empty() && AllDigits(q)) {
    errno = 0;
    const unsigned long long index = std::strtoull(q.c_str(), nullptr, 10);
    if (errno == 0 && index < static_cast<unsigned long long>(count)) {
      return static_cast<int>(index);
    }
    throw RenderError(kExitUsage, "parameter index " + q + " is out of range: the plug-in has " +
                                      std::to_string(count) + " parameter(s)");
  }
  const std::vector<int>& candidates = exact.empty() ? prefix : exact;
  if (candidates.size() == 1) return candidates[0];
  if (candidates.empty()) {
    std::string known;
    for (int i = 0; i < count; ++i) known += (i ? ", " : "") + Describe(i);
    throw RenderError(kExitUsage,
                      "unknown parameter '" + Trim(query) +
                          "'; the plug-in's parameters are: " + (known.empty() ? "(none)" : known));
  }
  std::string list;
  for (size_t i = 0; i < candidates.size(); ++i) list += (i ? ", " : "") + Describe(candidates[i]);
  throw RenderError(kExitUsage, "ambiguous parameter name '" + Trim(query) + "': it matches " +
                                    list + "; give more of the name or the index");
}

ParamSetting ParamLookup::ParseSetting(const std::string& text) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) {
    throw RenderError(kExitUsage, "--set expects NAME=VALUE, got '" + text + "'");
  }
  const std::string name = Trim(text.substr(0, eq));
  if (name.empty()) throw RenderError(kExitUsage, "--set '" + text + "' names no parameter");
  const std::string value = Trim(text.substr(eq + 1));
  if (value.empty()) throw RenderError(kExitUsage, "--set '" + text + "' gives no value");
  return ParseValue(name, value);
}

ParamAutomation ParamLookup::ParseAutomation(const std::string& text) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) {
    throw RenderError(kExitUsage,
                      "--automate expects NAME=TIME:VALUE,TIME:VALUE,..., got '" + text + "'");
  }
  ParamAutomation a;
  a.name = Trim(text.substr(0, eq));
  if (a.name.empty()) throw RenderError(kExitUsage, "--automate '" + text + "' names no parameter");
  const std::string list = text.substr(eq + 1);
  const auto fail = [&](const std::string& why) {
    throw RenderError(kExitUsage, "--automate '" + text + "': " + why);
  };
  std::string previous;  // the time before, as given
  for (size_t begin = 0; begin <= list.size();) {
    const size_t comma = std::min(list.find(',', begin), list.size());
    const std::string point = Trim(list.substr(begin, comma - begin));
    begin = comma + 1;
    const size_t colon = point.find(':');
    if (point.empty()) fail("an empty point in the list (expected TIME:VALUE,TIME:VALUE,...)");
    if (colon == std::string::npos) fail("point '" + point + "' is not TIME:VALUE");
    AutomationPoint p;
    const std::string time = Trim(point.substr(0, colon));
    if (!ParseReal(time, p.seconds)) fail("bad time '" + time + "' (seconds expected)");
    if (p.seconds < 0.0) fail("negative time '" + time + "'");
    if (!a.points.empty() && p.seconds < a.points.back().seconds) {
      fail("times must ascend (two equal times make a step), but " + time + " follows " + previous);
    }
    previous = time;
    const std::string value = Trim(point.substr(colon + 1));
    if (value.empty()) fail("point '" + point + "' gives no value");
    p.value = ParseValue(a.name, value);
    a.points.push_back(p);
  }
  return a;
}

}  // namespace render
}  // namespace tolvane
