// The master chain built from a song's effect values as the effects panel applies them.
#include "support/Measure.h"
#include "support/SineNode.h"
#include "app/MasterEffects.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;

TEST(MasterEffects, PositionsAreStoredValuesTimesAThousandRounded) {
    EXPECT_EQ(TMasterEffects::Position(-2.5f), -2500);
    EXPECT_EQ(TMasterEffects::Position(1.234f), 1234); // 1.234f is a hair below 1.234
    EXPECT_EQ(TMasterEffects::Position(0.12f), 120);   // truncated, this came back as 0.119
    EXPECT_EQ(TMasterEffects::Position(3.2f), 3200);
    EXPECT_EQ(TMasterEffects::Position(0.1f), 100);
    EXPECT_EQ(TMasterEffects::Position(-0.0019f), -2);
    EXPECT_EQ(TMasterEffects::Position(NAN), 0);
    // Every position the panel can write survives a stored float and its reading back.
    for (int p = -15000; p <= 15000; ++p) ASSERT_EQ(TMasterEffects::Position(float(p * 0.001)), p) << p;
}

TEST(MasterEffects, ValuesReachTheNodesAsThePanelWritesThem) {
    TSineNode Source(440, 0.5);
    TMasterEffects Fx;
    TEffectSettings S;
    S.ReverbEnabled = true;
    S.ReverbLevel = 0.25f;
    S.ReverbDelay = 1.234f;
    S.CompressorThres = 0.3f;
    S.CompressorAttack = 0.05f;
    S.CompressorRelease = 2.5f;
    Fx.Apply(S);
    Fx.Chain(&Source);
    EXPECT_FLOAT_EQ(Fx.GetReverb().Params.Level, 0.25f);
    EXPECT_EQ(Fx.GetReverb().Params.Delay, 1234);
    EXPECT_FLOAT_EQ(Fx.GetCompressor().Params.Threshold, 0.3f);
    EXPECT_FLOAT_EQ(Fx.GetCompressor().Params.Attack, 50.0f);
    EXPECT_FLOAT_EQ(Fx.GetCompressor().Params.Release, 2500.0f);

    // The equalizer sliders are inverted: a stored -2.5 is +2.5 dB.
    S.Eq[0] = -2.5f;
    S.Eq[2] = 1.0f;
    Fx.Apply(S);
    EXPECT_FLOAT_EQ(Fx.GetEqualizer().Bands[0]->Gain, 2.5f);
    EXPECT_FLOAT_EQ(Fx.GetEqualizer().Bands[1]->Gain, 0.0f);
    EXPECT_FLOAT_EQ(Fx.GetEqualizer().Bands[2]->Gain, -1.0f);
    EXPECT_FLOAT_EQ(Fx.GetEqualizer().Bands[2]->Freq, 16000.0f);
}

TEST(MasterEffects, ChainsTheEnabledEffectsInOrderAndDetachesTheOthers) {
    TSineNode Source(440, 0.5);
    TMasterEffects Fx;
    TEffectSettings S;
    S.EqEnabled = S.ReverbEnabled = S.CompressorEnabled = true;
    Fx.Apply(S);
    TAudioX* Head = Fx.Chain(&Source); // the getters name the new chain's nodes only after it
    EXPECT_EQ(Head, &Fx.GetCompressor());
    EXPECT_EQ(Fx.GetCompressor().GetInput(), &Fx.GetReverb());
    EXPECT_EQ(Fx.GetReverb().GetInput(), &Fx.GetEqualizer());
    EXPECT_EQ(Fx.GetEqualizer().GetInput(), &Source);
    EXPECT_EQ(Fx.GetEqualizer().GetStreamFilterCount(), 3);

    // Rebuilt with the equalizer and compressor off.
    S.EqEnabled = S.CompressorEnabled = false;
    Fx.Apply(S);
    Head = Fx.Chain(&Source);
    EXPECT_EQ(Head, &Fx.GetReverb());
    EXPECT_EQ(Fx.GetReverb().GetInput(), &Source);
    EXPECT_EQ(Fx.GetEqualizer().GetInput(), nullptr);
    EXPECT_FALSE(Fx.GetEqualizer().HasReadStream());
    EXPECT_FALSE(Fx.GetCompressor().HasFXStream());

    S.ReverbEnabled = false;
    Fx.Apply(S);
    EXPECT_EQ(Fx.Chain(&Source), &Source);

    // A consumer spliced behind the chain pulls its output, which leads to the chain's head.
    TAudioX Consumer;
    S.CompressorEnabled = true;
    Fx.Apply(S);
    Fx.Splice(Consumer, &Source);
    EXPECT_EQ(Consumer.GetInput(), &Fx.Output());
    EXPECT_EQ(Fx.Output().GetInput(), &Fx.GetCompressor());
}

// Level in dB of a sine through the chain, relative to the dry sine.
// Measured over the last half second of Seconds.
double ChainGainDb(TMasterEffects& Fx, double Hz, double Amp, double Seconds = 1) {
    TSineNode Source(Hz, Amp);
    TAudioX* Head = Fx.Chain(&Source);
    const auto Left = ChannelOf(PullFrames(*Head, std::llround(Seconds * Rate)), 2, 0);
    const size_t End = Left.size();
    return 20.0 * std::log10(GoertzelAmplitude(Left, Hz, Rate, End - Rate / 2, End) / (32767.0 * Amp));
}

TEST(MasterEffects, StoredEqualizerValuesAreHeardAfterTheChainIsBuilt) {
    TMasterEffects Fx;
    TEffectSettings S;
    S.CompressorEnabled = false;
    S.EqEnabled = true;
    S.Eq[0] = -6.0f; // +6 dB at 60 Hz
    Fx.Apply(S);     // before any chain: kept until the chain is built
    EXPECT_NEAR(ChainGainDb(Fx, 60, 0.25), 6.0, 0.5);
    EXPECT_NEAR(ChainGainDb(Fx, 480, 0.25), 0.0, 0.5);
    // A slider moved while the chain plays is heard at once.
    S.Eq[1] = -6.0f;
    Fx.Apply(S);
    TSineNode Source(8000, 0.25);
    TAudioX* Head = Fx.Chain(&Source);
    S.Eq[1] = 6.0f;
    Fx.Apply(S);
    const auto Left = ChannelOf(PullFrames(*Head, Rate), 2, 0);
    EXPECT_NEAR(20.0 * std::log10(GoertzelAmplitude(Left, 8000, Rate, Rate / 2, Rate) / (32767.0 * 0.25)), -6.0, 0.5);
}

TEST(MasterEffects, DefaultCompressorHoldsALoudSineDownAndLeavesAQuietOne) {
    TMasterEffects Fx; // a new song: compressor on at threshold 0.5, 1 s attack and release
    // The slow attack lets the first half second through (the level reaches the threshold
    // after 0.75 s); after a few seconds it has taken hold.
    EXPECT_NEAR(ChainGainDb(Fx, 1000, 0.95, 0.5), 0.0, 0.01);
    EXPECT_LT(ChainGainDb(Fx, 1000, 0.95, 6), -1.0);
    EXPECT_NEAR(ChainGainDb(Fx, 1000, 0.3, 6), 0.0, 0.01);
}

} // namespace
