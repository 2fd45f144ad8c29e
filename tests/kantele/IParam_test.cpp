#include "kantele/IParam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "support/AllocTrap.h"

namespace kantele {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Format(const IParam& p, double v, bool normalized = false, bool useTexts = true) {
  Text t;
  p.FormatValue(v, normalized, t, useTexts);
  return t.Get();
}

// A symmetric range with two decimals, the usual setting for display tests.
void ConfigureBipolar(IParam& p) { p.ConfigureDouble("Pan", 0.0, -10.0, 10.0, 0.01, "dB"); }

// ---------------------------------------------------------------------------------------
// Default state and configuration

TEST(IParamConfigure, FreshParameterIsInTheDefaultState) {
  IParam p;
  EXPECT_EQ(p.GetKind(), kKindNone);
  EXPECT_EQ(p.GetUnit(), 21);
  EXPECT_EQ(p.GetValue(), 0.0);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 1.0);
  EXPECT_EQ(p.GetStep(), 1.0);
  EXPECT_EQ(p.GetDefaultValue(), 0.0);
  EXPECT_EQ(p.GetDisplayPrecision(), 0);
  EXPECT_EQ(p.GetFlags(), 0);
  EXPECT_STREQ(p.GetParamName(), "");
  EXPECT_STREQ(p.GetLabel(), "");
  EXPECT_STREQ(p.GetGroup(), "");
  EXPECT_EQ(p.GetShape().GetDisplayKind(), 0);
  EXPECT_FALSE(p.HasDisplayFormatter());
  EXPECT_EQ(p.GetNumDisplayTexts(), 0);
  // The default linear shape already works before configuration.
  EXPECT_EQ(p.ValueFromNormalized(0.75), 0.75) << "no quantising without the flag";
  EXPECT_EQ(p.NormalizedFromValue(2.0), 1.0);
}

TEST(IParamConfigure, StoresFieldsAndStartsAtTheDefault) {
  IParam p;
  p.SetFlags(kFlagNoAutomation | kFlagQuantized);
  p.ConfigureDouble("Input Gain", 32.0, 0.0, 200.0, 0.01, "%");
  EXPECT_EQ(p.GetKind(), kKindDouble);
  EXPECT_STREQ(p.GetParamName(), "Input Gain");
  EXPECT_STREQ(p.GetLabel(), "%");
  EXPECT_STREQ(p.GetGroup(), "");
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 200.0);
  EXPECT_EQ(p.GetStep(), 0.01);
  EXPECT_EQ(p.GetDefaultValue(), 32.0);
  EXPECT_EQ(p.GetValue(), 32.0);
  EXPECT_EQ(p.GetFlags(), 0) << "configuring clears earlier flags";
  EXPECT_TRUE(p.IsAutomatable());
}

TEST(IParamConfigure, KeepsAKindChosenBeforehand) {
  IParam p;
  p.SetKind(kKindEnum);
  p.ConfigureDouble("Mode", 0.0, 0.0, 3.0, 1.0);
  EXPECT_EQ(p.GetKind(), kKindEnum);
}

TEST(IParamConfigure, RangeBelowOneStepIsWidened) {
  IParam p;
  p.ConfigureDouble("Flat", 0.0, 0.0, 0.0, 1.0);
  EXPECT_EQ(p.GetMax(), 1.0);

  IParam inverted;
  inverted.ConfigureDouble("Inverted", 0.0, 5.0, 2.0, 0.5);
  EXPECT_EQ(inverted.GetMin(), 5.0);
  EXPECT_EQ(inverted.GetMax(), 5.5);
  EXPECT_EQ(inverted.GetValue(), 5.0);
}

