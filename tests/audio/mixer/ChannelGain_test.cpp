// The mixer's per-channel gains: exact at unity, applied to pattern voices only, safe with
// values that are not gains.
#include "audio/mixer/LiveMixer.h"

#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

struct GainRig {
    bt::TempDir Dir;
    TLiveMixer Mixer{16};
    std::string Tone;

    GainRig() {
        Tone = (Dir / "tone.wav").string();
        bt::WriteSoundFile(Tone, bt::SineTone(997, 0.5, Rate, 2, 0.3), Rate, 2);
        Mixer.GetSampleCache()->Load(Tone);
    }
    std::vector<std::int16_t> Pull(int Blocks, int Frames = 256) {
        std::vector<std::int16_t> all, block(static_cast<size_t>(Frames) * 2);
        for (int i = 0; i < Blocks; ++i) {
            Mixer.PopData(block.data(), Frames * 4);
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    }
};

TEST(ChannelGain, GainsBackAtUnityLeaveTheSamplesBitExact) {
    GainRig plain, turned;
    // One mixer's channel goes down and back up before the note; the other is never touched.
    turned.Mixer.SetChannelGain(3, 0.3f, 1.7f);
    turned.Pull(4);
    turned.Mixer.SetChannelGain(3, 1.0f, 1.0f);
    turned.Pull(4);
    for (GainRig* rig : {&plain, &turned}) ASSERT_TRUE(rig->Mixer.AddToMix(rig->Tone, 1, 0.9f, 0, 0.001f, 3));
    EXPECT_EQ(plain.Pull(40), turned.Pull(40));
}

TEST(ChannelGain, OnlyTheChannelsOwnVoicesAreScaled) {
    const struct {
        int Tag;
        float Left, Right;
        double WantLeft, WantRight;
    } cases[] = {
        {0, 0.5f, 0.5f, 0.5, 0.5},     {99, 0.0f, 1.0f, 0.0, 1.0},  {7, 2.0f, 0.25f, 2.0, 0.25},
        {1000, 0.0f, 0.0f, 1.0, 1.0},  // a live note's tag is no channel
        {-1, 0.0f, 0.0f, 1.0, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Tag);
        GainRig reference, rig;
        rig.Mixer.SetChannelGain(c.Tag, c.Left, c.Right);
        rig.Mixer.Clear(); // settled at once, as at the start of playback
        for (GainRig* r : {&reference, &rig}) ASSERT_TRUE(r->Mixer.AddToMix(r->Tone, 1, 1, 0, 0, c.Tag));
        const auto want = reference.Pull(20), got = rig.Pull(20);
        double sum[2][2] = {};
        for (std::size_t i = 0; i < want.size(); ++i) {
            sum[i % 2][0] += double(want[i]) * want[i];
            sum[i % 2][1] += double(got[i]) * got[i];
        }
        const double wantGain[] = {c.WantLeft, c.WantRight};
        for (int side = 0; side < 2; ++side) {
            const double gain = std::sqrt(sum[side][1] / sum[side][0]);
            EXPECT_NEAR(gain, wantGain[side], 0.001) << "side " << side;
        }
    }
}

TEST(ChannelGain, ValuesThatAreNotGainsSilenceTheChannelInsteadOfPoisoningTheMix) {
    GainRig rig;
    rig.Mixer.SetChannelGain(5, std::numeric_limits<float>::quiet_NaN(), -3.0f);
    rig.Mixer.SetChannelGain(6, std::numeric_limits<float>::infinity(), 1.0f);
    rig.Mixer.SetChannelGain(100, 0.0f, 0.0f); // beyond the channels: ignored
    rig.Mixer.Clear();
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.Tone, 1, 1, 0, 0, 5));
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.Tone, 1, 1, 0, 0, 6));
    const auto pcm = rig.Pull(20);
    double left6 = 0, right = 0;
    for (std::size_t i = 0; i < pcm.size(); i += 2) {
        left6 = std::max(left6, std::fabs(double(pcm[i])));
        right = std::max(right, std::fabs(double(pcm[i + 1])));
    }
    EXPECT_EQ(left6, 0.0) << "NaN and infinity on the left of both channels are silence";
    EXPECT_NEAR(right, 0.3 * 32767, 40) << "channel 6's right side plays at unity, channel 5's is silent";
}

} // namespace
