// The vectorised DSP paths: PCM conversion limits, and every effect giving the same sound whether
// a signal arrives in one block or in odd pieces, and whatever the channel count.
#include "audio/soundlib/dsp/CombReverb.h"
#include "audio/soundlib/dsp/EnvelopeCompressor.h"
#include "audio/soundlib/dsp/PcmConvert.h"
#include "audio/soundlib/dsp/PeakingFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace brindle::dsp;
constexpr int Rate = 44100;

TEST(PcmConvert, EverySampleValueSurvivesTheRoundTrip) {
    std::vector<std::int16_t> Pcm(65536);
    for (int i = 0; i < 65536; ++i)
        Pcm[i] = static_cast<std::int16_t>(i - 32768);
    std::vector<float> Floats(Pcm.size());
    PcmToFloats(Floats.data(), Pcm.data(), static_cast<int>(Pcm.size()));
    EXPECT_EQ(Floats[0], -1.0f);
    EXPECT_EQ(Floats[32768], 0.0f);
    std::vector<std::int16_t> Back(Pcm.size());
    FloatsToPcm(Back.data(), Floats.data(), static_cast<int>(Floats.size()));
    EXPECT_EQ(Back, Pcm);
}

TEST(PcmConvert, RoundsSaturatesAndSilencesNaNInBothPaths) {
    const float Lsb = 1.0f / 32768.0f;
    const float Inf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<float, std::int16_t>> Cases{
        {0.5f * Lsb, 0},         {1.5f * Lsb, 2},
        {-1.5f * Lsb, -2},       {0.6f * Lsb, 1},
        {-0.6f * Lsb, -1},       {2.0f, 32767},
        {-2.0f, -32768},         {1e30f, 32767},
        {-1e30f, -32768},        {Inf, 32767},
        {-Inf, -32768},          {NAN, 0},
        {32767.4f * Lsb, 32767}, {-32768.6f * Lsb, -32768},
        {5e9f, 32767},           {-5e9f, -32768},
    };
    // Each value at every position of a 19-sample block reaches both the 8-wide loop and the tail.
    for (int At = 0; At < 19; ++At)
        for (const auto& [In, Want] : Cases) {
            std::vector<float> Block(19, 0.25f);
            Block[At] = In;
            std::vector<std::int16_t> Out(19);
            FloatsToPcm(Out.data(), Block.data(), 19);
            ASSERT_EQ(Out[At], Want) << "value " << In << " at " << At;
            ASSERT_EQ(Out[(At + 1) % 19], 8192);
        }
}

std::vector<float> Noise(int Frames, int Channels, unsigned Seed, float Amp = 0.5f) {
    std::mt19937 Random(Seed);
    std::uniform_real_distribution<float> Sample(-Amp, Amp);
    std::vector<float> X(static_cast<size_t>(Frames) * Channels);
    for (auto& V : X)
        V = Sample(Random);
    return X;
}

using TMaker = std::unique_ptr<TEffect> (*)(int Channels);

std::unique_ptr<TEffect> MakeEq(int Channels) {
    auto Eq = std::make_unique<TPeakingFilter>(Rate, Channels);
    TPeakEqParams P;
    P.Center = 60;
    P.Gain = 9;
    P.Bandwidth = 0.8f;
    Eq->SetParameters(P);
    return Eq;
}
std::unique_ptr<TEffect> MakeReverb(int Channels) {
    auto Reverb = std::make_unique<TCombReverb>(Rate, Channels);
    Reverb->SetParameters({0.7f, 2000});
    return Reverb;
}
std::unique_ptr<TEffect> MakeCompressor(int Channels) {
    auto Compressor = std::make_unique<TEnvelopeCompressor>(Rate, Channels);
    Compressor->SetParameters({0.2f, 3, 50, -1});
    return Compressor;
}

struct TNamedMaker {
    const char* Name;
    TMaker Make;
};
const TNamedMaker Makers[] = {{"equalizer", MakeEq}, {"reverb", MakeReverb}, {"compressor", MakeCompressor}};