TEST(IParamConfigure, DefaultOutsideTheRangeStartsAtTheNearerBound) {
  IParam high;
  high.ConfigureDouble("High", 300.0, 0.0, 200.0, 0.01);
  EXPECT_EQ(high.GetValue(), 200.0);
  EXPECT_EQ(high.GetDefaultValue(), 300.0) << "the default itself is kept as given";
  EXPECT_EQ(high.GetDefaultValue(true), 1.0);

  IParam low;
  low.ConfigureDouble("Low", -10.0, 0.0, 200.0, 0.01);
  EXPECT_EQ(low.GetValue(), 0.0);
  EXPECT_EQ(low.GetDefaultValue(true), 0.0);
}

TEST(IParamConfigure, LongNamesAndLabelsAreCutToTheirField) {
  const std::string longName(40, 'n');
  IParam p;
  p.ConfigureDouble(longName.c_str(), 0.0, 0.0, 1.0, 1.0, std::string(50, 'l').c_str());
  EXPECT_EQ(std::string(p.GetParamName()), std::string(31, 'n'));
  EXPECT_EQ(std::string(p.GetLabel()), std::string(31, 'l'));

  // A two-byte character straddling the cut is dropped whole, not split.
  const std::string accented = std::string(30, 'a') + "\xC3\xA9" + "z";
  IParam q;
  q.ConfigureDouble(accented.c_str(), 0.0, 0.0, 1.0, 1.0, nullptr);
  EXPECT_EQ(std::string(q.GetParamName()), std::string(30, 'a'));
  EXPECT_STREQ(q.GetLabel(), "");
}

TEST(IParamConfigure, DisplayPrecisionFollowsTheStep) {
  const struct {
    double step;
    int precision;
  } cases[] = {{1.0, 0},   {10.0, 0},   {0.5, 1},  {0.1, 1}, {0.25, 2},  {0.01, 2},
               {0.001, 3}, {0.0001, 4}, {1e-7, 6}, {0.3, 1}, {1e-12, 6}, {0.125, 3}};
  for (const auto& c : cases) {
    IParam p;
    p.ConfigureDouble("P", 0.0, 0.0, 1.0, c.step);
    EXPECT_EQ(p.GetDisplayPrecision(), c.precision) << "step " << c.step;
    EXPECT_EQ(p.GetStep(), c.step) << "the stored step is not scaled";
  }
}

// A non-linear test shape that records how the parameter uses it.
struct ShapeLog {
  int duplicates = 0;
  int attaches = 0;
  const IParam* attachedTo = nullptr;
};

class SquareShape : public IParam::Shape {
 public:
  explicit SquareShape(ShapeLog* log) : mLog(log) {}
  std::unique_ptr<Shape> Duplicate() const override {
    ++mLog->duplicates;
    return std::make_unique<SquareShape>(*this);
  }
  void Attach(IParam& param) override {
    ++mLog->attaches;
    mLog->attachedTo = &param;
  }
  int GetDisplayKind() const override { return 7; }
  double MapToValue(double n, const IParam& p) const override {
    return p.GetMin() + (p.GetMax() - p.GetMin()) * n * n;
  }
  double MapToNormalized(double v, const IParam& p) const override {
    return std::sqrt((v - p.GetMin()) / (p.GetMax() - p.GetMin()));
  }

 private:
  ShapeLog* mLog;
};

TEST(IParamShape, ParameterOwnsAnAttachedCopyAndMapsThroughIt) {
  ShapeLog log;
  IParam p;
  {
    SquareShape shape(&log);
    p.ConfigureDouble("Freq", 100.0, 0.0, 400.0, 0.01, "Hz", shape);
  }  // The caller's shape is gone; the parameter must hold its own copy.
  EXPECT_EQ(log.duplicates, 1);
  EXPECT_EQ(log.attaches, 1);
  EXPECT_EQ(log.attachedTo, &p);
  EXPECT_EQ(p.GetShape().GetDisplayKind(), 7);
  EXPECT_DOUBLE_EQ(p.ValueFromNormalized(0.5), 100.0);
  EXPECT_DOUBLE_EQ(p.NormalizedFromValue(100.0), 0.5);
  EXPECT_DOUBLE_EQ(p.GetValueNormalized(), 0.5);
  EXPECT_DOUBLE_EQ(p.GetDefaultValue(true), 0.5);
  // The shape does not clamp; the parameter clamps around it, before and after.
  EXPECT_EQ(p.ValueFromNormalized(-2.0), 400.0) << "(-2)^2 maps above the maximum";
  EXPECT_EQ(p.NormalizedFromValue(-50.0), 0.0);
  EXPECT_EQ(p.NormalizedFromValue(1e9), 1.0);
}

