#include "audio/mixer/LiveMixer.h"

#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

// A mixer with its cache, and files written into a temporary folder and loaded.
struct MixerRig {
    bt::TempDir Dir;
    TLiveMixer Mixer{16};

    std::string Add(const std::string& Name, const std::vector<std::int16_t>& Pcm, int FileRate = Rate,
                    int Channels = 2) {
        const auto path = (Dir / Name).string();
        bt::WriteSoundFile(path, Pcm, FileRate, Channels);
        Mixer.GetSampleCache()->Load(path);
        return path;
    }
    std::string Constant(const std::string& Name, std::int16_t Value, double Seconds) {
        return Add(Name, bt::ConstantTone(Value, std::llround(Seconds * Rate), 2));
    }
    // Pulls Blocks blocks of Frames frames and returns everything mixed.
    std::vector<std::int16_t> Pull(int Blocks, int Frames) {
        std::vector<std::int16_t> all;
        std::vector<std::int16_t> block(static_cast<size_t>(Frames) * 2);
        for (int i = 0; i < Blocks; ++i) {
            EXPECT_EQ(Mixer.PopData(block.data(), Frames * 4), Frames * 4);
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    }
};

TEST(LiveMixer, EmptyMixerGivesSilenceAndAdvancesTheClock) {
    TLiveMixer mixer(4);
    std::vector<std::int16_t> block(2205, 77);
    EXPECT_EQ(mixer.PopData(block.data(), 4410), 4410);
    for (auto s : block)
        ASSERT_EQ(s, 0);
    EXPECT_EQ(mixer.GetFramePos(), 1102);
    EXPECT_NEAR(mixer.GetTimePos(), 1102.0 / Rate, 1e-7);
}

TEST(LiveMixer, SaturatesAtPlusMinus32767) {
    std::vector<std::int16_t> d{32767, -32768, 100, -100, 0};
    const std::vector<std::int16_t> s{32767, -32768, 32767, -32768, -32768};
    TLiveMixer::AddShorts(d.data(), s.data(), 5);
    EXPECT_EQ(d, (std::vector<std::int16_t>{32767, -32767, 32767, -32767, -32767}));

    MixerRig rig;
    const auto hi = rig.Constant("hi.wav", 32767, 0.1);
    const auto lo = rig.Constant("lo.wav", -32768, 0.1);
    ASSERT_TRUE(rig.Mixer.AddToMix(hi, 1, 1, 0, 0, 1));
    ASSERT_TRUE(rig.Mixer.AddToMix(hi, 1, 1, 0, 0, 1));
    auto out = rig.Pull(1, 441);
    EXPECT_EQ(out.front(), 32767);
    EXPECT_EQ(out.back(), 32767);
    rig.Mixer.Clear();
    ASSERT_TRUE(rig.Mixer.AddToMix(lo, 1, 1, 0, 0, 1));
    ASSERT_TRUE(rig.Mixer.AddToMix(lo, 1, 1, 0, 0, 1));
    out = rig.Pull(1, 441);
    EXPECT_EQ(out.front(), -32767);
    EXPECT_EQ(out.back(), -32767);
}

TEST(LiveMixer, StartsOnTheExactFrameInsideTheBlock) {
    MixerRig rig;
    const auto one = rig.Constant("c.wav", 1000, 1.0);
    std::vector<std::int16_t> block(2205);
    // 0.015625 s into a 4410-byte block: byte 2756, frame 689.
    rig.Mixer.AddToMix(one, 1, 1, 0, 0.015625f, 1);
    rig.Mixer.PopData(block.data(), 4410);
    EXPECT_EQ(bt::FirstAbove(bt::ChannelOf(block, 2, 0), 0), 689);
    EXPECT_EQ(bt::FirstAbove(bt::ChannelOf(block, 2, 1), 0), 689);
    rig.Mixer.Clear();
    // 0.01 s truncates from single precision to byte 1763, lowered to the frame at byte 1760.
    rig.Mixer.AddToMix(one, 1, 1, 0, 0.01f, 1);
    rig.Mixer.PopData(block.data(), 4410);
    EXPECT_EQ(bt::FirstAbove(bt::ChannelOf(block, 2, 0), 0), 440);
    rig.Mixer.Clear();
    // A delay of exactly one block starts at byte 0 of the next one.
    rig.Mixer.AddToMix(one, 1, 1, 0, 4410.0f / (Rate * 4), 1);
    rig.Mixer.PopData(block.data(), 4410);
    EXPECT_EQ(bt::FirstAbove(bt::ChannelOf(block, 2, 0), 0), -1);
    rig.Mixer.PopData(block.data(), 4410);
    EXPECT_EQ(block[0], 1000);
    // Offset at the last frame of a block, and several blocks ahead.
    rig.Mixer.Clear();
    // (Offsets are truncated to frames, so half a frame keeps them clear of float rounding.)
    rig.Mixer.AddToMix(one, 1, 1, 0, 440.5f / Rate, 1);
    rig.Mixer.AddToMix(one, 1, 1, 0, 1000.5f / Rate, 2);
    const auto out = bt::ChannelOf(rig.Pull(3, 441), 2, 0);
    EXPECT_EQ(out[439], 0);
    EXPECT_EQ(out[440], 1000);
    EXPECT_EQ(out[999], 1000);
    EXPECT_EQ(out[1000], 2000);
}

TEST(LiveMixer, VoiceIsDroppedInTheBlockItsDurationEnds) {
    MixerRig rig;
    const auto one = rig.Constant("c.wav", 1000, 1.0);
    ASSERT_TRUE(rig.Mixer.AddToMix(one, 2.0f, 1, 0, 0, 1));
    for (int i = 0; i < 49; ++i)
        rig.Pull(1, 441);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1) << "0.49 s of 0.5 s played";
    rig.Pull(1, 441);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 0);
}

