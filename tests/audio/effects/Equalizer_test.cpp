// The equalizer measured on sines: gain at the centre, none three octaves away.
#include "support/Measure.h"
#include "support/SineNode.h"
#include "audio/effects/Equalizer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;

// Level in dB of a sine at Hz after an equalizer with one band, relative to the dry sine.
double BandGainDb(int Center, float Gain, double Hz) {
    TSineNode Source(Hz, 0.25, Rate, 2);
    TEqualizer Eq;
    Eq.SetInput(&Source);
    Eq.setEQNum(3);
    // Only the band under test is off 0 dB, as the master panel sets one slider.
    Eq.setEQ(0, 60, 0);
    Eq.setEQ(1, Center, Gain);
    Eq.setEQ(2, 16000, 0);
    const auto Pcm = PullFrames(Eq, Rate); // one second
    const auto Left = ChannelOf(Pcm, 2, 0);
    const auto Right = ChannelOf(Pcm, 2, 1);
    // Skip the filter's settling; measure whole seconds' worth of the rest.
    const double Wet = GoertzelAmplitude(Left, Hz, Rate, Rate / 2, Rate);
    EXPECT_NEAR(GoertzelAmplitude(Right, Hz, Rate, Rate / 2, Rate), Wet, Wet * 1e-3);
    const double Dry = 32767.0 * 0.25;
    return 20.0 * std::log10(Wet / Dry);
}

TEST(Equalizer, PlusSixDbBandRaisesItsCentreAndLeavesThreeOctavesAwayAlone) {
    struct Case {
        int Center;
        double Away;
    };
    // The master panel's three bands; three octaves away, on the side that stays in the audio band.
    for (const Case& C : {Case{60, 480.0}, Case{8000, 1000.0}, Case{16000, 2000.0}}) {
        SCOPED_TRACE(C.Center);
        EXPECT_NEAR(BandGainDb(C.Center, 6.0f, C.Center), 6.0, 0.5);
        EXPECT_NEAR(BandGainDb(C.Center, 6.0f, C.Away), 0.0, 0.5);
        EXPECT_NEAR(BandGainDb(C.Center, -6.0f, C.Center), -6.0, 0.5);
        EXPECT_NEAR(BandGainDb(C.Center, -6.0f, C.Away), 0.0, 0.5);
    }
    EXPECT_NEAR(BandGainDb(1000, 12.0f, 1000), 12.0, 0.5);
}

TEST(Equalizer, NeutralBandsPassTheSoundBitExact) {
    TSineNode Reference(1234, 0.7);
    TSineNode Source(1234, 0.7);
    TEqualizer Eq;
    Eq.SetInput(&Source);
    Eq.setEQNum(3);
    Eq.setEQ(0, 60, 0);
    Eq.setEQ(1, 8000, 0);
    Eq.setEQ(2, 16000, 0);
    EXPECT_EQ(PullFrames(Eq, 4410), PullFrames(Reference, 4410));
}

TEST(Equalizer, BandsAreIndependentAndMoveLive) {
    TSineNode Source(8000, 0.25);
    TEqualizer Eq;
    Eq.SetInput(&Source);
    Eq.setEQNum(3);
    Eq.setEQ(1, 8000, 6.0f);
    auto Level = [&] {
        const auto Left = ChannelOf(PullFrames(Eq, Rate / 2), 2, 0);
        return 20.0 * std::log10(GoertzelAmplitude(Left, 8000, Rate, Rate / 4, Rate / 2) / (32767.0 * 0.25));
    };
    EXPECT_NEAR(Level(), 6.0, 0.5);
    Eq.setEQ(0, 60, 9.0f); // another band, far away: 8 kHz stays where it was
    EXPECT_NEAR(Level(), 6.0, 0.6);
    Eq.setEQ(2, 16000, -9.0f); // one octave up: its skirt reaches 8 kHz, band 1 keeps its +6
    const double WithNeighbour = Level();
    EXPECT_LT(WithNeighbour, 5.0);
    Eq.setEQ(2, 16000, 0.0f);
    EXPECT_NEAR(Level(), 6.0, 0.6);
    Eq.setEQ(1, 8000, 0.0f);
    EXPECT_NEAR(Level(), 0.0, 0.6);
}

} // namespace