// ---------------------------------------------------------------------------------------
// Quantising, clamping and normalising

TEST(IParamValue, ClampsWithoutQuantisingByDefault) {
  IParam p;
  p.ConfigureDouble("Gain", 0.0, 0.0, 200.0, 0.01);
  p.SetValue(12.3456);
  EXPECT_EQ(p.GetValue(), 12.3456);
  p.SetValue(250.0);
  EXPECT_EQ(p.GetValue(), 200.0);
  p.SetValue(-5.0);
  EXPECT_EQ(p.GetValue(), 0.0);
}

TEST(IParamValue, NonFiniteInputsLandOnABound) {
  IParam p;
  p.ConfigureDouble("Gain", 50.0, 0.0, 200.0, 0.01);
  p.SetValue(kNaN);
  EXPECT_EQ(p.GetValue(), 0.0);
  p.SetValue(kInf);
  EXPECT_EQ(p.GetValue(), 200.0);
  p.SetValue(-kInf);
  EXPECT_EQ(p.GetValue(), 0.0);
  p.SetFromNormalized(kNaN);
  EXPECT_EQ(p.GetValue(), 0.0);
  EXPECT_EQ(p.NormalizedFromValue(kNaN), 0.0);
  EXPECT_EQ(p.ValueFromNormalized(kInf), 200.0);

  p.SetFlags(kFlagQuantized);
  EXPECT_EQ(p.QuantizeAndClamp(kNaN), 0.0);
  EXPECT_EQ(p.QuantizeAndClamp(1e308), 200.0) << "value / step overflows to infinity";
  EXPECT_EQ(p.QuantizeAndClamp(-1e308), 0.0);
}

TEST(IParamValue, QuantizedFlagRoundsToTheStepBeforeClamping) {
  IParam p;
  p.ConfigureDouble("Steps", 0.0, -1.0, 1.0, 0.25);
  p.SetFlags(kFlagQuantized);
  EXPECT_EQ(p.QuantizeAndClamp(0.3), 0.25);
  EXPECT_EQ(p.QuantizeAndClamp(0.375), 0.5) << "halves round away from zero";
  EXPECT_EQ(p.QuantizeAndClamp(-0.375), -0.5);
  EXPECT_EQ(p.ParseValue("0.6"), 0.5);
  p.SetFromNormalized(0.6);  // 0.2 before quantising
  EXPECT_EQ(p.GetValue(), 0.25);

  // Rounding comes first: 2.0 rounds to 2.1 and clamps to 1.0 (clamping first would
  // give 0.9, the multiple of 0.3 nearest to 1.0).
  IParam q;
  q.ConfigureDouble("Thirds", 0.0, 0.0, 1.0, 0.3);
  q.SetFlags(kFlagQuantized);
  EXPECT_EQ(q.QuantizeAndClamp(2.0), 1.0);
}

TEST(IParamValue, SettingTheQuantizedFlagRequantisesTheStoredValue) {
  IParam p;
  p.ConfigureDouble("Steps", 0.3, 0.0, 1.0, 0.25);
  EXPECT_EQ(p.GetValue(), 0.3);
  p.SetFlags(kFlagQuantized);
  EXPECT_EQ(p.GetValue(), 0.25);
}

TEST(IParamValue, ZeroStepNeverQuantisesEverythingToTheMinimum) {
  IParam p;
  p.ConfigureDouble("Free", 5.0, 0.0, 10.0, 0.0);
  p.SetFlags(kFlagQuantized);
  p.SetValue(7.3);
  EXPECT_EQ(p.GetValue(), 7.3);
}

