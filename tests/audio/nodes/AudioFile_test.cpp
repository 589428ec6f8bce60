#include "audio/nodes/AudioFile.h"
#include "audio/nodes/FileReadNode.h"
#include "base/realtime/UiNotice.h"
#include "base/Error.h"

#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

namespace bt = brindle::test;

namespace {

// Stereo ramp: frame i holds i (mod 2^15) on both channels, so positions can be read from the data.
std::string WriteRamp(const bt::TempDir& Dir, const std::string& Name, int Frames) {
    std::vector<std::int16_t> pcm(static_cast<size_t>(Frames) * 2);
    for (int i = 0; i < Frames; ++i)
        pcm[i * 2] = pcm[i * 2 + 1] = static_cast<std::int16_t>(i % 32768);
    const auto path = (Dir / Name).string();
    bt::WriteSoundFile(path, pcm, 44100, 2);
    return path;
}

TEST(AudioFile, WindowDeliversExactByteCountThenSilence) {
    bt::TempDir dir;
    TFileReadNode node;
    node.SetFileName(WriteRamp(dir, "r.wav", 100000)); // 400,000 bytes
    EXPECT_EQ(node.GetSampleRate(), 44100);
    EXPECT_EQ(node.GetChannels(), 2);
    node.SetPos(0.5f);
    node.SetReadLen(0.25f);
    std::vector<std::int16_t> block(3000 * 2);
    std::int64_t total = 0;
    std::int16_t firstValue = -1;
    while (!node.GetOver()) {
        const int got = node.PopData(block.data(), static_cast<int>(block.size() * 2));
        if (firstValue < 0) firstValue = block[0];
        if (!node.GetOver()) total += got;
    }
    EXPECT_EQ(total, 100000);
    EXPECT_EQ(firstValue, 50000 % 32768);
    // Past the window: full blocks of silence with EndSilence, nothing without.
    std::fill(block.begin(), block.end(), std::int16_t{9});
    EXPECT_EQ(node.PopData(block.data(), 12000), 12000);
    EXPECT_EQ(bt::FirstAbove(bt::ChannelOf(block, 2, 0), 0), -1);
    node.EndSilence = false;
    EXPECT_EQ(node.PopData(block.data(), 12000), 0);
}

TEST(AudioFile, EndOfFileGivesSilenceOrNothingAndRaisesOverOnTheUiThread) {
    bt::TempDir dir;
    int overs = 0;
    std::thread::id overThread;
    {
        TAudioFile node;
        node.SetFileName(WriteRamp(dir, "r.wav", 1000));
        node.OnOver = [&](TAudioX* sender) {
            EXPECT_EQ(sender, &node);
            overThread = std::this_thread::get_id();
            ++overs;
        };
        std::vector<std::int16_t> block(800 * 2);
        EXPECT_EQ(node.PopData(block.data(), 3200), 3200);
        EXPECT_EQ(node.PopData(block.data(), 3200), 800) << "the short last block";
        EXPECT_EQ(node.PopData(block.data(), 3200), 3200) << "then silence";
        EXPECT_TRUE(node.GetOver());
        EXPECT_EQ(overs, 0) << "not raised on the pulling thread";
        int ran = 0;
        std::thread ui([&] { ran = brindle::DrainUiNotices(); });
        const auto uiThread = ui.get_id();
        ui.join();
        EXPECT_EQ(ran, 1);
        EXPECT_EQ(overs, 1);
        EXPECT_EQ(overThread, uiThread);
        node.PopData(block.data(), 3200);
        EXPECT_EQ(brindle::DrainUiNotices(), 0) << "raised once";
        node.EndSilence = false;
        EXPECT_EQ(node.PopData(block.data(), 3200), 0);
        node.SetPos(0.9f);
        EXPECT_FALSE(node.GetOver());
        node.PopData(block.data(), 3200);
        node.PopData(block.data(), 3200);
        EXPECT_EQ(brindle::DrainUiNotices(), 1) << "the end reached again is raised again";
        EXPECT_EQ(overs, 2);
        node.SetPos(0.9f);
        node.PopData(block.data(), 3200);
        node.PopData(block.data(), 3200);
        EXPECT_TRUE(node.GetOver());
    }
    EXPECT_EQ(brindle::DrainUiNotices(), 0) << "the node is gone: its posted end must not run";
    EXPECT_EQ(overs, 2);
}

TEST(AudioFile, LoopDeliversShortBlockAtTheLoopEndAndRestarts) {
    bt::TempDir dir;
    TAudioFile node;
    node.SetFileName(WriteRamp(dir, "r.wav", 10000));
    node.SetPos(0.1f);      // frame 1000
    node.SetLoopLen(0.05f); // 500 frames, 2000 bytes
    int loops = 0;
    node.OnLoop = [&](TAudioX*) { ++loops; };
    std::vector<std::int16_t> block(300 * 2);
    std::vector<int> sizes;
    std::vector<std::int16_t> firsts;
    for (int i = 0; i < 4; ++i) {
        sizes.push_back(node.PopData(block.data(), 1200));
        firsts.push_back(block[0]);
    }
    EXPECT_EQ(sizes, (std::vector<int>{1200, 800, 1200, 800}));
    EXPECT_EQ(firsts, (std::vector<std::int16_t>{1000, 1300, 1000, 1300}));
    EXPECT_EQ(block[399], 1499) << "the short block ends exactly at the loop end";
    EXPECT_EQ(loops, 1);
}

TEST(AudioFile, Mp3SeekBelowThePreRollDecodesForwardFromTheStart) {
    bt::TempDir dir;
    const auto wav = bt::WriteSineWav(dir / "s.wav", 440, 2.0, 44100, 2);
    ASSERT_TRUE(bt::FfmpegConvert(wav, dir / "s.mp3", "-c:a libmp3lame -b:a 192k"));
    TAudioFile node;
    node.SetFileName((dir / "s.mp3").string());
    node.SetPos(0.001f);
    EXPECT_NEAR(node.GetPos(), 0.001f, 0.0005f);
    node.SetPos(0.5f);
    EXPECT_NEAR(node.GetPos(), 0.5f, 0.0005f);
    EXPECT_NEAR(node.GetTotalTime(), 2.0f, 0.06f);
}

TEST(AudioFile, RealPlayPositionFollowsDeliveredData) {
    bt::TempDir dir;
    TAudioFile node;
    node.SetFileName(WriteRamp(dir, "r.wav", 44100));
    node.SetPos(0.25f);
    std::vector<std::int16_t> block(4410 * 2);
    node.PopData(block.data(), 4410 * 4);
    EXPECT_NEAR(node.RealPlayPosition(), 0.35f, 1e-5f);
}

TEST(AudioFile, BadFilesRaiseErrorsAndLeaveNoFile) {
    bt::TempDir dir;
    TAudioFile node;
    node.SetFileName(WriteRamp(dir, "ok.wav", 100));
    try {
        node.SetFileName((dir / "gone.wav").string());
        FAIL();
    } catch (const brindle::Error& e) {
        EXPECT_STREQ(e.what(), "FileExists(filename)");
    }
    EXPECT_EQ(node.GetFileName(), "");
    const auto junk = (dir / "junk.wav").string();
    std::ofstream(junk) << "not audio at all";
    try {
        node.SetFileName(junk);
        FAIL();
    } catch (const brindle::Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "AudioFile - can't open file. Add AudioApplication component to form.\r\n" + junk);
    }
    EXPECT_EQ(node.GetFileName(), "");
    EXPECT_EQ(node.GetSampleRate(), 0);
    std::vector<std::int16_t> block(100);
    EXPECT_EQ(node.PopData(block.data(), 200), 200) << "no file: silence";
}

} // namespace
