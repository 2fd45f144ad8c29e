// The bundle's description as the build writes it: port symbols and units from parameter names
// and labels, and the Turtle of a configuration whose parameters take every path of the writer
// (an enumeration with scale points, an integer, a known and a custom unit, a switch whose
// symbol collides with an audio port's), with a mono variant and an editor.

#include <gtest/gtest.h>

#include <string>

#include "kantele/lv2/Lv2Description.h"

namespace kantele::test {
namespace {

// A symbol is the name's letters and digits in lower case, runs of anything else one '_'; a unit
// is the vocabulary's for the label, or none.
TEST(Lv2DescriptionTest, SymbolsAndUnitsOfNamesAndLabels) {
  const struct {
    const char* text;
    const char* symbol;
    const char* unit;
  } cases[] = {
      // clang-format off
      {"Input Gain", "input_gain", ""},   {"  Wet--Mix! ", "wet_mix", ""},
      {"3 Band", "_3_band", ""},          {"Gain\xC3\xA4x", "gain_x", ""},
      {"!!!", "param", ""},               {"", "param", ""},
      {nullptr, "param", ""},             {"%", "param", "units:pc"},
      {"dB", "db", "units:db"},           {"db", "db", ""},
      {"kHz", "khz", "units:khz"},        {"st", "st", "units:semitone12TET"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "null");
    EXPECT_EQ(Lv2SymbolOf(c.text), c.symbol);
    EXPECT_STREQ(Lv2UnitOf(c.text), c.unit);
  }
}

class Lv2TurtleTest : public ::testing::Test {
 protected:
  static Config ProbeConfig() {
    Config c;
    c.mNParams = 5;
    c.mChannelIOStr = "1-1 2-2";
    c.mPluginName = "Probe Box";
    c.mMfrName = "Test Maker";
    c.mVendorVersion = 0x00010203;
    c.mPlugHasUI = true;
    c.mEffectCategory = "Reverb";
    return c;
  }

  Lv2TurtleTest() {
    IParam& mode = *mPlug.GetParam(0);
    mode.SetKind(kKindEnum);
    mode.ConfigureDouble("Mode", 1., 0., 2., 1.);
    mode.AddDisplayText(0., "Clean");
    mode.AddDisplayText(2., "Hot \"x\"");
    IParam& steps = *mPlug.GetParam(1);
    steps.SetKind(kKindInt);
    steps.ConfigureDouble("Steps", 4., 1., 8., 1.);
    mPlug.GetParam(2)->ConfigureDouble("Drive", 2.5, 0., 10., 0.01, "furlongs");
    mPlug.GetParam(3)->ConfigureDouble("Level", 0., -60., 6., 0.1, "dB");
    mPlug.GetParam(4)->ConfigureDouble("In L", 0., 0., 1., 1., "on");
  }

  Config mConfig = ProbeConfig();
  ILv2Adapter mPlug{{InstanceInfo::kRoleProcessor, 0}, mConfig};
};

TEST_F(Lv2TurtleTest, PluginDescriptionNamesEveryPortAsTheModelHasIt) {
  const std::string ttl = Lv2PluginTtl(mPlug, mConfig, "Probe.so");
  const char* expected[] = {
      "<urn:test-maker:probe-box>\n  a lv2:Plugin, lv2:ReverbPlugin ;\n  doap:name \"Probe Box\" ;",
      "<urn:test-maker:probe-box:mono>\n  a lv2:Plugin, lv2:ReverbPlugin ;\n"
      "  doap:name \"Probe Box Mono\" ;",
      // The enumeration: integer, its listed values as scale points (a value without a text
      // gets an empty label), quotes escaped.
      "    lv2:index 0 ;\n    lv2:symbol \"mode\" ;\n    lv2:name \"Mode\" ;\n"
      "    lv2:default 1.0 ;\n    lv2:minimum 0.0 ;\n    lv2:maximum 2.0 ;\n"
      "    lv2:portProperty lv2:integer, lv2:enumeration ;\n"
      "    lv2:scalePoint [ rdfs:label \"Clean\" ; rdf:value 0.0 ] ;\n"
      "    lv2:scalePoint [ rdfs:label \"\" ; rdf:value 1.0 ] ;\n"
      "    lv2:scalePoint [ rdfs:label \"Hot \\\"x\\\"\" ; rdf:value 2.0 ]\n  ] ;",
      "    lv2:symbol \"steps\" ;\n    lv2:name \"Steps\" ;\n    lv2:default 4.0 ;\n"
      "    lv2:minimum 1.0 ;\n    lv2:maximum 8.0 ;\n    lv2:portProperty lv2:integer\n  ] ;",
      "    lv2:maximum 10.0 ;\n    units:unit [ a units:Unit ; rdfs:label \"furlongs\" ; "
      "units:symbol \"furlongs\" ; units:render \"%f furlongs\" ]\n  ] ;",
      "    lv2:minimum -60.0 ;\n    lv2:maximum 6.0 ;\n    units:unit units:db\n  ] ;",
      // A switch is a toggle without a unit; its symbol is made unique against the audio ports.
      "    lv2:symbol \"in_l_2\" ;\n    lv2:name \"In L\" ;\n    lv2:default 0.0 ;\n"
      "    lv2:minimum 0.0 ;\n    lv2:maximum 1.0 ;\n    lv2:portProperty lv2:toggled\n  ] ;",
      "    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index 8 ;\n    lv2:symbol \"out_r\" ;\n"
      "    lv2:name \"Output R\"\n  ] .",
      "    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index 6 ;\n    lv2:symbol \"out\" ;\n"
      "    lv2:name \"Output\"\n  ] .",
      "<urn:test-maker:probe-box:ui>\n  a ui:X11UI ;\n  ui:binary <Probe.so> ;",
      // Hosts make a window the user may not resize follow the editor's own size requests.
      "  lv2:optionalFeature ui:resize, ui:touch, ui:noUserResize ;",
  };
  for (const char* snippet : expected) {
    EXPECT_NE(ttl.find(snippet), std::string::npos) << snippet << "\nin\n" << ttl;
  }
}

TEST_F(Lv2TurtleTest, ManifestListsEveryVariantAndTheEditorWhenThereIsOne) {
  const std::string manifest = Lv2ManifestTtl(mConfig, "Probe.so", "Probe Box.ttl");
  for (const char* uri : {"<urn:test-maker:probe-box>", "<urn:test-maker:probe-box:mono>"}) {
    EXPECT_NE(manifest.find(std::string(uri) + "\n  a lv2:Plugin ;\n  lv2:binary <Probe.so> ;\n"
                                               "  rdfs:seeAlso <Probe Box.ttl> ."),
              std::string::npos)
        << manifest;
  }
  EXPECT_NE(manifest.find("<urn:test-maker:probe-box:ui>\n  a ui:X11UI ;"), std::string::npos);
  mConfig.mPlugHasUI = false;
  EXPECT_EQ(Lv2ManifestTtl(mConfig, "Probe.so", "Probe Box.ttl").find("X11UI"), std::string::npos);
}

}  // namespace
}  // namespace kantele::test
