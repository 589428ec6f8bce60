// The level meters: each channel's slot reads the sum of its voices after the channel's gain,
// measured on known signals; metering leaves the mix itself untouched.
#include "audio/mixer/LevelMeters.h"
#include "audio/mixer/LiveMixer.h"
#include "audio/nodes/SwitchNode.h"

#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace bt = brindle::test;
using brindle::TLevel;
using brindle::TLevelMeters;

namespace {

constexpr int Rate = 44100;

double Db(double Ratio) { return 20.0 * std::log10(Ratio); }

struct MeterRig {
    bt::TempDir Dir;
    TLiveMixer Mixer{16};
    std::vector<std::int16_t> Pcm;
    std::string Tone, Inverted, Silence;

    explicit MeterRig(double Amp = 0.5) {
        Pcm = bt::SineTone(997, 1.0, Rate, 2, Amp);
        auto inverted = Pcm;
        for (auto& s : inverted) s = static_cast<std::int16_t>(-s);
        Tone = (Dir / "tone.wav").string();
        Inverted = (Dir / "inverted.wav").string();
        Silence = (Dir / "silence.wav").string();
        bt::WriteSoundFile(Tone, Pcm, Rate, 2);
        bt::WriteSoundFile(Inverted, inverted, Rate, 2);
        bt::WriteSoundFile(Silence, bt::ConstantTone(0, Rate, 2), Rate, 2);
        for (const auto& f : {Tone, Inverted, Silence}) Mixer.GetSampleCache()->Load(f);
    }
    std::vector<std::int16_t> Pull(int Blocks, int Frames = 512) {
        std::vector<std::int16_t> all, block(static_cast<size_t>(Frames) * 2);
        for (int i = 0; i < Blocks; ++i) {
            Mixer.PopData(block.data(), Frames * 4);
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    }
    double SourcePeak() const {
        int peak = 0;
        for (auto s : Pcm) peak = std::max(peak, std::abs(int(s)));
        return peak / 32768.0;
    }
    double SourceMeanSquare() const {
        double sum = 0;
        for (auto s : Pcm) sum += double(s) * s;
        return sum / double(Pcm.size()) / (32768.0 * 32768.0);
    }
};

TEST(LevelMeters, ChannelLevelsFollowTheChannelsGainAndBalance) {
    const struct {
        double Amp;
        float Left, Right; // the channel's gains
    } cases[] = {
        {0.5, 0.5f, 0.5f},  // volume 0.5, centre
        {0.8, 1.0f, 0.0f},  // hard left
        {0.3, 1.0f, 2.0f},  // volume 2, balance half right
        {0.9, 1.0f, 1.0f},  // unity: straight from the sample
        {0.25, 0.1f, 0.1f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "amp " << c.Amp << " gains " << c.Left << "/" << c.Right);
        MeterRig rig(c.Amp);
        rig.Mixer.SetChannelGain(0, c.Left, c.Right);
        rig.Mixer.Clear(); // settled at once, as when playback starts
        ASSERT_TRUE(rig.Mixer.AddToMix(rig.Tone, 1, 1, 0, 0, 0));
        ASSERT_TRUE(rig.Mixer.AddToMix(rig.Silence, 1, 1, 0, 0, 1));
        rig.Pull(4);
        rig.Mixer.Meters().Discard();
        rig.Pull(40); // about half a second of the tone
        const TLevel one = rig.Mixer.Meters().Take(0), two = rig.Mixer.Meters().Take(1);

        const double gain = std::max(c.Left, c.Right);
        const double peak = rig.SourcePeak() * gain;
        ASSERT_GT(one.Samples, 0u);
        EXPECT_NEAR(Db(one.Peak / peak), 0.0, 0.05);
        // Mean square over both sides: each side's own gain squared.
        const double ms = rig.SourceMeanSquare() * (double(c.Left) * c.Left + double(c.Right) * c.Right) / 2;
        EXPECT_NEAR(Db(std::sqrt(one.MeanSquare / ms)), 0.0, 0.05);
        if (c.Left == c.Right) { // a sine's RMS is its peak over root two
            EXPECT_NEAR(Db(std::sqrt(one.MeanSquare) / (one.Peak / std::sqrt(2.0))), 0.0, 0.05);
        }

        EXPECT_GT(two.Samples, 0u) << "the silent channel played";
        EXPECT_EQ(two.Peak, 0.0f);
        EXPECT_EQ(two.MeanSquare, 0.0f);
        EXPECT_EQ(rig.Mixer.Meters().Take(2).Samples, 0u) << "a channel with no voice is not fed";
    }
}

TEST(LevelMeters, AChannelReadsTheSumOfItsVoicesNotEachAlone) {
    MeterRig rig(0.6);
    rig.Mixer.Clear();
    // A tone and its inverse on one channel cancel; on two channels each reads full.
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.Tone, 1, 1, 0, 0, 5));
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.Inverted, 1, 1, 0, 0, 5));
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.Tone, 1, 1, 0, 0, 6));
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.Tone, 1, 0.5f, 0, 0, 6)); // instrument volume counts too
    rig.Pull(20);
    const TLevel cancelled = rig.Mixer.Meters().Take(5), doubled = rig.Mixer.Meters().Take(6);
    EXPECT_EQ(cancelled.Peak, 0.0f);
    EXPECT_NEAR(Db(doubled.Peak / (rig.SourcePeak() * 1.5)), 0.0, 0.05);
}

