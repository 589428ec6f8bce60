// TPDF dither at the last conversion to 16 bits: the rounding error's mean and power no longer
// depend on the signal, and sound quieter than one step survives as a signal in noise.
#include "audio/soundlib/dsp/PcmConvert.h"
#include "audio/soundlib/dsp/TpdfDither.h"
#include "support/Measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;
constexpr float Step = 1.0f / 32768.0f;

struct Stats {
    double Mean = 0, ErrorPower = 0;
};

// Dithers a constant Offset steps above a sample value; mean output and error power in steps.
Stats DitherConstant(double Offset) {
    constexpr int Count = 200000;
    const std::vector<float> In(Count, static_cast<float>((1000.0 + Offset) * Step));
    std::vector<std::int16_t> Out(Count);
    brindle::dsp::TTpdfDither Dither;
    Dither.Quantize(Out.data(), In.data(), Count);
    Stats S;
    for (auto V : Out) {
        S.Mean += V - 1000.0;
        S.ErrorPower += (V - 1000.0 - Offset) * (V - 1000.0 - Offset);
    }
    S.Mean /= Count;
    S.ErrorPower /= Count;
    return S;
}

TEST(TpdfDither, ErrorMeanAndPowerDoNotDependOnTheSignal) {
    for (double Offset : {0.0, 0.25, 0.5, 0.75}) {
        const Stats S = DitherConstant(Offset);
        // Plain rounding would give 0 or 1 with an error of up to half a step, always the same.
        EXPECT_NEAR(S.Mean, Offset, 0.01) << "offset " << Offset;
        // Rounding (1/12) plus triangular noise (1/6): a quarter of a step squared, at any level.
        EXPECT_NEAR(S.ErrorPower, 0.25, 0.01) << "offset " << Offset;
    }
}

TEST(TpdfDither, SineBelowOneStepSurvivesAndSaturationStillHolds) {
    const int Count = Rate;
    std::vector<float> In(Count);
    for (int i = 0; i < Count; ++i)
        In[i] = static_cast<float>(0.4 * Step * std::sin(2 * std::numbers::pi * 1000.0 * i / Rate));
    std::vector<std::int16_t> Plain(Count), Dithered(Count);
    brindle::dsp::FloatsToPcm(Plain.data(), In.data(), Count);
    brindle::dsp::TTpdfDither Dither;
    Dither.Quantize(Dithered.data(), In.data(), Count);
    auto Amplitude = [&](const std::vector<std::int16_t>& X) {
        return GoertzelAmplitude(ChannelOf(X, 1, 0), 1000, Rate);
    };
    EXPECT_EQ(Amplitude(Plain), 0.0) << "rounded plainly, a 0.4-step sine is silence";
    EXPECT_NEAR(Amplitude(Dithered), 0.4, 0.03);

    const std::vector<float> Loud{2.0f, -2.0f, NAN, 0.99999f};
    std::vector<std::int16_t> Out(4);
    Dither.Quantize(Out.data(), Loud.data(), 4);
    EXPECT_EQ(Out[0], 32767);
    EXPECT_EQ(Out[1], -32768);
    EXPECT_LE(std::abs(Out[2]), 1) << "a NaN is silence plus the dither";
    EXPECT_GE(Out[3], 32766);
}

} // namespace