TEST(IParamValue, NormalisedValuesAreClampedToTheUnitRange) {
  IParam p;
  p.ConfigureDouble("Gain", 0.0, 0.0, 200.0, 0.01);
  EXPECT_EQ(p.NormalizedFromValue(1000.0), 1.0);
  EXPECT_EQ(p.NormalizedFromValue(-1000.0), 0.0);
  EXPECT_EQ(p.ValueFromNormalized(1.5), 200.0);
  EXPECT_EQ(p.ValueFromNormalized(-0.5), 0.0);
  EXPECT_EQ(p.NormalizedFromValue(50.0), 0.25);

  // A zero-width range (zero step) reads as 0 instead of NaN.
  IParam flat;
  flat.ConfigureDouble("Flat", 3.0, 3.0, 3.0, 0.0);
  EXPECT_EQ(flat.GetShape().MapToNormalized(3.0, flat), 0.0);
  EXPECT_EQ(flat.GetValueNormalized(), 0.0);
  EXPECT_EQ(flat.ValueFromNormalized(0.7), 3.0);
}

TEST(IParamValue, AudioThreadOperationsDoNotAllocate) {
  IParam p;
  p.ConfigureDouble("Gain", 32.0, 0.0, 200.0, 0.01, "%");
  test::ScopedAllocTrap trap;
  p.SetValue(10.0);
  p.SetFromNormalized(0.25);
  double sum = p.GetValue() + p.GetValueNormalized() + p.GetDefaultValue(true);
  EXPECT_EQ(trap.Allocations(), 0);
  EXPECT_DOUBLE_EQ(sum, 50.0 + 0.25 + 0.16);
}

// ---------------------------------------------------------------------------------------
// Display formatting

TEST(IParamFormat, PrecisionFromTheStep) {
  IParam whole;
  whole.ConfigureDouble("Whole", 100.0, 0.0, 200.0, 1.0);
  EXPECT_EQ(Format(whole, 100.0), "100");

  IParam cents;
  cents.ConfigureDouble("Cents", 32.0, 0.0, 200.0, 0.01);
  EXPECT_EQ(Format(cents, 32.0), "32.00");
  EXPECT_EQ(Format(cents, 0.5, true), "100.00");

  IParam milli;
  milli.ConfigureDouble("Milli", 0.5, 0.0, 1.0, 0.001);
  EXPECT_EQ(Format(milli, 0.5), "0.500");
}

TEST(IParamFormat, PrecisionZeroRoundsHalvesAwayFromZero) {
  IParam p;
  p.ConfigureDouble("Int", 0.0, -10.0, 10.0, 1.0);
  EXPECT_EQ(Format(p, 2.5), "3");
  EXPECT_EQ(Format(p, -2.5), "-3");
  EXPECT_EQ(Format(p, 2.4999), "2");
  EXPECT_EQ(Format(p, -0.4), "0") << "a value rounding to zero shows no minus";
  EXPECT_EQ(Format(p, -0.0), "0");
}

TEST(IParamFormat, PrecisionZeroShowsValuesBeyondTheIntRange) {
  IParam p;
  p.ConfigureDouble("Big", 0.0, 0.0, 1.0, 1.0);
  EXPECT_EQ(Format(p, 3e9), "3000000000");
  EXPECT_EQ(Format(p, -2147483648.5), "-2147483649");

  const std::string huge = Format(p, 1e300);
  ASSERT_EQ(huge.size(), 32u);
  for (char c : huge) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << huge;
}

TEST(IParamFormat, LongNumbersAreCutTo32Characters) {
  IParam p;
  p.ConfigureDouble("Big", 0.0, 0.0, 1.0, 0.01);
  const std::string text = Format(p, -1e40);
  EXPECT_EQ(text.size(), 32u);
  EXPECT_EQ(text[0], '-');
}

