// Wiring and failure texts of the effect nodes.
#include "support/SineNode.h"
#include "audio/effects/Compressor.h"
#include "audio/effects/CustomDSP.h"
#include "audio/effects/Equalizer.h"
#include "audio/effects/Reverb.h"
#include "audio/soundlib/dsp/CombReverb.h"
#include "audio/soundlib/dsp/EnvelopeCompressor.h"
#include "base/Error.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

using brindle::test::TSineNode;

std::string ErrorText(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const brindle::Error& E) {
        return E.what();
    }
    return "";
}

bool EndsWith(const std::string& Text, const std::string& Tail) {
    return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

TEST(EffectNodes, PulledWithoutInputRaiseTheirNotDefinedErrors) {
    std::array<std::int16_t, 64> Buf{};
    TEqualizer Eq;
    TReverb Reverb;
    TCustomDSP Custom;
    TCompressor Compressor;
    EXPECT_EQ(ErrorText([&] { Eq.PopData(Buf.data(), 128); }), "TEqualizer - ReadStream not defined");
    EXPECT_EQ(ErrorText([&] { Reverb.PopData(Buf.data(), 128); }), "TEqualizer - ReadStream not defined");
    EXPECT_EQ(ErrorText([&] { Custom.PopData(Buf.data(), 128); }), "CustomDSP - FXStream not defined");
    EXPECT_EQ(ErrorText([&] { Compressor.PopData(Buf.data(), 128); }), "CustomDSP - FXStream not defined");

    // Detaching the input takes the stream away again.
    TSineNode Source(440, 0.5);
    Eq.SetInput(&Source);
    EXPECT_EQ(Eq.PopData(Buf.data(), 128), 128);
    Eq.SetInput(nullptr);
    EXPECT_EQ(ErrorText([&] { Eq.PopData(Buf.data(), 128); }), "TEqualizer - ReadStream not defined");
}

TEST(EffectNodes, UnusableFormatNamesTheSourceLocationAndTheStream) {
    TSineNode NoChannels(440, 0.5, 44100, 0);
    TEqualizer Eq;
    TReverb Reverb;
    TCompressor Compressor;
    const std::string EqText = ErrorText([&] { Eq.SetInput(&NoChannels); });
    EXPECT_TRUE(EndsWith(EqText, "can't create ReadStream")) << EqText;
    EXPECT_NE(EqText.find("Equalizer.cpp"), std::string::npos) << EqText;
    // File and line are written together, without a separator, right before the text.
    EXPECT_NE(EqText.find(".cpp"), std::string::npos);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(EqText[EqText.find(".cpp") + 4]))) << EqText;
    EXPECT_TRUE(EndsWith(ErrorText([&] { Reverb.SetInput(&NoChannels); }), "can't create ReadStream"));
    EXPECT_TRUE(
        EndsWith(ErrorText([&] { Compressor.SetInput(&NoChannels); }), "can't create FXStream (CustomDSP)"));
}

TEST(EffectNodes, FormatFollowsTheInput) {
    TSineNode Mono(440, 0.5, 22050, 1);
    TEqualizer Eq;
    EXPECT_EQ(Eq.GetSampleRate(), 44100);
    EXPECT_EQ(Eq.GetChannels(), 2);
    Eq.SetInput(&Mono);
    EXPECT_EQ(Eq.GetSampleRate(), 22050);
    EXPECT_EQ(Eq.GetChannels(), 1);
    EXPECT_EQ(Eq.GetInput(), &Mono);
}

