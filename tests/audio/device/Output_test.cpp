// The output backends below the device: callback statistics, the null device and device naming.
#include "audio/output/DeviceList.h"
#include "audio/soundlib/NullDevice.h"
#include "audio/soundlib/OutputStats.h"
#include "audio/soundlib/PortAudioLibrary.h"
#include "audio/soundlib/PortAudioOutput.h"
#include "support/JackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <regex>
#include <thread>

using namespace brindle::soundlib;

TEST(OutputStats, PercentilesCountsAndSummaryLine) {
    OutputStats stats;
    // 98 quick callbacks of 0.2 ms, one of 3 ms, one of 12 ms against a 10 ms block (a miss).
    for (int i = 0; i < 98; ++i) stats.Record(200'000, 10'000'000, false);
    stats.Record(3'000'000, 10'000'000, false);
    stats.Record(12'000'000, 10'000'000, true);
    EXPECT_EQ(stats.Callbacks(), 100);
    EXPECT_EQ(stats.Misses(), 1);
    EXPECT_NEAR(stats.PercentileMs(0.50), 0.201, 0.0015);
    EXPECT_NEAR(stats.PercentileMs(0.99), 3.001, 0.0015);
    EXPECT_DOUBLE_EQ(stats.MaxMs(), 12.0);
    EXPECT_DOUBLE_EQ(stats.BlockMs(), 10.0);
    EXPECT_EQ(stats.Summary(), "callbacks=100 misses=1 p50_ms=0.201 p99_ms=3.001 max_ms=12.000 block_ms=10.000");

    // Compute times beyond the histogram still count and still set the maximum.
    stats.Record(5'000'000'000LL, 10'000'000, true);
    EXPECT_DOUBLE_EQ(stats.MaxMs(), 5000.0);
    EXPECT_LE(stats.PercentileMs(1.0), 5000.0);

    stats.Reset();
    EXPECT_EQ(stats.Summary(), "callbacks=0 misses=0 p50_ms=0.000 p99_ms=0.000 max_ms=0.000 block_ms=0.000");
}

TEST(NullDevice, ManualPullsBlocksOfTheBufferLengthAndSilencesTheUnwritten) {
    OutputRequest request;
    request.SampleRate = 44100;
    request.Channels = 2;
    int asked = 0;
    int calls = 0;
    NullDevice device(request, 10, [&](void* buf, int bytes) {
        asked = bytes;
        ++calls;
        std::memset(buf, 0x7f, 100); // writes only the first 100 bytes
        return 100;
    }, NullDevice::Pacing::Manual);
    EXPECT_EQ(device.BlockBytes(), 441 * 4);
    EXPECT_EQ(device.PullBlock(), -1) << "a device that is not started pulls nothing";
    EXPECT_EQ(calls, 0);

    device.Start();
    EXPECT_EQ(device.PullBlock(), 100);
    EXPECT_EQ(asked, 441 * 4);
    const auto& block = device.LastBlock();
    EXPECT_EQ(block[99], 0x7f);
    for (size_t i = 100; i < block.size(); ++i) ASSERT_EQ(block[i], 0) << "byte " << i;
    EXPECT_EQ(device.Stats().Callbacks(), 1);
    EXPECT_DOUBLE_EQ(device.Stats().BlockMs(), 10.0);

    device.Stop();
    EXPECT_EQ(device.PullBlock(), -1);
    EXPECT_EQ(calls, 1);
}

TEST(NullDevice, ExceptionsFromTheRenderFunctionBecomeSilence) {
    OutputRequest request;
    request.Channels = 1;
    NullDevice device(request, 5, [](void* buf, int) -> int {
        std::memset(buf, 0x55, 10);
        throw std::runtime_error("decoder broke");
    }, NullDevice::Pacing::Manual);
    device.Start();
    EXPECT_EQ(device.PullBlock(), 0);
    for (auto b : device.LastBlock()) ASSERT_EQ(b, 0);
}

TEST(NullDevice, RealTimeThreadKeepsPaceAndStopsPromptly) {
    OutputRequest request;
    std::atomic<int> calls{0};
    std::atomic<bool> afterStop{false};
    std::atomic<bool> stopped{false};
    NullDevice device(request, 10, [&](void*, int bytes) {
        if (stopped) afterStop = true;
        ++calls;
        return bytes;
    });
    device.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = std::chrono::steady_clock::now();
    device.Stop();
    stopped = true;
    const auto stopMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    // 300 ms of 10 ms blocks is about 30 pulls; the bounds only rule out free-running or stalling.
    EXPECT_GE(calls.load(), 10);
    EXPECT_LE(calls.load(), 45);
    EXPECT_LT(stopMs, 100) << "Stop waits at most one block";
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(afterStop.load()) << "no pull after Stop returned";
    EXPECT_EQ(device.Stats().Callbacks(), calls.load());
}

TEST(DeviceList, DefaultDeviceFirstThenEachDeviceByNumber) {
    TDeviceList list;
    list.SetDeviceDescription([](int i) -> std::string {
        if (i == 1) return "Speakers";
        if (i == 2) return "Headphones";
        return "";
    });
    list.GetDeviceNames();
    ASSERT_EQ(list.GetItems().size(), 3u);
    EXPECT_EQ(list.GetItems()[0], "Default Device");
    EXPECT_EQ(list.GetItems()[1], "Speakers");
    EXPECT_EQ(list.GetItems()[2], "Headphones");
    EXPECT_EQ(list.GetItemIndex(), 0);

    // Asking again starts from an empty list.
    list.SetDeviceDescription([](int) { return std::string(); });
    list.GetDeviceNames();
    EXPECT_EQ(list.GetItems(), std::vector<std::string>{"Default Device"});
}

TEST(DeviceList, LibraryNamesMatchTheDeviceNumbersTheOutputOpens) {
    // Whatever this machine has: list item i is output device i, and device 0 is the default.
    PortAudioLibrary library;
    if (!library.Ok()) GTEST_SKIP() << library.Error();
    EXPECT_EQ(library.ResolveOutputDevice(0), library.DefaultOutputDevice());
    EXPECT_EQ(library.ResolveOutputDevice(library.OutputDeviceCount() + 1), -1);
    EXPECT_EQ(library.OutputDeviceName(library.OutputDeviceCount() + 1), "");
    for (int i = 1; i <= library.OutputDeviceCount(); ++i) {
        EXPECT_GE(library.ResolveOutputDevice(i), 0);
        EXPECT_FALSE(library.OutputDeviceName(i).empty());
    }
}

// PortAudio is opened when first wanted, not linked: a stream on a real server (JACK's, with a
// dummy clock) is opened, pulled whole blocks from and stopped through the library loaded then.
TEST(PortAudioDevice, PlaysThroughAJackServerAndStops) {
    brindle::test::JackServer jack;
    ASSERT_TRUE(jack.Ready()) << jack.Why();
    PortAudioLibrary library;
    ASSERT_TRUE(library.Ok()) << library.Error();
    int device = 0;
    for (int i = 1; i <= library.OutputDeviceCount() && device == 0; ++i)
        if (library.OutputDeviceName(i).find("system") != std::string::npos) device = i;
    ASSERT_GT(device, 0) << "the JACK server's playback ports are an output device";

    std::atomic<int> pulls{0}, badBlocks{0};
    PortAudioOutput output({44100, 2, device}, {100, 0}, [&](void* buffer, int bytes) {
        if (bytes <= 0 || bytes % 4 != 0) ++badBlocks;
        std::memset(buffer, 0, size_t(bytes));
        ++pulls;
        return bytes;
    });
    output.Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pulls < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(pulls.load(), 5);
    EXPECT_FALSE(output.Lost());
    output.Stop();
    const int stoppedAt = pulls;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(pulls.load(), stoppedAt) << "no pull after Stop returned";
    EXPECT_EQ(badBlocks.load(), 0);
    EXPECT_EQ(output.Stats().Callbacks(), stoppedAt);
}
