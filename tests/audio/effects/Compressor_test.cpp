// The compressor measured on sines: loud ones lowered, quiet ones untouched, attack and release
// visible in the envelope.
#include "audio/effects/Compressor.h"
#include "audio/soundlib/dsp/EnvelopeCompressor.h"
#include "support/Distortion.h"
#include "support/Measure.h"
#include "support/SineNode.h"
#include "support/Tones.h"

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

// Peak of the left channel over the last Seconds of Pcm, as a fraction of full scale.
double SettledPeak(const std::vector<std::int16_t>& Pcm, double Seconds) {
    const auto Left = ChannelOf(Pcm, 2, 0);
    double Peak = 0;
    for (size_t i = Left.size() - static_cast<size_t>(Seconds * Rate); i < Left.size(); ++i)
        Peak = std::max(Peak, std::fabs(Left[i]));
    return Peak / 32767.0;
}

double Db(double Ratio) {
    return 20.0 * std::log10(Ratio);
}

TEST(Compressor, SteadyPeaksSettleOnTheThresholdAtAnyAttackAndRelease) {
    // Attack at or above the release used to make the detector follow the average or the troughs.
    const std::pair<float, float> Times[] = {{0, 0}, {0, 50}, {5, 50}, {50, 5}, {200, 20}, {20, 200}, {1000, 100}};
    for (const auto& [Attack, Release] : Times)
        for (double Hz : {100.0, 1000.0})
            for (float Threshold : {0.25f, 0.5f}) {
                TSineNode Source(Hz, 1.0);
                TCompressor Compressor;
                Configure(Compressor, Source, Threshold, Attack, Release);
                const double Peak = SettledPeak(PullFrames(Compressor, 6 * Rate), 0.5);
                EXPECT_NEAR(Db(Peak / Threshold), 0.0, 1.0)
                    << "attack " << Attack << " ms, release " << Release << " ms, " << Hz << " Hz, threshold "
                    << Threshold;
            }
}

TEST(Compressor, StaticCurveIsFlatAboveTheThresholdAndUnityBelow) {
    // Input level against settled output level for a 1 kHz sine, threshold 0.5 (-6 dBFS).
    for (double In : {0.1, 0.25, 0.4, 0.5, 0.6, 0.8, 1.0}) {
        TSineNode Source(1000, In);
        TCompressor Compressor;
        Configure(Compressor, Source, 0.5f, 5, 50);
        const double Out = SettledPeak(PullFrames(Compressor, Rate), 0.25);
        EXPECT_NEAR(Db(Out), Db(std::min(In, 0.5)), 0.1) << "input peak " << In;
    }
}

// Level the detector reads, recovered from the output of a 1 kHz sine of peak Amp under
// threshold T: the output peak is Amp x T / level while compressing.
std::vector<double> DetectedLevel(const std::vector<std::int16_t>& Pcm, double Amp, double T) {
    auto Level = PeakEnvelope(Pcm);
    for (auto& V : Level) V = Amp * T / std::max(V, 1e-9);
    return Level;
}

// Milliseconds until Level has gone 1 - 1/e of the way from From to To.
double TimeConstantMs(const std::vector<double>& Level, double From, double To) {
    const double Mark = From + (To - From) * (1.0 - std::exp(-1.0));
    for (size_t i = 0; i < Level.size(); ++i)
        if ((To > From) ? Level[i] >= Mark : Level[i] <= Mark) return static_cast<double>(i) + 0.5;
    return -1;
}

TEST(Compressor, AttackAndReleaseTimesAreTheSettings) {
    const double Hold = brindle::dsp::TEnvelopeCompressor::HoldMs;
    for (float Time : {5.0f, 50.0f}) {
        // Attack: a step from 0.3 to 1.0 under threshold 0.25; the detector rises at the attack rate.
        TSineNode Rising(1000, 0.3);
        TCompressor Attacking;
        Configure(Attacking, Rising, 0.25f, Time, 1000);
        PullFrames(Attacking, 2 * Rate);
        Rising.SetAmplitude(1.0);
        const auto Up = DetectedLevel(PullFrames(Attacking, Rate / 2), 1.0, 0.25);
        EXPECT_NEAR(TimeConstantMs(Up, 0.3, 1.0), Time, 0.2 * Time + 1.0) << "attack " << Time;

        // Release: a step from 1.0 to 0.3; after the hold the detector falls at the release rate.
        TSineNode Falling(1000, 1.0);
        TCompressor Releasing;
        Configure(Releasing, Falling, 0.25f, 1, Time);
        PullFrames(Releasing, Rate);
        Falling.SetAmplitude(0.3);
        const auto Down = DetectedLevel(PullFrames(Releasing, Rate / 2), 0.3, 0.25);
        EXPECT_NEAR(TimeConstantMs(Down, 1.0, 0.3) - Hold, Time, 0.2 * Time + 1.0) << "release " << Time;
    }
}

TEST(Compressor, FullScaleBassStaysClean) {
    // A 100 Hz full-scale sine under threshold 0.5: the gain must not move within a cycle.
    for (const auto& [Attack, Release] : {std::pair{5.0f, 50.0f}, std::pair{0.0f, 50.0f}, std::pair{50.0f, 5.0f}}) {
        TSineNode Source(100, 1.0);
        TCompressor Compressor;
        Configure(Compressor, Source, 0.5f, Attack, Release);
        const auto Left = ChannelOf(PullFrames(Compressor, 2 * Rate), 2, 0);
        EXPECT_LT(ThdDb(Left, 100, Rate, Rate, 2 * Rate), -40.0) << "attack " << Attack << " ms, release "
                                                                  << Release << " ms";
    }
}

TEST(Compressor, GainNeverStepsInOneSample) {
    // A step from a steady 0.1 to 0.9 with attack 0: the gain comes down over a few samples.
    auto Pcm = ConstantTone(3277, Rate / 10, 2);
    const auto Loud = ConstantTone(29491, Rate / 10, 2);
    Pcm.insert(Pcm.end(), Loud.begin(), Loud.end());
    TPcmNode Source(Pcm, Rate, 2);
    TCompressor Compressor;
    Configure(Compressor, Source, 0.25f, 0, 100);
    const auto Out = ChannelOf(PullFrames(Compressor, Rate / 5), 2, 0);
    const size_t Step = Rate / 10;
    EXPECT_GT(Out[Step] / 32767.0, 0.5) << "the first loud sample is barely lowered";
    EXPECT_NEAR(Out[Step + Rate / 1000] / 32767.0, 0.25, 0.01) << "and 1 ms later it sits on the threshold";
    for (size_t i = Step; i < Step + Rate / 1000; ++i)
        EXPECT_GE(Out[i] - Out[i + 1], 0.0) << "falling smoothly, no rebound at " << i;
}

} // namespace