TEST(IParamFormat, ZeroNeverShowsAMinus) {
  IParam p;
  ConfigureBipolar(p);
  EXPECT_EQ(Format(p, -0.0), "0.00");
  p.SetFlags(kFlagInvertDisplay);
  EXPECT_EQ(Format(p, 0.0), "0.00");
  p.SetFlags(kFlagShowSign);
  EXPECT_EQ(Format(p, 0.0), "0.00");
  EXPECT_EQ(Format(p, -0.0), "0.00");
}

TEST(IParamFormat, ShowSignMarksNonZeroNumbersWithDecimals) {
  IParam p;
  ConfigureBipolar(p);
  EXPECT_EQ(Format(p, 1.5), "1.50");
  p.SetFlags(kFlagShowSign);
  EXPECT_EQ(Format(p, 1.5), "+1.50");
  EXPECT_EQ(Format(p, -1.5), "-1.50");
  EXPECT_EQ(Format(p, 0.001), "+0.00") << "the sign follows the value, not the rounded text";

  IParam whole;
  whole.ConfigureDouble("Whole", 0.0, -10.0, 10.0, 1.0);
  whole.SetFlags(kFlagShowSign);
  EXPECT_EQ(Format(whole, 3.0), "3") << "whole numbers carry no sign";
}

TEST(IParamFormat, InvertDisplayNegatesShownAndParsedNumbers) {
  IParam p;
  ConfigureBipolar(p);
  p.SetFlags(kFlagInvertDisplay);
  EXPECT_EQ(Format(p, 1.5), "-1.50");
  EXPECT_EQ(Format(p, -2.25), "2.25");
  EXPECT_EQ(p.ParseValue("-1.5"), 1.5);
  EXPECT_EQ(p.ParseValue("20"), -10.0) << "negated, then clamped";

  p.SetFlags(kFlagInvertDisplay | kFlagShowSign);
  EXPECT_EQ(Format(p, -1.5), "+1.50");

  IParam whole;
  whole.ConfigureDouble("Whole", 0.0, -10.0, 10.0, 1.0);
  whole.SetFlags(kFlagInvertDisplay);
  EXPECT_EQ(Format(whole, 3.0), "-3");
}

TEST(IParamFormat, FlagsDoNotAffectAutomationExceptNoAutomation) {
  IParam p;
  ConfigureBipolar(p);
  for (int32_t f : {kFlagQuantized, kFlagInvertDisplay, kFlagShowSign}) {
    p.SetFlags(f);
    EXPECT_TRUE(p.IsAutomatable()) << f;
  }
  p.SetFlags(kFlagNoAutomation);
  EXPECT_FALSE(p.IsAutomatable());
  EXPECT_EQ(Format(p, 1.5), "1.50");
  EXPECT_EQ(p.ParseValue("1.237"), 1.237);
}

TEST(IParamFormat, FormatterReplacesAllBuiltInFormatting) {
  double seen = kNaN;
  IParam p;
  p.ConfigureDouble("Custom", 0.0, 0.0, 10.0, 0.01, "", IParam::ShapeLinear(),
                    [&seen](double v, Text& out) {
                      seen = v;
                      out.SetFormatted(-1, "<%g>", v);
                    });
  p.AddDisplayText(5.0, "Five");
  p.SetFlags(kFlagInvertDisplay);
  EXPECT_TRUE(p.HasDisplayFormatter());
  EXPECT_EQ(Format(p, 5.0), "<5>");
  EXPECT_EQ(Format(p, 0.25, true), "<2.5>");
  EXPECT_EQ(seen, 2.5) << "the formatter receives the real value";
}

TEST(IParamFormat, FormatterOutputIsCutTo32Characters) {
  IParam p;
  p.ConfigureDouble("Custom", 0.0, 0.0, 10.0, 0.01, "", IParam::ShapeLinear(),
                    [](double, Text& out) { out.Set(std::string(40, 'x').c_str()); });
  EXPECT_EQ(Format(p, 1.0), std::string(32, 'x'));

  IParam utf8;
  utf8.ConfigureDouble(
      "Custom", 0.0, 0.0, 10.0, 0.01, "", IParam::ShapeLinear(),
      [](double, Text& out) { out.Set((std::string(31, 'x') + "\xE2\x82\xAC").c_str()); });
  EXPECT_EQ(Format(utf8, 1.0), std::string(31, 'x')) << "a three-byte character is not split";
}

