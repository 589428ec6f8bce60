#include "audio/soundlib/SoundFile.h"
#include "base/Error.h"

#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>

using brindle::soundlib::DecodeFile;
using brindle::soundlib::SoundFile;
namespace bt = brindle::test;

namespace {

std::vector<std::int16_t> ReadAll(SoundFile& f) {
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> block(4096);
    int got;
    while ((got = f.Read(block.data(), static_cast<int>(block.size() * 2))) > 0)
        out.insert(out.end(), block.begin(), block.begin() + got / 2);
    return out;
}

class WavFormats : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(WavFormats, DecodesExactLengthAndPitch) {
    const auto [bits, channels, rate] = GetParam();
    bt::TempDir dir;
    const auto path = bt::WriteSineWav(dir / "t.wav", 1000, 0.5, rate, channels, bits);
    SoundFile f;
    f.Open(path);
    EXPECT_STREQ(f.DecoderName(), "libsndfile");
    EXPECT_EQ(f.SampleRate(), rate);
    EXPECT_EQ(f.Channels(), channels);
    const std::int64_t frames = rate / 2;
    EXPECT_EQ(f.LengthBytes(), frames * channels * 2);
    const auto pcm = ReadAll(f);
    EXPECT_EQ(static_cast<std::int64_t>(pcm.size()), frames * channels);
    EXPECT_EQ(f.Read(nullptr, 4), -1) << "end of data reads -1";
    const auto ch = bt::ChannelOf(pcm, channels, channels - 1);
    EXPECT_NEAR(bt::ZeroCrossingHz(ch, rate), 1000.0, 1.0);
    // 8-bit keeps only the top byte.
    EXPECT_NEAR(bt::GoertzelAmplitude(ch, 1000, rate), 0.5 * 32767, bits == 8 ? 400 : 20);
}

INSTANTIATE_TEST_SUITE_P(Decoder, WavFormats,
                         ::testing::Combine(::testing::Values(8, 16, 24), ::testing::Values(1, 2),
                                            ::testing::Values(22050, 44100, 48000)));

TEST(SoundFile, CompressedFormatsDecodeWithTheirPitch) {
    bt::TempDir dir;
    const auto wav = bt::WriteSineWav(dir / "src.wav", 440, 1.0, 44100, 2);
    bt::WriteSoundFile(dir / "t.flac", bt::SineTone(440, 1.0, 44100, 2), 44100, 2);
    bt::WriteSoundFile(dir / "t.ogg", bt::SineTone(440, 1.0, 44100, 2), 44100, 2);
    ASSERT_TRUE(bt::FfmpegConvert(wav, dir / "t.mp3", "-c:a libmp3lame -b:a 192k"));
    ASSERT_TRUE(bt::FfmpegConvert(wav, dir / "t.wma", "-c:a wmav2 -b:a 128k"));
    ASSERT_TRUE(bt::FfmpegConvert(wav, dir / "t.m4a", "-c:a aac -b:a 128k"));
    for (const char* name : {"t.flac", "t.ogg", "t.mp3", "t.wma", "t.m4a"}) {
        SCOPED_TRACE(name);
        SoundFile f;
        f.Open(dir / name);
        EXPECT_EQ(f.SampleRate(), 44100);
        EXPECT_EQ(f.Channels(), 2);
        const auto pcm = ReadAll(f);
        const double seconds = static_cast<double>(pcm.size()) / 2 / 44100;
        EXPECT_NEAR(seconds, 1.0, 0.06); // lossy codecs pad a frame or so
        const auto left = bt::ChannelOf(pcm, 2, 0);
        EXPECT_NEAR(bt::ZeroCrossingHz(left, 44100, 4410, 39690), 440.0, 1.0);
        EXPECT_NEAR(bt::GoertzelAmplitude(left, 440, 44100, 4410, 39690), 0.5 * 32767, 1200);
    }
    SoundFile wma;
    wma.Open(dir / "t.wma");
    EXPECT_STREQ(wma.DecoderName(), "FFmpeg");
}

TEST(SoundFile, SeekLandsOnTheExactFrame) {
    bt::TempDir dir;
    // A ramp: every frame holds its own index, so the position can be read back from the data.
    std::vector<std::int16_t> ramp(20000 * 2);
    for (int i = 0; i < 20000; ++i)
        ramp[i * 2] = ramp[i * 2 + 1] = static_cast<std::int16_t>(i);
    bt::WriteSoundFile(dir / "r.wav", ramp, 44100, 2);
    bt::WriteSoundFile(dir / "r.flac", ramp, 44100, 2);
    for (const char* name : {"r.wav", "r.flac"}) {
        SoundFile f;
        f.Open(dir / name);
        ASSERT_TRUE(f.SeekBytes(12345 * 4 + 3)); // lowered to a whole frame
        EXPECT_EQ(f.PositionBytes(), 12345 * 4);
        std::int16_t frame[2];
        ASSERT_EQ(f.Read(frame, 4), 4);
        EXPECT_EQ(frame[0], 12345) << name;
        EXPECT_EQ(f.PositionBytes(), 12346 * 4);
        EXPECT_EQ(f.Read(nullptr, 400), 400) << "null buffer decodes and discards";
        ASSERT_EQ(f.Read(frame, 4), 4);
        EXPECT_EQ(frame[0], 12446);
    }
}

TEST(SoundFile, FfmpegSeekIsFrameExact) {
    bt::TempDir dir;
    std::vector<std::int16_t> ramp(48000 * 2);
    for (int i = 0; i < 48000; ++i)
        ramp[i * 2] = ramp[i * 2 + 1] = static_cast<std::int16_t>(i - 24000);
    bt::WriteSoundFile(dir / "r.wav", ramp, 48000, 2);
    // Lossless in a container libsndfile does not read.
    ASSERT_TRUE(bt::FfmpegConvert(dir / "r.wav", dir / "r.mkv", "-c:a pcm_s16le"));
    SoundFile f;
    f.Open(dir / "r.mkv");
    EXPECT_STREQ(f.DecoderName(), "FFmpeg");
    EXPECT_EQ(f.LengthBytes(), 48000 * 4);
    ASSERT_TRUE(f.SeekBytes(30001 * 4));
    std::int16_t frame[2];
    ASSERT_EQ(f.Read(frame, 4), 4);
    EXPECT_EQ(frame[0], 30001 - 24000);
    ASSERT_TRUE(f.SeekBytes(5 * 4));
    ASSERT_EQ(f.Read(frame, 4), 4);
    EXPECT_EQ(frame[0], 5 - 24000);
}

TEST(SoundFile, BadFilesAreRefusedWithTheirName) {
    bt::TempDir dir;
    const auto empty = dir / "empty.wav";
    std::ofstream(empty).close();
    const auto junk = dir / "junk.mp3";
    std::ofstream(junk) << std::string(5000, 'x');
    const auto headerOnly = dir / "noaudio.wav";
    bt::WriteSoundFile(headerOnly, {}, 44100, 2);
    for (const auto& p : {empty, junk, headerOnly, dir / "missing.wav", dir.path()}) {
        SoundFile f;
        try {
            f.Open(p);
            ADD_FAILURE() << "opened " << p;
        } catch (const brindle::Error& e) {
            EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
        }
        EXPECT_FALSE(f.IsOpen());
        EXPECT_EQ(f.Read(nullptr, 4), -1);
    }
}

TEST(SoundFile, ByteSecondConversions) {
    bt::TempDir dir;
    SoundFile f;
    f.Open(bt::WriteSineWav(dir / "t.wav", 100, 0.1, 22050, 1));
    EXPECT_DOUBLE_EQ(f.BytesToSeconds(44100), 1.0);
    EXPECT_EQ(f.SecondsToBytes(0.5), 22050);
    EXPECT_EQ(f.SecondsToBytes(1.0 / 22050 * 1.5), 2) << "whole frames only";
}

TEST(DecodeFile, MonoLowRateBecomesStereoAtMixerRateKeepingPitchAndLength) {
    bt::TempDir dir;
    const auto path = bt::WriteSineWav(dir / "m.wav", 500, 1.0, 22050, 1, 16, 0.5);
    const auto pcm = DecodeFile(path, 44100, 2);
    EXPECT_NEAR(static_cast<double>(pcm.size() / 2), 44100.0, 2.0);
    const auto left = bt::ChannelOf(pcm, 2, 0);
    const auto right = bt::ChannelOf(pcm, 2, 1);
    EXPECT_NEAR(bt::ZeroCrossingHz(left, 44100), 500.0, 0.5);
    EXPECT_NEAR(bt::GoertzelAmplitude(left, 500, 44100, 1000, 43000), 0.5 * 32767, 100) << "full level";
    EXPECT_NEAR(bt::GoertzelAmplitude(right, 500, 44100, 1000, 43000), 0.5 * 32767, 100);
}

TEST(DecodeFile, SameFormatIsBitExact) {
    bt::TempDir dir;
    const auto tone = bt::SineTone(1234, 0.3, 44100, 2);
    bt::WriteSoundFile(dir / "s.wav", tone, 44100, 2);
    EXPECT_EQ(DecodeFile(dir / "s.wav", 44100, 2), tone);
}

TEST(DecodeFile, FortyEightKilohertzKeepsPitch) {
    bt::TempDir dir;
    const auto path = bt::WriteSineWav(dir / "h.wav", 1000, 0.5, 48000, 2);
    const auto pcm = DecodeFile(path, 44100, 2);
    EXPECT_NEAR(static_cast<double>(pcm.size() / 2), 22050.0, 2.0);
    EXPECT_NEAR(bt::ZeroCrossingHz(bt::ChannelOf(pcm, 2, 1), 44100), 1000.0, 1.0);
}

} // namespace