TEST(LiveMixer, RemoveByTagTouchesOnlyThatTag) {
    MixerRig rig;
    const auto one = rig.Constant("c.wav", 1000, 1.0);
    rig.Mixer.AddToMix(one, 1, 1, 0, 0, 1);
    rig.Mixer.AddToMix(one, 1, 1, 0, 0, 2);
    rig.Mixer.AddToMix(one, 1, 1, 0, 0, 2);
    rig.Mixer.RemoveByTag(7);
    rig.Pull(1, 441);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 3);
    rig.Mixer.RemoveByTag(2);
    const auto out = bt::ChannelOf(rig.Pull(1, 441), 2, 0);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1);
    EXPECT_LT(out[0], 3000) << "the fade starts at once";
    EXPECT_GT(out[0], 2950);
    EXPECT_EQ(out[132], 1000) << "and is over after 3 ms";
    EXPECT_EQ(out[440], 1000);
}

TEST(LiveMixer, CutLandsOnItsFrameAndFadesWithinThreeMilliseconds) {
    MixerRig rig;
    const auto one = rig.Constant("c.wav", 10000, 2.0);
    rig.Mixer.AddToMix(one, 1, 1, 0, 0, 5);
    rig.Pull(1, 441);
    // Cut 300 frames into the next block; then, in the same block, the channel's next note starts.
    rig.Mixer.RemoveByTag(5, 300.5f / Rate);
    rig.Mixer.AddToMix(one, 1, 0.5f, 0, 300.5f / Rate, 5);
    const auto out = bt::ChannelOf(rig.Pull(2, 441), 2, 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(out[i], 10000) << i;
    EXPECT_LT(out[300], 15000);
    EXPECT_GT(out[300], 14000) << "the fade starts from full level";
    const int fadeEnd = 300 + Rate * 3 / 1000;
    for (int i = 301; i < fadeEnd; ++i)
        ASSERT_LE(out[i], out[i - 1]) << "monotonic fade";
    for (int i = fadeEnd; i < 882; ++i)
        ASSERT_EQ(out[i], 5000) << "only the new note is left at " << i;
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1);
}

