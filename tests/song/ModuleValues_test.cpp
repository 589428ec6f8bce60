#include "song/ModuleValues.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>

using brindle::test::TempDir;

namespace {

class ModuleValues : public ::testing::Test {
  protected:
    TempDir dir;

    std::unique_ptr<cSequencer> load(const std::string& xml) {
        const auto path = dir / "m.hym";
        std::ofstream(path, std::ios::binary) << xml;
        auto s = std::make_unique<cSequencer>();
        s->LoadFile(path.string());
        return s;
    }
    // Instrument 3, in range but for the one attribute given.
    std::unique_ptr<cSequencer> loadInstrument(const std::string& attribute, const std::string& text) {
        std::string xml = "<halyard.module><Instrument Index='2' Name='kick'";
        for (const char* name : {"Volume", "Stretch", "Pitch"})
            xml += std::string(" ") + name + "='" +
                   (name == attribute ? text
                    : name[0] == 'P'  ? "0"
                                      : "1") +
                   "'";
        return load(xml + "/></halyard.module>");
    }
};

struct InstrumentCase {
    const char* Attribute;
    const char* Text;
    float Expected;
    const char* Warning;
};

TEST_F(ModuleValues, InstrumentValuesAreBroughtIntoRangeAndNamedOnce) {
    const InstrumentCase cases[] = {
        {"Pitch", "200", 48, "Instrument 3 (kick): Pitch 200 is out of range; using 48"},
        {"Pitch", "1e30", 48, "Instrument 3 (kick): Pitch 1e30 is out of range; using 48"},
        {"Pitch", "1e999", 48, "Instrument 3 (kick): Pitch 1e999 is out of range; using 48"},
        {"Pitch", "-200", -48, "Instrument 3 (kick): Pitch -200 is out of range; using -48"},
        {"Pitch", "-250", -48, "Instrument 3 (kick): Pitch -250 is out of range; using -48"},
        {"Pitch", "nan", 0, "Instrument 3 (kick): Pitch nan is not a finite number; using 0"},
        {"Pitch", "-inf", 0, "Instrument 3 (kick): Pitch -inf is not a finite number; using 0"},
        {"Stretch", "1e-5", 0.01f, "Instrument 3 (kick): Stretch 1e-5 is out of range; using 0.01"},
        {"Stretch", "1e-4", 0.01f, "Instrument 3 (kick): Stretch 1e-4 is out of range; using 0.01"},
        {"Stretch", "1e-50", 0.01f, "Instrument 3 (kick): Stretch 1e-50 is out of range; using 0.01"},
        {"Stretch", "0", 1, "Instrument 3 (kick): Stretch 0 is out of range; using 1"},
        {"Stretch", "-3", 1, "Instrument 3 (kick): Stretch -3 is out of range; using 1"},
        {"Stretch", "1000", 100, "Instrument 3 (kick): Stretch 1000 is out of range; using 100"},
        {"Stretch", "inf", 1, "Instrument 3 (kick): Stretch inf is not a finite number; using 1"},
        {"Volume", "1e9", 16, "Instrument 3 (kick): Volume 1e9 is out of range; using 16"},
        {"Volume", "-1", 0, "Instrument 3 (kick): Volume -1 is out of range; using 0"},
        {"Volume", "NaN", 1, "Instrument 3 (kick): Volume NaN is not a finite number; using 1"},
        {"Volume", "loud", 1, "Instrument 3 (kick): Volume \"loud\" is not a number; using 1"},
    };
    for (const auto& c : cases) {
        auto s = loadInstrument(c.Attribute, c.Text);
        const auto& ins = s->InstrumentAt(3);
        const float got = std::string(c.Attribute) == "Pitch"     ? ins.Pitch
                          : std::string(c.Attribute) == "Stretch" ? ins.Stretch
                                                                  : ins.Volume;
        EXPECT_EQ(got, c.Expected) << c.Attribute << "=" << c.Text;
        const auto warnings = s->TakeLoadWarnings();
        ASSERT_EQ(warnings.size(), 1u) << c.Attribute << "=" << c.Text;
        EXPECT_EQ(warnings[0], c.Warning);
        EXPECT_TRUE(s->TakeLoadWarnings().empty()) << "taking empties the list";
    }
}

TEST_F(ModuleValues, TempoIsBroughtIntoRange) {
    const std::pair<const char*, float> cases[] = {
        {"1e-30", 1.0f}, {"0.5", 1.0f}, {"nan", 120.0f}, {"inf", 120.0f},
        {"-5", 120.0f},  {"0", 120.0f}, {"501", 500.0f},
    };
    for (const auto& [text, expected] : cases) {
        auto s = load(std::string("<halyard.module BPM='") + text + "'/>");
        EXPECT_EQ(s->BPM, expected) << text;
        const auto warnings = s->TakeLoadWarnings();
        ASSERT_EQ(warnings.size(), 1u) << text;
        EXPECT_EQ(warnings[0].rfind(std::string("BPM ") + text, 0), 0u) << warnings[0];
    }
    // A module that does not say its tempo plays at 120 without a word.
    auto quiet = load("<halyard.module/>");
    EXPECT_EQ(quiet->BPM, 120.0f);
    EXPECT_TRUE(quiet->TakeLoadWarnings().empty());
}

TEST_F(ModuleValues, CellPitchesAreWholeSemitonesInRange) {
    auto s = load(R"(<halyard.module><Pattern Index="1" RowCount="16">
        <Step x="0" y="0" ins="1" pitch="150"/>
        <Step x="0" y="1" ins="1" pitch="-250.9"/>
        <Step x="0" y="2" ins="1" pitch="nan"/>
        <Step x="0" y="3" ins="1" pitch="48.9"/>
        <Step x="0" y="4" ins="1" pitch="-12"/>
    </Pattern></halyard.module>)");
    const auto& p = s->PatternAt(2);
    EXPECT_EQ(p.Cell(0, 0).pitch, 48.0f);
    EXPECT_EQ(p.Cell(0, 1).pitch, -48.0f);
    EXPECT_EQ(p.Cell(0, 2).pitch, 0.0f);
    EXPECT_EQ(p.Cell(0, 3).pitch, 48.0f); // truncated first, so within range
    EXPECT_EQ(p.Cell(0, 4).pitch, -12.0f);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(p.Cell(0, row).ins, 1);
    const std::vector<std::string> expected = {
        "Pattern 2, Step x=0 y=0: pitch 150 is out of range; using 48",
        "Pattern 2, Step x=0 y=1: pitch -250.9 is out of range; using -48",
        "Pattern 2, Step x=0 y=2: pitch nan is not a finite number; using 0",
    };
    EXPECT_EQ(s->TakeLoadWarnings(), expected);
}

TEST_F(ModuleValues, EffectValuesMustBeFinite) {
    auto s =
        load("<halyard.module Reverb_Level='inf' Eq1='nan' Eq2='-7.5' Compressor_Thres='0.25' Eq0='1e300'/>");
    EXPECT_EQ(s->Effects.ReverbLevel, 0.0f);
    EXPECT_EQ(s->Effects.Eq[1], 0.0f);
    EXPECT_EQ(s->Effects.Eq[2], -7.5f);
    EXPECT_EQ(s->Effects.CompressorThres, 0.25f);
    EXPECT_EQ(s->Effects.Eq[0], std::numeric_limits<float>::max());
    const std::vector<std::string> expected = {"Reverb_Level inf is not a finite number; using 0",
                                               "Eq0 1e300 is out of range; using 3.4028235e+38",
                                               "Eq1 nan is not a finite number; using 0"};
    EXPECT_EQ(s->TakeLoadWarnings(), expected);
}

TEST_F(ModuleValues, SkippedEntriesAndLengthsAreNamed) {
    auto s = load(R"(<halyard.module>
        <Order Index="100" PatternIndex="1"/>
        <Pattern Index="0" RowCount="9000"><Step x="100" y="0" ins="1"/><Step x="0" y="0" ins="101"/></Pattern>
        <Instrument Index="-1" Name="x"/>
    </halyard.module>)");
    EXPECT_EQ(s->PatternAt(1).RowCount, MaxRowCount);
    const std::vector<std::string> expected = {
        "Order: Index 100 is outside 0..99; skipped",
        "Pattern 1: RowCount 9000 is out of range; using 500",
        "Pattern 1, Step: x 100 is outside 0..99; skipped",
        "Pattern 1, Step x=0 y=0: ins 101 is outside -1..100; skipped",
        "Instrument: Index -1 is outside 0..99; skipped",
    };
    EXPECT_EQ(s->TakeLoadWarnings(), expected);
}

TEST_F(ModuleValues, AModuleWithinRangeLoadsWithoutWarnings) {
    auto s = load(R"(<halyard.module BPM="500" Compressor_Enabled="-1" Compressor_Thres="0.5" Eq0="-2.5">
        <Order Index="0" PatternIndex="1"/>
        <Pattern Index="0" RowCount="500"><Step x="0" y="0" ins="1" pitch="-48"/><Step x="1" y="0" ins="-1" pitch="0"/></Pattern>
        <Instrument Index="0" Name="a" Volume="16" Stretch="0.01" Pitch="48" StopPrev="true"/>
        <Instrument Index="1" Name="b" Volume="0" Stretch="100" Pitch="-48"/>
        <Instrument Index="2" Name="c"/>
    </halyard.module>)");
    EXPECT_TRUE(s->TakeLoadWarnings().empty());
    EXPECT_EQ(s->InstrumentAt(1).Stretch, 0.01f);
    EXPECT_EQ(s->InstrumentAt(2).Stretch, 100.0f);
    EXPECT_EQ(s->InstrumentAt(3).Stretch, 1.0f); // absent
    // The demo module is within range too.
    auto demo = std::make_unique<cSequencer>();
    demo->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    EXPECT_TRUE(demo->TakeLoadWarnings().empty());
}

TEST_F(ModuleValues, EachLoadStartsAFreshListAndFloodsAreSummed) {
    std::string xml = "<halyard.module><Pattern Index='0' RowCount='200'>";
    for (int row = 0; row < 120; ++row)
        xml += "<Step x='0' y='" + std::to_string(row) + "' ins='1' pitch='99'/>";
    xml += "</Pattern></halyard.module>";
    auto s = load(xml);
    const auto warnings = s->TakeLoadWarnings();
    ASSERT_EQ(warnings.size(), brindle::module::TLoadWarnings::Limit + 1);
    EXPECT_EQ(warnings.back(), "... and 70 more values changed or skipped");
    for (int row = 0; row < 120; ++row)
        EXPECT_EQ(s->PatternAt(1).Cell(0, row).pitch, 48.0f);

    // A new load forgets the last one's warnings, taken or not.
    load("<halyard.module BPM='0'/>");
    s->LoadFile((dir / "m.hym").string());
    EXPECT_EQ(s->TakeLoadWarnings().size(), 1u);
}

} // namespace