// ---------------------------------------------------------------------------------------
// Display texts and unit labels

TEST(IParamDisplayText, MatchesValuesExactly) {
  IParam p;
  p.ConfigureDouble("Mode", 0.0, 0.0, 2.0, 0.1);
  p.AddDisplayText(0.0, "Off");
  p.AddDisplayText(0.3, "Low");
  p.AddDisplayText(2.0, "Full");
  EXPECT_EQ(Format(p, 0.0), "Off");
  EXPECT_EQ(Format(p, -0.0), "Off") << "-0.0 equals 0.0";
  EXPECT_EQ(Format(p, 0.3), "Low");
  EXPECT_EQ(Format(p, 0.1 + 0.2), "0.3") << "0.1 + 0.2 is not exactly 0.3";
  EXPECT_EQ(Format(p, 1.0, true), "Full") << "normalised input is mapped before matching";
  EXPECT_EQ(Format(p, 0.0, false, false), "0.0") << "display texts can be skipped";
}

TEST(IParamDisplayText, FirstEntryDecidesAndAnEmptyTextShowsTheNumber) {
  IParam p;
  p.ConfigureDouble("Mode", 0.0, 0.0, 10.0, 1.0);
  p.AddDisplayText(1.0, "One");
  p.AddDisplayText(1.0, "Uno");
  p.AddDisplayText(2.0, "");
  p.AddDisplayText(2.0, "Two");
  EXPECT_EQ(p.GetNumDisplayTexts(), 4);
  EXPECT_EQ(Format(p, 1.0), "One");
  EXPECT_EQ(Format(p, 2.0), "2") << "the empty entry stops the lookup";
  // Every text still parses back to its value.
  EXPECT_EQ(p.ParseValue("Uno"), 1.0);
  EXPECT_EQ(p.ParseValue("Two"), 2.0);
}

TEST(IParamDisplayText, LongTextsAreCutToTheirField) {
  IParam p;
  p.ConfigureDouble("Mode", 0.0, 0.0, 1.0, 1.0);
  p.AddDisplayText(0.0, std::string(40, 't').c_str());
  p.AddDisplayText(1.0, nullptr);
  EXPECT_EQ(Format(p, 0.0), std::string(31, 't'));
  EXPECT_EQ(Format(p, 1.0), "1");
}

TEST(IParamDisplayText, UnitLabelIsHiddenWhenTheTruncatedValueHasAText) {
  IParam p;
  p.ConfigureDouble("Gain", 0.0, -10.0, 10.0, 0.01, "dB");
  EXPECT_STREQ(p.GetUnitLabel(), "dB");
  p.AddDisplayText(0.0, "Unity");
  p.AddDisplayText(3.0, "Three");
  p.AddDisplayText(5.0, "");
  EXPECT_STREQ(p.GetUnitLabel(), "");
  p.SetValue(3.7);
  EXPECT_STREQ(p.GetUnitLabel(), "") << "3.7 truncates to 3";
  p.SetValue(-0.5);
  EXPECT_STREQ(p.GetUnitLabel(), "") << "-0.5 truncates to zero";
  p.SetValue(-3.7);
  EXPECT_STREQ(p.GetUnitLabel(), "dB");
  p.SetValue(5.2);
  EXPECT_STREQ(p.GetUnitLabel(), "dB") << "an empty text keeps the label";
}

// ---------------------------------------------------------------------------------------
// Parsing