TEST(Equalizer, BandCountIsReplacedNotAddedAndSetEqIgnoresWhatIsNotThere) {
    TEqualizer Eq;
    Eq.setEQNum(3);
    EXPECT_NO_THROW(Eq.setEQ(0, 60, 6.0f)); // no read stream: nothing happens
    EXPECT_NO_THROW(Eq.setEQ(7, 60, 6.0f));
    EXPECT_EQ(Eq.GetStreamFilterCount(), 0);

    TSineNode Source(440, 0.5);
    Eq.SetInput(&Source);
    Eq.setEQNum(3);
    Eq.setEQNum(3);
    EXPECT_EQ(Eq.GetBandFilterCount(), 3);
    EXPECT_EQ(Eq.GetStreamFilterCount(), 3);
    Eq.setEQNum(1);
    EXPECT_EQ(Eq.GetStreamFilterCount(), 1);
    EXPECT_NO_THROW(Eq.setEQ(2, 8000, 3.0f)); // beyond the count: ignored
    EXPECT_EQ(ErrorText([&] { Eq.setEQNum(TEqualizer::MaxBands + 1); }), "TEqualizer - can't add equalizer filter.");
}

TEST(Equalizer, ActivatingAppliesTheBandList) {
    TSineNode Source(440, 0.5);
    TEqualizer Eq;
    Eq.SetInput(&Source);
    Eq.Bands.Add(std::make_unique<TBand>(TBand{60, 3}));
    Eq.Bands.Add(std::make_unique<TBand>(TBand{8000, -3}));
    EXPECT_EQ(Eq.GetStreamFilterCount(), 0);
    Eq.SetActive(true);
    EXPECT_TRUE(Eq.GetActive());
    EXPECT_EQ(Eq.GetStreamFilterCount(), 2);
    EXPECT_EQ(ErrorText([&] { (void)Eq.Bands[2]; }), "cTemplateList - to big item number");
}

TEST(Reverb, RecordStartsFromTheEffectDefaultsUntilTheOwnerWritesIt) {
    TSineNode Source(440, 0.5);
    TReverb Reverb;
    Reverb.Params.Level = 0.9f;
    Reverb.Params.Delay = 9999;
    Reverb.SetInput(&Source);
    EXPECT_TRUE(Reverb.GetEffectAdded());
    const brindle::dsp::TReverbParams Defaults;
    EXPECT_EQ(Reverb.Params.Level, Defaults.Level);
    EXPECT_EQ(Reverb.Params.Delay, Defaults.Delay);
}

TEST(Compressor, RecordStartsFromTheEffectDefaults) {
    TSineNode Source(440, 0.5);
    TCompressor Compressor;
    Compressor.Params.Threshold = 0.01f;
    Compressor.SetInput(&Source);
    const brindle::dsp::TCompressorParams Defaults;
    EXPECT_EQ(Compressor.Params.Threshold, Defaults.Threshold);
    EXPECT_EQ(Compressor.Params.Attack, Defaults.Attack);
    EXPECT_EQ(Compressor.Params.Release, Defaults.Release);
    EXPECT_EQ(Compressor.Params.Channel, -1);
}

TEST(CustomDSP, WithoutInputTheQueryHookFillsTheBlock) {
    TSineNode Source(440, 0.5);
    TCustomDSP Custom;
    Custom.SetInput(&Source);
    Custom.SetInput(nullptr);
    EXPECT_FALSE(Custom.HasFXStream());
    Custom.InitFXChannel();
    std::array<std::int16_t, 8> Buf{};
    Buf.fill(7);
    EXPECT_EQ(Custom.PopData(Buf.data(), 16), 0); // no input, no hook: silence, nothing delivered
    EXPECT_EQ(Buf[0], 0);
    int Calls = 0;
    Custom.OnQueryData = [&](TAudioX* Sender, void* Data, int Len) {
        EXPECT_EQ(Sender, &Custom);
        ++Calls;
        auto* P = static_cast<std::int16_t*>(Data);
        for (int i = 0; i < Len / 2; ++i) P[i] = static_cast<std::int16_t>(100 + i);
    };
    EXPECT_EQ(Custom.PopData(Buf.data(), 16), 16);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(Buf[0], 100);
    EXPECT_EQ(Buf[7], 107);
}

} // namespace
