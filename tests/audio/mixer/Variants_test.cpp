// Prepared tempo/pitch variants: the same sound a live stretched voice makes, without SoundTouch
// work when the note starts.
#include "audio/mixer/LiveMixer.h"
#include "audio/mixer/SampleCache.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

// Plays one note through a fresh mixer until it is over; returns the left channel.
std::vector<double> playNote(TLiveMixer& mixer, const std::string& file, float speed, float pitch) {
    EXPECT_TRUE(mixer.AddToMix(file, speed, 1.0f, pitch, 0, 1));
    std::vector<std::int16_t> all, block(441 * 2);
    while (mixer.VoiceCount() > 0 && all.size() < size_t(Rate) * 4) {
        mixer.PopData(block.data(), int(block.size() * 2));
        all.insert(all.end(), block.begin(), block.end());
    }
    return bt::ChannelOf(all, 2, 0);
}

TEST(Variants, SoundLikeTheLiveVoiceAndEndOnTheSameBlock) {
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "a.wav", 440, 0.5, Rate, 2).string();
    const struct {
        float speed, pitch, hz, seconds;
    } cases[] = {{1.0f, 12.0f, 880, 0.5f}, {2.0f, 0.0f, 440, 0.25f}, {0.8f, -5.0f, 440 * std::pow(2.0f, -5 / 12.0f), 0.625f}};
    for (const auto& c : cases) {
        TLiveMixer live(8, Rate, 2, 4096, false);
        live.GetSampleCache()->Load(file);
        const auto heardLive = playNote(live, file, c.speed, c.pitch);

        TLiveMixer prepared(8, Rate, 2, 4096, false);
        const auto variant = prepared.GetSampleCache()->LoadVariant(file, c.speed, c.pitch);
        EXPECT_NEAR(variant->Seconds(), c.seconds, 1e-3);
        const auto heard = playNote(prepared, file, c.speed, c.pitch);

        EXPECT_EQ(heard.size(), heardLive.size()) << c.speed << " " << c.pitch;
        const size_t end = size_t(c.seconds * Rate) - 2000;
        EXPECT_NEAR(bt::ZeroCrossingHz(heard, Rate, 2000, end), c.hz, c.hz * 0.01);
        EXPECT_NEAR(bt::Rms(heard, 2000, end), bt::Rms(heardLive, 2000, end), bt::Rms(heardLive, 2000, end) * 0.05);
    }
}

TEST(Variants, AreKeyedByTheirSettingsAndDroppedWhenTheFileChanges) {
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "b.wav", 220, 0.2, Rate, 2).string();
    brindle::SampleCache cache(Rate, 2);
    const auto base = cache.Load(file);
    EXPECT_EQ(cache.LoadVariant(file, 1.0f, 0.0f), base); // neutral is the sample itself
    EXPECT_EQ(cache.LoadVariant(file, 0.0f, 0.0f), base);  // as a voice treats speed 0
    EXPECT_EQ(cache.VariantBytes(), 0u);
    const auto up = cache.LoadVariant(file, 1.0f, 3.0f);
    EXPECT_EQ(cache.LoadVariant(file, 1.0f, 3.0f), up); // prepared once
    EXPECT_EQ(cache.FindVariant(base.get(), 1.0f, 3.0f), up);
    EXPECT_EQ(cache.FindVariant(base.get(), 1.0f, 4.0f), nullptr);
    EXPECT_EQ(cache.VariantBytes(), up->Pcm.size() * 2);

    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a visibly newer modification time
    bt::WriteSineWav(file, 330, 0.3, Rate, 2);
    const auto reloaded = cache.Load(file);
    EXPECT_NE(reloaded, base);
    EXPECT_EQ(cache.FindVariant(base.get(), 1.0f, 3.0f), nullptr);
    EXPECT_EQ(cache.VariantBytes(), 0u);
}

} // namespace

TEST(Variants, DraftsPlayTheQuickStretcherUntilTheFinerOneReplacesThem) {
    using brindle::soundlib::StretchQuality;
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "d.wav", 440, 0.3, Rate, 2).string();
    const auto madeWith = [&](StretchQuality Quality) {
        brindle::SampleCache cache(Rate, 2);
        cache.SetStretchQuality(Quality);
        return cache.LoadVariant(file, 0.5f, 3.0f)->Pcm;
    };
    const auto quick = madeWith(StretchQuality::Standard);
    const auto fine = madeWith(StretchQuality::Best);
    ASSERT_NE(quick, fine);

    brindle::SampleCache cache(Rate, 2);
    cache.SetStretchQuality(StretchQuality::Best);
    const auto draft = cache.LoadDraftVariant(file, 0.5f, 3.0f);
    ASSERT_NE(draft, nullptr);
    EXPECT_TRUE(draft->Draft);
    EXPECT_EQ(draft->Pcm, quick);
    EXPECT_EQ(cache.LoadDraftVariant(file, 0.5f, 3.0f), draft); // found as it is
    const auto base = cache.Find(file);
    EXPECT_EQ(cache.FindVariant(base.get(), 0.5f, 3.0f), draft);

    const auto refined = cache.LoadVariant(file, 0.5f, 3.0f);
    EXPECT_FALSE(refined->Draft);
    EXPECT_EQ(refined->Pcm, fine);
    EXPECT_EQ(cache.FindVariant(base.get(), 0.5f, 3.0f), refined);
    EXPECT_EQ(cache.LoadDraftVariant(file, 0.5f, 3.0f), refined); // a finer one is never undone
    EXPECT_EQ(cache.VariantBytes(), refined->Pcm.size() * 2);
    // The voice that held the draft still has all of it.
    EXPECT_EQ(draft->Pcm, quick);

    // With the standard stretcher a draft is already the final note.
    brindle::SampleCache plain(Rate, 2);
    EXPECT_FALSE(plain.LoadDraftVariant(file, 0.5f, 3.0f)->Draft);
}
