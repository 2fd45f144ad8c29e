#include "render/ParamLookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/RenderError.h"

namespace tolvane {
namespace render {
namespace {

// As Tolvane reports them: cut to 7 characters, "Output " with its trailing space.
const std::vector<std::string> kTolvane = {"Input G", "Wet",     "Tame", "React",
                                           "Bypass",  "Output ", "Bias"};

// The message of the usage error `f` throws, or a failure.
template <typename F>
std::string UsageError(F f) {
  try {
    f();
  } catch (const RenderError& e) {
    EXPECT_EQ(e.Code(), kExitUsage);
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return "";
}

TEST(ParamLookupTest, NamesMatchExactlyThenAsIndicesThenAsPrefixes) {
  const ParamLookup lookup(kTolvane);
  EXPECT_EQ(lookup.Find("Input Gain"), 0);  // the reported name is a prefix
  EXPECT_EQ(lookup.Find("INPUT G"), 0);
  EXPECT_EQ(lookup.Find("Output Gain"), 5);
  EXPECT_EQ(lookup.Find("  out "), 5);  // a prefix of the reported name
  EXPECT_EQ(lookup.Find("bi"), 6);
  EXPECT_EQ(lookup.Find("6"), 6);
  EXPECT_NE(UsageError([&] { lookup.Find("7"); }).find("out of range"), std::string::npos);
  EXPECT_NE(UsageError([&] { lookup.Find("99999999999999999999"); }).find("out of range"),
            std::string::npos);
  // An exact name wins over an index and over longer names it is a prefix of.
  EXPECT_EQ(ParamLookup({"Other", "1"}).Find("1"), 1);
  EXPECT_EQ(ParamLookup({"Gain 2", "Gain", "Gain L"}).Find("gain"), 1);
  // Empty reported names never match by prefix.
  EXPECT_EQ(ParamLookup({"", "Mix"}).Find("M"), 1);
}

TEST(ParamLookupTest, AmbiguousAndUnknownNamesListTheCandidates) {
  const ParamLookup lookup(kTolvane);
  const std::string ambiguous = UsageError([&] { lookup.Find("B"); });
  EXPECT_NE(ambiguous.find("ambiguous"), std::string::npos) << ambiguous;
  EXPECT_NE(ambiguous.find("'Bypass' (4)"), std::string::npos) << ambiguous;
  EXPECT_NE(ambiguous.find("'Bias' (6)"), std::string::npos) << ambiguous;
  EXPECT_EQ(ambiguous.find("Wet"), std::string::npos) << ambiguous;

  const std::string unknown = UsageError([&] { lookup.Find("Drive"); });
  EXPECT_NE(unknown.find("unknown parameter 'Drive'"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find("'Output' (5)"), std::string::npos) << unknown;

  const ParamLookup twins({"Level", "level"});
  EXPECT_NE(UsageError([&] { twins.Find("LEVEL"); }).find("ambiguous"), std::string::npos);
  EXPECT_NE(UsageError([&] { lookup.Find("  "); }).find("empty"), std::string::npos);
}

TEST(ParamLookupTest, SettingsSplitIntoNameAndNumber) {
  ParamSetting s = ParamLookup::ParseSetting(" Output Gain = 150 ");
  EXPECT_EQ(s.name, "Output Gain");
  EXPECT_EQ(s.text, "150");
  EXPECT_FALSE(s.isNormalised);
  s = ParamLookup::ParseSetting("Input=-6.5e0");
  EXPECT_EQ(s.text, "-6.5e0");
  s = ParamLookup::ParseSetting("Wet=0.25n");
  EXPECT_TRUE(s.isNormalised);
  EXPECT_EQ(s.normalised, 0.25f);
  s = ParamLookup::ParseSetting("3=1n");
  EXPECT_EQ(s.name, "3");
  EXPECT_EQ(s.normalised, 1.0f);
  // Kept in double precision, as a VST3 plug-in takes it.
  EXPECT_EQ(ParamLookup::ParseSetting("Wet=0.7n").normalised, 0.7);
}

TEST(ParamLookupTest, MalformedSettingsAreUsageErrors) {
  const char* const bad[] = {"Wet",       "=5",      "Wet=",      "Wet=abc",  "Wet=On",
                             "Wet=nan",   "Wet=inf", "Wet=1e999", "Wet=0x10", "Wet=1.5n",
                             "Wet=-0.1n", "Wet=n",   "Mix=a=b",   "Wet=5 5"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    const std::string message = UsageError([&] { ParamLookup::ParseSetting(text); });
    EXPECT_FALSE(message.empty());
  }
}

TEST(ParamLookupTest, AutomationListsSplitIntoTimedValues) {
  const ParamAutomation a =
      ParamLookup::ParseAutomation(" Output Gain = 0:100, 0.05 : 20 ,0.05:0.5n");
  EXPECT_EQ(a.name, "Output Gain");
  ASSERT_EQ(a.points.size(), 3u);
  const struct {
    double seconds;
    const char* text;
    bool isNormalised;
  } expected[] = {{0.0, "100", false}, {0.05, "20", false}, {0.05, "0.5n", true}};
  for (size_t i = 0; i < a.points.size(); ++i) {
    EXPECT_EQ(a.points[i].seconds, expected[i].seconds) << i;
    EXPECT_EQ(a.points[i].value.text, expected[i].text) << i;
    EXPECT_EQ(a.points[i].value.isNormalised, expected[i].isNormalised) << i;
    EXPECT_EQ(a.points[i].value.name, "Output Gain") << i;
  }
  EXPECT_EQ(a.points[2].value.normalised, 0.5);
  EXPECT_EQ(ParamLookup::ParseAutomation("4=1e-3:-6").points[0].seconds, 0.001);
}

TEST(ParamLookupTest, MalformedAutomationListsNameTheirFault) {
  const struct {
    const char* text;
    const char* fault;
  } bad[] = {
      {"Wet", "NAME=TIME:VALUE"},      {"=0:1", "names no parameter"},
      {"Wet=", "empty point"},         {"Wet=0:1,", "empty point"},
      {"Wet=0:1,,1:2", "empty point"}, {"Wet=0", "not TIME:VALUE"},
      {"Wet=0:", "gives no value"},    {"Wet=:5", "bad time"},
      {"Wet=1s:5", "bad time"},        {"Wet=inf:5", "bad time"},
      {"Wet=-0.5:5", "negative time"}, {"Wet=0.2:1,0.1:2", "times must ascend"},
      {"Wet=0:abc", "bad value"},      {"Wet=0:2n", "0..1"},
      {"Wet=0:1:2", "bad value"},
  };
  for (const auto& c : bad) {
    const std::string message = UsageError([&] { ParamLookup::ParseAutomation(c.text); });
    EXPECT_NE(message.find(c.fault), std::string::npos) << c.text << ": " << message;
  }
}

}  // namespace
}  // namespace render
}  // namespace tolvane
