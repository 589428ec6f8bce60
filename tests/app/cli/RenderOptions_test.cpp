// brindle-cli render's formats, parts, stems and loudness options: what they refuse, the files
// they write and the loudness line every render prints.
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

class RenderOptionsCli : public ::testing::Test {
  protected:
    TempDir dir;
    // Two orders of 8 rows at 120 BPM; channels 1 and 4 play "Kick" and "Hi/Hat", channel 2 only
    // stops.
    std::string module() {
        WriteSineWav(dir / "a.wav", 220, 0.3, 44100, 2, 16, 0.3);
        WriteSineWav(dir / "b.wav", 880, 0.2, 44100, 2, 16, 0.2);
        const auto path = dir / "song.hym";
        std::ofstream(path) << R"(<halyard.module BPM="120"><Order Index="0" PatternIndex="1"/>
<Order Index="1" PatternIndex="1"/><Pattern Index="0" RowCount="8">
<Step x="0" y="0" ins="1" pitch="0"/><Step x="3" y="2" ins="2" pitch="0"/><Step x="1" y="4" ins="-1" pitch="0"/></Pattern>
<Instrument Index="0" Name="Kick" FileName=")" +
                                   (dir / "a.wav").string() + R"(" Pitch="0" Stretch="1" Volume="1"/>
<Instrument Index="1" Name="Hi/Hat" FileName=")" +
                                   (dir / "b.wav").string() +
                                   R"(" Pitch="0" Stretch="1" Volume="1"/></halyard.module>)";
        return path.string();
    }
};

TEST_F(RenderOptionsCli, ValuesAndCombinationsItCannotWriteAreRefused) {
    const auto song = module();
    const auto out = (dir / "o.wav").string();
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;
    } rows[] = {
        {{"--bits", "8"}, 2, "--bits needs 16, 24 or 32f"},
        {{"--bits"}, 2, "--bits needs"},
        {{"--quality", "11"}, 2, "--quality needs"},
        {{"--from", "0"}, 2, "--from needs"},
        {{"--to", "101"}, 2, "--to needs"},
        {{"--from", "2", "--to", "1"}, 2, "--from must not come after --to"},
        {{"--normalize", "5"}, 2, "--normalize needs"},
        {{"--normalize", "loud"}, 2, "--normalize needs"},
        {{"--ceiling", "-1"}, 2, "--ceiling goes with --normalize"},
        {{"--normalize", "-14", "--ceiling", "3"}, 2, "--ceiling needs"},
        {{"--format", "flac"}, 2, "--format is for --stems"},
        {{"--stems", "--format", "aiff"}, 2, "--format needs"},
        {{"--stems", "--normalize", "-14"}, 2, "--normalize is for one file"},
        {{"--from", "3"}, 1, "The song has 2 order entries"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"render", song, out};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const auto r = RunCli(args);
        SCOPED_TRACE(row.args[0]);
        EXPECT_EQ(r.exitCode, row.code) << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    }
    for (const auto& [name, says] :
         std::vector<std::pair<std::string, std::string>>{{"o.flac", "FLAC has no float samples"},
                                                          {"o.ogg", "takes no bit depth"},
                                                          {"o.m4a", "File type - ..m4a"}}) {
        const auto r =
            RunCli({"render", song, (dir / name).string(), "--bits", name == "o.ogg" ? "24" : "32f"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / name));
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(RenderOptionsCli, EveryRenderPrintsItsLoudnessAndANormalizedOneItsGain) {
    const auto song = module();
    const std::regex line(R"(loudness: -?[0-9]+\.[0-9] LUFS, -?[0-9]+\.[0-9] dBTP\n)");
    auto r = RunCli({"render", song, (dir / "a.flac").string(), "--bits", "24"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, line)) << r.err;
    r = RunCli({"render", song, (dir / "n.wav").string(), "--normalize", "-20", "--from", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex(R"(normalised by [+-][0-9]+\.[0-9] dB\n)"))) << r.err;
    EXPECT_NE(r.err.find("loudness: -20.0 LUFS"), std::string::npos) << r.err;
}

TEST_F(RenderOptionsCli, ASilentSongIsWrittenAsItIsAndSaysSo) {
    const auto path = dir / "silent.hym";
    std::ofstream(path) << R"(<halyard.module BPM="120"><Order Index="0" PatternIndex="1"/>
<Pattern Index="0" RowCount="4"/></halyard.module>)";
    const auto r = RunCli({"render", path.string(), (dir / "s.wav").string(), "--normalize", "-14"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("the song is silent: nothing to normalise\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("loudness: -inf LUFS, -inf dBTP\n"), std::string::npos) << r.err;
    const auto samples = ReadAll(dir / "s.wav");
    ASSERT_GT(samples.size(), 44u + 4 * 22050);
    EXPECT_EQ(samples.find_first_not_of('\0', 44), std::string::npos);
    // No notes, no stems: said, and nothing written.
    const auto s = RunCli({"render", path.string(), (dir / "stems").string(), "--stems"});
    EXPECT_EQ(s.exitCode, 1);
    EXPECT_NE(s.err.find("no notes"), std::string::npos) << s.err;
}

TEST_F(RenderOptionsCli, StemsAreOneFilePerChannelWithNotesNamedAfterItsInstrument) {
    const auto song = module();
    const auto folder = dir / "stems";
    const auto r = RunCli({"render", song, folder.string(), "--stems", "--format", "flac", "--bits", "24"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    // Channel 2 has only a stop marker: no stem for it.
    EXPECT_EQ(names, (std::vector<std::string>{"01 Kick.flac", "04 Hi_Hat.flac"}));
    EXPECT_NE(r.err.find("loudness of the stems together: "), std::string::npos) << r.err;
    // A second run replaces them whole.
    ASSERT_EQ(RunCli({"render", song, folder.string(), "--stems", "--format", "flac"}).exitCode, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

} // namespace
