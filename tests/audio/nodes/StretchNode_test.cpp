#include "audio/nodes/AudioFile.h"
#include "audio/nodes/StretchNode.h"

#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace bt = brindle::test;

namespace {

// Pulls everything until the node reports the end (or Limit frames).
std::vector<std::int16_t> Drain(TAudioX& Node, int Limit) {
    std::vector<std::int16_t> all, block(1024 * 2);
    while (static_cast<int>(all.size() / 2) < Limit) {
        const int got = Node.PopData(block.data(), 4096);
        if (got <= 0) break;
        all.insert(all.end(), block.begin(), block.begin() + got / 2);
    }
    return all;
}

struct ToneSource {
    bt::TempDir Dir;
    TAudioFile File;
    explicit ToneSource(double Hz, double Seconds, double Amp = 0.5) {
        const auto path = (Dir / "t.wav").string();
        bt::WriteSineWav(path, Hz, Seconds, 44100, 2, 16, Amp);
        File.SetFileName(path);
        File.EndSilence = false;
    }
};

TEST(StretchNode, StretchAndSpeedProperties) {
    TStretchNode node;
    node.SetSpeed(0.5f);
    EXPECT_FLOAT_EQ(node.GetStretch(), 2.0f);
    node.SetStretch(0);
    EXPECT_FLOAT_EQ(node.GetSpeed(), 1.0f);
    node.SetSpeed(0);
    EXPECT_FLOAT_EQ(node.GetStretch(), 0.0f);
    EXPECT_EQ(node.GetSampleRate(), 44100);
    EXPECT_EQ(node.GetChannels(), 2);
}

TEST(StretchNode, NeutralSettingsPassBitExactScaledByVolume) {
    ToneSource src(1000, 0.2, 0.6);
    const auto tone = bt::SineTone(1000, 0.2, 44100, 2, 0.6);
    TStretchNode node;
    node.SetInput(&src.File);
    node.SetActive(true);
    EXPECT_EQ(Drain(node, 1 << 20), tone);
    src.File.SetPos(0);
    node.SetVolume(0.5f);
    const auto half = Drain(node, 1 << 20);
    ASSERT_EQ(half.size(), tone.size());
    for (size_t i = 0; i < tone.size(); ++i)
        ASSERT_EQ(half[i], static_cast<std::int16_t>(std::lround(tone[i] * 0.5f))); // rounded, not truncated
}

TEST(StretchNode, SpeedChangesLengthNotPitch) {
    ToneSource src(440, 1.0);
    TStretchNode node;
    node.SetInput(&src.File);
    node.SetSpeed(2.0f); // stored while inactive, applied at activation
    node.SetActive(true);
    const auto left = bt::ChannelOf(Drain(node, 1 << 20), 2, 0);
    EXPECT_NEAR(static_cast<double>(bt::LastAbove(left, 1000)), 22050.0, 441.0);
    EXPECT_NEAR(bt::FirstAbove(left, 1000), 0, 88) << "no start latency beyond 2 ms";
    EXPECT_NEAR(bt::ZeroCrossingHz(left, 44100, 2000, 20000), 440.0, 2.0);
}

TEST(StretchNode, SemitonesChangePitchNotLength) {
    ToneSource src(440, 1.0);
    TStretchNode node;
    node.SetInput(&src.File);
    node.SetActive(true);
    node.SetSemitones(-12.0f); // applied at once while active
    const auto left = bt::ChannelOf(Drain(node, 1 << 20), 2, 0);
    EXPECT_NEAR(static_cast<double>(bt::LastAbove(left, 1000)), 44100.0, 441.0);
    EXPECT_NEAR(bt::ZeroCrossingHz(left, 44100, 4000, 40000), 220.0, 1.0);
}

TEST(StretchNode, ProcessedInputLastsItsStretchedLengthAndEndsFadedToZero) {
    // A tone cut off at full level: sped up and transposed down, the whole of it is heard and the
    // end falls to 0 over a few ms instead of stopping mid-wave.
    for (const auto& [speed, semitones] : {std::pair{2.0f, 0.0f}, {1.0f, -12.0f}, {0.5f, 7.0f}}) {
        ToneSource src(300, 0.5, 0.8);
        TStretchNode node;
        node.SetInput(&src.File);
        node.SetSpeed(speed);
        node.SetSemitones(semitones);
        node.SetActive(true);
        const auto left = bt::ChannelOf(Drain(node, 1 << 20), 2, 0);
        ASSERT_EQ(left.size(), static_cast<size_t>(std::lround(22050 / speed))) << speed << " " << semitones;
        EXPECT_EQ(left.back(), 0.0);
        EXPECT_GT(bt::Rms(left, left.size() - 441 * 2, left.size() - 441),
                  0.6 * 0.8 * 32767 / std::sqrt(2.0));
        double step = 0.0;
        for (size_t i = left.size() - 200; i < left.size(); ++i)
            step = std::max(step, std::abs(left[i] - left[i - 1]));
        const double hz = 300.0 * std::exp2(semitones / 12.0);
        EXPECT_LT(step, 0.8 * 32767 * 2 * 3.1416 * hz / 44100 + 300) << "no step at the end";
    }
}

TEST(StretchNode, NoInputYieldsSilenceAndInactiveNodeYieldsNothing) {
    TStretchNode node;
    std::vector<std::int16_t> block(512, 5);
    EXPECT_EQ(node.PopData(block.data(), 1024), -1);
    node.SetSpeed(1.5f);
    node.SetActive(true);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(node.PopData(block.data(), 1024), 1024);
        for (auto s : block)
            ASSERT_EQ(s, 0);
    }
}

TEST(StretchNode, SecondActivationRestartsFromTheInputsPosition) {
    ToneSource src(440, 1.0);
    TStretchNode node;
    node.SetInput(&src.File);
    node.SetSemitones(5);
    node.SetActive(true);
    Drain(node, 10000);
    src.File.SetPos(0.5f);
    node.SetActive(true);
    const auto rest = bt::ChannelOf(Drain(node, 1 << 20), 2, 0);
    EXPECT_NEAR(static_cast<double>(bt::LastAbove(rest, 1000)), 22050.0, 441.0);
}

} // namespace
