// brindle-cli info shows the channels whose volume, balance or mute differ from a new song's.
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

using brindle::test::RunCli;
using brindle::test::TempDir;

namespace {

const char* ChannelModule = R"(<halyard.module BPM="120">
   <Order Index="0" PatternIndex="1" />
   <Pattern Index="0" RowCount="8"><Step x="2" y="0" ins="1" pitch="0" /></Pattern>
   <Channel Index="2" Volume="0.5" Pan="-1" Mute="TRUE" />
   <Channel Index="9" Volume="2" Pan="0.25" />
   <Channel Index="4" Volume="1" Pan="0" Mute="false" />
</halyard.module>
)";

TEST(CliChannels, JsonListsChangedChannelsWithOneBasedNumbers) {
    TempDir dir;
    const auto module = (dir / "ch.hym").string();
    std::ofstream(module, std::ios::binary) << ChannelModule;
    const auto r = RunCli({"info", "--json", module});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["channels"], nlohmann::json::parse(R"([{"number":3,"volume":0.5,"pan":-1.0,"muted":true},
                                                       {"number":10,"volume":2.0,"pan":0.25,"muted":false}])"));
}

TEST(CliChannels, TextListsChangedChannelsAndNothingForADefaultSong) {
    TempDir dir;
    const auto module = (dir / "ch.hym").string();
    std::ofstream(module, std::ios::binary) << ChannelModule;
    const auto r = RunCli({"info", module});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Channels:\n  3: volume 0.5 (-6.0 dB), balance -1 (left), muted\n"
                         "  10: volume 2 (+6.0 dB), balance 0.25 (right)\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("  5: volume"), std::string::npos) << "a default channel is not listed";

    const auto plain = (dir / "plain.hym").string();
    std::ofstream(plain, std::ios::binary) << "<halyard.module BPM=\"120\"/>";
    const auto p = RunCli({"info", plain});
    EXPECT_EQ(p.out.find("Channels:"), std::string::npos) << p.out;
    const auto pj = nlohmann::json::parse(RunCli({"info", "--json", plain}).out);
    EXPECT_EQ(pj["channels"], nlohmann::json::array());
}

TEST(CliChannels, SaveKeepsChannelsThroughTheCli) {
    TempDir dir;
    const auto module = (dir / "ch.hym").string();
    std::ofstream(module, std::ios::binary) << ChannelModule;
    const auto out = (dir / "out.hym").string();
    const auto s = RunCli({"save", module, out});
    ASSERT_EQ(s.exitCode, 0) << s.err;
    const auto a = nlohmann::json::parse(RunCli({"info", "--json", module}).out);
    const auto b = nlohmann::json::parse(RunCli({"info", "--json", out}).out);
    ASSERT_EQ(a["channels"].size(), 2u);
    EXPECT_EQ(a["channels"], b["channels"]);
}

} // namespace
