#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using brindle::test::RunCli;
using brindle::test::TempDir;

namespace {

void writeAll(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

const char* SmallModule = R"(<halyard.module BPM="120" Compressor_Enabled="-1" Compressor_Thres="0.5" Reverb_Level="0.1" Eq0="-2.5" Eq1="0.8">
   <Order Index="0" PatternIndex="2" />
   <Order Index="1" PatternIndex="1" />
   <Order Index="3" PatternIndex="1" />
   <Pattern Index="0" RowCount="8"><Step x="0" y="0" ins="1" pitch="0" /></Pattern>
   <Pattern Index="1" RowCount="16">
      <Step x="3" y="2" ins="2" pitch="-5" />
      <Step x="0" y="200" ins="-1" pitch="0" />
   </Pattern>
   <Instrument Index="0" FileName="kick.wav" Name="Kick" Volume="0.8" Stretch="1" Pitch="0" StopPrev="false" />
   <Instrument Index="1" FileName="/nowhere/snare.wav" Name="Snare" Volume="1" Stretch="2" Pitch="1.5" StopPrev="true" />
</halyard.module>
)";

class Cli : public ::testing::Test {
protected:
    TempDir dir;
    std::string module;
    void SetUp() override {
        module = (dir / "small.hym").string();
        writeAll(module, SmallModule);
        writeAll(dir / "kick.wav", "not really audio");
    }
};

TEST_F(Cli, JsonHoldsTheWholeSongWithShortFloats) {
    const auto r = RunCli({"info", "--json", module});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["bpm"], 120);
    EXPECT_EQ(j["effects"]["compressor"]["enabled"], true);
    EXPECT_EQ(j["effects"]["compressor"]["threshold"], 0.5);
    EXPECT_EQ(j["effects"]["reverb"]["enabled"], false);
    EXPECT_EQ(j["effects"]["eq"]["bands"], nlohmann::json({-2.5, 0.8, 0.0}));
    // The bands as heard: the panel's bars run upside down.
    EXPECT_EQ(j["effects"]["eq"]["gainsDb"], nlohmann::json({2.5, -0.8, 0.0}));
    const auto text = RunCli({"info", module});
    EXPECT_NE(text.out.find("(+2.5 dB, -0.8 dB, +0.0 dB)"), std::string::npos) << text.out;
    EXPECT_NE(r.out.find("0.8,"), std::string::npos) << "floats print shortest: " << r.out;
    EXPECT_EQ(j["orders"], nlohmann::json::parse(R"([{"position":1,"pattern":2},{"position":2,"pattern":1},
                                                     {"position":4,"pattern":1}])"));
    ASSERT_EQ(j["patterns"].size(), 2u);
    EXPECT_EQ(j["patterns"][1]["number"], 2);
    EXPECT_EQ(j["patterns"][1]["rows"], 16);
    EXPECT_EQ(j["patterns"][1]["steps"], nlohmann::json::parse(R"([{"channel":0,"row":200,"ins":-1,"pitch":0.0},
                                                                  {"channel":3,"row":2,"ins":2,"pitch":-5.0}])"));
    ASSERT_EQ(j["instruments"].size(), 2u);
    EXPECT_EQ(j["instruments"][0]["file"], (dir / "kick.wav").string());
    EXPECT_EQ(j["instruments"][0]["volume"], 0.8);
    EXPECT_EQ(j["instruments"][1]["stopPrev"], true);
    EXPECT_EQ(j["instruments"][1]["pitch"], 1.5);
    EXPECT_DOUBLE_EQ(j["songLengthSeconds"].get<double>(), (16 + 8) * 0.125);
}

TEST_F(Cli, SummaryFlagsMissingInstrumentFiles) {
    const auto r = RunCli({"info", module});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("120 BPM"), std::string::npos);
    EXPECT_NE(r.out.find("3.00 s"), std::string::npos);
    EXPECT_NE(r.out.find("/nowhere/snare.wav  [MISSING]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("kick.wav  [MISSING]"), std::string::npos);
}

TEST_F(Cli, SaveRewritesAModuleThatReadsBackTheSame) {
    const auto out = (dir / "copy.hym").string();
    const auto r = RunCli({"save", module, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(RunCli({"info", "--json", out}).out, RunCli({"info", "--json", module}).out);
}

TEST_F(Cli, ErrorsAreOneLineAndNonZero) {
    writeAll(dir / "broken.hym", "<halyard.module><Pattern");
    writeAll(dir / "html.hym", "<html><body/></html>");
    writeAll(dir / "binary.hym", std::string("\x00\xff\xfe garbage", 11));
    const std::vector<std::vector<std::string>> failing = {
        {"info", (dir / "missing.hym").string()},
        {"info", (dir / "broken.hym").string()},
        {"info", "--json", (dir / "html.hym").string()},
        {"info", (dir / "binary.hym").string()},
        {"info", dir.path().string()},
        {"save", module, (dir / "no" / "folder" / "x.hym").string()},
    };
    for (const auto& args : failing) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << args.back();
        EXPECT_TRUE(r.out.empty()) << args.back();
        ASSERT_FALSE(r.err.empty()) << args.back();
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.err.rfind("brindle-cli: ", 0), 0u) << r.err;
    }
    EXPECT_NE(RunCli(failing[0]).err.find("XML Load: file doesn't exist"), std::string::npos);
    EXPECT_NE(RunCli(failing[2]).err.find("html"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST_F(Cli, UsageErrorsAndHelp) {
    EXPECT_EQ(RunCli({}).exitCode, 2);
    EXPECT_EQ(RunCli({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunCli({"info"}).exitCode, 2);
    EXPECT_EQ(RunCli({"info", "--xml", module}).exitCode, 2);
    EXPECT_EQ(RunCli({"save", module}).exitCode, 2);
    const auto help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("info"), std::string::npos);
    EXPECT_NE(help.out.find("save"), std::string::npos);
    const auto infoHelp = RunCli({"info", "--help"});
    EXPECT_EQ(infoHelp.exitCode, 0);
    EXPECT_NE(infoHelp.out.find("usage: brindle-cli info"), std::string::npos);
}

} // namespace
