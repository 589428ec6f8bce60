// The DSP units on their own, outside any stream: after a sound dies away their state and output go
// to clean zeros, never to denormal numbers; bad numbers at the input do not stay in their state.
#include "audio/soundlib/dsp/CombReverb.h"
#include "audio/soundlib/dsp/EnvelopeCompressor.h"
#include "audio/soundlib/dsp/PeakingFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace brindle::dsp;

// Runs an impulse and then Seconds of silence; counts denormal output samples.
int DenormalsAfterImpulse(TEffect& Effect, double Seconds) {
    std::vector<float> Block(512 * 2, 0.0f);
    Block[0] = Block[1] = 1.0f;
    int Denormals = 0;
    const int Blocks = static_cast<int>(Seconds * Effect.GetSampleRate() / 512);
    for (int b = 0; b < Blocks; ++b) {
        Effect.Process(Block.data(), 512);
        for (float V : Block) {
            Denormals += std::fpclassify(V) == FP_SUBNORMAL;
            EXPECT_TRUE(std::isfinite(V));
        }
        std::fill(Block.begin(), Block.end(), 0.0f);
    }
    return Denormals;
}

TEST(DspUnits, NoDenormalsWhileDecaying) {
    TPeakingFilter Eq(44100, 2);
    TPeakEqParams P;
    P.Center = 60;
    P.Gain = 12;
    Eq.SetParameters(P);
    EXPECT_EQ(DenormalsAfterImpulse(Eq, 20), 0);

    TCombReverb Reverb(44100, 2);
    Reverb.SetParameters({1.0f, 10000});
    EXPECT_EQ(DenormalsAfterImpulse(Reverb, 60), 0);

    TEnvelopeCompressor Compressor(44100, 2);
    Compressor.SetParameters({0.1f, 1, 5000, -1});
    EXPECT_EQ(DenormalsAfterImpulse(Compressor, 60), 0);
    EXPECT_NE(std::fpclassify(Compressor.GetEnvelope()), FP_SUBNORMAL);
}

TEST(DspUnits, NanInputDoesNotPoisonTheCompressorForGood) {
    TEnvelopeCompressor Compressor(44100, 1);
    Compressor.SetParameters({0.5f, 1, 10, -1});
    std::vector<float> Block(64, 0.9f);
    Block[3] = NAN;
    Compressor.Process(Block.data(), 64);
    std::vector<float> Next(4410, 0.1f);
    Compressor.Process(Next.data(), 4410);
    EXPECT_TRUE(std::isfinite(Compressor.GetEnvelope()));
    EXPECT_FLOAT_EQ(Next.back(), 0.1f);
}

TEST(DspUnits, NanOrInfinityInputDoesNotRingInTheReverb) {
    TCombReverb Reverb(44100, 2);
    Reverb.SetParameters({1.0f, 10000});
    std::vector<float> Block(512 * 2, 0.25f);
    Block[10] = NAN;
    Block[21] = INFINITY;
    Reverb.Process(Block.data(), 512);
    int Bad = 0;
    for (int b = 0; b < 200; ++b) {
        std::fill(Block.begin(), Block.end(), 0.1f);
        Reverb.Process(Block.data(), 512);
        for (float V : Block)
            Bad += !std::isfinite(V);
    }
    EXPECT_EQ(Bad, 0);
    EXPECT_NE(Block[0], 0.1f) << "the tail still sounds";
}

} // namespace
