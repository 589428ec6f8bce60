// Values a hand-edited module can carry, reaching the engine directly: every one plays at the
// nearest playable setting, in bounded time and memory.
#include "audio/mixer/LiveMixer.h"
#include "audio/mixer/SampleCache.h"
#include "audio/soundlib/TempoStream.h"
#include "support/CountingAllocator.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace bt = brindle::test;
using brindle::soundlib::TempoStream;

namespace {

constexpr int Rate = 44100;
constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

struct SineSource {
    std::vector<std::int16_t> Pcm = bt::SineTone(200, 0.5, Rate, 2);
    std::size_t Next = 0;
    static int Pull(void* User, std::int16_t* Buf, int Frames) {
        auto* self = static_cast<SineSource*>(User);
        const auto left = (self->Pcm.size() - self->Next) / 2;
        const auto take = std::min<std::size_t>(left, static_cast<std::size_t>(Frames));
        std::copy_n(self->Pcm.begin() + static_cast<std::ptrdiff_t>(self->Next), take * 2, Buf);
        self->Next += take * 2;
        return static_cast<int>(take);
    }
};

// Pitch 200 or 1e30 used to feed SoundTouch for ever (it emits nothing), -200 to grow its buffers
// to gigabytes, -250 to write out of bounds in its transposer.
TEST(EngineBounds, EveryTempoStreamReadReturnsWhateverTheSettings) {
    const struct {
        float Tempo, Pitch;
    } cases[] = {{0, 200}, {0, 1e30f}, {0, -200},     {0, -250},  {0, 150},   {0, NaN},
                 {0, Inf}, {0, -Inf},  {-99.999f, 0}, {1e32f, 0}, {NaN, NaN}, {-99.99f, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "tempo " << c.Tempo << "% pitch " << c.Pitch);
        SineSource source;
        TempoStream stream(Rate, 2);
        stream.SetSource({&SineSource::Pull, &source, Rate, 2});
        stream.SetPadWithSilence(true);
        stream.Set(c.Tempo, c.Pitch);
        stream.Restart();
        EXPECT_LE(std::abs(stream.GetPitchSemitones()), 48.0f);
        EXPECT_GE(stream.GetTempoPercent(), -99.0f);
        EXPECT_LE(stream.GetTempoPercent(), 9900.0f);
        std::vector<std::int16_t> out(1024 * 2);
        std::int64_t delivered = 0;
        for (int i = 0; i < 2; ++i) {
            const int got = stream.Read(out.data(), 1024);
            EXPECT_GE(got, 0);
            EXPECT_LE(got, 1024);
            delivered += got;
        }
        EXPECT_GT(delivered, 0) << "a padded stream always delivers";
    }
}

struct NoteRig {
    bt::TempDir Dir;
    std::string File;
    explicit NoteRig(double Seconds) {
        File = bt::WriteSineWav(Dir / "n.wav", 200, Seconds, Rate, 2).string();
    }

