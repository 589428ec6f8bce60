// brindle-cli against odd values, odd text and odd files: load warnings, non-UTF-8 JSON, option
// ranges, special paths, links and long names, kept permissions and interrupted renders.
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

const std::vector<std::string> NullAudio{"BRINDLE_AUDIO=null"};

void writeAll(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

bool hasStagedFile(const fs::path& folder) {
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(".brindle-", 0) == 0) return true;
    return false;
}

// Four rows at 120 BPM: half a second of silence.
const char* ShortModule = R"(<halyard.module BPM="120"><Order Index="0" PatternIndex="1"/>
<Pattern Index="0" RowCount="4"/></halyard.module>)";

const std::string SavedPattern = "<Pattern Index=\"0\" RowCount=\"4\" />";

class CliSafety : public ::testing::Test {
  protected:
    TempDir dir;
    std::string shortModule() {
        const auto path = dir / "short.hym";
        writeAll(path, ShortModule);
        return path.string();
    }
};

TEST_F(CliSafety, EveryCommandNamesTheValuesItChanged) {
    const auto module = dir / "odd.hym";
    writeAll(module, R"(<halyard.module BPM="1e-30"><Order Index="0" PatternIndex="1"/>
        <Pattern Index="0" RowCount="1"><Step x="0" y="0" ins="1" pitch="150"/></Pattern>
        <Instrument Index="2" Name="kick" Pitch="200" Stretch="1" Volume="1"/></halyard.module>)");
    const std::string pitch = "warning: Instrument 3 (kick): Pitch 200 is out of range; using 48\n";
    const std::string cell = "warning: Pattern 1, Step x=0 y=0: pitch 150 is out of range; using 48\n";
    const std::string tempo = "warning: BPM 1e-30 is out of range; using 1\n";
    const std::vector<std::vector<std::string>> commands = {
        {"info", module.string()},
        {"info", "--json", module.string()},
        {"save", module.string(), (dir / "saved.hym").string()},
        {"render", module.string(), (dir / "out.pcm").string()},
        {"play", module.string(), "--seconds", "0.05"},
    };
    for (const auto& args : commands) {
        const auto r = RunCli(args, NullAudio);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(tempo + cell + pitch), std::string::npos) << args[0] << ": " << r.err;
    }
    // The saved module holds the values in range: it loads without a word.
    const auto again = RunCli({"info", (dir / "saved.hym").string()});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_NE(again.out.find("1 BPM"), std::string::npos) << again.out;
}

TEST_F(CliSafety, JsonIsProducedForTextThatIsNotUtf8) {
    const std::string latin1Folder = "\xe9t\xe9"; // "été" in Latin-1
    fs::create_directories(dir / latin1Folder);
    writeAll(dir / latin1Folder / "a.wav", "x");
    const auto module = dir / latin1Folder / "latin.hym";
    writeAll(module, "<halyard.module><Instrument Index=\"0\" Name=\"Caf\xe9 \xff\" FileName=\"a.wav\"/>"
                     "</halyard.module>");
    const auto r = RunCli({"info", "--json", module.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["instruments"][0]["name"], "Caf\xef\xbf\xbd \xef\xbf\xbd");
    EXPECT_EQ(j["instruments"][0]["file"], (dir /
                                            "\xef\xbf\xbd"
                                            "t\xef\xbf\xbd" /
                                            "a.wav")
                                               .string());
    // The readable summary keeps the bytes as they are.
    EXPECT_NE(RunCli({"info", module.string()}).out.find("Caf\xe9"), std::string::npos);
}

TEST_F(CliSafety, OptionValuesOutsideTheirRangesAreUsageErrors) {
    const auto module = shortModule();
    const auto out = (dir / "o.wav").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"play", module, "--seconds", "1e-50"}, "--seconds"},
        {{"play", module, "--seconds", "0"}, "--seconds"},
        {{"play", module, "--seconds", "1e9"}, "--seconds"},
        {{"play", module, "--seconds", "nan"}, "--seconds"},
        {{"play", module, "--buffer", "0"}, "--buffer"},
        {{"play", module, "--buffer", "99999999999"}, "--buffer"},
        {{"play", module, "--from", "101"}, "--from"},
        {{"play", module, "--device", "-1"}, "--device"},
        {{"render", module, out, "--tail", "1e30"}, "--tail"},
        {{"render", module, out, "--tail", "-1"}, "--tail"},
        {{"render", module, out, "--tail", "3601"}, "--tail"},
        {{"render", module, out, "--tail"}, "--tail"},
        {{"render", module, out, "--bitrate", "7"}, "--bitrate"},
        {{"render", module, out, "--bitrate", "321"}, "--bitrate"},
        {{"render", module, out, "--bitrate", "128.5"}, "--bitrate"},
        {{"render", module, out, "--stretch-quality", "turbo"}, "--stretch-quality"},
        {{"render", module, out, "--stretch-quality"}, "--stretch-quality"},
    };
    for (const auto& [args, option] : refused) {
        const auto r = RunCli(args, NullAudio);
        EXPECT_EQ(r.exitCode, 2) << args[args.size() - 2] << " " << args.back();
        EXPECT_EQ(r.err.rfind("brindle-cli " + args[0] + ": " + option, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("usage: brindle-cli " + args[0]), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(out));
    // The ends of the ranges are taken.
    EXPECT_EQ(RunCli({"render", module, out, "--tail", "3600"}).exitCode, 0);
    EXPECT_EQ(RunCli({"render", module, out, "--stretch-quality", "best"}).exitCode, 0);
    EXPECT_EQ(RunCli({"play", module, "--seconds", "0.001", "--buffer", "2000"}, NullAudio).exitCode, 0);
}

TEST_F(CliSafety, AModulePathThatIsNotAFileSaysWhatItIs) {
    ASSERT_EQ(::mkfifo((dir / "pipe.hym").c_str(), 0644), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir.path().string(), " is a folder, not a module file"},
        {(dir / "pipe.hym").string(), " is a named pipe (FIFO), not a module file"},
        {"/dev/null", " is a device, not a module file"},
    };
    for (const auto& [path, said] : cases)
        for (const std::string command : {"info", "render", "play"}) {
            const auto r = command == "render" ? RunCli({command, path, (dir / "o.wav").string()})
                                               : RunCli({command, path}, NullAudio);
            EXPECT_EQ(r.exitCode, 1) << command << " " << path;
            EXPECT_EQ(r.err, "brindle-cli: XML Load: " + path + said + "\n");
        }
}

