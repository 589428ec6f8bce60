// The reverb measured on a short burst: a decaying tail whose length follows the delay setting.
#include "audio/effects/Reverb.h"
#include "support/Measure.h"
#include "support/SineNode.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;
constexpr int BurstFrames = Rate / 50; // 20 ms
constexpr int WindowFrames = Rate / 50;

std::vector<std::int16_t> NoiseBurst() {
    std::mt19937 Random(7);
    std::uniform_int_distribution<int> Sample(-29000, 29000);
    std::vector<std::int16_t> Pcm(BurstFrames * 2);
    for (auto& S : Pcm)
        S = static_cast<std::int16_t>(Sample(Random));
    return Pcm;
}

// RMS in dB of 20 ms windows of the left channel after the burst.
std::vector<double> TailDb(const std::vector<std::int16_t>& Pcm) {
    const auto Left = ChannelOf(Pcm, 2, 0);
    std::vector<double> Db;
    for (size_t i = BurstFrames; i + WindowFrames <= Left.size(); i += WindowFrames)
        Db.push_back(20.0 * std::log10(std::max(Rms(Left, i, i + WindowFrames), 1e-9)));
    return Db;
}

// Decay time to -60 dB, extrapolated from the fall between -5 and -35 dB below the tail's start.
double DecaySeconds(int Delay) {
    TPcmNode Source(NoiseBurst(), Rate, 2);
    TReverb Reverb;
    Reverb.SetInput(&Source);
    Reverb.Params.Level = 1.0f;
    Reverb.Params.Delay = Delay;
    Reverb.ApplyParams();
    const auto Db = TailDb(PullFrames(Reverb, static_cast<std::int64_t>(Rate * (Delay * 0.001 + 1.0))));
    const double Top = *std::max_element(Db.begin(), Db.begin() + 10);
    auto FirstBelow = [&](double Level) {
        for (size_t i = 0; i < Db.size(); ++i)
            if (Db[i] < Level) return static_cast<double>(i) * WindowFrames / Rate;
        return -1.0;
    };
    const double Start = FirstBelow(Top - 5), End = FirstBelow(Top - 35);
    EXPECT_GT(Start, -1.0);
    EXPECT_GT(End, Start) << "the tail reaches -35 dB within the pulled time";
    return (End - Start) * 2.0;
}

TEST(Reverb, TailLengthFollowsTheDelaySetting) {
    const double Short = DecaySeconds(1200);
    const double Long = DecaySeconds(4800);
    EXPECT_NEAR(Short, 1.2, 0.6);
    EXPECT_NEAR(Long, 4.8, 2.4);
    EXPECT_GT(Long, 2.5 * Short);
}

TEST(Reverb, TailDecaysToSilenceAndStaysStable) {
    // A long setting, driven hard for two seconds, then silence.
    TSineNode Source(110, 0.95);
    Source.SetLimitFrames(2 * Rate);
    TPcmNode Silence({}, Rate, 2);
    TReverb Reverb;
    Reverb.SetInput(&Source);
    Reverb.Params.Level = 1.0f;
    Reverb.Params.Delay = 10000;
    Reverb.ApplyParams();
    PullFrames(Reverb, 2 * Rate);
    Reverb.SetInput(&Silence); // a new input starts a fresh stream: no tail carried over
    EXPECT_EQ(Rms(ChannelOf(PullFrames(Reverb, Rate), 2, 0)), 0.0);

    Source.SetLimitFrames(-1);
    Reverb.SetInput(&Source);
    Reverb.Params.Level = 1.0f;
    Reverb.Params.Delay = 10000;
    Reverb.ApplyParams();
    PullFrames(Reverb, 2 * Rate);
    Source.SetAmplitude(0);
    // Each following second is quieter than the one before, until it is exactly silent.
    double Previous = 1e9;
    int Seconds = 0;
    for (; Seconds < 60; ++Seconds) {
        const double Level = Rms(ChannelOf(PullFrames(Reverb, Rate), 2, 0));
        ASSERT_TRUE(std::isfinite(Level));
        if (Level == 0.0) break;
        EXPECT_LT(Level, Previous);
        Previous = Level;
    }
    EXPECT_GT(Seconds, 5) << "a 10 s setting rings for a while";
    EXPECT_LT(Seconds, 60) << "and then ends";
}

TEST(Reverb, ZeroLevelPassesTheSoundBitExact) {
    TSineNode Source(440, 0.5);
    TSineNode Reference(440, 0.5);
    TReverb Reverb;
    Reverb.SetInput(&Source);
    Reverb.Params.Level = 0;
    Reverb.ApplyParams();
    EXPECT_EQ(PullFrames(Reverb, Rate / 2), PullFrames(Reference, Rate / 2));
}