TEST(LiveMixer, CutBeforeAVoiceStartsRemovesItSilently) {
    MixerRig rig;
    const auto one = rig.Constant("c.wav", 10000, 1.0);
    rig.Mixer.AddToMix(one, 1, 1, 0, 600.0f / Rate, 5);
    rig.Mixer.RemoveByTag(5, 100.0f / Rate);
    const auto out = bt::ChannelOf(rig.Pull(3, 441), 2, 0);
    EXPECT_EQ(bt::FirstAbove(out, 0), -1);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 0);
}

TEST(LiveMixer, MonoLowRateFileKeepsPitchAndLengthOnBothChannels) {
    MixerRig rig;
    const auto path = rig.Add("m.wav", bt::SineTone(441, 0.5, 22050, 1, 0.5), 22050, 1);
    rig.Mixer.AddToMix(path, 1, 1, 0, 0, 1);
    const auto out = rig.Pull(60, 441);
    for (int c = 0; c < 2; ++c) {
        const auto ch = bt::ChannelOf(out, 2, c);
        EXPECT_NEAR(bt::ZeroCrossingHz(ch, Rate, 0, 22050), 441.0, 0.5);
        EXPECT_NEAR(bt::GoertzelAmplitude(ch, 441, Rate, 1000, 21000), 0.5 * 32767, 150);
        EXPECT_NEAR(static_cast<double>(bt::LastAbove(ch, 200)), 22050.0, 60.0) << "0.5 s long";
    }
}

TEST(LiveMixer, StretchedNoteChangesLengthNotPitchAndStartsOnTime) {
    MixerRig rig;
    const auto path = rig.Add("s.wav", bt::SineTone(440, 1.0, Rate, 2, 0.5));
    const int offset = 1000;
    rig.Mixer.AddToMix(path, 2.0f, 1, 0, static_cast<float>(offset) / Rate, 1);
    const auto out = bt::ChannelOf(rig.Pull(120, 441), 2, 0);
    EXPECT_NEAR(static_cast<double>(bt::FirstAbove(out, 1000)), offset, 88.2) << "within 2 ms";
    EXPECT_NEAR(static_cast<double>(bt::LastAbove(out, 1000) - offset), Rate * 0.5, Rate * 0.02);
    EXPECT_NEAR(bt::ZeroCrossingHz(out, Rate, offset + 2000, offset + 20000), 440.0, 2.0);
}

TEST(LiveMixer, TransposedNoteChangesPitchNotLength) {
    MixerRig rig;
    const auto path = rig.Add("s.wav", bt::SineTone(440, 1.0, Rate, 2, 0.5));
    rig.Mixer.AddToMix(path, 1.0f, 1, 12.0f, 0, 1);
    const auto out = bt::ChannelOf(rig.Pull(120, 441), 2, 0);
    EXPECT_NEAR(static_cast<double>(bt::FirstAbove(out, 1000)), 0, 88.2) << "within 2 ms";
    EXPECT_NEAR(static_cast<double>(bt::LastAbove(out, 1000)), Rate * 1.0, Rate * 0.02);
    EXPECT_NEAR(bt::ZeroCrossingHz(out, Rate, 4000, 40000), 880.0, 3.0);
    EXPECT_NEAR(bt::GoertzelAmplitude(out, 880, Rate, 4000, 40000), 0.5 * 32767, 0.1 * 32767);
}

TEST(LiveMixer, FortyMinuteClockDoesNotDrift) {
    TLiveMixer mixer(1);
    std::vector<std::int16_t> block(882);
    float lastStart = 0;
    mixer.BeforeBlockMixing = [&](TLiveMixer*, float Start, float) { lastStart = Start; };
    const int blocks = 40 * 60 * 100; // 10 ms blocks
    for (int i = 0; i < blocks; ++i)
        mixer.PopData(block.data(), 1764);
    EXPECT_EQ(mixer.GetFramePos(), static_cast<std::int64_t>(blocks) * 441);
    EXPECT_NEAR(mixer.GetTimePos(), 2400.0, 1e-3);
    EXPECT_NEAR(lastStart, 2399.99, 1e-3);
    mixer.SetTimePos(0);
    EXPECT_EQ(mixer.GetFramePos(), 0);
    mixer.SetTimePos(600.0f);
    EXPECT_EQ(mixer.GetFramePos(), 600LL * Rate);
}