TEST(IParamParse, ReadsALeadingNumberAndClamps) {
  IParam p;
  p.ConfigureDouble("Gain", 32.0, 0.0, 200.0, 0.01, "%");
  EXPECT_EQ(p.ParseValue(""), 0.0);
  EXPECT_EQ(p.ParseValue("loud"), 0.0);
  EXPECT_EQ(p.ParseValue(nullptr), 0.0);
  EXPECT_EQ(p.ParseValue("250"), 200.0);
  EXPECT_EQ(p.ParseValue("-5"), 0.0);
  EXPECT_EQ(p.ParseValue("  12.5 %"), 12.5);
  EXPECT_EQ(p.ParseValue("+7"), 7.0);
  EXPECT_EQ(p.ParseValue(".5"), 0.5);
  EXPECT_EQ(p.ParseValue("1e2"), 100.0);
  EXPECT_EQ(p.ParseValue("1e999"), 200.0);
  EXPECT_EQ(p.ParseValue("nan"), 0.0);
  EXPECT_EQ(p.GetValue(), 32.0) << "parsing does not change the parameter";
}

TEST(IParamParse, DisplayTextsMatchExactlyAndReturnTheirValueUnclamped) {
  IParam p;
  p.ConfigureDouble("Mode", 0.0, 0.0, 10.0, 1.0);
  p.AddDisplayText(-5.0, "Below");
  p.AddDisplayText(4.0, "Four");
  p.SetFlags(kFlagInvertDisplay | kFlagQuantized);
  EXPECT_EQ(p.ParseValue("Below"), -5.0);
  EXPECT_EQ(p.ParseValue("Four"), 4.0) << "not negated";
  EXPECT_EQ(p.ParseValue("four"), 0.0) << "comparison is case-sensitive";
  EXPECT_EQ(p.ParseValue("Four "), 0.0);
}

TEST(IParamParse, BooleanAndEnumeratedKindsOnlyAcceptTheirTexts) {
  for (EParamKind kind : {kKindBool, kKindEnum}) {
    IParam p;
    p.SetKind(kind);
    p.ConfigureDouble("Switch", 0.0, 0.0, 3.0, 1.0);
    EXPECT_EQ(p.ParseValue("2"), 0.0) << kind;
    p.AddDisplayText(0.0, "Off");
    p.AddDisplayText(2.0, "On");
    EXPECT_EQ(p.ParseValue("On"), 2.0) << kind;
    EXPECT_EQ(p.ParseValue("2"), 0.0) << kind;
  }
  IParam integer;
  integer.SetKind(kKindInt);
  integer.ConfigureDouble("Count", 0.0, 0.0, 3.0, 1.0);
  EXPECT_EQ(integer.ParseValue("2"), 2.0);
}

// ---------------------------------------------------------------------------------------
// The effect's own parameters

struct EffectParam {
  const char* name;
  double defaultVal, minVal, maxVal, step;
  const char* label;
  const char* defaultText;
};

constexpr EffectParam kEffectParams[] = {
    {"Input Gain", 32.0, 0.0, 200.0, 0.01, "%", "32.00"},
    {"Wet", 87.0, 0.0, 100.0, 0.01, "%", "87.00"},
    {"Tame", 0.5, 0.0, 1.0, 0.001, "", "0.500"},
    {"React", 1.0, 0.0, 1.0, 1.0, "", "1"},
    {"Bypass", 0.0, 0.0, 1.0, 1.0, "", "0"},
    {"Output Gain", 100.0, 0.0, 200.0, 0.01, "%", "100.00"},
    {"Bias", 0.5, 0.0, 1.0, 0.001, "", "0.500"},
};

class EffectParamTest : public ::testing::TestWithParam<EffectParam> {
 protected:
  void SetUp() override {
    const EffectParam& e = GetParam();
    mParam.ConfigureDouble(e.name, e.defaultVal, e.minVal, e.maxVal, e.step, e.label);
  }
  IParam mParam;
};

TEST_P(EffectParamTest, StartsAtItsDefaultAndShowsIt) {
  const EffectParam& e = GetParam();
  EXPECT_EQ(mParam.GetValue(), e.defaultVal);
  EXPECT_EQ(mParam.GetMax(), e.maxVal);
  EXPECT_EQ(Format(mParam, mParam.GetValue()), e.defaultText);
  EXPECT_STREQ(mParam.GetUnitLabel(), e.label);
  EXPECT_TRUE(mParam.IsAutomatable());
}

