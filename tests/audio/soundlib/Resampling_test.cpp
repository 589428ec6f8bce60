// Instruments converted to the mixer's rate: no audible images or aliases, a flat passband, onsets
// where they were, 16-bit sources at the mixer's rate untouched and deeper sources kept whole.
#include "audio/soundlib/Resampler.h"
#include "audio/soundlib/SoundFile.h"

#include "support/Measure.h"
#include "support/RunProcess.h"
#include "support/Spectrum.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <tuple>

using brindle::soundlib::DecodeFile;
using brindle::soundlib::ResampleQuality;
using brindle::soundlib::Resampler;
using brindle::soundlib::SoundFile;
namespace bt = brindle::test;

namespace {

constexpr int MixRate = 44100;
constexpr double Full16 = 32768.0;

std::vector<double> Sine(double Hz, int Rate, int Frames, double Amp) {
    std::vector<double> x(static_cast<std::size_t>(Frames));
    for (int i = 0; i < Frames; ++i)
        x[static_cast<std::size_t>(i)] = Amp * std::sin(2.0 * std::numbers::pi * Hz * i / Rate);
    return x;
}

// Mono through the converter the sample cache uses, in float: what the filter does, before rounding.
std::vector<double> Resample(const std::vector<double>& In, int InRate,
                             ResampleQuality Quality = ResampleQuality::High) {
    Resampler convert(InRate, 1, MixRate, 1, Quality);
    const std::vector<float> in(In.begin(), In.end());
    std::vector<float> out;
    // In pieces, as a file is decoded.
    for (std::size_t at = 0; at < in.size(); at += 5000)
        convert.Convert(in.data() + at, static_cast<int>(std::min<std::size_t>(5000, in.size() - at)), out);
    convert.Finish(out);
    return {out.begin(), out.end()};
}

std::int64_t PeakIndex(const std::vector<double>& X) {
    const auto it =
        std::max_element(X.begin(), X.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    return it - X.begin();
}

double LowerNyquist(int Rate) {
    return std::min(Rate, MixRate) / 2.0;
}

// Level of the converted Out at AtHz, in dB against the source tone's amplitude Amp, away from the
// edges where the tone starts and stops.
double LevelAt(const std::vector<double>& Out, double AtHz, double Amp) {
    return bt::DbOf(bt::WindowedAmplitude(Out, AtHz, MixRate, 2000, Out.size() - 2000), Amp);
}

// The tones of a stepped sweep from 40 Hz to Top: every kilohertz, and every 250 Hz over the last
// two kilohertz, where a short filter starts to roll off.
std::vector<double> SweepTo(double Top) {
    std::vector<double> hz{40.0, 500.0};
    for (double f = 1000.0; f < Top - 2000.0; f += 1000.0)
        hz.push_back(f);
    for (double f = std::max(Top - 2000.0, 1000.0); f < Top; f += 250.0)
        hz.push_back(f);
    hz.push_back(Top);
    return hz;
}

// Each source rate through the SoX engine and through the long filter that stands in for it.
class SourceRates : public ::testing::TestWithParam<std::tuple<int, ResampleQuality>> {
  protected:
    int Rate() const { return std::get<0>(GetParam()); }
    std::vector<double> Convert(const std::vector<double>& In) const {
        return Resample(In, Rate(), std::get<1>(GetParam()));
    }
};

TEST_P(SourceRates, PassbandIsFlatWithinATenthOfADecibel) {
    const int rate = Rate();
    const double top = LowerNyquist(rate) >= 22050 ? 20000.0 : 0.9 * LowerNyquist(rate);
    for (double hz : SweepTo(top)) {
        SCOPED_TRACE(hz);
        const auto out = Convert(Sine(hz, rate, rate, 0.5));
        EXPECT_NEAR(LevelAt(out, hz, 0.5), 0.0, 0.1);
    }
}

TEST_P(SourceRates, ImagesAndAliasesOfTonesInTheBandStayNinetyDecibelsDown) {
    const int rate = Rate();
    for (double hz : SweepTo(0.9 * LowerNyquist(rate))) {
        const auto out = Convert(Sine(hz, rate, rate, 0.5));
        // Every copy of the tone the source's sampling makes, wherever it would fold.
        for (int k = 1; k <= 4; ++k) {
            for (double copy : {k * rate - hz, k * rate + hz}) {
                const double at = bt::FoldedHz(copy, MixRate);
                if (std::abs(at - hz) < 50) continue; // lands on the tone itself
                SCOPED_TRACE(testing::Message() << hz << " Hz, copy at " << copy << " Hz shows at " << at);
                EXPECT_LT(LevelAt(out, at, 0.5), -90.0);
            }
        }
    }
}

// Sources that can hold content above the mixer's Nyquist frequency.
class HigherSourceRates : public SourceRates {};

TEST_P(HigherSourceRates, ContentAboveTheMixersNyquistDoesNotFoldBack) {
    const int rate = Rate();
    for (double hz : {22500.0, 23500.0, 0.45 * rate}) {
        if (hz <= MixRate / 2.0) continue;
        const auto out = Convert(Sine(hz, rate, rate, 0.5));
        SCOPED_TRACE(hz);
        EXPECT_LT(LevelAt(out, bt::FoldedHz(hz, MixRate), 0.5), -90.0);
        EXPECT_LT(bt::Rms(out, 2000, out.size() - 2000), 0.5 * 1e-4) << "nothing of it anywhere";
    }
}

TEST_P(SourceRates, AClickLandsOnItsFrameAndTheLengthFollowsTheRatio) {
    const int rate = Rate();
    const int frames = rate / 2;
    for (int click : {0, 1000, frames - 1500}) {
        std::vector<double> in(static_cast<std::size_t>(frames), 0.0);
        in[static_cast<std::size_t>(click)] = 0.9;
        const auto out = Convert(in);
        SCOPED_TRACE(click);
        EXPECT_NEAR(PeakIndex(out), std::llround(click * static_cast<double>(MixRate) / rate), 1);
        EXPECT_NEAR(static_cast<double>(out.size()), std::round(frames * static_cast<double>(MixRate) / rate),
                    1);
    }
}

std::string RateName(const ::testing::TestParamInfo<std::tuple<int, ResampleQuality>>& Info) {
    const bool sox = std::get<1>(Info.param) == ResampleQuality::High;
    return std::to_string(std::get<0>(Info.param)) + (sox ? "Hz_Sox" : "Hz_LongFilter");
}

const auto BothFilters = ::testing::Values(ResampleQuality::High, ResampleQuality::LongFilter);

INSTANTIATE_TEST_SUITE_P(Resampler, SourceRates,
                         ::testing::Combine(::testing::Values(22050, 32000, 48000, 88200, 96000), BothFilters),
                         RateName);
INSTANTIATE_TEST_SUITE_P(Resampler, HigherSourceRates,
                         ::testing::Combine(::testing::Values(48000, 88200, 96000), BothFilters), RateName);

TEST(DecodeFile, SixteenBitSamplesAreConvertedCleanly) {
    bt::TempDir dir;
    // A 22 kHz sample with a tone near the top of its band: its image at 12 128 Hz.
    const auto low = bt::WriteSineWav(dir / "low.wav", 9922, 1.0, 22050, 1, 16, 0.5);
    const auto fromLow = bt::ChannelOf(DecodeFile(low, MixRate, 2), 2, 1);
    const double amp = 0.5 * 32767;
    EXPECT_NEAR(bt::DbOf(bt::WindowedAmplitude(fromLow, 9922, MixRate, 2000, 42000), amp), 0.0, 0.1);
    EXPECT_LT(bt::DbOf(bt::WindowedAmplitude(fromLow, 22050 - 9922, MixRate, 2000, 42000), amp), -90.0);
    // A 48 kHz sample with content above 22.05 kHz: it must not fold back to 21.1 kHz.
    const auto high = bt::WriteSineWav(dir / "high.wav", 23000, 1.0, 48000, 2, 16, 0.5);
    const auto fromHigh = bt::ChannelOf(DecodeFile(high, MixRate, 2), 2, 0);
    EXPECT_LT(bt::DbOf(bt::WindowedAmplitude(fromHigh, MixRate - 23000, MixRate, 2000, 42000), amp), -90.0);
    // A click in a 48 kHz stereo file lands on its frame in both channels.
    std::vector<std::int16_t> clicks(48000 * 2, 0);
    clicks[30000 * 2] = clicks[30000 * 2 + 1] = 30000;
    bt::WriteSoundFile(dir / "click.wav", clicks, 48000, 2);
    const auto fromClick = DecodeFile(dir / "click.wav", MixRate, 2);
    EXPECT_EQ(fromClick.size(), std::size_t{MixRate * 2});
    for (int ch : {0, 1})
        EXPECT_NEAR(PeakIndex(bt::ChannelOf(fromClick, 2, ch)), std::llround(30000 * 44100.0 / 48000), 1);
}

TEST(DecodeFile, SixteenBitSamplesAtTheMixersRateKeepEverySample) {
    bt::TempDir dir;
    const auto mono = bt::SineTone(3210, 0.3, MixRate, 1, 0.7);
    bt::WriteSoundFile(dir / "m.wav", mono, MixRate, 1);
    const auto stereo = DecodeFile(dir / "m.wav", MixRate, 2);
    ASSERT_EQ(stereo.size(), mono.size() * 2);
    for (int ch : {0, 1})
        EXPECT_EQ(bt::ChannelOf(stereo, 2, ch), bt::ChannelOf(mono, 1, 0)) << "mono copied to channel " << ch;
    // The same through both decoders: libsndfile (FLAC) and FFmpeg (a container libsndfile refuses).
    const auto tone = bt::SineTone(1234, 0.3, MixRate, 2, 0.9);
    bt::WriteSoundFile(dir / "s.wav", tone, MixRate, 2);
    bt::WriteSoundFile(dir / "s.flac", tone, MixRate, 2);
    ASSERT_TRUE(bt::FfmpegConvert(dir / "s.wav", dir / "s.mkv", "-c:a pcm_s16le"));
    EXPECT_EQ(DecodeFile(dir / "s.flac", MixRate, 2), tone);
    EXPECT_EQ(DecodeFile(dir / "s.mkv", MixRate, 2), tone);
}

TEST(DecodeFile, StereoFoldedToMonoRoundsHalvesWithoutBias) {
    bt::TempDir dir;
    // Channels one step apart: every average lies halfway between two steps.
    std::vector<std::int16_t> pcm(20000 * 2);
    for (int i = 0; i < 20000; ++i) {
        pcm[static_cast<std::size_t>(i) * 2] = static_cast<std::int16_t>(i - 10000);
        pcm[static_cast<std::size_t>(i) * 2 + 1] = static_cast<std::int16_t>(i - 10000 + 1);
    }
    bt::WriteSoundFile(dir / "s.wav", pcm, MixRate, 2);
    const auto mono = DecodeFile(dir / "s.wav", MixRate, 1);
    ASSERT_EQ(mono.size(), std::size_t{20000});
    double bias = 0;
    for (int i = 0; i < 20000; ++i) {
        const double exact = (i - 10000) + 0.5;
        EXPECT_LE(std::abs(mono[static_cast<std::size_t>(i)] - exact), 0.5) << i;
        bias += mono[static_cast<std::size_t>(i)] - exact;
    }
    EXPECT_NEAR(bias / 20000, 0.0, 0.01);
}

TEST(DecodeFile, ConvertsAsCloselyAsSoxVeryHighQuality) {
    bt::TempDir dir;
    // Left a chord across the band, right a click, at 48 kHz; the chord's ideal conversion is the
    // same chord computed at 44.1 kHz.
    const std::vector<double> tones{110.0, 2500.0, 9000.0, 17000.0, 19900.0};
    const auto chord = [&](double T) {
        double v = 0;
        for (double hz : tones)
            v += 0.2 * std::sin(2.0 * std::numbers::pi * hz * T);
        return v * 32767;
    };
    std::vector<std::int16_t> pcm(48000 * 2, 0);
    for (int i = 0; i < 48000; ++i)
        pcm[static_cast<std::size_t>(i) * 2] = static_cast<std::int16_t>(std::lround(chord(i / 48000.0)));
    pcm[24000 * 2 + 1] = 32000;
    bt::WriteSoundFile(dir / "in.wav", pcm, 48000, 2);
    // No dither, so both carry only their filter's error and the rounding.
    const auto sox = bt::RunProcess(
        {"sox", (dir / "in.wav").string(), "-D", "-r", "44100", (dir / "sox.wav").string(), "rate", "-v"});
    if (sox.exitCode != 0) GTEST_SKIP() << "sox is not available: " << sox.err;
    SoundFile soxFile;
    soxFile.Open(dir / "sox.wav");
    const auto bySox = brindle::soundlib::ReadAll(soxFile, MixRate * 2);
    const auto ours = DecodeFile(dir / "in.wav", MixRate, 2);
    ASSERT_EQ(ours.size(), bySox.size());
    const auto errorRms = [&](const std::vector<std::int16_t>& Pcm) {
        const auto left = bt::ChannelOf(Pcm, 2, 0);
        std::vector<double> error;
        for (std::size_t i = 1000; i + 1000 < left.size(); ++i)
            error.push_back(left[i] - chord(static_cast<double>(i) / MixRate));
        return bt::Rms(error);
    };
    const double soxError = errorRms(bySox);
    EXPECT_LT(errorRms(ours), 1.2 * soxError + 0.1) << "sox: " << soxError << " steps RMS";
    EXPECT_LT(errorRms(ours), 2.0);
    EXPECT_EQ(PeakIndex(bt::ChannelOf(ours, 2, 1)), PeakIndex(bt::ChannelOf(bySox, 2, 1)));
}

// A 1 kHz tone at -100 dBFS, a third of a 16-bit step: truncating it makes a square wave at
// -94 dBFS around -0.5; rounding without dither makes it silence.
TEST(DeepSources, AToneBelowOneSixteenBitStepStaysASineAtItsLevel) {
    bt::TempDir dir;
    const double amp = std::pow(10.0, -100.0 / 20.0);
    std::vector<std::filesystem::path> files;
    for (int rate : {44100, 48000}) {
        for (int bits : {24, 32}) {
            files.push_back(dir / ("quiet" + std::to_string(rate) + "_" + std::to_string(bits) + ".wav"));
            bt::WriteDeepWav(files.back(), Sine(1000, rate, rate * 2, amp), rate, 1, bits);
        }
    }
    // The same through FFmpeg, from a container libsndfile refuses.
    ASSERT_TRUE(bt::FfmpegConvert(files[0], dir / "quiet.mkv", "-c:a pcm_s24le"));
    files.push_back(dir / "quiet.mkv");
    for (const auto& path : files) {
        for (int channels : {1, 2}) { // mono at 44.1 kHz is read as is; the others are converted
            SCOPED_TRACE(testing::Message() << path.filename() << ", " << channels << " out");
            const auto x = bt::ChannelOf(DecodeFile(path, MixRate, channels), channels, 0);
            ASSERT_EQ(x.size(), std::size_t{MixRate * 2});
            const double fundamental = bt::WindowedAmplitude(x, 1000, MixRate, 2000, x.size() - 2000);
            EXPECT_NEAR(bt::DbOf(fundamental, Full16), -100.0, 1.0);
            const double mean = std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
            EXPECT_NEAR(mean, 0.0, 0.05) << "no offset";
            EXPECT_LT(bt::WindowedAmplitude(x, 3000, MixRate, 2000, x.size() - 2000), fundamental / 10)
                << "no square wave";
        }
    }
}

TEST(DeepSources, FullScaleSaturatesAndRereadingGivesTheSameSamples) {
    bt::TempDir dir;
    const auto tone = Sine(500, MixRate, MixRate / 2, 1.0);
    bt::WriteDeepWav(dir / "loud.wav", tone, MixRate, 1, 32);
    SoundFile f;
    f.Open(dir / "loud.wav");
    EXPECT_TRUE(f.HasDeepSamples());
    const auto pcm = brindle::soundlib::ReadAll(f, MixRate);
    ASSERT_EQ(pcm.size(), tone.size());
    int worst = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i)
        worst = std::max(
            worst, static_cast<int>(std::abs(pcm[i] - std::clamp(tone[i] * Full16, -32768.0, 32767.0))));
    EXPECT_LE(worst, 1) << "within the dither's step, never wrapped round";
    // A stretch reached by seeking reads as it did read straight through, dither included.
    for (std::int64_t frame : {5000, 12345}) {
        std::vector<std::int16_t> again(1000);
        ASSERT_TRUE(f.SeekBytes(frame * 2));
        ASSERT_EQ(f.Read(again.data(), 2000), 2000);
        EXPECT_TRUE(std::equal(again.begin(), again.end(), pcm.begin() + frame)) << frame;
    }
    SoundFile shallow;
    shallow.Open(bt::WriteSineWav(dir / "s.wav", 500, 0.1, MixRate, 1));
    EXPECT_FALSE(shallow.HasDeepSamples());
}

TEST(DeepSources, NotANumberInAFloatFileIsSilence) {
    bt::TempDir dir;
    auto tone = Sine(500, MixRate, MixRate / 10, 0.5);
    for (std::size_t i : {100u, 101u, 2000u})
        tone[i] = std::nan("");
    bt::WriteDeepWav(dir / "nan.wav", tone, MixRate, 1, 32);
    SoundFile f;
    f.Open(dir / "nan.wav");
    const auto pcm = brindle::soundlib::ReadAll(f, MixRate);
    ASSERT_EQ(pcm.size(), tone.size());
    for (std::size_t i : {100u, 101u, 2000u})
        EXPECT_LE(std::abs(pcm[i]), 1) << "silence plus the dither at " << i;
    EXPECT_NEAR(pcm[99], tone[99] * Full16, 1.0) << "its neighbours keep their values";
}

} // namespace