TEST(DspBlocks, OddPiecesSoundLikeOneBlock) {
    // Longer than the comb ring and the processing slices, so runs wrap and split mid-block.
    constexpr int Frames = 3 * Rate / 2 + 1;
    const int Pieces[] = {1, 7, 441, 3, 1023, 1025, 2048, 4, 5000, 9999};
    for (const auto& M : Makers)
        for (int Channels : {1, 2, 3}) {
            SCOPED_TRACE(std::string(M.Name) + ", channels " + std::to_string(Channels));
            const auto Input = Noise(Frames, Channels, 3);
            auto Whole = Input;
            M.Make(Channels)->Process(Whole.data(), Frames);
            auto Split = Input;
            auto Effect = M.Make(Channels);
            for (int Done = 0, p = 0; Done < Frames; ++p) {
                const int Now = std::min(Pieces[p % std::size(Pieces)], Frames - Done);
                Effect->Process(Split.data() + static_cast<size_t>(Done) * Channels, Now);
                Done += Now;
            }
            double Worst = 0, Loudest = 0;
            for (size_t i = 0; i < Whole.size(); ++i) {
                Worst = std::max(Worst, std::fabs(static_cast<double>(Whole[i]) - Split[i]));
                Loudest = std::max(Loudest, std::fabs(static_cast<double>(Whole[i]) - Input[i]));
            }
            EXPECT_LT(Worst, 1e-5);
            EXPECT_GT(Loudest, 0.01) << "the effect did something";
        }
}

TEST(DspBlocks, EveryChannelCountGivesEachChannelTheSameSound) {
    // The same signal on every channel: the paired-lane, single-lane and generic paths must agree.
    constexpr int Frames = Rate / 2;
    const auto Mono = Noise(Frames, 1, 5, 0.8f);
    for (const auto& M : Makers) {
        SCOPED_TRACE(M.Name);
        auto Reference = Mono;
        M.Make(1)->Process(Reference.data(), Frames);
        for (int Channels : {2, 3, 5}) {
            std::vector<float> Block(static_cast<size_t>(Frames) * Channels);
            for (int i = 0; i < Frames; ++i)
                for (int c = 0; c < Channels; ++c)
                    Block[static_cast<size_t>(i) * Channels + c] = Mono[i];
            M.Make(Channels)->Process(Block.data(), Frames);
            // Odd channels of the reverb have their own, spread delays: compare the even ones.
            const int Step = M.Make == MakeReverb ? 2 : 1;
            for (int c = 0; c < Channels; c += Step) {
                double Worst = 0;
                for (int i = 0; i < Frames; ++i)
                    Worst = std::max(
                        Worst, std::fabs(static_cast<double>(Block[static_cast<size_t>(i) * Channels + c]) -
                                         Reference[i]));
                EXPECT_LT(Worst, 1e-5) << Channels << " channels, channel " << c;
            }
        }
    }
}

TEST(DspBlocks, CompressorLinksOnlyTheSelectedChannels) {
    // Left loud, right quiet: with both selected the quiet side is pulled down with the loud one,
    // with only the right one selected it is left alone, and the left is not touched either.
    constexpr int Frames = Rate / 4;
    std::vector<float> Block(Frames * 2);
    for (int i = 0; i < Frames; ++i) {
        Block[2 * i] = 0.9f * std::sin(0.1f * i);
        Block[2 * i + 1] = 0.1f * std::sin(0.1f * i);
    }
    auto Linked = Block;
    TEnvelopeCompressor Both(Rate, 2);
    Both.SetParameters({0.3f, 1, 100, -1});
    Both.Process(Linked.data(), Frames);
    auto RightOnly = Block;
    TEnvelopeCompressor Right(Rate, 2);
    Right.SetParameters({0.3f, 1, 100, 2});
    Right.Process(RightOnly.data(), Frames);
    const int Last = Frames - 1;
    EXPECT_NEAR(Linked[2 * Last + 1] / Block[2 * Last + 1], 0.3 / 0.9, 0.05);
    for (int i = 0; i < Frames; ++i) {
        ASSERT_EQ(RightOnly[2 * i], Block[2 * i]) << i;
        ASSERT_EQ(RightOnly[2 * i + 1], Block[2 * i + 1]) << i;
    }
}

} // namespace
