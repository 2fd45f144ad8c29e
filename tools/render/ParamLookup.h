#pragma once

#include <string>
#include <vector>

namespace tolvane {
namespace render {

/// One `--set NAME=VALUE` from the command line.
struct ParamSetting {
  std::string name;
  /// VALUE as given: a real number in the parameter's own units, for the plug-in to parse.
  std::string text;
  /// VALUE was a number in 0..1 followed by `n` (e.g. `0.25n`): a normalised
  /// value set directly, for plug-ins that cannot parse texts.
  bool isNormalised = false;
  double normalised = 0.0;
};

/// One point of an `--automate` list: seconds from the start of the render, and the value as
/// `--set` takes it (the setting's name is the list's parameter).
struct AutomationPoint {
  double seconds = 0.0;
  ParamSetting value;
};

/// One `--automate NAME=TIME:VALUE,TIME:VALUE,...` from the command line.
struct ParamAutomation {
  std::string name;
  /// At least one point, in the order given; times never decrease (two points at one time
  /// make a step).
  std::vector<AutomationPoint> points;
};

/// Finds parameters by the names a plug-in reports.
///
/// Plug-ins that keep to the interface's 8-byte parameter texts report names cut
/// to 7 characters ("Input G" for "Input Gain"), so a name matches when, ignoring
/// case and surrounding spaces, it equals a reported name; failing that, when it
/// is a plain index; failing that, when exactly one non-empty reported name is a
/// prefix of it or it is a prefix of exactly one reported name. [any-thread]
class ParamLookup {
 public:
  explicit ParamLookup(std::vector<std::string> reportedNames);

  /// The index of the parameter `query` names. Throws RenderError(kExitUsage)
  /// for an unknown name (listing the parameters), an ambiguous one (listing
  /// the candidates) or an index out of range.
  int Find(const std::string& query) const;

  /// Splits `NAME=VALUE` at the first '='. VALUE must be a finite decimal number,
  /// or one in 0..1 followed by `n`. Throws RenderError(kExitUsage) when there is
  /// no '=', the name is empty or the value is not one of these.
  static ParamSetting ParseSetting(const std::string& text);

  /// Splits `NAME=TIME:VALUE,TIME:VALUE,...` at the first '=', the list at commas and each
  /// point at its first ':'. TIME is a finite decimal number of seconds, at least 0 and not
  /// below the time before it; VALUE as ParseSetting takes it. Throws RenderError(kExitUsage)
  /// naming the fault: no '=', no name, an empty list or point, a point without ':', a bad or
  /// negative time, a time below the one before, a bad value.
  static ParamAutomation ParseAutomation(const std::string& text);

  /// `s` without leading and trailing white space.
  static std::string Trim(const std::string& s);

 private:
  std::string Describe(int index) const;

  std::vector<std::string> mNames;  // trimmed and lower-cased
  std::vector<std::string> mShown;  // trimmed, as reported
};

}  // namespace render
}  // namespace tolvane