TEST_P(EffectParamTest, NormalisedRoundTripsAreStable) {
  const EffectParam& e = GetParam();
  const double range = e.maxVal - e.minVal;
  EXPECT_EQ(mParam.ValueFromNormalized(0.0), e.minVal);
  EXPECT_EQ(mParam.ValueFromNormalized(1.0), e.maxVal);
  EXPECT_EQ(mParam.NormalizedFromValue(e.minVal), 0.0);
  EXPECT_EQ(mParam.NormalizedFromValue(e.maxVal), 1.0);
  EXPECT_NEAR(mParam.ValueFromNormalized(mParam.GetDefaultValue(true)), e.defaultVal,
              1e-12 * range);

  for (int i = 0; i <= 1000; ++i) {
    const double n = i / 1000.0;
    mParam.SetFromNormalized(n);
    const double v = mParam.GetValue();
    ASSERT_NEAR(v, e.minVal + range * n, 1e-12 * range) << n;
    ASSERT_NEAR(mParam.GetValueNormalized(), n, 1e-12) << n;
    // Another trip through the host's float-free path lands on the same value.
    mParam.SetFromNormalized(mParam.GetValueNormalized());
    ASSERT_NEAR(mParam.GetValue(), v, 1e-12 * range) << n;
  }
}

TEST_P(EffectParamTest, DisplayedTextParsesBackToTheShownValue) {
  const EffectParam& e = GetParam();
  for (int i = 0; i <= 200; ++i) {
    const double v = e.minVal + (e.maxVal - e.minVal) * i / 200.0;
    const std::string text = Format(mParam, v);
    const double shown = std::round(v / e.step) * e.step;
    ASSERT_NEAR(mParam.ParseValue(text.c_str()), shown, e.step * 1e-6) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Tolvane, EffectParamTest, ::testing::ValuesIn(kEffectParams),
                         [](const ::testing::TestParamInfo<EffectParam>& info) {
                           std::string name = info.param.name;
                           name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                           return name;
                         });

TEST(IParamEffect, TwoValuedParametersKeepInBetweenValues) {
  // React and Bypass are plain doubles: a host's 0.5 is stored as such and shown rounded.
  IParam bypass;
  bypass.ConfigureDouble("Bypass", 0.0, 0.0, 1.0, 1.0);
  bypass.SetFromNormalized(0.5);
  EXPECT_EQ(bypass.GetValue(), 0.5);
  EXPECT_EQ(Format(bypass, bypass.GetValue()), "1");
}

// ---------------------------------------------------------------------------------------
// Concurrency

TEST(IParamConcurrency, ReadersNeverSeeATornValue) {
  // Two values that differ in both 32-bit halves of their representation, so a torn read
  // would produce a third value.
  const double a = 1.0 / 3.0;
  const double b = -123456.789e-100;
  uint64_t bitsA, bitsB;
  std::memcpy(&bitsA, &a, sizeof a);
  std::memcpy(&bitsB, &b, sizeof b);
  ASSERT_NE(bitsA >> 32, bitsB >> 32);
  ASSERT_NE(bitsA & 0xFFFFFFFFu, bitsB & 0xFFFFFFFFu);

  IParam p;
  p.ConfigureDouble("Shared", a, -1.0, 1.0, 1e-9);
  constexpr int kWrites = 200000;
  std::atomic<bool> go{false};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    while (!go.load()) {
    }
    for (int i = 0; i < kWrites; ++i) p.SetValue((i & 1) ? b : a);
    done.store(true);
  });

  long reads = 0, torn = 0;
  go.store(true);
  while (!done.load() || reads < 1000) {
    const double v = p.GetValue();
    if (v != a && v != b) ++torn;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(p.GetValue(), b) << "the last write (odd index) wins";
}

}  // namespace
}  // namespace kantele