TEST(Reverb, WetSoundStartsAfterTheDryOne) {
    TPcmNode Source(NoiseBurst(), Rate, 2);
    TPcmNode Dry(NoiseBurst(), Rate, 2);
    TReverb Reverb;
    Reverb.SetInput(&Source);
    Reverb.Params.Level = 0.5f;
    Reverb.ApplyParams();
    const auto Wet = ChannelOf(PullFrames(Reverb, Rate), 2, 0);
    const auto Plain = ChannelOf(PullFrames(Dry, Rate), 2, 0);
    // The shortest path through the network is the shortest comb: nothing before it.
    for (int i = 0; i < 1100; ++i)
        ASSERT_EQ(Wet[i], Plain[i]) << i;
    EXPECT_GT(Rms(Wet, BurstFrames, Rate / 4), 100.0);
}

} // namespace

namespace {

// Noise of RMS Amp x full scale / sqrt(3) on both channels: the same on both, or independent.
std::vector<std::int16_t> Noise(double Seconds, double Amp, bool SameOnBoth, unsigned Seed) {
    std::mt19937 Random(Seed);
    std::uniform_real_distribution<double> Sample(-Amp * 32767, Amp * 32767);
    std::vector<std::int16_t> Pcm(static_cast<size_t>(Seconds * Rate) * 2);
    for (size_t i = 0; i < Pcm.size(); i += 2) {
        Pcm[i] = static_cast<std::int16_t>(std::lround(Sample(Random)));
        Pcm[i + 1] = SameOnBoth ? Pcm[i] : static_cast<std::int16_t>(std::lround(Sample(Random)));
    }
    return Pcm;
}

// Wet RMS over dry RMS in dB, per channel, once the reverb's energy has built up.
std::array<double, 2> WetToDryDb(int Delay, float Level, bool SameOnBoth) {
    // The tail's energy builds up like the decay runs down: after a fifth of the decay time it
    // is within 0.3 dB of its final value.
    const double Settle = 0.5 + 0.2 * Delay * 0.001, Measure = 1.0;
    const auto Dry = Noise(Settle + Measure, 0.1, SameOnBoth, 11);
    TPcmNode Source(Dry, Rate, 2);
    TReverb Reverb;
    Reverb.SetInput(&Source);
    Reverb.Params.Level = Level;
    Reverb.Params.Delay = Delay;
    Reverb.ApplyParams();
    const auto Out = PullFrames(Reverb, static_cast<std::int64_t>(Dry.size() / 2));
    std::array<double, 2> Db{};
    for (int c = 0; c < 2; ++c) {
        const auto In = ChannelOf(Dry, 2, c);
        auto Wet = ChannelOf(Out, 2, c);
        for (size_t i = 0; i < Wet.size(); ++i)
            Wet[i] -= In[i];
        const auto From = static_cast<size_t>(Settle * Rate);
        Db[c] = 20.0 * std::log10(Rms(Wet, From) / (Level * Rms(In, From)));
    }
    return Db;
}

TEST(Reverb, WetLevelIsTheLevelTimesTheDryLevelAtEveryDelay) {
    for (int Delay : {50, 300, 1200, 5000, 20000, 60000})
        for (float Level : {0.25f, 1.0f})
            for (bool SameOnBoth : {false, true}) {
                const auto Db = WetToDryDb(Delay, Level, SameOnBoth);
                for (int c = 0; c < 2; ++c)
                    EXPECT_NEAR(Db[c], 0.0, 1.0)
                        << "delay " << Delay << " ms, level " << Level << (SameOnBoth ? ", mono" : ", stereo")
                        << " noise, channel " << c;
            }
}

// A half-scale sine under a half-level reverb leaves room on the 16-bit bus at every delay.
TEST(Reverb, AHalfScaleSineAtHalfLevelDoesNotClip) {
    for (int Delay : {300, 1200, 5000}) {
        TSineNode Source(330, 0.5);
        TReverb Reverb;
        Reverb.SetInput(&Source);
        Reverb.Params.Level = 0.5f;
        Reverb.Params.Delay = Delay;
        Reverb.ApplyParams();
        const auto Out = PullFrames(Reverb, 4 * Rate);
        int Peak = 0;
        for (const auto S : Out)
            Peak = std::max(Peak, std::abs(int(S)));
        EXPECT_LT(Peak, 32767) << "delay " << Delay << " ms";
        EXPECT_GT(Peak, 0.55 * 32767) << "and the wet sound is there";
    }
}

} // namespace
