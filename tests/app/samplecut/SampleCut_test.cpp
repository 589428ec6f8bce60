// Saving a range of a recording: a WAV cut holds exactly the selected frames of the source at its
// own format, an MP3 cut decodes to the selected duration, the selection maps to whole frames in
// double precision, and a failed save leaves the old file as it was.
#include "app/SampleCut.h"
#include "audio/soundlib/SoundFile.h"
#include "base/Error.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace brindle::test;
namespace fs = std::filesystem;

namespace {

// Every frame different: a counter on the left channel, its negation on the right.
std::vector<std::int16_t> countingPcm(std::int64_t Frames, int Channels) {
    std::vector<std::int16_t> pcm(std::size_t(Frames * Channels));
    for (std::int64_t f = 0; f < Frames; ++f)
        for (int c = 0; c < Channels; ++c)
            pcm[std::size_t(f * Channels + c)] = std::int16_t((c ? -1 : 1) * ((f * 7) % 30000));
    return pcm;
}

std::vector<std::int16_t> decode(const fs::path& Path, int& Rate, int& Channels) {
    brindle::soundlib::SoundFile file;
    file.Open(Path.string());
    Rate = file.SampleRate();
    Channels = file.Channels();
    return brindle::soundlib::ReadAll(file, 1 << 26);
}

std::string contents(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SampleCut, AWavCutHoldsExactlyTheSelectedFramesInTheSourceFormat) {
    TempDir dir;
    for (auto [rate, channels] : {std::pair{44100, 2}, std::pair{48000, 1}}) {
        const auto source = countingPcm(3 * rate, channels);
        WriteSoundFile(dir / "source.wav", source, rate, channels);
        const std::int64_t first = 12345, frames = 54321;
        brindle::SaveSampleCut((dir / "source.wav").string(), first, frames, (dir / "cut.wav").string());
        int outRate = 0, outChannels = 0;
        const auto cut = decode(dir / "cut.wav", outRate, outChannels);
        EXPECT_EQ(outRate, rate);
        EXPECT_EQ(outChannels, channels);
        ASSERT_EQ(std::int64_t(cut.size()), frames * channels);
        EXPECT_TRUE(std::equal(cut.begin(), cut.end(), source.begin() + first * channels)) << rate;
    }
}

TEST(SampleCut, AnMp3CutDecodesToTheSelectedDuration) {
    TempDir dir;
    WriteSoundFile(dir / "source.wav", SineTone(440, 4.0, 44100, 2), 44100, 2);
    const std::int64_t frames = 44100 * 3 / 2;
    brindle::SaveSampleCut((dir / "source.wav").string(), 22050, frames, (dir / "cut.mp3").string());
    int rate = 0, channels = 0;
    const auto cut = decode(dir / "cut.mp3", rate, channels);
    EXPECT_EQ(rate, 44100);
    // The encoder's own delay and padding are the only difference: within one MP3 frame.
    EXPECT_NEAR(double(cut.size()) / channels, double(frames), 1152.0);
}

TEST(SampleCut, SelectionsMapToWholeFramesOfLongFiles) {
    const std::int64_t total = 44100LL * 60 * 30; // half an hour
    const std::int64_t first = total / 2 + 1, last = total - 3;
    const auto range = brindle::SelectionFrames(double(first) / double(total), double(last - first) / double(total), total);
    EXPECT_EQ(range.First, first);
    EXPECT_EQ(range.Count, last - first);
    // Out of range selections stay inside the file.
    const auto wild = brindle::SelectionFrames(0.9, 0.5, 1000);
    EXPECT_EQ(wild.First, 900);
    EXPECT_EQ(wild.Count, 100);
}

TEST(SampleCut, AFailedSaveLeavesTheOldFileUntouched) {
    TempDir dir;
    WriteSoundFile(dir / "source.wav", SineTone(440, 1.0, 44100, 2), 44100, 2);
    std::ofstream(dir / "cut.mp3") << "the old file";
    // No MP3 encoder to be found.
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir / "nothing").c_str(), 1);
    EXPECT_THROW(brindle::SaveSampleCut((dir / "source.wav").string(), 0, 1000, (dir / "cut.mp3").string()),
                 brindle::Error);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(contents(dir / "cut.mp3"), "the old file");
    // A missing source too.
    EXPECT_THROW(brindle::SaveSampleCut((dir / "gone.wav").string(), 0, 1000, (dir / "cut.mp3").string()),
                 brindle::Error);
    EXPECT_EQ(contents(dir / "cut.mp3"), "the old file");
    // Saving over an existing file replaces it.
    brindle::SaveSampleCut((dir / "source.wav").string(), 0, 1000, (dir / "cut.wav").string());
    std::ofstream(dir / "cut.wav") << "old";
    brindle::SaveSampleCut((dir / "source.wav").string(), 0, 1000, (dir / "cut.wav").string());
    EXPECT_GT(fs::file_size(dir / "cut.wav"), 4000u);
}

} // namespace
