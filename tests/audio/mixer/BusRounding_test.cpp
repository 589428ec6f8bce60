// Volume on the mix bus rounds to the nearest step: no bias towards zero, and unity gain stays
// bit-exact.
#include "audio/mixer/LiveMixer.h"
#include "audio/mixer/MixKernels.h"

#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

// Every positive (or negative) sample value once, on both channels.
std::vector<std::int16_t> Ramp(bool Negative) {
    std::vector<std::int16_t> Pcm;
    for (int v = 1; v <= 32767; ++v) {
        const auto S = static_cast<std::int16_t>(Negative ? -v : v);
        Pcm.push_back(S);
        Pcm.push_back(S);
    }
    return Pcm;
}

// Whole-numbered samples times 0.3 land on tenths of a step, one in ten on an exact half that
// rounds up (0.3f is a hair above 0.3): correct rounding leaves a mean of 0.05 step on a ramp.
// Truncation left -0.45.
constexpr double RampBias = 0.06;

struct Error {
    double Mean = 0, Worst = 0;
};

// Output minus the exact scaled value, over the ramp.
Error Measure(const std::vector<std::int16_t>& In, const std::vector<std::int16_t>& Out, double Gain) {
    Error E;
    for (size_t i = 0; i < In.size(); ++i) {
        const double Diff = Out[i] - In[i] * Gain;
        E.Mean += Diff;
        E.Worst = std::max(E.Worst, std::fabs(Diff));
    }
    E.Mean /= static_cast<double>(In.size());
    return E;
}

TEST(BusRounding, VolumeRoundsWithoutBiasOnTheBusAndInTheGainKernel) {
    for (bool Negative : {false, true}) {
        const auto In = Ramp(Negative);
        bt::TempDir Dir;
        TLiveMixer Mixer(4);
        const auto Path = (Dir / "ramp.wav").string();
        bt::WriteSoundFile(Path, In, Rate, 2);
        Mixer.GetSampleCache()->Load(Path);
        ASSERT_TRUE(Mixer.AddToMix(Path, 1, 0.3f, 0, 0, 1));
        std::vector<std::int16_t> Out(In.size());
        ASSERT_EQ(Mixer.PopData(Out.data(), static_cast<int>(Out.size() * 2)),
                  static_cast<int>(Out.size() * 2));
        const Error Bus = Measure(In, Out, 0.3f);
        EXPECT_NEAR(Bus.Mean, 0.0, RampBias) << (Negative ? "negative" : "positive") << " values on the bus";
        EXPECT_LE(Bus.Worst, 0.5 + 1e-3);

        std::vector<std::int16_t> Scaled(In.size());
        brindle::soundlib::GainShorts(Scaled.data(), In.data(), static_cast<int>(In.size()), 0.3f);
        const Error Kernel = Measure(In, Scaled, 0.3f);
        EXPECT_NEAR(Kernel.Mean, 0.0, RampBias)
            << (Negative ? "negative" : "positive") << " values in GainShorts";
        EXPECT_LE(Kernel.Worst, 0.5 + 1e-3);

        // Unity gain: the bus and the kernel copy every value bit for bit.
        Mixer.Clear();
        ASSERT_TRUE(Mixer.AddToMix(Path, 1, 1.0f, 0, 0, 2));
        ASSERT_EQ(Mixer.PopData(Out.data(), static_cast<int>(Out.size() * 2)),
                  static_cast<int>(Out.size() * 2));
        EXPECT_TRUE(Out == In);
        brindle::soundlib::GainShorts(Scaled.data(), In.data(), static_cast<int>(In.size()), 1.0f);
        EXPECT_TRUE(Scaled == In);
    }
}

} // namespace
