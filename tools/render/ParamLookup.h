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

  /// `s` without leading and trailing white space.
  static std::string Trim(const std::string& s);

 private:
  std::string Describe(int index) const;

  std::vector<std::string> mNames;  // trimmed and lower-cased
  std::vector<std::string> mShown;  // trimmed, as reported
};

}  // namespace render
}  // namespace tolvane