TEST(LevelMeters, MeteringLeavesTheMixBitExact) {
    const struct {
        float Left, Right;
        bool Glide; // changed while the notes play
    } cases[] = {{1.0f, 1.0f, false}, {0.5f, 1.5f, false}, {0.0f, 2.0f, true}, {1.0f, 1.0f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Left << "/" << c.Right << (c.Glide ? " gliding" : ""));
        MeterRig metered, plain;
        plain.Mixer.SetMetering(false);
        for (MeterRig* rig : {&metered, &plain}) {
            rig->Mixer.SetChannelGain(3, c.Glide ? 0.7f : c.Left, c.Glide ? 0.7f : c.Right);
            rig->Mixer.Clear();
            ASSERT_TRUE(rig->Mixer.AddToMix(rig->Tone, 1, 0.9f, 0, 0.001f, 3));
            ASSERT_TRUE(rig->Mixer.AddToMix(rig->Inverted, 1, 0.33f, 0, 0.002f, 3));
            ASSERT_TRUE(rig->Mixer.AddToMix(rig->Tone, 1, 0.7f, 0, 0, 4));
            ASSERT_TRUE(rig->Mixer.AddToMix(rig->Tone, 1, 0.7f, 0, 0, 1000)); // a live note
        }
        auto a = metered.Pull(3, 300), b = plain.Pull(3, 300);
        if (c.Glide)
            for (MeterRig* rig : {&metered, &plain}) rig->Mixer.SetChannelGain(3, c.Left, c.Right);
        auto a2 = metered.Pull(10, 300), b2 = plain.Pull(10, 300);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a2, b2);
        EXPECT_GT(metered.Mixer.Meters().Take(4).Peak, 0.0f);
        EXPECT_EQ(plain.Mixer.Meters().Take(4).Samples, 0u) << "metering off feeds nothing";
    }
}