    // Blocks of 441 frames the note sounds for, pulled until it ends (at most Limit blocks).
    int BlocksPlayed(float Stretch, float Pitch, std::vector<std::int16_t>* Heard = nullptr,
                     int Limit = 2000) {
        TLiveMixer mixer(4);
        mixer.GetSampleCache()->Load(File);
        EXPECT_TRUE(mixer.AddToMix(File, Stretch, 1.0f, Pitch, 0.0f, 1));
        std::vector<std::int16_t> block(441 * 2);
        int blocks = 0;
        while (mixer.VoiceCount() > 0 && blocks < Limit) {
            mixer.PopData(block.data(), 441 * 4);
            if (Heard) Heard->insert(Heard->end(), block.begin(), block.end());
            ++blocks;
        }
        EXPECT_TRUE(mixer.TakeProblems().empty());
        return blocks;
    }
};

TEST(EngineBounds, MixerPlaysOutOfRangeNotesAtTheNearestPlayableSetting) {
    NoteRig rig(0.01); // 441 frames
    // Speed 1e-5 plays at 0.01: 100 times as long, 44100 frames, not 44 million.
    EXPECT_EQ(rig.BlocksPlayed(1e-5f, 0.0f), 100);
    EXPECT_EQ(rig.BlocksPlayed(1e-4f, 0.0f), 100);
    EXPECT_EQ(rig.BlocksPlayed(1e30f, 0.0f), 1);
    EXPECT_EQ(rig.BlocksPlayed(NaN, NaN), 1) << "not a number plays as recorded";
    EXPECT_EQ(rig.BlocksPlayed(Inf, 0.0f), 1);
    for (const float pitch : {200.0f, 150.0f, 1e30f, -200.0f, -250.0f, -Inf})
        EXPECT_EQ(rig.BlocksPlayed(1.0f, pitch), 1) << pitch << ": transposing keeps the length";
}

TEST(EngineBounds, AnExtremePitchSoundsAtTheBound) {
    NoteRig rig(0.3);
    std::vector<std::int16_t> heard;
    rig.BlocksPlayed(1.0f, 200.0f, &heard);
    // 200 Hz four octaves up.
    EXPECT_NEAR(bt::ZeroCrossingHz(bt::ChannelOf(heard, 2, 0), Rate, 3000, 10000), 3200.0, 30.0);
}

TEST(EngineBounds, VariantsOfOutOfRangeValuesAreTheClampedOnes) {
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "v.wav", 200, 0.3, Rate, 2).string();
    brindle::SampleCache cache(Rate, 2);
    const auto base = cache.Load(file);
    const auto slow = cache.LoadVariant(file, 1e-5f, 0.0f);
    ASSERT_NE(slow, nullptr);
    EXPECT_EQ(slow->Frames(), base->Frames() * 100);
    EXPECT_EQ(cache.LoadVariant(file, 1e-4f, 0.0f), slow) << "both are speed 0.01: prepared once";
    EXPECT_EQ(cache.FindVariant(base.get(), 0.01f, 0.0f), slow);

    const auto high = cache.LoadVariant(file, 1.0f, 200.0f);
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(high->Frames(), base->Frames());
    EXPECT_EQ(cache.LoadVariant(file, 1.0f, 150.0f), high);
    EXPECT_EQ(cache.LoadVariant(file, 1.0f, 1e30f), high);
    EXPECT_NEAR(bt::ZeroCrossingHz(bt::ChannelOf(high->Pcm, 2, 0), Rate, 3000, 10000), 3200.0, 30.0);

    const auto low = cache.LoadVariant(file, 1.0f, -250.0f);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->Frames(), base->Frames());
    EXPECT_EQ(cache.LoadVariant(file, 1.0f, -200.0f), low);
    EXPECT_EQ(cache.LoadVariant(file, NaN, NaN), base) << "not a number plays as recorded";
}

TEST(EngineBounds, AVariantBeyondTheBudgetIsRefusedBeforeAnythingIsAllocated) {
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "b.wav", 200, 1.0, Rate, 2).string(); // 176 400 bytes
    brindle::SampleCache cache(Rate, 2);
    cache.Load(file);
    cache.SetVariantBudget(1 << 20);
    {
        // At speed 1e-5 this variant would be 100 s, 17.6 MB: refused from its size alone.
        bt::AllocationScope scope;
        EXPECT_EQ(cache.LoadVariant(file, 1e-5f, 0.0f), nullptr);
        EXPECT_LT(scope.Largest(), std::size_t{1} << 16) << "the refused variant was allocated";
    }
    EXPECT_EQ(cache.VariantBytes(), 0u);
    const auto fast = cache.LoadVariant(file, 2.0f, 0.0f);
    ASSERT_NE(fast, nullptr);
    EXPECT_EQ(cache.VariantBytes(), 22050u * 2 * 2);
    ASSERT_NE(cache.LoadVariant(file, 0.5f, 0.0f), nullptr); // 352 800 bytes: 441 000 in all
    // 0.25 would bring the total to 1.15 MB.
    EXPECT_EQ(cache.LoadVariant(file, 0.25f, 0.0f), nullptr);
    EXPECT_EQ(cache.VariantBytes(), 441000u);
    EXPECT_EQ(cache.LoadVariant(file, 2.0f, 0.0f), fast) << "prepared variants stay usable";
}

} // namespace
