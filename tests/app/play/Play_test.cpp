// brindle-cli play and devices on the null device: exit codes, how play ends, the statistics line.
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using brindle::test::RunCli;

namespace {

// One order of 16 rows at 120 BPM: two seconds of song.
const char* Module = R"(<halyard.module BPM="%BPM%">
   <Order Index="0" PatternIndex="1" />
   <Pattern Index="0" RowCount="16"><Step x="0" y="0" ins="1" pitch="0" /><Step x="0" y="8" ins="1" pitch="0" /></Pattern>
   <Instrument Index="0" FileName="tone.wav" Name="Tone" Volume="1" Stretch="1" Pitch="0" StopPrev="false" />
</halyard.module>
)";

class Play : public ::testing::Test {
protected:
    brindle::test::TempDir dir;
    std::string WriteModule(const std::string& name, int bpm) {
        brindle::test::WriteSineWav(dir / "tone.wav", 440, 0.3, 44100, 2);
        std::string text = Module;
        text.replace(text.find("%BPM%"), 5, std::to_string(bpm));
        const auto path = (dir / name).string();
        std::ofstream(path) << text;
        return path;
    }
};

const std::vector<std::string> NullAudio{"BRINDLE_AUDIO=null"};

struct StatsLine {
    long callbacks = -1, misses = -1;
    double p50 = -1, p99 = -1, max = -1, block = -1;
};

bool ParseStats(const std::string& out, StatsLine& s) {
    static const std::regex line(
        R"((^|\n)callbacks=(\d+) misses=(\d+) p50_ms=(\d+\.\d{3}) p99_ms=(\d+\.\d{3}) max_ms=(\d+\.\d{3}) block_ms=(\d+\.\d{3})\n$)");
    std::smatch m;
    if (!std::regex_search(out, m, line)) return false;
    s = {std::stol(m[2]), std::stol(m[3]), std::stod(m[4]), std::stod(m[5]), std::stod(m[6]), std::stod(m[7])};
    return true;
}

} // namespace

TEST_F(Play, UsageErrorsAndMissingModules) {
    const auto module = WriteModule("song.hym", 120);
    EXPECT_EQ(RunCli({"play"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--buffer"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--buffer", "0"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--buffer", "ten"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--seconds", "-1"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--from", "0"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--device", "-2"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, "--loud"}, NullAudio).exitCode, 2);
    EXPECT_EQ(RunCli({"play", module, module}, NullAudio).exitCode, 2);

    const auto missing = RunCli({"play", (dir / "nothing.hym").string()}, NullAudio);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("nothing.hym"), std::string::npos) << missing.err;
    const auto empty = RunCli({"play", module, "--from", "5"}, NullAudio);
    EXPECT_EQ(empty.exitCode, 1) << empty.err;
}

TEST_F(Play, PlaysTheSongToItsEndAtRealTimePaceAndPrintsStatistics) {
    const auto module = WriteModule("song.hym", 120);
    const auto t0 = std::chrono::steady_clock::now();
    const auto r = RunCli({"play", module, "--buffer", "10", "--stats"}, NullAudio);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    StatsLine s;
    ASSERT_TRUE(ParseStats(r.out, s)) << r.out;
    EXPECT_DOUBLE_EQ(s.block, 10.0);
    // Two seconds of song in 10 ms blocks, and a few more while the end is noticed.
    EXPECT_GE(s.callbacks, 195);
    EXPECT_LE(s.callbacks, 260);
    EXPECT_LE(s.p50, s.p99);
    EXPECT_LE(s.p99, s.max);
    EXPECT_GE(wall, 1.9) << "the null device keeps real-time pace";
    // Said once, on stderr.
    const std::string note = "playing without a sound card";
    ASSERT_NE(r.err.find(note), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(note, r.err.find(note) + 1), std::string::npos) << r.err;
}

TEST_F(Play, SecondsLimitEndsPlayingAfterThatMuchOutput) {
    const auto module = WriteModule("slow.hym", 30); // an eight-second song
    const auto r = RunCli({"play", module, "--seconds", "0.5", "--buffer", "20", "--stats"}, NullAudio);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    StatsLine s;
    ASSERT_TRUE(ParseStats(r.out, s)) << r.out;
    EXPECT_DOUBLE_EQ(s.block, 20.0);
    EXPECT_GE(s.callbacks, 25) << "0.5 s is 25 blocks of output";
    EXPECT_LE(s.callbacks, 40);
    // Without --stats nothing is printed on stdout (it is not a terminal here).
    const auto quiet = RunCli({"play", module, "--seconds", "0.1"}, NullAudio);
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
}

TEST_F(Play, CtrlCStopsCleanly) {
    const auto module = WriteModule("slow.hym", 30);
    int errPipe[2];
    ASSERT_EQ(pipe(errPipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<std::string> env{"BRINDLE_AUDIO=null"};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("BRINDLE_AUDIO=", 0) != 0) env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{BRINDLE_CLI, "play", module, "--stats"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, BRINDLE_CLI, &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(errPipe[1]);
    // The note about the sound card comes once the output runs: interrupt then.
    std::string err;
    char buf[256];
    while (err.find("without a sound card") == std::string::npos) {
        const ssize_t n = read(errPipe[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << "play ended before it started: " << err;
        err.append(buf, size_t(n));
    }
    usleep(200'000);
    kill(pid, SIGINT);
    for (ssize_t n; (n = read(errPipe[0], buf, sizeof buf)) > 0;) err.append(buf, size_t(n));
    close(errPipe[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of stopping: " << err;
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(err.find("stopped"), std::string::npos) << err;
}

TEST(Devices, ListsTheDefaultDeviceFirst) {
    const auto r = RunCli({"devices"}, NullAudio);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0: Default Device\n");
    EXPECT_EQ(RunCli({"devices", "extra"}, NullAudio).exitCode, 2);
    // Without the null device request the list still starts with the default device.
    const auto real = RunCli({"devices"});
    EXPECT_EQ(real.exitCode, 0);
    EXPECT_EQ(real.out.rfind("0: Default Device\n", 0), 0u) << real.out;
}