TEST(LevelMeters, ManyChannelsAtOnceEachGetTheirOwnLevel) {
    // A small pool: its sums are sized by its voices, every sounding channel still has one.
    bt::TempDir dir;
    TLiveMixer mixer(4);
    const auto tone = (dir / "t.wav").string();
    bt::WriteSoundFile(tone, bt::SineTone(440, 0.5, Rate, 2, 0.5), Rate, 2);
    mixer.GetSampleCache()->Load(tone);
    for (int c = 0; c < 4; ++c) mixer.SetChannelGain(c * 20, 0.25f * float(c + 1), 0.25f * float(c + 1));
    mixer.Clear();
    for (int c = 0; c < 4; ++c) ASSERT_TRUE(mixer.AddToMix(tone, 1, 1, 0, 0, c * 20));
    std::vector<std::int16_t> block(512 * 2);
    for (int i = 0; i < 10; ++i) mixer.PopData(block.data(), int(block.size() * 2));
    const float unity = mixer.Meters().Take(60).Peak;
    ASSERT_GT(unity, 0.4f);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(mixer.Meters().Take(c * 20).Peak / unity, 0.25 * (c + 1), 0.001) << "channel " << c * 20;
}

TEST(LevelMeters, ATakeGathersTheLoudestPeakAndTheMeanSinceTheLastOne) {
    TLevelMeters meters;
    const struct {
        float Peak, SumSquares;
        int Samples;
    } blocks[] = {{0.5f, 10.0f, 100}, {0.9f, 30.0f, 100}, {0.2f, 0.0f, 200}};
    for (const auto& b : blocks) meters.Feed(7, b.Peak, b.SumSquares, b.Samples);
    const TLevel level = meters.Take(7);
    EXPECT_EQ(level.Peak, 0.9f);
    EXPECT_EQ(level.Samples, 400u);
    EXPECT_FLOAT_EQ(level.MeanSquare, 40.0f / 400.0f);
    const TLevel again = meters.Take(7);
    EXPECT_EQ(again.Peak, 0.0f) << "a take empties the slot";
    EXPECT_EQ(again.Samples, 0u);

    // What no meter can show: out of range slots are ignored, a broken block reads full scale.
    meters.Feed(-1, 1, 1, 1);
    meters.Feed(TLevelMeters::Slots, 1, 1, 1);
    meters.Feed(3, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 10);
    const TLevel broken = meters.Take(3);
    EXPECT_EQ(broken.Peak, 1.0f);
    EXPECT_FLOAT_EQ(broken.MeanSquare, 1.0f);
    EXPECT_EQ(meters.Take(-1).Samples, 0u);
}

// A node that gives a fixed float block: a mix louder than full scale, as the float path has it.
class TLoudNode : public TAudioX {
  public:
    float Value = 1.25f;
    bool GivesFloats() const override { return true; }
    int PopFloats(float* Buf, int Frames) override {
        for (int i = 0; i < Frames * GetChannels(); ++i) Buf[i] = (i % 2 ? -Value : Value * 0.5f);
        return Frames;
    }
    int PopData(void* Buf, int BufLen) override {
        auto* pcm = static_cast<std::int16_t*>(Buf);
        for (int i = 0; i < BufLen / 2; ++i) pcm[i] = std::int16_t(i % 2 ? -32767 : 1000);
        return BufLen;
    }
};

TEST(LevelMeters, TheMasterSlotMeasuresWhatLeavesTheChain) {
    TLevelMeters meters;
    TLoudNode loud;
    loud.SetFormat(Rate, 2);
    TSwitchNode output;
    output.SetFormat(Rate, 2);
    output.SetInput(&loud);
    output.SetMeter(&meters, TLevelMeters::Master);
    std::vector<float> floats(256 * 2);
    output.PopFloats(floats.data(), 256);
    TLevel master = meters.Take(TLevelMeters::Master);
    EXPECT_FLOAT_EQ(master.Peak, 1.25f);
    EXPECT_GE(master.Peak, TLevelMeters::ClipLevel);
    EXPECT_NEAR(master.MeanSquare, (1.25 * 1.25 + 0.625 * 0.625) / 2, 1e-5);

    std::vector<std::int16_t> pcm(256 * 2);
    output.PopData(pcm.data(), int(pcm.size() * 2));
    master = meters.Take(TLevelMeters::Master);
    EXPECT_GE(master.Peak, TLevelMeters::ClipLevel) << "a saturated 16-bit block has clipped";
    EXPECT_EQ(master.Samples, 512u);
}

} // namespace
