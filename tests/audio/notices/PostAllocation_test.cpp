// Posting a notice, and the audio-thread call sites that post one, allocate nothing.
#include "support/CountingAllocator.h"

#include "audio/nodes/AudioFile.h"
#include "audio/output/Device.h"
#include "audio/nodes/PlayStream.h"
#include "base/realtime/UiNotice.h"
#include "audio/soundlib/NullDevice.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace brindle::soundlib;
using brindle::test::AllocationScope;

TEST(NoticeAllocation, PostingAllocatesNothingFromAnyThread) {
    int runs = 0;
    brindle::UiNotice first([&] { ++runs; });
    brindle::UiNotice second([&] { ++runs; });
    std::atomic<bool> go{false}, release{false};
    std::atomic<int> done{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&] {
            while (!go.load()) std::this_thread::yield();
            for (int k = 0; k < 1000; ++k) {
                first.Post();
                second.Post();
            }
            ++done;
            // A finishing thread frees its own state: only after counting stopped.
            while (!release.load()) std::this_thread::yield();
        });
    std::uint64_t allocations = 0;
    {
        AllocationScope scope;
        go = true;
        while (done.load() < 3) std::this_thread::yield();
        allocations = scope.Count();
    }
    release = true;
    for (auto& p : posters) p.join();
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(brindle::DrainUiNotices(), 2);
    EXPECT_EQ(runs, 2);
}

TEST(NoticeAllocation, TheDeviceReachingItsTimeLimitOnTheAudioThreadAllocatesNothing) {
    TDevice device;
    // The real-time null device: its own thread runs the callback.
    device.SetOutputOpener([](const OutputRequest& request, RenderFunction render) {
        return OpenedOutput{std::make_unique<NullDevice>(request, 5, std::move(render)), ""};
    });
    device.SetTimeLimit(0.1f);
    int over = 0;
    std::thread::id overThread;
    device.OnTimeLimitOver = [&](TDevice*) {
        ++over;
        overThread = std::this_thread::get_id();
    };
    device.SetActive(true); // starting the stream thread allocates; its callbacks must not
    std::uint64_t allocations = 0;
    {
        AllocationScope scope;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!device.GetStopedFlag() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a few blocks after the limit
        allocations = scope.Count();
    }
    ASSERT_TRUE(device.GetStopedFlag());
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(over, 0) << "not raised on the audio thread";
    EXPECT_EQ(brindle::DrainUiNotices(), 1);
    EXPECT_EQ(over, 1);
    EXPECT_EQ(overThread, std::this_thread::get_id());
    device.SetActive(false);
}

TEST(NoticeAllocation, ThePreviewStreamReachingItsRangeEndAllocatesNothing) {
    brindle::test::TempDir dir;
    const auto path = (dir / "tone.wav").string();
    brindle::test::WriteSineWav(path, 440, 0.5, 10000, 1);
    NullDevice* out = nullptr;
    TPlayStream stream;
    stream.SetOutputOpener([&](const OutputRequest& request, RenderFunction render) {
        auto device = std::make_unique<NullDevice>(request, 10, std::move(render), NullDevice::Pacing::Manual);
        out = device.get();
        return OpenedOutput{std::move(device), ""};
    });
    stream.SetFileName(path);
    int over = 0;
    stream.OnOver = [&](TPlayStream*) { ++over; };
    stream.Play(0, 0.5f, false, true); // 25 blocks of 10 ms
    ASSERT_NE(out, nullptr);
    std::uint64_t allocations = 0;
    {
        AllocationScope scope;
        for (int b = 0; b < 30; ++b) out->PullBlock();
        allocations = scope.Count();
    }
    EXPECT_FALSE(stream.GetIsPlaying());
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(over, 0);
    EXPECT_EQ(brindle::DrainUiNotices(), 1);
    EXPECT_EQ(over, 1);
}

TEST(NoticeAllocation, AFileSourceReachingItsEndPostsWithoutAllocating) {
    brindle::test::TempDir dir;
    const auto path = (dir / "tone.wav").string();
    brindle::test::WriteSineWav(path, 440, 0.1, 44100, 2);
    TAudioFile node;
    node.SetFileName(path);
    int over = 0;
    node.OnOver = [&](TAudioX*) { ++over; };
    std::vector<std::int16_t> block(441 * 2);
    node.PopData(block.data(), int(block.size() * 2)); // the decoder's own warm-up
    std::uint64_t allocations = 0;
    {
        AllocationScope scope;
        for (int b = 0; b < 20; ++b) node.PopData(block.data(), int(block.size() * 2));
        allocations = scope.Count();
    }
    EXPECT_TRUE(node.GetOver());
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(over, 0);
    EXPECT_EQ(brindle::DrainUiNotices(), 1);
    EXPECT_EQ(over, 1);
}
