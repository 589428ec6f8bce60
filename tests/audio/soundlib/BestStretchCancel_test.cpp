// The finer stretcher stops at its next chunk when its cancel flag is set, so whoever stops a
// refinement never waits for a whole render.
#include "audio/soundlib/BestStretch.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int Rate = 44100;

TEST(BestStretchCancel, AFlagSetBeforehandStopsAtTheFirstChunk) {
    const auto pcm = brindle::test::SineTone(330, 1.0, Rate, 2);
    std::atomic<bool> cancel{true};
    EXPECT_THROW(brindle::soundlib::StretchBest(pcm.data(), Rate, 2, Rate, 0.7f, 1.0f, Rate * 10 / 7, &cancel),
                 brindle::soundlib::StretchCancelled);
}

TEST(BestStretchCancel, AFlagSetMidRenderStopsItAndAClearFlagChangesNothing) {
    const auto pcm = brindle::test::SineTone(330, 6.0, Rate, 2);
    const std::int64_t frames = Rate * 6, out = frames * 2;
    std::atomic<bool> cancel{false};
    std::atomic<bool> threw{false}, finished{false};
    std::thread render([&] {
        try {
            brindle::soundlib::StretchBest(pcm.data(), frames, 2, Rate, 0.5f, 2.0f, out, &cancel);
            finished = true;
        } catch (const brindle::soundlib::StretchCancelled&) {
            threw = true;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    cancel = true;
    render.join();
    EXPECT_TRUE(threw) << "twelve seconds of finer stretching did not finish in 30 ms";
    EXPECT_FALSE(finished);

    // Same short render with a flag never set, and without one: the same samples.
    const auto shortPcm = brindle::test::SineTone(330, 0.5, Rate, 2);
    std::atomic<bool> never{false};
    const auto with = brindle::soundlib::StretchBest(shortPcm.data(), Rate / 2, 2, Rate, 0.5f, 2.0f, Rate, &never);
    const auto without = brindle::soundlib::StretchBest(shortPcm.data(), Rate / 2, 2, Rate, 0.5f, 2.0f, Rate);
    EXPECT_EQ(with, without);
}

} // namespace