TEST(LiveMixer, UncachedFileIsReportedAndQueuedForLoading) {
    MixerRig rig;
    const auto path = (rig.Dir / "later.wav").string();
    bt::WriteSoundFile(path, bt::ConstantTone(500, 4410, 2), Rate, 2);
    EXPECT_FALSE(rig.Mixer.AddToMix(path, 1, 1, 0, 0, 1));
    EXPECT_EQ(rig.Mixer.VoiceCount(), 0);
    const auto problems = rig.Mixer.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(path), std::string::npos);
    const auto loads = rig.Mixer.TakePendingLoads();
    ASSERT_EQ(loads, std::vector<std::string>{path});
    EXPECT_TRUE(rig.Mixer.TakePendingLoads().empty());
    rig.Mixer.GetSampleCache()->Load(loads[0]);
    EXPECT_TRUE(rig.Mixer.AddToMix(path, 1, 1, 0, 0, 1));
}

TEST(LiveMixer, ExhaustedPoolStealsTheOldestVoice) {
    bt::TempDir dir;
    TLiveMixer mixer(4);
    const auto path = (dir / "c.wav").string();
    bt::WriteSoundFile(path, bt::ConstantTone(1000, Rate, 2), Rate, 2);
    mixer.GetSampleCache()->Load(path);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(mixer.AddToMix(path, 1, 1, 0, 0, i));
    std::vector<std::int16_t> block(882);
    mixer.PopData(block.data(), 1764);
    EXPECT_EQ(mixer.VoiceCount(), 4) << "the stolen voices faded out within the block";
    EXPECT_EQ(block[880], 4000);
}

TEST(LiveMixer, VolumeScalesAndUnityIsBitExact) {
    MixerRig rig;
    const auto tone = bt::SineTone(1000, 0.05, Rate, 2, 0.7);
    const auto path = rig.Add("t.wav", tone);
    rig.Mixer.AddToMix(path, 1, 1, 0, 0, 1);
    auto out = rig.Pull(5, 441);
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), out.begin()));
    rig.Mixer.AddToMix(path, 1, 0.5f, 0, 0, 1);
    out = rig.Pull(5, 441);
    for (size_t i = 0; i < tone.size(); ++i)
        ASSERT_EQ(out[i], static_cast<std::int16_t>(std::lround(tone[i] * 0.5f))); // halves away from zero
}

} // namespace

namespace {

TEST(LiveMixer, CutFurtherAheadThanOneBlockWaitsForItsFrame) {
    MixerRig rig;
    const auto one = rig.Constant("c.wav", 8000, 1.0);
    rig.Mixer.AddToMix(one, 1, 1, 0, 0, 3);
    rig.Mixer.RemoveByTag(3, 1000.5f / Rate);
    const auto out = bt::ChannelOf(rig.Pull(4, 441), 2, 0);
    EXPECT_EQ(out[999], 8000);
    EXPECT_LT(out[1001], 8000);
    EXPECT_EQ(bt::LastAbove(out, 0), 1000 + Rate * 3 / 1000 - 2);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 0);
}

TEST(TextRing, DropsWhatDoesNotFitAndKeepsOrder) {
    brindle::TextRing<4, 16> ring;
    EXPECT_TRUE(ring.Push("one"));
    EXPECT_FALSE(ring.Push("a text far too long for a slot"));
    EXPECT_TRUE(ring.Push("two"));
    EXPECT_TRUE(ring.Push("three"));
    EXPECT_TRUE(ring.Push("four"));
    EXPECT_FALSE(ring.Push("five")) << "full";
    EXPECT_EQ(ring.TakeDropped(), 2u);
    EXPECT_EQ(ring.TakeAll(), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_TRUE(ring.Push("six"));
    EXPECT_EQ(ring.TakeAll(), std::vector<std::string>{"six"});
}

} // namespace
