// The encoder's block loop: block sizes, the time limit, stopping, progress, and the WAV and raw
// PCM files it writes.
#include "support/SineNode.h"
#include "support/TempDir.h"
#include "audio/output/EncoderNode.h"
#include "base/Error.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using namespace brindle::test;
namespace fs = std::filesystem;

// A source that records every request and fills it with a sine.
struct TRecordingSine : TSineNode {
    using TSineNode::TSineNode;
    int PopData(void* Buf, int BufLen) override {
        Requests.push_back(BufLen);
        return TSineNode::PopData(Buf, BufLen);
    }
    std::vector<int> Requests;
};

std::vector<std::uint8_t> Bytes(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& B, size_t At) {
    return B[At] | B[At + 1] << 8 | B[At + 2] << 16 | static_cast<std::uint32_t>(B[At + 3]) << 24;
}

std::vector<std::int16_t> ReadWav(const fs::path& Path, SF_INFO& Info) {
    Info = {};
    SNDFILE* F = sf_open(Path.c_str(), SFM_READ, &Info);
    EXPECT_NE(F, nullptr) << sf_strerror(nullptr);
    if (!F) return {};
    std::vector<std::int16_t> Pcm(static_cast<size_t>(Info.frames * Info.channels));
    sf_readf_short(F, Pcm.data(), Info.frames);
    sf_close(F);
    return Pcm;
}

TEST(EncoderNode, BlockSizeFollowsBufLenInWholeFrames) {
    TEncoderNode Encoder;
    EXPECT_EQ(Encoder.GetSampleRate(), 44100);
    EXPECT_EQ(Encoder.GetChannels(), 2);
    EXPECT_EQ(Encoder.BlockBytes(), 44100); // 0.25 s
    Encoder.BufLen = 0.01f;
    EXPECT_EQ(Encoder.BlockBytes(), 1760); // 1763.99... truncated, then whole frames
    Encoder.SetFormat(22050, 1);
    EXPECT_EQ(Encoder.BlockBytes(), 440);
    Encoder.BufLen = 0.0f;
    EXPECT_EQ(Encoder.BlockBytes(), 2) << "never a zero-byte block";
    Encoder.SetInput(nullptr);
    EXPECT_EQ(Encoder.GetSampleRate(), 0);
    EXPECT_EQ(Encoder.GetChannels(), 0);
}

TEST(EncoderNode, TimeLimitReadsExactlyThatManyBytesShorteningTheLastRead) {
    TempDir Dir;
    TRecordingSine Source(1000, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Dir / "limit.wav").string());
    Encoder.SetOutputWAV(true);
    Encoder.BufLen = 0.01f;
    Encoder.EncodeTimeLimit = 1.5f;
    EXPECT_EQ(Encoder.LimitBytes(), 264600);
    Encoder.Encode();
    std::int64_t Total = 0;
    for (int R : Source.Requests) Total += R;
    EXPECT_EQ(Total, 264600);
    ASSERT_EQ(Source.Requests.size(), 151u);
    EXPECT_EQ(Source.Requests.front(), 1760);
    EXPECT_EQ(Source.Requests.back(), 264600 - 150 * 1760);
    EXPECT_EQ(Encoder.GetProgressBytes(), 264600);
    EXPECT_DOUBLE_EQ(Encoder.GetProgressSeconds(), 1.5);

    // The WAV header: 16-bit PCM, the stream's format, sizes completed.
    const auto B = Bytes(Dir / "limit.wav");
    ASSERT_EQ(B.size(), 44u + 264600u);
    EXPECT_EQ(std::memcmp(B.data(), "RIFF", 4), 0);
    EXPECT_EQ(U32(B, 4), B.size() - 8);
    EXPECT_EQ(std::memcmp(B.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(B[20] | B[21] << 8, 1);       // PCM
    EXPECT_EQ(B[22] | B[23] << 8, 2);       // channels
    EXPECT_EQ(U32(B, 24), 44100u);          // rate
    EXPECT_EQ(U32(B, 28), 44100u * 4);      // bytes per second
    EXPECT_EQ(B[34] | B[35] << 8, 16);      // bits
    EXPECT_EQ(std::memcmp(B.data() + 36, "data", 4), 0);
    EXPECT_EQ(U32(B, 40), 264600u);

    // The samples are the source's, unchanged.
    SF_INFO Info;
    const auto Pcm = ReadWav(Dir / "limit.wav", Info);
    TSineNode Reference(1000, 0.5);
    EXPECT_EQ(Pcm, PullFrames(Reference, 66150));
    EXPECT_EQ(Info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST(EncoderNode, RawPcmIsHeaderlessLittleEndian) {
    TempDir Dir;
    TSineNode Source(440, 0.9, 22050, 1);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Dir / "tone.raw").string());
    Encoder.OutputFormatDetect();
    EXPECT_TRUE(Encoder.GetOutputPCM());
    Encoder.EncodeTimeLimit = 0.1f;
    Encoder.Encode();
    const auto B = Bytes(Dir / "tone.raw");
    ASSERT_EQ(B.size(), 4408u); // 2205 frames of 2 bytes, lowered to a multiple of 4
    TSineNode Reference(440, 0.9, 22050, 1);
    const auto Expected = PullFrames(Reference, 2204);
    for (size_t i = 0; i < Expected.size(); ++i)
        ASSERT_EQ(static_cast<std::int16_t>(B[2 * i] | B[2 * i + 1] << 8), Expected[i]) << i;
}

TEST(EncoderNode, StopEndsAfterTheCurrentBlockAndCompletesTheFile) {
    TempDir Dir;
    TSineNode Source(1000, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Dir / "stopped.wav").string());
    Encoder.SetOutputWAV(true);
    Encoder.BufLen = 0.01f;
    int Events = 0;
    Encoder.OnEncodeProgress = [&](TEncoderNode* Sender) {
        EXPECT_EQ(Sender, &Encoder);
        // The first event comes before the encoder starts, with nothing done yet.
        if (Events == 0) {
            EXPECT_EQ(Sender->GetProgressBytes(), 0);
        }
        if (++Events == 11) Sender->Stop(); // at the start of the tenth read
    };
    Encoder.Encode();
    EXPECT_EQ(Events, 11);
    SF_INFO Info;
    ReadWav(Dir / "stopped.wav", Info);
    EXPECT_EQ(Info.frames, 10 * 440);
    EXPECT_EQ(Encoder.GetProgressBytes(), 10 * 1760);

    // The stop request is cleared by the next run.
    Events = 100;
    Encoder.EncodeTimeLimit = 0.05f;
    Encoder.Encode();
    ReadWav(Dir / "stopped.wav", Info);
    EXPECT_EQ(Info.frames, 2205);
}