TEST_F(CliSafety, SavesAndRendersGoThroughLinksAndRefuseSpecialFiles) {
    const auto module = shortModule();
    fs::create_directories(dir / "songs");
    writeAll(dir / "songs" / "real.hym", "old");
    fs::create_symlink("songs/real.hym", dir / "link.hym");
    ASSERT_EQ(RunCli({"save", module, (dir / "link.hym").string()}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.hym"));
    EXPECT_NE(brindle::test::ReadAll(dir / "songs" / "real.hym").find(SavedPattern), std::string::npos);

    writeAll(dir / "songs" / "real.wav", "old");
    fs::create_symlink("songs/real.wav", dir / "link.wav");
    ASSERT_EQ(RunCli({"render", module, (dir / "link.wav").string()}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
    EXPECT_EQ(brindle::test::ReadAll(dir / "songs" / "real.wav").substr(0, 4), "RIFF");

    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0644), 0);
    for (const std::string command : {"save", "render"}) {
        // Opening a pipe without a reader would block: the refusal comes first.
        const auto r = RunCli({command, module, (dir / "pipe.wav").string()});
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_NE(r.err.find("it is a named pipe (FIFO), not a regular file"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.wav"));
    EXPECT_FALSE(hasStagedFile(dir.path()));
    EXPECT_FALSE(hasStagedFile(dir / "songs"));
}

TEST_F(CliSafety, LongestFileNamesAndKeptPermissions) {
    const auto module = shortModule();
    const auto longModule = dir / (std::string(251, 'm') + ".hym");
    const auto longWav = dir / (std::string(240, 'w') + ".wav");
    ASSERT_EQ(RunCli({"save", module, longModule.string()}).exitCode, 0);
    ASSERT_EQ(RunCli({"render", longModule.string(), longWav.string()}).exitCode, 0);
    EXPECT_NE(brindle::test::ReadAll(longModule).find(SavedPattern), std::string::npos);
    EXPECT_EQ(brindle::test::ReadAll(longWav).substr(0, 4), "RIFF");

    for (const std::string name : {"kept.wav", "kept.pcm", "kept.hym"}) {
        writeAll(dir / name, "old");
        fs::permissions(dir / name, fs::perms(0604));
        const auto r = name.ends_with(".hym") ? RunCli({"save", module, (dir / name).string()})
                                              : RunCli({"render", module, (dir / name).string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(brindle::test::ReadAll(dir / name), "old");
        EXPECT_EQ(fs::status(dir / name).permissions(), fs::perms(0604)) << name;
    }
}

class InterruptedRender : public CliSafety, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(InterruptedRender, RemovesItsStagedFileAndExitsAsTheShellExpects) {
    const auto [signal, exitCode] = GetParam();
    // Hundreds of hours of song: the render is interrupted long before it could end.
    std::string xml = "<halyard.module BPM=\"1\"><Pattern Index=\"0\" RowCount=\"500\"/>";
    for (int i = 0; i < 100; ++i)
        xml += "<Order Index=\"" + std::to_string(i) + "\" PatternIndex=\"1\"/>";
    writeAll(dir / "long.hym", xml + "</halyard.module>");
    fs::create_directories(dir / "out");
    const auto out = dir / "out" / "song.wav";
    writeAll(out, "old");

    RunningProcess render(CliArgs({"render", (dir / "long.hym").string(), out.string()}));
    ASSERT_TRUE(render.Started());
    // Interrupt once the render writes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!hasStagedFile(dir / "out") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(hasStagedFile(dir / "out")) << "the render never started writing";
    render.Signal(signal);
    const auto r = render.Wait();

    EXPECT_EQ(r.exitCode, exitCode) << r.err;
    EXPECT_NE(r.err.find("interrupted; " + out.string() + " was not written"), std::string::npos) << r.err;
    EXPECT_FALSE(hasStagedFile(dir / "out"));
    EXPECT_EQ(brindle::test::ReadAll(out), "old");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRender,
                         ::testing::Values(std::make_pair(SIGINT, 130), std::make_pair(SIGTERM, 143)));

} // namespace
