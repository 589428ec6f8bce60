#include "audio/mixer/SampleCache.h"
#include "base/Error.h"

#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace bt = brindle::test;

namespace {

TEST(SampleCache, LoadsOnceConvertedAndReloadsWhenTheFileChanges) {
    bt::TempDir dir;
    const auto path = (dir / "a.wav").string();
    bt::WriteSineWav(path, 300, 0.5, 22050, 1);
    brindle::SampleCache cache;
    const auto first = cache.Load(path);
    EXPECT_EQ(first->SampleRate, 44100);
    EXPECT_EQ(first->Channels, 2);
    EXPECT_NEAR(static_cast<double>(first->Frames()), 22050.0, 2.0);
    EXPECT_NEAR(bt::ZeroCrossingHz(bt::ChannelOf(first->Pcm, 2, 1), 44100), 300.0, 0.5);
    EXPECT_EQ(cache.Load(path), first) << "unchanged file: same data";
    EXPECT_EQ(cache.Find(path), first);

    bt::WriteSineWav(path, 600, 0.25, 44100, 2);
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    const auto second = cache.Load(path);
    EXPECT_NE(second, first);
    EXPECT_NEAR(static_cast<double>(second->Frames()), 11025.0, 1.0);
    EXPECT_EQ(cache.Find(path), second);
    EXPECT_EQ(first->Frames(), 22050) << "a voice still holding the old data keeps it intact";
    EXPECT_EQ(cache.Size(), 1u);
}

// The window's preload and an export decode the same file at once: both get one copy, and the
// variants made of it survive the other's load.
TEST(SampleCache, LoadsOfOneFileAtOnceKeepOneCopyAndItsVariants) {
    bt::TempDir dir;
    const auto path = (dir / "a.wav").string();
    bt::WriteSineWav(path, 440, 3.0, 44100, 2);
    for (int round = 0; round < 4; ++round) {
        brindle::SampleCache cache;
        std::shared_ptr<const brindle::SampleData> got[2];
        {
            std::jthread a([&] { got[0] = cache.Load(path); });
            std::jthread b([&] { got[1] = cache.Load(path); });
        }
        EXPECT_EQ(got[0], got[1]) << round;
        EXPECT_EQ(cache.Find(path), got[0]);
        ASSERT_NE(cache.LoadVariant(path, 1.0f, 2.0f), nullptr);
        cache.Load(path);
        EXPECT_NE(cache.FindVariant(cache.Find(path).get(), 1.0f, 2.0f), nullptr) << round;
    }
}

TEST(SampleCache, MissingAndCorruptFilesThrowAndKeepTheOldEntry) {
    bt::TempDir dir;
    brindle::SampleCache cache;
    EXPECT_THROW(cache.Load((dir / "none.wav").string()), brindle::Error);
    const auto path = (dir / "a.wav").string();
    bt::WriteSineWav(path, 300, 0.1, 44100, 2);
    const auto good = cache.Load(path);
    std::ofstream(path, std::ios::trunc) << "garbage";
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    EXPECT_THROW(cache.Load(path), brindle::Error);
    EXPECT_EQ(cache.Find(path), good);
    EXPECT_EQ(cache.Find((dir / "none.wav").string()), nullptr);
}

TEST(SampleCache, RemovedEntriesStayAliveWhileAVoiceHoldsThem) {
    bt::TempDir dir;
    const auto path = (dir / "a.wav").string();
    bt::WriteSineWav(path, 300, 0.1, 44100, 2);
    brindle::SampleCache cache;
    std::weak_ptr<const brindle::SampleData> watch;
    {
        auto held = cache.Load(path); // as a voice on the audio thread would
        watch = held;
        cache.Remove(path);
        EXPECT_FALSE(cache.Contains(path));
        cache.ReleaseRetired();
        EXPECT_FALSE(watch.expired()) << "still parked";
    }
    // The last holder let go without freeing: the cache frees it on a loading thread.
    EXPECT_FALSE(watch.expired());
    cache.ReleaseRetired();
    EXPECT_TRUE(watch.expired());
}

} // namespace