TEST(EncoderNode, EndOfDataEndsTheRun) {
    TempDir Dir;
    TSineNode Source(1000, 0.5);
    Source.SetLimitFrames(1000);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Dir / "short.wav").string());
    Encoder.SetOutputWAV(true);
    Encoder.BufLen = 0.01f;
    Encoder.StopOnDataEnd = true;
    Encoder.Encode();
    SF_INFO Info;
    ReadWav(Dir / "short.wav", Info);
    EXPECT_EQ(Info.frames, 1000);
    EXPECT_EQ(Source.GetFramesDone(), 1000);

    // Without StopOnDataEnd, an input that has nothing more still ends the run.
    TSineNode Again(1000, 0.5);
    Again.SetLimitFrames(1000);
    Encoder.SetInput(&Again);
    Encoder.StopOnDataEnd = false;
    Encoder.Encode();
    ReadWav(Dir / "short.wav", Info);
    EXPECT_EQ(Info.frames, 1000);
}

TEST(EncoderNode, WithoutInputTheQueryHookFillsEachBlock) {
    TempDir Dir;
    TEncoderNode Encoder;
    Encoder.SetOutputFileName((Dir / "hook.wav").string());
    Encoder.SetOutputWAV(true);
    Encoder.EncodeTimeLimit = 0.5f;
    Encoder.OnQueryData = [](TAudioX*, void* Buf, int Len) {
        auto* P = static_cast<std::int16_t*>(Buf);
        for (int i = 0; i < Len / 2; ++i) P[i] = 1234;
    };
    Encoder.Encode();
    SF_INFO Info;
    const auto Pcm = ReadWav(Dir / "hook.wav", Info);
    EXPECT_EQ(Info.frames, 22050);
    EXPECT_EQ(std::count(Pcm.begin(), Pcm.end(), 1234), static_cast<long>(Pcm.size()));
}

TEST(EncoderNode, OutputFormatDetectByLowerCasedExtension) {
    TEncoderNode Encoder;
    EXPECT_TRUE(Encoder.GetOutputMP3());
    EXPECT_EQ(Encoder.GetOutputFileName(), "c:\\out.mp3");
    Encoder.SetOutputFileName("/music/Song.WAV");
    Encoder.OutputFormatDetect();
    EXPECT_TRUE(Encoder.GetOutputWAV());
    EXPECT_FALSE(Encoder.GetOutputMP3());
    Encoder.SetOutputFileName("c:\\music\\SONG.MP3");
    Encoder.OutputFormatDetect();
    EXPECT_TRUE(Encoder.GetOutputMP3());
    EXPECT_FALSE(Encoder.GetOutputWAV());
    Encoder.SetOutputFileName("take.PCM");
    Encoder.OutputFormatDetect();
    EXPECT_TRUE(Encoder.GetOutputPCM());

    auto Message = [&](const std::string& Name) {
        Encoder.SetOutputFileName(Name);
        try {
            Encoder.OutputFormatDetect();
        } catch (const brindle::Error& E) {
            return std::string(E.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(Message("song.OGG"), "File type - ..ogg not supported.");
    EXPECT_EQ(Message("/music.d/song"), "File type - . not supported.");
    EXPECT_TRUE(Encoder.GetOutputPCM()) << "a refused name leaves the format as it was";
}

} // namespace
