// Prepared variants belong to one load of one file: a file loaded where a freed one lived, or a
// file reloaded while its variant renders, never plays the other's render, and renders nobody can
// play do not hold the variant budget.
#include "audio/mixer/LiveMixer.h"
#include "audio/mixer/SampleCache.h"
#include "audio/soundlib/TempoStream.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

// The pitch a mixer plays File at, twice as fast and an octave up, from its left channel.
double PlayedHz(TLiveMixer& Mixer, const std::string& File) {
    EXPECT_TRUE(Mixer.AddToMix(File, 2.0f, 1.0f, 12.0f, 0, 1));
    std::vector<std::int16_t> all, block(441 * 2);
    for (int i = 0; i < 20; ++i) {
        Mixer.PopData(block.data(), int(block.size() * 2));
        all.insert(all.end(), block.begin(), block.end());
    }
    Mixer.Clear();
    const auto left = bt::ChannelOf(all, 2, 0);
    return bt::ZeroCrossingHz(left, Rate, 2000, 8000);
}

TEST(VariantGenerations, AFileLoadedWhereAFreedOneLivedNeverFindsItsVariant) {
    using brindle::soundlib::StretchQuality;
    bt::TempDir dir;
    // Same length, so each new sample record is the size of the freed one and the allocator tends
    // to hand back the same address.
    const auto a = bt::WriteSineWav(dir / "a.wav", 440, 2.0, Rate, 2).string();
    const auto b = bt::WriteSineWav(dir / "b.wav", 330, 2.0, Rate, 2).string();
    TLiveMixer mixer(8, Rate, 2, 4096, false);
    auto& cache = *mixer.GetSampleCache();
    cache.SetStretchQuality(StretchQuality::Best); // slow enough to remove a's file mid-render
    int reused = 0;
    constexpr int Rounds = 4;
    for (int round = 0; round < Rounds; ++round) {
        const brindle::SampleData* oldAddress = cache.Load(a).get();
        // The refiner renders a's note while a's instrument is cleared.
        std::thread refiner([&] { cache.LoadVariant(a, 2.0f, 12.0f); });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cache.Remove(a);
        refiner.join(); // its render, and with it the last hold on a's sample, is gone
        cache.ReleaseRetired();
        const auto loadedB = cache.Load(b);
        reused += loadedB.get() == oldAddress;
        EXPECT_EQ(cache.FindVariant(loadedB.get(), 2.0f, 12.0f), nullptr) << "round " << round;
        EXPECT_EQ(cache.VariantCount(), 0u);
        EXPECT_EQ(cache.VariantBytes(), 0u);
        // b plays at its own pitch (330 Hz an octave up), not a's render (880 Hz).
        EXPECT_NEAR(PlayedHz(mixer, b), 660.0, 10.0);
        cache.Remove(b);
        cache.ReleaseRetired();
    }
    // The allocator reused a's address for b, so the case above really happened (AddressSanitizer
    // never hands freed memory back so soon: there, no address can be mistaken for another).
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_GT(reused, 0);
#endif
    std::printf("address reused in %d of %d rounds\n", reused, Rounds);
}

TEST(VariantGenerations, ARenderFinishedAfterItsFileWasReloadedIsNotKeptNorCounted) {
    using brindle::soundlib::StretchQuality;
    bt::TempDir dir;
    // Long enough that the finer stretcher is still rendering when the file changes.
    const auto file = bt::WriteSineWav(dir / "r.wav", 440, 4.0, Rate, 2).string();
    brindle::SampleCache cache(Rate, 2);
    cache.SetStretchQuality(StretchQuality::Best);
    const auto oldBase = cache.Load(file);
    // Room for exactly one variant of this length.
    const std::size_t bytes = std::size_t(brindle::soundlib::ProcessedFrames(oldBase->Frames(), 0.5f)) * 2 * 2;
    cache.SetVariantBudget(bytes);

    std::shared_ptr<const brindle::SampleData> stale;
    std::thread refiner([&] { stale = cache.LoadVariant(file, 0.5f, 3.0f); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bt::WriteSineWav(file, 220, 4.0, Rate, 2); // the user saved a new take over it
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(2));
    const auto newBase = cache.Load(file);
    refiner.join();
    ASSERT_NE(newBase, oldBase);
    ASSERT_NE(stale, nullptr);
    EXPECT_EQ(cache.FindVariant(newBase.get(), 0.5f, 3.0f), nullptr) << "the old take's render is not the new one's";
    EXPECT_EQ(cache.FindVariant(oldBase.get(), 0.5f, 3.0f), nullptr);
    EXPECT_EQ(cache.VariantCount(), 0u);
    EXPECT_EQ(cache.VariantBytes(), 0u) << "the stale render holds no budget";

    // The whole budget is there for the new take's variant.
    cache.SetStretchQuality(StretchQuality::Standard);
    const auto fresh = cache.LoadVariant(file, 0.5f, 3.0f);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(cache.VariantBytes(), bytes);
    EXPECT_EQ(cache.FindVariant(newBase.get(), 0.5f, 3.0f), fresh);
}

TEST(VariantGenerations, BudgetStaysExactOverManyReloads) {
    bt::TempDir dir;
    const auto file = (dir / "loop.wav").string();
    brindle::SampleCache cache(Rate, 2);
    for (int round = 0; round < 12; ++round) {
        bt::WriteSineWav(file, 200 + 20 * round, 0.2, Rate, 2);
        std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() +
                                                   std::chrono::seconds(round + 1));
        const auto base = cache.Load(file);
        const auto v1 = cache.LoadVariant(file, 1.5f, 2.0f);
        const auto v2 = cache.LoadVariant(file, 0.75f, -2.0f);
        ASSERT_TRUE(v1 && v2);
        EXPECT_EQ(cache.VariantCount(), 2u) << round;
        EXPECT_EQ(cache.VariantBytes(), (v1->Pcm.size() + v2->Pcm.size()) * 2) << round;
        EXPECT_NE(v1->Generation, base->Generation);
    }
}

TEST(VariantGenerations, GenerationsNeverRepeat) {
    std::uint64_t last = brindle::SampleCache::NextGeneration();
    for (int i = 0; i < 1000; ++i) {
        const auto next = brindle::SampleCache::NextGeneration();
        ASSERT_GT(next, last);
        last = next;
    }
}

} // namespace
