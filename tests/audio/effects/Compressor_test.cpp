// The compressor measured on sines: loud ones lowered, quiet ones untouched, attack and release
// visible in the envelope.
#include "support/Measure.h"
#include "support/SineNode.h"
#include "audio/effects/Compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;
constexpr int WindowFrames = Rate / 1000; // 1 ms peak windows

// Peak of each 1 ms window of the left channel, as a fraction of full scale.
std::vector<double> PeakEnvelope(const std::vector<std::int16_t>& Pcm) {
    const auto Left = ChannelOf(Pcm, 2, 0);
    std::vector<double> Env;
    for (size_t i = 0; i + WindowFrames <= Left.size(); i += WindowFrames) {
        double Peak = 0;
        for (size_t j = i; j < i + WindowFrames; ++j) Peak = std::max(Peak, std::fabs(Left[j]));
        Env.push_back(Peak / 32767.0);
    }
    return Env;
}

// First window (ms) from From on where Pred holds.
int FirstMs(const std::vector<double>& Env, size_t From, const std::function<bool(double)>& Pred) {
    for (size_t i = From; i < Env.size(); ++i)
        if (Pred(Env[i])) return static_cast<int>(i - From);
    return -1;
}

void Configure(TCompressor& Compressor, TAudioX& Source, float Threshold, float Attack, float Release) {
    Compressor.SetInput(&Source);
    Compressor.Params.Threshold = Threshold;
    Compressor.Params.Attack = Attack;
    Compressor.Params.Release = Release;
    Compressor.ApplyParams();
}

TEST(Compressor, LowersALoudSineAboveThresholdAndLeavesAQuietOneAlone) {
    TSineNode Loud(1000, 0.8);
    TCompressor Compressor;
    Configure(Compressor, Loud, 0.3f, 10, 100);
    const auto Env = PeakEnvelope(PullFrames(Compressor, Rate));
    // Settled: held near the threshold, far below the 0.8 going in.
    const double Settled = *std::max_element(Env.begin() + 500, Env.end());
    EXPECT_LT(Settled, 0.36);
    EXPECT_GT(Settled, 0.25);

    TSineNode Quiet(1000, 0.2);
    TSineNode Reference(1000, 0.2);
    TCompressor Untouched;
    Configure(Untouched, Quiet, 0.3f, 10, 100);
    EXPECT_EQ(PullFrames(Untouched, Rate), PullFrames(Reference, Rate));
}

// Milliseconds after a quiet-to-loud step until the output peak has come down halfway.
int AttackMs(float Attack) {
    TSineNode Source(1000, 0.05);
    TCompressor Compressor;
    Configure(Compressor, Source, 0.3f, Attack, 1000);
    PullFrames(Compressor, Rate / 2);
    Source.SetAmplitude(0.8);
    const auto Env = PeakEnvelope(PullFrames(Compressor, 2 * Rate));
    const double Final = Env.back();
    EXPECT_LT(Final, 0.4);
    EXPECT_GT(Env[1], 0.7) << "the first millisecond passes before the attack acts";
    return FirstMs(Env, 0, [&](double V) { return V < (0.8 + Final) / 2; });
}

// Milliseconds after a loud-to-quiet step until the quiet sine is back to 95 % of its level.
int ReleaseMs(float Release) {
    TSineNode Source(1000, 0.8);
    TCompressor Compressor;
    Configure(Compressor, Source, 0.3f, 1, Release);
    PullFrames(Compressor, Rate / 2);
    Source.SetAmplitude(0.2);
    const auto Env = PeakEnvelope(PullFrames(Compressor, 4 * Rate));
    EXPECT_LT(Env[1], 0.15) << "right after the step the gain is still lowered";
    EXPECT_NEAR(Env.back(), 0.2, 0.005);
    return FirstMs(Env, 0, [](double V) { return V > 0.19; });
}

TEST(Compressor, AttackTimeShowsInTheEnvelope) {
    const int Fast = AttackMs(20);
    const int Slow = AttackMs(200);
    EXPECT_GE(Fast, 2);
    EXPECT_LE(Fast, 60);
    EXPECT_GT(Slow, 4 * Fast);
    EXPECT_LE(Slow, 600);
}

TEST(Compressor, ReleaseTimeShowsInTheEnvelope) {
    const int Fast = ReleaseMs(100);
    const int Slow = ReleaseMs(800);
    EXPECT_GE(Fast, 40);
    EXPECT_LE(Fast, 250);
    EXPECT_GT(Slow, 6 * Fast);
    EXPECT_LE(Slow, 2000);
}

TEST(Compressor, ChannelSelectorLimitsWhichChannelsAreCompressed) {
    TSineNode Loud(1000, 0.8);
    TCompressor Compressor;
    Compressor.SetInput(&Loud);
    Compressor.Params.Threshold = 0.3f;
    Compressor.Params.Attack = 1;
    Compressor.Params.Channel = 2; // right only
    Compressor.ApplyParams();
    const auto Pcm = PullFrames(Compressor, Rate / 2);
    const auto Left = ChannelOf(Pcm, 2, 0);
    const auto Right = ChannelOf(Pcm, 2, 1);
    EXPECT_NEAR(GoertzelAmplitude(Left, 1000, Rate, Rate / 4, Rate / 2) / 32767.0, 0.8, 0.01);
    EXPECT_LT(GoertzelAmplitude(Right, 1000, Rate, Rate / 4, Rate / 2) / 32767.0, 0.4);
}

} // namespace
